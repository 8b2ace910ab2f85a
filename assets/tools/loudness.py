# Integrated loudness (ITU-R BS.1770-4: K-weighting, 400 ms blocks with 75 %
# overlap, absolute gate at -70 LUFS and relative gate at -10 LU) and sample
# peak. The music loops, so the K-weighting filters are applied as their
# frequency response over the whole periodic signal (one FFT) instead of
# sample by sample: the exact steady-state output of the looping track.
import math

import numpy as np


def _shelf(fs):
    """High-shelf stage of the K-weighting, as biquad (b, a)."""
    f0, gain_db, q = 1681.974450955533, 3.999843853973347, 0.7071752369554196
    k = math.tan(math.pi * f0 / fs)
    vh = 10 ** (gain_db / 20)
    vb = vh ** 0.4996667741545416
    a0 = 1 + k / q + k * k
    b = [(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0]
    a = [1.0, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0]
    return b, a


def _highpass(fs):
    """High-pass stage (RLB weighting) of the K-weighting."""
    f0, q = 38.13547087602444, 0.5003270373238773
    k = math.tan(math.pi * f0 / fs)
    a0 = 1 + k / q + k * k
    return [1.0, -2.0, 1.0], [1.0, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0]


def _response(b, a, n, fs):
    z = np.exp(-2j * np.pi * np.fft.rfftfreq(n, 1.0 / fs) / fs)
    return (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z)


def k_weight(x, fs):
    """x: (channels, samples), treated as one period of a looping signal."""
    n = x.shape[-1]
    h = _response(*_shelf(fs), n, fs) * _response(*_highpass(fs), n, fs)
    return np.fft.irfft(np.fft.rfft(x, axis=-1) * h, n=n, axis=-1)


def integrated(x, fs):
    """Integrated loudness in LUFS of x (channels, samples); channel weights 1
    (left and right)."""
    y = k_weight(np.atleast_2d(np.asarray(x, dtype=float)), fs)
    block, step = int(round(0.4 * fs)), int(round(0.1 * fs))
    sq = np.concatenate([np.zeros((y.shape[0], 1)), np.cumsum(y * y, axis=-1)], axis=-1)
    starts = np.arange(0, y.shape[-1] - block + 1, step)
    z = ((sq[:, starts + block] - sq[:, starts]) / block).sum(axis=0)
    with np.errstate(divide="ignore"):
        lk = -0.691 + 10 * np.log10(z)
    z = z[lk > -70]
    if z.size == 0:
        return -math.inf
    rel = -0.691 + 10 * np.log10(z.mean()) - 10
    z = z[-0.691 + 10 * np.log10(z) > rel]
    return -0.691 + 10 * math.log10(z.mean())


def peak_dbfs(x):
    p = float(np.max(np.abs(x)))
    return 20 * math.log10(p) if p > 0 else -math.inf
