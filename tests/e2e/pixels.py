"""Reading screenshots: raw RGB pixels and the bright blobs (flakes) in them."""

from __future__ import annotations

import subprocess
from pathlib import Path


class Image:
    def __init__(self, width: int, height: int, rgb: bytes):
        self.width, self.height, self.rgb = width, height, rgb

    def at(self, x: int, y: int):
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def grey(self, x: int, y: int) -> int:
        r, g, b = self.at(x, y)
        return (r + g + b) // 3


def load(path: Path) -> Image:
    size = subprocess.run(["identify", "-format", "%w %h", str(path)], stdout=subprocess.PIPE, check=True,
                          text=True, timeout=30).stdout.split()
    w, h = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], stdout=subprocess.PIPE, check=True,
                         timeout=60).stdout
    assert len(raw) == w * h * 3, (len(raw), w, h)
    return Image(w, h, raw)


def bright_blobs(img: Image, threshold: int = 110, region=None):
    """Connected groups of pixels brighter than threshold (4-neighbour), as pixel counts
    with their bounding boxes: [(count, (x0, y0, x1, y1)), ...]."""
    x0, y0, x1, y1 = region or (0, 0, img.width, img.height)
    w = img.width
    bright = set()
    rgb = img.rgb
    for y in range(y0, y1):
        row = y * w * 3
        for x in range(x0, x1):
            i = row + x * 3
            if rgb[i] + rgb[i + 1] + rgb[i + 2] > threshold * 3:
                bright.add((x, y))
    blobs = []
    while bright:
        start = bright.pop()
        stack = [start]
        count = 0
        bx0 = bx1 = start[0]
        by0 = by1 = start[1]
        while stack:
            x, y = stack.pop()
            count += 1
            bx0, bx1, by0, by1 = min(bx0, x), max(bx1, x), min(by0, y), max(by1, y)
            for n in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if n in bright:
                    bright.remove(n)
                    stack.append(n)
        blobs.append((count, (bx0, by0, bx1 + 1, by1 + 1)))
    return blobs
