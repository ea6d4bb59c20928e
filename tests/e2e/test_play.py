"""Playing with the snow under Wine, with xdotool driving the real X pointer:
the overlay lets clicks through except over grabbable snow; a press on a drift
scoops a ball, a swing throws it, one ball set on another makes a snowman, a
double click bursts a ball, and Alt held over a drift grabs a heap, all while
the window below keeps the keyboard focus.

A drift deep enough to scoop takes a minute of blizzard. The tests get it from
the snow that piles up while the session is locked (the "away" snow), which
does not depend on how fast this machine draws frames.
"""

from __future__ import annotations

import os
import re
import subprocess
import time

import pixels
from harness import wait_until

KOVRA_KEY = r"HKCU\Software\Kovra"
WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 0x02B1, 7, 8
VK_UNASSIGNED = 0xE8
WS_EX_TRANSPARENT = 0x20

# The window the snow settles on; its top edge is the drift's ledge.
WIN_LEFT, WIN_TOP, WIN_W, WIN_H = 300, 600, 1400, 300
# Clicks here land on the window's body, far from any snow that can be grabbed.
BODY = (850, 850)
FAR = (1900, 700)


def xdo(s, *args):
    subprocess.run(["xdotool", *[str(a) for a in args]], env={**os.environ, "DISPLAY": s.display.name},
                   check=True, timeout=10, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def glide(s, start, end, speed=60.0):
    """Moves the pointer in a straight line at about `speed` px/s. A pointer
    faster than 200 pt/s sweeps window drifts, so an approach must be slow."""
    (x0, y0), (x1, y1) = start, end
    steps = max(1, int(max(abs(x1 - x0), abs(y1 - y0)) / 3))
    pause = max(abs(x1 - x0), abs(y1 - y0)) / steps / speed
    for i in range(1, steps + 1):
        xdo(s, "mousemove", round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps))
        time.sleep(pause)


def approach(s, point):
    """Brings the pointer onto `point` from well above, as a user would."""
    x, y = point
    xdo(s, "mousemove", x, y - 70)  # a jump this far above the ledge sweeps nothing
    time.sleep(0.5)  # the smoothed pointer speed dies down
    glide(s, (x, y - 70), point)
    time.sleep(0.3)


def overlay_takes_clicks(s) -> bool:
    return not s.helper.info("KovraSnow")["exstyle"] & WS_EX_TRANSPARENT


def press_on_snow(s, proc, point):
    """Brings the pointer onto `point`, presses the button there once the overlay
    takes clicks and waits until the snow is in the hand. A press that picks
    nothing up fails saying where it went."""
    approach(s, point)
    wait_until(lambda: overlay_takes_clicks(s), 5, f"the overlay takes clicks over the snow at {point}")
    mark, before = len(s.messages()), clicks_on_window(s)
    xdo(s, "mousedown", 1)
    try:
        s.wait_log("snow picked up with the mouse (snowball)", start=mark, timeout=5, proc=proc)
    except AssertionError:
        raise AssertionError(f"a press on the snow at {point} picked nothing up; the window below got "
                             f"{clicks_on_window(s) - before} clicks, the overlay "
                             f"{'takes' if overlay_takes_clicks(s) else 'lets through'} clicks") from None


def clicks_on_window(s) -> int:
    return int(s.helper.ok("clicks 1"))


def count(s, pattern: str, start=0) -> int:
    return sum(1 for m in s.messages()[start:] if pattern in m)


def snow_depth(img, x: int) -> int:
    """Rows of white snow standing on the window's top edge at column x."""
    depth = 0
    for y in range(WIN_TOP - 1, WIN_TOP - 40, -1):
        r, g, b = img.at(x, y)
        if min(r, g, b) < 190:
            break
        depth += 1
    return depth


