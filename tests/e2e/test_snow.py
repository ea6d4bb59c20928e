"""Visible snow: the overlay windows and what they show, against the real quillar.exe."""

from __future__ import annotations

import re
import statistics
import time

import pixels

WS_EX_TOPMOST = 0x00000008
WS_EX_TRANSPARENT = 0x00000020
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_LAYERED = 0x00080000
WS_EX_NOACTIVATE = 0x08000000
WS_POPUP = 0x80000000
KOVRA_KEY = r"HKCU\Software\Kovra"


def _cells():
    """A 4 x 3 grid over the 1920 x 1080 screen."""
    return [(gx * 480, gy * 360, gx * 480 + 480, gy * 360 + 360) for gy in range(3) for gx in range(4)]


def _snow_until(s, ready, label: str, settle: float):
    """Starts the program and screenshots the snow until ready(img) holds.
    Flakes start above the top edge, and the world never steps more than
    50 ms per frame, so on a slow machine they take longer to come down."""
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident()
    s.wait_log(re.compile(r"^sprites: \d+ of 22 pictures loaded$"), timeout=20, proc=proc)
    time.sleep(settle)
    return proc, pixels.screenshot_until(s, label, ready, timeout=60)


def test_overlay_window_and_flakes_over_the_whole_screen(s):
    def every_cell_snows(img):
        return all(len(pixels.bright_blobs(img, region=cell)) >= 3 for cell in _cells())

    proc, img = _snow_until(s, every_cell_snows, "snow-whole-screen", settle=14.0)
    msgs = s.messages()
    assert "renderer: compatible (UpdateLayeredWindow)" in msgs, msgs
    assert "monitor 0,0 1920x1080 px, 96 dpi (x1.00), work 0,0-1920,1080" in msgs, msgs
    # Every embedded picture decodes through WIC.
    assert "sprites: 13 of 22 pictures loaded" in msgs, msgs

    info = s.helper.info("KovraSnow")
    assert s.helper.count("KovraSnow") == 1
    assert info["visible"], info
    for bit, name in ((WS_EX_TOPMOST, "topmost"), (WS_EX_TRANSPARENT, "transparent"), (WS_EX_TOOLWINDOW, "tool"),
                      (WS_EX_LAYERED, "layered"), (WS_EX_NOACTIVATE, "no-activate")):
        assert info["exstyle"] & bit, f"overlay lacks {name}: {info['exstyle']:#x}"
    assert info["style"] & WS_POPUP, info
    assert info["rect"] == (0, 0, 1920, 1080), info
    assert info["title"] == "Quillar", info

    # Flakes everywhere: every cell of a 4 x 3 grid holds some.
    for cell in _cells():
        blobs = pixels.bright_blobs(img, region=cell)
        assert len(blobs) >= 3, f"only {len(blobs)} flakes in cell {cell}"
    # ... and they are flakes, not a white screen: most of it stays clear.
    allblobs = pixels.bright_blobs(img)
    lit = sum(c for c, _ in allblobs)
    assert 150 <= len(allblobs) and lit < 0.02 * img.width * img.height, (len(allblobs), lit)
    assert proc.alive()


def test_clicks_pass_through_the_overlay_to_the_window_below(s):
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident()
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    s.helper.ok("open 1 300 300 600 400 caption")
    time.sleep(1.0)
    s.helper.ok("mouse 600 500 click")
    s.helper.ok("mouse 620 520 click")
    clicks = None
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        clicks = int(s.helper.ok("clicks 1"))
        if clicks >= 2:
            break
        time.sleep(0.1)
    assert clicks == 2, f"the window below got {clicks} of 2 clicks"
    assert "snow under the cursor: overlay takes clicks" not in s.messages()


def test_higher_dpi_scales_the_monitor_and_the_flakes(s):
    # Both runs are measured once the snow has come well down the screen, long
    # past its fade-in, however slowly this machine starts or draws, and over
    # the same stretch of fall in points.
    def flake_sizes(label, scale):
        band = (0, round(450 * scale), 1920, round(600 * scale))
        proc, img = _snow_until(s, lambda img: len(pixels.bright_blobs(img, region=band)) >= 8, label, settle=8.0)
        # Three pictures a second and a half apart: tumbling flakes show
        # another width in each, and new ones come into view. Now and then the
        # X server hands out a picture read while Wine was still writing the
        # overlay's next frame: every flake then trails a dotted rim of specks.
        # Such a picture is taken again.
        sizes, whole, tries = [], 0, 0
        while whole < 3:
            if tries:
                assert tries < 8, f"{label}: only {whole} whole pictures in {tries}"
                time.sleep(1.5)
                img = pixels.load(s.screenshot(f"{label}-{tries}"))
            tries += 1
            found = [c for c, _ in pixels.bright_blobs(img, region=(0, 0, 1920, round(600 * scale)))]
            if sum(1 for c in found if c <= 3) <= 0.15 * len(found):
                sizes += found
                whole += 1
        return proc, sizes

    first, sizes_96 = flake_sizes("snow-96dpi", 1.0)
    assert s.quit_resident(first) == 0

    s.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", 144)
    _, sizes_144 = flake_sizes("snow-144dpi", 1.5)
    assert "monitor 0,0 1920x1080 px, 144 dpi (x1.50), work 0,0-1920,1080" in s.messages(), s.messages()
    assert len(sizes_96) >= 60 and len(sizes_144) >= 60, (len(sizes_96), len(sizes_144))
    # Flake areas grow with the square of the scale (1.5² = 2.25). The median of
    # flakes of random depth still wanders, so the bounds only part that from
    # unscaled flakes (1.0) and doubly scaled ones (5.1).
    ratio = statistics.median(sizes_144) / statistics.median(sizes_96)
    print(f"dpi area ratio {ratio:.2f}: {statistics.median(sizes_96)} -> {statistics.median(sizes_144)} px")
    assert 1.5 <= ratio <= 3.8, (f"median flake area ratio {ratio:.2f}; quartiles at 96 dpi "
                                 f"{statistics.quantiles(sizes_96)}, at 144 dpi {statistics.quantiles(sizes_144)}")


