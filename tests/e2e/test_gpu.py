"""Renderer A's drawing under Wine: Direct3D 11 and Direct2D work here (only
composition does not), so quillar-gpuscene.exe draws a fixed scene through the
renderer's drawing sink into an offscreen bitmap; its picture must match the
compatible renderer's picture of the same scene (the native preview tool)."""

from __future__ import annotations

import re
import subprocess

from harness import REPO_ROOT, SkipTest, build_dir, winpath

# Premultiplied channels, 0..255. The renderers sample flakes and sprites
# differently (pre-drawn bitmaps filtered by the GPU against exact sampling
# per pixel), and Wine's Direct2D draws edges without anti-aliasing and lays
# additive sprites over what lies below instead of adding them (its primitive
# blend is not implemented): single pixels and the sparks on the disc differ,
# a shape out of place, missing, unturned or unmirrored does far more.
MEAN_LIMIT = 2.0          # mean difference over every channel of every pixel
FAR_LIMIT = 40            # a pixel differs "much" beyond this on any channel
FAR_SHARE_LIMIT = 0.025   # at most this share of the pixels differs much
TILE = 20                 # and no 20 x 20 tile differs by more than this on average
TILE_LIMIT = 32
TIMING = re.compile(r"^frames: \d+ at \d+x\d+ px; GPU sink [\d.]+ ms per frame, CPU painter [\d.]+ ms per frame$")


def _tools():
    exe = build_dir() / "quillar-gpuscene.exe"
    preview = REPO_ROOT / "build" / "native" / "preview"
    if not exe.exists():
        raise SkipTest(f"quillar-gpuscene.exe not built: {exe}")
    if not preview.exists():
        raise SkipTest(f"preview not built: {preview}")
    return exe, preview


def _premultiplied(path):
    size = subprocess.run(["identify", "-format", "%w %h", str(path)], stdout=subprocess.PIPE, check=True, text=True,
                          timeout=30).stdout.split()
    w, h = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", str(path), "-depth", "8", "rgba:-"], stdout=subprocess.PIPE, check=True,
                         timeout=60).stdout
    assert len(raw) == w * h * 4, (len(raw), w, h)
    out = bytearray(len(raw))
    for i in range(0, len(raw), 4):
        a = raw[i + 3]
        out[i] = (raw[i] * a + 127) // 255
        out[i + 1] = (raw[i + 1] * a + 127) // 255
        out[i + 2] = (raw[i + 2] * a + 127) // 255
        out[i + 3] = a
    return w, h, bytes(out)


def _compare(a, b):
    """Mean difference, share of much differing pixels, and the worst tiles."""
    wa, ha, pa = a
    wb, hb, pb = b
    assert (wa, ha) == (wb, hb), ((wa, ha), (wb, hb))
    total = 0
    far = 0
    tiles = {}
    for i in range(0, len(pa), 4):
        diffs = [abs(pa[i + k] - pb[i + k]) for k in range(4)]
        total += sum(diffs)
        if max(diffs) > FAR_LIMIT:
            far += 1
        p = i // 4
        key = ((p % wa) // TILE * TILE, (p // wa) // TILE * TILE)
        tiles[key] = tiles.get(key, 0) + sum(diffs)
    per_tile = sorted(((v / (TILE * TILE * 4), k) for k, v in tiles.items()), reverse=True)
    return total / len(pa), far / (wa * ha), per_tile[:5]


def _inked(p):
    return sum(1 for i in range(3, len(p[2]), 4) if p[2][i] > 8)


def test_gpu_pictures_match_the_compatible_renderer(s):
    exe, preview = _tools()
    sprites = REPO_ROOT / "assets" / "sprites"
    for opacity in ("1", "0.6"):  # shown, and the whole frame fading in
        gpu_png = s.dir / f"gpu-{opacity}.png"
        cpu_png = s.dir / f"cpu-{opacity}.png"
        args = [str(exe), winpath(gpu_png), "--sprites", winpath(sprites), "--opacity", opacity]
        if opacity == "1":
            args += ["--frames", "60"]
        proc = s.start_windows(args, label="gpuscene")
        assert proc.wait(120) == 0, proc.output()[-2000:]
        out = proc.output()
        assert re.search(r"^\S+ +[\d.]+  GPU: .+, feature level 0x[0-9a-f]+\r?$", out, re.M), out
        if opacity == "1":
            timing = [line.strip() for line in out.splitlines() if line.startswith("frames: ")]
            assert timing and TIMING.match(timing[0]), out
            print(timing[0])
        subprocess.run([str(preview), "--sample", str(cpu_png), "--opacity", opacity, "--sprites", str(sprites)],
                       check=True, timeout=60)
        gpu, cpu = _premultiplied(gpu_png), _premultiplied(cpu_png)
        mean, far_share, tiles = _compare(gpu, cpu)
        print(f"opacity {opacity}: mean difference {mean:.3f}, {far_share * 100:.3f} % of pixels beyond "
              f"{FAR_LIMIT}, worst tiles " + ", ".join(f"{d:.1f} at {xy}" for d, xy in tiles))
        # Both drew the scene, not nothing.
        assert _inked(cpu) > 20000 and abs(_inked(gpu) - _inked(cpu)) < 0.03 * _inked(cpu), (_inked(gpu), _inked(cpu))
        assert mean <= MEAN_LIMIT, f"opacity {opacity}: mean difference {mean:.3f} (pictures {gpu_png}, {cpu_png})"
        assert far_share <= FAR_SHARE_LIMIT, (f"opacity {opacity}: {far_share * 100:.3f} % of pixels differ by more "
                                              f"than {FAR_LIMIT} ({gpu_png}, {cpu_png})")
        assert tiles[0][0] <= TILE_LIMIT, f"opacity {opacity}: tiles differ: {tiles} ({gpu_png}, {cpu_png})"
