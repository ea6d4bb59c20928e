#include "world/drift_events.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "world/profile.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kColumnWidth = 2.0f;
constexpr float kTwoPi = 6.283f;
constexpr float kHidden = 0.5f;
constexpr float kHasSnow = 0.3f;        // a drift with a column above this has snow worth keeping
constexpr float kFastSide = 700.0f;     // pt/s sideways that counts as a yank
constexpr float kFastDrop = 600.0f;     // pt/s downwards that counts as a yank
constexpr float kLiftStop = 0.06f;      // s without rising after which a lift counts as stopped
constexpr float kLiftForget = 0.3f;     // s after which a slow lift is forgotten
constexpr int kMaxPowder = 150;
constexpr int kMaxShovelPuffs = 500;
constexpr int kGuideColumns = 10;       // the guide's window needs a drift wider than this
constexpr float kResizeCrumble = 2.0f;  // pt of change in width that breaks a drift

bool anyAbove(const Drift& d, float h) {
  return std::any_of(d.heights.begin(), d.heights.end(), [h](float v) { return v > h; });
}

float columnCentre(const Drift& d, int i) { return d.x + (static_cast<float>(i) + 0.5f) * kColumnWidth; }

}  // namespace

std::string windowDriftKey(uint64_t window) { return "w" + std::to_string(window); }

