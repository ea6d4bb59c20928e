#!/usr/bin/env python3
"""Writes the static folder a release is published from: the update answer with the setup file
beside it, and the hosted themes.

    python3 tools/release.py OUT [--setup FILE] [--base URL] [--version V] [--no-themes]

OUT/update/windows.json   {"version": V, "url": BASE + "update/Quillar-Setup-V.exe", "sha256": ...}
OUT/update/Quillar-Setup-V.exe   a copy of the setup file (default build/win/Quillar-Setup.exe)
OUT/themes/               what `tools/themes.py hosted` writes, for BASE + "themes/"

The program asks BASE's host for "/update/windows.json?v=<its version>"; the query only keeps
caches apart, a static host ignores it. V defaults to the project's version in CMakeLists.txt,
the digest is computed from the copied file, never typed. Publishing a release is copying OUT
to the static host (the built-in one is https://quillar.github.io/). The setup file's name
carries its version, so no cache hands out an older setup under a newer answer.
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILTIN_BASE = "https://quillar.github.io/"
VERSION_RE = re.compile(r"[0-9]+(\.[0-9]+)*")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        m = re.search(r"project\(Quillar VERSION (\d+(?:\.\d+)*)", f.read())
    return m.group(1)


def write_update(out, setup, base, version):
    """Writes OUT/update/ and returns the answer it holds."""
    if not VERSION_RE.fullmatch(version):
        raise ValueError("version %r: digits and dots only" % version)
    if not base.endswith("/"):
        base += "/"
    folder = os.path.join(out, "update")
    os.makedirs(folder, exist_ok=True)
    name = "Quillar-Setup-%s.exe" % version
    target = os.path.join(folder, name)
    shutil.copyfile(setup, target)
    with open(target, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    answer = {"version": version, "url": base + "update/" + name, "sha256": digest}
    with open(os.path.join(folder, "windows.json"), "w", encoding="utf-8") as f:
        json.dump(answer, f, indent=2)
        f.write("\n")
    return answer


def main(argv):
    ap = argparse.ArgumentParser(description="The static folder of a release.")
    ap.add_argument("out")
    ap.add_argument("--setup", default=os.path.join(ROOT, "build", "win", "Quillar-Setup.exe"))
    ap.add_argument("--base", default=BUILTIN_BASE, help="URL the folder is served at")
    ap.add_argument("--version", default=None)
    ap.add_argument("--no-themes", action="store_true")
    args = ap.parse_args(argv)
    answer = write_update(args.out, args.setup, args.base, args.version or project_version())
    print("update: %s %s (sha256 %s)" % (answer["version"], answer["url"], answer["sha256"]))
    if not args.no_themes:
        base = args.base if args.base.endswith("/") else args.base + "/"
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "themes.py"), "hosted",
                        os.path.join(args.out, "themes"), "--base", base + "themes/"], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
