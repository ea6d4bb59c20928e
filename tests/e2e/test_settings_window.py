"""The Quillar window under Wine, driven as a user would: clicks on its drawn
controls (their rectangles come from the window's test layout line), the
wheel and keys, at 96 and 144 dpi and on a small screen."""

from __future__ import annotations

import os
import re
import subprocess
import time

from harness import wait_until

KOVRA_KEY = r"HKCU\Software\Kovra"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
WM_COMMAND = 0x0111
AREAS = re.compile(r"^settings window: origin (-?\d+),(-?\d+)((?: \d+\.-?\d+@-?\d+,-?\d+,\d+,\d+)*)$")

# Kinds of the page's controls (ui/settings_page.h).
WEATHER, AUTOSTART, RENDER_MODE, SNOWFALL, MINIMISE, CLOSE = 4, 9, 11, 16, 39, 40


def xdo(s, *args):
    subprocess.run(["xdotool", *[str(a) for a in args]], env={**os.environ, "DISPLAY": s.display.name},
                   check=True, timeout=10, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def open_window(s, lang="en", dpi=None):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    if dpi:
        s.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", dpi)
    proc = s.start_resident(env={"KOVRA_LANG": lang, "KOVRA_TEST_LAYOUT": "1"})
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} 121 0")
    s.wait_log("settings window opened", timeout=15, proc=proc)
    s.helper.wait_for("KovraSettings", timeout=10)
    (ox, oy), _ = layout(s)  # painted once
    # The wheel and the keys go to the window with the focus: a click on the
    # page's left margin, where no control lies, gives it.
    xdo(s, "mousemove", ox + 10, oy + 300)
    xdo(s, "click", "1")
    time.sleep(1.5)
    return proc


def layout(s, start=0):
    """The newest layout line: the client origin and {(kind, arg): (x, y, w, h)} in client pixels."""
    line = wait_until(lambda: next((m for m in reversed(s.messages()[start:]) if AREAS.match(m)), None), 15,
                      "the window's layout line")
    m = AREAS.match(line)
    areas = {}
    for item in m.group(3).split():
        ka, rect = item.split("@")
        kind, arg = (int(v) for v in ka.split("."))
        areas.setdefault((kind, arg), tuple(int(v) for v in rect.split(",")))
    return (int(m.group(1)), int(m.group(2))), areas


