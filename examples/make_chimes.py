#!/usr/bin/env python3
"""Writes chimes.wav, the example the demo converts: 4 s of plucked tones with a pause,
22050 Hz mono 16-bit. Deterministic (seeded dither)."""
import math
import random
import struct

RATE = 22050
random.seed(7)
NOTES = [(0.00, 392.0), (0.45, 523.25), (0.90, 659.25), (1.35, 783.99), (2.60, 659.25), (3.05, 523.25)]
n = int(RATE * 4.0)
out = [0.0] * n
for start, freq in NOTES:
    s0 = int(start * RATE)
    for i in range(int(RATE * 0.9)):
        if s0 + i >= n:
            break
        t = i / RATE
        env = math.exp(-t * 5.0) * min(1.0, t * 200)
        v = (math.sin(2 * math.pi * freq * t) + 0.35 * math.sin(4 * math.pi * freq * t)
             + 0.12 * math.sin(6 * math.pi * freq * t))
        out[s0 + i] += 0.28 * env * v
data = b''.join(struct.pack('<h', max(-32768, min(32767, int(round(x * 32767 + random.uniform(-2, 2))))))
                for x in out)
header = (b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVE' + b'fmt '
          + struct.pack('<IHHIIHH', 16, 1, 1, RATE, RATE * 2, 2, 16) + b'data' + struct.pack('<I', len(data)))
with open('chimes.wav', 'wb') as f:
    f.write(header + data)
