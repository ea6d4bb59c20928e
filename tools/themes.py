#!/usr/bin/env python3
"""Turns the wallpaper themes in assets/wallpapers/ into the folders the program and the theme
server use, and checks the committed artwork.

    python3 tools/themes.py installed OUT            the installed "Wallpapers" folder
    python3 tools/themes.py hosted OUT [--base URL]  the static folder the theme server publishes
    python3 tools/themes.py serve [DIR] [--port N] [--delay-ms N] [--corrupt|--drop|--oversize PIECE]
    python3 tools/themes.py check                    exits 1 when the artwork has a fault

Every digest and size in themes.json is computed from the files, never typed. Hosted file names
carry the first 8 hex digits of the file's SHA-256, so a changed picture gets a new URL and no
cache can serve stale bytes.
"""

import argparse
import hashlib
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time

# Where the published catalogue lives (a GitHub Pages folder); the program's built-in base.
BUILTIN_BASE = "https://quillar.github.io/themes/"

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ART = os.path.join(ROOT, "assets", "wallpapers")
SOURCE = os.path.join(ART, "themes.in.json")
PHASES = ["dawn", "day", "golden", "sunset", "blue", "night"]
LANGUAGES = ["uk", "en", "de", "pl", "es", "fr", "it"]
ID_RE = re.compile(r"[A-Za-z0-9_-][A-Za-z0-9._-]{0,63}")
PICTURE_SIZE = (2560, 1440)
MAX_PICTURE_BYTES = 1_500_000
THUMB_SIZE = (480, 270)


def id_acceptable(tid):
    """The program drops any other id: it is also a Windows file-name stem, so no trailing dot
    (Windows would drop it) and no device name such as "con" or "lpt1" before the first dot."""
    if not ID_RE.fullmatch(tid) or tid.endswith("."):
        return False
    stem = tid.split(".", 1)[0].lower()
    return stem not in ("con", "prn", "aux", "nul") and not re.fullmatch(r"(com|lpt)[1-9]", stem)


def load_source():
    with open(SOURCE, encoding="utf-8") as f:
        return json.load(f)["themes"]


def picture(theme_id, phase):
    return os.path.join(ART, theme_id, "%s-%s.jpg" % (theme_id, phase))


def thumbnail(theme_id):
    return os.path.join(ART, theme_id, "%s-thumb.jpg" % theme_id)


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def hosted_name(theme_id, stem, sha):
    return "%s/%s-%s-%s.jpg" % (theme_id, theme_id, stem, sha[:8])


def catalogue(base):
    """The catalogue for `base`, and the list of (source file, path relative to base)."""
    themes, files = [], []
    for src in load_source():
        tid = src["id"]
        entry = {"id": tid, "title": {lang: src["title"][lang] for lang in LANGUAGES}, "cover": src["cover"]}
        thumb = thumbnail(tid)
        thumb_sha = digest(thumb)
        entry["thumb"] = hosted_name(tid, "thumb", thumb_sha)
        entry["thumbSha256"] = thumb_sha
        entry["thumbSize"] = os.path.getsize(thumb)  # not read by the program; for whoever checks the folder
        files.append((thumb, entry["thumb"]))
        phases, total = {}, 0
        for phase in PHASES:
            path = picture(tid, phase)
            sha = digest(path)
            size = os.path.getsize(path)
            phases[phase] = {"path": hosted_name(tid, phase, sha), "sha256": sha, "size": size}
            files.append((path, phases[phase]["path"]))
            total += size
        entry["size"] = total
        entry["files"] = phases
        themes.append(entry)
    return {"version": 1, "base": base, "themes": themes}, files


def write_json(path, data):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        json.dump(data, f, ensure_ascii=False, indent=2)
        f.write("\n")


def copy_into(out, rel_paths):
    """Copies (source, relative target) pairs under `out`, leaving no other .jpg in the folders
    it writes to, so a re-run never keeps pictures that are no longer listed."""
    wanted = {}
    for src, rel in rel_paths:
        dst = os.path.join(out, *rel.split("/"))
        wanted.setdefault(os.path.dirname(dst), set()).add(os.path.basename(dst))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)
    for folder, names in wanted.items():
        for name in os.listdir(folder):
            if name.endswith(".jpg") and name not in names:
                os.remove(os.path.join(folder, name))


