"""The HTTP client (WinHTTP under Wine) against a plain-HTTP server of the
test's own on 127.0.0.1, driven through quillar-nettest.exe. Nothing here
reaches the internet."""

from __future__ import annotations

import hashlib
import http.server
import json
import re
import socket
from pathlib import Path
from urllib.parse import quote, unquote

import harness
from harness import SkipTest, build_dir, winpath

USER_AGENT = re.compile(r"^Kovra/0\.9\.20 \(Windows; \+\S+\)$")
ANSWER_LIMIT = 4194304
RESULT = re.compile(r"^result (?P<ok>[01]) status (?P<status>-?\d+) bytes (?P<bytes>\d+) sha256 (?P<sha>[0-9a-f]{64})$")
PROGRESS = re.compile(r"^progress (\d+) (\d+)$")

_BLOCK = bytes((i * 31 + 7) % 251 for i in range(251))


def pattern(n: int, seed: int = 0) -> bytes:
    """n bytes that never repeat within a block, different per seed."""
    block = _BLOCK[seed % 251:] + _BLOCK[:seed % 251]
    return (block * (n // 251 + 1))[:n]


def sha(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


# --------------------------------------------------------------- the server

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _record(self, body: bytes):
        self.server.requests.append({
            "method": self.command, "path": self.path, "headers": dict(self.headers.items()), "body": body})

    def _send(self, status: int, body: bytes, length: int | None = None, extra=()):
        self.send_response(status)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.wfile.write(body)
        self.wfile.flush()

    def do_GET(self):
        self._record(b"")
        route, _, query = self.path.partition("?")
        parts = route.strip("/").split("/")
        seed = int(dict(p.partition("=")[::2] for p in query.split("&") if p).get("n", "0"))
        if parts[0] == "bytes":  # /bytes/N: N bytes with their length
            body = pattern(int(parts[1]), seed)
            self._send(200, body, len(body))
        elif parts[0] == "nolength":  # /nolength/N: ended by closing the connection
            self._send(200, pattern(int(parts[1]), seed))
        elif parts[0] == "chunked":  # /chunked/N: in chunks of up to 7000 bytes
            body = pattern(int(parts[1]), seed)
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            for at in range(0, len(body), 7000):
                piece = body[at:at + 7000]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif parts[0] == "drop":  # /drop/N: announces N bytes, sends half, hangs up
            n = int(parts[1])
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            self.wfile.write(pattern(n // 2))
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_WR)
            self.close_connection = True
        elif parts[0] == "badlength":  # /badlength/TEXT: ten bytes under "Content-Length: TEXT"
            self.send_response(200)
            self.send_header("Content-Length", unquote(parts[1]))
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            self.wfile.write(pattern(10))
            self.wfile.flush()
        else:
            self._send(404, self.server.not_found, len(self.server.not_found),
                       extra=[("Content-Type", "text/html")])

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self._record(body)
        echo = json.dumps({"method": self.command, "path": self.path, "length": len(body),
                           "sha256": sha(body), "headers": dict(self.headers.items())}).encode()
        self._send(201, echo, len(echo), extra=[("Content-Type", "application/json")])

    do_PUT = do_POST


class Server(harness.LocalHttpServer):
    def __init__(self):
        super().__init__(Handler, not_found=b"<html><body>404: no such page here</body></html>")

    def url(self, path: str) -> str:
        return self.base + path


# ------------------------------------------------------------- the program

def nettest_exe() -> Path:
    exe = build_dir() / "quillar-nettest.exe"
    if not exe.exists():
        raise SkipTest(f"quillar-nettest.exe not built: {exe}")
    return exe


class Outcome:
    def __init__(self, code: int, lines: list[str], log: list[str]):
        self.code = code
        self.lines = lines
        self.log = log

    def results(self) -> list[dict]:
        found = [RESULT.match(line) for line in self.lines]
        return [{"ok": m["ok"] == "1", "status": int(m["status"]), "bytes": int(m["bytes"]), "sha": m["sha"]}
                for m in found if m]

    def result(self) -> dict:
        r = self.results()
        assert len(r) == 1, self.lines
        return r[0]

    def progress(self) -> list[tuple[int, int]]:
        return [(int(m[1]), int(m[2])) for m in (PROGRESS.match(line) for line in self.lines) if m]

    def download_ok(self) -> bool:
        ends = [line for line in self.lines if line in ("result 0", "result 1")]
        assert len(ends) == 1, self.lines
        return ends[0] == "result 1"


def nettest(s, *args, timeout=90.0) -> Outcome:
    """Runs one quillar-nettest call; its log goes to a file of its own."""
    exe = nettest_exe()
    log = s.dir / f"net-log-{len(s.procs) + 1}.txt"
    proc = s.start_windows([str(exe), winpath(log), *args], label="nettest")
    code = proc.wait(timeout)
    lines = [line.rstrip("\r") for line in proc.output().splitlines()]
    assert code == 0, f"nettest {args[0]} exited with {code}: {lines[-5:]}"
    try:
        raw = log.read_bytes().decode("utf-8", errors="replace").split("\r\n")
    except FileNotFoundError:
        raw = []
    return Outcome(code, lines, [s.message(line) for line in raw if line])


def free_port() -> int:
    """A port on which nothing listens (bound once, then released)."""
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


# ------------------------------------------------------------------- tests

def test_request_of_a_missing_page_returns_true_with_404_and_its_body(s):
    with Server() as server:
        url = server.url("/no/such/page?q=New%20York&format=jsonv2")
        out_file = s.dir / "answer.bin"
        run = nettest(s, "get", url, winpath(out_file))
        r = run.result()
        assert (r["ok"], r["status"]) == (True, 404), run.lines
        assert out_file.read_bytes() == server.httpd.not_found
        assert r["bytes"] == len(server.httpd.not_found) and r["sha"] == sha(server.httpd.not_found)
        assert run.log == [], run.log  # a status is not a failure of the client

        assert len(server.requests) == 1, server.requests
        req = server.requests[0]
        assert req["method"] == "GET"
        assert req["path"] == "/no/such/page?q=New%20York&format=jsonv2", req["path"]
        agent = req["headers"].get("User-Agent", "")
        assert USER_AGENT.match(agent), agent


def test_post_sends_its_body_and_extra_header_lines(s):
    with Server() as server:
        body = b"q=Z%C3%BCrich&limit=5&" + pattern(70000)
        body_file = s.dir / "body.bin"
        body_file.write_bytes(body)
        out_file = s.dir / "echo.json"
        run = nettest(s, "request", "POST", server.url("/echo?x=1"), winpath(body_file),
                      "Content-Type: application/x-www-form-urlencoded|X-Quillar-Test: snow", winpath(out_file))
        r = run.result()
        assert (r["ok"], r["status"]) == (True, 201), run.lines
        echo = json.loads(out_file.read_text())
        assert echo["method"] == "POST" and echo["path"] == "/echo?x=1", echo
        assert echo["length"] == len(body) and echo["sha256"] == sha(body), echo
        headers = {k.lower(): v for k, v in echo["headers"].items()}
        assert headers["content-type"] == "application/x-www-form-urlencoded", headers
        assert "x-quillar-test" in headers, headers
        assert headers["content-length"] == str(len(body)), headers
        assert USER_AGENT.match(headers["user-agent"]), headers

        # An empty body is sent as none at all.
        run = nettest(s, "request", "PUT", server.url("/empty"), "-", "-", winpath(out_file))
        assert run.result()["status"] == 201, run.lines
        echo = json.loads(out_file.read_text())
        assert echo["method"] == "PUT" and echo["length"] == 0, echo


def test_answer_of_exactly_4_mib_is_kept_and_one_byte_more_breaks_off(s):
    with Server() as server:
        run = nettest(s, "get", server.url(f"/bytes/{ANSWER_LIMIT}"))
        r = run.result()
        assert (r["ok"], r["status"], r["bytes"]) == (True, 200, ANSWER_LIMIT), run.lines
        assert r["sha"] == sha(pattern(ANSWER_LIMIT))
        assert run.log == [], run.log

        url = server.url(f"/bytes/{ANSWER_LIMIT + 1}")
        run = nettest(s, "get", url)
        r = run.result()
        assert (r["ok"], r["status"]) == (False, 0), run.lines
        assert r["bytes"] <= ANSWER_LIMIT, r
        assert len(run.log) == 1 and re.fullmatch(rf"http: GET {re.escape(url)} — the answer broke off \(\d+\)",
                                                  run.log[0]), run.log


def test_bad_urls_and_refused_connections_fail_with_their_lines(s):
    long_host = "http://" + "h" * 256 + "/x"
    run = nettest(s, "get", long_host)
    r = run.result()
    assert (r["ok"], r["status"], r["bytes"]) == (False, 0, 0), run.lines
    assert run.log == [f"http: bad url {long_host}"], run.log

    run = nettest(s, "get", "ftp://127.0.0.1/file")
    assert run.log == ["http: bad url ftp://127.0.0.1/file"], run.log

    url = f"http://127.0.0.1:{free_port()}/nobody/home"
    run = nettest(s, "get", url)
    r = run.result()
    assert (r["ok"], r["status"]) == (False, 0), run.lines
    assert len(run.log) == 1 and re.fullmatch(rf"http: GET {re.escape(url)} failed \(\d+\)", run.log[0]), run.log


def test_download_replaces_an_older_file_and_reports_progress(s):
    size = 3 * 1024 * 1024 + 17
    with Server() as server:
        target = s.dir / "theme.jpg"
        target.write_bytes(b"the older picture")
        url = server.url(f"/bytes/{size}?n=5")
        run = nettest(s, "download", url, winpath(target))
        assert run.download_ok(), run.lines[-5:] + run.log
        assert target.read_bytes() == pattern(size, 5)
        assert not Path(str(target) + ".part").exists()
        assert run.log == [], run.log

        steps = run.progress()
        assert len(steps) >= 2, steps
        assert all(announced == size for _, announced in steps), steps[:5]
        received = [r for r, _ in steps]
        assert all(b > a for a, b in zip(received, received[1:])), "progress only grows"
        assert received[0] > 0 and received[-1] == size, (received[0], received[-1])


def test_download_cut_off_halfway_keeps_the_older_file_and_leaves_no_part(s):
    size = 1000000
    with Server() as server:
        target = s.dir / "setup.exe"
        target.write_bytes(b"previous version")
        url = server.url(f"/drop/{size}")
        run = nettest(s, "download", url, winpath(target))
        assert not run.download_ok(), run.lines[-5:]
        assert run.log[-1] == f"download {url}: HTTP 200, {size // 2} of {size} bytes", run.log
        assert target.read_bytes() == b"previous version"
        assert not Path(str(target) + ".part").exists()
        steps = run.progress()
        assert steps and steps[-1] == (size // 2, size), steps[-3:]


def test_download_without_content_length_succeeds(s):
    with Server() as server:
        for kind, size in (("nolength", 300001), ("chunked", 123457), ("nolength", 0)):
            target = s.dir / f"{kind}-{size}.bin"
            run = nettest(s, "download", server.url(f"/{kind}/{size}?n=3"), winpath(target))
            assert run.download_ok(), (kind, run.lines[-5:], run.log)
            assert target.read_bytes() == pattern(size, 3), kind
            assert not Path(str(target) + ".part").exists()
            steps = run.progress()
            assert all(announced == 0 for _, announced in steps), steps[:5]
            assert (steps[-1][0] if steps else 0) == size, (kind, steps[-3:])


def test_download_of_an_error_page_or_into_a_missing_folder_leaves_nothing(s):
    with Server() as server:
        target = s.dir / "catalog.json"
        url = server.url("/missing.json")
        run = nettest(s, "download", url, winpath(target))
        assert not run.download_ok()
        n = len(server.httpd.not_found)
        assert run.log == [f"download {url}: HTTP 404, {n} of {n} bytes"], run.log
        assert not target.exists() and not Path(str(target) + ".part").exists()

        nowhere = s.dir / "no-such-folder" / "file.bin"
        run = nettest(s, "download", server.url("/bytes/10"), winpath(nowhere))
        assert not run.download_ok()
        assert len(run.log) == 1 and re.fullmatch(
            rf"download: cannot write {re.escape(winpath(nowhere))}\.part \(\d+\)", run.log[0], re.IGNORECASE), run.log
        assert len(server.requests) == 1, "nothing is fetched without a file to write"


def test_download_stops_at_its_limit_and_keeps_the_older_file(s):
    limit = 100000
    with Server() as server:
        # Announced too long (refused before the body), unannounced, chunked.
        for kind, size in (("bytes", limit + 1), ("nolength", limit + 1), ("chunked", 3 * limit)):
            target = s.dir / f"limit-{kind}.jpg"
            target.write_bytes(b"the older picture")
            url = server.url(f"/{kind}/{size}")
            run = nettest(s, "download", url, winpath(target), str(limit))
            assert not run.download_ok(), (kind, run.lines[-5:])
            assert run.log == [f"download {url}: larger than the limit of {limit} bytes"], (kind, run.log)
            assert target.read_bytes() == b"the older picture", kind
            assert not Path(str(target) + ".part").exists(), kind
            steps = run.progress()
            assert all(received <= limit for received, _ in steps), (kind, steps[-3:])
            if kind == "bytes":
                assert steps == [], steps[:3]

        # Exactly the limit is a whole file.
        for kind in ("bytes", "nolength"):
            target = s.dir / f"exact-{kind}.bin"
            run = nettest(s, "download", server.url(f"/{kind}/{limit}"), winpath(target), str(limit))
            assert run.download_ok(), (kind, run.lines[-5:], run.log)
            assert target.read_bytes() == pattern(limit), kind
            assert run.log == [], run.log


def test_download_with_a_malformed_length_fails(s):
    # Each of these once read as "no length" or as the ten bytes really sent.
    with Server() as server:
        for value in ("10abc", "abc", "+10", "-5", "99999999999999999999999"):
            target = s.dir / "malformed.bin"
            target.write_bytes(b"the older file")
            url = server.url("/badlength/" + quote(value, safe=""))
            run = nettest(s, "download", url, winpath(target))
            assert not run.download_ok(), (value, run.lines[-5:])
            assert target.read_bytes() == b"the older file", value
            assert not Path(str(target) + ".part").exists(), value
            ours = [f'download {url}: malformed Content-Length "{value}"']
            # The system's HTTP stack may refuse such an answer before we see it.
            refused = (len(run.log) == 2 and run.log[0].startswith(f"http: GET {url} failed")
                       and run.log[1] == f"download {url}: HTTP 0, 0 of 0 bytes")
            assert run.log == ours or refused, (value, run.log)


def test_parallel_requests_on_worker_threads_keep_their_answers_apart(s):
    count = 12
    with Server() as server:
        run = nettest(s, "parallel", str(count), server.url("/bytes/65537"))
        results = run.results()
        assert len(results) == count, run.lines
        for i, r in enumerate(results):
            assert (r["ok"], r["status"], r["bytes"]) == (True, 200, 65537), (i, r)
            assert r["sha"] == sha(pattern(65537, i)), f"worker {i} got another worker's answer"
        assert sorted(req["path"] for req in server.requests) == sorted(
            f"/bytes/65537?n={i}" for i in range(count))
        assert run.log == [], run.log
