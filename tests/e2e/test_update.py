"""Updates against a local update server of the test's own (the "UpdateServer"
override on 127.0.0.1): the answer and the setup file are what
tools/release.py publishes, the setup file is this build's own."""

from __future__ import annotations

import http.server
import json
import os
import sys
import time
from pathlib import Path

import harness
from harness import REPO_ROOT, wait_until
from test_settings_window import click, layout, scroll_to
from test_tray import window_texts
from test_tray_menu import centre, open_menu
from test_setup import folder, own_desktop, quit_installed, setup_exe, setup_log, wait_installed_start

sys.path.insert(0, str(REPO_ROOT / "tools"))
import release  # noqa: E402

KOVRA_KEY = r"HKCU\Software\Kovra"
QUILLAR_KEY = r"HKCU\Software\Quillar"
WM_COMMAND = 0x0111
ENV = {"KOVRA_LANG": "en", "KOVRA_TEST_LAYOUT": "1"}
ANSWER_PATH = "/update/windows.json"
INSTALL_UPDATE, CHECK_UPDATES = 38, 37  # kinds of the page's controls


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        server.requests.append({"path": self.path, "headers": dict(self.headers.items())})
        route = self.path.partition("?")[0]
        if route == ANSWER_PATH and server.status != 200:
            status, body = server.status, b"Internal Server Error"
        elif route == ANSWER_PATH:
            status, body = 200, json.dumps(server.answer).encode()
        else:
            path = server.root / route.lstrip("/")
            status, body = (200, path.read_bytes()) if path.is_file() else (404, b"not here")
        self.send_response(status)
        self.send_header("Content-Type", "application/json" if route == ANSWER_PATH else "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.wfile.write(body)
        self.wfile.flush()


class Server(harness.LocalHttpServer):
    """Serves the release folder `root`; `answer` and `status` are the update answer's."""

    def __init__(self, root: Path):
        super().__init__(Handler, root=root, status=200, answer={})

    def publish(self, version: str) -> dict:
        """The release of this build's setup file as `version`, as the answer."""
        self.httpd.answer = release.write_update(str(self.httpd.root), str(setup_exe()), self.base + "/", version)
        return dict(self.httpd.answer)


def update_line(card_title="", card_line="", check_line="") -> str:
    return f'settings window: update card "{card_title}" "{card_line}", check line "{check_line}"'


def open_window(s, proc):
    mark = len(s.messages())
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} 121 0")
    s.wait_log("settings window opened", start=mark, timeout=15, proc=proc)
    s.helper.wait_for("KovraSettings", timeout=10)
    layout(s, mark)
    time.sleep(1.0)


def temp_folder(s) -> Path:
    return s.users_dir() / "AppData" / "Local" / "Temp"


def start_resident(s, server):
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
    s.reg_add(QUILLAR_KEY, "UpdateServer", "REG_SZ", server.base)
    return s.start_resident(env=ENV)


# ------------------------------------------------------------------ flows

def test_a_new_version_is_told_once_then_downloaded_checked_and_installed(s, tmp_path=None):
    with Server(s.dir / "release") as server:
        server.publish("0.9.21")
        s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)
        s.reg_add(QUILLAR_KEY, "UpdateServer", "REG_SZ", server.base)
        own_desktop(s)
        assert s.start_windows([str(setup_exe())], env=ENV, label="setup").wait(90) == 0, setup_log(s)
        wait_installed_start(s, "install")
        s.wait_log(f"update: server {server.base} (UpdateServer)", timeout=20)
        s.wait_log("update check: newest 0.9.21, this 0.9.20 → update available", timeout=30)
        s.wait_log("update check: the user is told about 0.9.21", timeout=10)
        notice = "Version 0.9.21 — open the Quillar window and click “Update”."

        def balloon():
            texts = window_texts(s, "tooltips_class32")
            return texts if any(notice in t for t in texts) else None
        wait_until(balloon, 15, "the update notice shows")
        assert s.reg_value(QUILLAR_KEY, "UpdateTold") == ("REG_SZ", "0.9.21")
        asked = server.requests_to(ANSWER_PATH)[0]
        assert asked["path"] == ANSWER_PATH + "?v=0.9.20", asked
        assert asked["headers"].get("Accept") == "application/json", asked
        assert asked["headers"].get("Cache-Control") == "no-cache", asked
        assert asked["headers"].get("User-Agent", "").startswith("Kovra/0.9.20 "), asked
        # The installed copy opened its window: the card offers the update.
        s.wait_log(update_line("Quillar 0.9.21 is out", "", "Update to 0.9.21"), timeout=30)

        # Started again, it finds the same version and says nothing more.
        quit_installed(s)
        old_log = os.stat(s.log_path).st_ino
        proc = s.start_windows([str(folder(s) / "Quillar.exe")], env=ENV, label="installed")
        wait_until(lambda: os.path.exists(s.log_path) and os.stat(s.log_path).st_ino != old_log, 40, "a new log")
        s.wait_log("update check: newest 0.9.21, this 0.9.20 → update available", timeout=40, proc=proc)
        assert not any(m.startswith("update check: the user is told") for m in s.messages()), s.messages()

        # The answer's log line comes from the check's thread; the window's
        # line shows that the main thread took the offer in.
        open_window(s, proc)
        s.wait_log(update_line("Quillar 0.9.21 is out", "", "Update to 0.9.21"), timeout=15, proc=proc)
        # "Update to 0.9.21" in the tray menu: downloaded, checked, started
        # with /update. (The window's button is the other way, taken below.)
        _, _, _, rows, lines = open_menu(s, proc)
        assert "Update to 0.9.21" in lines, lines
        mark = len(s.messages())
        x, y = centre(rows[127])
        s.helper.ok(f"mouse {x} {y}")
        s.helper.ok("sleep 200")
        s.helper.ok(f"mouse {x} {y} click")
        s.wait_log("update 0.9.21 downloaded — starting it", start=mark, timeout=60, proc=proc)
        assert len(server.requests_to("/update/Quillar-Setup-0.9.21.exe")) == 1, server.httpd.requests
        # The setup replaced the running copy and started the new one.
        old_log = os.stat(s.log_path).st_ino
        wait_until(lambda: any(l.endswith("(update)") for l in setup_log(s)), 60, "the setup ran as an update")
        wait_installed_start(s, "update", start_inode=old_log, timeout=90)
        # Asked to quit, the running copy went (or was ended after 8 s, which
        # the setup log then says).
        proc.wait(30)
        quitted = "quit" in s.messages(previous=True)
        assert quitted or "install: the running Quillar did not quit in 8 s — ending it" in setup_log(s)
        s.helper.wait_for("KovraMain", timeout=30)
        assert s.helper.count("KovraMain") == 1
        s.screenshot("updated")


