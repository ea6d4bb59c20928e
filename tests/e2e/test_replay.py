"""A run recorded under Wine, stepped again natively through the same frame code."""

from __future__ import annotations

import re
import subprocess
import time

from harness import REPO_ROOT, SkipTest, winpath

WM_COMMAND = 0x0111
COUNTS = re.compile(r"flakes (\d+), drifts (\d+), windows \d+, balls (\d+), snowmen (\d+)")


def test_recorded_run_replays_to_the_same_snow(s):
    preview = REPO_ROOT / "build" / "native" / "preview"
    if not preview.exists():
        raise SkipTest(f"preview not built: {preview}")
    recording = s.dir / "run.rec"
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident(env={"KOVRA_RECORD": winpath(recording)})
    s.wait_log("recording frames to", timeout=10, proc=proc)
    # Commands and clicks between frames belong to the recording too.
    time.sleep(4)
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} 124 0")  # Santa
    time.sleep(4)
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} 115 0")  # shovel
    live = s.wait_log("stats: ", timeout=60, proc=proc)
    assert s.quit_resident(proc) == 0

    out_dir = s.dir / "frames"
    out_dir.mkdir()
    r = subprocess.run([str(preview), "--replay", str(recording), str(out_dir), "--every", "150"],
                       capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, r.stdout[-2000:] + r.stderr[-2000:]
    replayed = [line[len("replay "):] for line in r.stdout.splitlines() if line.startswith("replay stats: ")]
    assert replayed, r.stdout[-2000:]
    want, got = COUNTS.search(live), COUNTS.search(replayed[0])
    assert want and got, (live, replayed[0])
    assert got.groups() == want.groups(), f"live: {live}\nreplayed: {replayed[0]}"
    frames = sorted(out_dir.glob("frame-*-m0.png"))
    assert len(frames) >= 5, [f.name for f in frames]