def cmd_installed(args):
    data, _ = catalogue(BUILTIN_BASE)
    os.makedirs(args.out, exist_ok=True)
    write_json(os.path.join(args.out, "themes.json"), data)
    pairs = [(thumbnail(t["id"]), "thumbs/%s.jpg" % t["id"]) for t in load_source()]
    for t in load_source():
        if t.get("builtin"):
            pairs += [(picture(t["id"], ph), "times/%s-%s.jpg" % (t["id"], ph)) for ph in PHASES]
    copy_into(args.out, pairs)
    print("installed wallpapers: %s (%d themes, %d files)" % (args.out, len(data["themes"]), len(pairs) + 1))
    return 0


def cmd_hosted(args):
    base = args.base if args.base.endswith("/") else args.base + "/"
    data, files = catalogue(base)
    os.makedirs(args.out, exist_ok=True)
    write_json(os.path.join(args.out, "themes.json"), data)
    copy_into(args.out, files)
    print("hosted themes: %s (base %s, %d themes, %d files)" % (args.out, base, len(data["themes"]), len(files) + 1))
    return 0


def cmd_serve(args):
    """Serves DIR, or without one a hosted folder built for this very address. The fault options
    take a piece of a request path and spoil the first answer to a path that contains it."""
    delay = args.delay_ms / 1000.0
    chunk = 32 * 1024
    faults = {"corrupt": list(args.corrupt), "drop": list(args.drop), "oversize": list(args.oversize)}
    lock = threading.Lock()

    def fault_for(path):
        with lock:
            for kind, pieces in faults.items():
                for piece in pieces:
                    if piece in path:
                        pieces.remove(piece)
                        return kind
        return None

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **kw):
            super().__init__(*a, directory=folder, **kw)

        def log_message(self, fmt, *a):
            print("request: %s" % (fmt % a), flush=True)

        def send_body(self, data, length):
            self.send_response(200)
            self.send_header("Content-Type", "image/jpeg")
            if length is not None:
                self.send_header("Content-Length", str(length))
            self.end_headers()
            for at in range(0, len(data), chunk):
                self.wfile.write(data[at:at + chunk])
                self.wfile.flush()
                if delay > 0:
                    time.sleep(delay)

        def do_GET(self):
            fault = fault_for(self.path)
            if fault is None:
                return super().do_GET()
            path = self.translate_path(self.path)
            if not os.path.isfile(path):
                return self.send_error(404)
            with open(path, "rb") as f:
                data = f.read()
            print("fault: %s %s" % (fault, self.path), flush=True)
            self.close_connection = True
            if fault == "corrupt":  # the same length, one byte off
                data = data[:-1] + bytes([data[-1] ^ 0xFF])
                self.send_body(data, len(data))
            elif fault == "drop":  # half of the announced length, then the connection ends
                self.send_body(data[:len(data) // 2], len(data))
            else:  # twice the picture and no length: only a limit stops it
                self.send_body(data + data, None)

        def copyfile(self, source, outputfile):
            if delay <= 0:
                return super().copyfile(source, outputfile)
            # Slow bodies let a test watch a progress bar move.
            while True:
                block = source.read(chunk)
                if not block:
                    break
                outputfile.write(block)
                outputfile.flush()
                time.sleep(delay)

        def end_headers(self):
            self.send_header("Cache-Control", "no-cache")
            super().end_headers()

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    address = "http://127.0.0.1:%d/" % server.server_address[1]
    folder = args.dir
    if folder is None:
        folder = args.out
        data, files = catalogue(address)
        os.makedirs(folder, exist_ok=True)
        write_json(os.path.join(folder, "themes.json"), data)
        copy_into(folder, files)
    print("serving %s on %s (delay %d ms per %d KiB)" % (folder, address, args.delay_ms, chunk // 1024),
          flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


def identify(path):
    r = subprocess.run(["identify", "-format", "%m %w %h\n", path], capture_output=True, text=True)
    if r.returncode != 0 or not r.stdout.strip():
        return None
    kind, w, h = r.stdout.splitlines()[0].split()
    return kind, int(w), int(h)


def cmd_check(_args):
    faults = []
    try:
        themes = load_source()
    except (OSError, ValueError, KeyError) as e:
        print("themes check: %s unreadable (%s)" % (SOURCE, e))
        return 1
    ids = [t.get("id", "") for t in themes]
    if len(set(ids)) != len(ids):
        faults.append("theme ids repeat: %s" % ids)
    if sum(1 for t in themes if t.get("builtin")) != 1:
        faults.append("exactly one theme must be built in")
    for t in themes:
        tid = t.get("id", "")
        if not id_acceptable(tid):
            faults.append("%r: not an acceptable id" % tid)
            continue
        if t.get("cover") not in PHASES:
            faults.append("%s: cover %r is no phase" % (tid, t.get("cover")))
        for lang in LANGUAGES:
            if not t.get("title", {}).get(lang, "").strip():
                faults.append("%s: no %s title" % (tid, lang))
        for phase in PHASES:
            path = picture(tid, phase)
            if not os.path.isfile(path):
                faults.append("%s: %s missing" % (tid, os.path.relpath(path, ROOT)))
                continue
            size = os.path.getsize(path)
            if size > MAX_PICTURE_BYTES:
                faults.append("%s-%s: %d bytes, more than %d" % (tid, phase, size, MAX_PICTURE_BYTES))
            info = identify(path)
            if info != ("JPEG",) + PICTURE_SIZE:
                faults.append("%s-%s: %s, not a %dx%d JPEG" % ((tid, phase, info) + PICTURE_SIZE))
        path = thumbnail(tid)
        if not os.path.isfile(path):
            faults.append("%s: thumbnail missing" % tid)
        elif identify(path) != ("JPEG",) + THUMB_SIZE:
            faults.append("%s thumbnail: %s, not a %dx%d JPEG" % ((tid, identify(path)) + THUMB_SIZE))
    for f in faults:
        print("themes check: " + f)
    print("themes check: %d themes, %s" % (len(themes), "%d faults" % len(faults) if faults else "all good"))
    return 1 if faults else 0


def main(argv):
    ap = argparse.ArgumentParser(description="Wallpaper theme folders and checks.")
    sub = ap.add_subparsers(dest="command", required=True)
    p = sub.add_parser("installed", help="write the installed wallpapers folder")
    p.add_argument("out")
    p.set_defaults(run=cmd_installed)
    p = sub.add_parser("hosted", help="write the folder the theme server publishes")
    p.add_argument("out")
    p.add_argument("--base", default=BUILTIN_BASE, help="URL the folder is served at")
    p.set_defaults(run=cmd_hosted)
    p = sub.add_parser("serve", help="serve a folder (by default the hosted one, built for it) on 127.0.0.1")
    p.add_argument("dir", nargs="?", help="a folder written by 'hosted'; without one it is built first")
    p.add_argument("--out", default=os.path.join(ROOT, "build", "themes-hosted"),
                   help="where the hosted folder is built when no DIR is given")
    p.add_argument("--port", type=int, default=8642, help="0 takes a free one (the first line says which)")
    p.add_argument("--delay-ms", type=int, default=0, help="pause after every 32 KiB of a body")
    p.add_argument("--corrupt", action="append", default=[], metavar="PIECE",
                   help="the first file whose path contains PIECE comes with one byte changed")
    p.add_argument("--drop", action="append", default=[], metavar="PIECE",
                   help="the first such file breaks off after half of its announced length")
    p.add_argument("--oversize", action="append", default=[], metavar="PIECE",
                   help="the first such file comes twice over, without a length")
    p.set_defaults(run=cmd_serve)
    p = sub.add_parser("check", help="check the committed artwork")
    p.set_defaults(run=cmd_check)
    args = ap.parse_args(argv)
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