# (what the answer says, its checksum, the log line that refuses it, whether the setup is fetched)
REFUSALS = [
    ("0.9.21", lambda digest: "0" * 64, "update: the download does not match its checksum — not installing it", True),
    ("0.9.21", str.upper, "update: the download does not match its checksum — not installing it", True),
    ("..\\..\\Startup\\x", None, 'update check: the version "..\\..\\Startup\\x" is refused', False),
    ("0.9.21", "http://example.org/Quillar-Setup.exe",
     'update check: the setup address "http://example.org/Quillar-Setup.exe" is refused', False),
]


def test_a_wrong_checksum_or_a_hostile_answer_starts_nothing(s):
    for version, change, refusal, fetched in REFUSALS:
        with Server(s.dir / "release") as server:
            answer = server.publish("0.9.21")
            answer["version"] = version
            if callable(change):
                answer["sha256"] = change(answer["sha256"])
            elif change:
                answer["url"] = change
            server.httpd.answer = answer
            proc = start_resident(s, server)
            mark = 0
            if fetched:
                s.wait_log("update check: newest 0.9.21, this 0.9.20 → update available", timeout=30, proc=proc)
                open_window(s, proc)
                mark = len(s.messages())
                click(s, INSTALL_UPDATE)
                s.wait_log(refusal, start=mark, timeout=60, proc=proc)
                s.wait_log(update_line("Quillar 0.9.21 is out", "The update could not be downloaded. Please try again.",
                                       "The update could not be downloaded. Please try again."),
                           start=mark, timeout=20, proc=proc)
                time.sleep(1.5)  # the paint that logged the line is on screen
                s.screenshot("update-card-after-a-refused-download")
                assert len(server.requests_to("/update/Quillar-Setup-0.9.21.exe")) == 1, server.httpd.requests
            else:
                s.wait_log(refusal, timeout=30, proc=proc)
                s.wait_log("update check: no answer (HTTP 200)", timeout=10, proc=proc)
                assert [r for r in server.httpd.requests if r["path"].partition("?")[0] != ANSWER_PATH] == []
            time.sleep(1.0)
            assert not list(temp_folder(s).glob("Quillar-Setup-*")), list(temp_folder(s).iterdir())
            assert not list(s.users_dir().rglob("Startup/x*")), "a file was written outside the temporary folder"
            assert setup_log(s) == [], "a setup was started"
            assert proc.alive()
            # Exit codes under Wine are not always the program's: the tear-down's last line is.
            s.quit_resident(proc)
            assert s.messages()[-1] == "quit", s.messages()[-3:]


def test_the_latest_version_and_an_unreachable_server_are_shown(s):
    for version in ("0.9.20", "0.9.2"):
        with Server(s.dir / "release") as server:
            server.publish(version)
            proc = start_resident(s, server)
            s.wait_log(f"update check: newest {version}, this 0.9.20 → up to date", timeout=30, proc=proc)
            open_window(s, proc)
            s.wait_log(update_line(check_line="You have the latest version 0.9.20 ✓"), timeout=20, proc=proc)
            assert s.quit_resident(proc) == 0

    with Server(s.dir / "release") as server:
        server.httpd.status = 500
        proc = start_resident(s, server)
        # The automatic check fails silently.
        s.wait_log("update check: no answer (HTTP 500)", timeout=30, proc=proc)
        open_window(s, proc)
        s.wait_log(update_line(), timeout=20, proc=proc)
        scroll_to(s, CHECK_UPDATES)
        mark = len(s.messages())
        click(s, CHECK_UPDATES)
        s.wait_log("update check: no answer (HTTP 500)", start=mark, timeout=30, proc=proc)
        s.wait_log(update_line(check_line="The update server is not reachable right now."), start=mark, timeout=20,
                   proc=proc)
        assert len(server.requests_to(ANSWER_PATH)) >= 2
        assert s.quit_resident(proc) == 0
