"""The drawn tray menu under Wine: a right click on the icon in Wine's tray
window opens it at the cursor; keys walk it and choose; Escape, a click
outside and a second click on the icon close it without a command; a right
release on "Quit Quillar" quits. The rows' screen rectangles and texts come
from the menu's test layout lines."""

from __future__ import annotations

import re
import time

import pixels
from harness import wait_until
from test_tray import press_hotkey, tray_icon_point

KOVRA_KEY = r"HKCU\Software\Kovra"
VK_RETURN, VK_ESCAPE, VK_DOWN = 0x0D, 0x1B, 0x28
ROWS = re.compile(r"^tray menu: rows((?: \d+@-?\d+,-?\d+,\d+,\d+)*)$")
DRAWN = re.compile(r"^tray menu: drawn \(dpi (\d+), (\d+)×(\d+) px\)$")


def start(s, lang="en", dpi=None):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    if dpi:
        s.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", dpi)
    proc = s.start_resident(env={"KOVRA_LANG": lang, "KOVRA_TEST_LAYOUT": "1"})
    tray_icon_point(s)
    return proc


def open_menu(s, proc):
    """Right-clicks the icon; returns (dpi, width, height, {command: rect}, lines)."""
    mark = len(s.messages())
    x, y = tray_icon_point(s)
    s.helper.ok(f"mouse {x} {y} rclick")
    drawn = DRAWN.match(s.wait_log(DRAWN, start=mark, timeout=10, proc=proc))
    rows = ROWS.match(s.wait_log(ROWS, start=mark, timeout=5, proc=proc))
    lines = s.wait_log("tray menu: lines ", start=mark, timeout=5, proc=proc)[len("tray menu: lines "):]
    s.helper.wait_for("QuillarMenu", timeout=10)
    areas = {}
    for item in rows.group(1).split():
        command, rect = item.split("@")
        areas[int(command)] = tuple(int(v) for v in rect.split(","))
    # Without a window manager the keyboard follows the pointer here: it rests
    # on the menu's title line, which is no item.
    wait_until(lambda: (s.helper.info("QuillarMenu") or {}).get("visible"), 10, "the drawn menu shows")
    left, top, _, _ = s.helper.info("QuillarMenu")["rect"]
    k = int(drawn.group(1)) / 96
    s.helper.ok("sleep 300")  # the opening animation is over
    s.helper.ok(f"mouse {left + round(200 * k)} {top + round(60 * k)}")
    s.helper.ok("sleep 100")
    s.helper.ok(f"mouse {left + round(200 * k)} {top + round(44 * k)}")
    s.helper.ok("sleep 400")
    return int(drawn.group(1)), int(drawn.group(2)), int(drawn.group(3)), areas, lines.split(" | ")


def menu_closed(s):
    s.helper.wait_for("QuillarMenu", timeout=10, present=False)


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def panel_looks_drawn(s, label, dpi, width, height):
    """The screenshot shows the panel where the window is: mostly the panel's
    dark blue, with light text on it."""
    info = s.helper.info("QuillarMenu")
    left, top, right, bottom = info["rect"]
    assert (right - left, bottom - top) == (width, height), info
    img = pixels.load(s.screenshot(label))
    m = round(18 * dpi / 96)
    inner = [img.at(x, y) for y in range(top + m + 4, bottom - m - 4, 3) for x in range(left + m + 4, right - m - 4, 3)]
    dark = sum(1 for r, g, b in inner if b > r + 8 and max(r, g, b) < 90)
    light = sum(1 for r, g, b in inner if min(r, g, b) > 170)
    assert dark > 0.6 * len(inner), f"{label}: only {dark} of {len(inner)} panel pixels are the panel's blue"
    assert light > 20, f"{label}: only {light} light pixels of text on the panel"


