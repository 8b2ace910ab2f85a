# Composes, renders and masters the game's music "Neon Drift": 48 bars at
# 128 BPM in A minor (exactly 90 s), then encodes it with oggenc and checks
# the decoded file. Every note is written into a buffer one loop long with
# wrap-around, and the delay and reverb are circular, so whatever rings past
# the end continues into the first samples: the loop has no seam.
import functools
import math
import os
import subprocess
import sys
import wave

import numpy as np

import loudness
import synth
from synth import SR

BPM = 128
BARS = 48
STEP = SR * 60.0 / BPM / 4  # one sixteenth note in samples
N = int(round(BARS * 16 * STEP))  # 3 969 000 samples = 90 s
TARGET_LUFS = -14.0
CEILING_DB = -1.6  # sample peak before encoding; the codec adds a little
SERIAL = 20240707  # fixed Ogg stream serial, so the file repeats byte for byte

CHORDS = {  # bass root, pad voicing, arpeggio notes
    "Am": (33, (57, 60, 64), (69, 72, 76, 81)),
    "F": (29, (57, 60, 65), (65, 69, 72, 77)),
    "C": (36, (55, 60, 64), (67, 72, 76, 79)),
    "G": (31, (55, 59, 62), (67, 71, 74, 79)),
}
MAIN = ["Am", "F", "C", "G"]
BREAK = ["F", "G", "Am", "Am", "F", "G", "C", "G"]

# Hook: (step in bar, length in steps, note), one list per bar.
HOOK = [
    [(0, 3, 76), (3, 3, 76), (6, 2, 74), (8, 2, 72), (10, 2, 74), (12, 4, 76)],
    [(0, 3, 77), (3, 3, 76), (6, 2, 72), (8, 4, 69), (12, 4, 72)],
    [(0, 3, 79), (3, 3, 76), (6, 2, 72), (8, 2, 76), (10, 2, 79), (12, 2, 81), (14, 2, 79)],
    [(0, 6, 74), (6, 2, 71), (8, 4, 74), (12, 2, 67), (14, 2, 71)],
    [(0, 3, 76), (3, 3, 76), (6, 2, 74), (8, 2, 72), (10, 2, 74), (12, 2, 76), (14, 2, 81)],
    [(0, 3, 81), (3, 3, 79), (6, 2, 77), (8, 4, 76), (12, 4, 72)],
    [(0, 3, 76), (3, 3, 79), (6, 4, 84), (10, 2, 83), (12, 4, 79)],
    [(0, 3, 71), (3, 3, 74), (6, 4, 79), (10, 2, 76), (12, 4, 74)],
]
BREAK_LEAD = [76, 74, 72, 76, 81, 83, 79, 74]  # one long note a bar
ARP_ORDER = [0, 1, 2, 3, 1, 2, 3, 2, 0, 1, 2, 3, 2, 3, 1, 2]
SCALE = [57, 59, 60, 62, 64, 65, 67]  # A natural minor, one octave


def at(bar, step=0.0):
    return int(round((bar * 16 + step) * STEP))


def length(steps):
    return int(steps * STEP)


def third_below(m):
    """The diatonic third under m in A minor (for the harmony line)."""
    pcs = [s % 12 for s in SCALE]
    i = pcs.index(m % 12)
    j = (i - 2) % 7
    return m - ((pcs[i] - pcs[j]) % 12)


class Mix:
    """Stereo buses one loop long; notes wrap from the end to the start."""

    def __init__(self):
        self.buses = {}

    def add(self, bus, x, start, gain=1.0, pan=0.0):
        b = self.buses.setdefault(bus, np.zeros((2, N)))
        a = (pan + 1) * math.pi / 4
        gl, gr = math.cos(a) * gain, math.sin(a) * gain
        start %= N
        first = min(len(x), N - start)
        for ch, g in ((0, gl), (1, gr)):
            b[ch, start:start + first] += x[:first] * g
            if first < len(x):  # the tail rings on into the loop's start
                b[ch, :len(x) - first] += x[first:] * g


cached = functools.lru_cache(maxsize=None)
kick, clap, snare, hat_c, hat_o = (cached(synth.kick), cached(synth.clap), cached(synth.snare),
                                   cached(lambda: synth.hat(False)),
                                   cached(lambda: synth.hat(True)))
bass, pluck, lead, pad = (cached(synth.bass), cached(synth.pluck), cached(synth.lead),
                          cached(synth.pad))


