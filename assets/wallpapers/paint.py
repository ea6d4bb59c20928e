#!/usr/bin/env python3
"""Paints the time-of-day wallpaper themes.

Every theme is one scene whose geometry is drawn once (seeded random numbers, so a re-render
gives the same picture) and then lit six times, once per phase of the day. Only colours,
lights and the sky change between phases, so the program's pixel-by-pixel blend of two
neighbouring phases looks like the light changing over one landscape.

    python3 assets/wallpapers/paint.py [--svg DIR] [--phases day,night] [THEME_ID ...]

writes {id}/{id}-{phase}.jpg (2560x1440) and {id}/{id}-thumb.jpg (480x270) next to this file.
Needs rsvg-convert and ImageMagick's convert; standard library otherwise.
"""

import json
import math
import os
import random
import subprocess
import sys
import tempfile
import time

W, H = 2560, 1440
PHASES = ["dawn", "day", "golden", "sunset", "blue", "night"]
HERE = os.path.dirname(os.path.abspath(__file__))
JPEG_QUALITY = 87
THUMB_W, THUMB_H = 480, 270

# ----------------------------------------------------------------------------- colours


def rgb(h):
    h = h.lstrip("#")
    return tuple(int(h[i:i + 2], 16) / 255 for i in (0, 2, 4))


def hexc(c):
    return "#%02x%02x%02x" % tuple(max(0, min(255, round(v * 255))) for v in c)


def mix(a, b, t):
    a, b = (rgb(a) if isinstance(a, str) else a), (rgb(b) if isinstance(b, str) else b)
    return hexc(tuple(x + (y - x) * t for x, y in zip(a, b)))


def mul(a, b):
    a, b = rgb(a), rgb(b)
    return hexc(tuple(x * y for x, y in zip(a, b)))


def clamp(v, lo=0.0, hi=1.0):
    return max(lo, min(hi, v))


# ----------------------------------------------------------------------------- light of each phase
# light: direct light on snow; shade: snow in shadow; haze: air near the horizon, which far layers
# dissolve into; ambient: multiplier for wood, stone and bark; dark: conifer needles; side: where
# the light comes from (-1 left, +1 right) and contrast: how much the lit side differs; glow: how
# many windows are lit; stars, aurora: visibility; sun/moon: discs (positions come from the scene).

PALETTES = {
    "dawn": dict(
        sky=[(0, "#18224f"), (0.38, "#4d5490"), (0.66, "#b48aa8"), (0.86, "#f0b3a4"), (1, "#ffd6b0")],
        light="#ffe0d6", shade="#8f8fc4", haze="#e3b6bf", fog=0.72, ambient="#b7a8c6", dark="#232a48",
        side=1, contrast=0.55, glow=0.45, stars=0.22, aurora=0.0,
        sun=dict(core="#fff4e4", glow="#ffb48c", size=40, halo=820, halo_a=0.85), moon=None,
        cloud="#ffc0b4", cloud_shade="#7d76a8", cloud_a=0.7, mist=0.55, smoke="#d8c2d0"),
    "day": dict(
        sky=[(0, "#2f6fc6"), (0.45, "#6ea6e2"), (0.8, "#b9d8f2"), (1, "#e4f0fa")],
        light="#ffffff", shade="#b3c9e6", haze="#d6e7f6", fog=0.62, ambient="#f2f4f8", dark="#1f3d33",
        side=-0.35, contrast=0.5, glow=0.0, stars=0.0, aurora=0.0,
        sun=dict(core="#ffffff", glow="#fff7e0", size=44, halo=760, halo_a=0.7), moon=None,
        cloud="#ffffff", cloud_shade="#c5d6ea", cloud_a=0.85, mist=0.35, smoke="#eef3f8"),
    "golden": dict(
        sky=[(0, "#3a63a8"), (0.4, "#7f98c0"), (0.68, "#e0c09a"), (0.88, "#ffcf8a"), (1, "#ffe2a8")],
        light="#fff0cf", shade="#8592c8", haze="#efc9a0", fog=0.6, ambient="#ffe4bd", dark="#2c3b2f",
        side=-1, contrast=0.75, glow=0.15, stars=0.0, aurora=0.0,
        sun=dict(core="#fffbe8", glow="#ffcf7a", size=46, halo=900, halo_a=0.85), moon=None,
        cloud="#ffe0a8", cloud_shade="#9f93b0", cloud_a=0.85, mist=0.45, smoke="#f3dcc0"),
    "sunset": dict(
        sky=[(0, "#1f2c66"), (0.35, "#5a4c8c"), (0.6, "#c9688a"), (0.8, "#f48a62"), (1, "#ffb35a")],
        light="#ffc2a4", shade="#6f6fa8", haze="#e29a92", fog=0.74, ambient="#e09a90", dark="#241f3c",
        side=-1, contrast=0.8, glow=0.55, stars=0.05, aurora=0.0,
        sun=dict(core="#fff0c8", glow="#ff8a3c", size=58, halo=1050, halo_a=0.95), moon=None,
        cloud="#ff9a7a", cloud_shade="#5c4a84", cloud_a=0.9, mist=0.5, smoke="#c89aa6"),
    "blue": dict(
        sky=[(0, "#0a1440"), (0.4, "#1d3272"), (0.72, "#3f5fa6"), (0.9, "#7088c4"), (1, "#a79cc4")],
        light="#9fb4e6", shade="#4a5b9c", haze="#6f86c0", fog=0.7, ambient="#6a78ac", dark="#131a3a",
        side=-0.6, contrast=0.35, glow=0.88, stars=0.4, aurora=0.2,
        sun=None, moon=None,
        cloud="#6e6ea8", cloud_shade="#28366e", cloud_a=0.6, mist=0.5, smoke="#6f7fb4"),
    "night": dict(
        sky=[(0, "#02051a"), (0.45, "#081436"), (0.78, "#142a58"), (1, "#25406f")],
        light="#6f8cc8", shade="#233466", haze="#1f3665", fog=0.66, ambient="#3b4a7c", dark="#070c22",
        side=0.7, contrast=0.4, glow=1.0, stars=1.0, aurora=1.0,
        sun=None, moon=dict(core="#f4f1e4", glow="#9fb6e8", size=34, halo=560, halo_a=0.5),
        cloud="#1e2c55", cloud_shade="#0a1230", cloud_a=0.55, mist=0.4, smoke="#34466f"),
}

WINDOW_WARM = "#ffc96e"
WINDOW_HOT = "#fff1c2"

# ----------------------------------------------------------------------------- SVG helpers


class Svg:
    def __init__(self):
        self.defs = []
        self.body = []
        self.n = 0

    def uid(self, stem):
        self.n += 1
        return "%s%d" % (stem, self.n)

    def lin(self, x1, y1, x2, y2, stops):
        gid = self.uid("g")
        s = "".join('<stop offset="%.4f" stop-color="%s" stop-opacity="%.3f"/>' % (o, c, a)
                    for o, c, a in stops)
        self.defs.append('<linearGradient id="%s" gradientUnits="userSpaceOnUse" x1="%.1f" y1="%.1f" '
                         'x2="%.1f" y2="%.1f">%s</linearGradient>' % (gid, x1, y1, x2, y2, s))
        return "url(#%s)" % gid

    def rad(self, cx, cy, r, stops, sy=1.0):
        gid = self.uid("r")
        s = "".join('<stop offset="%.4f" stop-color="%s" stop-opacity="%.3f"/>' % (o, c, a)
                    for o, c, a in stops)
        tr = ' gradientTransform="translate(%.1f %.1f) scale(1 %.4f) translate(%.1f %.1f)"' % (
            cx, cy, sy, -cx, -cy) if sy != 1.0 else ""
        self.defs.append('<radialGradient id="%s" gradientUnits="userSpaceOnUse" cx="%.1f" cy="%.1f" '
                         'r="%.1f"%s>%s</radialGradient>' % (gid, cx, cy, r, tr, s))
        return "url(#%s)" % gid

    def blur(self, sd):
        fid = self.uid("f")
        self.defs.append('<filter id="%s" x="-50%%" y="-50%%" width="200%%" height="200%%">'
                         '<feGaussianBlur stdDeviation="%.2f"/></filter>' % (fid, sd))
        return "url(#%s)" % fid

    def add(self, s):
        self.body.append(s)

    def text(self):
        return ('<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
                'width="%d" height="%d" viewBox="0 0 %d %d"><defs>%s</defs>%s</svg>'
                % (W, H, W, H, "".join(self.defs), "".join(self.body)))


def pts(points):
    return " ".join("%.1f,%.1f" % p for p in points)


def poly_d(points, close=True):
    d = "M" + " L".join("%.1f %.1f" % p for p in points)
    return d + (" Z" if close else "")


def smooth_d(points, close_to=None):
    """A Catmull-Rom curve through the points; close_to closes it down to that y."""
    d = "M%.1f %.1f" % points[0]
    for i in range(len(points) - 1):
        p0 = points[max(0, i - 1)]
        p1, p2 = points[i], points[i + 1]
        p3 = points[min(len(points) - 1, i + 2)]
        c1 = (p1[0] + (p2[0] - p0[0]) / 6, p1[1] + (p2[1] - p0[1]) / 6)
        c2 = (p2[0] - (p3[0] - p1[0]) / 6, p2[1] - (p3[1] - p1[1]) / 6)
        d += " C%.1f %.1f %.1f %.1f %.1f %.1f" % (c1 + c2 + p2)
    if close_to is not None:
        d += " L%.1f %.1f L%.1f %.1f Z" % (points[-1][0], close_to, points[0][0], close_to)
    return d