std::optional<uint64_t> windowFromDriftKey(const std::string& key) {
  if (key.size() < 2 || key[0] != 'w') return std::nullopt;
  uint64_t value = 0;
  const char* first = key.data() + 1;
  const char* last = key.data() + key.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

float moveThrowFraction(float downSpeed, float sideSpeed) {
  const float drop = std::min(0.45f, std::max(0.0f, downSpeed - kFastDrop) / 2500.0f);
  const float side = std::min(0.22f, std::max(0.0f, sideSpeed - kFastSide) / 7000.0f);
  return std::max(drop, side);
}

float yankFraction(float liftSpeed) {
  return std::clamp((liftSpeed - kFastSide) / 2500.0f + 0.08f, 0.0f, 0.45f);
}

float awaySnowPerColumn(double seconds, int level, float density) {
  const SnowfallProfile p = snowfallProfile(level, density);
  // A flake of average depth, at the rate that reaches the drifts (the
  // nearest and farthest flakes never land on windows), spread over 2-pt
  // columns.
  const double flake = (p.sizeBase + 0.66 * p.sizeSpread) * 0.22 + 0.55;
  return static_cast<float>(flake * p.snowFactor * (p.rate / 1000.0 * 0.68) * 2.0 * seconds);
}

// ---------------------------------------------------------------- moving

void SnowWorld::onDriftMoved(Drift& d, float oldX, float oldY, int oldColumns, bool pressed, double now) {
  onDriftMoved(d, oldX, oldY, oldColumns, kColumnWidth * static_cast<float>(oldColumns), pressed, now);
}

void SnowWorld::onDriftMoved(Drift& d, float oldX, float oldY, int oldColumns, float oldSpan, bool pressed,
                             double now) {
  const bool window = d.kind == DriftKind::Window;
  const float dx = d.x - oldX, dy = d.y - oldY;

  // Maximising, restoring or snapping changes the size without a drag: the
  // drift falls apart. The real widths count: one column more or less can
  // be anything from a hair to nearly 4 pt.
  const bool resized = std::fabs(ledgeWidth(d) - oldSpan) > kResizeCrumble;
  if (window && oldColumns > 0 && resized && (std::fabs(dx) > 0.5f || std::fabs(dy) > 0.5f) && !pressed &&
      anyAbove(d, kHasSnow)) {
    crumble(d);
    std::fill(d.heights.begin(), d.heights.end(), 0.0f);
    d.dirty = true;
    d.quietPasses = 0;
  }
  if (dx == 0.0f && dy == 0.0f) return;
  moveBallsWith(d, dx, dy);

  const double elapsed = std::max(now - d.lastSeen, 1.0 / 60.0);
  const float p = static_cast<float>(dx / elapsed);  // sideways speed
  const float q = static_cast<float>(dy / elapsed);  // upwards positive
  const float v = std::fabs(p);

  bool fast = false;
  float down = 0.0f;
  if (q < 0.0f && (v > kFastSide || q < -kFastDrop)) {
    fast = true;
    down = -q;
  } else if (q >= 0.0f && v > kFastSide) {
    fast = true;
  }

  if (fast) {
    if (!pressed) {
      // Moved by the keyboard or the system, not dragged: nothing is thrown.
      if (window) {
        d.liftSpeed = 0.0f;
        d.liftTime = now;
      }
      return;
    }
    if (window && anyAbove(d, 1.0f)) milestones |= 1u;
    throwSnow(d, moveThrowFraction(down, v), p, down > kFastDrop ? 0.3f * q : 0.0f);
    knockBallsOnMove(d, p, q, down);
    if (!window) return;
  } else if (q < 0.0f) {
    if (window) {
      d.liftSpeed = 0.0f;
      d.liftTime = now;
    }
    return;
  }

  if (!window) return;
  if (pressed && q > 0.0f) {
    // Rising much slower than a moment ago: the yank has just stopped.
    if (0.3f * d.liftSpeed > q && d.liftSpeed > kFastSide) yank(d);
    d.liftSpeed = std::max(0.5f * d.liftSpeed, q);
  } else {
    d.liftSpeed = 0.0f;
  }
  d.liftTime = now;
}

void SnowWorld::checkLifts(double now) {
  for (Drift* d : drifts) {
    if (d->liftSpeed > kFastSide && now - d->liftTime > kLiftStop) {
      yank(*d);
    } else if (d->liftSpeed <= kFastSide && now - d->liftTime > kLiftForget) {
      d->liftSpeed = 0.0f;
    }
  }
}

void SnowWorld::yank(Drift& d) {
  throwSnow(d, yankFraction(d.liftSpeed), 0.0f, 0.45f * d.liftSpeed);
  knockBallsOnYank(d, d.liftSpeed);
  d.liftSpeed = 0.0f;
}

// ---------------------------------------------------------------- snow leaving

bool SnowWorld::powderRoom() const {
  return static_cast<int>(pendingPowder.size()) + powderCount < kMaxPowder;
}

void SnowWorld::throwSnow(Drift& d, float fraction, float pushX, float kickY) {
  if (!(fraction > 0.0f)) return;
  const int n = std::min(d.columns, static_cast<int>(std::min(d.heights.size(), d.limits.size())));
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    float& h = d.heights[i];
    if (!(h > 0.4f) || !(d.limits[i] > kHidden)) continue;
    const float taken = h * fraction;
    h -= taken;
    sum += taken;
    if (sum <= 1.6f) continue;
    const float cx = columnCentre(d, i);
    const float cy = d.y + h + 1.0f;
    const float vx = (kickY == 0.0f ? -40.0f + random.next() * 80.0f : -90.0f + random.next() * 180.0f) +
                     0.35f * pushX;
    const float spread = 0.8f + random.next() * 0.4f;
    const float vy = spread * kickY + random.next() * 80.0f;
    // Snow flung downwards mostly shatters instead of settling again.
    const bool canLand = kickY < 0.0f ? random.next() < 0.4f : true;
    spawnClump(Vec2{cx, cy}, Vec2{vx, vy}, sum, canLand, 0.0f);
    for (int k = 0; k < 2 && powderRoom(); ++k) {
      PowderSeed s;
      s.x = cx + random2.next() * 12.0f - 6.0f;
      s.y = d.y + h + 1.0f + random2.next() * 6.0f;
      s.vx = random2.next() * 140.0f - 70.0f + 0.25f * pushX;
      s.vy = random2.next() * 90.0f + 20.0f + 0.3f * kickY;
      pendingPowder.push_back(s);
    }
    sum = 0.0f;
  }
  d.dirty = true;
  d.quietPasses = 0;
}

