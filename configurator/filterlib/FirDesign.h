#pragma once

// The filter design library's one routine: a linear-phase FIR filter designed by
// weighted least squares over bands of constant desired amplitude.
//
// The taps are symmetric, h[i] == h[n-1-i], so the amplitude is
//   A(w) = sum over k of b[k] cos(a[k] w),  a[k] = k (odd n) or k + 1/2 (even n),
// with w = 2 pi f and f in cycles per sample (0 .. 0.5). The design minimises
//   sum over bands of weight^2 * integral over the band of (A(w) - desired)^2 dw
// exactly: the normal equations of the b[k] are built from closed-form integrals of
// cosine products and solved by Cholesky factorisation. Deterministic, no iteration.
//
// Arguments, in the order the dialog passes them:
//   h        n doubles the taps are written to
//   n        taps, 1 .. 1024
//   bands    bands, at least 1
//   edges    2 x bands band edges in cycles per sample: in 0 .. 0.5, non-decreasing,
//            each band wider than 0 (edges[2b] < edges[2b+1])
//   desired  the amplitude of each band, finite
//   weights  the weight of each band, finite and above 0
//   type     1 (band pass); nothing else is designed
// Returns 0 after a design. Any other argument, a missing array or a system that cannot
// be solved returns non-zero with h zeroed (when h is given). Nothing is raised.
extern "C" __attribute__((visibility("default"))) int test(double* h, int n, int bands, const double* edges,
                                                             const double* desired, const double* weights, int type);