# ----------------------------------------------------------------------------- geometry


class Ridge:
    """A smooth horizon line: a sum of sines with random phases, sampled every `step` px."""

    def __init__(self, rng, y0, amp, waves=(1.3, 2.9, 6.1, 13.0), step=40, tilt=0.0, bumps=()):
        comps = [(amp / (1.7 ** i), f, rng.uniform(0, 2 * math.pi)) for i, f in enumerate(waves)]
        self.points = []
        for x in range(-80, W + 81, step):
            y = y0 + tilt * (x - W / 2) / W
            y += sum(a * math.sin(2 * math.pi * f * x / W + p) for a, f, p in comps)
            for bx, by, bw in bumps:  # (centre, height, half width): shaped hills
                y -= by * math.exp(-((x - bx) / bw) ** 2)
            self.points.append((float(x), y))

    def y(self, x):
        p = self.points
        step = p[1][0] - p[0][0]
        i = int(clamp((x - p[0][0]) / step, 0, len(p) - 2))
        t = (x - p[i][0]) / step
        return p[i][1] + (p[i + 1][1] - p[i][1]) * t

    def top(self):
        return min(y for _, y in self.points)


def jagged(rng, a, b, rough, depth=5):
    """Midpoint displacement between two points: a rocky ridge line."""
    if depth == 0:
        return [a]
    mx, my = (a[0] + b[0]) / 2, (a[1] + b[1]) / 2
    length = math.hypot(b[0] - a[0], b[1] - a[1])
    my += rng.uniform(-1, 1) * rough * length
    mx += rng.uniform(-0.5, 0.5) * rough * length * 0.5
    m = (mx, my)
    return jagged(rng, a, m, rough, depth - 1) + jagged(rng, m, b, rough, depth - 1)


class Range:
    """A mountain range: peaks with a left and a right face each, so the light can pick a side."""

    def __init__(self, rng, keys, base, rough=0.11, snowline=0.55):
        self.base = base
        self.snowline = snowline
        self.faces = []  # (orientation -1/+1, polygon, top y, foot y)
        self.outline = []
        for i in range(len(keys) - 1):
            self.outline += jagged(rng, keys[i], keys[i + 1], rough)
        self.outline.append(keys[-1])
        # The peaks are the odd keys; valleys (and ends) the even ones.
        valley_idx = [0]
        for i in range(1, len(keys)):
            valley_idx.append(valley_idx[-1] + 2 ** 5)
        for k in range(1, len(keys) - 1, 2):
            vl, pk, vr = valley_idx[k - 1], valley_idx[k], valley_idx[k + 1]
            px, py = self.outline[pk]
            spine = [(px, py)]
            x, y = px, py
            steps = 9
            for s in range(steps):
                y += (base - py) / steps
                x += rng.uniform(-0.28, 0.28) * (base - py) / steps + (base - py) / steps * 0.08 * (
                    1 if k % 4 == 1 else -1)
                spine.append((x, y))
            # Each face runs on past its valley down to the foot, so neighbouring peaks overlap
            # along a slanted ridge instead of meeting in a vertical seam; taller peaks stand behind.
            xl = self.outline[vl][0] - (base - self.outline[vl][1]) * 0.7
            xr = self.outline[vr][0] + (base - self.outline[vr][1]) * 0.7
            left = self.outline[vl:pk + 1] + spine[1:] + [(xl, base)]
            right = [(px, py)] + self.outline[pk:vr + 1] + [(xr, base)] + spine[::-1][:-1]
            self.faces.append((py, -1, left, base))
            self.faces.append((py, 1, right, base))
        self.faces = [(o, poly, py, b) for py, o, poly, b in sorted(self.faces, key=lambda f: (f[0], f[1]))]
        self.fill_outline = self.outline + [(self.outline[-1][0], base), (self.outline[0][0], base)]
        # rocky gullies running down from the crests
        self.gullies = []
        for _ in range(len(keys) * 7):
            i = rng.randrange(4, len(self.outline) - 4)
            x, y = self.outline[i]
            length = (base - y) * rng.uniform(0.15, 0.5)
            line = [(x, y + 3)]
            for _ in range(6):
                x += rng.uniform(-0.04, 0.04) * length
                y += length / 6
                line.append((x, y))
            self.gullies.append((line, rng.uniform(2, 6)))


def pine(rng, x, y, h, tiers=None):
    """A spruce: a zig-zag silhouette and a snow cap on every tier. Returns (body d, snow d)."""
    tiers = tiers or max(3, min(9, int(h / 28) + 3))
    wmax = h * rng.uniform(0.26, 0.33)
    top = y - h
    body_r, body_l, snow = [(x, top)], [], []
    notch_r, notch_l = (x, top), (x, top)
    for i in range(tiers):
        t1 = (i + 1) / tiers
        ty = top + h * (0.06 + 0.88 * t1)
        wr = wmax * (0.18 + 0.82 * t1 ** 0.9) * rng.uniform(0.88, 1.12)
        wl = wmax * (0.18 + 0.82 * t1 ** 0.9) * rng.uniform(0.88, 1.12)
        droop = h * 0.035
        win = wmax * (0.12 + 0.45 * t1) * 0.55
        tip_r, tip_l = (x + wr, ty + droop), (x - wl, ty + droop * rng.uniform(0.7, 1.2))
        body_r += [tip_r, (x + win, ty - h * 0.012)]
        body_l += [tip_l, (x - win, ty - h * 0.012)]
        # snow lies in a band along the upper side of each tier's branches, lumpy underneath
        th = h * 0.013 + 1.0
        band = [tip_l, notch_l, notch_r, tip_r]
        under = []
        for k in range(6, -1, -1):  # back along the lower edge, right tip to left tip
            u = k / 6
            ex = notch_r[0] + (tip_r[0] - notch_r[0]) * u
            ey = notch_r[1] + (tip_r[1] - notch_r[1]) * u
            under.append((ex - th * 0.3, ey + th * rng.uniform(0.7, 1.5)))
        for k in range(0, 7):
            u = k / 6
            ex = notch_l[0] + (tip_l[0] - notch_l[0]) * u
            ey = notch_l[1] + (tip_l[1] - notch_l[1]) * u
            under.append((ex + th * 0.3, ey + th * rng.uniform(0.7, 1.5)))
        snow.append(poly_d(band + under))
        notch_r, notch_l = (x + win, ty - h * 0.012), (x - win, ty - h * 0.012)
    trunk_w = max(1.5, h * 0.035)
    body = body_r + [(x + trunk_w, y), (x - trunk_w, y)] + body_l[::-1]
    return poly_d(body), " ".join(snow)


def far_forest(rng, ridge, x0, x1, hmin, hmax, density=1.0, sink=6):
    """A band of small spruces along a ridge, as one path."""
    d = []
    x = x0
    while x < x1:
        h = rng.uniform(hmin, hmax)
        y = ridge.y(x) + sink
        w = h * rng.uniform(0.22, 0.3)
        # three stacked triangles read as a spruce at this size
        p = [(x, y - h)]
        for t in (0.38, 0.66, 1.0):
            p.append((x + w * t, y - h * (1 - t) + h * 0.02))
            if t < 1:
                p.append((x + w * t * 0.45, y - h * (1 - t) - h * 0.02))
        p2 = [(2 * x - px, py) for px, py in p[1:]][::-1]
        d.append(poly_d(p + [(x + 2, y + sink + 4), (x - 2, y + sink + 4)] + p2))
        x += w * rng.uniform(0.55, 1.4) / density
    return " ".join(d)


# ----------------------------------------------------------------------------- painters


