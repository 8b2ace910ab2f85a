# Instruments for the music, all in numpy: band-limited oscillators built by
# additive synthesis (so "filter sweeps" are per-harmonic gains, no aliasing),
# drum voices from sine sweeps and shaped noise, and circular effects (delay,
# reverb) that wrap around the end of the loop.
import math

import numpy as np

SR = 44100
NYQUIST_GUARD = 0.45 * SR


def midi_hz(m):
    return 440.0 * 2 ** ((m - 69) / 12.0)


def times(n):
    return np.arange(n) / SR


def adsr(n, attack, decay, sustain, release):
    """Envelope for a note of n samples; release happens inside the note."""
    t = times(n)
    dur = n / SR
    env = np.where(t < attack, t / max(attack, 1e-6),
                   sustain + (1 - sustain) * np.exp(-(t - attack) / max(decay, 1e-6)))
    rel = np.clip((dur - t) / max(release, 1e-6), 0, 1)
    return env * rel


def lowpass_gain(f, fc, order=2, res=0.0):
    """Magnitude of a resonant low-pass at frequency f (arrays welcome)."""
    x = f / fc
    g = 1.0 / np.sqrt(1.0 + x ** (2 * order))
    return g * (1.0 + res * np.exp(-((x - 1.0) / 0.25) ** 2))


def additive(freq, n, cutoff, odd_only=False, res=0.0, max_harm=80, phase=0.0, vib=None):
    """Saw (or square with odd_only) at freq, n samples, whose harmonics are
    weighted by a low-pass with cutoff: a number or a per-sample array."""
    inst = np.full(n, freq) if vib is None else freq * vib
    ph = 2 * np.pi * np.cumsum(inst) / SR + phase
    out = np.zeros(n)
    cut = np.asarray(cutoff, dtype=float)
    for k in range(1, max_harm + 1):
        if odd_only and k % 2 == 0:
            continue
        if k * freq > NYQUIST_GUARD:
            break
        g = lowpass_gain(k * freq, cut, 2, res) / k
        if np.max(g) < 1e-4:
            break
        out += g * np.sin(k * ph)
    return out


# --- drums -----------------------------------------------------------------

def _noise(n, seed):
    return np.random.default_rng(seed).standard_normal(n)


def _band(x, lo, hi):
    """Band-pass by FFT mask with soft shoulders (one-shot sample, zero-padded)."""
    n = len(x)
    m = 1 << int(math.ceil(math.log2(n * 2)))
    spectrum = np.fft.rfft(x, m)
    f = np.fft.rfftfreq(m, 1 / SR)
    g = np.ones_like(f)
    if lo:
        g *= 1 / np.sqrt(1 + (lo / np.maximum(f, 1)) ** 4)
    if hi:
        g *= 1 / np.sqrt(1 + (f / hi) ** 4)
    return np.fft.irfft(spectrum * g, m)[:n]


def _onset(t, ramp=0.0005):
    """A half-millisecond fade-in: drums hit hard without a digital click."""
    return np.minimum(t / ramp, 1.0)


def kick():
    n = int(0.42 * SR)
    t = times(n)
    f = 46 + 120 * np.exp(-t / 0.032) + 40 * np.exp(-t / 0.006)
    body = np.sin(2 * np.pi * np.cumsum(f) / SR)
    env = np.minimum(t / 0.0008, 1) * np.exp(-t / 0.2) * np.clip((0.42 - t) / 0.05, 0, 1)
    click = _band(_noise(n, 1), 1500, 7000) * np.exp(-t / 0.004) * 0.35
    click *= _onset(t, 0.0004)
    return np.tanh(1.6 * (body * env + click)) / np.tanh(1.6)


def clap():
    n = int(0.32 * SR)
    t = times(n)
    noise = _band(_noise(n, 2), 900, 5200)
    env = np.zeros(n)
    for k, d in enumerate((0.0, 0.009, 0.018)):
        env += (t >= d) * np.exp(-np.maximum(t - d, 0) / 0.006) * (0.8 + 0.1 * k)
    env += (t >= 0.026) * np.exp(-np.maximum(t - 0.026, 0) / 0.085)
    body = np.sin(2 * np.pi * 205 * t) * np.exp(-t / 0.03) * 0.4
    return 0.75 * (noise / np.max(np.abs(noise)) * env + body) * _onset(t)


def snare(tone=190.0):
    n = int(0.2 * SR)
    t = times(n)
    noise = _band(_noise(n, 3), 1200, 9000)
    noise /= np.max(np.abs(noise))
    body = np.sin(2 * np.pi * tone * t) * np.exp(-t / 0.04)
    return 0.7 * (noise * np.exp(-t / 0.07) + 0.6 * body) * _onset(t)


