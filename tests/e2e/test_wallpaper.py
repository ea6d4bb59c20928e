"""Wallpapers that follow the sun, under Wine: a small theme made here (six
plain JPEGs and a catalogue in the data folder), a stored city where the sun
is setting right now, the theme chosen in the Quillar window, then "My
wallpaper" again. Wine has no IDesktopWallpaper, so the program takes the
SystemParametersInfo path, which writes `Control Panel\\Desktop`."""

from __future__ import annotations

import hashlib
import json
import math
import os
import re
import subprocess
import time

from harness import wait_until
from test_settings_window import click, layout, scroll_to
from test_weather import Server

KOVRA_KEY = r"HKCU\Software\Kovra"
QUILLAR_KEY = r"HKCU\Software\Quillar"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
WM_COMMAND, WM_TIMER = 0x0111, 0x0113
THEME = 28  # the page's theme tiles: argument = theme index, -1 "My wallpaper"
MINUTE_TIMER = 3

THEME_ID = "e2e-frost"
PHASES = ["dawn", "day", "golden", "sunset", "blue", "night"]
COLOURS = {"dawn": "#d08070", "day": "#60a0e0", "golden": "#f0c040", "sunset": "#e05030", "blue": "#304090",
           "night": "#101828"}
OWN_PICTURE = "C:\\own-wallpaper.jpg"
TZ_UTC = "QLR0"  # the program's local time is UTC, as in sun_phase below


# ------------------------------------------------------------------ the sun

def _sin(a):
    return math.sin(math.radians(a))


def _cos(a):
    return math.cos(math.radians(a))


def solar_elevation(t, lat, lon):
    """The low-precision almanac formula the program uses, in degrees."""
    n = t / 86400.0 + 2440587.5 - 2451545.0
    L = math.fmod(280.46 + 0.9856474 * n, 360.0)
    g = math.fmod(357.528 + 0.9856003 * n, 360.0)
    lam = L + 1.915 * _sin(g) + 0.02 * _sin(2 * g)
    eps = 23.439 - 0.0000004 * n
    alpha = math.degrees(math.atan2(_cos(eps) * _sin(lam), _cos(lam)))
    delta = math.degrees(math.asin(_sin(eps) * _sin(lam)))
    theta = math.fmod(280.46061837 + 360.98564736629 * n, 360.0)
    h = theta + lon - alpha
    s = _sin(lat) * _sin(delta) + _cos(lat) * _cos(delta) * _cos(h)
    return math.degrees(math.asin(max(-1.0, min(1.0, s))))


def sun_phase(t, lat, lon, offset=0.0):
    """(from, to, blend) for a moment and a place, as the program computes it."""
    e = solar_elevation(t, lat, lon)
    rising = e < solar_elevation(t + 600, lat, lon)
    midnight = math.floor((t + offset) / 86400) * 86400 - offset
    peak = max(solar_elevation(midnight + i * 1800, lat, lon) for i in range(48))
    top = min(max(0.7 * peak, 3.0), 12.0)
    if e >= top:
        return ("day", "day", 0.0)
    ladder = ([("day", top), ("dawn", 1.0), ("night", -10.0)] if rising else
              [("day", top), ("golden", min(top - 2, 5.0)), ("sunset", -1.5), ("blue", -5.0), ("night", -10.0)])
    for (upper, u), (lower, w) in zip(ladder, ladder[1:]):
        if e >= w:
            f = min(max((u - e) / (u - w), 0.0), 1.0)
            q = 0.25 * math.floor(4 * f + 0.5)
            src, dst, weight = (lower, upper, 1 - q) if rising else (upper, lower, q)
            if weight >= 1:
                return (dst, dst, 0.0)
            if weight <= 0:
                return (src, src, 0.0)
            return (src, dst, weight)
    return ("night", "night", 0.0)


def picture_name(phase) -> str:
    src, dst, blend = phase
    if blend == 0:
        return f"{THEME_ID}-{src}.jpg"
    return f"{THEME_ID}-{src}-{dst}-{int(100 * blend)}.jpg"