def test_drawn_menu_keys_outside_clicks_and_quit(s):
    proc = start(s)
    dpi, width, height, areas, lines = open_menu(s, proc)
    assert dpi == 96 and width == 328, (dpi, width, height)
    assert lines[:3] == ["Quillar", "It's snowing", "Pause"], lines
    assert list(areas) == [100, 101, 102, 103, 124, 126, 121, 128, 119, 120], areas
    panel_looks_drawn(s, "tray-menu-96dpi", dpi, width, height)

    # Down, Down: the switch, then "Light snow"; Enter runs it.
    mark = len(s.messages())
    for vk in (VK_DOWN, VK_DOWN, VK_RETURN):
        s.helper.ok(f"key {vk:#x}")
    menu_closed(s)
    wait_until(lambda: s.reg_value(KOVRA_KEY, "Weather") == ("REG_DWORD", 0), 10, "light snow stored")

    # Escape closes it without a command.
    s.helper.ok("sleep 400")
    open_menu(s, proc)
    mark = len(s.messages())
    s.helper.ok(f"key {VK_ESCAPE:#x}")
    menu_closed(s)

    # So does a click outside it.
    s.helper.ok("sleep 400")
    open_menu(s, proc)
    s.helper.ok("mouse 1000 600 click")
    menu_closed(s)

    # A second click on the icon closes the open menu and does not open it again.
    s.helper.ok("sleep 400")
    open_menu(s, proc)
    x, y = tray_icon_point(s)
    s.helper.ok(f"mouse {x} {y - 8} rclick")  # the panel opened below the icon's middle
    menu_closed(s)
    s.helper.ok("sleep 800")
    assert s.helper.find("QuillarMenu") is None, "the click that closed the menu opened it again"
    # Nothing was run: no pause, weather, visitor, window or quit line.
    after = s.messages()[mark:]
    ran = [m for m in after if m.startswith(("paused", "weather", "Santa", "fireworks", "quit", "settings window opened",
                                             "contact", "smart pause: shown"))]
    assert not ran, after
    assert s.reg_value(KOVRA_KEY, "Weather") == ("REG_DWORD", 0)
    assert s.reg_value(KOVRA_KEY, "Paused") in (None, ("REG_DWORD", 0))

    # Paused, the menu says so and offers to turn the snow on.
    mark = len(s.messages())
    press_hotkey(s)
    s.wait_log("paused 1", start=mark, timeout=10, proc=proc)
    _, _, _, areas, lines = open_menu(s, proc)
    assert lines[1:3] == ["Snow is paused", "Turn snow on"], lines
    assert "Show the snow anyway" not in lines
    panel_looks_drawn(s, "tray-menu-paused", 96, width, height)

    # A right-button release on "Quit Quillar" quits like a left click.
    qx, qy = centre(areas[120])
    s.helper.ok(f"mouse {qx} {qy}")
    s.helper.ok("sleep 200")
    s.helper.ok(f"mouse {qx} {qy} rclick")
    assert proc.wait(20) == 0
    assert s.messages()[-1] == "quit"


def test_drawn_menu_at_144_dpi(s):
    proc = start(s, lang="de", dpi=144)
    dpi, width, height, areas, lines = open_menu(s, proc)
    assert dpi == 144 and width == 492, (dpi, width, height)
    assert lines[:3] == ["Quillar", "Es schneit", "Pause"], lines
    panel_looks_drawn(s, "tray-menu-144dpi", dpi, width, height)
    # Its rows lie inside the work area, next to the icon.
    info = s.helper.info("QuillarMenu")
    left, top, right, bottom = info["rect"]
    assert left >= -round(18 * 1.5) and top >= -round(18 * 1.5), info
    # A left click on "Open Quillar…" opens the window.
    mark = len(s.messages())
    ox, oy = centre(areas[121])
    s.helper.ok(f"mouse {ox} {oy}")
    s.helper.ok("sleep 200")
    s.helper.ok(f"mouse {ox} {oy} click")
    menu_closed(s)
    s.wait_log("settings window opened (dpi 144)", start=mark, timeout=15, proc=proc)
    assert proc.alive()