class Painter:
    """Draws one scene element for one phase; `pal` is that phase's palette (with scene tweaks)."""

    def __init__(self, svg, pal, scene):
        self.s = svg
        self.p = pal
        self.scene = scene

    def fog(self, colour, depth):
        return mix(colour, self.p["haze"], clamp(self.p["fog"] * depth))

    def snow_tone(self, t):
        """Snow colour between full shadow (0) and full light (1)."""
        return mix(self.p["shade"], self.p["light"], clamp(t))

    # --- sky
    def sky(self, horizon):
        stops = [(o * horizon / H if o < 1 else horizon / H, c, 1) for o, c in self.p["sky"]]
        stops.append((1, self.p["sky"][-1][1], 1))
        self.s.add('<rect width="%d" height="%d" fill="%s"/>' % (W, H, self.s.lin(0, 0, 0, H, stops)))

    def sun_glow(self, x, y, horizon, colour=None, a=None, halo=None, flat=0.55):
        sun = self.p["sun"]
        colour = colour or sun["glow"]
        a = sun["halo_a"] if a is None else a
        halo = halo or sun["halo"]
        self.s.add('<rect width="%d" height="%d" fill="%s"/>' % (W, horizon + 40, self.s.rad(
            x, y, halo * 1.9, [(0, colour, a * 0.55), (0.35, colour, a * 0.22), (1, colour, 0)], sy=flat)))
        self.s.add('<rect width="%d" height="%d" fill="%s"/>' % (W, horizon + 40, self.s.rad(
            x, y, halo * 0.55, [(0, sun["core"], a * 0.9), (0.25, colour, a * 0.5), (1, colour, 0)])))

    def sun(self, x, y):
        sun = self.p["sun"]
        r = sun["size"]
        self.s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (x, y, r * 3.2, self.s.rad(
            x, y, r * 3.2, [(0, sun["core"], 1), (0.3, sun["core"], 0.9), (0.42, sun["glow"], 0.45),
                            (1, sun["glow"], 0)])))
        self.s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (x, y, r, sun["core"]))

    def afterglow(self, x, horizon, colour, a, width=1400, height=520):
        """The light left over the horizon where the sun went down (blue hour)."""
        self.s.add('<rect width="%d" height="%d" fill="%s"/>' % (W, horizon + 40, self.s.rad(
            x, horizon + 60, width, [(0, colour, a), (0.45, colour, a * 0.35), (1, colour, 0)],
            sy=height / width)))

    def moon(self, x, y):
        m = self.p["moon"]
        r = m["size"]
        self.s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (x, y, m["halo"], self.s.rad(
            x, y, m["halo"], [(0, m["glow"], m["halo_a"]), (0.12, m["glow"], m["halo_a"] * 0.45),
                              (0.45, m["glow"], m["halo_a"] * 0.1), (1, m["glow"], 0)])))
        self.s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (x, y, r, self.s.rad(
            x - r * 0.3, y - r * 0.3, r * 1.4, [(0, "#fffdf4", 1), (0.7, m["core"], 1), (1, "#cfd3d8", 1)])))
        for dx, dy, cr, a in ((-0.3, -0.2, 0.22, 0.16), (0.25, 0.15, 0.3, 0.12), (0.05, -0.45, 0.12, 0.14),
                              (-0.35, 0.38, 0.16, 0.1), (0.45, -0.25, 0.1, 0.12)):
            self.s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="#8d93a6" opacity="%.2f"/>'
                       % (x + dx * r, y + dy * r, cr * r, a))

    def stars(self, rng_seed, horizon, count=900):
        a = self.p["stars"]
        if a <= 0:
            return
        rng = random.Random(rng_seed)
        out = []
        glows = []
        for _ in range(count):
            x = rng.uniform(0, W)
            y = rng.uniform(0, horizon) ** 1.25 / horizon ** 0.25
            m = rng.random() ** 3
            r = 0.7 + 2.0 * m
            fade = clamp(1.15 - y / horizon) ** 0.8
            col = rng.choice(("#ffffff", "#ffffff", "#dfe8ff", "#fff2dc", "#cfe0ff"))
            op = a * fade * (0.35 + 0.65 * m) * rng.uniform(0.7, 1.0)
            if op < 0.03:
                continue
            out.append('<circle cx="%.1f" cy="%.1f" r="%.2f" fill="%s" opacity="%.3f"/>' % (x, y, r, col, op))
            if m > 0.55:
                glows.append((x, y, r, op, col))
        self.s.add("".join(out))
        for x, y, r, op, col in glows:
            g = self.s.rad(x, y, r * 7, [(0, col, 0.6), (1, col, 0)])
            self.s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s" opacity="%.3f"/>' % (x, y, r * 7, g, op))
            if r > 2.2:  # the brightest ones twinkle
                L = r * 9
                self.s.add('<path d="M%.1f %.1fL%.1f %.1fM%.1f %.1fL%.1f %.1f" stroke="%s" stroke-width="0.9" '
                           'opacity="%.3f"/>' % (x - L, y, x + L, y, x, y - L, x, y + L, col, op * 0.5))

    def milky_way(self, horizon):
        a = self.p["stars"] * 0.22
        if a <= 0.02:
            return
        g = self.s.rad(W * 0.42, horizon * 0.35, W * 0.6, [(0, "#9fb2e6", a), (0.5, "#7d90c8", a * 0.4),
                                                           (1, "#6a7cb8", 0)], sy=0.16)
        self.s.add('<g transform="rotate(-18 %.1f %.1f)"><rect x="-400" y="-400" width="%d" height="%d" '
                   'fill="%s"/></g>' % (W * 0.42, horizon * 0.35, W + 800, H + 800, g))

    def clouds(self, rng_seed, bands, sun_x=None):
        """Soft streaks of cloud; the ones near the sun take its colour."""
        rng = random.Random(rng_seed)
        p = self.p
        for (cy, spread, n, rx0, ry0) in bands:
            for _ in range(n):
                x = rng.uniform(-200, W + 200)
                y = cy + rng.uniform(-spread, spread)
                rx = rx0 * rng.uniform(0.6, 1.5)
                ry = ry0 * rng.uniform(0.6, 1.4)
                near = 0.0 if sun_x is None else clamp(1 - abs(x - sun_x) / 1300)
                body = mix(p["cloud_shade"], p["cloud"], 0.35 + 0.65 * near)
                a = p["cloud_a"] * rng.uniform(0.45, 0.9)
                g = self.s.rad(x, y, rx, [(0, body, a), (0.5, body, a * 0.6), (1, body, 0)], sy=ry / rx)
                self.s.add('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>' % (x, y, rx, ry, g))
                # the lit underside
                g2 = self.s.rad(x, y + ry * 0.35, rx * 0.8, [(0, p["cloud"], a * 0.7), (1, p["cloud"], 0)],
                                sy=ry * 0.5 / (rx * 0.8))
                self.s.add('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>'
                           % (x, y + ry * 0.35, rx * 0.8, ry * 0.5, g2))

    def aurora(self, rng_seed, horizon, curtains, colours=("#3dffb0", "#38e0c8", "#9b6bff")):
        a = self.p["aurora"] * self.scene.get("aurora", 0)
        if a <= 0.01:
            return
        rng = random.Random(rng_seed)
        blur = self.s.blur(26)
        rays = self.s.blur(5)
        parts = []
        ray_parts = []
        for (x0, x1, ybase, amp, height, ci) in curtains:
            col = colours[ci % len(colours)]
            top_col = colours[(ci + 2) % len(colours)]
            xs = [x0 + (x1 - x0) * i / 60 for i in range(61)]
            ph1, ph2 = rng.uniform(0, 6.3), rng.uniform(0, 6.3)
            base = [(x, ybase + amp * math.sin(x / 380 + ph1) + amp * 0.4 * math.sin(x / 140 + ph2)) for x in xs]
            topl = [(x + 40, y - height * (0.75 + 0.35 * math.sin(x / 260 + ph2))) for x, y in base]
            poly = base + topl[::-1]
            g = self.s.lin(0, ybase + amp, 0, ybase - height * 1.1,
                           [(0, col, 0), (0.1, col, 0.8 * a), (0.35, col, 0.45 * a), (0.75, top_col, 0.16 * a),
                            (1, top_col, 0)])
            parts.append('<path d="%s" fill="%s"/>' % (smooth_d(poly), g))
            # vertical rays, fading in above the curtain's lower edge so no hard line shows
            rg = self.s.lin(0, ybase + amp + 30, 0, ybase - height * 1.1,
                            [(0, col, 0), (0.12, col, 0.15 * a), (0.25, col, 0.7 * a), (0.6, top_col, 0.25 * a),
                             (1, top_col, 0)])
            for i in range(0, 60, 1):
                if rng.random() < 0.55:
                    continue
                bx, by = base[i]
                tx, ty = topl[i]
                w = rng.uniform(6, 22)
                ray_parts.append('<path d="M%.1f %.1f L%.1f %.1f L%.1f %.1f L%.1f %.1f Z" fill="%s" opacity="%.3f"/>'
                                 % (bx - w, by + 30, bx + w, by + 30, tx + w * 0.6, ty, tx - w * 0.6, ty, rg,
                                    rng.uniform(0.3, 0.8)))
        self.s.add('<g filter="%s">%s</g>' % (blur, "".join(parts)))
        self.s.add('<g filter="%s" style="mix-blend-mode:screen">%s</g>' % (rays, "".join(ray_parts)))

    # --- land
    def range_(self, rng_seed, rng_obj, depth, lit_bias=0.0):
        """A mountain range; depth 0 = near, 1 = at the horizon."""
        r = rng_obj
        p = self.p
        top = min(y for _, y in r.outline)
        body = self.fog(mix(p["dark"], p["shade"], 0.45), depth + 0.15)
        self.s.add('<path d="%s" fill="%s"/>' % (poly_d(r.fill_outline), body))
        for orient, poly, py, base in r.faces:
            t = clamp(0.5 + 0.5 * orient * p["side"] * p["contrast"] * 2 - 0.25 + lit_bias, 0, 1)
            snow = self.fog(self.snow_tone(t), depth)
            low = self.fog(mix(self.snow_tone(0.3), p["dark"], 0.5), depth + 0.1)
            mid_y = py + (base - py) * r.snowline
            g = self.s.lin(0, py, 0, base, [(0, snow, 1), ((mid_y - py) / (base - py), mix(snow, low, 0.35), 1),
                                            (1, low, 1)])
            self.s.add('<path d="%s" fill="%s"/>' % (poly_d(poly), g))
        rock = self.fog(mix(p["dark"], p["shade"], 0.35), depth + 0.05)
        self.s.add('<g stroke="%s" fill="none" opacity="0.14" stroke-linecap="round">%s</g>' % (rock, "".join(
            '<path d="%s" stroke-width="%.1f"/>' % (poly_d(line, close=False), w) for line, w in r.gullies)))
        # a thin bright rim on the lit edge
        rim = self.fog(mix(p["light"], "#ffffff", 0.3), depth)
        self.s.add('<path d="%s" fill="none" stroke="%s" stroke-width="2.2" opacity="%.2f"/>'
                   % (poly_d(r.outline, close=False), rim, 0.35 * p["contrast"]))

    def mist(self, y_top, y_bottom, a=None, colour=None):
        a = self.p["mist"] if a is None else a
        c = colour or self.p["haze"]
        g = self.s.lin(0, y_top, 0, y_bottom, [(0, c, 0), (0.7, c, a * 0.7), (1, c, a)])
        self.s.add('<rect x="0" y="%.1f" width="%d" height="%.1f" fill="%s"/>' % (y_top, W, y_bottom - y_top, g))

    def hill(self, ridge, depth, bottom=H + 10, light=0.6, ridge_glow=True, shade_bottom=0.7):
        """A snowy hill: bright along its crest, bluer lower down, the lit side warmer."""
        p = self.p
        top = ridge.top()
        c_top = self.fog(self.snow_tone(light + 0.25), depth)
        c_bot = self.fog(self.snow_tone(light - shade_bottom), depth * 0.8)
        span = max(y for _, y in ridge.points) - top + 140
        g = self.s.lin(0, top, 0, min(bottom, top + span), [(0, c_top, 1), (1, c_bot, 1)])
        d = smooth_d(ridge.points, close_to=bottom)
        self.s.add('<path d="%s" fill="%s"/>' % (d, g))
        # side light: the half towards the light brighter, the other half in shade
        side = p["side"]
        if abs(side) > 0.05:
            x_lit, x_dark = (0, W) if side < 0 else (W, 0)
            g2 = self.s.lin(x_lit, 0, x_dark, 0, [(0, p["light"], 0.32 * abs(side) * p["contrast"]),
                                                  (0.55, p["light"], 0), (0.6, p["shade"], 0),
                                                  (1, p["shade"], 0.38 * abs(side) * p["contrast"])])
            self.s.add('<path d="%s" fill="%s"/>' % (d, g2))
        if ridge_glow:
            rim = self.fog(mix(p["light"], "#ffffff", 0.45), depth)
            self.s.add('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f" opacity="%.2f" filter="%s"/>'
                       % (smooth_d(ridge.points), rim, 5 - 3 * depth, 0.55 + 0.3 * p["contrast"], self.s.blur(2.5)))

    def forest(self, d, depth, snow_d=None, bright=0.0):
        p = self.p
        c = self.fog(mix(p["dark"], p["shade"], bright), depth)
        self.s.add('<path d="%s" fill="%s"/>' % (d, c))
        if snow_d:
            self.s.add('<path d="%s" fill="%s" opacity="0.92"/>' % (snow_d, self.fog(self.snow_tone(0.75), depth)))

    def trees(self, trees, depth):
        """Big spruces; trees = [(body d, snow d)]."""
        p = self.p
        body = self.fog(p["dark"], depth)
        snow = self.fog(self.snow_tone(0.8), depth)
        snow_sh = self.fog(self.snow_tone(0.35), depth)
        self.s.add('<path d="%s" fill="%s"/>' % (" ".join(b for b, _ in trees), body))
        self.s.add('<path d="%s" fill="%s" transform="translate(1.5 2.5)"/>' % (" ".join(s for _, s in trees), snow_sh))
        self.s.add('<path d="%s" fill="%s"/>' % (" ".join(s for _, s in trees), snow))

    def sparkles(self, rng_seed, ridge, y_bottom, count=500):
        """Glints on the near snow where the direct light catches it."""
        p = self.p
        a = clamp(p["contrast"] - 0.3) * (1.0 if p["sun"] else 0.5)
        if a <= 0.02:
            return
        rng = random.Random(rng_seed)
        out = []
        for _ in range(count):
            x = rng.uniform(0, W)
            y0 = ridge.y(x) + 20
            if y0 >= y_bottom:
                continue
            y = rng.uniform(y0, y_bottom)
            out.append('<circle cx="%.1f" cy="%.1f" r="%.2f" fill="#ffffff" opacity="%.3f"/>'
                       % (x, y, rng.uniform(0.8, 2.0), a * rng.uniform(0.2, 0.9)))
        self.s.add("".join(out))

    def footpath(self, points, w0, w1):
        """A trodden path in the snow, widening towards the viewer."""
        left, right = [], []
        n = len(points)
        for i, (x, y) in enumerate(points):
            t = i / (n - 1)
            w = w0 + (w1 - w0) * t
            left.append((x - w / 2, y))
            right.append((x + w / 2, y))
        d = smooth_d(left) + " L" + smooth_d(right[::-1])[1:] + " Z"
        self.s.add('<path d="%s" fill="%s" opacity="0.8" filter="%s"/>' % (d, self.snow_tone(0.25), self.s.blur(4)))
        inner = [(x + 0.12 * (w0 + (w1 - w0) * i / (n - 1)), y) for i, (x, y) in enumerate(points)]
        self.s.add('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f" opacity="0.5" filter="%s"/>'
                   % (smooth_d(inner), self.snow_tone(0.9), w0 * 0.3, self.s.blur(3)))

    def fence(self, xs, ground, height, depth=0.0):
        p = self.p
        wood = self.fog(mul("#5b4030", p["ambient"]), depth)
        cap = self.fog(self.snow_tone(0.9), depth)
        out = []
        for x in xs:
            y = ground(x)
            out.append('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
                       % (x - height * 0.06, y - height, height * 0.12, height, wood))
            out.append('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>'
                       % (x, y - height, height * 0.1, height * 0.05, cap))
        for f in (0.35, 0.75):
            line = [(x, ground(x) - height * f) for x in xs]
            out.append('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f"/>'
                       % (poly_d(line, close=False), wood, height * 0.06))
            out.append('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f" transform="translate(0 %.1f)"/>'
                       % (poly_d(line, close=False), cap, height * 0.035, -height * 0.04))
        self.s.add("".join(out))

    def drifts(self, rng_seed, ground, y_bottom, count=9, x_range=(0, W)):
        """Wind-blown ripples in the near snow: a bright crest with a soft shadow below it."""
        rng = random.Random(rng_seed)
        p = self.p
        crest, shadow = [], []
        for i_drift in range(count):
            x0 = rng.uniform(x_range[0] - 300, x_range[1] - 400)
            length = rng.uniform(500, 1300)
            y_top = ground(x0 + length / 2) + 40
            if y_top >= y_bottom - 30:
                continue
            band = (y_bottom - 30 - y_top) / count
            y0 = y_top + band * (i_drift + rng.uniform(0.1, 0.9))
            k = 0.5 + (y0 - y_top) / max(1, y_bottom - y_top)  # nearer ripples are bigger
            amp, phase, n = rng.uniform(8, 22) * k, rng.uniform(0, 6.3), 24
            line = [(x0 + length * i / n, y0 + amp * math.sin(phase + 5.0 * i / n) - 30 * k * math.sin(math.pi * i / n))
                    for i in range(n + 1)]
            thick = [34 * k * math.sin(math.pi * i / n) ** 0.8 for i in range(n + 1)]
            crest.append(smooth_d(line))
            shadow.append(smooth_d(line) + " L" + smooth_d([(x, y + t) for (x, y), t in zip(line, thick)][::-1])[1:] + " Z")
        self.s.add('<path d="%s" fill="%s" opacity="%.2f" filter="%s"/>'
                   % (" ".join(shadow), self.snow_tone(0.05), 0.45, self.s.blur(9)))
        self.s.add('<path d="%s" fill="none" stroke="%s" stroke-width="2.5" opacity="%.2f" filter="%s"/>'
                   % (" ".join(crest), mix(p["light"], "#ffffff", 0.4), 0.15 + 0.25 * p["contrast"], self.s.blur(2)))

    def snowman(self, x, y, size):
        """Three balls of snow, lit from the side the light comes from, with a scarf and a carrot."""
        p = self.p
        s = self.s
        side = -1 if p["side"] < 0 else 1  # only the light follows it; he always looks to the right
        face = 1
        out = []
        shadow = s.rad(x - side * size * 0.5, y, size * 1.4, [(0, self.snow_tone(0.0), 0.55), (1, self.snow_tone(0.0), 0)],
                       sy=0.22)
        out.append('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>'
                   % (x - side * size * 0.5, y, size * 1.4, size * 0.3, shadow))
        balls = [(y - size * 0.5, size * 0.55), (y - size * 1.32, size * 0.4), (y - size * 1.9, size * 0.28)]
        for cy, r in balls:
            g = s.rad(x + side * r * 0.45, cy - r * 0.45, r * 1.6,
                      [(0, mix(p["light"], "#ffffff", 0.3), 1), (0.45, self.snow_tone(0.7), 1), (1, self.snow_tone(0.05), 1)])
            out.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (x, cy, r, g))
        hy, hr = balls[2]
        coal = mul("#1b1b22", p["ambient"])
        mound = s.rad(x, y - size * 0.04, size * 0.7, [(0, self.snow_tone(0.7), 1), (0.55, self.snow_tone(0.6), 0.9),
                                                        (1, self.snow_tone(0.55), 0)], sy=0.2)
        out.append('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>'
                   % (x, y - size * 0.04, size * 0.7, size * 0.14, mound))
        for dx in (-0.2, 0.38):
            out.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (x + dx * hr, hy - hr * 0.2, hr * 0.09, coal))
        for k in range(5):
            a = math.pi * (0.2 + 0.6 * k / 4)
            out.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>'
                       % (x + math.cos(a) * hr * 0.55, hy + math.sin(a) * hr * 0.45, hr * 0.06, coal))
        out.append('<path d="M%.1f %.1f L%.1f %.1f L%.1f %.1f Z" fill="%s"/>'
                   % (x, hy - hr * 0.05, x + face * hr * 0.85, hy + hr * 0.08, x, hy + hr * 0.14, mul("#f07a2a", p["ambient"])))
        scarf = mul("#c8323a", p["ambient"])
        sy = hy + hr * 0.95
        out.append('<path d="%s" fill="%s"/>' % (smooth_d([(x - hr * 0.95, sy - hr * 0.1), (x, sy + hr * 0.12),
                                                          (x + hr * 0.95, sy - hr * 0.1), (x + hr * 0.9, sy + hr * 0.2),
                                                          (x, sy + hr * 0.38), (x - hr * 0.9, sy + hr * 0.2),
                                                          (x - hr * 0.95, sy - hr * 0.1)]), scarf))
        out.append('<path d="%s" fill="%s"/>' % (poly_d([(x - face * hr * 0.5, sy + hr * 0.1), (x - face * hr * 0.8, sy + hr * 1.1),
                                                        (x - face * hr * 0.45, sy + hr * 1.15), (x - face * hr * 0.25, sy + hr * 0.2)]),
                                              scarf))
        wood = mul("#5b4030", p["ambient"])
        by, br = balls[1]
        for d in (-1, 1):
            x0 = x + d * br * 0.85
            out.append('<path d="M%.1f %.1f L%.1f %.1f M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="%.1f" '
                       'stroke-linecap="round" fill="none"/>'
                       % (x0, by - br * 0.1, x0 + d * br * 1.1, by - br * 0.75, x0 + d * br * 0.75, by - br * 0.52,
                          x0 + d * br * 0.95, by - br * 0.95, wood, size * 0.03))
        for k in range(3):
            out.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>'
                       % (x, by - br * 0.45 + k * br * 0.42, br * 0.07, coal))
        s.add("".join(out))

    def window_light(self):
        return self.p["glow"]

    def house(self, h):
        """A house: h = dict(x, y (ground), w, hw (wall height), roof, kind, windows=[(dx,dy,w,h,thr)],
        depth, wall colour, chimney)."""
        p = self.p
        s = self.s
        x, y, w, hw, rh = h["x"], h["y"], h["w"], h["hw"], h["roof"]
        depth = h.get("depth", 0)
        wall = self.fog(mul(h.get("wall", "#7a4a32"), p["ambient"]), depth)
        wall_side = self.fog(mul(mix(h.get("wall", "#7a4a32"), "#000000", 0.35), p["ambient"]), depth)
        ov = w * 0.09
        # wall
        s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>' % (x, y - hw, w, hw, wall))
        # a shaded side strip (light comes from one side)
        sw = w * 0.16
        sx = x + w - sw if p["side"] <= 0 else x
        s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s" opacity="%.2f"/>'
              % (sx, y - hw, sw, hw, wall_side, 0.4 + 0.4 * p["contrast"]))
        # log or plank lines
        lines = []
        for k in range(1, int(hw / max(4, hw / 9))):
            ly = y - hw + k * hw / int(hw / max(4, hw / 9))
            lines.append("M%.1f %.1fH%.1f" % (x, ly, x + w))
        s.add('<path d="%s" stroke="%s" stroke-width="%.1f" opacity="0.35"/>'
              % ("".join(lines), wall_side, max(1, w / 140)))
        # chimney
        if h.get("chimney", True):
            cx = x + w * (0.7 if h.get("chimney_right", True) else 0.22)
            cy = y - hw - rh * 0.55
            s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
                  % (cx, cy - rh * 0.35, w * 0.09, rh * 0.6, self.fog(mul("#6b5a55", p["ambient"]), depth)))
            s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" rx="%.1f" fill="%s"/>'
                  % (cx - w * 0.01, cy - rh * 0.35 - w * 0.03, w * 0.11, w * 0.045, w * 0.02,
                     self.fog(self.snow_tone(0.85), depth)))
            h["_chimney_top"] = (cx + w * 0.045, cy - rh * 0.38)
        # windows
        glow = self.window_light()
        halos = []
        for (dx, dy, ww, wh, thr) in h.get("windows", []):
            wx, wy = x + dx, y - hw + dy
            lit = glow if glow > thr else 0.0
            pane = mix(self.fog(mul("#2a3342", p["ambient"]), depth), WINDOW_WARM, lit)
            s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
                  % (wx - ww * 0.12, wy - ww * 0.12, ww * 1.24, wh + ww * 0.24,
                     self.fog(mul("#e8e2d6", p["ambient"]), depth)))
            s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>' % (wx, wy, ww, wh, pane))
            if lit > 0:
                s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>' % (
                    wx, wy, ww, wh, s.rad(wx + ww / 2, wy + wh / 2, max(ww, wh) * 0.7,
                                          [(0, WINDOW_HOT, lit * 0.9), (1, WINDOW_HOT, 0)])))
                halos.append((wx + ww / 2, wy + wh / 2, max(ww, wh), lit))
            # the cross of the frame
            fc = self.fog(mul("#e8e2d6", p["ambient"]), depth)
            s.add('<path d="M%.1f %.1fV%.1fM%.1f %.1fH%.1f" stroke="%s" stroke-width="%.1f"/>'
                  % (wx + ww / 2, wy, wy + wh, wx, wy + wh * 0.45, wx + ww, fc, max(1, ww * 0.08)))
        if h.get("door"):
            dx, dw, dh = h["door"]
            s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
                  % (x + dx, y - dh, dw, dh, self.fog(mul("#4a2c1e", p["ambient"]), depth)))
        # roof: a dark eave, then a thick soft layer of snow
        eave = self.fog(mul("#3b2a26", p["ambient"]), depth)
        apex = (x + w / 2, y - hw - rh)
        gable = self.fog(mul(mix(h.get("wall", "#7a4a32"), "#000000", 0.2), p["ambient"]), depth)
        s.add('<path d="%s" fill="%s"/>' % (poly_d([(x, y - hw), apex, (x + w, y - hw)]), gable))
        s.add('<path d="%s" fill="none" stroke="%s" stroke-width="%.1f"/>'
              % (poly_d([(x - ov, y - hw + w * 0.03), apex, (x + w + ov, y - hw + w * 0.03)], close=False),
                 eave, w * 0.045))
        s.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>'
              % (x - 2, y - hw, w + 4, w * 0.035, eave))
        if w > 120:  # a little attic window under the gable
            aw = w * 0.1
            lit = glow if glow > 0.4 else 0.0
            s.add('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>'
                  % (apex[0], y - hw - rh * 0.36, aw / 2, mix(self.fog(mul("#2a3342", p["ambient"]), depth),
                                                              WINDOW_WARM, lit)))
            if lit:
                halos.append((apex[0], y - hw - rh * 0.36, aw, lit * 0.7))
        t = w * 0.085
        lit_left = p["side"] < 0
        sn_l = self.fog(self.snow_tone(0.95 if lit_left else 0.55), depth)
        sn_r = self.fog(self.snow_tone(0.55 if lit_left else 0.95), depth)
        left = [(x - ov * 1.1, y - hw + w * 0.01), (apex[0], apex[1] - t), (apex[0], apex[1] + t * 0.4),
                (x - ov * 0.6, y - hw + t * 1.3)]
        right = [(x + w + ov * 1.1, y - hw + w * 0.01), (apex[0], apex[1] - t), (apex[0], apex[1] + t * 0.4),
                 (x + w + ov * 0.6, y - hw + t * 1.3)]
        s.add('<path d="%s" fill="%s"/>' % (smooth_d(left + [left[0]]), sn_l))
        s.add('<path d="%s" fill="%s"/>' % (smooth_d(right + [right[0]]), sn_r))
        # icicles
        ic = []
        for k in range(int(w / 14)):
            ix = x - ov * 0.5 + (w + ov) * (k + 0.5) / int(w / 14)
            ih = w * 0.03 * (0.5 + (k * 37 % 10) / 10)
            iy = y - hw + w * 0.06
            ic.append("M%.1f %.1fL%.1f %.1fL%.1f %.1fZ" % (ix - 1.5, iy, ix + 1.5, iy, ix, iy + ih))
        if ic:
            s.add('<path d="%s" fill="%s" opacity="0.8"/>' % ("".join(ic), self.fog(self.snow_tone(0.9), depth)))
        # snow drifted against the walls
        s.add('<path d="%s" fill="%s"/>' % (smooth_d([(x - w * 0.15, y + 4), (x + w * 0.1, y - hw * 0.1),
                                                        (x + w * 0.5, y - hw * 0.05), (x + w * 0.9, y - hw * 0.12),
                                                        (x + w * 1.15, y + 4)], close_to=y + 8),
                                              self.fog(self.snow_tone(0.7), depth)))
        return halos

    def halos(self, halos, depth=0, ground=None, scale=1.0):
        """Warm light around lit windows and the light they throw on the snow."""
        s = self.s
        out = []
        for (cx, cy, size, lit) in halos:
            r = size * 3.2 * scale
            out.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (cx, cy, r, s.rad(
                cx, cy, r, [(0, WINDOW_WARM, 0.5 * lit), (0.3, WINDOW_WARM, 0.18 * lit), (1, WINDOW_WARM, 0)])))
        if ground is not None:
            for (cx, cy, size, lit) in halos:
                gy = ground(cx)
                rx = size * 4 * scale
                out.append('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>' % (
                    cx, gy + size * 0.6, rx, rx * 0.28,
                    s.rad(cx, gy + size * 0.6, rx, [(0, WINDOW_WARM, 0.4 * lit), (1, WINDOW_WARM, 0)], sy=0.28)))
        s.add("".join(out))

    def smoke(self, x, y, height=260, lean=1.0, size=1.0):
        p = self.p
        s = self.s
        out = []
        for k in range(9):
            t = k / 8
            cx = x + lean * (t ** 1.6) * height * 0.9
            cy = y - t * height
            r = size * (10 + 34 * t)
            a = 0.5 * (1 - t) ** 1.2 + 0.05
            out.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="%s"/>' % (cx, cy, r * 1.6, s.rad(
                cx, cy, r * 1.6, [(0, p["smoke"], a), (1, p["smoke"], 0)])))
        s.add("".join(out))


