"""The first-run guide under Wine: the start after installation opens it in
the Quillar window; its buttons walk the steps, Santa comes on the way to the
surprises, "More snow" piles snow on the window's top edge, where scooping a
ball ticks the first trick; Skip stores that it was seen, and the next start
after installation shows the page instead."""

from __future__ import annotations

import re
import time

import pixels
from harness import wait_until
from test_play import approach, overlay_takes_clicks, xdo
from test_settings_window import layout  # the window's controls from its layout line

KOVRA_KEY = r"HKCU\Software\Kovra"
GUIDE = re.compile(r"^settings window: guide (?:step (\d), tricks 0x([0-9a-f]+)|off)$")
# Kinds of the window's controls (ui/settings_page.h).
GUIDE_BUTTON, NEXT, BACK, SKIP, MORE_SNOW = 3, 32, 33, 34, 35


def start(s, lang="en", dpi=None):
    if dpi:
        s.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", dpi)
    for name in ("Birds", "Stars"):
        s.reg_add(KOVRA_KEY, name, "REG_DWORD", 0)
    xdo(s, "mousemove", 1900, 1000)
    proc = s.start_resident("/installed", env={"KOVRA_LANG": lang, "KOVRA_TEST_LAYOUT": "1"})
    s.wait_log("started by the installer (install)", timeout=15, proc=proc)
    s.wait_log("settings window opened", timeout=15, proc=proc)
    s.helper.wait_for("KovraSettings", timeout=10)
    return proc


def guide_state(s):
    """(step, tricks) of the newest guide line; None for a window without the guide."""
    line = wait_until(lambda: next((m for m in reversed(s.messages()) if GUIDE.match(m)), None), 20, "a guide line")
    m = GUIDE.match(line)
    return None if m.group(1) is None else (int(m.group(1)), int(m.group(2), 16))


def wait_step(s, step, what):
    return wait_until(lambda: (lambda g: g if g and g[0] == step else None)(guide_state(s)), 40, what)


def click(s, kind, arg=0):
    (ox, oy), areas = layout(s)
    assert (kind, arg) in areas, sorted(areas)
    x, y, w, h = areas[(kind, arg)]
    xdo(s, "mousemove", ox + x + w // 2, oy + y + h // 2)
    time.sleep(0.3)
    xdo(s, "click", "1")


def snow_on_top_edge(img, left, right, top) -> int:
    """Columns of the window's width with white snow standing on its top edge."""
    hits = 0
    for x in range(left + 20, right - 20, 2):
        if all(min(img.at(x, y)) >= 190 for y in (top - 2, top - 3)):
            hits += 1
    return hits


def test_first_start_after_installation_runs_the_guide(s):
    proc = start(s)
    assert guide_state(s) == (0, 0)
    _, areas = layout(s)
    assert {(NEXT, 0), (SKIP, 0)} <= set(areas) and (BACK, 0) not in areas, sorted(areas)
    info = s.helper.info("KovraSettings")
    left, top, right, bottom = info["rect"]
    s.helper.ok("sleep 2000")  # painted (software drawing here takes a second)
    s.screenshot("guide-step-0")

    click(s, NEXT)  # "Let it snow"
    wait_step(s, 1, "step 1")
    click(s, NEXT)
    wait_step(s, 2, "step 2")
    s.helper.ok("sleep 1500")
    s.screenshot("guide-step-2")

    # "More snow" heaps snow on the window's own top edge.
    mark = len(s.messages())
    click(s, MORE_SNOW)
    s.wait_log("guide: more snow", start=mark, timeout=10, proc=proc)
    xdo(s, "mousemove", 1900, 1000)
    img = wait_until(lambda: (lambda i: i if snow_on_top_edge(i, left, right, top) > 0.5 * (right - left - 40) / 2
                              else None)(pixels.load(s.screenshot("guide-more-snow"))), 20,
                     "a drift along the window's top edge")
    assert img

    # A ball scooped from it ticks the first trick.
    point = ((left + right) // 2, top - 2)
    approach(s, point)
    wait_until(lambda: overlay_takes_clicks(s), 10, "the overlay takes clicks over the window's drift")
    mark = len(s.messages())
    xdo(s, "mousedown", 1)
    s.wait_log("snow picked up with the mouse (snowball)", start=mark, timeout=5, proc=proc)
    time.sleep(0.4)
    xdo(s, "mouseup", 1)
    wait_until(lambda: (lambda g: g and g[1] & 0x04)(guide_state(s)), 10, "the first trick ticked")
    xdo(s, "mousemove", 1900, 1000)
    time.sleep(1.0)
    s.screenshot("guide-trick-ticked")

    # On to the surprises: Santa is called.
    mark = len(s.messages())
    click(s, NEXT)
    s.wait_log("Santa called", start=mark, timeout=10, proc=proc)
    wait_step(s, 3, "step 3")
    click(s, BACK)
    wait_step(s, 2, "back on step 2")
    assert s.messages()[mark:].count("Santa called") == 1, "going back from the surprises called Santa"

    mark = len(s.messages())
    click(s, SKIP)
    s.wait_log("guide closed — the settings page is shown", start=mark, timeout=10, proc=proc)
    wait_until(lambda: guide_state(s) is None, 40, "the page instead of the guide")
    assert s.reg_value(KOVRA_KEY, "GuideSeen") == ("REG_DWORD", 1)
    _, areas = layout(s, mark)
    assert (GUIDE_BUTTON, 0) in areas and (NEXT, 0) not in areas, sorted(areas)
    assert s.quit_resident(proc) == 0

    # Seen once: the next start after an installation shows the page.
    proc = start(s)
    _, areas = layout(s)
    assert (GUIDE_BUTTON, 0) in areas and (NEXT, 0) not in areas, sorted(areas)
    assert guide_state(s) is None
    assert "guide opened" not in s.messages()
    assert proc.alive()


def test_guide_at_144_dpi_and_reopened_from_the_status_card(s):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    proc = start(s, lang="fr", dpi=144)
    s.wait_log("settings window opened (dpi 144)", timeout=5, proc=proc)
    assert guide_state(s) is None
    mark = len(s.messages())
    click(s, GUIDE_BUTTON)
    s.wait_log("guide opened", start=mark, timeout=10, proc=proc)
    wait_step(s, 0, "the guide at step 0")
    # The window shrank to the guide's height: 560 logical pixels of client.
    wait_until(lambda: (lambda r: r[3] - r[1] < 900)(s.helper.info("KovraSettings")["rect"]), 10,
               "the window's guide height")
    s.helper.ok("sleep 1500")
    s.screenshot("guide-144dpi-step-0")
    for step in range(1, 5):
        click(s, NEXT)
        wait_step(s, step, f"step {step}")
    s.helper.ok("sleep 1500")
    s.screenshot("guide-144dpi-step-4")
    _, areas = layout(s)
    assert {(9, 0), (41, 0), (41, 2), (11, 0), (11, 1)} <= set(areas), sorted(areas)
    click(s, NEXT)
    wait_step(s, 5, "step 5")
    mark = len(s.messages())
    click(s, NEXT)  # the last step's Next ends the guide
    s.wait_log("guide closed — the settings page is shown", start=mark, timeout=10, proc=proc)
    wait_until(lambda: guide_state(s) is None, 40, "the page again")
    assert proc.alive()
