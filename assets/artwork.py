#!/usr/bin/env python3
"""Helpers for render.sh (standard library only; pixels are read through ImageMagick).

  artwork.py cursor OUT.cur HX HY A.png [B.png ...]
      Writes a Windows cursor file holding each PNG as a 32-bit image. HX, HY is the hotspot
      of a 64-pixel image; it is scaled to each image's size.
  artwork.py check FILE.png ...
      Checks that fully transparent pixels carry no colour, that the one-pixel border is clear,
      and that no anti-aliased edge composites darker over white than the opaque pixels it
      borders (a dark fringe). Exit code 1 on any failure.
  artwork.py team OUT.svg T CHEER
      An SVG that composes the sleigh and its six reindeer the way the scene does, for the
      contact sheet.
"""
import base64
import math
import os
import struct
import subprocess
import sys


def read_rgba(path):
    w, h = (int(v) for v in subprocess.check_output(
        ['identify', '-format', '%w %h', path]).split())
    raw = subprocess.check_output(['convert', path, '-depth', '8', 'rgba:-'])
    if len(raw) != w * h * 4:
        raise SystemExit('%s: unexpected pixel data' % path)
    return w, h, raw


def cursor(out, hx, hy, pngs):
    images = []
    for p in pngs:
        w, h, px = read_rgba(p)
        if w != h or w > 256:
            raise SystemExit('%s: cursor images must be square, at most 256 px' % p)
        # XOR bitmap: straight BGRA, bottom-up; AND mask: 1 where fully transparent.
        xor = bytearray()
        mask = bytearray()
        stride = ((w + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row_mask = bytearray(stride)
            for x in range(w):
                r, g, b, a = px[(y * w + x) * 4:(y * w + x) * 4 + 4]
                if a == 0:
                    r = g = b = 0
                    row_mask[x // 8] |= 0x80 >> (x % 8)
                xor += bytes((b, g, r, a))
            mask += row_mask
        header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        scale = w / 64.0
        images.append((w, int(round(hx * scale)), int(round(hy * scale)), header + bytes(xor) + bytes(mask)))
    data = struct.pack('<HHH', 0, 2, len(images))
    offset = 6 + 16 * len(images)
    for w, x, y, blob in images:
        data += struct.pack('<BBBBHHII', w % 256, w % 256, 0, 0, x, y, len(blob), offset)
        offset += len(blob)
    for _, _, _, blob in images:
        data += blob
    with open(out, 'wb') as f:
        f.write(data)


def lum(r, g, b):
    return (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255.0


def check(paths):
    bad = 0
    for p in paths:
        w, h, px = read_rgba(p)
        problems = []
        coloured = 0
        border = 0
        fringe = 0
        for y in range(h):
            for x in range(w):
                i = (y * w + x) * 4
                r, g, b, a = px[i:i + 4]
                if a == 0 and (r or g or b):
                    coloured += 1
                if (x in (0, w - 1) or y in (0, h - 1)) and a > 2:
                    border += 1
                if 0 < a < 192:
                    # A dark fringe is an edge pixel whose straight colour was darkened towards
                    # black: over white it comes out darker than the darkest opaque pixel next
                    # to it, and it is darker than every more opaque neighbour (a thin dark
                    # line is not: its own core has the same colour).
                    k = a / 255.0
                    mine = lum(r, g, b)
                    over_white = mine * k + (1 - k)
                    darkest = None
                    denser = None
                    for dy in (-2, -1, 0, 1, 2):
                        for dx in (-2, -1, 0, 1, 2):
                            xx, yy = x + dx, y + dy
                            if 0 <= xx < w and 0 <= yy < h:
                                j = (yy * w + xx) * 4
                                l = lum(px[j], px[j + 1], px[j + 2])
                                if px[j + 3] >= 250:
                                    darkest = l if darkest is None else min(darkest, l)
                                if px[j + 3] > a and abs(dx) <= 1 and abs(dy) <= 1:
                                    denser = l if denser is None else min(denser, l)
                    if (darkest is not None and over_white < darkest - 0.04
                            and denser is not None and mine < denser - 0.08):
                        fringe += 1
        if coloured:
            problems.append('%d transparent pixels carry colour' % coloured)
        if border:
            problems.append('%d border pixels are not clear' % border)
        if fringe:
            problems.append("%d edge pixels darker than their neighbours over white (a dark fringe)" % fringe)
        print('%s: %s' % (p, '; '.join(problems) if problems else 'ok'))
        bad += bool(problems)
    return 1 if bad else 0


def team(out, t, cheer):
    # Flying to the left, so the pictures are not mirrored; world y grows upwards.
    s, height, ox, oy = 1.25, 180.0, 214.0, 60.0
    here = os.path.dirname(os.path.abspath(__file__))

    def at(p, q):
        return ox + p * s, height - (oy + q * s)

    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="340" height="180">',
             '<defs><filter id="far" color-interpolation-filters="sRGB"><feComponentTransfer>'
             '<feFuncR type="linear" slope="0.78"/><feFuncG type="linear" slope="0.78"/>'
             '<feFuncB type="linear" slope="0.78"/></feComponentTransfer></filter></defs>']
    files = {3: 'sprites/403-santa-sleigh.png', 4: 'sprites/404-reindeer-stretch.png',
             5: 'sprites/405-reindeer-gather.png'}

    def picture(slot, c, w, h, far=False):
        x, y = at(*c)
        w *= s
        h *= s
        with open(os.path.join(here, files[slot]), 'rb') as f:
            data = base64.b64encode(f.read()).decode('ascii')
        parts.append('<image x="%.2f" y="%.2f" width="%.2f" height="%.2f" href="data:image/png;base64,%s"%s/>' % (
            x - w / 2, y - h / 2, w, h, data, ' filter="url(#far)"' if far else ''))

    for i in range(3):
        f = int(max(0.0, t - 0.05 - 0.07 * i) / 0.13) % 2
        picture(4 + f, (-54 * (i + 1) + 30, 45 + 2.2 * math.sin(0.6 + 1.3 * i + 7 * t)), 62, 54, True)
    x0, y0 = 26.0, 40.0
    for i in range(3):
        hx, hy = -54 * (i + 1) + 12, 45 + 2.2 * math.sin(1.3 * i + 7 * t)
        cx, cy = (x0 + hx) / 2, min(hy, y0) - 4
        pts = []
        for k in range(7):
            u = k / 6.0
            pts.append('%.2f,%.2f' % at((1 - u) ** 2 * x0 + 2 * u * (1 - u) * cx + u * u * hx,
                                        (1 - u) ** 2 * y0 + 2 * u * (1 - u) * cy + u * u * hy))
        parts.append('<polyline points="%s" fill="none" stroke="#facc59" stroke-opacity="0.95" '
                     'stroke-width="%.2f" stroke-linecap="round"/>' % (' '.join(pts), 1.2 * s))
        x0, y0 = hx, hy
    picture(3, (48, 38), 96, 76)
    if cheer > 0.01:
        a = cheer * cheer * (3 - 2 * cheer) * (2.4 + 0.42 * math.sin(11 * t)) - 2.75
        ex, ey = 55 + 18 * math.sin(a), 54 + 18 * math.cos(a)
        mx, my = 55 + 14 * math.sin(a), 54 + 14 * math.cos(a)
        parts.append('<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="#cc1c21" stroke-width="%.2f" '
                     'stroke-linecap="round"/>' % (at(55, 54) + at(ex, ey) + (5.2 * s,)))
        parts.append('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#fcfcff"/>' % (at(mx, my) + (2.9 * s,)))
        parts.append('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#266640"/>' % (at(ex, ey) + (2.6 * s,)))
    for i in range(3):
        f = int(max(0.0, t - 0.07 * i) / 0.13) % 2
        picture(4 + f, (-54 * (i + 1) + 23, 41 + 2.2 * math.sin(1.3 * i + 7 * t)), 62, 54)
    parts.append('</svg>')
    with open(out, 'w') as f:
        f.write('\n'.join(parts) + '\n')


def main(argv):
    if len(argv) >= 5 and argv[1] == 'cursor':
        cursor(argv[2], float(argv[3]), float(argv[4]), argv[5:])
        return 0
    if len(argv) >= 3 and argv[1] == 'check':
        return check(argv[2:])
    if len(argv) == 5 and argv[1] == 'team':
        team(argv[2], float(argv[3]), float(argv[4]))
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