def section(bar):
    """Name of the part a bar belongs to."""
    return ["intro", "verse", "lift", "break", "drop", "reprise"][bar // 8]


def chord_of(bar):
    return BREAK[bar - 24] if section(bar) == "break" else MAIN[bar % 4]


def drums(mix, bar):
    part = section(bar)
    quiet = part == "break" and bar < 28
    for beat in range(4):
        if not quiet:
            mix.add("kick", kick(), at(bar, beat * 4), 0.95)
        if beat % 2 == 1 and (part != "intro" or bar >= 4) and part != "break":
            mix.add("snare", clap(), at(bar, beat * 4), 1.0)
        open_hat = part in ("lift", "drop", "reprise")
        if not quiet or bar >= 26:
            h = hat_o() if open_hat else hat_c()
            mix.add("hats", h, at(bar, beat * 4 + 2), 0.55, pan=0.15)
        if part not in ("intro", "break"):
            for s in (1, 3):
                mix.add("hats", hat_c(), at(bar, beat * 4 + s), 0.25 + 0.1 * (s == 3), pan=-0.2)
    fill(mix, bar)


def fill(mix, bar):
    """Snare builds: through the second half of the break and into each
    loop-around (bar 47 runs into bar 0)."""
    if bar in (28, 29):
        for s in range(0, 16, 2):
            mix.add("snare", snare(), at(bar, s), 0.22 + 0.06 * (bar - 28))
    if bar in (30, 31):
        for s in range(16):
            mix.add("snare", snare(), at(bar, s), 0.25 + 0.2 * ((bar - 30) * 16 + s) / 32)
    if bar in (15, 23, 39, 47):
        for s in range(8, 16):
            mix.add("snare", snare(200 + 8 * s), at(bar, s), 0.2 + 0.03 * (s - 8))


def bassline(mix, bar):
    part = section(bar)
    if part == "break" and bar < 28:
        return
    root = CHORDS[chord_of(bar)][0]
    steps = (2, 6, 10, 14) if part == "break" else (1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15)
    for s in steps:
        note = root + (12 if s % 4 == 3 else 0)
        mix.add("bass", bass(note, length(0.9)), at(bar, s), 0.35)


def arpeggio(mix, bar):
    tones = CHORDS[chord_of(bar)][2]
    part = section(bar)
    bright = {"intro": 0.35, "break": 0.55}.get(part, 1.0)
    if part == "intro":
        bright = 0.25 + 0.1 * bar
    bright = round(bright, 2)
    for s in range(16):
        m = tones[ARP_ORDER[s]] + (12 if part == "drop" and s % 8 == 7 else 0)
        mix.add("arp", pluck(m, length(1.6), bright), at(bar, s), 0.24 if s % 4 else 0.3,
                pan=0.3 if s % 2 else -0.3)


def pads(mix, bar):
    voicing = CHORDS[chord_of(bar)][1]
    gain = {"break": 0.3, "intro": 0.2}.get(section(bar), 0.17)
    for i, m in enumerate(voicing):
        mix.add("pad", pad(m, length(16.5), 9, i), at(bar), gain, pan=-0.55)
        mix.add("pad", pad(m, length(16.5), 11, i + 7), at(bar), gain, pan=0.55)


def melody(mix, bar):
    part = section(bar)
    if part == "intro":
        return
    if part == "break":
        m = BREAK_LEAD[bar - 24] - 12
        mix.add("lead", lead(m, length(15.5), 0.4), at(bar), 0.35)
        return
    bright = 1.0 if part in ("drop", "reprise") else 0.75
    for step, steps, m in HOOK[bar % 8]:
        if part == "reprise" and bar % 8 >= 4:
            m += 12 if m < 80 else 0
        mix.add("lead", lead(m, length(steps - 0.3), bright), at(bar, step), 0.5)
        if part in ("lift", "drop"):
            mix.add("harmony", lead(third_below(m), length(steps - 0.3), bright * 0.7),
                    at(bar, step), 0.25, pan=0.35)
        if part == "drop":
            mix.add("harmony", lead(m - 12, length(steps - 0.3), 0.6), at(bar, step), 0.2,
                    pan=-0.35)


def riser_sweeps(mix):
    mix.add("fx", synth.riser(8 * 16 * STEP / SR / 2), at(28), 0.5)
    mix.add("fx", synth.riser(2 * 16 * STEP / SR, seed=6), at(46), 0.25)


def pump(depth, release=0.11):
    """Side-chain gain: ducks after every kick, wrapping around the loop."""
    g = np.ones(N)
    t = synth.times(length(4))
    shape = depth * np.exp(-t / release) * np.minimum(t / 0.003, 1)
    starts = [at(bar, b * 4) for bar in range(BARS) for b in range(4)
              if not (section(bar) == "break" and bar < 28)]
    duck = np.zeros(N)
    for s in starts:
        idx = (s + np.arange(len(shape))) % N
        duck[idx] = np.maximum(duck[idx], shape)
    return g - duck


def render():
    mix = Mix()
    for bar in range(BARS):
        drums(mix, bar)
        bassline(mix, bar)
        arpeggio(mix, bar)
        pads(mix, bar)
        melody(mix, bar)
    riser_sweeps(mix)
    b = mix.buses
    arp = b["arp"] + synth.circular_delay(b["arp"].mean(axis=0), length(3), 0.45, 5) * 0.6
    lead_bus = b["lead"] + b["harmony"]
    lead_bus = lead_bus + synth.circular_delay(lead_bus.mean(axis=0), length(3), 0.35, 4) * 0.4
    send = 0.35 * arp + 0.5 * b["pad"] + 0.3 * lead_bus + 0.2 * b["snare"]
    verb = synth.circular_reverb(send)
    duck = pump(0.75)
    soft = pump(0.4)
    music = (b["kick"] + b["snare"] + b["hats"] + b["fx"] + b["bass"] * duck
             + arp * soft + b["pad"] * duck + lead_bus * soft + 0.5 * verb * duck)
    return highpass(music, 28.0)


def highpass(x, fc):
    """Circular high-pass (second-order magnitude) to clear rumble and DC."""
    f = np.fft.rfftfreq(x.shape[-1], 1.0 / SR)
    g = 1 / np.sqrt(1 + (fc / np.maximum(f, 1e-3)) ** 4)
    g[0] = 0
    return np.fft.irfft(np.fft.rfft(x, axis=-1) * g, n=x.shape[-1], axis=-1)


def limit(x, ceiling_db, window=96):
    """Look-ahead peak limiter, circular: the gain needed at each peak is
    spread (min over +/- window, then a window-long average) so it is
    reached smoothly and never exceeded."""
    ceiling = 10 ** (ceiling_db / 20)
    need = np.minimum(1.0, ceiling / np.maximum(np.abs(x).max(axis=0), 1e-12))
    m, span = need, 1
    while span < 2 * window + 1:  # running minimum by doubling
        m = np.minimum(m, np.roll(m, span))
        span *= 2
    m = np.roll(m, -span // 2)
    c = np.cumsum(np.concatenate([m[-window:], m, m[:window]]))
    avg = (c[window:window + N] - c[:N]) / window
    avg = np.roll(avg, -(window // 2))
    gain = np.minimum(avg, m)
    return x * gain


def master(x, ceiling_db):
    x = np.tanh(1.2 * x / np.max(np.abs(x))) * 0.9  # gentle glue on the bus
    for _ in range(6):
        lufs = loudness.integrated(x, SR)
        x = limit(x * 10 ** ((TARGET_LUFS - lufs) / 20), ceiling_db)
    return x


def write_wav(path, x):
    pcm = np.round(np.clip(x, -1, 1) * 32767).astype("<i2").T.copy()
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(SR)
        w.writeframes(pcm.tobytes())


def decode(path):
    raw = subprocess.run(["oggdec", "-Q", "-R", "-o", "-", path], check=True,
                         capture_output=True).stdout
    return np.frombuffer(raw, dtype="<i2").reshape(-1, 2).T / 32768.0


def main():
    ogg, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    wav = os.path.join(work, "New2.wav")
    x = render()
    ceiling = CEILING_DB
    while True:
        y = master(x, ceiling)
        write_wav(wav, y)
        subprocess.run(["oggenc", "-Q", "-q", "5", "--serial", str(SERIAL), "-o", ogg, wav],
                       check=True)
        d = decode(ogg)
        peak = loudness.peak_dbfs(d)
        if peak <= -1.05 or ceiling < -4:
            break
        ceiling -= 0.3
    os.remove(wav)
    lufs = loudness.integrated(d, SR)
    around = np.concatenate([d[:, -SR // 2:], d[:, :SR // 2]], axis=1)
    bend = np.abs(np.diff(around, n=2, axis=1))
    seam = bend[:, SR // 2 - 2:SR // 2].max()
    print("  music %s: %.2f s, %.2f LUFS, peak %.2f dBFS, ceiling %.1f dBFS; loop seam bend"
          " %.4f against %.4f for the loudest 0.5 %% of the second around it"
          % (os.path.basename(ogg), d.shape[1] / SR, lufs, peak, ceiling, seam,
             np.percentile(bend, 99.5)))


if __name__ == "__main__":
    main()