def test_gpu_mode_falls_back_to_the_compatible_renderer(s):
    # Nothing stored: a new user gets renderer A. Wine's Direct3D 11 and
    # Direct2D start, its composition device does not.
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident()
    s.wait_log("renderer: compatible (UpdateLayeredWindow)", timeout=20, proc=proc)
    msgs = s.messages()
    gpu = [i for i, m in enumerate(msgs) if re.match(r"^GPU: .+, feature level 0x[0-9a-f]+$", m)]
    assert gpu, msgs
    order = [msgs.index(line) for line in (
        "GPU renderer: DCompositionCreateDevice failed (0x80004001)",
        "renderer GPU (DirectComposition) could not start — switching to the compatible one",
        "renderer: compatible (UpdateLayeredWindow)")]
    assert gpu[0] < order[0] < order[1] < order[2], msgs
    # The overlays are made after the renderer is chosen.
    s.wait_log(re.compile(r"^monitor 0,0 1920x1080 px"), timeout=20, proc=proc)
    s.helper.wait_for("KovraSnow", timeout=10)
    assert s.helper.count("KovraSnow") == 1
    # The window is made for the renderer that draws: no redirection-less style.
    assert not s.helper.info("KovraSnow")["exstyle"] & 0x00200000, s.helper.info("KovraSnow")

    # The compatible renderer's snow shows.
    img = pixels.screenshot_until(s, "snow-after-gpu-fallback", lambda im: len(pixels.bright_blobs(im)) >= 20,
                                  timeout=60)
    assert len(pixels.bright_blobs(img)) >= 20, "no snow after the fallback"
    # The fallback holds for this run only: the user's choice stays A.
    assert s.quit_resident(proc) == 0
    assert s.reg_value(KOVRA_KEY, "RenderMode2") == ("REG_DWORD", 0)


def test_two_monitors_each_get_an_overlay_and_a_world_of_their_own(s):
    from harness import TwoMonitorDisplay
    display = TwoMonitorDisplay(log_dir=s.dir).start()
    try:
        s.use_display(display)
        s.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", 120)
        s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
        proc = s.start_resident()
        s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
        msgs = s.messages()
        assert "monitor 0,0 1280x800 px, 120 dpi (x1.25), work 0,0-1280,800" in msgs, msgs
        assert "monitor 1280,0 1024x768 px, 120 dpi (x1.25), work 1280,0-2304,768" in msgs, msgs
        assert s.helper.count("KovraSnow") == 2
        # The overlays keep themselves topmost and may swap places between two
        # lookups by index: read both until they are two different windows.
        deadline = time.monotonic() + 5
        while True:
            infos = [s.helper.info("KovraSnow", i) for i in range(2)]
            if len({info["hwnd"] for info in infos}) == 2 or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        # One overlay on each monitor: a new one covers its monitor, and a
        # quiet scene may cut it down to the part where snow shows.
        rects = sorted(info["rect"] for info in infos)
        for (x0, y0, x1, y1), (mx0, my0, mx1, my1) in zip(rects, [(0, 0, 1280, 800), (1280, 0, 2304, 768)]):
            assert mx0 <= x0 < x1 <= mx1 and my0 <= y0 < y1 <= my1, rects
        time.sleep(12)
        img = pixels.load(s.screenshot("two-monitors"))
        left = pixels.bright_blobs(img, region=(0, 0, 1280, 800))
        right = pixels.bright_blobs(img, region=(1280, 0, 2304, 768))
        assert len(left) >= 40 and len(right) >= 30, (len(left), len(right))
        # Each monitor's world is seeded apart: the snow differs between them.
        left_pattern = {(x0 % 1024, y0) for _, (x0, y0, _, _) in left if x0 < 1024}
        right_pattern = {(x0 - 1280, y0) for _, (x0, y0, _, _) in right}
        assert len(left_pattern & right_pattern) < 0.5 * len(right_pattern)
        assert s.quit_resident(proc) == 0
    finally:
        s.close()
        display.close()
