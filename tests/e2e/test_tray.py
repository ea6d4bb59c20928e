"""The tray icon, its tooltip, balloons and menu, the hotkey and the main window's
system messages, against the real quillar.exe.

Wine shows the icon in its "Wine System Tray" window at the top left. What the
helper cannot do from outside (read the text of another program's tooltip or
message box, remove another program's tray icon, broadcast a registered
message as Explorer does) a tiny probe program does; it is built here from the
source below with the mingw-w64 compiler that builds the product.
"""

from __future__ import annotations

import atexit
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import harness
import pixels
from harness import SkipTest, wait_until

KOVRA_KEY = r"HKCU\Software\Kovra"
TRAY_CLASS = "__winex11_standalone_tray"
WM_DISPLAYCHANGE, WM_SETTINGCHANGE = 0x007E, 0x001A
WM_POWERBROADCAST, WM_WTSSESSION_CHANGE = 0x0218, 0x02B1
PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC = 0x4, 0x12
WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 7, 8
SPI_SETWORKAREA = 47
VK_RETURN, VK_CONTROL, VK_MENU, VK_DOWN, VK_D = 0x0D, 0x11, 0x12, 0x28, 0x44

# Tooltips as each UI language says them: snowing, paused.
TOOLTIPS = {
    "uk": ("Quillar — йде сніг", "Quillar — пауза"),
    "en": ("Quillar — it's snowing", "Quillar — paused"),
    "de": ("Quillar — es schneit", "Quillar — pausiert"),
    "pl": ("Quillar — pada śnieg", "Quillar — wstrzymany"),
    "es": ("Quillar — está nevando", "Quillar — en pausa"),
    "fr": ("Quillar — il neige", "Quillar — en pause"),
    "it": ("Quillar — sta nevicando", "Quillar — in pausa"),
}

# The tray menu's lines top to bottom while it snows and no update is offered
# (separators left out); keys land on the commands only.
MENU_LINES = ["title", "status", 100, 101, 102, 103, 124, 126, 121, 128, 119, 120]

PROBE_SOURCE = r"""
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

static void put(const char* tag, const wchar_t* w) {
  char buf[4096];
  if (WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof buf, NULL, NULL) <= 0) buf[0] = 0;
  for (char* p = buf; *p; ++p) if (*p == '\r' || *p == '\n') *p = '|';
  printf("%s %s\n", tag, buf);
}

static void textOf(const char* tag, HWND h) {
  wchar_t text[2048] = {0};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, 2048, (LPARAM)text, SMTO_ABORTIFHUNG, 3000, &got);
  put(tag, text);
}

static const wchar_t* gClass;

static BOOL CALLBACK child(HWND h, LPARAM lp) { textOf("child", h); return TRUE; }

static BOOL CALLBACK top(HWND h, LPARAM withChildren) {
  wchar_t cls[256];
  if (!GetClassNameW(h, cls, 256) || wcscmp(cls, gClass) != 0 || !IsWindowVisible(h)) return TRUE;
  textOf("window", h);
  if (withChildren) EnumChildWindows(h, child, 0);
  return TRUE;
}

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && !wcscmp(argv[1], L"broadcast")) {
    UINT id = RegisterWindowMessageW(argv[2]);
    DWORD_PTR r;
    if (!id) { printf("err register %lu\n", GetLastError()); return 1; }
    SendMessageTimeoutW(HWND_BROADCAST, id, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
    printf("ok %u\n", id);
    return 0;
  }
  if (argc >= 4 && !wcscmp(argv[1], L"traydelete")) {
    NOTIFYICONDATAW nid = {0};
    nid.cbSize = sizeof nid;
    nid.hWnd = FindWindowW(argv[2], NULL);
    nid.uID = (UINT)_wtoi(argv[3]);
    if (!nid.hWnd) { printf("err notfound\n"); return 1; }
    printf(Shell_NotifyIconW(NIM_DELETE, &nid) ? "ok\n" : "err delete\n");
    return 0;
  }
  if (argc >= 3 && (!wcscmp(argv[1], L"texts") || !wcscmp(argv[1], L"deeptexts"))) {
    gClass = argv[2];
    EnumWindows(top, !wcscmp(argv[1], L"deeptexts"));
    printf("end\n");
    return 0;
  }
  if (argc >= 2 && !wcscmp(argv[1], L"clipboard")) {
    if (!OpenClipboard(NULL)) { printf("err open\n"); return 1; }
    HANDLE h = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* w = h ? (const wchar_t*)GlobalLock(h) : NULL;
    put("text", w ? w : L"");
    if (w) GlobalUnlock(h);
    CloseClipboard();
    return 0;
  }
  printf("err usage\n");
  return 2;
}
"""