# ----------------------------------------------------------------------------- scenes


def palette_for(scene, phase):
    pal = dict(PALETTES[phase])
    pal.update(scene.get("tweaks", {}).get(phase, {}))
    return pal


def sun_and_sky(pt, scene, phase, horizon, cloud_bands, seed):
    pos = scene["sun"].get(phase)
    pt.sky(horizon)
    if phase in ("night", "blue"):
        pt.milky_way(horizon)
    pt.stars(seed, horizon)
    if phase == "blue":
        pt.afterglow(scene["sun"]["sunset"][0], horizon, "#c79ab8", 0.45)
    if phase == "night":
        pt.afterglow(W * 0.5, horizon, "#35508a", 0.35, width=2200, height=380)
    if pt.p["sun"] and pos:
        pt.sun_glow(pos[0], pos[1], horizon)
    pt.aurora(seed + 7, horizon, scene.get("curtains", []))
    if pt.p["moon"] and scene.get("moon"):
        pt.moon(*scene["moon"])
    pt.clouds(seed + 3, cloud_bands, sun_x=pos[0] if pos else scene["sun"]["sunset"][0])
    if pt.p["sun"] and pos:
        pt.sun(*pos)


def scene_hills():
    """Snowy hills: a far range, rolling hills with spruce groves and a cabin on a knoll."""
    rng = random.Random(11)
    horizon = 820
    far = Range(rng, [(-60, 740), (200, 520), (430, 690), (720, 420), (1000, 660), (1320, 540),
                      (1600, 700), (1900, 450), (2180, 660), (2420, 560), (2640, 720)], base=860, rough=0.1)
    r1 = Ridge(rng, 800, 26, bumps=((600, 40, 300), (2000, 30, 400)))
    r2 = Ridge(rng, 880, 38, bumps=((1400, 70, 500),))
    r3 = Ridge(rng, 990, 44, bumps=((300, 60, 420), (2300, 90, 380)))
    r4 = Ridge(rng, 1180, 40, waves=(0.9, 2.1, 4.3, 9.0), bumps=((1750, 150, 620),), tilt=60)
    f1 = far_forest(rng, r1, -40, W + 40, 14, 30, density=1.6, sink=3)
    f2 = far_forest(rng, r2, 250, 1100, 24, 48, density=1.2, sink=6) + " " + far_forest(rng, r2, 1900, 2600, 22, 44, 1.2, 6)
    f3 = far_forest(rng, r3, -40, 700, 40, 80, density=1.0, sink=10) + " " + far_forest(rng, r3, 2000, 2620, 44, 90, 1.0, 10)
    grove = []
    for x in (1180, 1230, 1275, 1330, 1395, 1460, 2060, 2110, 2170):
        grove.append(pine(rng, x + rng.uniform(-8, 8), r3.y(x) + 8, rng.uniform(90, 150)))
    big = []
    for x, h in ((80, 520), (230, 390), (330, 300), (2350, 470), (2480, 600)):
        big.append(pine(rng, x, r4.y(x) + 30, h))
    cabin_x = 1640
    cabin = dict(x=cabin_x, y=r4.y(cabin_x + 90) + 6, w=230, hw=120, roof=95, wall="#7b4a30",
                 windows=[(34, 34, 44, 48, 0.1), (150, 34, 44, 48, 0.3)], door=(96, 40, 84), depth=0.0)
    scene = dict(sun={"dawn": (2200, 612), "day": (1040, -110), "golden": (760, 520), "sunset": (440, 700),
                      "blue": None, "night": None}, moon=(2050, 230))

    def draw(phase):
        svg = Svg()
        pt = Painter(svg, palette_for(scene, phase), scene)
        sun_and_sky(pt, scene, phase, horizon, [(330, 90, 7, 520, 46), (520, 60, 6, 420, 30), (180, 60, 4, 600, 40)], 5)
        pt.range_(1, far, 0.95)
        pt.mist(620, 900)
        pt.hill(r1, 0.78)
        pt.forest(f1, 0.78)
        pt.mist(760, 960, a=pt.p["mist"] * 0.8)
        pt.hill(r2, 0.55)
        pt.forest(f2, 0.55, bright=0.05)
        pt.mist(860, 1060, a=pt.p["mist"] * 0.55)
        pt.hill(r3, 0.32)
        pt.forest(f3, 0.32)
        pt.trees(grove, 0.28)
        pt.mist(1000, 1200, a=pt.p["mist"] * 0.3)
        pt.hill(r4, 0.0, light=0.65)
        pt.drifts(13, r4.y, H, count=6)
        door_x = cabin_x + 136
        pt.footpath([(door_x, cabin["y"] + 4), (door_x + 40, cabin["y"] + 60), (door_x - 60, cabin["y"] + 140),
                     (door_x - 240, 1330), (door_x - 330, H + 30)], 40, 150)
        pt.fence([1930 + 72 * k for k in range(7)], lambda x: r4.y(x) + 12, 64)
        pt.snowman(700, 1290, 165)
        halos = pt.house(cabin)
        if pt.p["glow"] > 0.05:
            cx, cy = cabin["_chimney_top"]
            pt.smoke(cx, cy, height=300, lean=0.6)
        pt.halos(halos, ground=lambda x: cabin["y"])
        pt.sparkles(9, r4, H)
        pt.trees(big, 0.0)
        return svg.text()
    return draw