def evening_city(now, keep=600):
    """Coordinates (as stored, four decimals) where the sun stands between the
    golden and sunset bounds at a quarter blend from now for `keep` seconds."""
    wanted = ("golden", "sunset", 0.25)
    for lat in (50.0, 40.0, 30.0, 20.0, 10.0, 0.5):
        for step in range(0, 7200):
            lon = round(-180 + step * 0.05, 4)
            if solar_elevation(now, lat, lon) < 3.0:  # the quarter's upper half, so it lasts
                continue
            if sun_phase(now, lat, lon) == wanted and sun_phase(now + keep, lat, lon) == wanted:
                return lat, lon
    raise AssertionError("no place has the evening sun at a quarter golden → sunset now")


# ------------------------------------------------------------------ the theme

def sha256(path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def make_theme(s, base="http://127.0.0.1:9/"):
    """Six one-colour pictures in the downloaded-themes folder and a catalogue
    that lists them. Its base is a closed local port unless a test serves the
    catalogue: the start-up refresh then fails at once and the catalogue stays.
    Returns the catalogue's theme entry."""
    themes = s.local_appdata() / "Quillar" / "Themes"
    pictures = themes / THEME_ID
    pictures.mkdir(parents=True, exist_ok=True)
    files = {}
    for phase in PHASES:
        path = pictures / f"{THEME_ID}-{phase}.jpg"
        subprocess.run(["convert", "-size", "64x40", f"xc:{COLOURS[phase]}", "-quality", "95", str(path)],
                       check=True, timeout=30)
        files[phase] = {"path": f"{THEME_ID}/{path.name}", "sha256": sha256(path), "size": path.stat().st_size}
    theme = {"id": THEME_ID, "title": {"en": "Frost test", "uk": "Іній"}, "cover": "day",
             "size": sum(f["size"] for f in files.values()), "files": files}
    catalog = {"version": 1, "base": base, "themes": [theme]}
    (themes / "themes.json").write_text(json.dumps(catalog), encoding="utf-8")
    # The user's own wallpaper before Quillar is asked for one.
    subprocess.run(["convert", "-size", "64x40", "xc:#208020", str(s.prefix / "drive_c" / "own-wallpaper.jpg")],
                   check=True, timeout=30)
    s.reg_add(DESKTOP_KEY, "Wallpaper", "REG_SZ", OWN_PICTURE)
    return theme


def generated(s):
    return s.local_appdata() / "Quillar" / "Wallpapers"


def windows_path(s, path) -> str:
    """A path in the prefix's C: drive as the program names it."""
    rel = path.relative_to(s.prefix / "drive_c")
    return "C:\\" + str(rel).replace("/", "\\")


def desktop_wallpaper(s) -> str:
    value = s.reg_value(DESKTOP_KEY, "Wallpaper")
    return value[1] if value else ""


def open_window(s):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    proc = s.start_resident(env={"KOVRA_LANG": "en", "KOVRA_TEST_LAYOUT": "1", "TZ": TZ_UTC})
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} 121 0")
    s.wait_log("settings window opened", timeout=15, proc=proc)
    s.helper.wait_for("KovraSettings", timeout=10)
    # The first paint of the page can take long on a loaded machine.
    wait_until(lambda: any(m.startswith("settings window: origin") for m in s.messages()), 90, "the first paint")
    layout(s)
    time.sleep(1.5)
    return proc


def bring_into_view(s, kind, arg):
    """Scrolls the page until the control lies inside the window, one wheel
    notch per repaint: keys pressed in a row went on scrolling past the
    control after the first repaint had shown it."""
    scroll_to(s, kind, arg)


# ------------------------------------------------------------------ flows

