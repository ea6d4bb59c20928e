"""The setup file: installing, reinstalling and updating for the current user."""

from __future__ import annotations

import os
import re
import sys
import time
from pathlib import Path

from harness import MUTEX_NAME, REPO_ROOT, SkipTest, build_dir, quillar_exe, wait_until, winpath

sys.path.insert(0, str(REPO_ROOT / "tools"))
import pack  # noqa: E402

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillar"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
QUILLAR_KEY = r"HKCU\Software\Quillar"
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
WM_CLOSE = 0x0010


def build_version() -> str:
    m = re.search(r"project\(Quillar VERSION (\d+\.\d+\.\d+)", (REPO_ROOT / "CMakeLists.txt").read_text())
    return m.group(1)


def setup_exe() -> Path:
    exe = build_dir() / "Quillar-Setup.exe"
    if not exe.exists():
        raise SkipTest(f"setup file not built: {exe}")
    return exe


def setup_with(s, name: str, package: bytes) -> Path:
    """A copy of the test setup file carrying `package`."""
    room = build_dir() / "quillar-setup-test.exe"
    if not room.exists():
        raise SkipTest(f"test setup file not built: {room}")
    target = s.dir / name
    pack.write_setup(room, target, package)
    return target


def folder(s) -> Path:
    return s.local_appdata() / "Programs" / "Quillar"


def win_folder(s) -> str:
    return "C:\\users\\" + s.users_dir().name + "\\AppData\\Local\\Programs\\Quillar"


def setup_log(s, previous=False) -> list[str]:
    path = s.local_appdata() / "Kovra" / ("quillar-setup-log-previous.txt" if previous else "quillar-setup-log.txt")
    try:
        lines = path.read_bytes().decode("utf-8").split("\r\n")
    except FileNotFoundError:
        return []
    return [s.message(l) for l in lines if l]


def own_desktop(s):
    """Wine links the profile's Desktop to the Linux home folder: give the
    session a Desktop of its own so that no shortcut lands outside the prefix."""
    desktop = s.users_dir() / "Desktop"
    if desktop.is_symlink():
        desktop.unlink()
    desktop.mkdir(exist_ok=True)


def run_setup(s, exe: Path, *args, timeout=90.0) -> int:
    own_desktop(s)
    return s.start_windows([str(exe), *args], label="setup").wait(timeout)


def start_menu_link(s) -> Path:
    return (s.users_dir() / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs" /
            "Quillar.lnk")


def desktop_link(s) -> Path:
    return s.users_dir() / "Desktop" / "Quillar.lnk"


def link_points_at(link: Path, target: str) -> bool:
    data = link.read_bytes().lower()
    t = target.lower()
    return t.encode("utf-16-le") in data or t.encode("ascii") in data


def wait_installed_start(s, mode: str, start_inode=None, timeout=60.0):
    """Waits for the installed copy's own log to greet the installer's start."""
    def started():
        try:
            if start_inode is not None and os.stat(s.log_path).st_ino == start_inode:
                return False
        except FileNotFoundError:
            return False
        return f"started by the installer ({mode})" in s.messages()
    wait_until(started, timeout, f"installed copy started with mode {mode}")
    msgs = s.messages()
    exe_line = next(m for m in msgs if m.startswith("Windows ") and "; exe " in m)
    assert exe_line.split("; exe ", 1)[1].lower() == (win_folder(s) + "\\Quillar.exe").lower(), exe_line
    return msgs


def quit_installed(s):
    """Closes the installed copy and waits until its process is gone: the
    window goes first, the mutex only at the very end of the run."""
    s.helper.ok(f"post KovraMain {WM_CLOSE:#x} 0 0")
    s.helper.wait_for("KovraMain", timeout=20, present=False)

    def mutex_free():
        if s.helper.ok(f"mutex {MUTEX_NAME}") == "created":
            s.helper.ok(f"release {MUTEX_NAME}")
            return True
        s.helper.ok(f"release {MUTEX_NAME}")
        return False
    wait_until(mutex_free, 30, "the installed copy ended", interval=0.3)


def first_install(s):
    assert run_setup(s, setup_exe()) == 0, setup_log(s)
    wait_installed_start(s, "install")
    s.helper.wait_for("KovraMain", timeout=30)