def scene_lake():
    """A frozen lake among spruce shores under a mountain; the ice mirrors the sky."""
    rng = random.Random(23)
    shore = 900
    mts = Range(rng, [(-80, 820), (260, 620), (520, 760), (900, 380), (1240, 700), (1500, 560),
                      (1760, 720), (2060, 470), (2380, 700), (2560, 600), (2700, 760)], base=shore + 10, rough=0.1)
    far_r = Ridge(rng, 860, 18, bumps=((400, 30, 260),))
    fl = far_forest(rng, far_r, -40, W + 40, 26, 60, density=1.5, sink=6)
    left_bank = Ridge(rng, 880, 30, waves=(1.1, 3.0), bumps=((0, 140, 380),))
    right_bank = Ridge(rng, 880, 30, waves=(1.2, 2.7), bumps=((2560, 170, 420),))
    lf = far_forest(rng, left_bank, -40, 520, 80, 170, density=1.1, sink=20)
    rf = far_forest(rng, right_bank, 2020, 2620, 90, 190, density=1.1, sink=20)
    front = Ridge(rng, 1330, 30, waves=(0.8, 2.2, 5.0), bumps=((300, 140, 500), (2300, 180, 520)), tilt=-40)
    big = []
    for x, h in ((60, 640), (200, 470), (2420, 560), (2520, 700)):
        big.append(pine(rng, x, front.y(x) + 30, h))
    scene = dict(sun={"dawn": (1760, 655), "day": (1420, -110), "golden": (1120, 470), "sunset": (1020, 860),
                      "blue": None, "night": None}, moon=(1700, 250))

    def far_group(pt, phase, horizon):
        sun_and_sky(pt, scene, phase, horizon, [(300, 80, 7, 560, 44), (480, 50, 5, 480, 30)], 17)
        pt.range_(2, mts, 0.75)
        pt.mist(660, shore + 20)
        pt.hill(far_r, 0.6, ridge_glow=False)
        pt.forest(fl, 0.6)
        pt.hill(left_bank, 0.35)
        pt.forest(lf, 0.35)
        pt.hill(right_bank, 0.35)
        pt.forest(rf, 0.35)

    def draw(phase):
        svg = Svg()
        pt = Painter(svg, palette_for(scene, phase), scene)
        far_group(pt, phase, shore)
        # the reflection: the same far group mirrored in the shore line, softened, under the ice tint
        mirror = Svg()
        mirror.n = 5000
        mp = Painter(mirror, pt.p, scene)
        far_group(mp, phase, shore)
        svg.defs += mirror.defs
        clip = svg.uid("c")
        lake_top = shore - 2
        svg.defs.append('<clipPath id="%s"><rect x="0" y="%d" width="%d" height="%d"/></clipPath>'
                        % (clip, lake_top, W, H - lake_top))
        svg.add('<g clip-path="url(#%s)"><g filter="%s" opacity="0.62" transform="translate(0 %d) scale(1 -1)">%s</g></g>'
                % (clip, svg.blur(2.2), 2 * shore + 6, "".join(mirror.body)))
        p = pt.p
        ice = mix(p["shade"], p["haze"], 0.4)
        svg.add('<rect x="0" y="%d" width="%d" height="%d" fill="%s"/>' % (lake_top, W, H - lake_top, svg.lin(
            0, lake_top, 0, 1300, [(0, ice, 0.15), (1, mix(ice, p["light"], 0.3), 0.55)])))
        # streaks and cracks in the ice
        r2 = random.Random(5)
        streaks = []
        for _ in range(90):
            y = r2.uniform(shore + 10, 1320)
            x = r2.uniform(-200, W)
            L = r2.uniform(150, 900) * (0.5 + (y - shore) / 500)
            streaks.append('<path d="M%.1f %.1f Q%.1f %.1f %.1f %.1f" stroke="%s" stroke-width="%.1f" fill="none" '
                           'opacity="%.3f"/>' % (x, y, x + L / 2, y + r2.uniform(-6, 6), x + L, y + r2.uniform(-8, 8),
                                                 p["light"], r2.uniform(1, 3) * (0.5 + (y - shore) / 400),
                                                 r2.uniform(0.06, 0.2)))
        svg.add('<g filter="%s">%s</g>' % (svg.blur(1.2), "".join(streaks)))
        cracks = []
        for _ in range(26):
            x, y = r2.uniform(300, 2300), r2.uniform(shore + 60, 1300)
            d = "M%.1f %.1f" % (x, y)
            for _ in range(r2.randint(3, 7)):
                x += r2.uniform(20, 90) * r2.choice((-1, 1))
                y += r2.uniform(-6, 9)
                d += " L%.1f %.1f" % (x, y)
            cracks.append(d)
        svg.add('<path d="%s" stroke="%s" stroke-width="1.3" fill="none" opacity="0.12" stroke-linejoin="round"/>'
                % (" ".join(cracks), mix(p["light"], "#ffffff", 0.5)))
        # snow lying in patches on the ice
        patches = []
        for _ in range(22):
            x, y = r2.uniform(200, 2400), r2.uniform(shore + 40, 1280)
            rx = r2.uniform(60, 320) * (0.5 + (y - shore) / 400)
            patches.append((x, y, rx))
        for x, y, rx in patches:
            c = pt.snow_tone(0.7)
            svg.add('<ellipse cx="%.1f" cy="%.1f" rx="%.1f" ry="%.1f" fill="%s"/>' % (x, y, rx, rx * 0.06, svg.rad(
                x, y, rx, [(0, c, 0.55), (0.6, c, 0.3), (1, c, 0)], sy=0.06)))
        # the sun's path on the ice
        pos = scene["sun"].get(phase)
        if p["sun"] and pos:
            sx = pos[0]
            a = 0.55 if phase in ("golden", "sunset", "dawn") else 0.3
            svg.add('<rect x="0" y="%d" width="%d" height="%d" fill="%s"/>' % (lake_top, W, 500, svg.rad(
                sx, lake_top + 40, 520, [(0, p["sun"]["core"], a), (0.3, p["sun"]["glow"], a * 0.5),
                                          (1, p["sun"]["glow"], 0)], sy=0.5)))
        if p["moon"]:
            mx = scene["moon"][0]
            svg.add('<rect x="0" y="%d" width="%d" height="%d" fill="%s"/>' % (lake_top, W, 500, svg.rad(
                mx, lake_top + 120, 420, [(0, p["moon"]["glow"], 0.35), (1, p["moon"]["glow"], 0)], sy=0.45)))
        pt.hill(front, 0.0, light=0.62)
        pt.drifts(33, front.y, H, count=6)
        pt.sparkles(31, front, H, count=400)
        pt.trees(big, 0.0)
        return svg.text()
    return draw