void SnowWorld::crumble(Drift& d) {
  const int n = std::min(d.columns, static_cast<int>(std::min(d.heights.size(), d.limits.size())));
  auto amount = [&d](int i) {
    const float h = d.heights[i], limit = d.limits[i];
    return (limit > kHidden && h >= 0.2f) ? std::min(limit, h) : 0.0f;
  };
  float total = 0.0f;
  for (int i = 0; i < n; ++i) total += amount(i);
  if (!(total > 1.0f)) return;
  // Chunks grow as the clump limit nears, so a long drift still crumbles
  // along its whole length.
  const float k = clumpCount < 380 ? 220.0f : clumpCount < 560 ? static_cast<float>(600 - clumpCount) : 40.0f;
  const float chunk = std::max(2.0f, total / k);
  float threshold = (random.next() + 0.5f) * chunk;
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float a = amount(i);
    if (a <= 0.0f) continue;
    sum += a;
    if (sum >= threshold) {
      crumbleClump(columnCentre(d, i), d.y, a, sum, 0.0f);
      sum = 0.0f;
      threshold = (random.next() + 0.5f) * chunk;
    }
  }
}

void SnowWorld::crumbleClump(float x, float y, float height, float snow, float pushX) {
  const float px = x - 4.0f + random.next() * 8.0f;
  const float py = y + (0.1f + random.next() * 0.9f) * std::max(1.0f, height);
  const float vx = random.next() * 110.0f - 55.0f + 0.3f * pushX;
  const float vy = random.next() * 140.0f - 30.0f;
  const float noLand = 0.03f + random.next() * 0.09f;
  spawnClump(Vec2{px, py}, Vec2{vx, vy}, snow, true, noLand);
  if (random.next() < 0.6f) {
    const float qx = px + random.next() * 12.0f - 6.0f;
    const float qy = py + 6.0f + random.next() * 4.0f;
    const float qvx = random.next() * 160.0f - 80.0f + 0.2f * pushX;
    const float qvy = 20.0f + random.next() * 120.0f;
    spawnClump(Vec2{qx, qy}, Vec2{qvx, qvy}, 0.0f, false, 0.0f);
  }
}

void SnowWorld::releaseCrumbleEvents(Drift& d) {
  const size_t n = d.crumbleEvents.size();
  float sum = 0.0f;
  for (size_t i = 0; i < n; ++i) {
    const CrumbleEvent& e = d.crumbleEvents[i];
    sum += e.amount;
    if (!(sum > 1.2f) && !(i + 1 == n && sum > 0.2f)) continue;
    const float dir = e.direction < 0 ? -1.0f : 1.0f;
    const float cx = columnCentre(d, e.column);
    const float cy = d.y + 1.0f + random.next() * std::min(6.0f, e.amount);
    const float vx = (random.next() * 130.0f + 60.0f) * dir;
    const float vy = random.next() * 120.0f + 30.0f;
    spawnClump(Vec2{cx, cy}, Vec2{vx, vy}, sum, true, 0.08f);
    if (powderRoom()) {
      PowderSeed s;
      s.x = cx;
      s.y = cy;
      s.vx = (random2.next() * 110.0f + 40.0f) * dir;
      s.vy = random2.next() * 90.0f + 30.0f;
      pendingPowder.push_back(s);
    }
    sum = 0.0f;
  }
  d.crumbleEvents.clear();
  // The columns stay recorded until the next limits update.
  knockBallsAtLaunchColumns(d);
}

// ---------------------------------------------------------------- vanishing

void SnowWorld::retireDrift(Drift& d, bool wholeScene) {
  const bool hasSnow = anyAbove(d, kHasSnow);
  bool keep = d.kind != DriftKind::Window;
  if (!keep) {
    const std::optional<uint64_t> window = windowFromDriftKey(d.key);
    keep = window && fate && fate(*window, wholeScene) == Fate::Hidden;
  }
  if (keep) {
    if (hasSnow) driftMemory.remember(d);
    storeBalls(d);
  } else if (hasSnow) {
    crumble(d);
  }
  const std::string key = d.key;  // d dies with the erase
  eraseDrift(key);
}

// ---------------------------------------------------------------- away, shovel, guide

