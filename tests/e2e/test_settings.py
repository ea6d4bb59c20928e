"""The settings store against the real quillar.exe: the values read at start,
what a clean quit writes back, the UI language and the autostart entry."""

from __future__ import annotations

import re
import subprocess
import time

from harness import WM_CLOSE, quillar_exe, winpath

KOVRA_KEY = r"HKCU\Software\Kovra"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_KEY_IN_FILE = r"Software\\Microsoft\\Windows\\CurrentVersion\\Run"
WM_HOTKEY = 0x0312

START_LINE = re.compile(
    r"^Quillar for Windows \S+ \(built .+\), language (?P<ui>[a-z]{2}) \(Windows: (?P<win>[a-z]{2})\)$")
EXE_LINE = re.compile(r"^Windows \d+\.\d+ build \d+; exe (?P<exe>.+)$")
LINE_PREFIX = re.compile(r"^\d\d:\d\d:\d\d +\d+\.\d{3}  ")

SAVE_ORDER = ["Paused", "Weather", "AmountX100", "WindX100", "OnWindows", "Sweep", "RenderMode2", "GuideSeen",
              "Snowfall", "Santa", "Birds", "Stars", "Garland", "FireworksYear", "SmartPause", "FpsMode"]
DEFAULT_VALUES = {"Paused": 0, "Weather": 1, "AmountX100": 55, "WindX100": 10, "OnWindows": 1, "Sweep": 1,
                  "RenderMode2": 0, "GuideSeen": 0, "Snowfall": 1, "Santa": 1, "Birds": 1, "Stars": 1,
                  "Garland": 0, "FireworksYear": 0, "SmartPause": 1, "FpsMode": 0}


def settings_line(paused=0, weather=1, amount="0.55", wind="0.10", on_windows=1, sweep=1, render=0, autostart=0,
                  snowfall=1, santa=1, birds=1, stars=1, garland=0) -> str:
    return (f"settings: paused {paused} weather {weather} amount {amount} wind {wind} onWindows {on_windows} "
            f"sweep {sweep} renderMode {render} autostart {autostart} snowfall {snowfall} santa {santa} "
            f"birds {birds} stars {stars} garland {garland}")


def messages(s) -> list[str]:
    """The log's messages without their time prefix."""
    return [LINE_PREFIX.sub("", line, count=1) for line in s.read_log()]


class Run:
    """One resident run: started, its start lines read, then quit cleanly."""

    def __init__(self, s, env=None):
        self.s = s
        # A finished run's log would answer for this one until it is rotated.
        s.log_path.unlink(missing_ok=True)
        self.proc = s.start_quillar(env=env)
        s.wait_log("settings: ", timeout=40, proc=self.proc)
        s.helper.wait_for("KovraMain", timeout=20)
        msgs = messages(s)
        self.first = START_LINE.match(msgs[0])
        assert self.first, f"first start line: {msgs[0]!r}"
        exe = EXE_LINE.match(msgs[1])
        assert exe, f"second start line: {msgs[1]!r}"
        self.exe = exe["exe"]
        self.settings = next(m for m in msgs if m.startswith("settings: "))

    @property
    def languages(self):
        return self.first["ui"], self.first["win"]

    def quit(self):
        self.s.helper.ok(f"post KovraMain {WM_CLOSE:#x} 0 0")
        code = self.proc.wait(20)
        assert code == 0, f"exit code {code} after WM_CLOSE"
        assert "quit" in messages(self.s), messages(self.s)[-3:]


def kovra_values(s) -> dict:
    values = s.reg_query(KOVRA_KEY)
    assert values is not None, "no Software\\Kovra key after the quit"
    return values


def assert_saved(s, expected: dict):
    values = kovra_values(s)
    for name in SAVE_ORDER:
        assert name in values, f"{name} not saved; key holds {sorted(values)}"
        kind, data = values[name]
        assert kind == "REG_DWORD", f"{name} saved as {kind} {data!r}"
        assert data == expected[name] & 0xFFFFFFFF, f"{name} saved as {data:#x}, wanted {expected[name]}"