def scene_village():
    """A mountain village on a slope below high peaks, its windows lit after dark."""
    rng = random.Random(37)
    mts = Range(rng, [(-80, 700), (240, 330), (560, 560), (860, 240), (1180, 520), (1480, 300),
                      (1800, 560), (2120, 260), (2400, 480), (2560, 380), (2700, 620)], base=880, rough=0.12,
                snowline=0.65)
    near_r = Range(rng, [(-80, 900), (200, 640), (560, 880), (1320, 872), (2080, 880), (2400, 660), (2700, 900)], base=1000,
                   rough=0.08)
    slope_far = Ridge(rng, 880, 20, bumps=((1300, 30, 700),))
    slope = Ridge(rng, 1010, 26, waves=(1.0, 2.3, 5.2), bumps=((1250, 120, 720),), tilt=40)
    front = Ridge(rng, 1300, 26, waves=(0.9, 2.1, 4.7), bumps=((500, 60, 500), (2100, 80, 560)))
    ff = far_forest(rng, slope_far, -40, W + 40, 20, 44, density=1.4, sink=4)
    sf = far_forest(rng, slope, -40, 520, 50, 90, density=1.1, sink=10) + " " + far_forest(rng, slope, 2100, 2620, 50, 90, 1.1, 10)
    houses = []
    walls = ["#8a5236", "#7a4a32", "#a06a44", "#d9c9a8", "#c9b38e", "#6e4530", "#b07a52"]
    spots = [(620, 0.62, 0.55), (820, 0.7, 0.45), (1010, 0.62, 0.5), (1200, 0.8, 0.4), (1420, 0.7, 0.45),
             (1640, 0.66, 0.5), (1840, 0.62, 0.55), (720, 1.0, 0.25), (1050, 1.15, 0.18), (1560, 1.1, 0.2),
             (1850, 0.95, 0.3), (460, 0.9, 0.3), (2030, 0.8, 0.4)]
    for x, sc, depth in sorted(spots, key=lambda s: s[1]):
        w = 150 * sc * rng.uniform(0.85, 1.2)
        hw = w * rng.uniform(0.5, 0.65)
        gy = slope.y(x + w / 2) + (1 - depth) * 150 + 10
        nwin = 2 if w < 170 else 3
        wins = []
        for k in range(nwin):
            ww = w * 0.16
            wins.append((w * (0.14 + 0.72 * k / max(1, nwin - 1)) - ww / 2 + (ww / 2 if nwin > 1 and k == 0 else 0)
                         - (ww / 2 if k == nwin - 1 and nwin > 1 else 0), hw * 0.25, ww, hw * 0.36,
                         rng.uniform(0.0, 0.85)))
        houses.append(dict(x=x, y=gy, w=w, hw=hw, roof=w * rng.uniform(0.42, 0.55), wall=rng.choice(walls),
                           windows=wins, depth=depth * 0.8, chimney=rng.random() < 0.75,
                           chimney_right=rng.random() < 0.5, door=(w * 0.42, w * 0.16, hw * 0.55) if sc > 0.9 else None))
    church_x = 1300
    church_y = slope.y(church_x) + 40
    trees_near = [pine(rng, x, front.y(x) + 26, h) for x, h in ((70, 560), (210, 420), (2380, 500), (2500, 620))]
    trees_mid = [pine(rng, x, slope.y(x) + 130, h) for x, h in ((560, 170), (930, 150), (1750, 160), (2150, 190), (2230, 150))]
    lamps = [640, 960, 1270, 1620, 1960]
    scene = dict(sun={"dawn": (1790, 508), "day": (1000, -110), "golden": (700, 440), "sunset": (560, 760),
                      "blue": None, "night": None}, moon=(1900, 170))

    def draw(phase):
        svg = Svg()
        pt = Painter(svg, palette_for(scene, phase), scene)
        sun_and_sky(pt, scene, phase, 860, [(260, 80, 6, 560, 40), (140, 50, 4, 620, 36)], 41)
        pt.range_(3, mts, 0.7)
        pt.mist(600, 900)
        pt.range_(4, near_r, 0.45)
        pt.hill(slope_far, 0.5, ridge_glow=False)
        pt.forest(ff, 0.5)
        pt.mist(820, 1040, a=pt.p["mist"] * 0.6)
        pt.hill(slope, 0.2, light=0.6)
        pt.forest(sf, 0.2)
        all_halos = []
        # the church stands among the houses: a nave, and a tower with a spire
        p = pt.p
        all_halos += pt.house(dict(x=church_x + 100, y=church_y, w=250, hw=120, roof=80, wall="#e6dccb",
                                   windows=[(40, 30, 28, 54, 0.0), (111, 30, 28, 54, 0.0), (182, 30, 28, 54, 0.0)],
                                   depth=0.3, chimney=False))
        cw, ch = 110, 300
        wall = pt.fog(mul("#e6dccb", p["ambient"]), 0.3)
        svg.add('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>' % (church_x, church_y - ch, cw, ch, wall))
        svg.add('<path d="%s" fill="%s"/>' % (poly_d([(church_x - 10, church_y - ch), (church_x + cw / 2, church_y - ch - 230),
                                                       (church_x + cw + 10, church_y - ch)]),
                                              pt.fog(mul("#5a3b30", p["ambient"]), 0.3)))
        svg.add('<path d="%s" fill="%s"/>' % (poly_d([(church_x + cw / 2, church_y - ch - 230), (church_x + cw / 2 - 22, church_y - ch - 80),
                                                       (church_x + cw / 2 - 4, church_y - ch - 96)]),
                                              pt.fog(pt.snow_tone(0.9), 0.3)))
        svg.add('<path d="M%.1f %.1fV%.1fM%.1f %.1fH%.1f" stroke="%s" stroke-width="4"/>'
                % (church_x + cw / 2, church_y - ch - 230, church_y - ch - 290, church_x + cw / 2 - 18,
                   church_y - ch - 265, church_x + cw / 2 + 18, pt.fog(mul("#d8b46a", p["ambient"]), 0.3)))
        lit = p["glow"] > 0.2
        clock = "#ffe3a0" if lit else pt.fog(mul("#f4efe4", p["ambient"]), 0.3)
        svg.add('<circle cx="%.1f" cy="%.1f" r="22" fill="%s"/>' % (church_x + cw / 2, church_y - ch + 60, clock))
        svg.add('<path d="M%.1f %.1fV%.1fH%.1f" stroke="#3a2c28" stroke-width="3" fill="none"/>'
                % (church_x + cw / 2, church_y - ch + 44, church_y - ch + 60, church_x + cw / 2 + 12))
        win = mix(pt.fog(mul("#2a3342", p["ambient"]), 0.3), WINDOW_WARM, p["glow"])
        svg.add('<path d="M%.1f %.1fh26v60h-26z M%.1f %.1fh26v60h-26z" fill="%s"/>'
                % (church_x + 20, church_y - ch + 120, church_x + cw - 46, church_y - ch + 120, win))
        if p["glow"] > 0:
            all_halos += [(church_x + 33, church_y - ch + 150, 40, p["glow"]), (church_x + cw - 33, church_y - ch + 150, 40, p["glow"]),
                          (church_x + cw / 2, church_y - ch + 60, 30, p["glow"] * 0.8)]
        chimneys = []
        for hs in houses:
            all_halos += pt.house(hs)
            if hs.get("chimney"):
                chimneys.append((hs["_chimney_top"], hs["w"] / 150))
        pt.trees(trees_mid, 0.2)
        if p["glow"] > 0.05:
            for (cx, cy), sc in chimneys[::2]:
                pt.smoke(cx, cy, height=220 * sc, lean=0.5, size=sc)
        # the village street, lamps along it
        street = [(x, slope.y(x) + 178) for x in range(380, 2240, 60)]
        svg.add('<path d="%s" fill="none" stroke="%s" stroke-width="30" opacity="0.55" filter="%s"/>'
                % (smooth_d(street), pt.snow_tone(0.2), svg.blur(6)))
        for lx in lamps:
            y0 = slope.y(lx) + 170
            pole = pt.fog(mul("#2a2a30", p["ambient"]), 0.1)
            svg.add('<rect x="%.1f" y="%.1f" width="5" height="95" fill="%s"/>' % (lx - 2.5, y0 - 95, pole))
            svg.add('<rect x="%.1f" y="%.1f" width="18" height="20" rx="3" fill="%s"/>'
                    % (lx - 9, y0 - 114, mix(pole, "#ffe2a0", p["glow"])))
            svg.add('<rect x="%.1f" y="%.1f" width="24" height="6" rx="3" fill="%s"/>'
                    % (lx - 12, y0 - 119, pt.snow_tone(0.85)))
            if p["glow"] > 0:
                pt.halos([(lx, y0 - 104, 26, p["glow"])], ground=lambda x, y0=y0: y0 - 14)
        pt.halos(all_halos)
        pt.hill(front, 0.0, light=0.62)
        pt.drifts(45, front.y, H, count=6)
        pt.sparkles(43, front, H, count=350)
        pt.trees(trees_near, 0.0)
        return svg.text()
    return draw


