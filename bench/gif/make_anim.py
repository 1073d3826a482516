# Writes a 1000 x 1000 GIF of 50 full frames, each with its own 256-colour
# table: smooth bands with some noise, as a photo-like animation would have.
# Usage: /usr/bin/python3 make_anim.py OUT.gif
import random
import sys

from PIL import Image

W = H = 1000
random.seed(1)
noise = bytes(random.randrange(6) for _ in range(W * H))
frames = []
for f in range(50):
    row = bytes(((x * 3 + f * 11) // 4) % 250 for x in range(W))
    data = bytearray(W * H)
    for y in range(H):
        shift = (y * 5 + f * 7) // 9
        data[y * W:(y + 1) * W] = row[shift % W:] + row[:shift % W]
    for i in range(0, W * H):
        data[i] = (data[i] + noise[i]) & 0xFF
    im = Image.frombytes('P', (W, H), bytes(data))
    im.putpalette([(i * 7 + f) % 256 if c == 0 else (i * (c + 2) + f * 3) % 256
                   for i in range(256) for c in range(3)])
    frames.append(im)
frames[0].save(sys.argv[1], save_all=True, append_images=frames[1:],
               duration=[40 + (i % 5) * 20 for i in range(50)], loop=0, optimize=False)
