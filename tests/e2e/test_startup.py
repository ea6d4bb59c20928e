"""Start-up roles, single instance and the log, against the real quillar.exe."""

from __future__ import annotations

import re
import time

from harness import MUTEX_NAME, LOG_LINE_PREFIX, build_dir, quillar_exe, wait_until, winpath

START_LINE = re.compile(
    r"^Quillar for Windows 0\.9\.20 \(built (?P<date>[A-Z][a-z]{2} [ \d]\d \d{4}) (?P<time>\d\d:\d\d:\d\d)\), "
    r"language (?P<lang>[a-z]{2}) \(Windows: (?P<windows>[a-z]{2})\)$")
VERSION_LINE = re.compile(r"^Windows (?P<major>\d+)\.(?P<minor>\d+) build (?P<build>\d+); exe (?P<exe>.+)$")
SETTINGS_LINE = re.compile(
    r"^settings: paused \d weather \d amount -?\d+\.\d\d wind -?\d+\.\d\d onWindows \d sweep \d renderMode \d "
    r"autostart \d snowfall \d santa \d birds \d stars \d garland \d$")
DEFAULT_SETTINGS = ("settings: paused 0 weather 1 amount 0.55 wind 0.10 onWindows 1 sweep 1 renderMode 0 "
                    "autostart 0 snowfall 1 santa 1 birds 1 stars 1 garland 0")
MONTHS = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}

QUILLAR_KEY = r"HKCU\Software\Quillar"
WS_EX_TOOLWINDOW = 0x00000080
MOD_ALT, MOD_CONTROL, MOD_NOREPEAT = 0x1, 0x2, 0x4000


def test_first_start_writes_start_lines_and_keeps_running(s):
    proc = s.start_resident()
    msgs = s.messages()
    assert len(msgs) >= 3, msgs

    first = START_LINE.match(msgs[0])
    assert first, f"first line: {msgs[0]!r}"
    assert first["date"][:3] in MONTHS, first["date"]
    # An empty registry and no KOVRA_LANG: the UI follows Windows, here English.
    assert (first["lang"], first["windows"]) == ("en", "en"), msgs[0]

    second = VERSION_LINE.match(msgs[1])
    assert second, f"second line: {msgs[1]!r}"
    # Zeros would mean the version was not read at all.
    assert int(second["major"]) >= 6 and int(second["build"]) > 0, msgs[1]
    assert second["exe"].lower() == winpath(quillar_exe()).lower(), (second["exe"], winpath(quillar_exe()))

    assert msgs[2] == DEFAULT_SETTINGS, msgs[2]

    main = s.helper.info("KovraMain")
    assert s.helper.count("KovraMain") == 1
    assert not main["visible"], main
    assert main["exstyle"] & WS_EX_TOOLWINDOW, main
    assert main["title"] == "Quillar", main

    app_dir = wait_until(lambda: s.reg_value(QUILLAR_KEY, "AppDir"), 15, "AppDir written")
    assert app_dir[0] == "REG_SZ" and app_dir[1].lower() == winpath(build_dir()).lower(), app_dir

    # Nothing to wait for here: a late crash of start-up would end it in this time.
    time.sleep(2.0)
    assert proc.alive(), f"the resident program ended with {proc.popen.returncode}"
    assert "quit" not in s.messages()


def test_second_start_forwards_to_running_instance(s):
    proc = s.start_resident()
    before = s.read_log_bytes()

    code = s.run_quillar(timeout=20)
    assert code == 0, f"second start exit code {code}"
    s.wait_log("second start: settings window requested", timeout=10, start=3, proc=proc)

    # The second start never opens the log: no rotation, the first run's lines stay.
    assert s.read_log_bytes(previous=True) is None, "a previous log appeared"
    assert s.read_log_bytes().startswith(before)
    assert sum(START_LINE.match(m) is not None for m in s.messages()) == 1
    assert s.helper.count("KovraMain") == 1
    assert proc.alive()


def test_wallpaper_tick_while_resident_exits_at_once(s):
    proc = s.start_resident()
    # The resident's own start-up lines (the wallpapers' among them) are all
    # written once its frames run.
    s.wait_log("frames in step with the display", timeout=30, proc=proc)
    before = s.read_log_bytes()

    # Through the helper: the exact exit code and no wine start-up in the timing.
    t0 = time.monotonic()
    code = s.helper.run(f'"{winpath(quillar_exe())}" --wallpaper-tick', timeout_ms=20000)
    took = time.monotonic() - t0
    assert code == 0, f"exit code {code:#x}"
    assert took < 3.0, f"the tick took {took:.1f} s with the resident program running"

    # Let a stray write from the tick land before looking.
    s.helper.ok("sleep 500")
    after = s.read_log_bytes()
    assert s.read_log_bytes(previous=True) is None, "the tick rotated the log"
    assert after.startswith(before), "the tick rewrote the resident log"
    added = [s.message(l) for l in after[len(before):].decode("utf-8", "replace").split("\r\n") if l]
    about_tick = [m for m in added if re.search(r"wallpaper|tick|second start|Quillar for Windows", m, re.I)]
    assert not about_tick, about_tick
    assert proc.alive()