def scene_aurora():
    """A log cabin in a clearing of a snowy spruce forest; the northern lights after dark."""
    rng = random.Random(59)
    horizon = 900
    mts = Range(rng, [(-80, 860), (380, 690), (760, 820), (1150, 640), (1500, 800), (1900, 610), (2300, 780),
                      (2700, 700)], base=920, rough=0.08)
    back = Ridge(rng, 900, 22, bumps=((1300, 30, 500),))
    mid = Ridge(rng, 1020, 24, waves=(1.0, 2.5, 6.0))
    clearing = Ridge(rng, 1160, 30, waves=(0.8, 2.0, 4.4), bumps=((1300, 60, 700),), tilt=30)
    fb = far_forest(rng, back, -40, W + 40, 40, 90, density=1.6, sink=10)
    fm = far_forest(rng, mid, -40, 900, 90, 200, density=1.2, sink=30) + " " + far_forest(rng, mid, 1750, 2620, 90, 210, 1.2, 30)
    side_trees = []
    for x in list(range(40, 700, 110)) + list(range(1900, 2560, 120)):
        h = rng.uniform(320, 560) * (1.0 if x < 300 or x > 2300 else 0.75)
        side_trees.append(pine(rng, x + rng.uniform(-30, 30), clearing.y(x) + 60, h))
    front = Ridge(rng, 1360, 20, waves=(0.8, 2.1), bumps=((120, 60, 400), (2450, 80, 420)))
    front_trees = [pine(rng, x, front.y(x) + 40, h) for x, h in ((-20, 820), (2560, 860), (2420, 520))]
    cabin = dict(x=1120, y=clearing.y(1260) + 30, w=300, hw=150, roof=130, wall="#6e4128",
                 windows=[(40, 42, 56, 60, 0.05), (205, 42, 56, 60, 0.2)], door=(128, 48, 110), depth=0.0)
    shed = dict(x=1520, y=clearing.y(1580) + 32, w=130, hw=70, roof=60, wall="#5e3a26", windows=[(44, 18, 40, 30, 0.5)],
                depth=0.05, chimney=False)
    curtains = [(-100, 1500, 430, 70, 360, 0), (700, 2700, 330, 80, 300, 1), (1400, 2700, 560, 50, 300, 0)]
    tweaks = {"night": dict(light="#6fa0c0", sky=[(0, "#02071a"), (0.45, "#06183a"), (0.78, "#0f3050"), (1, "#1c4660")],
                            haze="#1b3e5c")}
    scene = dict(sun={"dawn": (1560, 748), "day": (1600, -110), "golden": (950, 560), "sunset": (760, 880),
                      "blue": None, "night": None}, moon=None, aurora=1.0, curtains=curtains, tweaks=tweaks)

    def draw(phase):
        svg = Svg()
        pt = Painter(svg, palette_for(scene, phase), scene)
        sun_and_sky(pt, scene, phase, horizon, [(300, 70, 5, 540, 40), (470, 40, 4, 480, 26)], 61)
        pt.range_(5, mts, 0.85)
        pt.mist(700, 960)
        pt.hill(back, 0.6, ridge_glow=False)
        pt.forest(fb, 0.6)
        pt.mist(880, 1060, a=pt.p["mist"] * 0.7)
        pt.hill(mid, 0.35)
        pt.forest(fm, 0.35)
        pt.mist(980, 1200, a=pt.p["mist"] * 0.4)
        pt.hill(clearing, 0.0, light=0.6)
        pt.drifts(63, clearing.y, H, count=5)
        if pt.p["aurora"] > 0.1:  # the sky's green light on the snow
            a = 0.22 * pt.p["aurora"]
            svg.add('<path d="%s" fill="%s"/>' % (smooth_d(clearing.points, close_to=H + 10), svg.rad(
                1300, clearing.top(), 1400, [(0, "#3dffb0", a), (1, "#3dffb0", 0)], sy=0.35)))
        halos = pt.house(cabin) + pt.house(shed)
        if pt.p["glow"] > 0.05:
            cx, cy = cabin["_chimney_top"]
            pt.smoke(cx, cy, height=340, lean=-0.5, size=1.2)
        pt.halos(halos, ground=lambda x: cabin["y"])
        pt.trees(side_trees, 0.05)
        pt.hill(front, 0.0, light=0.68, ridge_glow=True)
        pt.sparkles(67, front, H, count=260)
        pt.trees(front_trees, 0.0)
        return svg.text()
    return draw


