#!/usr/bin/env python3
"""Writes the game's whole data folder: pictures, sound effects and voices.

Everything is made here from nothing but arithmetic and the speech
synthesiser, with fixed seeds, so every run gives the same bytes.
Usage: make_data.py <data dir>
"""
import array
import concurrent.futures
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import wave
import zlib

RATE = 22050
EFFECT_PEAK = 0.25   # about -12 dBFS: many sounds play at once
VOICE_RMS = 0.12     # one loudness for every spoken clip
VOICE_PEAK = 0.7

TUTORIAL_LINES = [
    "You control the fighter, and shoot down a UFO.",
    "The UFO appears from the left.",
    "When the UFO arrives at the right-side end, the UFO goes to the left, and the UFO approaches.",
    "When there is a UFO to the left of the fighter, you hear a sound from the left speaker.",
    "When there is a UFO to the right of the fighter, you hear a sound from the right speaker.",
    "When you are right below it, push the space key, and shoot it down with a laser.",
    "The fighter moves with the right and left keys.",
    "The UFO may appear from the right. Several UFOs may appear.",
    "When a UFO goes down to the bottom, the fighter is destroyed.",
    "The UFO shoots a missile. When the fighter crashes into a missile, it is destroyed.",
    "You have three fighters.",
    "You can make a barrier for two seconds, when you push the Z key.",
    "The barrier can stop a missile.",
]

VOICES = {
    "sound/menu/Title.kwv": "Doruzoro. Menu.",
    "sound/menu/tutorial.kwv": "Tutorial",
    "sound/menu/game.kwv": "Game",
    "sound/menu/NetRecord.kwv": "Net record",
    "sound/menu/Challenger.kwv": "New challenger",
    "sound/menu/Country.kwv": "Net country",
    "sound/menu/update.kwv": "Update",
    "sound/menu/end.kwv": "End",
    "sound/voice/GameOver.kwv": "Game over",
    "sound/voice/GetWideLazer.kwv": "Get wide laser",
    "sound/voice/PlayerOneUp.kwv": "Player one up",
    "sound/voice/BariaRecovery.kwv": "Barrier recovery",
    "sound/voice/Congratulations.kwv": "Congratulations",
    "sound/voice/Score.kwv": "Score",
    # The host's own: the pause, and the player's levels as they change.
    "sound/voice/Pause.kwv": "Paused. Press P to resume.",
    "sound/voice/Resume.kwv": "Resumed",
    "sound/balance/even.kwv": "Voices and effects even",
}
for n in range(1, 11):
    VOICES["sound/volume/%d.kwv" % n] = "Volume %d" % n
for n in range(1, 6):
    VOICES["sound/balance/voices%d.kwv" % n] = "Voices louder %d" % n
    VOICES["sound/balance/effects%d.kwv" % n] = "Effects louder %d" % n
for n in range(1, 11):
    VOICES["sound/stage/%d.kwv" % n] = "Stage %d" % n
for n in range(1, 14):
    VOICES["sound/text/%d.kwv" % n] = TUTORIAL_LINES[n - 1]
for n in range(1, 301):
    VOICES["sound/no/%d.kwv" % n] = str(n * 10)  # clip N is said for a score of 10 N