def test_the_desktop_follows_the_sun_and_my_wallpaper_comes_back(s):
    make_theme(s)
    now = time.time()
    lat, lon = evening_city(now)
    s.reg_add(QUILLAR_KEY, "CityName", "REG_SZ", "Evening")
    s.reg_add(QUILLAR_KEY, "CityLat", "REG_SZ", f"{lat:.4f}")
    s.reg_add(QUILLAR_KEY, "CityLon", "REG_SZ", f"{lon:.4f}")
    proc = open_window(s)
    s.wait_log("themes catalog: not fetched (0)", timeout=30, proc=proc)

    # The theme tile: chosen with "Follow the time of day" on (the default).
    mark = len(s.messages())
    bring_into_view(s, THEME, 0)
    s.screenshot("wallpaper-tiles")
    click(s, THEME, 0)
    s.wait_log("wallpaper choice 0, times 1", start=mark, timeout=20, proc=proc)
    made = s.wait_log(re.compile(r"^wallpaper blend \w+ → \w+ [\d.]+ made$"), start=mark, timeout=30, proc=proc)
    s.wait_log(re.compile(r"^wallpaper(?: set on monitor 0: |: IDesktopWallpaper unavailable \(0x80040154\), used "
                          r"SystemParametersInfo)"), start=mark, timeout=30, proc=proc)
    expected = {picture_name(sun_phase(t, lat, lon)) for t in (now, time.time())}
    assert expected == {f"{THEME_ID}-golden-sunset-25.jpg"}, expected
    assert made == "wallpaper blend golden → sunset 0.25 made", made
    target = generated(s) / f"{THEME_ID}-golden-sunset-25.jpg"
    assert target.is_file(), sorted(p.name for p in generated(s).iterdir())
    # A real JPEG of the theme's size, between the golden and the sunset colour.
    info = subprocess.run(["convert", str(target), "-format", "%m %w %h %[fx:int(255*mean.r)]", "info:"],
                          check=True, timeout=30, stdout=subprocess.PIPE).stdout.decode().split()
    assert info[:3] == ["JPEG", "64", "40"], info
    assert 0xe0 <= int(info[3]) <= 0xf0, f"red {info[3]} is not a quarter from golden to sunset"
    assert not list(generated(s).glob("*.tmp")), "the temporary picture is moved into place"
    wait_until(lambda: desktop_wallpaper(s).lower() == windows_path(s, target).lower(), 15,
               "Control Panel\\Desktop names the blend")
    originals = (s.local_appdata() / "Quillar" / "original-wallpapers.txt").read_bytes()
    assert originals == f"*\t{OWN_PICTURE}\n".encode(), originals
    assert s.reg_value(QUILLAR_KEY, "WallpaperFile") == ("REG_SZ", THEME_ID)
    assert s.reg_value(QUILLAR_KEY, "Wallpaper") == ("REG_DWORD", 1)
    assert s.reg_value(QUILLAR_KEY, "WallpaperTimes") == ("REG_DWORD", 1)

    # The minute check in the same quarter: nothing new is made, an old
    # leftover is tidied, a fresh one and the picture in use stay.
    old, fresh = generated(s) / f"{THEME_ID}-dawn.jpg", generated(s) / f"{THEME_ID}-night-dawn-50.jpg.tmp"
    for p in (old, fresh):
        p.write_bytes(b"leftover")
    long_ago = time.time() - 20 * 60
    os.utime(old, (long_ago, long_ago))
    before = target.stat().st_mtime_ns
    mark = len(s.messages())
    s.helper.ok(f"post KovraMain {WM_TIMER:#x} {MINUTE_TIMER} 0")
    s.wait_log(re.compile(r"^wallpapers: tidied 1 old pictures \(0\.0 MB\), [12] in use$"), start=mark, timeout=30,
               proc=proc)
    assert not old.exists() and fresh.exists()
    assert target.stat().st_mtime_ns == before, "the blend of this quarter is used as it is"
    assert sorted(p.name for p in generated(s).iterdir()) == sorted([target.name, fresh.name])
    assert not [m for m in s.messages()[mark:] if m.startswith("wallpaper blend")], s.messages()[mark:]
    # Wine's desktop does not repaint its root window for a new wallpaper, so
    # this shows the chosen tile and the snow over a black desktop.
    s.screenshot("wallpaper-theme-chosen")

    # "My wallpaper": the user's own picture is back.
    mark = len(s.messages())
    bring_into_view(s, THEME, -1)
    click(s, THEME, -1)
    s.wait_log("wallpaper choice -1, times 1", start=mark, timeout=20, proc=proc)
    s.wait_log("wallpaper on monitor 0 back to the user's own", start=mark, timeout=30, proc=proc)
    wait_until(lambda: desktop_wallpaper(s) == OWN_PICTURE, 15, "Control Panel\\Desktop names the user's picture")
    assert s.reg_value(QUILLAR_KEY, "WallpaperFile") == ("REG_SZ", "none")
    assert s.reg_value(QUILLAR_KEY, "Wallpaper") == ("REG_DWORD", 0)
    assert s.quit_resident(proc) == 0


