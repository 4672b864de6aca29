"""Checks the filter library's designs against scipy.signal.

Reads the JSON file the design test writes (one entry per case: band edges in Hz, the
weights, the taps for 255 and 256, the integer taps and their response on the 5 Hz
grid) and compares:
  - 255 taps with firls (weights squared) within 1e-7 of the largest tap;
  - 256 taps with remez: ours has the smaller weighted integrated squared error,
    remez the smaller largest weighted error;
  - the response of the integer taps with |freqz| within 1e-9 of the largest amplitude.
Prints one line per check and exits 1 when one fails."""

import json
import sys
import warnings

import numpy as np
from scipy import signal

FS = 16000.0


def band_grid(edges_hz, weights, points=20001):
    """Frequencies (rad/sample), desired amplitudes, weights and the trapezoid weights
    of a dense grid over each band."""
    desired = [0.0, 1.0, 0.0]
    out = []
    for b in range(3):
        f = np.linspace(edges_hz[2 * b], edges_hz[2 * b + 1], points)
        w = 2 * np.pi * f / FS
        step = np.full(points, w[1] - w[0])
        step[0] = step[-1] = (w[1] - w[0]) / 2
        out.append((w, desired[b], weights[b], step))
    return out


def amplitude(h, w):
    """|H| of taps h at frequencies w (rad/sample)."""
    _, response = signal.freqz(h, worN=w)
    return np.abs(response)


def errors(h, grid):
    """Weighted integrated squared error and largest weighted error over the bands."""
    integrated, largest = 0.0, 0.0
    for w, d, weight, step in grid:
        e = amplitude(h, w) - d
        integrated += weight * weight * np.sum(step * e * e)
        largest = max(largest, weight * np.max(np.abs(e)))
    return integrated, largest


def main(path):
    with open(path, encoding="utf-8") as f:
        cases = json.load(f)
    failed = False

    def check(ok, text):
        nonlocal failed
        print(("ok   " if ok else "FAIL ") + text)
        failed = failed or not ok

    for c in cases:
        name, edges, weights = c["name"], c["edges"], c["weights"]
        bands = [0.0] + edges + [FS / 2]

        h255 = np.array(c["h255"])
        ref = signal.firls(255, bands, [0, 0, 1, 1, 0, 0], weight=[w * w for w in weights], fs=FS)
        diff = np.max(np.abs(h255 - ref)) / np.max(np.abs(ref))
        check(diff <= 1e-7, f"{name}: firls 255, largest difference {diff:.3g} of the largest tap")

        h256 = np.array(c["h256"])
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            opt = signal.remez(256, bands, [0, 1, 0], weight=weights, fs=FS, type="bandpass")
        grid = band_grid(bands, weights)
        ours_sq, ours_max = errors(h256, grid)
        remez_sq, remez_max = errors(opt, grid)
        check(ours_sq <= remez_sq, f"{name}: integrated squared error {ours_sq:.6g} <= remez {remez_sq:.6g}")
        check(remez_max <= ours_max, f"{name}: largest error of remez {remez_max:.6g} <= ours {ours_max:.6g}")

        taps = np.array(c["taps"], dtype=float)
        response = np.array(c["response"])
        w = 2 * np.pi * 5 * np.arange(len(response)) / FS
        ref = amplitude(taps, w)
        diff = np.max(np.abs(response - ref)) / np.max(ref)
        check(len(response) == 1601 and diff <= 1e-9,
              f"{name}: response of the integer taps, largest difference {diff:.3g} of the largest")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
