"""End-to-end harness: runs the real quillar.exe under Wine on a private X display.

One test run owns one Xvfb display and one booted Wine prefix (the template).
Each test gets a `Session`: a fresh copy of the template with its own
wineserver, a test-helper process on demand, and every process it started
ended by pid when the test finishes, followed by `wineserver -k`.

Environment:
  QUILLAR_WIN_BUILD  folder with quillar.exe and quillar-testhelper.exe
                     (default: build/win under the repository root)
  QUILLAR_SHOTS      folder for screenshots (default: build/e2e-shots)
  QUILLAR_E2E_TMP    scratch folder for prefixes and process output
                     (default: a new folder under /tmp, removed at the end)
  QUILLAR_E2E_KEEP   1 keeps a failed test's prefix for inspection, "all" every test's
  QUILLAR_E2E_TEMPLATE  a folder in which to keep the booted template prefix
                     between runs (booted there when missing)
"""

from __future__ import annotations

import atexit
import getpass
import glob
import http.server
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[2]

MUTEX_NAME = "Local\\KovraSnowForWindows"
WM_CLOSE = 0x0010
WM_APP = 0x8000

# "HH:MM:SS", a space, the seconds since the log was opened as %8.3f (wider
# only after 10000 s), two spaces.
LOG_LINE_PREFIX = re.compile(r"^\d\d:\d\d:\d\d [ \d]{3}\d+\.\d{3}  ")

# Processes and servers still to be ended if the run is cut short.
_live_lock = threading.Lock()
_live: list = []


class SkipTest(Exception):
    """Raised by a test (or the harness) when the test cannot run here."""


class HarnessError(Exception):
    """The test environment itself failed (not the program under test)."""


def _register(obj):
    with _live_lock:
        _live.append(obj)


def _unregister(obj):
    with _live_lock:
        if obj in _live:
            _live.remove(obj)


def cleanup_all():
    """Ends everything still registered, newest first. Safe to call twice."""
    while True:
        with _live_lock:
            if not _live:
                return
            obj = _live.pop()
        try:
            obj.close()
        except Exception as exc:  # cleanup must go on with the rest
            print(f"harness: cleanup of {obj!r} failed: {exc}", file=sys.stderr)


def _on_signal(signum, frame):
    cleanup_all()
    sys.exit(128 + signum)


atexit.register(cleanup_all)
for _sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    try:
        signal.signal(_sig, _on_signal)
    except (ValueError, OSError):  # not the main thread, or not supported
        pass


def wait_until(predicate, timeout: float, what: str, interval: float = 0.1):
    """Polls `predicate` until it returns something truthy, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"{what}: not so within {timeout} s")
        time.sleep(interval)


# --------------------------------------------------------------------- paths

def build_dir() -> Path:
    return Path(os.environ.get("QUILLAR_WIN_BUILD", REPO_ROOT / "build" / "win")).resolve()


def quillar_exe() -> Path:
    return build_dir() / "quillar.exe"


def helper_exe() -> Path:
    return build_dir() / "quillar-testhelper.exe"


def shots_dir() -> Path:
    d = Path(os.environ.get("QUILLAR_SHOTS", REPO_ROOT / "build" / "e2e-shots")).resolve()
    d.mkdir(parents=True, exist_ok=True)
    return d


def winpath(unix_path) -> str:
    """The path as a Windows program sees it through Wine's Z: drive."""
    return "Z:" + str(Path(unix_path).resolve()).replace("/", "\\")


def _kill_pid(pid: int, sig=signal.SIGKILL):
    try:
        os.kill(pid, sig)
    except ProcessLookupError:
        pass


# ------------------------------------------------------------------- display