def write_wave(path, samples):
    """Mono 16-bit PCM; samples are floats in -1..1."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    pcm = array.array("h", (max(-32767, min(32767, int(round(s * 32767)))) for s in samples))
    if sys.byteorder != "little":
        pcm.byteswap()
    data = pcm.tobytes()
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def speak(text):
    with tempfile.NamedTemporaryFile(suffix=".wav") as tmp:
        subprocess.run(["espeak-ng", "-v", "en-us", "-s", "185", "-w", tmp.name, text],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with wave.open(tmp.name, "rb") as w:
            rate, frames = w.getframerate(), w.readframes(w.getnframes())
    pcm = array.array("h")
    pcm.frombytes(frames)
    if sys.byteorder != "little":
        pcm.byteswap()
    if rate != RATE:
        raise SystemExit("speech came at %d Hz, expected %d" % (rate, RATE))
    return [v / 32768.0 for v in pcm]


def normalise(samples):
    rms = math.sqrt(sum(s * s for s in samples) / max(1, len(samples)))
    peak = max((abs(s) for s in samples), default=0.0)
    if rms == 0 or peak == 0:
        raise SystemExit("the synthesiser gave a silent clip")
    gain = min(VOICE_RMS / rms, VOICE_PEAK / peak)
    return [s * gain for s in samples]


def make_voice(item):
    path, text = item
    write_wave(path, normalise(trim(speak(text))))


def trim(samples, floor=0.002):
    idx = [i for i, s in enumerate(samples) if abs(s) > floor]
    if not idx:
        return samples
    return samples[max(0, idx[0] - 200):idx[-1] + 400]


# --- effects ---------------------------------------------------------------

def seconds(t):
    return int(RATE * t)


def tone(freqs, dur, env=lambda t: 1.0, shape=math.sin):
    n = seconds(dur)
    out = []
    for i in range(n):
        t = i / RATE
        out.append(env(t / dur) * sum(a * shape(2 * math.pi * f * t) for f, a in freqs))
    return out


def square(x):
    return 1.0 if math.sin(x) >= 0 else -1.0


def sweep(f0, f1, dur, shape=math.sin):
    n, phase, out = seconds(dur), 0.0, []
    for i in range(n):
        k = i / n
        phase += 2 * math.pi * (f0 + (f1 - f0) * k) / RATE
        out.append(shape(phase) * (1 - k) ** 1.5)
    return out


def noise(dur, seed, decay, smooth):
    rnd, n, y, out = random.Random(seed), seconds(dur), 0.0, []
    for i in range(n):
        y += smooth * (rnd.uniform(-1, 1) - y)   # one-pole low pass: a darker rumble
        out.append(y * math.exp(-decay * i / n))
    return out


def peak_to(samples, peak=EFFECT_PEAK):
    top = max(abs(s) for s in samples)
    return [s * peak / top for s in samples]


def mix(*parts):
    out = [0.0] * max(len(p) for p in parts)
    for p in parts:
        for i, s in enumerate(p):
            out[i] += s
    return out


def fade(samples, ms=5):
    """Short ramps at both ends so a one-shot never starts or stops with a click."""
    k = min(len(samples) // 2, seconds(ms / 1000))
    for i in range(k):
        samples[i] *= i / k
        samples[-1 - i] *= i / k
    return samples


def melody(notes, beat, shape=math.sin):
    """Notes as (semitones from A4 or None, beats); each note starts and ends at zero."""
    out = []
    for semi, beats in notes:
        dur = beat * beats
        if semi is None:
            out += [0.0] * seconds(dur)
            continue
        f = 440.0 * 2 ** (semi / 12)
        out += tone([(f, 1.0), (2 * f, 0.3)], dur, lambda k: min(1, k * 20) * (1 - k) ** 0.8, shape)
    return out


# Loops: every partial and modulator is a whole number of cycles per second
# and the loop is whole seconds long, so its end joins its start exactly.
def effects():
    e = {}
    e["sound/ufo1.kwv"] = tone([(110, 1.0), (220, 0.6), (330, 0.3), (440, 0.15)], 1.0,
                               lambda k: 0.75 + 0.25 * math.sin(2 * math.pi * 6 * k))
    e["sound/misile.kwv"] = tone([(660, 1.0), (990, 0.3)], 1.0,
                                 lambda k: 0.6 + 0.4 * math.sin(2 * math.pi * 12 * k))
    e["sound/pinch.kwv"] = tone([(1760, 1.0), (2640, 0.4)], 1.0,
                                lambda k: 1.0 if math.sin(2 * math.pi * 8 * k) > 0 else 0.0,
                                square)
    e["sound/baria.kwv"] = tone([(330, 1.0), (333, 1.0), (495, 0.4)], 1.0)
    e["sound/youlose.kwv"] = melody([(-5, 1), (-7, 1), (-9, 1), (-12, 2), (None, 1)], 0.25)
    e["sound/opning.kwv"] = melody([(0, 1), (4, 1), (7, 1), (12, 1), (11, 1), (7, 1), (4, 1),
                                    (2, 1), (0, 1), (5, 1), (9, 1), (12, 2), (None, 2)], 0.25)
    e["sound/Lazer1.kwv"] = sweep(2400, 600, 0.25)
    e["sound/Lazer2.kwv"] = mix(sweep(1800, 300, 0.45), sweep(1900, 320, 0.45, square))
    e["sound/LazerNone.kwv"] = fade(tone([(180, 1.0)], 0.04, lambda k: 1 - k, square))
    e["sound/exprosion.kwv"] = fade(noise(0.7, 1, 5.0, 0.35))
    e["sound/exprosion2.kwv"] = fade(mix(noise(1.4, 2, 3.5, 0.12),
                                         tone([(55, 1.0)], 1.4, lambda k: (1 - k) ** 2)))
    e["sound/kabe.kwv"] = fade(tone([(90, 1.0), (180, 0.5)], 0.09, lambda k: (1 - k) ** 2))
    e["sound/barianon.kwv"] = fade(tone([(150, 1.0), (157, 0.8)], 0.3, lambda k: 1 - k, square))
    e["sound/clear.kwv"] = melody([(3, 1), (7, 1), (10, 1), (15, 3)], 0.12)
    e["sound/winner.kwv"] = melody([(3, 1), (3, 1), (3, 1), (7, 3), (5, 1), (8, 1), (12, 4)],
                                   0.16)
    return {path: peak_to(s) for path, s in e.items()}


# --- pictures --------------------------------------------------------------

def write_png(path, width, height, pixel):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y))
                    for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    head = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) +
                chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


BLACK = (0, 0, 0)


def ufo(x, y, w, h):
    cx, cy = (w - 1) / 2, h * 0.6
    if ((x - cx) / (w / 2)) ** 2 + ((y - cy) / (h * 0.3)) ** 2 <= 1:
        return (40, 220, 60) if (x // 4 + y // 4) % 2 else (30, 170, 50)
    if ((x - cx) / (w * 0.2)) ** 2 + ((y - h * 0.35) / (h * 0.3)) ** 2 <= 1:
        return (150, 230, 255)
    return BLACK


def fighter(x, y, w, h):
    d = abs(x - (w - 1) / 2)
    nose = h * 0.3
    body = 4 * min(1.0, (y + 1) / nose)  # a pointed fuselage
    wing_top, wing_end = h * 0.5, h * 0.85
    if wing_top <= y < wing_end:
        wing = (y - wing_top) / (wing_end - wing_top) * (w / 2)  # swept wings
    elif y >= wing_end:
        wing = w * 0.25  # tail fins
    else:
        wing = 0
    if d <= body:
        return (255, 255, 255) if h * 0.18 <= y < h * 0.34 and d < 2 else (150, 210, 255)
    if d <= wing:
        return (40, 140, 255)
    return BLACK


def missile(x, y, w, h):
    d = abs(x - (w - 1) / 2)
    if y < h * 0.2:
        return (255, 240, 60) if d <= (y + 1) / (h * 0.2) * (w / 2 - 1) else BLACK
    if y >= h * 0.85:
        return (255, 150, 40) if d <= w / 2 else BLACK  # fins
    return (255, 60, 40) if d <= w / 2 - 2 else BLACK


def explosion(x, y, w, h):
    r = math.hypot(x - (w - 1) / 2, y - (h - 1) / 2) / (w / 2)
    if r > 1:
        return BLACK
    return (255, int(255 * (1 - r)), int(60 * (1 - r) ** 2))


# Sizes: a UFO comes down by twice its height at every turn, so between two
# rows it leaves a gap of one UFO height; the fighter (50) is taller than a
# UFO (20) and cannot sit in that gap. Sideways a UFO moves at most 53 pixels
# a tick, less than a UFO and the fighter side by side (40 + 40), so it cannot
# jump past either. A UFO that reaches the fighter's row therefore hits it.
# A missile is taken away once its top passes 100 pixels above the bottom,
# and the fighter's top is its height plus 10 above it: missile and fighter
# together (50 + 50) must reach across those 90 pixels, or no missile could
# ever hit the fighter.
PICTURES = {
    "image/UFO.kpg": (40, 20, ufo),
    "image/Fighter.kpg": (40, 50, fighter),
    "image/misile.kpg": (10, 50, missile),
    "image/Explosion.kpg": (48, 48, explosion),
}


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: make_data.py <data dir>")
    root = sys.argv[1]
    for rel, (w, h, draw) in PICTURES.items():
        write_png(os.path.join(root, rel), w, h, lambda x, y: draw(x, y, w, h))
    for size in (16, 32, 48):
        write_png(os.path.join(root, "icon/doruzoro-%d.png" % size), size, size,
                  lambda x, y: fighter(x, y, size, size))
    for rel, samples in effects().items():
        write_wave(os.path.join(root, rel), samples)
    jobs = [(os.path.join(root, rel), text) for rel, text in VOICES.items()]
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        list(pool.map(make_voice, jobs))


if __name__ == "__main__":
    main()
