#!/usr/bin/env python3
"""Measures what Quillar costs the machine, under Wine on a virtual display.

    python3 tools/perf.py [--seconds 30] [--cases full,garland,idle,hidden,floor] [--width 1920 --height 1080]
                          [--program OTHER/quillar.exe]

Needs the built trees (bash tools/build.sh all); --program measures another
build of quillar.exe (an older one, say) against this tree's floor. Every case gets a fresh Wine
prefix on one private Xvfb display of the given size:

  full     the default settings: snow falling, drifts, visitors
  garland  the snow paused with the garland on: little moves but the bulbs
  idle     the snow paused, garland off: no frames should be drawn at all
  hidden   the default settings with a full-screen window over the monitor:
           the snow is hidden by smart pause and only its checks run
  floor    quillar-floor.exe handing one saved full-screen frame of snow to a
           layered window at 30 fps and drawing nothing: what the window
           system costs for the picture alone

For the program's cases the window runs between two of its own statistics
lines (it writes one every 30 s), so its fps and work per frame are its own
figures for exactly that time; the idle and hidden cases are measured
for --seconds after a settling time. CPU is read from /proc for the program,
for the X server and for Wine's own processes of the prefix (wineserver,
explorer, services), each in % of one core, and memory as the program's
resident set. "cost/frame" is the CPU time of all three per frame shown.
"""

from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.dont_write_bytecode = True

import harness  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
STATS = re.compile(r"^stats: ([\d.]+) fps, ([\d.]+) ms/frame work, CPU ([\d.]+)% of one core")


def cpu_seconds(pid: int) -> float:
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / TICK  # utime, stime


def rss_mb(pid: int) -> float:
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return 0.0


def prefix_pids(prefix: Path, exclude: set[int]) -> list[int]:
    """Wine's own processes of this prefix (the server, explorer, services)."""
    want = f"WINEPREFIX={prefix}".encode()
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) in exclude:
            continue
        try:
            if want in (entry / "environ").read_bytes().split(b"\0"):
                pids.append(int(entry.name))
        except OSError:
            continue
    return pids


class Sample:
    def __init__(self, program: int, xserver: int, prefix: Path):
        self.program, self.xserver, self.prefix = program, xserver, prefix
        self.t = time.monotonic()
        self.p = cpu_seconds(program)
        self.x = cpu_seconds(xserver)
        self.wine_pids = prefix_pids(prefix, {program})
        self.w = sum(cpu_seconds(pid) for pid in self.wine_pids)

    def since(self, start: "Sample") -> dict:
        length = self.t - start.t
        # Wine's processes are the same ones at both ends (they live as long as the prefix).
        w = sum(cpu_seconds(pid) for pid in start.wine_pids) - start.w
        return {"length": length, "program": (self.p - start.p) / length * 100,
                "x": (self.x - start.x) / length * 100, "wine": w / length * 100}


def stats_lines(s: harness.Session) -> list[tuple[float, float]]:
    out = []
    for m in s.messages():
        hit = STATS.match(m)
        if hit:
            out.append((float(hit.group(1)), float(hit.group(2))))
    return out


def run_program(run: harness.Run, name: str, settings: dict, seconds: float) -> dict:
    s = run.session(f"perf-{name}")
    try:
        s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)
        for key, value in settings.items():
            s.reg_add(r"HKCU\Software\Kovra", key, "REG_DWORD", value)
        proc = s.start_resident()
        xpid = run.display.proc.pid
        if name in ("idle", "hidden"):
            if name == "hidden":
                w, h = run.display.size[:2]
                s.helper.ok(f"open 1 0 0 {w} {h} popup")
                s.wait_log(re.compile(r"full-screen app: 1"), timeout=20, proc=proc)
            time.sleep(10.0)  # start-up and the catalogue/forecast timers settle
            start = Sample(proc.pid, xpid, s.prefix)
            time.sleep(seconds)
            end = Sample(proc.pid, xpid, s.prefix)
            r = end.since(start)
            r.update(fps=0.0, work=0.0, frames=0.0)
        else:
            # From the end of the first statistics period to the end of the second.
            deadline = time.monotonic() + 120
            while len(stats_lines(s)) < 1 and time.monotonic() < deadline:
                time.sleep(0.05)
            start = Sample(proc.pid, xpid, s.prefix)
            while len(stats_lines(s)) < 2 and time.monotonic() < deadline:
                time.sleep(0.05)
            end = Sample(proc.pid, xpid, s.prefix)
            lines = stats_lines(s)
            if len(lines) < 2:
                raise SystemExit(f"{name}: the program wrote no statistics line within 120 s")
            fps, work = lines[1]
            r = end.since(start)
            r.update(fps=fps, work=work, frames=fps * r["length"])
        r["rss"] = rss_mb(proc.pid)
        r["screenshot"] = str(s.screenshot("perf"))
        s.quit_resident(proc)
        return r
    finally:
        s.close()