def click(s, kind, arg=0, start=0):
    (ox, oy), areas = layout(s, start)
    assert (kind, arg) in areas, sorted(areas)
    x, y, w, h = areas[(kind, arg)]
    xdo(s, "mousemove", ox + x + w // 2, oy + y + h // 2)
    time.sleep(0.2)
    xdo(s, "click", "1")


def scroll_to(s, kind, arg=0):
    """Scrolls with the wheel, one notch at a time, until the control lies inside
    the window. Each notch waits for the page drawn after it (drawing is slow
    under Wine), so the rectangles clicked next are the ones on screen."""
    info = s.helper.info("KovraSettings")
    top, bottom = info["rect"][1], info["rect"][3]
    for _ in range(40):
        (ox, oy), areas = layout(s)
        x, y, w, h = areas[(kind, arg)]
        if oy + y > top + 60 and oy + y + h < bottom - 20:
            time.sleep(1.0)  # the last paint is done before the click
            return
        mark = len(s.messages())
        xdo(s, "mousemove", ox + 300, oy + 300)
        xdo(s, "click", "5" if oy + y + h >= bottom - 20 else "4")
        try:
            layout(s, mark)
        except AssertionError:
            pass  # the page did not move (at its end)
    raise AssertionError(f"control {kind}.{arg} never came into view")


def test_controls_change_the_settings_at_once(s):
    proc = open_window(s)
    s.screenshot("settings-window-96dpi")
    click(s, WEATHER, 2)  # "Blizzard"
    wait_until(lambda: s.reg_value(KOVRA_KEY, "Weather") == ("REG_DWORD", 2), 10, "Weather = 2 stored")

    scroll_to(s, SNOWFALL)
    mark = len(s.messages())
    click(s, SNOWFALL)  # "Falling snow" off
    wait_until(lambda: s.reg_value(KOVRA_KEY, "Snowfall") == ("REG_DWORD", 0), 10, "Snowfall = 0 stored")

    scroll_to(s, AUTOSTART)
    click(s, AUTOSTART)
    s.wait_log("autostart on", start=mark, timeout=25, proc=proc)
    assert s.reg_value(RUN_KEY, "Kovra"), "the Run entry is written"
    click(s, AUTOSTART)
    s.wait_log("autostart off", start=mark, timeout=25, proc=proc)
    assert not s.reg_value(RUN_KEY, "Kovra"), "the Run entry is removed"

    scroll_to(s, RENDER_MODE, 0)
    # A is the default: B first, then A again, which cannot start here.
    click(s, RENDER_MODE, 1)  # "B — compatible"
    s.wait_log("renderer chosen in the settings window: B (compatible)", start=mark, timeout=25, proc=proc)
    mark = len(s.messages())
    click(s, RENDER_MODE, 0)  # "A — graphics card"
    s.wait_log("renderer chosen in the settings window: A (GPU)", start=mark, timeout=25, proc=proc)
    s.wait_log("switching to the compatible one", start=mark, timeout=25, proc=proc)

    click(s, CLOSE)
    s.wait_log("settings window closed", start=mark, timeout=25, proc=proc)
    s.helper.wait_for("KovraSettings", timeout=10, present=False)
    assert proc.alive()


# (kind, arg, what the click does): a stored value, or a log line.
SWITCHES = [
    (17, 0, ("Santa", 0)), (18, 0, ("Birds", 0)), (19, 0, ("Stars", 0)), (20, 0, ("Garland", 1)),
    (7, 0, ("OnWindows", 0)), (24, 0, ("SmartPause", 0)), (8, 0, ("Sweep", 0)), (41, 2, ("FpsMode", 2)),
    (41, 1, ("FpsMode", 1)),
]
BUTTONS = [
    (4, 0, ("Weather", 0)), (21, 0, "Santa called"), (22, 0, "birds called"), (23, 0, "fireworks now"),
    (10, 0, "shovel (settings window)"), (29, 0, "theme frozen-lake"), (42, 0, "contact: "),
    (1, 0, ("Paused", 1)), (1, 0, ("Paused", 0)),
]


def test_every_switch_stores_its_value(s):
    click_through(s, SWITCHES)


def test_every_button_does_its_effect(s):
    click_through(s, BUTTONS)
    click(s, MINIMISE)
    wait_until(lambda: s.helper.info("KovraSettings")["iconic"], 15, "the window minimised")


def click_through(s, controls):
    proc = open_window(s)
    for kind, arg, effect in controls:
        scroll_to(s, kind, arg)
        mark = len(s.messages())
        click(s, kind, arg)
        if isinstance(effect, str):
            s.wait_log(effect, start=mark, timeout=25, proc=proc)
        else:
            name, value = effect
            wait_until(lambda: s.reg_value(KOVRA_KEY, name) == ("REG_DWORD", value), 15,
                       f"{name} = {value} after a click on {kind}.{arg}")
    assert proc.alive()


def test_wheel_and_page_down_scroll_to_a_clamped_end(s):
    proc = open_window(s, lang="de")
    s.screenshot("settings-window-de")
    (ox, oy), first = layout(s)
    xdo(s, "mousemove", ox + 300, oy + 300)
    for _ in range(5):
        xdo(s, "click", "5")
        time.sleep(1.0)
        _, after = layout(s)
        if after[(WEATHER, 2)][1] < first[(WEATHER, 2)][1]:
            break
    assert after[(WEATHER, 2)][1] < first[(WEATHER, 2)][1], "the wheel scrolls the page up"
    for _ in range(30):
        xdo(s, "key", "Next")
        time.sleep(0.2)
    time.sleep(2.0)
    _, end = layout(s)
    assert end[(WEATHER, 2)][1] < after[(WEATHER, 2)][1], "Page Down scrolls"
    for _ in range(5):
        xdo(s, "key", "Next")
    time.sleep(2.0)
    _, still = layout(s)
    assert still == end, "past its end the page does not move"
    s.screenshot("settings-window-de-end")
    assert proc.alive()


def test_at_144_dpi_the_window_is_half_again_as_large(s):
    proc = open_window(s, dpi=144)
    s.wait_log("settings window opened (dpi 144)", timeout=5, proc=proc)
    (_, _), areas = layout(s)
    left, top, right, bottom = s.helper.info("KovraSettings")["rect"]
    # 800 logical pixels at 1.5, shrunk by the page scale when 1200 px would not fit the screen's height.
    line = s.wait_log("the page is shown at", timeout=5, proc=proc)
    scale = 1.5 * float(re.search(r"at (\d+) %", line).group(1)) / 100
    assert abs((right - left) - 800 * scale) <= 40, (left, top, right, bottom, line)
    x, y, w, h = areas[(WEATHER, 2)]
    x96 = 525  # the same control at 96 dpi and full scale
    assert abs(x - x96 * scale) <= 3, (areas[(WEATHER, 2)], scale)
    s.screenshot("settings-window-144dpi")


def test_on_a_1366x768_screen_the_page_is_scaled_to_fit(s):
    from harness import Display
    display = Display(1366, 768, log_dir=s.dir).start()
    try:
        # A taskbar 40 px high, as the window manager announces it to Wine.
        subprocess.run(["xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0, 0, 1366, 728"],
                       env={**os.environ, "DISPLAY": display.name}, check=True, timeout=10)
        s.use_display(display)
        proc = open_window(s)
        s.wait_log("settings window: the screen is narrow, the page is shown at 86 %", timeout=5, proc=proc)
        left, top, right, bottom = s.helper.info("KovraSettings")["rect"]
        assert bottom - top <= 728 and right - left <= 800 * 0.87, (left, top, right, bottom)
        s.screenshot("settings-window-1366x768")
        assert s.quit_resident(proc) == 0
    finally:
        s.close()
        display.close()


def test_the_language_menu_switches_the_page_to_german(s):
    proc = open_window(s)
    mark = len(s.messages())
    click(s, 2)  # the language button opens its menu
    time.sleep(1.5)
    # "As in Windows", then uk, en, de below the separator.
    for key in ("Down", "Down", "Down", "Down", "Return"):
        xdo(s, "key", key)
        time.sleep(0.3)
    s.wait_log("language: de", start=mark, timeout=20, proc=proc)
    assert s.reg_value(KOVRA_KEY, "Language") is not None, "the choice is stored"
    time.sleep(3)
    s.screenshot("settings-window-language-menu-de")
    assert proc.alive()


SHOW_ANYWAY, OPEN_LOG, SHOW_MORE, FOLLOW_TIMES, THEME = 25, 12, 30, 31, 28


def many_themes(s, count):
    """A catalogue of `count` themes none of which is downloaded (their files
    are named, not there), with a closed base port so the refresh keeps it."""
    import json
    themes = s.local_appdata() / "Quillar" / "Themes"
    themes.mkdir(parents=True, exist_ok=True)
    entries = []
    for i in range(count):
        files = {phase: {"path": f"t{i}/t{i}-{phase}.jpg", "sha256": "0" * 64, "size": 400000}
                 for phase in ("dawn", "day", "golden", "sunset", "blue", "night")}
        entries.append({"id": f"t{i}", "title": {"en": f"Theme {i}"}, "cover": "day", "size": 2400000,
                        "files": files})
    catalog = {"version": 1, "base": "http://127.0.0.1:9/", "themes": entries}
    (themes / "themes.json").write_text(json.dumps(catalog), encoding="utf-8")


def test_the_conditional_controls_do_their_effect(s):
    """The controls that show only in some states: "Show the snow anyway"
    while a call hides the snow, "Show more" under a long theme list, and
    "Follow the time of day" and the log button below."""
    from test_smart_pause import _call_started
    many_themes(s, 14)
    _call_started(s)
    proc = open_window(s)
    s.wait_log("smart pause: call or presentation", timeout=20, proc=proc)
    wait_until(lambda: (SHOW_ANYWAY, 0) in layout(s)[1], 20, "the smart-pause notice with its button")
    mark = len(s.messages())
    click(s, SHOW_ANYWAY)
    s.wait_log("smart pause: shown anyway", start=mark, timeout=25, proc=proc)

    scroll_to(s, SHOW_MORE)
    assert (THEME, 11) in layout(s)[1] and (THEME, 12) not in layout(s)[1], "twelve tiles before Show more"
    mark = len(s.messages())
    click(s, SHOW_MORE)
    wait_until(lambda: (THEME, 13) in layout(s, mark)[1], 20, "all fourteen tiles after Show more")
    assert (SHOW_MORE, 0) not in layout(s)[1]

    scroll_to(s, FOLLOW_TIMES)
    mark = len(s.messages())
    click(s, FOLLOW_TIMES)
    s.wait_log(re.compile(r"^wallpaper choice -?\d+, times 0$"), start=mark, timeout=25, proc=proc)
    wait_until(lambda: s.reg_value(r"HKCU\Software\Quillar", "WallpaperTimes") == ("REG_DWORD", 0), 15,
               "WallpaperTimes = 0 stored")

    scroll_to(s, OPEN_LOG)
    click(s, OPEN_LOG)
    # The log opens in the system's viewer for text files (Wine's notepad).
    s.helper.wait_for("Notepad", timeout=20)
    assert proc.alive()
