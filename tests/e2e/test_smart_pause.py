"""Smart pause: the snow hides for full-screen programs and calls and comes back."""

from __future__ import annotations

import re
import time

from harness import wait_until

KOVRA_KEY = r"HKCU\Software\Kovra"
CONSENT = r"HKCU\Software\Microsoft\Windows\CurrentVersion\CapabilityAccessManager\ConsentStore"
APP = r"C:#Program Files#Talk#talk.exe"


def _overlay_visible(s) -> bool:
    info = s.helper.info("KovraSnow")
    return bool(info and info["visible"])


def _started(s, env=None):
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident(env=env)
    s.wait_log("probes: own thread (full screen, screensaver, smart pause)", timeout=20, proc=proc)
    wait_until(lambda: _overlay_visible(s), 10, "the overlay shows")
    return proc


def _call_started(s, capability="microphone"):
    key = rf"{CONSENT}\{capability}\NonPackaged\{APP}"
    s.reg_add(key, "LastUsedTimeStart", "REG_QWORD", 134000000000000000)
    s.reg_add(key, "LastUsedTimeStop", "REG_QWORD", 0)
    return key


def _full_screen_seen(s, proc, timeout=10.0):
    """Waits for the full-screen line while window 1 stays raised. Wine can put
    its own tray window back above a new window now and then, and a window
    with anything of an ordinary window above it is no full-screen app."""
    deadline = time.monotonic() + timeout
    while True:
        s.helper.ok("raise 1")
        try:
            return s.wait_log("monitor 0,0 full-screen app: 1", timeout=2, proc=proc)
        except AssertionError:
            if time.monotonic() > deadline:
                raise


def test_borderless_window_over_the_monitor_hides_its_snow_at_once(s):
    proc = _started(s)
    s.helper.ok("open 1 0 0 1920 1080 popup")
    # A small topmost tool window above the full-screen one changes nothing.
    s.helper.ok("open 2 100 100 300 200 popup topmost")
    _full_screen_seen(s, proc)
    # Hidden at once, not faded: by the next sampling the window is gone.
    wait_until(lambda: not _overlay_visible(s), 2, "the overlay hides")
    s.screenshot("full-screen-app")
    s.helper.ok("close 1")
    s.wait_log("monitor 0,0 full-screen app: 0", timeout=10, proc=proc)
    wait_until(lambda: _overlay_visible(s), 5, "the overlay comes back")


def test_layered_player_counts_while_its_own_control_bar_has_the_focus(s):
    proc = _started(s)
    # A layered full-screen player and the small control bar it owns.
    s.helper.ok("open 1 0 0 1920 1080 popup layered")
    s.helper.ok("open 2 760 960 400 80 popup topmost owner=1")
    deadline = time.monotonic() + 15
    while True:
        s.helper.ok("foreground 2")
        try:
            s.wait_log("monitor 0,0 full-screen app: 1", timeout=2, proc=proc)
            break
        except AssertionError:
            if time.monotonic() > deadline:
                raise
    s.helper.ok("close 2")
    s.helper.ok("close 1")
    s.wait_log("monitor 0,0 full-screen app: 0", timeout=10, proc=proc)


def test_maximised_captioned_window_keeps_the_snow(s):
    proc = _started(s)
    s.helper.ok("open 1 100 100 800 600 caption")
    s.helper.ok("maximize 1")
    info = s.helper.info("QuillarTestWindow")
    WS_MAXIMIZE = 0x01000000
    assert info["style"] & WS_MAXIMIZE, info
    left, top, right, bottom = info["rect"]
    assert left <= 0 and top <= 0 and right >= 1920 and bottom >= 1080, info
    time.sleep(3)
    assert not any(m.startswith("monitor 0,0 full-screen app: 1") for m in s.messages()), s.messages()
    assert _overlay_visible(s)
    assert proc.alive()


def test_a_call_fades_the_snow_out_and_its_end_brings_it_back(s):
    proc = _started(s)
    key = _call_started(s)
    s.wait_log("smart pause: call or presentation", timeout=10, proc=proc)
    wait_until(lambda: not _overlay_visible(s), 3, "the overlay fades out")
    s.wine("reg", "delete", key, "/f")
    s.wait_log("smart pause: off", timeout=10, proc=proc)
    wait_until(lambda: _overlay_visible(s), 3, "the overlay comes back")


def test_webcam_entry_without_a_stop_value_is_not_a_call(s):
    key = rf"{CONSENT}\webcam\{APP}"
    s.reg_add(key, "LastUsedTimeStart", "REG_QWORD", 134000000000000000)
    proc = _started(s)
    time.sleep(3)
    assert "smart pause: call or presentation" not in s.messages()
    assert _overlay_visible(s) and proc.alive()


def test_smart_pause_off_ignores_calls_but_not_full_screen_apps(s):
    s.reg_add(KOVRA_KEY, "SmartPause", "REG_DWORD", 0)
    _call_started(s, "webcam")
    proc = _started(s)
    time.sleep(3)
    assert not any(m.startswith("smart pause:") for m in s.messages()), s.messages()
    assert _overlay_visible(s)
    s.helper.ok("open 1 0 0 1920 1080 popup")
    _full_screen_seen(s, proc)
    wait_until(lambda: not _overlay_visible(s), 2, "the overlay hides")