def test_a_theme_the_catalogue_no_longer_lists_becomes_none(s):
    make_theme(s)
    s.reg_add(QUILLAR_KEY, "WallpaperFile", "REG_SZ", "wall-22")
    s.reg_add(QUILLAR_KEY, "Wallpaper", "REG_DWORD", 12)
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    proc = s.start_resident(env={"TZ": TZ_UTC})
    s.wait_log("themes catalog: not fetched (0)", timeout=30, proc=proc)
    wait_until(lambda: s.reg_value(QUILLAR_KEY, "WallpaperFile") == ("REG_SZ", "none"), 15, "WallpaperFile = none")
    assert s.reg_value(QUILLAR_KEY, "Wallpaper") == ("REG_DWORD", 0)
    assert desktop_wallpaper(s) == OWN_PICTURE, "nothing is applied"
    assert not [m for m in s.messages() if m.startswith("wallpaper set") or "IDesktopWallpaper" in m]
    assert s.quit_resident(proc) == 0


def test_the_catalogue_is_refreshed_with_its_thumbnails_and_a_fixed_picture_is_shown(s):
    with Server() as server:
        base = server.base + "/"
        frost = make_theme(s, base)
        thumb = s.dir / "pine-thumb.jpg"
        subprocess.run(["convert", "-size", "32x20", "xc:#205030", str(thumb)], check=True, timeout=30)
        thumb_bytes = thumb.read_bytes()
        good = {"id": "e2e-pine", "title": {"de": "Kiefer"}, "thumb": "e2e-pine/thumb.jpg",
                "thumbSha256": hashlib.sha256(thumb_bytes).hexdigest(), "size": 3_600_000, "files": frost["files"]}
        bad = {**good, "id": "e2e-bad", "thumb": "e2e-bad/thumb.jpg", "thumbSha256": "0" * 64}
        served = json.dumps({"version": 1, "base": base, "themes": [good, bad, frost]}).encode()
        server.httpd.bodies.update({"/themes.json": served, "/e2e-pine/thumb.jpg": thumb_bytes,
                                    "/e2e-bad/thumb.jpg": thumb_bytes})
        # The theme chosen earlier, as one fixed picture.
        s.reg_add(QUILLAR_KEY, "WallpaperFile", "REG_SZ", THEME_ID)
        s.reg_add(QUILLAR_KEY, "Wallpaper", "REG_DWORD", 1)
        s.reg_add(QUILLAR_KEY, "WallpaperTimes", "REG_DWORD", 0)
        s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
        proc = s.start_resident(env={"TZ": TZ_UTC})

        s.wait_log("themes catalog: 3 themes", timeout=60, proc=proc)
        [request] = server.requests_to("/themes.json")
        assert request["headers"].get("Cache-Control") == "no-cache", request["headers"]
        themes = s.local_appdata() / "Quillar" / "Themes"
        assert (themes / "themes.json").read_bytes() == served
        assert (themes / "thumbs" / "e2e-pine.jpg").read_bytes() == thumb_bytes
        assert not (themes / "thumbs" / "e2e-bad.jpg").exists(), "a thumbnail with another digest is not kept"
        assert len(server.requests_to("/e2e-bad/thumb.jpg")) == 1
        assert not list((themes / "thumbs").glob("*.tmp"))

        # Following off: the cover picture, copied once into the generated folder.
        fixed = generated(s) / f"{THEME_ID}.jpg"
        wait_until(lambda: desktop_wallpaper(s).lower() == windows_path(s, fixed).lower(), 30,
                   "Control Panel\\Desktop names the fixed picture")
        assert fixed.read_bytes() == (themes / THEME_ID / f"{THEME_ID}-day.jpg").read_bytes()
        assert not [m for m in s.messages() if m.startswith("wallpaper blend")]
        # The choice keeps its id in the new catalogue, where it stands third.
        assert s.reg_value(QUILLAR_KEY, "WallpaperFile") == ("REG_SZ", THEME_ID)
        assert s.quit_resident(proc) == 0