def shown_box(s, timeout=60):
    """The message box once it shows: it is found as soon as it exists, before
    its title and visibility are set."""
    return wait_until(lambda: (lambda b: b if b and b["visible"] and b["title"] else None)(s.helper.info("#32770")),
                      timeout, "the message box shows")


def test_setup_installs_for_the_current_user(s):
    exe = setup_exe()
    entries = pack.parse(pack.read_package(exe))
    assert entries and entries[0][0] == "Quillar.exe"
    assert entries[0][1] == quillar_exe().read_bytes(), "the package carries another program than the build's"
    # The catalogue, a thumbnail of each of its themes and the first theme's six pictures.
    import json
    names = {n for n, _ in entries}
    catalog = json.loads(dict(entries)["Wallpapers/themes.json"])
    first = catalog["themes"][0]["id"]
    wanted = {"Wallpapers/themes.json"} | {f"Wallpapers/thumbs/{t['id']}.jpg" for t in catalog["themes"]} | {
        f"Wallpapers/times/{first}-{phase}.jpg" for phase in ("dawn", "day", "golden", "sunset", "blue", "night")}
    assert len(catalog["themes"]) >= 4 and names == wanted | {"Quillar.exe"}, sorted(names ^ wanted)

    # The screensaver was set to a copy elsewhere (one run from a download
    # folder, say): it is pointed at the installed copy.
    old_saver = "C:\\Old Place\\Quillar.scr"
    s.reg_add(r"HKCU\Control Panel\Desktop", "SCRNSAVE.EXE", "REG_SZ", old_saver)

    assert run_setup(s, exe) == 0, setup_log(s)

    log = setup_log(s)
    assert log[0] == f"Quillar setup {build_version()} → {win_folder(s)} (first install)", log
    saver = s.reg_value(r"HKCU\Control Panel\Desktop", "SCRNSAVE.EXE")[1]
    # Every part of the installed path is a valid short name here, so the
    # short path stored is the long one.
    assert saver.lower() == (win_folder(s) + "\\Quillar.scr").lower(), saver
    assert f"install: the screensaver now uses {saver}" in log, log
    assert f"install: {len(entries)} files written, 0 pictures already there" in log, log
    root = folder(s)
    for name, data in entries:
        path = root / name
        assert path.is_file() and path.read_bytes() == data, name
    assert (root / "Quillar.scr").read_bytes() == entries[0][1]

    installed = win_folder(s) + "\\Quillar.exe"
    for link in (start_menu_link(s), desktop_link(s)):
        assert link.is_file(), link
        assert link_points_at(link, installed), link

    values = s.reg_query(UNINSTALL_KEY)
    assert values is not None, "no uninstall entry"
    expect_sz = {
        "DisplayName": "Quillar", "DisplayVersion": build_version(), "Publisher": "Quillar",
        "DisplayIcon": installed + ",0", "InstallLocation": win_folder(s),
        "UninstallString": f'"{installed}" /uninstall',
    }
    for name, data in expect_sz.items():
        assert values.get(name) == ("REG_SZ", data), (name, values.get(name))
    assert values["URLInfoAbout"][0] == "REG_SZ" and values["URLInfoAbout"][1].startswith("https://")
    assert values.get("NoModify") == ("REG_DWORD", 1) and values.get("NoRepair") == ("REG_DWORD", 1), values
    assert values.get("EstimatedSize") == ("REG_DWORD", sum(len(d) // 1024 for _, d in entries)), values
    assert s.reg_value(RUN_KEY, "Kovra") == ("REG_SZ", f'"{installed}"')
    assert s.reg_value(QUILLAR_KEY, "AppDir") == ("REG_SZ", win_folder(s))

    # The installed copy, not the setup file, is what runs now, and it opens the guide.
    wait_installed_start(s, "install")
    s.helper.wait_for("KovraSettings", timeout=30)
    main = s.helper.info("KovraMain")
    assert main and main["pid"] != 0


def test_second_setup_reinstalls_over_the_running_copy(s):
    first_install(s)
    exe_bytes = (folder(s) / "Quillar.exe").read_bytes()
    wallpapers = [n for n, _ in pack.parse(pack.read_package(setup_exe())) if n.startswith("Wallpapers/")]
    stale = folder(s) / "Wallpapers" / "thumbs" / "retired-theme.jpg"
    stale.parent.mkdir(parents=True, exist_ok=True)
    stale.write_bytes(b"\xff\xd8old")
    # A second process keeps the installed executable mapped, as a running
    # screensaver copy would: the file cannot be replaced in place.
    s.helper.ok(f"map {win_folder(s)}\\Quillar.exe")
    old_log = os.stat(s.log_path).st_ino

    assert run_setup(s, setup_exe()) == 0, setup_log(s)

    log = setup_log(s)
    assert log[0].endswith("(reinstall)"), log
    assert f"install: 1 files written, {len(wallpapers)} pictures already there" in log, log
    assert "install: 1 old pictures removed" in log, log
    assert not stale.exists()
    assert (folder(s) / "Quillar.exe").read_bytes() == exe_bytes
    assert not (folder(s) / "Quillar.exe.new").exists()
    # The copy in use was moved aside, to go at the next reboot.
    assert (folder(s) / "Quillar.exe.old").read_bytes() == exe_bytes
    # The first run's setup log stays beside the new one.
    assert setup_log(s, previous=True)[0].endswith("(first install)")
    msgs = wait_installed_start(s, "install", start_inode=old_log)
    assert s.helper.count("KovraMain") == 1
    # The earlier copy was asked to quit and did, or (a slow machine keeps it
    # drawing its window for seconds) was ended after 8 s.
    ended = "install: the running Quillar did not quit in 8 s — ending it" in log
    assert ended or "quit" in s.messages(previous=True), s.messages(previous=True)[-5:]
    assert msgs


def test_update_keeps_what_the_user_removed(s):
    first_install(s)
    quit_installed(s)
    r = s.wine("reg", "delete", RUN_KEY, "/v", "Kovra", "/f")
    assert r.returncode == 0
    desktop_link(s).unlink()
    old_log = os.stat(s.log_path).st_ino

    assert run_setup(s, setup_exe(), "/update") == 0, setup_log(s)

    log = setup_log(s)
    assert log[0].endswith("(update)"), log
    assert s.reg_value(RUN_KEY, "Kovra") is None, "the update brought the autostart back"
    assert not desktop_link(s).exists(), "the update brought the Desktop shortcut back"
    assert start_menu_link(s).is_file()
    wait_installed_start(s, "update", start_inode=old_log)


def test_older_setup_only_starts_the_newer_installed_program(s):
    first_install(s)
    quit_installed(s)
    parts = build_version().split(".")
    newer = ".".join(parts[:-1] + [str(int(parts[-1]) + 1)])
    s.reg_add(UNINSTALL_KEY, "DisplayVersion", "REG_SZ", newer)
    installed = folder(s) / "Quillar.exe"
    os.utime(installed, (1_000_000_000, 1_000_000_000))
    setup_log_before = setup_log(s)
    old_log = os.stat(s.log_path).st_ino

    assert run_setup(s, setup_exe()) == 0

    # The installed program runs again, started plainly, and nothing was written.
    def restarted():
        try:
            return os.stat(s.log_path).st_ino != old_log and any(m.startswith("settings: ") for m in s.messages())
        except FileNotFoundError:
            return False
    wait_until(restarted, 60, "installed program started")
    msgs = s.messages()
    exe_line = next(m for m in msgs if m.startswith("Windows ") and "; exe " in m)
    assert exe_line.lower().endswith((win_folder(s) + "\\Quillar.exe").lower()), exe_line
    assert not any("started by the installer" in m for m in msgs), msgs
    assert os.stat(installed).st_mtime == 1_000_000_000
    assert setup_log(s) == setup_log_before, "the setup wrote a new log"
    assert s.reg_value(UNINSTALL_KEY, "DisplayVersion") == ("REG_SZ", newer)


def test_cut_short_package_installs_the_entries_before_it(s):
    program = quillar_exe().read_bytes()
    themes = b'{"themes": []}'
    thumb = b"\xff\xd8\xff" + bytes(2000)
    package = (pack.MAGIC + pack.entry("Quillar.exe", program) + pack.entry("Wallpapers/themes.json", themes) +
               pack.entry("Wallpapers/thumbs/a.jpg", thumb) +
               pack.entry("Wallpapers/thumbs/b.jpg", b"\xff\xd8\xff", claimed_size=5000))
    exe = setup_with(s, "cut-short.exe", package)

    assert run_setup(s, exe) == 0, setup_log(s)

    assert "install: 3 files written, 0 pictures already there" in setup_log(s), setup_log(s)
    root = folder(s)
    assert (root / "Quillar.exe").read_bytes() == program
    assert (root / "Wallpapers" / "themes.json").read_bytes() == themes
    assert (root / "Wallpapers" / "thumbs" / "a.jpg").read_bytes() == thumb
    assert not (root / "Wallpapers" / "thumbs" / "b.jpg").exists()
    size = s.reg_value(UNINSTALL_KEY, "EstimatedSize")
    assert size == ("REG_DWORD", len(program) // 1024 + len(thumb) // 1024), size
    wait_installed_start(s, "install")


def test_package_naming_a_path_outside_is_refused(s):
    program = quillar_exe().read_bytes()
    package = pack.package([("Quillar.exe", program), ("Wallpapers/themes.json", b"{}"),
                            ("Wallpapers/../../../Roaming/planted.txt", b"not here")])
    exe = setup_with(s, "hostile.exe", package)

    own_desktop(s)
    proc = s.start_windows([str(exe)], label="setup")
    box = shown_box(s)
    assert box["title"] == "Quillar", box
    texts = s.helper.ok("texts #32770")
    assert "The setup file is damaged. Please download Quillar again." in texts, texts
    s.helper.ok(f"post #32770 {WM_CLOSE:#x} 0 0")
    assert proc.wait(30) == 1

    assert not folder(s).exists(), list(folder(s).rglob("*"))
    assert not (s.users_dir() / "AppData" / "Roaming" / "planted.txt").exists()
    assert s.reg_query(UNINSTALL_KEY) is None
    assert s.reg_value(RUN_KEY, "Kovra") is None
    assert s.reg_value(QUILLAR_KEY, "AppDir") is None
    assert not start_menu_link(s).exists()
    assert s.read_log_bytes() is None, "a program was started"


def test_unwritable_file_stops_with_a_box(s):
    program = quillar_exe().read_bytes()
    exe = setup_with(s, "blocked.exe", pack.package([("Quillar.exe", program), ("Wallpapers/themes.json", b"{}")]))
    # A file where the wallpapers folder belongs: nothing can be written below it.
    folder(s).mkdir(parents=True)
    (folder(s) / "Wallpapers").write_bytes(b"in the way")

    own_desktop(s)
    proc = s.start_windows([str(exe)], label="setup")
    shown_box(s)
    target = win_folder(s) + "\\Wallpapers\\themes.json"
    texts = s.helper.ok("texts #32770")
    assert f"Could not write the file {target}. Close Quillar and try again." in texts, texts
    s.helper.ok(f"post #32770 {WM_CLOSE:#x} 0 0")
    assert proc.wait(30) == 1

    assert any(re.fullmatch(re.escape(f"install: cannot write {target} (") + r"\d+\)", m) for m in setup_log(s)), \
        setup_log(s)
    # What was written before the failure stays; nothing after it happened.
    assert (folder(s) / "Quillar.exe").read_bytes() == program
    assert not (folder(s) / "Quillar.scr").exists()
    assert s.reg_query(UNINSTALL_KEY) is None
    assert not start_menu_link(s).exists()
    assert s.read_log_bytes() is None, "a program was started"


# ----------------------------------------------------------------- removal

OWN_PICTURE = "C:\\own-wallpaper.jpg"


def make_ours(s, saver: str):
    """What a user of the program has: our wallpaper over their own picture,
    downloaded pictures, a screensaver setting and the wallpaper task."""
    (s.prefix / "drive_c" / "own-wallpaper.jpg").write_bytes(b"\xff\xd8\xff own")
    data = s.local_appdata() / "Quillar"
    (data / "Wallpapers").mkdir(parents=True, exist_ok=True)
    (data / "Wallpapers" / "snowy-day.jpg").write_bytes(b"\xff\xd8\xff ours")
    (data / "original-wallpapers.txt").write_bytes(f"*\t{OWN_PICTURE}\n".encode())
    ours = "C:\\users\\" + s.users_dir().name + "\\AppData\\Local\\Quillar\\Wallpapers\\snowy-day.jpg"
    s.reg_add(DESKTOP_KEY, "Wallpaper", "REG_SZ", ours)
    s.reg_add(DESKTOP_KEY, "SCRNSAVE.EXE", "REG_SZ", saver)
    s.reg_add(DESKTOP_KEY, "ScreenSaveActive", "REG_SZ", "1")
    s.reg_add(QUILLAR_KEY, "WallTaskExe", "REG_SZ", win_folder(s) + "\\Quillar.exe")


def test_uninstall_removes_the_program_and_gives_back_what_was_the_users(s):
    # (which copy runs the removal, the screensaver setting, whether it is ours)
    cases = [("installed", "{folder}\\Quillar.scr", True), ("elsewhere", "C:\\windows\\system32\\other.scr", False)]
    for where, saver, ours in cases:
        first_install(s)
        make_ours(s, saver.format(folder=win_folder(s)))
        exe = folder(s) / "Quillar.exe" if where == "installed" else quillar_exe()
        assert s.start_windows([str(exe), "/uninstall", "/quiet"], label="uninstall").wait(60) == 0, setup_log(s)

        log = setup_log(s)
        assert f"uninstall from {win_folder(s)}" in log, log
        assert log[-1] == "uninstalled", log
        # The running copy was closed first.
        s.helper.wait_for("KovraMain", timeout=20, present=False)
        wait_until(lambda: not folder(s).exists(), 30, f"the installation folder removed ({where})")
        assert not start_menu_link(s).exists() and not desktop_link(s).exists()
        assert s.reg_query(UNINSTALL_KEY) is None
        assert s.reg_value(RUN_KEY, "Kovra") is None
        assert not (s.local_appdata() / "Quillar" / "Wallpapers").exists()
        assert s.reg_value(DESKTOP_KEY, "Wallpaper") == ("REG_SZ", OWN_PICTURE)
        assert s.reg_value(QUILLAR_KEY, "WallpaperFile") == ("REG_SZ", "none")
        assert s.reg_value(QUILLAR_KEY, "WallTaskExe") == ("REG_SZ", "")
        assert "wallpaper task was not there" in log or "wallpaper task removed" in log, log
        if ours:
            assert s.reg_value(DESKTOP_KEY, "SCRNSAVE.EXE") is None
            assert s.reg_value(DESKTOP_KEY, "ScreenSaveActive") == ("REG_SZ", "0")
        else:
            assert s.reg_value(DESKTOP_KEY, "SCRNSAVE.EXE") == ("REG_SZ", saver)
            assert s.reg_value(DESKTOP_KEY, "ScreenSaveActive") == ("REG_SZ", "1")
        # The user's choices stay for a later installation.
        assert s.reg_value(QUILLAR_KEY, "AppDir") == ("REG_SZ", win_folder(s))
        assert s.reg_query(r"HKCU\Software\Kovra") is not None


def test_cancelling_the_uninstall_question_leaves_everything(s):
    first_install(s)
    quit_installed(s)
    exe = folder(s) / "Quillar.exe"
    proc = s.start_windows([str(exe), "/uninstall"], env={"KOVRA_LANG": "en"}, label="uninstall")
    box = shown_box(s)
    assert box["title"] == "Quillar", box
    texts = s.helper.ok("texts #32770")
    assert ("Remove Quillar from this computer? The snow goes away and your own wallpaper and screensaver "
            "come back.") in texts, texts
    s.helper.ok(f"post #32770 {WM_CLOSE:#x} 0 0")
    assert proc.wait(30) == 0
    time.sleep(3)  # the time a delayed removal would take
    assert (folder(s) / "Quillar.exe").is_file()
    assert start_menu_link(s).is_file() and desktop_link(s).is_file()
    assert s.reg_value(UNINSTALL_KEY, "DisplayVersion") == ("REG_SZ", build_version())
    assert s.reg_value(RUN_KEY, "Kovra") is not None
    assert setup_log(s)[-1] == "uninstall: cancelled", setup_log(s)