SCENES = {
    "snowy-hills": scene_hills,
    "frozen-lake": scene_lake,
    "mountain-village": scene_village,
    "aurora-cabin": scene_aurora,
}

# ----------------------------------------------------------------------------- rendering


def render(theme, cover, svg_dir=None, phases=PHASES):
    draw = SCENES[theme]()
    out = os.path.join(HERE, theme)
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        for phase in phases:
            t0 = time.time()
            svg_path = os.path.join(svg_dir or tmp, "%s-%s.svg" % (theme, phase))
            with open(svg_path, "w") as f:
                f.write(draw(phase))
            png = os.path.join(tmp, "%s.png" % phase)
            subprocess.run(["rsvg-convert", "-w", str(W), "-h", str(H), svg_path, "-o", png], check=True)
            jpg = os.path.join(out, "%s-%s.jpg" % (theme, phase))
            # A little grain keeps the smooth gradients from banding in the JPEG.
            subprocess.run(["convert", png, "-seed", "7", "-attenuate", "0.28", "+noise", "Gaussian",
                            "-strip", "-interlace", "Plane", "-sampling-factor", "4:2:0",
                            "-quality", str(JPEG_QUALITY), jpg], check=True)
            print("%s-%s.jpg  %d bytes  %.1f s" % (theme, phase, os.path.getsize(jpg), time.time() - t0))
        if cover not in phases:
            return
        subprocess.run(["convert", os.path.join(out, "%s-%s.jpg" % (theme, cover)), "-filter", "Lanczos",
                        "-resize", "%dx%d!" % (THUMB_W, THUMB_H), "-unsharp", "0x0.6+0.6+0", "-strip",
                        "-quality", "90", os.path.join(out, "%s-thumb.jpg" % theme)], check=True)


def main(argv):
    svg_dir, phases = None, PHASES
    while argv[:1] in (["--svg"], ["--phases"]):
        if argv[0] == "--svg":
            svg_dir = argv[1]
            os.makedirs(svg_dir, exist_ok=True)
        else:
            phases = [p for p in argv[1].split(",") if p in PHASES]
        argv = argv[2:]
    with open(os.path.join(HERE, "themes.in.json"), encoding="utf-8") as f:
        themes = json.load(f)["themes"]
    wanted = argv or [t["id"] for t in themes]
    t0 = time.time()
    for t in themes:
        if t["id"] in wanted:
            render(t["id"], t["cover"], svg_dir, phases)
    print("rendered in %.0f s" % (time.time() - t0))


if __name__ == "__main__":
    main(sys.argv[1:])
