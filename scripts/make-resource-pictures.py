#!/usr/bin/env python3
"""Draws the four resource pictures of the console (GIF, as the home folder
expects them). Run once; the results are committed in resource/."""
import math, struct, sys, os

def gif(path, w, h, palette, pixels):
    # palette: list of (r,g,b), at most 128 entries; pixels: list of indices.
    pal = palette + [(0, 0, 0)] * (128 - len(palette))
    min_code = 7
    clear, end = 1 << min_code, (1 << min_code) + 1
    # "Uncompressed" LZW: a clear code before the table would grow past 8 bits.
    codes = []
    for i, p in enumerate(pixels):
        if i % 120 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    data, acc, nbits = bytearray(), 0, 0
    for c in codes:
        acc |= c << nbits
        nbits += 8
        while nbits >= 8:
            data.append(acc & 0xFF); acc >>= 8; nbits -= 8
    if nbits:
        data.append(acc & 0xFF)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", w, h, 0xF0 | 6, 0, 0)
    for r, g, b in pal:
        out += bytes((r, g, b))
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, w, h, 0)
    out.append(min_code)
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk)); out += chunk
    out += b"\x00;"
    with open(path, "wb") as f:
        f.write(out)

def phone(body, accent):
    w = h = 48
    pal = [(236, 233, 216), (40, 40, 40), body, accent, (255, 255, 255)]
    px = [0] * (w * h)
    def put(x, y, c):
        if 0 <= x < w and 0 <= y < h: px[y * w + x] = c
    # base of the telephone
    for y in range(24, 44):
        for x in range(8, 40):
            edge = y in (24, 43) or x in (8, 39)
            put(x, y, 1 if edge else 2)
    # dial
    for y in range(26, 42):
        for x in range(16, 32):
            if (x - 24) ** 2 + (y - 34) ** 2 <= 36: put(x, y, 4)
            if (x - 24) ** 2 + (y - 34) ** 2 <= 4: put(x, y, 1)
    # handset
    for y in range(8, 22):
        for x in range(4, 44):
            d = abs(y - 12)
            if (x < 14 or x > 33) and d <= 6: put(x, y, 3)
            elif 14 <= x <= 33 and 8 <= y <= 12: put(x, y, 3)
    return w, h, pal, px

def logo():
    w, h = 160, 48
    pal = [(236, 233, 216), (20, 60, 130), (200, 40, 40), (255, 255, 255)]
    px = [0] * (w * h)
    for y in range(h):
        for x in range(w):
            if (x - 24) ** 2 + (y - 24) ** 2 <= 400: px[y * w + x] = 1
            if (x - 24) ** 2 + (y - 24) ** 2 <= 100: px[y * w + x] = 3
            if 54 <= x <= 150 and 18 <= y <= 30 and (x // 8) % 2 == 0: px[y * w + x] = 2
    return w, h, pal, px

out = sys.argv[1] if len(sys.argv) > 1 else "resource"
os.makedirs(out, exist_ok=True)
gif(os.path.join(out, "phone.gif"), *phone((150, 150, 150), (90, 90, 90)))
gif(os.path.join(out, "phoneon.gif"), *phone((60, 170, 60), (20, 110, 20)))
gif(os.path.join(out, "phonehold.gif"), *phone((230, 160, 30), (200, 60, 20)))
gif(os.path.join(out, "company.gif"), *logo())