int SnowWorld::awayDeposit(double seconds, const WorldInput& input) {
  lastAwayDeposit = 0.0f;
  if (!input.snowfall || snowPaused || !(seconds > 0.0)) return 0;
  const float e = awaySnowPerColumn(seconds, input.level, input.density);
  if (!(e > 0.05f)) return 0;
  const float a = random.next() * kTwoPi;
  const float b = random.next() * kTwoPi;
  placed_.clear();
  const int steps = width > 1.0f ? static_cast<int>(std::ceil((width - 1.0f) / 2.0f)) : 0;
  for (int k = 0; k < steps; ++k) {
    const float x = 1.0f + 2.0f * static_cast<float>(k);
    const std::optional<Landing> hit = findLanding(x, height + 50.0f, -10.0f, true);
    if (!hit) continue;
    // A gentle unevenness so the new snow does not lie like a ruler.
    const float shape = 1.0f + 0.25f * std::sin(0.011f * x + b) + 0.12f * std::sin(0.047f * x + a);
    addSnow(*hit->drift, hit->column, shape * e);
    if (std::find(placed_.begin(), placed_.end(), hit->drift) == placed_.end()) placed_.push_back(hit->drift);
  }
  lastAwayDeposit = e;
  return static_cast<int>(placed_.size());
}

void SnowWorld::shovel() {
  float sum = 0.0f;
  int puffs = 0;
  for (Drift* d : drifts) {
    const int n = std::min(d->columns, static_cast<int>(std::min(d->heights.size(), d->limits.size())));
    for (int i = 0; i < n; ++i) {
      const float h = d->heights[i], limit = d->limits[i];
      if (!(h > kHasSnow) || !(limit > kHidden)) continue;
      sum += h;
      if (sum <= 6.0f) continue;
      if (puffs < kMaxShovelPuffs) {
        const float py = d->y + (0.3f + random.next() * 0.7f) * std::min(limit, h);
        const float vx = random.next() * 140.0f - 70.0f;
        const float vy = random.next() * 170.0f + 30.0f;
        spawnClump(Vec2{columnCentre(*d, i), py}, Vec2{vx, vy}, 0.0f, false, 0.0f);
        ++puffs;
      }
      sum = 0.0f;
    }
    std::fill(d->heights.begin(), d->heights.end(), 0.0f);
    d->spillLeft = d->spillRight = 0.0f;
    d->crumbleEvents.clear();
    d->dirty = true;
    d->quietPasses = 0;
  }
  burstAllBalls(false);
  storedBalls.clear();
  driftMemory.clear();
}

bool SnowWorld::fillWindowDrift(uint64_t window) {
  Drift* d = findDrift(windowDriftKey(window));
  if (!d || d->columns <= kGuideColumns) return false;
  const int n = std::min(d->columns, static_cast<int>(std::min(d->heights.size(), d->limits.size())));
  for (int i = 0; i < n; ++i) {
    const float room = std::min(d->cap, d->limits[i]);
    if (!(room > 2.0f)) continue;
    const float fi = static_cast<float>(i);
    const float taper = std::min(1.0f, static_cast<float>(std::min(i, n - 1 - i)) / 12.0f);
    const float want = (9.0f + 3.0f * std::sin(0.11f * fi) + 2.0f * std::sin(0.031f * fi)) * taper;
    d->heights[i] = std::max(d->heights[i], std::min(room, want));
  }
  d->dirty = true;
  d->quietPasses = 0;
  return true;
}

bool SnowWorld::snowShower(uint64_t window, int count) {
  Drift* d = findDrift(windowDriftKey(window));
  if (!d || d->columns <= kGuideColumns) return false;
  for (int k = 0; k < count; ++k) {
    Particle p;
    const float g = 0.45f + random.next() * 0.55f;
    p.depth = g;
    p.size = 4.8f + 3.8f * g;
    p.baseAlpha = p.alpha = 0.7f + 0.3f * g;
    p.phase = random.next() * kTwoPi;
    p.swayRate = 0.3f + random.next() * 0.5f;
    p.snow = (0.22f * p.size + 0.55f) * 2.4f;
    p.canLand = true;
    p.anyDrift = true;
    p.windowDeposit = 1.0f;
    p.age = -1.0f;
    p.shape = -1;
    p.flicker = 1.0f;
    p.x = d->x + 2.0f * static_cast<float>(d->columns) * random.next();
    p.y = std::min(d->y + 30.0f + random.next() * 310.0f, height + 20.0f);
    particles.push_back(std::move(p));
  }
  return true;
}

}  // namespace kovra
