"""Reading screenshots: raw RGB pixels and the bright blobs (flakes) in them."""

from __future__ import annotations

import re
import subprocess
import time
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


def screenshot_until(session, label: str, ready, timeout: float, pause: float = 1.0) -> Image:
    """Screenshots the session's screen until ready(img) holds or `timeout` s
    have passed, and returns the last picture. Snow that builds up runs on the
    world's clock, which a slow machine slows down: a fixed wait would measure
    the machine, not the snow."""
    end = time.monotonic() + timeout
    while True:
        img = load(session.screenshot(label))
        if ready(img) or time.monotonic() > end:
            return img
        time.sleep(pause)


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
    return _groups(bright, _FOUR)


def matching(img: Image, predicate, region=None, floor: int = 0) -> set:
    """The pixels of a region whose (r, g, b) satisfy `predicate`, as a set of (x, y).

    With `floor` > 0 only pixels that have a channel at or above it are tested
    at all, which makes scanning a mostly dark screen quick; the predicate must
    then be false for every pixel below the floor."""
    x0, y0, x1, y1 = region or (0, 0, img.width, img.height)
    x0, y0, x1, y1 = max(0, x0), max(0, y0), min(img.width, x1), min(img.height, y1)
    found = set()
    rgb = img.rgb
    bright = re.compile(b"[" + re.escape(bytes([max(1, floor)])) + b"-\xff]") if floor > 0 else None
    for y in range(y0, y1):
        start = (y * img.width + x0) * 3
        end = (y * img.width + x1) * 3
        if bright is None:
            columns = range(x0, x1)
        else:
            columns = sorted({x0 + (m.start() - start) // 3 for m in bright.finditer(rgb, start, end)})
        for x in columns:
            i = (y * img.width + x) * 3
            if predicate(rgb[i], rgb[i + 1], rgb[i + 2]):
                found.add((x, y))
    return found


_FOUR = ((1, 0), (-1, 0), (0, 1), (0, -1))
_EIGHT = tuple((dx, dy) for dy in (-1, 0, 1) for dx in (-1, 0, 1) if dx or dy)


def _groups(points, neighbours) -> list:
    """Connected groups of the points, as [(count, (x0, y0, x1, y1)), ...] with
    the bounding box's right and bottom edges exclusive."""
    left = set(points)
    groups = []
    while left:
        start = left.pop()
        stack = [start]
        count = 0
        bx0 = bx1 = start[0]
        by0 = by1 = start[1]
        while stack:
            x, y = stack.pop()
            count += 1
            bx0, bx1, by0, by1 = min(bx0, x), max(bx1, x), min(by0, y), max(by1, y)
            for dx, dy in neighbours:
                n = (x + dx, y + dy)
                if n in left:
                    left.remove(n)
                    stack.append(n)
        groups.append((count, (bx0, by0, bx1 + 1, by1 + 1)))
    return groups


def blobs(points) -> list:
    """8-connected groups of the points, largest first: [(count, (x0, y0, x1, y1)), ...]
    with the bounding box's right and bottom edges exclusive."""
    return sorted(_groups(points, _EIGHT), key=lambda g: -g[0])
