#!/usr/bin/env python3
"""Synthesises the demo game's sound effects and music.

Everything is made from oscillators and seeded noise in plain Python and
written through libsndfile (the library the engine decodes with): short
effects as FLAC, the two music loops as Ogg Vorbis, all mono at 22050 Hz,
into the archive folder content/data/snd.crs/ (packed as data/snd.crs).

    /usr/bin/python3 content/tools/make_sounds.py

FLAC output is the same on every run; Ogg files get a random stream serial
from libsndfile, so their bytes (not their sound) differ between runs.
"""
import ctypes
import ctypes.util
import math
import pathlib
import random
import sys

RATE = 22050
OUT = pathlib.Path(__file__).resolve().parent.parent / "data" / "snd.crs"

# --- libsndfile through ctypes ---------------------------------------------

SFM_WRITE = 0x20
SF_FORMAT_WAV, SF_FORMAT_FLAC, SF_FORMAT_OGG = 0x010000, 0x170000, 0x200000
SF_FORMAT_PCM_16, SF_FORMAT_VORBIS = 0x0002, 0x0060
SFC_SET_VBR_ENCODING_QUALITY = 0x1300


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def _lib():
    name = ctypes.util.find_library("sndfile") or "libsndfile.so.1"
    lib = ctypes.CDLL(name)
    lib.sf_open.restype = ctypes.c_void_p
    lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    lib.sf_writef_float.restype = ctypes.c_int64
    lib.sf_writef_float.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_float), ctypes.c_int64]
    lib.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    lib.sf_close.argtypes = [ctypes.c_void_p]
    lib.sf_strerror.restype = ctypes.c_char_p
    lib.sf_strerror.argtypes = [ctypes.c_void_p]
    return lib


SF = _lib()


def write(name, samples, fmt):
    """Writes mono float samples (-1..1) as data/snd.crs/<name>."""
    info = SfInfo(0, RATE, 1, fmt, 0, 0)
    path = OUT / name
    f = SF.sf_open(str(path).encode(), SFM_WRITE, ctypes.byref(info))
    if not f:
        sys.exit(f"cannot write {path}: {SF.sf_strerror(None).decode()}")
    if fmt & SF_FORMAT_OGG:
        q = ctypes.c_double(0.25)  # small files; the music is simple
        SF.sf_command(f, SFC_SET_VBR_ENCODING_QUALITY, ctypes.byref(q), ctypes.sizeof(q))
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = 0.9 / peak if peak > 0.9 else 1.0
    buf = (ctypes.c_float * len(samples))(*[s * scale for s in samples])
    SF.sf_writef_float(f, buf, len(samples))
    SF.sf_close(f)
    print(f"{path.relative_to(OUT.parent.parent.parent)}: {len(samples) / RATE:.2f} s, "
          f"{path.stat().st_size} bytes")


# --- building blocks --------------------------------------------------------

def silence(seconds):
    return [0.0] * int(seconds * RATE)


def env(n, attack, release):
    """Linear attack, exponential-ish release over n samples."""
    a = max(1, int(attack * RATE))
    out = []
    for i in range(n):
        if i < a:
            out.append(i / a)
        else:
            t = (i - a) / max(1, n - a)
            out.append((1.0 - t) ** release)
    return out


def tone(freq, seconds, shape="sine", amp=1.0, attack=0.005, release=2.0, glide=None):
    """One note; `glide` is the frequency reached at the end (a sweep)."""
    n = int(seconds * RATE)
    e = env(n, attack, release)
    out, phase = [], 0.0
    for i in range(n):
        f = freq if glide is None else freq + (glide - freq) * i / n
        phase += f / RATE
        p = phase % 1.0
        if shape == "sine":
            v = math.sin(2 * math.pi * p)
        elif shape == "tri":
            v = 4 * abs(p - 0.5) - 1
        elif shape == "square":
            v = 1.0 if p < 0.5 else -1.0
        else:  # soft pluck: sine with a decaying second harmonic
            v = math.sin(2 * math.pi * p) + 0.5 * math.sin(4 * math.pi * p) * (1 - i / n)
        out.append(v * e[i] * amp)
    return out


def noise(seconds, rng, amp=1.0, attack=0.002, release=3.0, smooth=0.0):
    """Seeded noise; `smooth` (0..1) is a one-pole low-pass."""
    n = int(seconds * RATE)
    e = env(n, attack, release)
    out, last = [], 0.0
    for i in range(n):
        last = smooth * last + (1 - smooth) * rng.uniform(-1, 1)
        out.append(last * e[i] * amp)
    return out


def mix(*parts, at=None):
    """Adds parts, each starting at its offset in seconds (default 0)."""
    at = at or [0.0] * len(parts)
    n = max(int(o * RATE) + len(p) for p, o in zip(parts, at))
    out = [0.0] * n
    for p, o in zip(parts, at):
        s = int(o * RATE)
        for i, v in enumerate(p):
            out[s + i] += v
    return out