def saved_frame(width: int, height: int, out: Path) -> Path:
    """One frame of full snowfall from the program's own drawing code (the
    preview tool steps the same world and painter)."""
    preview = ROOT / "build" / "native" / "preview"
    if not preview.exists():
        raise SystemExit(f"{preview} is missing: bash tools/build.sh native")
    subprocess.run([str(preview), str(out), "1", str(width), str(height), "1", "1", "--overlay"], check=True,
                   stdout=subprocess.DEVNULL)
    frames = sorted(out.glob("frame-*.png"))
    if not frames:
        raise SystemExit("the preview tool wrote no frame")
    return frames[-1]


def run_floor(run: harness.Run, seconds: float, picture: Path) -> dict:
    exe = harness.build_dir() / "quillar-floor.exe"
    if not exe.exists():
        raise SystemExit(f"{exe} is missing: bash tools/build.sh win")
    s = run.session("perf-floor")
    try:
        windows_path = "Z:" + str(picture).replace("/", "\\")
        proc = s.start_windows([str(exe), windows_path, str(seconds + 10)], label="floor")
        time.sleep(5.0)
        start = Sample(proc.pid, run.display.proc.pid, s.prefix)
        time.sleep(seconds)
        end = Sample(proc.pid, run.display.proc.pid, s.prefix)
        r = end.since(start)
        r["rss"] = rss_mb(proc.pid)
        proc.wait(30)
        out = proc.output()
        hit = re.search(r"floor: (\d+) frames in ([\d.]+) s", out)
        if not hit:
            raise SystemExit(f"floor program: {out!r}")
        fps = int(hit.group(1)) / float(hit.group(2))
        r.update(fps=fps, work=0.0, frames=fps * r["length"])
        return r
    finally:
        s.close()


def main(argv) -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=float, default=30.0, help="length of the idle and floor windows")
    ap.add_argument("--cases", default="full,garland,idle,hidden,floor")
    ap.add_argument("--width", type=int, default=1920)
    ap.add_argument("--height", type=int, default=1080)
    ap.add_argument("--program", type=Path, help="another quillar.exe to measure")
    args = ap.parse_args(argv)
    if args.program:
        program = args.program.resolve()
        harness.quillar_exe = lambda: program
    os.environ.setdefault("QUILLAR_WIN_BUILD", str(ROOT / "build" / "win"))
    cases = [c.strip() for c in args.cases.split(",") if c.strip()]

    run = harness.Run(args.width, args.height)
    results = {}
    try:
        run.start()
        for case in cases:
            if case == "full":
                results[case] = run_program(run, case, {}, args.seconds)
            elif case == "garland":
                results[case] = run_program(run, case, {"Paused": 1, "Garland": 1}, args.seconds)
            elif case == "idle":
                results[case] = run_program(run, case, {"Paused": 1, "Garland": 0}, args.seconds)
            elif case == "hidden":
                results[case] = run_program(run, case, {}, args.seconds)
            elif case == "floor":
                with tempfile.TemporaryDirectory() as tmp:
                    results[case] = run_floor(run, args.seconds, saved_frame(args.width, args.height, Path(tmp)))
            else:
                raise SystemExit(f"unknown case {case}")
            r = results[case]
            print(f"{case}: done ({r['length']:.0f} s)", file=sys.stderr, flush=True)
    finally:
        run.close()

    print(f"{args.width}x{args.height}, {os.cpu_count()} cores; CPU in % of one core")
    print(f"{'case':8} {'fps':>5} {'work ms':>8} {'program':>8} {'X':>6} {'wine':>6} {'RSS MB':>7} {'cost/frame ms':>14}")
    for case, r in results.items():
        total = r["program"] + r["x"] + r["wine"]
        per_frame = total / 100 * r["length"] / r["frames"] * 1000 if r["frames"] else 0.0
        r["per_frame"] = per_frame
        print(f"{case:8} {r['fps']:5.1f} {r['work']:8.2f} {r['program']:8.1f} {r['x']:6.1f} {r['wine']:6.1f} "
              f"{r['rss']:7.1f} {per_frame:14.2f}")
    floor = results.get("floor", {}).get("per_frame")
    if floor:
        for case in ("full", "garland"):
            if case in results and results[case]["frames"]:
                print(f"{case} / floor per frame: {results[case]['per_frame'] / floor:.2f}")
    if "full" in results and "garland" in results and results["full"]["per_frame"]:
        print(f"garland / full per frame: {results['garland']['per_frame'] / results['full']['per_frame']:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
