"""The screensaver under Wine: "/s" over the whole screen with the theme's
time-of-day picture and the snow, the input that ends it and the input that
does not, the preview inside another program's window, the starts it leaves
to the normal program, "Set as screensaver" from the Quillar window, and the
desktop snow hiding while it runs.

The tests make their own theme: six 1280x720 JPEG pictures (a sky that
differs per phase over the same dark green hills) listed in a themes.json in
the user's data folder, where the program looks for downloaded themes.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import time

import pixels
from harness import quillar_exe, wait_until

KOVRA_KEY = r"HKCU\Software\Kovra"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
THEME = "aurora"
PHASES = ["dawn", "day", "golden", "sunset", "blue", "night"]
SKIES = {  # top and bottom of each phase's sky
    "dawn": ("#27305e", "#d98a6e"), "day": ("#2f5f9e", "#8fb4d9"), "golden": ("#3b3f73", "#e0a050"),
    "sunset": ("#2a2350", "#d0603a"), "blue": ("#101d4a", "#3d5f9a"), "night": ("#050a1e", "#1a2850"),
}
HILLS = (30, 84, 64)  # the hills of every picture
WIDTH, HEIGHT = 1920, 1080
BACKGROUND = (9, 14, 33)  # the screensaver's own dark blue under the pictures
VK_A = 0x41
SAVER_LINE = re.compile(r"^\d\d:\d\d:\d\d [ \d]{3}\d+\.\d{3}  ")


# ------------------------------------------------------------------ helpers

def _make_theme(s, theme=THEME, with_pictures=True):
    """Writes themes.json with one theme and, when asked, its six pictures."""
    root = s.local_appdata() / "Quillar" / "Themes"
    folder = root / theme
    folder.mkdir(parents=True, exist_ok=True)
    files = {}
    for phase in PHASES:
        name = f"{theme}-{phase}.jpg"
        files[phase] = {"path": f"{theme}/{name}", "sha256": "0" * 64, "size": 100000}
        if not with_pictures:
            continue
        top, bottom = SKIES[phase]
        hills = "#%02x%02x%02x" % HILLS
        subprocess.run(
            ["convert", "-size", "1280x720", f"gradient:{top}-{bottom}",
             "-fill", "#fff6d8", "-draw", "circle 980,170 980,140",  # a sun or a moon
             "-fill", hills,
             "-draw", "polygon 0,720 0,520 180,470 360,505 560,440 760,500 980,420 1140,470 1280,450 1280,720",
             "-quality", "92", str(folder / name)],
            check=True, timeout=60)
    catalog = {"base": "http://127.0.0.1:9/themes/",
               "themes": [{"id": theme, "title": {"en": "Aurora", "uk": "Аврора"}, "cover": "day",
                           "files": files}]}
    (root / "themes.json").write_text(json.dumps(catalog), encoding="utf-8")


def _saver_log_path(s):
    return s.local_appdata() / "Kovra" / "quillar-screensaver-log.txt"


def _saver_messages(s):
    try:
        data = _saver_log_path(s).read_bytes()
    except FileNotFoundError:
        return []
    lines = [line for line in data.decode("utf-8", errors="replace").split("\r\n") if line]
    return [SAVER_LINE.sub("", line, count=1) for line in lines]


def _wait_saver_log(s, pattern, proc=None, timeout=30.0):
    def seen():
        for msg in _saver_messages(s):
            if (pattern.search(msg) if isinstance(pattern, re.Pattern) else pattern in msg):
                return msg
        if proc is not None and not proc.alive():
            raise AssertionError(f"screensaver exited with {proc.popen.returncode} before {pattern!r}; "
                                 f"log: {_saver_messages(s)[-10:]}")
        return None
    return wait_until(seen, timeout, f"screensaver log line {pattern!r}")


def _start_saver(s, *args):
    """Starts quillar.exe as the screensaver, the pointer at the screen's centre,
    and waits until it draws."""
    s.helper.ok(f"mouse {WIDTH // 2} {HEIGHT // 2}")
    proc = s.start_quillar(*args)
    _wait_saver_log(s, re.compile(r"^screensaver: (in step with the display|no display clock)"), proc, timeout=40)
    _wait_saver_log(s, "screensaver: first frame drawn", proc)
    return proc


def _near(px, colour, tolerance=14):
    return all(abs(a - b) <= tolerance for a, b in zip(px, colour))


def _share(img, region, predicate):
    x0, y0, x1, y1 = region
    total = hit = 0
    for y in range(y0, y1, 4):
        for x in range(x0, x1, 4):
            total += 1
            hit += 1 if predicate(img.at(x, y)) else 0
    return hit / total


HILL_REGION = (60, 860, WIDTH - 60, 990)  # below every hill top, above the snow on the ground
SKY_REGION = (60, 60, 1300, 300)


def _flakes(img, region=HILL_REGION, threshold=150):
    return [b for b in pixels.bright_blobs(img, threshold=threshold, region=region) if 2 <= b[0] <= 900]


def _snow(img):
    """Flakes over the dark top of the sky and over the hills."""
    return len(_flakes(img, (0, 0, WIDTH, 240), threshold=200)) + len(_flakes(img))


# -------------------------------------------------------------------- tests

def test_full_screen_shows_the_theme_and_snow_that_thickens(s):
    _make_theme(s)
    proc = _start_saver(s, "/s")
    t0 = time.monotonic()
    msgs = _saver_messages(s)
    assert f"screensaver: full screen, picture {THEME}" in msgs, msgs
    assert ("screensaver: snow always on (the app's pause / snowfall / weather do not apply here), "
            "picture changes every 10 min") in msgs, msgs
    assert s.helper.count("QuillarScreensaver") == 1
    info = s.helper.info("QuillarScreensaver")
    assert info["visible"] and info["rect"] == (0, 0, WIDTH, HEIGHT), info
    assert info["exstyle"] & 0x8, "topmost"

    time.sleep(max(0.0, 2.0 - (time.monotonic() - t0)))
    early = pixels.load(s.screenshot("screensaver-2s"))
    # The theme's hills fill the bottom, its sky the top (not the bare background).
    assert _share(early, HILL_REGION, lambda p: _near(p, HILLS, 16)) > 0.6
    assert _share(early, SKY_REGION, lambda p: _near(p, BACKGROUND, 6)) < 0.05
    few = _snow(early)
    assert few >= 5, f"snow over the picture at 2 s: {few} flakes"

    _wait_saver_log(s, "screensaver: DwmFlush does not wait (0x00000000) — clock timing", proc)
    time.sleep(max(0.0, 20.0 - (time.monotonic() - t0)))
    late = pixels.load(s.screenshot("screensaver-20s"))
    many = _snow(late)
    assert many > few * 1.3, f"the snow thickens: {few} flakes at 2 s, {many} at 20 s"
    assert _share(late, HILL_REGION, lambda p: _near(p, HILLS, 16)) > 0.4
    assert proc.alive()

    s.helper.ok("key %d" % VK_A)
    assert proc.wait(15) == 0
    assert _saver_messages(s)[-1] == "screensaver ended"
    assert s.helper.count("QuillarScreensaver") == 0


def test_the_pointer_ends_it_beyond_six_pixels_but_not_at_first(s):
    _make_theme(s)
    # Moved by 300 px within its first 0.6 s: it goes on.
    s.helper.ok(f"mouse {WIDTH // 2} {HEIGHT // 2}")
    proc = s.start_quillar("/s")
    wait_until(lambda: _saver_log_path(s).exists() or not proc.alive(), 40, "the screensaver's log")
    s.helper.ok(f"mouse {WIDTH // 2 + 300} {HEIGHT // 2}")
    _wait_saver_log(s, "screensaver: snow always on", proc)
    time.sleep(2.0)
    assert proc.alive(), "a move in the first 0.6 s does not end it"
    s.helper.ok("key %d" % VK_A)
    assert proc.wait(15) == 0
    assert _saver_messages(s)[-1] == "screensaver ended"

    # A jitter of 6 px after a second keeps it; 7 px ends it.
    _saver_log_path(s).unlink()
    proc = _start_saver(s, "/s")
    time.sleep(1.5)
    s.helper.ok(f"mouse {WIDTH // 2 + 6} {HEIGHT // 2 - 6}")
    s.helper.ok(f"mouse {WIDTH // 2 - 6} {HEIGHT // 2 + 6}")
    time.sleep(1.5)
    assert proc.alive(), "6 px is a jitter"
    s.helper.ok(f"mouse {WIDTH // 2 + 7} {HEIGHT // 2}")
    assert proc.wait(15) == 0
    assert _saver_messages(s)[-1] == "screensaver ended"


def test_preview_draws_in_the_given_window_and_ends_with_it(s):
    _make_theme(s)
    hwnd = int(s.helper.ok("open 1 300 200 480 360 popup"), 16)
    proc = s.start_quillar("/p", str(hwnd))
    _wait_saver_log(s, "screensaver: preview, picture aurora", proc, timeout=40)
    _wait_saver_log(s, "screensaver: first frame drawn", proc)
    # One child window filling the test window's client area, no top-level one.
    child = s.helper.ok("child 1 QuillarScreensaver")
    m = re.search(r"visible (\d) .* style (0x[0-9a-f]+) .* rect (-?\d+) (-?\d+) (-?\d+) (-?\d+)", child)
    assert m and m.group(1) == "1", child
    assert int(m.group(2), 16) & 0x40000000, "WS_CHILD"
    assert tuple(int(v) for v in m.groups()[2:]) == (300, 200, 780, 560), child
    assert s.helper.count("QuillarScreensaver") == 0
    # Wine 8 does not show what one process draws in a child window of
    # another's, so the picture is looked for on Windows only; here the rest
    # of the screen must stay untouched.
    img = pixels.load(s.screenshot("screensaver-preview"))
    assert _share(img, (900, 100, 1800, 900), lambda p: p == (0, 0, 0)) > 0.95
    # Keys and the pointer belong to the control panel in a preview.
    s.helper.ok("mouse 500 400")
    s.helper.ok("mouse 700 500")
    s.helper.ok("key %d" % VK_A)
    time.sleep(1.5)
    assert proc.alive()
    s.helper.ok("close 1")
    assert proc.wait(15) == 0
    assert _saver_messages(s)[-1] == "screensaver ended"


def test_a_preview_without_a_window_is_left_to_the_normal_start(s):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    for args in (("/p", "0"), ("/p", "77777")):
        proc = s.start_resident(*args)
        assert s.quit_resident(proc) == 0
    assert not _saver_log_path(s).exists()


def test_without_pictures_it_shows_the_dark_background_and_snow(s):
    _make_theme(s, with_pictures=False)
    proc = _start_saver(s, "/s")
    missing = [m for m in _saver_messages(s) if re.match(r"^screensaver: picture aurora-\w+\.jpg missing$", m)]
    assert missing, _saver_messages(s)
    time.sleep(3.0)
    img = pixels.load(s.screenshot("screensaver-no-pictures"))
    assert _share(img, SKY_REGION, lambda p: _near(p, BACKGROUND, 8)) > 0.9
    assert len(_flakes(img, (0, 0, WIDTH, HEIGHT))) >= 10
    s.helper.ok("mouse 100 100 click")
    assert proc.wait(15) == 0


def test_the_desktop_snow_hides_while_the_screensaver_runs(s):
    _make_theme(s)
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    resident = s.start_resident()
    s.wait_log("probes: own thread (full screen, screensaver, smart pause)", timeout=20, proc=resident)
    wait_until(lambda: (s.helper.info("KovraSnow") or {}).get("visible"), 10, "the overlay shows")
    mark = len(s.messages())
    saver = _start_saver(s, "/s")
    s.wait_log("exclusive full-screen / presentation: 1", start=mark, timeout=15, proc=resident)
    wait_until(lambda: not (s.helper.info("KovraSnow") or {}).get("visible"), 10, "the overlay hides")
    s.helper.ok("key %d" % VK_A)
    assert saver.wait(15) == 0
    s.wait_log("exclusive full-screen / presentation: 0", start=mark, timeout=15, proc=resident)
    wait_until(lambda: (s.helper.info("KovraSnow") or {}).get("visible"), 10, "the overlay comes back")
    assert s.quit_resident(resident) == 0


SCREENSAVER_BUTTON = 36  # the kind of "Set as screensaver" / "Screensaver settings…" (ui/settings_page.h)
WM_COMMAND = 0x0111
OPEN_SETTINGS = 121      # the tray menu's "Quillar window"


def _button_width(s, start=0):
    """The button's width in the newest layout line from `start` on, or None.
    A page that takes seconds to draw has its repaints held back for up to ten
    times as long, so callers poll this for a while."""
    from test_settings_window import AREAS
    line = next((m for m in reversed(s.messages()[start:]) if AREAS.match(m)), None)
    if not line:
        return None
    m = re.search(r" %d\.0@-?\d+,-?\d+,(\d+),\d+" % SCREENSAVER_BUTTON, line)
    return int(m.group(1)) if m else None


def _scroll_to_the_screensaver(s):
    """End scrolls the page to its foot, where the screensaver block is in view;
    a page can take seconds to draw on a busy machine, so one key beats the wheel."""
    from test_settings_window import layout, xdo
    info = s.helper.info("KovraSettings")
    top, bottom = info["rect"][1], info["rect"][3]
    (ox, oy), _ = layout(s)
    xdo(s, "mousemove", ox + 10, oy + 300)  # the page's left margin holds no control
    xdo(s, "click", "1")
    time.sleep(0.5)
    xdo(s, "key", "End")

    def in_view():
        (ox, oy), areas = layout(s)
        x, y, w, h = areas[(SCREENSAVER_BUTTON, 0)]
        return oy + y > top + 60 and oy + y + h < bottom - 20
    wait_until(in_view, 60, "the screensaver block in view", interval=0.5)
    time.sleep(1.0)  # the last paint is done before the click


def _desktop(s, name):
    value = s.reg_value(DESKTOP_KEY, name)
    return value[1] if value else None


def test_set_as_screensaver_from_the_window(s):
    from test_settings_window import click
    # An installed copy, so that the screensaver is copied beside it.
    folder = s.local_appdata() / "Programs" / "Quillar"
    folder.mkdir(parents=True)
    exe = folder / "Quillar.exe"
    shutil.copy(quillar_exe(), exe)
    copy = folder / "Quillar.scr"
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    s.wine("reg", "delete", DESKTOP_KEY, "/v", "ScreenSaveTimeOut", "/f")
    proc = s.start_windows([exe], env={"KOVRA_LANG": "en", "KOVRA_TEST_LAYOUT": "1"}, label="quillar")
    s.wait_log("settings: ", timeout=40, proc=proc)
    s.helper.wait_for("KovraMain", timeout=20)
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} {OPEN_SETTINGS} 0")
    s.wait_log("settings window opened", timeout=15, proc=proc)
    _scroll_to_the_screensaver(s)
    unset = _button_width(s)

    # "Set as screensaver": the copy, the three values, a missing timeout made 600.
    mark = len(s.messages())
    click(s, SCREENSAVER_BUTTON)
    line = s.wait_log("screensaver installed: ", start=mark, timeout=20, proc=proc)
    assert copy.exists() and copy.stat().st_size == exe.stat().st_size
    value = line.split(": ", 1)[1]
    assert value.lower().endswith("quillar.scr"), value
    assert _desktop(s, "SCRNSAVE.EXE") == value
    assert _desktop(s, "ScreenSaveActive") == "1"
    assert _desktop(s, "ScreenSaveTimeOut") == "600"

    # Twice overwrites the copy; a timeout of "0" becomes 600, the user's 300 stays.
    for timeout, kept in (("0", "600"), ("300", "300")):
        s.reg_add(DESKTOP_KEY, "ScreenSaveTimeOut", "REG_SZ", timeout)
        copy.write_bytes(b"old")
        mark2 = len(s.messages())
        click(s, SCREENSAVER_BUTTON)
        s.wait_log("screensaver installed: ", start=mark2, timeout=20, proc=proc)
        assert copy.stat().st_size == exe.stat().st_size, "the copy is overwritten"
        assert _desktop(s, "ScreenSaveTimeOut") == kept, timeout

    # The window offers the screensaver's settings now ...
    wait_until(lambda: (_button_width(s, mark) or unset) != unset, 60,
               "the button shows \"Screensaver settings…\"", interval=0.5)
    s.screenshot("screensaver-set")
    # ... and, switched off elsewhere, to set it again after its next look.
    mark = len(s.messages())
    s.reg_add(DESKTOP_KEY, "ScreenSaveActive", "REG_SZ", "0")
    wait_until(lambda: _button_width(s, mark) == unset, 60, "the button shows \"Set as screensaver\" again",
               interval=0.5)
    assert s.quit_resident(proc) == 0