def echo(samples, delay, feedback, tail):
    out = samples + [0.0] * int(tail * RATE)
    d = int(delay * RATE)
    for i in range(d, len(out)):
        out[i] += out[i - d] * feedback
    return out


def midi(n):
    return 440.0 * 2 ** ((n - 69) / 12)


# --- effects ------------------------------------------------------------------

def effects():
    rng = random.Random(12)
    fx = {
        # A footstep on grass: a short dull scuff.
        "krok.flac": mix(noise(0.07, rng, 0.5, release=4, smooth=0.85),
                         tone(90, 0.05, amp=0.4, release=3)),
        # A jump: a quick rising whistle.
        "skok.flac": tone(260, 0.16, "tri", 0.5, glide=620, release=1.5),
        # The slingshot: the band's twang and the stone's whoosh.
        "proca.flac": mix(tone(180, 0.22, "pluck", 0.6, glide=120, release=2.5),
                          noise(0.18, rng, 0.25, attack=0.03, release=1.5, smooth=0.5), at=[0, 0.02]),
        # A stone striking wood: a knock and a crackle.
        "trafienie.flac": mix(tone(140, 0.12, amp=0.7, release=4, glide=90),
                              noise(0.1, rng, 0.5, release=5, smooth=0.3)),
        # Wood giving way: a crack and splinters falling.
        "pek.flac": mix(noise(0.45, rng, 0.8, release=2.5, smooth=0.2),
                        tone(110, 0.3, amp=0.5, glide=55, release=3),
                        noise(0.3, rng, 0.3, release=2, smooth=0.6), at=[0, 0, 0.15]),
        # Moving the highlight of a choice: a small blip.
        "wybor.flac": tone(880, 0.06, "tri", 0.35, release=2),
        # Choosing: two notes up.
        "potwierdz.flac": mix(tone(660, 0.08, "tri", 0.35), tone(990, 0.12, "tri", 0.35), at=[0, 0.07]),
        # Quest progress: a bright arpeggio.
        "dzwonek.flac": mix(*[tone(midi(n), 0.5, "sine", 0.35, release=2.5) for n in (72, 76, 79, 84)],
                            at=[0, 0.08, 0.16, 0.24]),
        # A crate scraping along the ground.
        "szur.flac": noise(0.25, rng, 0.35, attack=0.04, release=1.2, smooth=0.92),
    }
    for name, samples in fx.items():
        write(name, samples, SF_FORMAT_FLAC | SF_FORMAT_PCM_16)


# --- music --------------------------------------------------------------------

def song(melody, bass, beat, shape, amp, tail_echo=None):
    """A loop from (note, beats) lists; rests are None."""
    parts, at = [], []
    for line, a, sh in ((melody, amp, shape), (bass, amp * 0.6, "tri")):
        t = 0.0
        for note, beats in line:
            if note is not None:
                parts.append(tone(midi(note), beats * beat * 0.95, sh, a, attack=0.02, release=1.3))
                at.append(t)
            t += beats * beat
    length = sum(b for _, b in melody) * beat
    out = mix(*parts, at=at)[: int(length * RATE)]
    out += [0.0] * (int(length * RATE) - len(out))
    if tail_echo:
        delay, feedback = tail_echo
        wet = echo(out, delay, feedback, 0)
        out = [0.6 * a + 0.4 * b for a, b in zip(out, wet)]
    return out


def music():
    # Miedzyczas: a calm tune in G major over a walking bass, 16 bars.
    m = [(67, 1), (71, 1), (74, 2), (72, 1), (71, 1), (69, 2), (67, 1), (69, 1), (71, 1), (74, 1),
         (72, 2), (None, 2), (71, 1), (72, 1), (74, 2), (76, 1), (74, 1), (71, 2), (69, 1), (71, 1),
         (67, 2), (None, 4)]
    b = [(43, 4), (48, 4), (43, 4), (50, 4), (43, 4), (48, 4), (50, 4), (43, 4)]
    write("miedzyczas.ogg", song(m, b, 0.42, "tri", 0.35), SF_FORMAT_OGG | SF_FORMAT_VORBIS)
    # Studnia: the well below, slow and hollow in D minor with an echo.
    m = [(62, 2), (65, 2), (69, 3), (None, 1), (67, 2), (65, 2), (64, 3), (None, 1), (62, 2), (64, 2),
         (65, 2), (69, 2), (70, 3), (69, 1), (62, 4)]
    b = [(38, 8), (34, 8), (36, 8), (38, 8)]
    write("studnia.ogg", song(m, b, 0.36, "sine", 0.4, tail_echo=(0.27, 0.45)),
          SF_FORMAT_OGG | SF_FORMAT_VORBIS)


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    effects()
    music()


if __name__ == "__main__":
    main()