def deep_spots(img, count_wanted: int, apart: int):
    """The deepest columns of the drift, at least `apart` px from each other."""
    columns = sorted(((min(snow_depth(img, x + d) for d in (-3, 0, 3)), x)
                      for x in range(WIN_LEFT + 30, WIN_LEFT + WIN_W - 30, 2)), reverse=True)
    chosen = []
    for depth, x in columns:
        if all(abs(x - c) >= apart for _, c in chosen):
            chosen.append((depth, x))
        if len(chosen) == count_wanted:
            break
    return chosen


def ball_near(img, point, reach=30, min_pixels=90):
    """The largest bright, round-ish blob within `reach` px of `point`, or None:
    a ball is a filled disc of 12 px or more; flakes are much smaller."""
    x, y = point
    region = (max(0, x - reach), max(0, y - reach), min(img.width, x + reach), min(img.height, y + reach))
    blobs = [b for b in pixels.bright_blobs(img, threshold=170, region=region) if b[0] >= min_pixels]
    return max(blobs, default=None)


def lump(blob) -> bool:
    """Whether a bright blob could be (the part above a drift's surface of) a
    ball of 12 px or more, rather than a flake: round flakes are 9 px across
    at most, the larger crystals are mostly gaps between their arms."""
    count, (x0, y0, x1, y1) = blob
    return count >= 40 and y1 - y0 >= 5 and x1 - x0 >= 11 and count >= 0.55 * (x1 - x0) * (y1 - y0)


def resting_lumps(s, label: str, region):
    """Ball-like lumps in the region that stay put in two screenshots taken
    0.4 s apart: balls at rest. Big flakes look alike, but they fall on."""
    first = pixels.load(s.screenshot(f"{label}-1"))
    time.sleep(0.4)
    second = pixels.load(s.screenshot(f"{label}-2"))
    later = [b[1] for b in pixels.bright_blobs(second, threshold=170, region=region) if lump(b)]
    return [b[1] for b in pixels.bright_blobs(first, threshold=170, region=region)
            if lump(b) and any(max(abs(p - q) for p, q in zip(b[1], o)) <= 2 for o in later)]


def dressed(img, x: int, reach=30) -> int:
    """Coloured pixels in the air above the window around column x: a snowman's
    carrot nose, scarf and twig arms. Snow, balls and the night are colourless."""
    hits = 0
    for yy in range(WIN_TOP - 70, WIN_TOP - 1):
        for xx in range(max(0, x - reach), min(img.width, x + reach)):
            r, g, b = img.at(xx, yy)
            if max(r, g, b) - min(r, g, b) > 60:
                hits += 1
    return hits


def snowy_window(s):
    """A blizzard, no visitors in the sky, the test window in the foreground and
    a drift of a minute's snow on its top edge. Returns the running program."""
    s.reg_add(KOVRA_KEY, "Weather", "REG_DWORD", 2)
    for name in ("Santa", "Birds", "Stars"):
        s.reg_add(KOVRA_KEY, name, "REG_DWORD", 0)
    xdo(s, "mousemove", *FAR)
    s.helper.ok(f"open 1 {WIN_LEFT} {WIN_TOP} {WIN_W} {WIN_H} popup")
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident()
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    time.sleep(1.0)
    s.helper.ok(f"post KovraMain {WM_WTSSESSION_CHANGE:#x} {WTS_SESSION_LOCK} 0")
    s.wait_log("session locked", timeout=10, proc=proc)
    time.sleep(58)
    mark = len(s.messages())
    s.helper.ok(f"post KovraMain {WM_WTSSESSION_CHANGE:#x} {WTS_SESSION_UNLOCK} 0")
    away = s.wait_log(re.compile(r"^monitor 0,0 away \d+ s: \+[\d.]+ pt per column on \d+ drifts$"), start=mark,
                      timeout=10, proc=proc)
    assert float(re.search(r"\+([\d.]+) pt", away).group(1)) > 2.5, away
    time.sleep(0.8)
    assert s.helper.ok("foreground") == "1"
    return proc