class Display:
    """A private Xvfb server on the first free display number."""

    def __init__(self, width=1920, height=1080, depth=24, first=90, log_dir=None):
        self.size = (width, height, depth)
        self.proc = None
        self.number = None
        self.log_dir = Path(log_dir or tempfile.gettempdir())
        self._first = first

    @property
    def name(self) -> str:
        return f":{self.number}"

    @staticmethod
    def _taken(n: int) -> bool:
        return os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}")

    def start(self, timeout=15.0):
        if not shutil.which("Xvfb"):
            raise HarnessError("Xvfb is not installed")
        w, h, d = self.size
        for n in range(self._first, self._first + 200):
            if self._taken(n):
                continue
            log = open(self.log_dir / f"xvfb-{n}.log", "wb")
            proc = subprocess.Popen(
                ["Xvfb", f":{n}", "-screen", "0", f"{w}x{h}x{d}", "-nolisten", "tcp", "-noreset"],
                stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
            log.close()
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                if proc.poll() is not None:
                    break  # most likely lost a race for this number: try the next
                if os.path.exists(f"/tmp/.X11-unix/X{n}") and subprocess.run(
                        ["xdpyinfo", "-display", f":{n}"], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL, timeout=5).returncode == 0:
                    self.proc, self.number = proc, n
                    _register(self)
                    return self
                time.sleep(0.05)
            if proc.poll() is None:
                proc.kill()
                proc.wait(5)
        raise HarnessError("could not start Xvfb on any free display")

    def close(self):
        _unregister(self)
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        self.proc = None

    def screenshot(self, path) -> Path:
        """Saves the whole screen as PNG. Now and then xwd fails on Xvfb (seen
        once in some hundreds of pictures); a second try a moment later works."""
        for attempt in range(3):
            try:
                return self._screenshot(path)
            except subprocess.CalledProcessError:
                if attempt == 2:
                    raise
                time.sleep(0.2)

    def _screenshot(self, path) -> Path:
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        if shutil.which("xwd"):
            xwd = subprocess.run(["xwd", "-root", "-silent", "-display", self.name],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20, check=True)
            subprocess.run(["convert", "xwd:-", f"png:{path}"], input=xwd.stdout,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30, check=True)
        else:  # ImageMagick's own grabber when x11-apps is not installed
            # It ignores -display next to -silent; DISPLAY is always honoured.
            subprocess.run(["import", "-silent", "-window", "root", f"png:{path}"],
                           env={**os.environ, "DISPLAY": self.name},
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30, check=True)
        return path

    def pixel(self, x: int, y: int):
        """The (r, g, b) of one screen pixel, 8 bits each."""
        with tempfile.TemporaryDirectory() as tmp:
            shot = self.screenshot(Path(tmp) / "p.png")
            out = subprocess.run(["convert", str(shot), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30, check=True,
                                 text=True).stdout
        m = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1])
        if not m:
            raise HarnessError(f"cannot read pixel from: {out!r}")
        return tuple(int(v) for v in m.groups())

    def __repr__(self):
        return f"Display({self.name})"