_probe_dir: Path | None = None


def _probe_exe() -> Path:
    """Builds the probe once per run."""
    global _probe_dir
    if _probe_dir is not None and (_probe_dir / "probe.exe").exists():
        return _probe_dir / "probe.exe"
    cc = shutil.which("x86_64-w64-mingw32-gcc-posix") or shutil.which("x86_64-w64-mingw32-gcc")
    if not cc:
        raise SkipTest("no mingw-w64 C compiler for the tray probe")
    _probe_dir = Path(tempfile.mkdtemp(prefix="quillar-tray-probe-"))
    atexit.register(shutil.rmtree, _probe_dir, True)
    src = _probe_dir / "probe.c"
    src.write_text(PROBE_SOURCE)
    r = subprocess.run([cc, "-municode", "-O1", "-o", str(_probe_dir / "probe.exe"), str(src), "-lshell32",
                        "-luser32"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if r.returncode != 0:
        raise harness.HarnessError(f"building the tray probe failed: {r.stdout.decode(errors='replace')}")
    return _probe_dir / "probe.exe"


def probe(s, *args) -> list[str]:
    r = s.wine(str(_probe_exe()), *args, timeout=60)
    return r.stdout.decode("utf-8", errors="replace").splitlines()


def window_texts(s, cls: str, deep=False) -> list[str]:
    """Texts of the visible top-level windows of a class (and, deep, of their children)."""
    lines = probe(s, "deeptexts" if deep else "texts", cls)
    return [l.split(" ", 1)[1] if " " in l else "" for l in lines if l.startswith(("window", "child"))]


# ---------------------------------------------------------------- helpers

def start(s, lang: str, guide_seen=True, args=(), extra_env=None):
    if guide_seen:
        s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    env = {"KOVRA_LANG": lang}
    env.update(extra_env or {})
    proc = s.start_resident(*args, env=env)
    assert f"language {lang} " in s.messages()[0], s.messages()[0]
    return proc


def tray_icon_point(s):
    """Where our icon sits: the first place of the Wine tray, once it shows."""
    info = wait_until(lambda: (lambda i: i if i and i["visible"] else None)(s.helper.info(TRAY_CLASS)),
                      15, "the Wine tray shows an icon")
    left, top, right, bottom = info["rect"]
    return left + 12, bottom - 12


def tray_visible(s) -> bool:
    info = s.helper.info(TRAY_CLASS)
    return bool(info and info["visible"])


def hover_tooltip(s, expected: str, timeout=12.0) -> list[str]:
    """Moves the mouse onto the icon until its tooltip shows; returns the tooltip texts seen."""
    x, y = tray_icon_point(s)
    seen: list[str] = []
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        s.helper.ok("mouse 700 500")
        s.helper.ok("sleep 100")
        s.helper.ok(f"mouse {x} {y}")
        s.helper.ok("sleep 100")
        s.helper.ok(f"mouse {x + 1} {y + 1}")
        for _ in range(6):
            s.helper.ok("sleep 250")
            seen = window_texts(s, "tooltips_class32")
            if expected in seen:
                return seen
    return seen


def press_hotkey(s):
    for vk, how in ((VK_CONTROL, "down"), (VK_MENU, "down"), (VK_D, "down"), (VK_D, "up"), (VK_MENU, "up"),
                    (VK_CONTROL, "up")):
        s.helper.ok(f"key {vk:#x} {how}")


def open_menu(s):
    # Within 300 ms of a menu's closing a click on the icon opens none.
    s.helper.ok("sleep 400")
    x, y = tray_icon_point(s)
    s.helper.ok(f"mouse {x} {y} rclick")
    menu = s.helper.wait_for("QuillarMenu", timeout=10)
    wait_until(lambda: (s.helper.info("QuillarMenu") or {}).get("visible"), 10, "the drawn menu shows")
    # Without a window manager the keyboard follows the pointer: it comes to
    # rest on the drawn menu's title line, which is no item.
    left, top, _, _ = s.helper.info("QuillarMenu")["rect"]
    s.helper.ok("sleep 300")
    s.helper.ok(f"mouse {left + 200} {top + 60}")
    s.helper.ok("sleep 100")
    s.helper.ok(f"mouse {left + 200} {top + 44}")
    s.helper.ok("sleep 400")
    return menu


def choose(s, command: int, lines=MENU_LINES):
    """Opens the tray menu and picks the line of that command with the keyboard
    (the keys skip the title and the status line)."""
    open_menu(s)
    items = [line for line in lines if isinstance(line, int)]
    for _ in range(items.index(command) + 1):
        s.helper.ok(f"key {VK_DOWN:#x}")
    s.helper.ok(f"key {VK_RETURN:#x}")
    s.helper.wait_for("QuillarMenu", timeout=10, present=False)


def log_count(s) -> int:
    return len(s.messages())


def unix_path(s, windows_path: str) -> Path:
    """A C: path of the prefix as a path here."""
    drive, _, rest = windows_path.partition(":")
    assert drive.upper() == "C", windows_path
    return s.prefix / "drive_c" / Path(*[p for p in rest.split("\\") if p])


def below_tray(img) -> bytes:
    """The screen's pixels below the Wine tray (which repaints on its own)."""
    return img.rgb[120 * img.width * 3:]


def overlay_visible(s) -> bool:
    info = s.helper.info("KovraSnow")
    return bool(info and info["visible"])


def flakes(s, label: str, region) -> int:
    return len(pixels.bright_blobs(pixels.load(s.screenshot(label)), region=region))


def icon_centre(s, label: str):
    """The flake's middle as a screenshot of the tray shows it (the mean colour of
    its four centre pixels) and whether a dark blue rim surrounds it."""
    x, y = tray_icon_point(s)
    # Wine does not repaint what a layered window above uncovers (hidden,
    # moved or cut down to the part with snow); a tray icon that is set again
    # repaints itself, so it is set again until a picture shows it.
    for _ in range(3):
        mark = log_count(s)
        assert probe(s, "broadcast", "TaskbarCreated")[0].startswith("ok ")
        s.wait_log("taskbar re-created (Explorer restarted)", start=mark, timeout=10)
        s.helper.ok("sleep 300")
        img = pixels.load(s.screenshot(label))
        rim = [(px, py) for py in range(y - 12, y + 12) for px in range(max(0, x - 12), x + 12)
               if (lambda r, g, b: b > r + 25 and r < 150)(*img.at(px, py))]
        if rim:
            break
        s.helper.ok("sleep 700")
    assert rim, "no dark blue rim in the tray"
    cx = (min(p[0] for p in rim) + max(p[0] for p in rim)) // 2
    cy = (min(p[1] for p in rim) + max(p[1] for p in rim)) // 2
    centre = [img.at(px, py) for px in (cx, cx + 1) for py in (cy, cy + 1)]
    return tuple(sum(c[i] for c in centre) // 4 for i in range(3))


# ------------------------------------------------------------------ tests

def test_icon_tooltip_and_menu_pause_in_every_language(s):
    for i, (lang, (snowing, paused)) in enumerate(TOOLTIPS.items()):
        proc = start(s, lang)
        seen = hover_tooltip(s, snowing)
        assert snowing in seen, f"{lang}: tooltip {seen!r}, expected {snowing!r}"

        # The menu's pause line in the first language; the same command sent
        # straight to the window in the others, whose texts are what differs.
        pause = (lambda: choose(s, 100)) if i == 0 else (lambda: s.helper.ok(f"post KovraMain {0x111:#x} 100 0"))
        mark = log_count(s)
        pause()
        s.wait_log("paused 1", start=mark, proc=proc)
        seen = hover_tooltip(s, paused)
        assert paused in seen, f"{lang}: paused tooltip {seen!r}, expected {paused!r}"
        assert s.reg_value(KOVRA_KEY, "Paused") == ("REG_DWORD", 1)

        mark = log_count(s)
        pause()
        s.wait_log("paused 0", start=mark, proc=proc)
        if i == 0:
            assert snowing in hover_tooltip(s, snowing), lang

        assert s.quit_resident(proc) == 0
        # The icon goes with the program: the Wine tray hides when it is empty.
        wait_until(lambda: not tray_visible(s), 10, f"{lang}: the tray empties after quitting")


def test_left_click_opens_the_settings_window_entry(s):
    proc = start(s, "en")
    x, y = tray_icon_point(s)
    mark = log_count(s)
    s.helper.ok(f"mouse {x} {y} click")
    s.wait_log("settings window opened (dpi 96)", start=mark, timeout=10, proc=proc)
    assert s.helper.find("QuillarMenu") is None, "a left click opened the menu"
    # Another window comes in front; the second start asks for the same
    # window, which comes to the front again, and no second window appears.
    s.helper.wait_for("KovraSettings", timeout=10)
    s.helper.ok("open 1 100 100 900 700 caption")
    s.helper.ok("raise 1")
    wait_until(lambda: s.helper.ok("foreground") == "1", 10, "the test window in front")
    assert s.run_quillar(timeout=20) == 0
    s.wait_log("second start: settings window requested", start=mark, timeout=10, proc=proc)
    wait_until(lambda: s.helper.ok("foreground") == "0", 10, "the settings window in front again")
    assert s.helper.count("KovraSettings") == 1


def test_first_run_balloon_in_the_ui_language(s):
    proc = start(s, "uk", guide_seen=False)
    text = "Меню — у сніжинці біля годинника (натисніть ^, якщо її не видно). Сховати сніг: Ctrl+Alt+D."
    seen = wait_until(lambda: (lambda t: t if text in t else None)(window_texts(s, "tooltips_class32")), 15,
                      "the first-run balloon shows")
    assert text in seen
    msgs = s.messages()
    assert any(m.startswith("settings window opened (dpi ") for m in msgs), msgs
    s.screenshot("first-run-balloon")
    assert proc.alive()


def test_updated_start_shows_its_balloon_and_removes_setup_files(s):
    temp = unix_path(s, s.reg_value(r"HKCU\Environment", "TEMP")[1])
    temp.mkdir(parents=True, exist_ok=True)
    leftovers = [temp / "Quillar-Setup-0.9.19.exe", temp / "Quillar-Setup-0.9.20.exe"]
    keep = temp / "Quillar-Notes.exe"
    for f in leftovers + [keep]:
        f.write_bytes(b"MZ")

    proc = start(s, "de", guide_seen=False, args=("/updated",))
    s.wait_log("started by the installer (update)", timeout=10, proc=proc)
    wanted = "Sie haben jetzt Version 0.9.20."
    seen = wait_until(lambda: (lambda t: t if wanted in t else None)(window_texts(s, "tooltips_class32")), 15,
                      "the update balloon shows")
    # It replaced the first-run balloon, which is therefore never seen.
    assert not any("Schneeflocke" in t for t in seen), seen
    wait_until(lambda: not any(f.exists() for f in leftovers), 10, "setup leftovers removed")
    assert keep.exists(), "a file that is no setup leftover was removed"


def test_hotkey_fades_out_pauses_and_resumes_with_empty_screens(s):
    proc = start(s, "de")
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    time.sleep(9.0)  # the first flakes have fallen half the screen
    band = (0, 200, 1920, 500)
    before = flakes(s, "hotkey-before", band)
    assert before >= 30, f"only {before} flakes in the band before the pause"
    # The normal icon: a white flake with a dark blue rim.
    r, g, b = icon_centre(s, "hotkey-normal-icon")
    assert min(r, g, b) >= 240, f"the flake's middle is {(r, g, b)} while it snows"

    mark = log_count(s)
    t0 = time.monotonic()
    press_hotkey(s)
    s.wait_log("paused 1", start=mark, timeout=10, proc=proc)
    assert overlay_visible(s), "the overlay vanished at once instead of fading out"
    wait_until(lambda: not overlay_visible(s), 5, "the overlay hidden after its fade-out", interval=0.02)
    took = time.monotonic() - t0
    assert 0.3 <= took <= 4.0, f"hidden {took:.2f} s after the hotkey"
    assert s.reg_value(KOVRA_KEY, "Paused") == ("REG_DWORD", 1)

    seen = hover_tooltip(s, "Quillar — pausiert")
    assert "Quillar — pausiert" in seen, seen
    # The paused icon: a dimmer grey-blue flake.
    r, g, b = icon_centre(s, "hotkey-paused-icon")
    assert 185 <= r <= 225 and b >= r + 6, f"the flake's middle is {(r, g, b)} while paused"

    mark = log_count(s)
    press_hotkey(s)
    s.wait_log("paused 0", start=mark, timeout=10, proc=proc)
    wait_until(lambda: overlay_visible(s), 5, "the overlay shown again", interval=0.02)
    after = flakes(s, "hotkey-resumed", band)
    # The snow starts afresh above the top edge: nothing has fallen that far yet.
    assert after <= max(3, before // 10), f"{after} flakes in the band right after resuming ({before} before)"
    seen = hover_tooltip(s, "Quillar — es schneit")
    assert "Quillar — es schneit" in seen, seen
    assert proc.alive()


def test_session_lock_stops_frames_and_unlock_resumes(s):
    proc = start(s, "en")
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    time.sleep(4.0)
    region = (0, 0, 1920, 400)
    mark = log_count(s)
    s.helper.ok(f"post KovraMain {WM_WTSSESSION_CHANGE:#x} {WTS_SESSION_LOCK} 0")
    s.wait_log("session locked", start=mark, timeout=10, proc=proc)
    s.helper.ok("sleep 300")
    first = pixels.load(s.screenshot("locked-1"))
    s.helper.ok("sleep 1000")
    second = pixels.load(s.screenshot("locked-2"))
    assert below_tray(first) == below_tray(second), "frames went on while the session was locked"
    assert len(pixels.bright_blobs(first, region=region)) > 10, "the snow vanished on lock"

    s.helper.ok(f"post KovraMain {WM_WTSSESSION_CHANGE:#x} {WTS_SESSION_UNLOCK} 0")
    s.wait_log("session unlocked", start=mark, timeout=10, proc=proc)
    s.helper.ok("sleep 500")
    third = pixels.load(s.screenshot("unlocked"))
    assert below_tray(third) != below_tray(second), "no frames after the unlock"
    # Other session changes (here a remote connect, 3) are not the shell's business.
    mark = log_count(s)
    s.helper.ok(f"post KovraMain {WM_WTSSESSION_CHANGE:#x} 3 0")
    s.helper.ok("sleep 500")
    assert not any("session" in m for m in s.messages()[mark:]), s.messages()[mark:]
    assert proc.alive()


def seconds_until_rebuild(s, t0: float, timeout=5.0) -> float:
    """The rebuild starts by tearing the overlay down: the time from t0 until it hides."""
    wait_until(lambda: not overlay_visible(s), timeout, "the overlay torn down for a rebuild", interval=0.02)
    return time.monotonic() - t0


def test_resume_from_sleep_and_display_changes_rebuild_the_overlays(s):
    proc = start(s, "en")
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    first_overlay = s.helper.find("KovraSnow")

    # Suspending is not acted on; the system's reply must still be TRUE.
    mark = log_count(s)
    assert s.helper.ok(f"send KovraMain {WM_POWERBROADCAST:#x} {PBT_APMSUSPEND} 0") == "1"
    t0 = time.monotonic()
    assert s.helper.ok(f"send KovraMain {WM_POWERBROADCAST:#x} {PBT_APMRESUMEAUTOMATIC} 0") == "1"
    delay = seconds_until_rebuild(s, t0)
    assert 0.85 <= delay <= 2.0, f"rebuilt {delay:.2f} s after the resume"
    s.wait_log("renderer: compatible (UpdateLayeredWindow)", start=mark, timeout=10, proc=proc)
    assert s.messages()[mark] == "resumed from sleep", s.messages()[mark:]
    wait_until(lambda: s.helper.find("KovraSnow") not in (None, first_overlay), 10, "a new overlay window")
    wait_until(lambda: overlay_visible(s), 10, "the new overlay shows")

    # Three display changes in quick succession: one rebuild, 0.6 s after the last.
    mark = log_count(s)
    for i in range(3):
        s.helper.ok(f"post KovraMain {WM_DISPLAYCHANGE:#x} 32 0")
        t_last = time.monotonic()
        if i < 2:
            s.helper.ok("sleep 200")
    delay = seconds_until_rebuild(s, t_last)
    assert 0.45 <= delay <= 1.5, f"rebuilt {delay:.2f} s after the last display change"
    s.wait_log("renderer: compatible (UpdateLayeredWindow)", start=mark, timeout=10, proc=proc)
    wait_until(lambda: overlay_visible(s), 10, "the new overlay shows")
    s.helper.ok("sleep 1500")
    msgs = s.messages()[mark:]
    assert msgs.count("display change") == 3, msgs
    assert msgs.count("renderer: compatible (UpdateLayeredWindow)") == 1, msgs

    # A work-area change only marks the drifts for a new layout: no rebuild.
    mark = log_count(s)
    assert s.helper.ok(f"send KovraMain {WM_SETTINGCHANGE:#x} {SPI_SETWORKAREA} 0") == "0"
    s.helper.ok("sleep 1000")
    assert "renderer: compatible (UpdateLayeredWindow)" not in s.messages()[mark:]
    assert overlay_visible(s)
    assert proc.alive()


def test_taskbar_created_adds_the_icon_again(s):
    proc = start(s, "it")
    tray_icon_point(s)
    # Explorer ended: the icon is gone with it.
    assert probe(s, "traydelete", "KovraMain", "1") == ["ok"]
    wait_until(lambda: not tray_visible(s), 10, "the tray empties")

    mark = log_count(s)
    assert probe(s, "broadcast", "TaskbarCreated")[0].startswith("ok ")
    s.wait_log("taskbar re-created (Explorer restarted)", start=mark, timeout=10, proc=proc)
    wait_until(lambda: tray_visible(s), 10, "the icon is back in the tray")
    assert "Quillar — sta nevicando" in hover_tooltip(s, "Quillar — sta nevicando")

    # A broadcast while the icon is still there leaves one working icon.
    mark = log_count(s)
    assert probe(s, "broadcast", "TaskbarCreated")[0].startswith("ok ")
    s.wait_log("taskbar re-created (Explorer restarted)", start=mark, timeout=10, proc=proc)
    press_hotkey(s)
    s.wait_log("paused 1", start=mark, timeout=10, proc=proc)
    assert "Quillar — in pausa" in hover_tooltip(s, "Quillar — in pausa")
    assert s.quit_resident(proc) == 0
    wait_until(lambda: not tray_visible(s), 10, "the tray empties after quitting")


def test_menu_commands_do_what_their_rows_say(s):
    # Windows opens text files in Notepad; a fresh Wine prefix knows no ".txt".
    s.wine("reg", "add", r"HKCR\.txt", "/ve", "/d", "txtfile", "/f")
    proc = start(s, "es")
    tray_icon_point(s)

    mark = log_count(s)
    choose(s, 101)
    wait_until(lambda: s.reg_value(KOVRA_KEY, "Weather") == ("REG_DWORD", 0), 10, "light snow stored")
    choose(s, 103)
    wait_until(lambda: s.reg_value(KOVRA_KEY, "Weather") == ("REG_DWORD", 2), 10, "blizzard stored")

    choose(s, 121)
    s.wait_log("settings window opened (dpi 96)", start=mark, timeout=10, proc=proc)

    # Santa and the fireworks resume paused snow first.
    press_hotkey(s)
    s.wait_log("paused 1", start=mark, timeout=10, proc=proc)
    mark = log_count(s)
    choose(s, 124)
    s.wait_log("Santa called", start=mark, timeout=10, proc=proc)
    msgs = s.messages()[mark:]
    assert msgs.index("paused 0") < msgs.index("Santa called"), msgs
    choose(s, 126)
    s.wait_log("fireworks now", start=mark, timeout=10, proc=proc)

    # The log opens in the text editor.
    choose(s, 119)
    notepad = s.helper.wait_for("Notepad", timeout=20)
    assert notepad
    s.helper.ok("post Notepad 0x10 0 0")
    s.helper.wait_for("Notepad", timeout=10, present=False)

    mark = log_count(s)
    choose(s, 128)
    line = s.wait_log(re.compile(r"^contact: (mail app opened \(general\)|no mail app \(error \d+\) — address copied)$"),
                      start=mark, timeout=15, proc=proc)
    if line.startswith("contact: no mail app"):
        s.helper.wait_for("#32770", timeout=10)
        s.helper.ok("post #32770 0x10 0 0")

    choose(s, 120)
    assert proc.wait(20) == 0
    assert s.messages()[-1] == "quit"
    wait_until(lambda: not tray_visible(s), 10, "the tray empties after quitting")


def test_contact_without_a_mail_app_copies_the_address(s):
    # A prefix without any mailto handler.
    s.wine("reg", "delete", r"HKCR\mailto", "/f")
    s.wine("reg", "delete", r"HKCU\Software\Classes\mailto", "/f")
    proc = start(s, "pl")
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    tray_icon_point(s)
    time.sleep(3.0)  # some snow on the screen
    mark = log_count(s)
    choose(s, 128)
    line = s.wait_log(re.compile(r"^contact: "), start=mark, timeout=15, proc=proc)
    assert re.fullmatch(r"contact: no mail app \(error \d+\) — address copied", line), line

    box = s.helper.wait_for("#32770", timeout=10)
    info = s.helper.info("#32770")
    assert info["title"] == "Quillar", info
    texts = window_texts(s, "#32770", deep=True)
    expected = ("Adres skopiowany||Nie otworzył się żaden program pocztowy. Adres support@quillar.app jest teraz "
                "w schowku — wklej go do wiadomości.")
    assert expected in texts, texts
    assert probe(s, "clipboard") == ["text support@quillar.app"]

    # The snow keeps moving while the box holds the main thread.
    region = (0, 0, 1920, 400)
    first = pixels.load(s.screenshot("contact-box-1"))
    s.helper.ok("sleep 700")
    second = pixels.load(s.screenshot("contact-box-2"))
    assert below_tray(first) != below_tray(second), "the snow froze while the message box was open"
    assert len(pixels.bright_blobs(second, region=region)) > 5

    s.helper.ok("post #32770 0x10 0 0")
    s.helper.wait_for("#32770", timeout=10, present=False)
    assert box and proc.alive()


def test_show_the_snow_anyway_during_a_call(s):
    proc = start(s, "en")
    s.wait_log("probes: own thread (full screen, screensaver, smart pause)", timeout=20, proc=proc)
    wait_until(lambda: overlay_visible(s), 10, "the overlay shows")
    # An application that has the microphone open and has not let it go: a call.
    consent = r"HKCU\Software\Microsoft\Windows\CurrentVersion\CapabilityAccessManager\ConsentStore"
    key = consent + r"\microphone\NonPackaged\C:#Program Files#Talk#talk.exe"
    s.reg_add(key, "LastUsedTimeStart", "REG_QWORD", 134000000000000000)
    s.reg_add(key, "LastUsedTimeStop", "REG_QWORD", 0)
    s.wait_log("smart pause: call or presentation", timeout=15, proc=proc)
    wait_until(lambda: not overlay_visible(s), 5, "the overlay fades out for the call")

    # The menu now offers the snow anyway, right under the pause switch.
    mark = log_count(s)
    choose(s, 129, ["title", "status", 100, 129] + MENU_LINES[3:])
    s.wait_log("smart pause: shown anyway", start=mark, timeout=10, proc=proc)
    wait_until(lambda: overlay_visible(s), 5, "the snow comes back during the call")
    assert not any(m.startswith("paused ") for m in s.messages()), "showing the snow is no pause change"