def test_start_while_mutex_held_exits_without_starting(s):
    assert s.helper.ok(f"mutex {MUTEX_NAME}") == "created"

    code = s.run_quillar(timeout=20)
    assert code == 0, f"exit code {code}"
    assert s.helper.find("KovraMain") is None, "a KovraMain window exists"
    assert s.read_log_bytes() is None, "a log was written"
    assert s.read_log_bytes(previous=True) is None


def test_wm_close_ends_run_with_quit(s):
    proc = s.start_resident()
    code = s.quit_resident(proc)
    assert code == 0, f"exit code {code}"
    msgs = s.messages()
    assert msgs and msgs[-1] == "quit", msgs[-5:]
    assert s.helper.find("KovraMain") is None
    # The mutex went with it: the next start is a first start again.
    again = s.start_resident()
    assert again.alive()


def test_second_run_keeps_previous_log(s):
    first = s.start_resident()
    assert s.quit_resident(first) == 0
    first_log = s.read_log_bytes()
    assert first_log

    second = s.start_resident()
    assert s.read_log_bytes(previous=True) == first_log
    msgs = s.messages()
    assert START_LINE.match(msgs[0]), msgs[0]
    assert "quit" not in msgs, "the new log carries the old run's lines"
    assert not s.read_log_bytes().startswith(first_log)
    assert s.quit_resident(second) == 0


def test_log_lines_have_prefix_and_crlf(s):
    t_start = time.time()
    proc = s.start_resident()
    assert s.run_quillar(timeout=20) == 0  # one more line, from the message handler
    s.wait_log("second start", start=3, proc=proc)
    assert s.quit_resident(proc) == 0
    t_end = time.time()

    data = s.read_log_bytes()
    assert data and data.endswith(b"\r\n"), data[-40:]
    lines = data.split(b"\r\n")[:-1]
    assert len(lines) >= 5
    elapsed_before = -1.0
    for raw in lines:
        assert b"\r" not in raw and b"\n" not in raw, f"bare line break in {raw!r}"
        line = raw.decode("utf-8")  # must be valid UTF-8
        assert LOG_LINE_PREFIX.match(line), f"bad prefix: {line!r}"
        hh, mm, ss, elapsed = int(line[0:2]), int(line[3:5]), int(line[6:8]), float(line[9:17])
        # Right-aligned in eight places, three decimals, then two spaces.
        assert line[9:17] == f"{elapsed:8.3f}" and line[17:19] == "  " and line[19:20] != " ", line
        assert hh < 24 and mm < 60 and ss < 60, line
        # The local wall clock of the moment the line was written.
        of_day = hh * 3600 + mm * 60 + ss
        # The program's local time is the harness's TZ ("QLR-9": nine hours east).
        east = -int(s.env["TZ"][3:]) * 3600
        lo = time.gmtime(t_start - 2 + east)
        lo = lo.tm_hour * 3600 + lo.tm_min * 60 + lo.tm_sec
        span = int(t_end - t_start) + 4
        assert (of_day - lo) % 86400 <= span, f"time {line[:8]} outside the run"
        assert elapsed >= elapsed_before, f"elapsed time went back at {line!r}"
        elapsed_before = elapsed
    assert float(lines[0][9:17]) < 5.0, lines[0]
    assert SETTINGS_LINE.match(s.message(lines[2].decode())), lines[2]


def test_screenshot_after_start(s):
    # Something for the snow to fall in front of and settle on.
    s.helper.ok("open 1 560 420 800 450 caption")
    s.start_resident()
    s.screenshot("started")
    try:
        wait_until(lambda: s.helper.count("KovraSnow"), 15, "a KovraSnow overlay window exists")
    finally:
        s.helper.ok("sleep 2000")  # some seconds of snowfall for the picture
        shot = s.screenshot("snowing")
    assert shot.stat().st_size > 0
    # Xvfb gives Wine one monitor, so one overlay.
    overlays = s.helper.count("KovraSnow")
    assert overlays == 1, f"{overlays} overlay windows"


def test_hotkey_taken_is_logged_and_start_goes_on(s):
    s.helper.ok(f"hotkey 1 {MOD_CONTROL | MOD_ALT | MOD_NOREPEAT:#x} {ord('D'):#x}")
    proc = s.start_resident()
    line = s.wait_log(re.compile(r"^hotkey Ctrl\+Alt\+D is taken by another program \(\d+\)$"), timeout=10)
    assert line.endswith("(1409)"), line  # ERROR_HOTKEY_ALREADY_REGISTERED
    assert proc.alive()