def stop_wine(s):
    """Ends the session's wineserver, so the registry files can be edited."""
    for args in (["wineserver", "-k"], ["wineserver", "-w"]):
        subprocess.run(args, env=s.env, timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def put_raw_run_entry(s, data: bytes):
    """Stores "Kovra" in the Run key as REG_SZ with exactly these bytes (no
    terminating zero is added), by editing the user hive while Wine is down:
    the registry tools always terminate the strings they write. A helper
    still running ends with Wine and is started again when next needed."""
    stop_wine(s)
    hive = s.prefix / "user.reg"
    text = hive.read_text(encoding="utf-8", errors="surrogateescape")
    text += (f"\n[{RUN_KEY_IN_FILE}] {int(time.time())}\n"
             f"\"Kovra\"=hex(1):{','.join(f'{b:02x}' for b in data)}\n")
    hive.write_text(text, encoding="utf-8", errors="surrogateescape")


def import_reg(s, name: str, lines: list[str]):
    path = s.dir / name
    path.write_text("Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n")
    r = s.wine("reg", "import", winpath(path))
    assert r.returncode == 0, f"reg import failed: {r.stderr.decode(errors='replace')}"


# ------------------------------------------------------------------ values

def test_empty_registry_gives_defaults_and_quit_saves_all_sixteen(s):
    assert s.reg_query(KOVRA_KEY) is None, "the fresh prefix already has Software\\Kovra"
    run = Run(s)
    assert run.settings == settings_line(), run.settings
    run.quit()
    values = kovra_values(s)
    assert_saved(s, DEFAULT_VALUES)
    # The record is all that a save writes; "Language" stays unset.
    assert set(values) == set(SAVE_ORDER), sorted(values)


def test_out_of_range_and_wrong_types_read_as_defaults_and_save_sane(s):
    dword = {"AmountX100": 161, "WindX100": 2**32 - 101, "Weather": 7, "FpsMode": 3,
             "Garland": 9, "OnWindows": 0, "Stars": 0, "RenderMode2": 0x80000000}
    for name, data in dword.items():
        s.reg_add(KOVRA_KEY, name, "REG_DWORD", data)
    s.reg_add(KOVRA_KEY, "FireworksYear", "REG_SZ", "2026")
    s.reg_add(KOVRA_KEY, "Snowfall", "REG_SZ", "0")
    s.reg_add(KOVRA_KEY, "Paused", "REG_SZ", "1")
    s.reg_add(KOVRA_KEY, "Sweep", "REG_SZ", "0" * 5000)
    s.reg_add(KOVRA_KEY, "Santa", "REG_BINARY", "00000000")
    s.reg_add(KOVRA_KEY, "SmartPause", "REG_QWORD", "0")
    # A DWORD of two bytes is not a DWORD either.
    import_reg(s, "short.reg", ["[HKEY_CURRENT_USER\\Software\\Kovra]", '"Birds"=hex(4):00,00',
                                '"GuideSeen"=hex(4):01'])

    run = Run(s)
    # Garland 9 is on and the zeros of OnWindows and Stars are read; every
    # other value is out of range or of another type and shows its default.
    assert run.settings == settings_line(garland=1, on_windows=0, stars=0, render=1), run.settings
    run.quit()
    assert_saved(s, {**DEFAULT_VALUES, "Garland": 1, "OnWindows": 0, "Stars": 0, "RenderMode2": 1})


def test_accepted_edge_values_are_read_and_saved_unchanged(s):
    stored = {"AmountX100": 15, "WindX100": -100, "Weather": 2, "FpsMode": 2, "RenderMode2": 0,
              "FireworksYear": 2025, "GuideSeen": 1, "Garland": 1, "Snowfall": 0, "SmartPause": 0}
    for name, data in stored.items():
        s.reg_add(KOVRA_KEY, name, "REG_DWORD", data & 0xFFFFFFFF)
    run = Run(s)
    assert run.settings == settings_line(weather=2, amount="0.15", wind="-1.00", render=0, snowfall=0,
                                         garland=1), run.settings
    run.quit()
    assert_saved(s, {**DEFAULT_VALUES, **stored})

    s.reg_add(KOVRA_KEY, "AmountX100", "REG_DWORD", 160)
    s.reg_add(KOVRA_KEY, "WindX100", "REG_DWORD", 100)
    run = Run(s)
    assert " amount 1.60 wind 1.00 " in run.settings, run.settings
    run.quit()
    assert_saved(s, {**DEFAULT_VALUES, **stored, "AmountX100": 160, "WindX100": 100})


def test_pause_change_is_saved_at_once(s):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)  # no first-run guide to unpause
    run = Run(s)
    s.helper.ok(f"post KovraMain {WM_HOTKEY:#x} 1 0")
    s.wait_log("paused 1", timeout=10, start=3, proc=run.proc)
    paused = s.reg_value(KOVRA_KEY, "Paused")
    assert paused == ("REG_DWORD", 1), f"Paused while running: {paused}"
    # The save writes the whole record, not just the changed value.
    assert_saved(s, {**DEFAULT_VALUES, "Paused": 1, "GuideSeen": 1})
    run.quit()
    assert_saved(s, {**DEFAULT_VALUES, "Paused": 1, "GuideSeen": 1})