def hat(open_=False):
    n = int((0.3 if open_ else 0.07) * SR)
    t = times(n)
    metal = sum(np.sign(np.sin(2 * np.pi * f * t)) for f in (317, 421, 563, 707, 941, 1223))
    x = _band(_noise(n, 4) * 0.6 + metal * 0.15, 7000, 16000)
    x /= np.max(np.abs(x))
    decay = 0.09 if open_ else 0.018
    return x * np.exp(-t / decay) * _onset(t) * 0.5


def riser(seconds, seed=5):
    """Noise swelling and brightening over the given time (for builds)."""
    n = int(seconds * SR)
    x = _noise(n, seed)
    out = np.zeros(n)
    seg = 2048
    for s in range(0, n, seg):  # step the band upwards in short segments
        u = s / n
        part = _band(x[s:s + seg + 256], 400 + 5000 * u * u, 1200 + 12000 * u)
        w = np.hanning(len(part) * 2)[:len(part)] if s else np.ones(len(part))
        out[s:s + len(part)] = out[s:s + len(part)] * (1 - w) + part * w
    return out / np.max(np.abs(out)) * np.linspace(0, 1, n) ** 2 * 0.5


# --- pitched voices --------------------------------------------------------

def bass(m, n):
    f = midi_hz(m)
    t = times(n)
    cut = f * (1.6 + 9 * np.exp(-t / 0.07))
    x = additive(f, n, cut, res=0.5) + 0.7 * np.sin(2 * np.pi * f * t)
    return np.tanh(1.4 * x) * adsr(n, 0.003, 0.12, 0.75, 0.02)


def pluck(m, n, bright=1.0):
    f = midi_hz(m)
    t = times(n)
    cut = f * (1.2 + 12 * bright * np.exp(-t / 0.06))
    x = additive(f, n, cut, odd_only=True, res=0.6)
    return x * adsr(n, 0.002, 0.09, 0.0, 0.02)


def pad(m, n, detune_cents, seed):
    """Slow, warm pad voice; three slightly detuned saws per note."""
    out = np.zeros(n)
    rng = np.random.default_rng(seed)
    for c in (-detune_cents, 0, detune_cents):
        f = midi_hz(m + c / 100.0)
        out += additive(f, n, 1700.0, max_harm=24, phase=rng.uniform(0, 2 * np.pi))
    return out / 3 * adsr(n, 0.25, 0.6, 0.8, 0.3)


def lead(m, n, bright=1.0):
    """Supersaw lead with a delayed vibrato and a short filter pluck."""
    f = midi_hz(m)
    t = times(n)
    vib = 1 + 0.004 * np.sin(2 * np.pi * 5.5 * t) * np.clip((t - 0.15) / 0.2, 0, 1)
    cut = f * (2.5 + 5.0 * bright * np.exp(-t / 0.12)) + 900 * bright
    out = np.zeros(n)
    for i, c in enumerate((-14, -6, 0, 6, 14)):
        fd = f * 2 ** (c / 1200)
        out += additive(fd, n, cut, max_harm=40, phase=1.7 * i, vib=vib)
    return out / 3.5 * adsr(n, 0.006, 0.25, 0.7, 0.05)


# --- circular effects -------------------------------------------------------

def circular_delay(x, delay, feedback, taps, pingpong=True):
    """Stereo echo of mono x that wraps around the loop; odd echoes left,
    even right when pingpong."""
    out = np.zeros((2, len(x)))
    g = 1.0
    for k in range(1, taps + 1):
        g *= feedback
        echo = np.roll(x, k * delay) * g
        if pingpong:
            out[(k + 1) % 2] += echo
        else:
            out += echo
    return out


def circular_reverb(x, seconds=1.8, predelay=0.018, seed=9):
    """Stereo reverb by circular convolution with decaying, darkening noise."""
    n = x.shape[-1]
    m = int(seconds * SR)
    t = times(m)
    ir = np.zeros((2, n))
    for ch in range(2):
        noise = _noise(m, seed + ch)
        early = _band(noise, 300, 9000) * np.exp(-t / (seconds / 6.9))
        late = _band(noise, 200, 3500) * np.exp(-t / (seconds / 5.0))
        shaped = early * np.exp(-t / 0.3) + late * (1 - np.exp(-t / 0.3))
        d = int(predelay * SR)
        ir[ch, d:d + m] = shaped[:n - d] / np.sqrt(np.sum(shaped ** 2))
    spectrum = np.fft.rfft(x, axis=-1) * np.fft.rfft(ir, axis=-1)
    return np.fft.irfft(spectrum, n=n, axis=-1)
