#!/usr/bin/env python3
"""Runs the end-to-end tests: python3 tests/e2e/run.py [FILTER ...] [--list]

Every `test_*` function of tests/e2e/test_*.py gets a fresh `Session` (its own
copy of the booted Wine prefix). A FILTER selects the tests whose
"module.function" name contains it. The last line of the output is always
"e2e: N passed, N failed" (plus ", N skipped" when some were skipped); the exit
status is 1 when any test failed.
"""

from __future__ import annotations

import importlib
import inspect
import os
import signal
import sys
import time
import traceback
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.dont_write_bytecode = True  # no __pycache__ beside the tests

import harness  # noqa: E402

TEST_TIMEOUT = float(os.environ.get("QUILLAR_E2E_TEST_TIMEOUT", "150"))


class TestTimeout(Exception):
    pass


def _alarm(signum, frame):
    raise TestTimeout(f"test ran longer than {TEST_TIMEOUT:.0f} s")


def collect(filters):
    tests = []
    for path in sorted(HERE.glob("test_*.py")):
        module = importlib.import_module(path.stem)
        for name, fn in module.__dict__.items():  # definition order
            if name.startswith("test_") and inspect.isfunction(fn) and fn.__module__ == module.__name__:
                full = f"{path.stem}.{name}"
                if not filters or any(f in full for f in filters):
                    tests.append((full, fn))
    return tests


def main(argv):
    args = [a for a in argv if not a.startswith("-")]
    tests = collect(args)
    if "--list" in argv:
        for name, _ in tests:
            print(name)
        return 0
    if not tests:
        print("no tests match", " ".join(args))
        print("e2e: 0 passed, 0 failed")
        return 1

    exe = harness.quillar_exe()
    print(f"quillar.exe: {exe}{'' if exe.exists() else ' (missing: tests that need it are skipped)'}")
    passed = failed = skipped = 0
    started = time.monotonic()
    run = harness.Run()
    try:
        try:
            t0 = time.monotonic()
            run.start()
            print(f"setup: display {run.display.name}, prefix booted ({time.monotonic() - t0:.1f} s)")
        except Exception as exc:
            print(f"FAIL setup: {exc}")
            traceback.print_exc()
            print(f"e2e: 0 passed, {len(tests)} failed")
            return 1

        signal.signal(signal.SIGALRM, _alarm)
        for name, fn in tests:
            t0 = time.monotonic()
            session = None
            try:
                session = run.session(name)
                signal.setitimer(signal.ITIMER_REAL, TEST_TIMEOUT)
                try:
                    fn(session)
                finally:
                    signal.setitimer(signal.ITIMER_REAL, 0)
                passed += 1
                print(f"PASS {name} ({time.monotonic() - t0:.1f} s)", flush=True)
            except harness.SkipTest as exc:
                # A missing executable is a broken build, not a reason to pass:
                # only a developer's explicit QUILLAR_E2E_ALLOW_SKIP=1 lets it through.
                if os.environ.get("QUILLAR_E2E_ALLOW_SKIP") == "1":
                    skipped += 1
                    print(f"SKIP {name}: {exc} ({time.monotonic() - t0:.1f} s)", flush=True)
                else:
                    failed += 1
                    print(f"FAIL {name}: {exc} ({time.monotonic() - t0:.1f} s)", flush=True)
            except Exception as exc:
                failed += 1
                if session:
                    session.failed = True
                reason = str(exc) or type(exc).__name__
                if not isinstance(exc, AssertionError):
                    reason = f"{type(exc).__name__}: {reason}"
                first, _, rest = reason.partition("\n")
                print(f"FAIL {name}: {first} ({time.monotonic() - t0:.1f} s)", flush=True)
                if rest:
                    print(rest)
                tb = traceback.extract_tb(exc.__traceback__)
                here = [f for f in tb if Path(f.filename).name.startswith("test_")]
                if here:
                    print(f"    at {Path(here[-1].filename).name}:{here[-1].lineno}: {here[-1].line}")
                if session:
                    # CI keeps nothing but this output: the program's own last words.
                    try:
                        tail = session.messages()[-12:]
                    except Exception:  # noqa: BLE001 - no log is worth a line too
                        tail = []
                    for msg in tail:
                        print(f"    log: {msg}")
                if session and session.failed and os.environ.get("QUILLAR_E2E_KEEP") == "1":
                    print(f"    kept: {session.dir}")
            finally:
                if session:
                    session.close()
    finally:
        run.close()

    total = time.monotonic() - started
    print(f"time: {total:.1f} s; screenshots in {harness.shots_dir()}")
    line = f"e2e: {passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
