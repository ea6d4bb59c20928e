"""The sky's visitors on the real screen under Wine: Santa's team in both
directions, bullfinches on a snowy window top, the garland lit while the snow
is paused, and a fireworks show.

Commands are posted to the main window as WM_COMMAND with the tray menu's ids
(the bullfinches have no line of their own in the tray menu). The root window
of the X display is black, so everything the overlay draws shows against black
unless a test window lies behind it; Wine shows premultiplied colours.
"""

from __future__ import annotations

import re
import statistics
import time

import pixels
from harness import wait_until

KOVRA_KEY = r"HKCU\Software\Kovra"
WM_COMMAND = 0x0111
CMD_CALL_SANTA, CMD_CALL_BIRDS, CMD_FIREWORKS = 124, 125, 126
VK_CONTROL, VK_MENU, VK_D = 0x11, 0x12, 0x44
WIDTH, HEIGHT = 1920, 1080
# Wine's own tray window sits at the top left (0,0-166,45); it is kept out of
# every region below.
TRAY_RIGHT, TRAY_BOTTOM = 200, 60


def _start(s, **values):
    """Starts Quillar with these DWORD settings and waits until it draws."""
    s.reg_add(KOVRA_KEY, "GuideSeen", "REG_DWORD", 1)  # no first-run balloon over the sky
    for name, value in values.items():
        s.reg_add(KOVRA_KEY, name, "REG_DWORD", value)
    # Far from everything: bullfinches flee the cursor, and Wine hands the
    # focus to whatever lies under it.
    s.helper.ok("mouse 1910 10")
    s.reg_add(r"HKCU\Software\Kovra", "GuideSeen", "REG_DWORD", 1)  # no first-run window over the scene
    proc = s.start_resident()
    s.wait_log(re.compile(r"^sprites: "), timeout=20, proc=proc)
    return proc


def _command(s, proc, command: int, logged: str) -> int:
    """Posts a menu command and waits for its log line; returns the log's length before it."""
    mark = len(s.messages())
    s.helper.ok(f"post KovraMain {WM_COMMAND:#x} {command} 0")
    s.wait_log(logged, start=mark, timeout=10, proc=proc)
    return mark


def _shot(s, label: str) -> pixels.Image:
    return pixels.load(s.screenshot(label))


# ------------------------------------------------------------------ colours

def _sleigh_red(r, g, b):  # the sleigh's body and Santa's coat
    return r >= 110 and g <= 60 and b <= 75 and r >= 2 * max(g, b) + 30


def _reindeer_brown(r, g, b):  # the reindeer's coats (not the sleigh's gold, which has no blue)
    return 60 <= r <= 190 and r > g > b >= 12 and r - b >= 45 and 0.45 * r <= g <= 0.78 * r


def _rosy_breast(r, g, b):
    return r >= 180 and 50 <= g <= 150 and 35 <= b <= 130 and r - g >= 80


def _black_cap(r, g, b):
    return r <= 60 and g <= 60 and b <= 70


def _grey_back(r, g, b):  # a cool, slightly blue grey
    return 110 <= r <= 185 and abs(r - g) <= 22 and 4 <= b - r <= 40


def _white(r, g, b):
    return r > 200 and g > 200 and b > 200


def _flake(r, g, b):  # as bright as the flakes that pixels.bright_blobs counts
    return r + g + b > 330


def _coloured(r, g, b):  # clearly tinted, not white or grey snow
    return max(r, g, b) >= 90 and max(r, g, b) - min(r, g, b) >= 50


def _bulb_colour(r, g, b):
    """The garland colour family of a lit bulb pixel, or None."""
    if max(r, g, b) < 150 or max(r, g, b) - min(r, g, b) < 80:
        return None
    if b >= 170 and r <= 150:
        return "blue"
    if g >= 150 and r <= 150 and b <= 170:
        return "green"
    if r >= 170 and b >= 130 and g <= r - 60:
        return "pink"
    if r >= 170 and 120 <= g <= 215 and b <= 110:
        return "amber"
    if r >= 170 and g <= 110 and b <= 110:
        return "red"
    return None


# ------------------------------------------------------------------- Santa

SANTA_LINE = re.compile(r"^santa: flying to the (left|right), ([123]) gifts?$")
# He flies between 10 % and 64 % of the height from the top; gifts that have
# landed rest on the ground below this.
SANTA_SKY = (0, TRAY_BOTTOM, WIDTH, 880)


