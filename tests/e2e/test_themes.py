"""Theme downloads and the scheduled wallpaper tick, under Wine, against the
hosted theme folder that tools/themes.py builds from the committed artwork
and serves on a local port ("ThemeServer" points the program at it)."""

from __future__ import annotations

import hashlib
import json
import re
import subprocess
import sys
import threading
import time
from pathlib import Path

import pixels
from harness import MUTEX_NAME, REPO_ROOT, quillar_exe, wait_until, winpath
from test_settings_window import click, layout
from test_wallpaper import DESKTOP_KEY, KOVRA_KEY, OWN_PICTURE, QUILLAR_KEY, THEME, TZ_UTC, bring_into_view, \
    desktop_wallpaper

DOWNLOAD_ALL = 29
PHASES = ["dawn", "day", "golden", "sunset", "blue", "night"]
ACCENT = (0x8c, 0xcf, 0xff)  # the progress bar
ERROR = (0xff, 0x9a, 0x8f)  # the failure mark


class ThemeServer:
    """`tools/themes.py serve` on a free port, building the hosted folder for it."""

    def __init__(self, s, *options):
        self.out = s.dir / "hosted"
        self.proc = subprocess.Popen(
            [sys.executable, str(REPO_ROOT / "tools" / "themes.py"), "serve", "--port", "0", "--out", str(self.out),
             *[str(o) for o in options]],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.lines: list[str] = []
        self.ready = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()
        if not self.ready.wait(60):
            self.close()
            raise AssertionError(f"theme server did not start: {self.lines}")
        self.base = re.search(r"on (http://127\.0\.0\.1:\d+/)", self.lines[0]).group(1)
        self.catalog = json.loads((self.out / "themes.json").read_text(encoding="utf-8"))

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.append(raw.decode(errors="replace").rstrip())
            if self.lines[-1].startswith("serving "):
                self.ready.set()

    def theme(self, theme_id):
        return next(t for t in self.catalog["themes"] if t["id"] == theme_id)

    def requests(self, piece) -> int:
        """How many GETs asked for a path containing `piece`."""
        return sum(1 for line in list(self.lines) if line.startswith("request: \"GET ") and piece in line)

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def themes_folder(s) -> Path:
    return s.local_appdata() / "Quillar" / "Themes"


def digests(folder: Path) -> dict:
    return {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in sorted(folder.iterdir())}


def expected_digests(theme) -> dict:
    return {f"{theme['id']}-{ph}.jpg": theme["files"][ph]["sha256"] for ph in PHASES}


def leftovers(s) -> list:
    """Staging folders, folders set aside and partial files anywhere under Themes."""
    root = themes_folder(s)
    return sorted(str(p.relative_to(root)) for p in root.rglob("*")
                  if p.name.endswith(".part") or p.name.endswith(".old") or p.name.startswith("."))


def open_page(s, server):
    s.reg_add(QUILLAR_KEY, "ThemeServer", "REG_SZ", server.base)
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    proc = s.start_resident(env={"KOVRA_LANG": "en", "KOVRA_TEST_LAYOUT": "1", "TZ": TZ_UTC})
    s.wait_log(f"themes: server {server.base} (ThemeServer)", timeout=20, proc=proc)
    s.wait_log("themes catalog: 4 themes", timeout=60, proc=proc)
    s.helper.ok("post KovraMain 0x111 121 0")
    s.wait_log("settings window opened", timeout=15, proc=proc)
    s.helper.wait_for("KovraSettings", timeout=10)
    wait_until(lambda: any(m.startswith("settings window: origin") for m in s.messages()), 90, "the first paint")
    return proc


def tile_picture(s, index):
    """The tile's picture rectangle on the screen (the tile's area holds its title under it)."""
    (ox, oy), areas = layout(s)
    x, y, w, _ = areas[(THEME, index)]
    return ox + x, oy + y, w, round(w * 9 / 16)


def close_to(rgb, want, tolerance=24) -> bool:
    return all(abs(a - b) <= tolerance for a, b in zip(rgb, want))


def bar_share(img, picture) -> float:
    """How much of the tile's progress bar is filled, from the accent-coloured pixels on its middle row."""
    x, y, w, h = picture
    row = y + h - 9
    filled = sum(1 for px in range(x + 10, x + w - 10) if close_to(img.at(px, row), ACCENT))
    return filled / (w - 20)


def test_a_theme_downloads_with_its_progress_and_becomes_the_wallpaper(s):
    # About 3.4 MB in 32 KiB pieces, 200 ms apart: some 20 s to watch.
    with ThemeServer(s, "--delay-ms", 200) as server:
        theme = server.theme("frozen-lake")
        proc = open_page(s, server)
        bring_into_view(s, THEME, 1)
        picture = tile_picture(s, 1)
        mark = len(s.messages())
        click(s, THEME, 1)
        time.sleep(0.5)
        click(s, THEME, 1)  # again while it downloads: still one download

        staging = themes_folder(s) / ".frozen-lake.part"
        wait_until(lambda: (staging / "frozen-lake-day.jpg").exists(), 60, "two pictures in the staging folder")
        assert not (themes_folder(s) / "frozen-lake").exists(), "nothing under the final name while it downloads"
        first = pixels.screenshot_until(s, "downloading", lambda img: bar_share(img, picture) > 0.05, 30)
        early = bar_share(first, picture)
        assert 0.05 < early < 0.95, early
        later = pixels.screenshot_until(s, "downloading-later", lambda img: bar_share(img, picture) > early + 0.15,
                                        40)
        assert bar_share(later, picture) > early + 0.15, (early, bar_share(later, picture))

        s.wait_log("theme frozen-lake downloaded", start=mark, timeout=90, proc=proc)
        s.wait_log("wallpaper choice 1, times 1", start=mark, timeout=20, proc=proc)
        assert digests(themes_folder(s) / "frozen-lake") == expected_digests(theme)
        assert leftovers(s) == []
        for phase in PHASES:
            assert server.requests(f"frozen-lake-{phase}-") == 1, (phase, server.lines)
        wait_until(lambda: re.search(r"\\Quillar\\Wallpapers\\frozen-lake-[a-z-]+\d*\.jpg$", desktop_wallpaper(s)),
                   60, "Control Panel\\Desktop names a frozen-lake picture")

        # Following the time of day: the scheduled tick is registered for this executable.
        exe = winpath(quillar_exe())
        s.wait_log(re.compile(r"^wallpaper task (created|could not be created)$"), start=mark, timeout=30, proc=proc)
        assert "wallpaper task created" in s.messages()[mark:], s.messages()[mark:]
        wait_until(lambda: s.reg_value(QUILLAR_KEY, "WallTaskExe") == ("REG_SZ", exe), 15, "WallTaskExe = the exe")
        assert (s.prefix / "drive_c" / "windows" / "system32" / "tasks" / "Quillar Wallpaper").is_file()

        # "My wallpaper": the task goes.
        mark = len(s.messages())
        bring_into_view(s, THEME, -1)
        click(s, THEME, -1)
        s.wait_log("wallpaper choice -1, times 1", start=mark, timeout=20, proc=proc)
        s.wait_log("wallpaper task removed", start=mark, timeout=30, proc=proc)
        wait_until(lambda: s.reg_value(QUILLAR_KEY, "WallTaskExe") in (("REG_SZ", ""), None), 15,
                   "WallTaskExe emptied")
        assert not (s.prefix / "drive_c" / "windows" / "system32" / "tasks" / "Quillar Wallpaper").exists()
        assert s.quit_resident(proc) == 0


def test_broken_pictures_fail_cleanly_and_a_click_retries(s):
    # The first answer for each of these is spoiled: a changed byte, a
    # connection that breaks off halfway, a picture twice its size.
    # Slow enough that the second click on "Download all" finds every theme still queued.
    with ThemeServer(s, "--corrupt", "frozen-lake-golden-", "--drop", "mountain-village-day-",
                     "--oversize", "aurora-cabin-sunset-", "--delay-ms", 80) as server:
        # An older set of frozen-lake without its night picture (so it is not available).
        older = themes_folder(s) / "frozen-lake"
        older.mkdir(parents=True)
        for phase in PHASES[:-1]:
            (older / f"frozen-lake-{phase}.jpg").write_bytes(f"older {phase}".encode())
        before = digests(older)
        proc = open_page(s, server)

        bring_into_view(s, DOWNLOAD_ALL, 0)
        mark = len(s.messages())
        click(s, DOWNLOAD_ALL, 0)
        time.sleep(0.3)
        click(s, DOWNLOAD_ALL, 0)  # every missing theme is queued once all the same
        for tid in ("frozen-lake", "mountain-village", "aurora-cabin"):
            s.wait_log(f"theme {tid} NOT downloaded", start=mark, timeout=90, proc=proc)
        log = s.messages()[mark:]
        for line in ("theme frozen-lake: golden failed (download or checksum)",
                     "theme mountain-village: day failed (download or checksum)",
                     "theme aurora-cabin: sunset failed (download or checksum)"):
            assert line in log, (line, log)
        assert any(re.fullmatch(r"download http://127\.0\.0\.1:\d+/mountain-village/mountain-village-day-\w+\.jpg: "
                                r"HTTP (200|0), \d+ of \d+ bytes", m) for m in log), log
        assert any(re.fullmatch(r"download http://127\.0\.0\.1:\d+/aurora-cabin/aurora-cabin-sunset-\w+\.jpg: "
                                r"larger than the limit of \d+ bytes", m) for m in log), log
        # Each theme stopped at its first bad picture, and nothing was asked for twice.
        counts = {(tid, ph): server.requests(f"{tid}-{ph}-") for tid in ("frozen-lake", "mountain-village",
                                                                          "aurora-cabin") for ph in PHASES}
        stops = {"frozen-lake": "golden", "mountain-village": "day", "aurora-cabin": "sunset"}
        for (tid, ph), n in counts.items():
            assert n == (1 if PHASES.index(ph) <= PHASES.index(stops[tid]) else 0), (tid, ph, counts)
        assert server.requests("snowy-hills-") == 0, "the built-in theme is not downloaded"
        # The older set is untouched, the others never appeared, nothing is left half-way.
        assert digests(older) == before
        assert not (themes_folder(s) / "mountain-village").exists()
        assert not (themes_folder(s) / "aurora-cabin").exists()
        assert leftovers(s) == []

        # The tiles show the failure and the note under the grid.
        picture = tile_picture(s, 1)
        mark_at = (picture[0] + 18 + 6, picture[1] + picture[3] - 19)  # in the disc, beside its "!"
        img = pixels.screenshot_until(s, "failed", lambda img: close_to(img.at(*mark_at), ERROR), 30)
        assert close_to(img.at(*mark_at), ERROR), img.at(*mark_at)

        # Clicking the theme again retries: now it arrives and replaces the older set.
        mark = len(s.messages())
        click(s, THEME, 1)
        s.wait_log("theme frozen-lake downloaded", start=mark, timeout=90, proc=proc)
        s.wait_log("wallpaper choice 1, times 1", start=mark, timeout=20, proc=proc)
        assert digests(older) == expected_digests(server.theme("frozen-lake"))
        assert leftovers(s) == []
        assert s.quit_resident(proc) == 0


def test_the_tick_applies_once_and_a_start_during_it_ends_up_running(s):
    # The built-in theme, chosen earlier, following the time of day.
    s.reg_add(QUILLAR_KEY, "WallpaperFile", "REG_SZ", "snowy-hills")
    s.reg_add(QUILLAR_KEY, "Wallpaper", "REG_DWORD", 1)
    s.reg_add(QUILLAR_KEY, "WallpaperTimes", "REG_DWORD", 1)
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    s.reg_add(DESKTOP_KEY, "Wallpaper", "REG_SZ", OWN_PICTURE)

    # No program running: the picture of the moment is set and the run ends.
    assert s.run_quillar("--wallpaper-tick", env={"TZ": TZ_UTC}, timeout=60) == 0
    assert re.search(r"\\Quillar\\Wallpapers\\snowy-hills-[a-z-]+\d*\.jpg$", desktop_wallpaper(s)), \
        desktop_wallpaper(s)
    assert not s.log_path.exists(), "the tick run keeps no log of its own"

    # A normal start while a tick run holds the mutex waits for it, then runs.
    assert s.helper.ok(f"mutex {MUTEX_NAME}") == "created"
    proc = s.start_quillar(env={"TZ": TZ_UTC})
    time.sleep(3)
    assert proc.alive(), f"the start gave up while the tick held the mutex: {proc.output()}"
    assert s.helper.find("KovraMain") is None
    s.helper.ok(f"release {MUTEX_NAME}")
    s.helper.wait_for("KovraMain", timeout=40)
    s.wait_log("settings: ", timeout=30, proc=proc)
    s.wait_log(re.compile(r"^wallpaper task (created|could not be created)$"), timeout=30, proc=proc)
    exe = winpath(quillar_exe())
    wait_until(lambda: s.reg_value(QUILLAR_KEY, "WallTaskExe") == ("REG_SZ", exe), 15, "WallTaskExe = the exe")
    # The scheduler read the definition from the UTF-16 file (Wine keeps its
    # description and settings, but drops the trigger and the action, and runs nothing).
    stored = (s.prefix / "drive_c" / "windows" / "system32" / "tasks" / "Quillar Wallpaper").read_bytes()
    text = stored.decode("utf-16") if stored[:2] in (b"\xff\xfe", b"\xfe\xff") else stored.decode("utf-8", "replace")
    assert "<Description>Quillar: the wallpaper follows the time of day</Description>" in text, text[:600]
    assert "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>" in text, text[:600]
    assert not list(Path(s.prefix / "drive_c" / "users").rglob("quillar-wallpaper-task.xml")), "the file is deleted"

    # With the program running a tick changes nothing and ends at once.
    wait_until(lambda: "snowy-hills" in desktop_wallpaper(s), 60, "the resident applied the theme")
    s.reg_add(DESKTOP_KEY, "Wallpaper", "REG_SZ", OWN_PICTURE)
    assert s.run_quillar("--wallpaper-tick", env={"TZ": TZ_UTC}, timeout=20) == 0
    assert desktop_wallpaper(s) == OWN_PICTURE
    assert proc.alive()
    assert s.quit_resident(proc) == 0