def test_scoop_throw_stack_and_burst_snowballs_with_the_mouse(s):
    proc = snowy_window(s)
    img = pixels.load(s.screenshot("play-drift"))
    spots = deep_spots(img, 3, apart=70)
    assert len(spots) == 3 and spots[-1][0] >= 4, f"the drift is too thin to scoop: {spots}"
    (_, ax), (_, bx), (_, cx) = spots
    press_row = WIN_TOP - 2  # inside the snow, just above the window's edge

    # Clicks on the window pass through the overlay.
    before = clicks_on_window(s)
    xdo(s, "mousemove", *BODY)
    time.sleep(0.3)
    xdo(s, "click", 1)
    wait_until(lambda: clicks_on_window(s) == before + 1, 5, "a click on the window reaches it")

    # Over deep snow the overlay takes the press; the window below gets nothing.
    mark = len(s.messages())
    clicks = clicks_on_window(s)
    press_on_snow(s, proc, (cx, press_row))
    assert "snow under the cursor: overlay takes clicks" in s.messages()[mark:]
    time.sleep(0.3)
    held = pixels.load(s.screenshot("play-ball-in-hand"))
    assert ball_near(held, (cx, press_row), reach=20), "no ball under the cursor"

    # A swing up and towards the window's middle, let go mid-swing: the ball
    # flies on. One xdotool run plays the whole gesture: started anew for every
    # move, it can lag a frame or two on a busy machine, and a hand that rests
    # that long before letting go only drops the ball.
    way = 1 if cx < WIN_LEFT + WIN_W // 2 else -1
    x, y, swing = cx, press_row, []
    for _ in range(8):
        x, y = x + 14 * way, y - 22
        swing += ["mousemove", x, y, "sleep", 0.03]
    xdo(s, *swing[:-2], "mouseup", 1)
    release = (x, y)
    # Only let go, the ball would drop straight down and by now lie on the
    # drift below the point of release. Thrown, it flew on the way the hand
    # swung (on a busy machine the world's clamped step can make that fast
    # enough to leave the screen at the top for a while).
    time.sleep(0.9)
    rx, ry = release
    below = resting_lumps(s, "play-thrown", (rx - 30, ry - 30, rx + 30, WIN_TOP - 10))
    assert not below, f"the ball dropped from {release} instead of flying on: {below}"
    assert clicks_on_window(s) == clicks, "the press on the snow reached the window"

    # A ball laid down on the drift, a second one carried over and set on it:
    # a snowman, with a face, a scarf and twig arms.
    xdo(s, "mousemove", *FAR)
    time.sleep(2.5)  # the thrown ball lands somewhere; the pointer rests far away
    press_on_snow(s, proc, (ax, press_row))
    time.sleep(0.4)  # held still: let go without a swing, it stays on the drift
    xdo(s, "mouseup", 1)
    time.sleep(0.4)
    first = pixels.load(s.screenshot("play-first-ball"))
    assert ball_near(first, (ax, WIN_TOP - 8), reach=16), "the first ball is not lying on the drift"
    assert dressed(first, ax) < 3, "a lone ball wears a snowman's face or arms"
    press_on_snow(s, proc, (bx, press_row))
    glide(s, (bx, press_row), (bx, WIN_TOP - 45), speed=150)
    glide(s, (bx, WIN_TOP - 45), (ax, WIN_TOP - 45), speed=150)
    time.sleep(0.4)
    xdo(s, "mouseup", 1)
    time.sleep(1.0)  # it drops onto the first ball; a snowman is found within 0.25 s
    xdo(s, "mousemove", *FAR)
    time.sleep(0.5)
    snowman = pixels.load(s.screenshot("play-snowman"))
    face = dressed(snowman, ax)
    assert face >= 12, f"no snowman at x {ax}: {face} pixels of nose, scarf and arms"

    # A double click on the head bursts it: the face is gone with it.
    # The head's eyes, mouth and nose and its shaded rim take a good part out
    # of its bright disc (85 of about 150 px seen). The face above already
    # shows a snowman stands here; this finds where to click.
    head = ball_near(snowman, (ax, WIN_TOP - 34), reach=20, min_pixels=60)
    assert head, "no head ball"
    hx0, hy0, hx1, hy1 = head[1]
    centre = ((hx0 + hx1) // 2, (hy0 + hy1) // 2)
    approach(s, centre)
    xdo(s, "click", "--repeat", 2, "--delay", 80, 1)
    time.sleep(0.6)
    xdo(s, "mousemove", *FAR)
    time.sleep(0.3)
    burst = pixels.load(s.screenshot("play-burst"))
    assert dressed(burst, ax) < 3, "the snowman still stands after a double click on its head"
    assert ball_near(burst, (ax, WIN_TOP - 8), reach=16), "the bottom ball went with the head"
    assert clicks_on_window(s) == clicks, "a press on the snow reached the window"
    assert s.helper.ok("foreground") == "1", "the window lost the focus to the snow"
    assert proc.alive()


def alt_grab(s, proc, x, row, mark):
    """Holds Alt and moves the pointer up from the window's body into the drift
    and along it to x: a heap comes into the hand. Alt stays down; returns with
    the heap carried down in front of the window.

    Alt goes down and up with the pointer over a Wine window: X sends keys to
    the window under the pointer, and Wine never sees those sent to the root."""
    start = x - 30 if x - 30 > WIN_LEFT + 10 else x + 30
    approach(s, (start, WIN_TOP + 30))
    xdo(s, "keydown", "alt")
    time.sleep(0.3)
    # With Alt held a moving pointer gathers a heap (a still one is a shortcut).
    glide(s, (start, WIN_TOP + 30), (start, row), speed=80)
    glide(s, (start, row), (x, row), speed=80)
    line = s.wait_log(re.compile(r"^snow grabbed with "), start=mark, timeout=5, proc=proc)
    assert line == "snow grabbed with Alt (heap)", line
    glide(s, (x, row), (x, WIN_TOP + 60), speed=120)
    time.sleep(0.3)
    return x, WIN_TOP + 60


def test_alt_over_a_drift_grabs_a_heap_a_right_click_bursts_it_and_the_focus_stays(s):
    proc = snowy_window(s)
    img = pixels.load(s.screenshot("alt-drift"))
    spots = deep_spots(img, 2, apart=80)
    assert len(spots) == 2 and spots[-1][0] >= 4, f"the drift is too thin to scoop: {spots}"
    (_, x1), (_, x2) = spots
    row = WIN_TOP - 2

    mark = len(s.messages())
    hand = alt_grab(s, proc, x1, row, mark)
    held = pixels.load(s.screenshot("alt-heap-in-hand"))
    assert ball_near(held, hand, reach=25), "no heap under the cursor"
    # The grab pressed an unassigned key in the window, so that releasing Alt
    # does not open its menu bar.
    assert s.helper.ok(f"keys 1 {VK_UNASSIGNED:#x}") == "1", "no unassigned key pressed after the Alt grab"
    xdo(s, "keyup", "alt")
    time.sleep(1.0)  # let go: the heap falls back and splats into the drift
    dropped = pixels.load(s.screenshot("alt-heap-let-go"))
    assert not ball_near(dropped, hand, reach=25), "the heap hangs in the air after Alt was released"

    # A heap in the hand bursts on a right click, Alt still held.
    mark = len(s.messages())
    hand = alt_grab(s, proc, x2, row, mark)
    assert ball_near(pixels.load(s.screenshot("alt-second-heap")), hand, reach=25), "no second heap"
    # A press on it would make the overlay let the next one through (the hand
    # holds it by the key, not the button): a right click bursts it at once.
    xdo(s, "click", 3)
    time.sleep(0.3)
    burst = pixels.load(s.screenshot("alt-heap-burst"))
    assert not ball_near(burst, hand, reach=25), "the heap is still in the hand after a right click"
    xdo(s, "keyup", "alt")
    time.sleep(0.3)
    assert s.helper.ok("foreground") == "1", "the window lost the focus"
    assert count(s, "snow grabbed with", mark) == 1
    assert proc.alive()