def _team(img):
    """Where Santa's team is: the sleigh's red and the reindeer's brown pixels,
    their medians, and the box that holds the bulk of both (a falling gift or a
    stray pixel does not stretch it); None when the team is not on screen."""
    red = pixels.matching(img, _sleigh_red, SANTA_SKY, floor=110)
    brown = pixels.matching(img, _reindeer_brown, SANTA_SKY, floor=60)
    if len(red) < 400 or len(brown) < 800:
        return None

    def spread(values):
        values = sorted(values)
        return values[len(values) // 20], values[-1 - len(values) // 20]

    both = red | brown
    left, right = spread(x for x, _ in both)
    top, bottom = spread(y for _, y in both)
    return {
        "red_x": statistics.median(x for x, _ in red), "red_y": statistics.median(y for _, y in red),
        "brown_x": statistics.median(x for x, _ in brown), "brown_y": statistics.median(y for _, y in brown),
        "box": (left, top, right, bottom), "red": red, "brown": brown,
        # Nothing cut off at the sides, and the sleigh is in: the reindeer's red
        # harness alone is a tenth of their brown, the sleigh brings it to half.
        "whole": min(x for x, _ in both) > 3 and max(x for x, _ in both) < img.width - 4
                 and len(red) >= 0.25 * len(brown),
    }


def _describe(team) -> str:
    return "none" if not team else (
        f"sleigh at {team['red_x']:.0f},{team['red_y']:.0f}, reindeer at {team['brown_x']:.0f},"
        f"{team['brown_y']:.0f}, box {team['box']}, {len(team['red'])} red and {len(team['brown'])} brown pixels")


def _check_team(team, direction: str, label: str):
    assert team, f"{label}: no sleigh and reindeer on the screen"
    what = f"{label}: {_describe(team)}"
    ahead = 1 if direction == "right" else -1
    left, top, right, bottom = team["box"]
    # One compact team: about 590 px long, and tilted by 0.3 rad at most.
    assert right - left <= 750 and bottom - top <= 320, f"the team's colours are scattered; {what}"
    assert abs(team["red_y"] - team["brown_y"]) <= 120, f"sleigh and reindeer at different heights; {what}"
    # The reindeer run ahead of the sleigh ...
    assert (team["brown_x"] - team["red_x"]) * ahead >= 80, f"the reindeer are not ahead of the sleigh; {what}"
    # ... and the pictures face the way he flies: the sack rides at the back of
    # the sleigh, high up (a picture facing the wrong way carries it in front).
    sack = [(x - team["red_x"]) * ahead for x, y in team["brown"]
            if abs(x - team["red_x"]) <= 45 and y < team["red_y"]]
    assert len(sack) >= 100, f"no sack on the sleigh ({len(sack)} brown pixels over it); {what}"
    behind = statistics.mean(sack)
    assert behind <= -3, f"the sack rides {behind:+.1f} px towards the front of the sleigh; {what}"


def test_santa_flies_across_in_both_directions(s):
    proc = _start(s)
    seen = {}
    calls = 0
    while len(seen) < 2:
        # Each call cancels the flight and starts a new one in a random direction.
        assert calls < 30, f"{calls} calls, and Santa only ever flew to the {list(seen)}"
        mark = _command(s, proc, CMD_CALL_SANTA, "Santa called")
        calls += 1
        direction = SANTA_LINE.search(s.wait_log(SANTA_LINE, start=mark, timeout=5, proc=proc)).group(1)
        if direction in seen:
            continue
        label = f"santa-to-the-{direction}"

        def whole_team():
            taken = time.monotonic()
            team = _team(_shot(s, f"{label}-1"))
            return (taken, team) if team and team["whole"] else None

        # He starts beyond the side he comes from: nothing of the team shows
        # for the first 0.7 s, the whole of it 2.2 to 3 s after the call, and
        # then for 5.7 s or more. A screenshot taken at once could still show
        # the last frame of the cancelled flight.
        time.sleep(0.3)
        t1, first = wait_until(whole_team, 12, f"the whole team in view, flying to the {direction}", interval=0.1)
        time.sleep(max(0.0, t1 + 1.2 - time.monotonic()))
        t2 = time.monotonic()
        second = _team(_shot(s, f"{label}-2"))
        _check_team(first, direction, f"to the {direction}, first")
        _check_team(second, direction, f"to the {direction}, 1.2 s later")
        ahead = 1 if direction == "right" else -1
        # 192 to 271 px/s; a slow machine slows the world down (frames step
        # 0.05 s at most), never speeds it up.
        for part in ("red_x", "brown_x"):
            moved = (second[part] - first[part]) * ahead
            assert 60 <= moved <= 1.3 * 271 * (t2 - t1) + 20, \
                f"to the {direction}: {part[:-2]} moved {moved:+.0f} px in {t2 - t1:.2f} s"
        seen[direction] = calls
    assert proc.alive()


# ------------------------------------------------------------- bullfinches

def _snow_on_edge(img, left, right, top) -> float:
    """Share of the columns along a window's top edge with snow just above it."""
    white = pixels.matching(img, _white, (left, top - 6, right, top + 1), floor=200)
    return len({x for x, _ in white}) / max(1, right - left)


def _bullfinches(img, left, right, top):
    """The bullfinches standing on the top edge at y = top between left and right:
    a rosy breast with a black cap and a grey back beside and above it, the feet
    on the snow just above the edge. Returns [(x, feet y), ...]."""
    found = []
    rosy = pixels.matching(img, _rosy_breast, (left, top - 60, right, top + 4), floor=180)
    for count, (x0, y0, x1, y1) in pixels.blobs(rosy):
        if count < 12:
            continue
        upper = (x0 - 14, y0 - 10, x1 + 14, (y0 + y1) // 2 + 1)
        cap = len(pixels.matching(img, _black_cap, upper))
        back = len(pixels.matching(img, _grey_back, upper))
        under = (x0 - 30, y1 - 3, x1 + 30, top + 2)
        snow = len(pixels.matching(img, _white, under, floor=200))
        if cap >= 8 and back >= 6 and top - 30 <= y1 <= top + 2 and snow >= 3:
            found.append(((x0 + x1) / 2, y1))
    return sorted(found)


def test_bullfinches_land_on_the_snow_of_a_window_top(s):
    # A backdrop for the birds' black caps; its top lies above the screen, so
    # it holds no drift of its own. The perch in front of it is topmost so that
    # Wine's z-order keeps it in front.
    s.helper.ok("open 4 300 -100 1300 700 popup")
    s.helper.ok("open 3 500 400 900 300 popup topmost")
    left, top, right = 500, 400, 1400
    proc = _start(s, Weather=2, Santa=0)  # no scheduled flight in red over the perch

    snowy = wait_until(lambda: (lambda img: img if _snow_on_edge(img, left + 30, right - 30, top) >= 0.3 else None)(
        _shot(s, "bullfinches-drift")), 55, "a drift on the window's top", interval=1.0)
    assert _bullfinches(snowy, left, right, top) == [], "bullfinch colours on the drift before any bird came"

    _command(s, proc, CMD_CALL_BIRDS, "birds called")
    # They fly in from a side and land; perched, they stay put but for short hops.
    previous = []

    def landed():
        nonlocal previous
        img = _shot(s, "bullfinches")
        now = _bullfinches(img, left, right, top)
        settled = (now and len(now) == len(previous)
                   and all(abs(a[0] - b[0]) <= 25 and abs(a[1] - b[1]) <= 8 for a, b in zip(now, previous)))
        previous = now
        return now if settled else None

    birds = wait_until(landed, 30, "bullfinches perched on the window's top", interval=0.3)
    assert 1 <= len(birds) <= 3, birds
    assert proc.alive()


# ---------------------------------------------------------------- garland

BELOW_GARLAND = (0, 130, WIDTH, HEIGHT)
GARLAND_STRIP = (TRAY_RIGHT, 0, WIDTH, 110)


def _flakes(img, region=BELOW_GARLAND) -> int:
    return len(pixels.blobs(pixels.matching(img, _flake, region, floor=111)))


def _drawn_below(img) -> int:
    """Pixels below the garland that are not the black of the empty screen."""
    return len(pixels.matching(img, lambda r, g, b: True, BELOW_GARLAND, floor=20))


def _bulbs(img):
    """The lit bulbs along the top edge: [(colour family, pixel count), ...]."""
    lit = pixels.matching(img, lambda r, g, b: _bulb_colour(r, g, b) is not None, GARLAND_STRIP, floor=150)
    bulbs = []
    for count, (x0, y0, x1, y1) in pixels.blobs(lit):
        if count < 12:
            continue
        families = [_bulb_colour(*img.at(x, y)) for x in range(x0, x1) for y in range(y0, y1) if (x, y) in lit]
        bulbs.append((max(set(families), key=families.count), count))
    return bulbs


def _strip(img) -> bytes:
    x0, y0, x1, y1 = GARLAND_STRIP
    return b"".join(img.rgb[(y * img.width + x0) * 3:(y * img.width + x1) * 3] for y in range(y0, y1))


def _press_hotkey(s):
    for vk, how in ((VK_CONTROL, "down"), (VK_MENU, "down"), (VK_D, "down"), (VK_D, "up"), (VK_MENU, "up"),
                    (VK_CONTROL, "up")):
        s.helper.ok(f"key {vk:#x} {how}")


def test_garland_stays_lit_while_the_snow_is_paused(s):
    proc = _start(s, Garland=1, Santa=0)
    wait_until(lambda: _flakes(_shot(s, "garland-snowing")) >= 20, 20, "snow falling below the garland",
               interval=0.5)

    mark = len(s.messages())
    _press_hotkey(s)  # Ctrl+Alt+D
    s.wait_log("paused 1", start=mark, timeout=10, proc=proc)
    # The snow fades out and nothing is drawn below the garland any more.
    paused = wait_until(lambda: (lambda img: img if _drawn_below(img) <= 10 else None)(_shot(s, "garland-paused")),
                        6, "the snow gone from below the garland after the pause", interval=0.3)
    time.sleep(2.0)
    later = _shot(s, "garland-paused-later")
    for img, when in ((paused, "after the pause"), (later, "2 s later")):
        bulbs = _bulbs(img)
        families = {f for f, _ in bulbs}
        # About 13 spans of 4 to 6 bulbs across the width, in five colours in turn.
        assert len(bulbs) >= 35, f"{when}: {len(bulbs)} lit bulbs along the top edge"
        assert families == {"red", "amber", "green", "blue", "pink"}, f"{when}: bulb colours {families}"
        assert _drawn_below(img) <= 10, f"{when}: {_drawn_below(img)} pixels drawn below the garland while paused"
    # Frames go on for it: the bulbs sway and twinkle.
    assert _strip(paused) != _strip(later), "the garland froze while the snow is paused"
    info = s.helper.info("KovraSnow")
    assert info and info["visible"], "the overlay was hidden although the garland is on"
    assert s.reg_value(KOVRA_KEY, "Paused") == ("REG_DWORD", 1)
    assert proc.alive()


# -------------------------------------------------------------- fireworks

UPPER_SKY = (0, TRAY_BOTTOM, WIDTH, int(0.65 * HEIGHT))
LOWER_SKY = (0, int(0.8 * HEIGHT), WIDTH, HEIGHT)


def _sparks(img, region) -> int:
    return len(pixels.blobs(pixels.matching(img, _coloured, region, floor=90)))


def test_fireworks_fill_the_upper_sky_with_coloured_sparks(s):
    proc = _start(s, Santa=0)
    # Snow alone, white, does not count as sparks.
    calm = wait_until(lambda: (lambda img: img if _flakes(img, UPPER_SKY) >= 20 else None)(
        _shot(s, "fireworks-before")), 20, "snow falling in the upper sky", interval=0.5)
    assert _sparks(calm, UPPER_SKY) <= 3, f"{_sparks(calm, UPPER_SKY)} coloured blobs before the show"

    _command(s, proc, CMD_FIREWORKS, "fireworks now")
    counts = []

    def burst():
        img = _shot(s, "fireworks")
        upper, lower = _sparks(img, UPPER_SKY), _sparks(img, LOWER_SKY)
        counts.append((upper, lower))
        return upper >= 60 and lower <= upper // 5

    # Rockets rise for about 1.5 s; a new one starts every 0.35 to 1.1 s.
    try:
        wait_until(burst, 10, "a burst of coloured sparks in the upper sky", interval=0.2)
    except AssertionError as exc:
        raise AssertionError(f"{exc}; coloured blobs (upper, lower) seen: {counts}") from None
    assert proc.alive()