# --------------------------------------------------------------- languages

def test_kovra_lang_overrides_the_stored_language(s):
    s.reg_add(KOVRA_KEY, "Language", "REG_DWORD", 3)  # German
    run = Run(s)
    assert run.languages == ("de", "en"), run.first.group(0)
    run.quit()

    run = Run(s, env={"KOVRA_LANG": "PL"})
    assert run.languages == ("pl", "en"), run.first.group(0)
    run.quit()
    # The override is not stored.
    assert s.reg_value(KOVRA_KEY, "Language") == ("REG_DWORD", 3)

    for ignored in ("xx", "deu", "pl-PL-abcdefghij"):  # no match, no match, 16 characters
        run = Run(s, env={"KOVRA_LANG": ignored})
        assert run.languages == ("de", "en"), (ignored, run.first.group(0))
        run.quit()


def test_stored_language_out_of_range_follows_windows(s):
    s.reg_add(KOVRA_KEY, "Language", "REG_DWORD", 8)
    run = Run(s, env={"KOVRA_LANG": "it_IT.UTF-8-xyz"})  # 15 characters: ignored
    assert run.languages == ("en", "en"), run.first.group(0)
    run.quit()
    s.reg_add(KOVRA_KEY, "Language", "REG_SZ", "3")
    run = Run(s, env={"KOVRA_LANG": "it_IT.UTF-8-xy"})  # 14 characters
    assert run.languages == ("it", "en"), run.first.group(0)
    run.quit()


def test_windows_language_comes_from_the_users_ui_languages(s):
    # Wine takes the user's UI language from the locale of the process.
    run = Run(s, env={"LC_ALL": "de_AT.UTF-8"})
    assert run.languages == ("de", "de"), run.first.group(0)
    run.quit()

    s.reg_add(KOVRA_KEY, "Language", "REG_DWORD", 6)  # French
    run = Run(s, env={"LC_ALL": "uk_UA.UTF-8"})
    assert run.languages == ("fr", "uk"), run.first.group(0)
    run.quit()

    s.reg_add(KOVRA_KEY, "Language", "REG_DWORD", 0)  # follow Windows
    run = Run(s, env={"LC_ALL": "pt_BR.UTF-8"})
    assert run.languages == ("en", "en"), run.first.group(0)
    run.quit()


# --------------------------------------------------------------- autostart

def exe_path(s) -> str:
    """This copy's path as Wine reports it to the program."""
    return winpath(quillar_exe())


def test_autostart_entry_of_this_copy_reads_on_and_of_another_copy_off(s):
    run = Run(s)
    assert " autostart 0 " in run.settings, run.settings
    assert run.exe == exe_path(s), (run.exe, exe_path(s))
    run.quit()

    s.reg_add(RUN_KEY, "Kovra", "REG_SZ", r'"C:\Program Files\Other\quillar.exe"')
    run = Run(s)
    assert " autostart 0 " in run.settings, run.settings
    run.quit()

    s.reg_add(RUN_KEY, "Kovra", "REG_SZ", f'"{exe_path(s)}" /quiet')
    run = Run(s)
    assert " autostart 1 " in run.settings, run.settings
    run.quit()

    # The path must match exactly, case included.
    s.reg_add(RUN_KEY, "Kovra", "REG_SZ", f'"{exe_path(s).upper()}"')
    run = Run(s)
    assert " autostart 0 " in run.settings, run.settings
    run.quit()
    # Reading it never rewrites it.
    assert s.reg_value(RUN_KEY, "Kovra") == ("REG_SZ", f'"{exe_path(s).upper()}"')


def test_autostart_entry_without_zero_or_too_long_is_read_safely(s):
    quoted = f'"{exe_path(s)}"'.encode("utf-16-le")

    put_raw_run_entry(s, quoted)  # no terminating zero
    run = Run(s)
    assert " autostart 1 " in run.settings, run.settings
    run.quit()

    put_raw_run_entry(s, quoted + b"x")  # and half a character after it
    run = Run(s)
    assert " autostart 1 " in run.settings, run.settings
    run.quit()

    # Longer than the 1046 bytes read: the entry counts as absent, even though
    # this copy's path is in its first part.
    long_entry = quoted + (" " * 600).encode("utf-16-le")
    assert len(long_entry) > 1046
    put_raw_run_entry(s, long_entry)
    run = Run(s)
    assert " autostart 0 " in run.settings, run.settings
    assert run.proc.alive()
    run.quit()