class TwoMonitorDisplay(Display):
    """An Xorg server with the dummy driver and two outputs side by side
    (1280x800 primary, 1024x768 to its right): Xvfb gives Wine one monitor only."""

    CONFIG = """
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "mon"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1280x800" 83.50 1280 1352 1480 1680 800 803 809 831
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "mon"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1280x800"
    Virtual 2304 800
  EndSubSection
EndSection
"""

    def __init__(self, log_dir=None, first=140):
        super().__init__(2304, 800, 24, first=first, log_dir=log_dir)

    def start(self, timeout=20.0):
        if not shutil.which("Xorg"):
            raise HarnessError("Xorg is not installed (xserver-xorg-core, xserver-xorg-video-dummy)")
        conf = self.log_dir / "xorg-dummy.conf"
        conf.write_text(self.CONFIG)
        for n in range(self._first, self._first + 100):
            if self._taken(n):
                continue
            proc = subprocess.Popen(
                ["Xorg", f":{n}", "-config", str(conf), "-noreset", "-nolisten", "tcp",
                 "-logfile", str(self.log_dir / f"xorg-{n}.log")],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline and proc.poll() is None:
                if subprocess.run(["xdpyinfo", "-display", f":{n}"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=5).returncode == 0:
                    self.proc, self.number = proc, n
                    _register(self)
                    self._second_output()
                    return self
                time.sleep(0.1)
            if proc.poll() is None:
                proc.kill()
                proc.wait(5)
        raise HarnessError("could not start Xorg with the dummy driver")

    def _second_output(self):
        env = {**os.environ, "DISPLAY": self.name}
        steps = [["xrandr", "--newmode", "1024x768_60", "63.50", "1024", "1072", "1176", "1328",
                  "768", "771", "775", "798"],
                 ["xrandr", "--addmode", "DUMMY1", "1024x768_60"],
                 ["xrandr", "--output", "DUMMY1", "--mode", "1024x768_60", "--right-of", "DUMMY0"],
                 # Wine reads the server's current resources only after a plain query.
                 ["xrandr"]]
        for cmd in steps:
            subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20,
                           check=True)


# ----------------------------------------------------------------------- wine

def wine_base_env(display: Display, prefix: Path) -> dict:
    env = {k: v for k, v in os.environ.items() if not k.startswith(("KOVRA_", "WINE", "LC_"))}
    env.update({
        "WINEPREFIX": str(prefix),
        "DISPLAY": display.name,
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "LANG": "C.UTF-8",  # Wine reports an English Windows for it
        # Local midday, whenever the tests run: no evening salute lights up the
        # screenshots unless a test asks for another hour with its own TZ.
        "TZ": _midday_tz(),
    })
    return env


def _midday_tz() -> str:
    utc_hour = time.gmtime().tm_hour
    offset = (12 - utc_hour + 12) % 24 - 12  # hours east of UTC, -12..11
    return f"QLR{-offset}"  # POSIX: "QLR-5" is five hours east of UTC


def _run(cmd, env, timeout, what, cwd=None) -> subprocess.CompletedProcess:
    """Runs a command to its end with a time-out.

    Output goes to files, not pipes: the wineserver and the services that the
    first wine call of a prefix starts inherit its output handles, and waiting
    for the end of a pipe would wait for them."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        try:
            code = proc.wait(timeout)
        except subprocess.TimeoutExpired:
            _kill_pid(proc.pid)
            proc.wait(5)
            raise HarnessError(f"{what}: no end after {timeout} s") from None
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(cmd, code, out.read(), err.read())


def _wineserver_stop(env, timeout=15.0):
    _run(["wineserver", "-k"], env, timeout, "wineserver -k")
    _run(["wineserver", "-w"], env, timeout, "wineserver -w")


class Template:
    """The booted prefix that every test copies."""

    def __init__(self, display: Display, root: Path):
        self.display = display
        self.root = Path(root)
        self.prefix = self.root / "template"
        self.owned = True

    def boot(self, timeout=180.0):
        keep = os.environ.get("QUILLAR_E2E_TEMPLATE")
        if keep:
            self.prefix = Path(keep).resolve()
            self.owned = False
            if (self.prefix / ".quillar-e2e-ready").exists():
                return self
            shutil.rmtree(self.prefix, ignore_errors=True)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        env = wine_base_env(self.display, self.prefix)
        _register(self)
        r = _run(["wineboot", "-i"], env, timeout, "wineboot -i")
        if r.returncode != 0:
            raise HarnessError(f"wineboot -i failed ({r.returncode}): {r.stderr.decode(errors='replace')}")
        # A crash must end the process, not start winedbg and wait forever.
        for key, name, data in (
                (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug", "Debugger", "false"),
                (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug", "Auto", "1"),
                (r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", None)):
            args = ["wine", "reg", "add", key, "/v", name, "/f"]
            args += ["/t", "REG_SZ", "/d", data] if data is not None else ["/t", "REG_DWORD", "/d", "0"]
            r = _run(args, env, 60, "wine reg add")
            if r.returncode != 0:
                raise HarnessError(f"reg add {key}\\{name} failed: {r.stderr.decode(errors='replace')}")
        # The registry reaches its files when the server exits.
        _run(["wineserver", "-w"], env, timeout, "wineserver -w")
        _unregister(self)
        (self.prefix / ".quillar-e2e-ready").touch()
        return self

    def close(self):
        _unregister(self)
        env = wine_base_env(self.display, self.prefix)
        try:
            _wineserver_stop(env)
        except HarnessError:
            pass
        if self.owned:
            shutil.rmtree(self.prefix, ignore_errors=True)


# ------------------------------------------------------------------ processes

class Proc:
    """A Windows program run through `wine` as a child of this process.

    `wine` execs into the Windows process, so the pid is the program's own
    and the exit status is its exit code cut to 8 bits (1234 gives 210; a
    nonzero code with a zero low byte gives 1). Use the helper's `run` when
    the full 32-bit code matters."""

    def __init__(self, popen: subprocess.Popen, label: str, out_path: Path):
        self.popen = popen
        self.label = label
        self.out_path = out_path
        self.started = time.monotonic()

    @property
    def pid(self) -> int:
        return self.popen.pid

    def alive(self) -> bool:
        return self.popen.poll() is None

    def wait(self, timeout: float) -> int:
        """The exit code; AssertionError when it is still running after `timeout` s."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"{self.label} did not exit within {timeout} s") from None

    def kill(self):
        if self.popen.poll() is None:
            _kill_pid(self.popen.pid)
            try:
                self.popen.wait(5)
            except subprocess.TimeoutExpired:
                pass

    def output(self) -> str:
        try:
            return self.out_path.read_text(errors="replace")
        except OSError:
            return ""

    def __repr__(self):
        return f"Proc({self.label}, pid {self.pid})"


class HelperEnded(HarnessError):
    """The test helper's process ended while a command waited for its answer."""


class Helper:
    """Drives quillar-testhelper.exe: one command line in, one answer line out."""

    def __init__(self, session: "Session"):
        exe = helper_exe()
        if not exe.exists():
            raise SkipTest(f"test helper not built: {exe}")
        self.session = session
        self.exe = exe
        self.restarts = 0
        self._start()

    def _start(self):
        self.proc = self.session.start_windows([str(self.exe)], label="helper", pipes=True)
        self.replies: queue.Queue = queue.Queue()
        self._reader = threading.Thread(target=self._read, args=(self.proc, self.replies), daemon=True)
        self._reader.start()
        first = self._next(60.0)
        if first != "ok ready":
            raise HarnessError(f"test helper did not start: {first!r} {self.proc.output()}")

    @staticmethod
    def _read(proc, replies):
        try:
            for raw in proc.popen.stdout:
                replies.put(raw.decode("utf-8", errors="replace").rstrip("\r\n"))
        except (ValueError, OSError):
            pass  # close() shut the pipe while this thread was reading it
        replies.put(None)

    def _next(self, timeout: float) -> str:
        try:
            line = self.replies.get(timeout=timeout)
        except queue.Empty:
            raise HarnessError(f"test helper: no answer within {timeout} s") from None
        if line is None:
            self.proc.popen.poll()
            raise HelperEnded(f"test helper ended (exit {self.proc.popen.returncode}): {self.proc.output()}")
        return line

    def cmd(self, line: str, timeout: float = 15.0) -> str:
        """Sends one command and returns its answer line.

        Under load Wine has, rarely, ended the helper silently between two
        commands; it is started again once, and the command sent again."""
        try:
            return self._send(line, timeout)
        except HelperEnded as exc:
            if self.restarts >= 1:
                raise
            self.restarts += 1
            print(f"harness: {exc}; starting the helper again", file=sys.stderr)
            self._start()
            return self._send(line, timeout)

    def _send(self, line: str, timeout: float) -> str:
        stdin = self.proc.popen.stdin
        try:
            stdin.write(line.encode("utf-8") + b"\n")
            stdin.flush()
        except (BrokenPipeError, ValueError, OSError) as exc:
            self.proc.popen.poll()
            raise HelperEnded(f"test helper is gone (exit {self.proc.popen.returncode}): "
                              f"{self.proc.output()}") from exc
        return self._next(timeout)

    def ok(self, line: str, timeout: float = 15.0) -> str:
        """Like cmd, but the answer must be "ok ..."; returns what follows "ok"."""
        answer = self.cmd(line, timeout)
        if answer != "ok" and not answer.startswith("ok "):
            raise AssertionError(f"helper {line!r} answered {answer!r}")
        return answer[3:]

    def find(self, cls: str):
        """The window handle of the top-level window of that class, or None."""
        answer = self.cmd(f"find {cls}")
        return int(answer[3:], 16) if answer.startswith("ok ") else None

    def count(self, cls: str) -> int:
        return int(self.ok(f"count {cls}"))

    def info(self, cls: str, index: int = 0):
        """A dict with hwnd, visible, iconic, style, exstyle, pid, rect, title; None if absent."""
        answer = self.cmd(f"info {cls} {index}")
        if not answer.startswith("ok "):
            return None
        m = re.match(r"ok (0x[0-9a-f]+) visible (\d) iconic (\d) style (0x[0-9a-f]+) exstyle (0x[0-9a-f]+) "
                     r"pid (\d+) rect (-?\d+) (-?\d+) (-?\d+) (-?\d+) title ?(.*)$", answer)
        if not m:
            raise HarnessError(f"unexpected info answer {answer!r}")
        g = m.groups()
        return {"hwnd": int(g[0], 16), "visible": g[1] == "1", "iconic": g[2] == "1",
                "style": int(g[3], 16), "exstyle": int(g[4], 16), "pid": int(g[5]),
                "rect": tuple(int(v) for v in g[6:10]), "title": g[10]}

    def run(self, cmdline: str, timeout_ms: int = 30000) -> int:
        """Runs a Windows command line to its end; returns the full exit code."""
        answer = self.cmd(f"run {timeout_ms} {cmdline}", timeout=timeout_ms / 1000 + 15)
        if not answer.startswith("ok "):
            raise AssertionError(f"helper run {cmdline!r}: {answer}")
        return int(answer[3:])

    def wait_for(self, cls: str, timeout: float = 20.0, present: bool = True):
        """Waits until a window of the class exists (or, with present=False, is gone)."""
        deadline = time.monotonic() + timeout
        while True:
            hwnd = self.find(cls)
            if (hwnd is not None) == present:
                return hwnd
            if time.monotonic() > deadline:
                state = "appear" if present else "go away"
                raise AssertionError(f"no window of class {cls} did {state} within {timeout} s")
            time.sleep(0.1)

    def close(self):
        _unregister(self)
        if self.proc.alive():
            try:
                self.proc.popen.stdin.write(b"quit\n")
                self.proc.popen.stdin.flush()
                self.proc.popen.wait(3)
            except (BrokenPipeError, ValueError, OSError, subprocess.TimeoutExpired):
                pass
        self.proc.kill()
        for stream in (self.proc.popen.stdin, self.proc.popen.stdout):
            try:
                stream.close()
            except OSError:
                pass

    def __repr__(self):
        return f"Helper(pid {self.proc.pid})"


# ------------------------------------------------------------ local servers

class LocalHttpServer:
    """An HTTP server on a free loopback port, answering on its own threads
    with `handler`; the keyword arguments become attributes of the server that
    the handler reads (self.server.NAME), and `requests` starts empty."""

    def __init__(self, handler, **state):
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.httpd.daemon_threads = True
        self.httpd.requests = []
        for name, value in state.items():
            setattr(self.httpd, name, value)
        self.thread = threading.Thread(target=self.httpd.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
        self.thread.start()

    @property
    def base(self) -> str:
        return f"http://127.0.0.1:{self.httpd.server_address[1]}"

    @property
    def requests(self) -> list:
        return self.httpd.requests

    def requests_to(self, route: str) -> list:
        return [r for r in self.httpd.requests if r["path"].partition("?")[0] == route]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)


# -------------------------------------------------------------------- session

class Session:
    """One test's world: a fresh prefix, its processes, its log and registry."""

    def __init__(self, name: str, display: Display, template: Template, root: Path):
        self.name = name
        self.display = display
        self.dir = Path(root) / re.sub(r"[^\w.-]", "_", name)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.prefix = self.dir / "prefix"
        r = subprocess.run(["cp", "-a", str(template.prefix), str(self.prefix)], timeout=120,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if r.returncode != 0:
            raise HarnessError(f"copying the template prefix failed: {r.stderr.decode(errors='replace')}")
        (self.prefix / ".quillar-e2e-ready").unlink(missing_ok=True)
        self.env = wine_base_env(display, self.prefix)
        self.procs: list[Proc] = []
        self._helper: Helper | None = None
        self._count = 0
        self.failed = False
        self.closed = False
        _register(self)

    def use_display(self, display: Display):
        """Runs this session's programs on another display (before any starts)."""
        assert not self.procs and self._helper is None, "switch the display before starting programs"
        self.display = display
        self.env["DISPLAY"] = display.name

    # ------------------------------------------------------------- processes
    def start_windows(self, argv, env=None, label=None, pipes=False) -> Proc:
        """Starts `wine ARGV...` in the background."""
        self._count += 1
        label = label or Path(argv[0]).name
        out_path = self.dir / f"{self._count:02d}-{label}.out"
        full_env = dict(self.env)
        full_env.update(env or {})
        out = open(out_path, "wb")
        popen = subprocess.Popen(["wine"] + [str(a) for a in argv], env=full_env, cwd=self.dir,
                                 stdin=subprocess.PIPE if pipes else subprocess.DEVNULL,
                                 stdout=subprocess.PIPE if pipes else out, stderr=out)
        out.close()
        proc = Proc(popen, f"{label}#{self._count}", out_path)
        self.procs.append(proc)
        return proc

    def start_quillar(self, *args, env=None) -> Proc:
        """Starts quillar.exe with these arguments; `env` adds variables (e.g. KOVRA_LANG)."""
        exe = quillar_exe()
        if not exe.exists():
            raise SkipTest(f"quillar.exe not built: {exe}")
        return self.start_windows([str(exe), *args], env=env, label="quillar")

    def start_resident(self, *args, env=None, timeout=40.0) -> Proc:
        """Starts quillar.exe and waits until the resident program is up: its own
        (fresh) log has the start lines and its "KovraMain" window exists."""
        try:
            old_log = os.stat(self.log_path).st_ino
        except FileNotFoundError:
            old_log = None
        proc = self.start_quillar(*args, env=env)
        # An earlier run's log answers nothing: wait for the new file first.
        def fresh():
            try:
                return os.stat(self.log_path).st_ino != old_log
            except FileNotFoundError:
                return False
        deadline = time.monotonic() + timeout
        while not fresh():
            if not proc.alive():
                raise AssertionError(f"{proc.label} exited with {proc.popen.returncode} before opening its log")
            if time.monotonic() > deadline:
                raise AssertionError(f"{proc.label} opened no new log within {timeout} s")
            time.sleep(0.05)
        self.wait_log("settings: ", timeout=max(1.0, deadline - time.monotonic()), proc=proc)
        self.helper.wait_for("KovraMain", timeout=20)
        return proc

    def quit_resident(self, proc: Proc, timeout=20.0) -> int:
        """Posts WM_CLOSE to the "KovraMain" window; returns the exit code."""
        self.helper.ok(f"post KovraMain {WM_CLOSE:#x} 0 0")
        return proc.wait(timeout)

    def run_quillar(self, *args, env=None, timeout=30.0) -> int:
        """Runs quillar.exe to its end and returns the exit code."""
        return self.start_quillar(*args, env=env).wait(timeout)

    def wine(self, *args, timeout=60.0, env=None) -> subprocess.CompletedProcess:
        """Runs `wine ARGS...` (a built-in tool such as reg) to its end."""
        full_env = dict(self.env)
        full_env.update(env or {})
        return _run(["wine", *args], full_env, timeout, "wine " + " ".join(args[:2]), cwd=self.dir)

    @property
    def helper(self) -> Helper:
        if self._helper is None or not self._helper.proc.alive():
            self._helper = Helper(self)
            _register(self._helper)
        return self._helper

    # --------------------------------------------------------------- log
    def users_dir(self) -> Path:
        """This user's profile folder in the prefix."""
        users = self.prefix / "drive_c" / "users"
        own = users / getpass.getuser()
        if own.is_dir():
            return own
        found = [Path(p) for p in glob.glob(str(users / "*")) if Path(p).name != "Public"]
        if len(found) != 1:
            raise HarnessError(f"cannot tell the user's profile among {found}")
        return found[0]

    def local_appdata(self) -> Path:
        return self.users_dir() / "AppData" / "Local"

    @property
    def log_path(self) -> Path:
        return self.local_appdata() / "Kovra" / "kovra-log.txt"

    @property
    def previous_log_path(self) -> Path:
        return self.local_appdata() / "Kovra" / "kovra-log-previous.txt"

    def read_log_bytes(self, previous=False) -> bytes | None:
        try:
            return (self.previous_log_path if previous else self.log_path).read_bytes()
        except FileNotFoundError:
            return None

    def read_log(self, previous=False) -> list[str]:
        """The log's lines without their CRLF ([] when there is no log)."""
        data = self.read_log_bytes(previous)
        if not data:
            return []
        lines = data.decode("utf-8", errors="replace").split("\r\n")
        if lines and lines[-1] == "":
            lines.pop()
        return lines

    def read_previous_log(self) -> list[str]:
        return self.read_log(previous=True)

    @staticmethod
    def message(line: str) -> str:
        """A log line without its time prefix."""
        m = LOG_LINE_PREFIX.match(line)
        return line[m.end():] if m else line

    def messages(self, previous=False) -> list[str]:
        return [self.message(line) for line in self.read_log(previous)]

    def wait_log(self, pattern, timeout=30.0, start=0, proc: Proc | None = None) -> str:
        """Waits until a log message (without prefix) from line `start` on matches.

        `pattern` is a substring, or a compiled regex (searched). Returns the
        message. Fails at once when `proc` ends before the line appears."""
        deadline = time.monotonic() + timeout
        while True:
            msgs = self.messages()
            for msg in msgs[start:]:
                if (pattern.search(msg) if isinstance(pattern, re.Pattern) else pattern in msg):
                    return msg
            exited = proc is not None and not proc.alive()
            if exited or time.monotonic() > deadline:
                what = pattern.pattern if isinstance(pattern, re.Pattern) else pattern
                tail = "\n    ".join(msgs[-15:]) or "(no log)"
                why = f"{proc.label} exited with {proc.popen.returncode}" if exited else f"{timeout} s passed"
                raise AssertionError(f"log line {what!r} not seen ({why}); log ends:\n    {tail}")
            time.sleep(0.05)

    # ---------------------------------------------------------- registry
    def reg_query(self, key: str):
        """Values of a registry key as {name: (type, data)}; None when the key is missing.

        REG_DWORD and REG_QWORD data are ints, everything else the text reg prints."""
        r = self.wine("reg", "query", key, timeout=60)
        if r.returncode != 0:
            return None
        values = {}
        for line in r.stdout.decode("utf-8", errors="replace").splitlines():
            m = re.match(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$", line.rstrip("\r"))
            if not m:
                continue
            name, kind, data = m.group(1), m.group(2), m.group(3) or ""
            if kind in ("REG_DWORD", "REG_QWORD") and re.fullmatch(r"0x[0-9a-fA-F]+", data):
                data = int(data, 16)
            values[name] = (kind, data)
        return values

    def reg_value(self, key: str, name: str):
        values = self.reg_query(key) or {}
        return values.get(name)

    def reg_add(self, key: str, name: str, kind: str, data):
        """Adds or replaces one value (kind e.g. REG_DWORD, REG_SZ)."""
        r = self.wine("reg", "add", key, "/v", name, "/t", kind, "/d", str(data), "/f", timeout=60)
        if r.returncode != 0:
            raise HarnessError(f"reg add {key}\\{name} failed: {r.stderr.decode(errors='replace')}")

    # --------------------------------------------------------------- misc
    def screenshot(self, label: str) -> Path:
        return self.display.screenshot(shots_dir() / f"{self.name}-{label}.png")

    def close(self):
        if self.closed:
            return
        self.closed = True
        _unregister(self)
        try:
            if self._helper is not None:
                self._helper.close()
            for proc in self.procs:
                proc.kill()
            try:
                _wineserver_stop(self.env)
            except HarnessError as exc:
                print(f"harness: {self.name}: {exc}", file=sys.stderr)
        finally:
            keep = os.environ.get("QUILLAR_E2E_KEEP")
            if not (keep == "all" or (self.failed and keep == "1")):
                shutil.rmtree(self.prefix, ignore_errors=True)

    def __repr__(self):
        return f"Session({self.name})"


class Run:
    """One test run: the display and the template, shared by all sessions."""

    def __init__(self, width=1920, height=1080):
        tmp = os.environ.get("QUILLAR_E2E_TMP")
        self.own_root = not tmp
        self.root = Path(tmp or tempfile.mkdtemp(prefix="quillar-e2e-")).resolve()
        self.root.mkdir(parents=True, exist_ok=True)
        self.display = Display(width, height, log_dir=self.root)
        self.template = None
        self.sessions: list[Session] = []
        _register(self)

    def start(self):
        self.display.start()
        self.template = Template(self.display, self.root).boot()
        return self

    def session(self, name: str) -> Session:
        s = Session(name, self.display, self.template, self.root / "tests")
        self.sessions.append(s)
        return s

    def close(self):
        _unregister(self)
        if self.template:
            self.template.close()
        self.display.close()
        keep = os.environ.get("QUILLAR_E2E_KEEP") == "1" and any(s.failed for s in self.sessions)
        if self.own_root and not keep:
            shutil.rmtree(self.root, ignore_errors=True)


def selftest():
    """Proves the harness with the helper alone: python3 tests/e2e/harness.py."""
    run = Run().start()
    try:
        s = run.session("selftest")
        try:
            h = s.helper
            h.ok("open 1 200 150 400 300 popup")
            info = h.info("QuillarTestWindow")
            assert info and info["visible"] and info["rect"] == (200, 150, 600, 450), info
            px = run.display.pixel(300, 200)
            assert px == (60, 160, 60), px  # window 1 is painted green
            print("screenshot:", s.screenshot("window"))
            assert h.ok(f"mutex {MUTEX_NAME}") == "created"
            other = Helper(s)
            assert other.ok(f"mutex {MUTEX_NAME}") == "existed"
            other.close()
            assert h.run("cmd /c exit 1234") == 1234
            code = s.start_windows([str(helper_exe())], label="exitprobe", pipes=True)
            code.popen.communicate(b"quit 42\n", timeout=30)
            assert code.popen.returncode == 42, code.popen.returncode
            print("selftest passed")
        finally:
            s.close()
    finally:
        run.close()


if __name__ == "__main__":
    selftest()
