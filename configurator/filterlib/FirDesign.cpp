#include "configurator/filterlib/FirDesign.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

constexpr int kMaxTaps = 1024;

// Results of the routine.
constexpr int kDone = 0;
constexpr int kBadArguments = 1;
constexpr int kNotSolved = 2;
constexpr int kFailed = 3;

bool ArgumentsValid(const double* h, int n, int bands, const double* edges, const double* desired,
                    const double* weights, int type)
{
    if (!h || !edges || !desired || !weights) return false;
    if (n < 1 || n > kMaxTaps || type != 1 || bands < 1) return false;
    const int64_t edgeCount = int64_t{2} * bands;
    for (int64_t i = 0; i < edgeCount; ++i) {
        const double e = edges[i];
        if (!(e >= 0.0 && e <= 0.5)) return false; // also refuses NaN
        if (i > 0 && e < edges[i - 1]) return false;
    }
    for (int b = 0; b < bands; ++b) {
        if (!(edges[2 * b] < edges[2 * b + 1])) return false;
        if (!std::isfinite(desired[b])) return false;
        if (!std::isfinite(weights[b]) || !(weights[b] > 0.0)) return false;
    }
    return true;
}

// The integral of cos(c w) over w1 .. w2, written so that narrow bands keep their
// digits: sin(c w2) - sin(c w1) = 2 cos(c (w1 + w2) / 2) sin(c (w2 - w1) / 2).
double CosIntegral(double c, double w1, double w2)
{
    if (c == 0.0) return w2 - w1;
    return 2.0 * std::cos(c * (w1 + w2) / 2.0) * std::sin(c * (w2 - w1) / 2.0) / c;
}

// Solves the symmetric positive definite system q x = p in place (x in p), q an m x m
// matrix by rows. False when a pivot is not positive.
bool SolveCholesky(std::vector<double>& q, std::vector<double>& p, int m)
{
    const auto at = [&](int r, int c) -> double& { return q[static_cast<size_t>(r) * m + c]; };
    for (int j = 0; j < m; ++j) {
        double d = at(j, j);
        for (int k = 0; k < j; ++k) d -= at(j, k) * at(j, k);
        if (!(d > 0.0) || !std::isfinite(d)) return false;
        const double l = std::sqrt(d);
        at(j, j) = l;
        for (int i = j + 1; i < m; ++i) {
            double s = at(i, j);
            for (int k = 0; k < j; ++k) s -= at(i, k) * at(j, k);
            at(i, j) = s / l;
        }
    }
    for (int i = 0; i < m; ++i) {
        double s = p[i];
        for (int k = 0; k < i; ++k) s -= at(i, k) * p[k];
        p[i] = s / at(i, i);
    }
    for (int i = m - 1; i >= 0; --i) {
        double s = p[i];
        for (int k = i + 1; k < m; ++k) s -= at(k, i) * p[k];
        p[i] = s / at(i, i);
    }
    return true;
}

int Design(double* h, int n, int bands, const double* edges, const double* desired, const double* weights)
{
    const bool odd = n % 2 == 1;
    const int m = odd ? (n + 1) / 2 : n / 2; // cosine terms
    const double shift = odd ? 0.0 : 0.5;    // a[k] = k + shift
    const double twoPi = 2.0 * std::numbers::pi;

    // t[c] = sum over bands of weight^2 times the integral of cos(c w): the entries of
    // the normal matrix are (t[|j - k|] + t[j + k + 2 shift]) / 2.
    const int cMax = 2 * m;
    std::vector<double> t(static_cast<size_t>(cMax) + 1, 0.0);
    std::vector<double> p(static_cast<size_t>(m), 0.0);
    for (int b = 0; b < bands; ++b) {
        const double w1 = twoPi * edges[2 * b];
        const double w2 = twoPi * edges[2 * b + 1];
        const double w = weights[b] * weights[b];
        for (int c = 0; c <= cMax; ++c) t[static_cast<size_t>(c)] += w * CosIntegral(c, w1, w2);
        for (int k = 0; k < m; ++k) p[static_cast<size_t>(k)] += w * desired[b] * CosIntegral(k + shift, w1, w2);
    }
    std::vector<double> q(static_cast<size_t>(m) * m);
    const int sumShift = odd ? 0 : 1;
    for (int j = 0; j < m; ++j)
        for (int k = 0; k < m; ++k)
            q[static_cast<size_t>(j) * m + k] = 0.5 * (t[static_cast<size_t>(std::abs(j - k))] +
                                                       t[static_cast<size_t>(j + k + sumShift)]);
    if (!SolveCholesky(q, p, m)) return kNotSolved;

    // b[k] back to taps about the centre.
    if (odd) {
        const int centre = m - 1;
        h[centre] = p[0];
        for (int k = 1; k < m; ++k) h[centre + k] = h[centre - k] = p[static_cast<size_t>(k)] / 2.0;
    } else {
        for (int k = 0; k < m; ++k) h[m + k] = h[m - 1 - k] = p[static_cast<size_t>(k)] / 2.0;
    }
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(h[i])) return kNotSolved;
    return kDone;
}

} // namespace

extern "C" int test(double* h, int n, int bands, const double* edges, const double* desired, const double* weights,
                    int type)
{
    int result = kFailed;
    try {
        result = ArgumentsValid(h, n, bands, edges, desired, weights, type)
                     ? Design(h, n, bands, edges, desired, weights)
                     : kBadArguments;
    } catch (...) {
        result = kFailed;
    }
    if (result != kDone && h && n > 0) std::fill(h, h + n, 0.0);
    return result;
}
