// Snowballs and heaps: scooping, carrying and packing in the hand, throwing,
// their flight, landings and collisions, stacks and snowmen, and how they
// burst or splat back into loose snow.

#include "world/balls.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "world/world.h"

namespace kovra {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kColumnWidth = 2.0f;
constexpr float kGravity = 1500.0f;       // pt/s² on balls
constexpr float kGrabReach = 3.0f;        // pt beyond a ball's rim that still grabs it
constexpr float kMaxThrow = 2600.0f;
constexpr float kHardThrow = 400.0f;      // a throw that counts as one
constexpr float kShatterBall = 1300.0f;   // landing speeds that burst a ball ...
constexpr float kShatterHeap = 1900.0f;   // ... and a heap
constexpr float kBounceFrom = 260.0f;
constexpr float kBounce = -0.18f;
constexpr float kHeldKnock = 420.0f;      // a held ball knocks others at most this fast
constexpr int kStackLevels = 7;
constexpr int kSupportLevels = 9;
constexpr float kSnowmanEvery = 0.25f;
constexpr float kCoveredSplat = 0.35f;    // s a ball may lie hidden on the ground
constexpr float kSubstepTravel = 3.0f;    // pt a ball may move in one step; the smallest is 8 pt across
constexpr int kMaxSubsteps = 16;

int usableColumns(const Drift& d) {
  return static_cast<int>(std::min({static_cast<size_t>(std::max(0, d.columns)), d.heights.size(), d.limits.size()}));
}

float columnCentre(const Drift& d, int i) { return d.x + (static_cast<float>(i) + 0.5f) * kColumnWidth; }

int columnIndex(const Drift& d, float x) { return static_cast<int>(std::floor((x - d.x) / kColumnWidth)); }

// Snow that shows in a column.
float shownSnow(const Drift& d, int i) { return std::min(d.limits[i], d.heights[i]); }

bool inside(const Rect& r, float x, float y) {
  return x >= r.x && x <= r.x + r.width && y >= r.y && y <= r.y + r.height;
}

// b rests on `base` through at most `levels` balls.
bool stackedOn(const Snowball& b, const Snowball& base, int levels) {
  const Snowball* s = b.sitsOn;
  for (int i = 0; s && i < levels; ++i, s = s->sitsOn) {
    if (s == &base) return true;
  }
  return false;
}

// A landing at the impact speed (downwards positive): thrown heaps splat,
// hard landings burst, quick ones bounce, slow ones stop.
void land(Snowball& b, float dt) {
  const float impact = std::max(0.0f, -b.vy);
  if (b.thrownHeap) {
    b.splat = true;
    b.impactVx = b.vx;
    b.impactVy = b.vy;
  }
  if (impact > (b.heap ? kShatterHeap : kShatterBall)) {
    b.shatter = true;
    b.vy *= kBounce;
  } else if (impact > kBounceFrom) {
    b.vy *= kBounce;
  } else {
    b.vy = 0.0f;
  }
  b.vx *= std::pow(0.06f, dt);
}

void capSpeed(Snowball& b, float cap) {
  const float s = std::hypot(b.vx, b.vy);
  if (s > cap) {
    b.vx *= cap / s;
    b.vy *= cap / s;
  }
}

// `top` comes to rest on `base`, their rims touching.
void sitOn(Snowball& top, Snowball& base) {
  const float r = top.radius + base.radius;
  const float dx = top.x - base.x;
  top.y = base.y + std::sqrt(std::max(0.0f, r * r - dx * dx));
  top.vy = std::max(top.vy, base.vy);
  top.sitsOn = &base;
  top.vx = base.vx + 0.4f * (top.vx - base.vx);
}

// A held ball stands still in its record; what it hits feels the hand's
// motion instead.
void resolvePair(Snowball& a, Snowball& b, const Hand& hand) {
  if (a.heap || b.heap || (a.held && b.held)) return;
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float reach = a.radius + b.radius;
  const float l2 = dx * dx + dy * dy;
  if (!(l2 < reach * reach)) return;
  const float l = std::sqrt(l2);
  const float nx = l > 1e-4f ? dx / l : 0.0f;
  const float ny = l > 1e-4f ? dy / l : 1.0f;

  if (ny > 0.6f && !b.held && (a.resting() || a.held)) {
    sitOn(b, a);
    return;
  }
  if (ny < -0.6f && !a.held && (b.resting() || b.held)) {
    sitOn(a, b);
    return;
  }

  // Side by side: pushed apart, the lighter one more; a held ball is the hand
  // and does not give way.
  const float ia = a.held ? 0.0f : 1.0f / std::max(1.0f, a.area);
  const float ib = b.held ? 0.0f : 1.0f / std::max(1.0f, b.area);
  const float sum = ia + ib;
  if (!(sum > 0.0f)) return;
  const float overlap = reach - l;
  a.x -= nx * overlap * ia / sum;
  a.y -= ny * overlap * ia / sum;
  b.x += nx * overlap * ib / sum;
  b.y += ny * overlap * ib / sum;
  auto vx = [&hand](const Snowball& s) { return s.held ? hand.vx : s.vx; };
  auto vy = [&hand](const Snowball& s) { return s.held ? hand.vy : s.vy; };
  const float vn = (vx(b) - vx(a)) * nx + (vy(b) - vy(a)) * ny;
  if (vn < 0.0f) {
    const float j = -(1.0f + 0.05f) * vn / sum;
    a.vx -= j * ia * nx;
    a.vy -= j * ia * ny;
    b.vx += j * ib * nx;
    b.vy += j * ib * ny;
    const float tx = -ny, ty = nx;
    const float vt = (vx(b) - vx(a)) * tx + (vy(b) - vy(a)) * ty;
    const float jt = 0.3f * vt / sum;
    a.vx += jt * ia * tx;
    a.vy += jt * ia * ty;
    b.vx -= jt * ib * tx;
    b.vy -= jt * ib * ty;
  }
  if (a.held) capSpeed(b, kHeldKnock);
  if (b.held) capSpeed(a, kHeldKnock);
}

}  // namespace

float ballRadius(float area) { return std::max(4.0f, std::sqrt(std::max(0.0f, area) / kPi)); }

int SnowWorld::snowmanCount() const {
  return static_cast<int>(
      std::count_if(balls.begin(), balls.end(), [](const auto& b) { return b->role == kRoleHead; }));
}

bool SnowWorld::ballsNeedInput() const {
  if (hand.ball) return true;
  return std::any_of(balls.begin(), balls.end(), [](const auto& b) { return std::hypot(b->vx, b->vy) > 20.0f; });
}

// ---------------------------------------------------------------- looking

Snowball* SnowWorld::ballAt(Vec2 at) const {
  Snowball* best = nullptr;
  float bestD = 0.0f;
  for (const auto& b : balls) {
    if (b->covered) continue;
    const float d = std::hypot(b->x - at.x, b->y - at.y);
    if (d <= b->radius + kGrabReach && (!best || d < bestD)) {
      best = b.get();
      bestD = d;
    }
  }
  return best;
}

bool SnowWorld::hoverTest(Vec2 at) const {
  if (!std::isfinite(at.x) || !std::isfinite(at.y)) return false;
  if (ballAt(at)) return true;
  // Inside a drift's snow, a little below its surface, where it lies deep
  // enough to scoop.
  for (const Drift* d : drifts) {
    const int n = usableColumns(*d);
    const float rel = at.x - d->x;
    if (n == 0 || !(rel >= 0.0f) || !(rel < kColumnWidth * static_cast<float>(n))) continue;
    if (at.y < d->y + 0.5f || at.y > d->y + d->cap) continue;
    const int c = std::min(static_cast<int>(rel / kColumnWidth), n - 1);
    for (int i = std::max(0, c - 1); i <= std::min(n - 1, c + 1); ++i) {
      const float s = shownSnow(*d, i);
      if (s > 3.0f && at.y <= d->y + s - 0.5f) return true;
    }
  }
  return false;
}

bool SnowWorld::snowUnder(Vec2 at) const {
  if (!std::isfinite(at.x) || !std::isfinite(at.y)) return false;
  for (const Drift* d : drifts) {
    const int n = usableColumns(*d);
    if (n == 0) continue;
    if (at.x < d->x - 6.0f || at.x > d->x + kColumnWidth * static_cast<float>(n) + 6.0f) continue;
    if (at.y < d->y - 8.0f || at.y > d->y + d->cap + 10.0f) continue;
    const int c = columnIndex(*d, at.x);
    for (int i = std::max(0, c - 4); i <= std::min(n - 1, c + 4); ++i) {
      const float s = shownSnow(*d, i);
      if (s > 1.5f && at.y <= d->y + s + 8.0f) return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- the hand

Snowball* SnowWorld::makeBall(Vec2 at, bool heap) {
  if (!snowUnder(at)) return nullptr;
  if (balls.size() >= static_cast<size_t>(kMaxBalls)) burst(*balls.front(), true);
  auto ball = std::make_unique<Snowball>();
  ball->x = at.x;
  ball->y = at.y;
  ball->area = kBallStartArea;
  ball->radius = ballRadius(kBallStartArea);
  ball->heap = heap;
  ball->variant = random.next() < 0.35f;
  milestones |= heap ? 2u : 4u;
  balls.push_back(std::move(ball));
  Snowball& b = *balls.back();
  packSnow(b);
  return &b;
}

void SnowWorld::hold(Snowball& b, Vec2 pointer) {
  if (hand.ball) return;
  b.held = true;
  b.vx = b.vy = 0.0f;
  b.drift = nullptr;
  b.sitsOn = nullptr;
  b.onGround = false;
  b.coveredTime = 0.0f;
  hand.ball = &b;
  hand.offsetX = b.x - pointer.x;
  hand.offsetY = b.y - pointer.y;
  hand.path[0] = PathSample{b.x, b.y, clock};
  hand.pathCount = 1;
  hand.vx = hand.vy = 0.0f;
}

bool SnowWorld::grabWithButton(Vec2 at, bool heap) {
  if (hand.ball || !std::isfinite(at.x) || !std::isfinite(at.y)) return false;
  Snowball* b = ballAt(at);
  if (!b) b = makeBall(at, heap);
  if (!b) return false;
  hold(*b, at);
  hand.buttonHold = true;
  hand.modifierHold = false;
  return true;
}

void SnowWorld::updateHand(float dt, const PointerInput& pointer) {
  if (hand.modifierHold && !hand.ball) hand.modifierHold = false;
  if (pointer.grabMode == 1 || pointer.grabMode == 2) {
    hand.modifierTime += dt;
    // A short hold and a moving cursor: a deliberate grab, not a shortcut.
    if (hand.modifierTime > 0.15f && !hand.ball && !pointer.pressed && tracking && pointerSpeed() > 25.0f) {
      const Vec2 at{pointerX, pointerY};
      Snowball* b = ballAt(at);
      if (!b) b = makeBall(at, pointer.grabMode == 1);
      if (b) {
        hold(*b, at);
        hand.modifierHold = true;
        hand.buttonHold = false;
      }
    }
  } else {
    hand.modifierTime = 0.0f;
    if (hand.ball && hand.modifierHold) letGo();
  }

  if (!hand.ball || !tracking) return;
  Snowball& b = *hand.ball;
  const float r = b.radius;
  const float nx = std::max(r, std::min(pointerX + hand.offsetX, width - r));
  const float ny = std::max(r, pointerY + hand.offsetY);
  const float dx = nx - b.x, dy = ny - b.y;
  b.x = nx;
  b.y = ny;
  hand.vx = dx / dt;
  hand.vy = dy / dt;
  for (auto& s : balls) {
    if (s.get() != &b && !s->held && stackedOn(*s, b, kStackLevels)) {
      s->x += dx;
      s->y += dy;
    }
  }
  if (hand.pathCount == static_cast<int>(hand.path.size())) {
    std::move(hand.path.begin() + 1, hand.path.end(), hand.path.begin());
    --hand.pathCount;
  }
  hand.path[static_cast<size_t>(hand.pathCount++)] = PathSample{b.x, b.y, clock};
  packSnow(b);
  b.drawX = b.x;
  b.drawY = b.y;
  b.drawValid = true;
}

void SnowWorld::packSnow(Snowball& b) {
  float sum = 0.0f;
  const float r = b.radius;
  for (Drift* dp : drifts) {
    Drift& d = *dp;
    const int n = usableColumns(d);
    if (n == 0) continue;
    if (d.x > b.x + r || d.x + kColumnWidth * static_cast<float>(n) < b.x - r) continue;
    if (d.y < b.y - r - d.cap - 2.0f || d.y > b.y + r) continue;
    const int first = std::max(0, columnIndex(d, b.x - 0.7f * r) - 1);
    const int last = std::min(n - 1, columnIndex(d, b.x + 0.7f * r) + 1);
    bool changed = false;
    for (int i = first; i <= last; ++i) {
      const float cx = columnCentre(d, i);
      if (std::fabs(cx - b.x) > 0.7f * r || !(d.limits[i] >= 0.5f)) continue;
      const float outline = b.y - std::sqrt(std::max(0.0f, r * r - (cx - b.x) * (cx - b.x)));
      float& h = d.heights[i];
      if (!(d.y + std::min(d.limits[i], h) + 1.0f > outline)) continue;
      const float cut = std::max(0.0f, outline - 1.0f - d.y);
      if (h > cut) {
        sum += h - cut;
        h = cut;
        changed = true;
      }
    }
    if (changed) {
      d.dirty = true;
      d.quietPasses = 0;
    }
  }
  if (sum > 0.0f) {
    b.area = std::min(kBallMaxArea, b.area + 2.0f * 0.85f * sum);
    b.radius = ballRadius(b.area);
  }
}

void SnowWorld::letGo() {
  Snowball* held = hand.ball;
  hand.modifierHold = false;
  hand.buttonHold = false;
  if (!held) return;
  Snowball& b = *held;

  // The throw is the swing of the last tenth of a second, if the hand was
  // still moving a moment ago.
  float vx = 0.0f, vy = 0.0f;
  if (hand.pathCount > 0) {
    const PathSample& newest = hand.path[static_cast<size_t>(hand.pathCount - 1)];
    if (clock - newest.t < 0.08f) {
      const PathSample* oldest = &newest;
      for (int i = 0; i < hand.pathCount; ++i) {
        if (newest.t - hand.path[static_cast<size_t>(i)].t < 0.1f) {
          oldest = &hand.path[static_cast<size_t>(i)];
          break;
        }
      }
      const float span = newest.t - oldest->t;
      if (span > 0.005f) {
        vx = (newest.x - oldest->x) / span;
        vy = (newest.y - oldest->y) / span;
        const float s = std::hypot(vx, vy);
        if (s > kMaxThrow) {
          vx *= kMaxThrow / s;
          vy *= kMaxThrow / s;
        }
      }
    }
  }

  // Let go a little inside a ledge: it is set on the ledge instead.
  for (const Drift* d : drifts) {
    if (d->kind == DriftKind::Ground) continue;
    const int n = usableColumns(*d);
    const float rel = b.x - d->x;
    if (n == 0 || !(rel >= 0.0f) || !(rel < kColumnWidth * static_cast<float>(n))) continue;
    const int c = std::min(static_cast<int>(rel / kColumnWidth), n - 1);
    if (!(d->limits[c] >= 1.0f)) continue;
    if (d->kind != DriftKind::Taskbar && d->y > b.y) continue;
    if (d->y + 1.5f > b.y - b.radius) b.y = d->y + 1.5f + b.radius;
    break;
  }

  b.vx = vx;
  b.vy = vy;
  const float speed = std::hypot(vx, vy);
  if (speed >= kHardThrow) milestones |= 2u;
  b.held = false;
  b.thrownHeap = b.heap;
  hand.ball = nullptr;
  hand.pathCount = 0;

  // Set down gently near a ball below: it is lined up to land on top of it.
  if (speed < kHardThrow && !b.heap) {
    for (const auto& o : balls) {
      if (o.get() == &b || o->heap) continue;
      if (!(o->y < b.y) || std::fabs(o->x - b.x) > 0.8f * o->radius) continue;
      if ((b.y - b.radius) - (o->y + o->radius) >= 40.0f) continue;
      b.x = o->x;
      b.vx = 0.0f;
      break;
    }
  }
}

bool SnowWorld::burstAt(Vec2 at) {
  Snowball* b = ballAt(at);
  if (!b) return false;
  burst(*b, true);
  milestones |= 16u;
  return true;
}

// ---------------------------------------------------------------- motion

void SnowWorld::stepBalls(float dt) {
  restoreBalls();

  // Steps short enough that no ball moves more than kSubstepTravel at a
  // time: a long frame must not carry a ball through another or through a
  // ledge. Most frames need one.
  float fastest = 0.0f;
  for (const auto& bp : balls) {
    if (bp->held) continue;
    // A ball at rest only settles back onto its support under gravity.
    const float falling = bp->resting() ? 0.0f : kGravity * dt;
    fastest = std::max(fastest, std::hypot(bp->vx, bp->vy) + falling);
  }
  const float wanted = std::ceil(fastest * dt / kSubstepTravel);
  const int substeps = wanted > 1.0f ? static_cast<int>(std::min(wanted, static_cast<float>(kMaxSubsteps))) : 1;
  const float h = dt / static_cast<float>(substeps);
  for (int k = 0; k < substeps; ++k) {
    moveBalls(h);
    for (int pass = 0; pass < 3; ++pass) {
      for (size_t i = 0; i < balls.size(); ++i) {
        for (size_t j = i + 1; j < balls.size(); ++j) resolvePair(*balls[i], *balls[j], hand);
      }
    }
  }
  rollBalls(dt);
}

// Gravity, ledges, the ground and the screen's sides.
void SnowWorld::moveBalls(float dt) {
  for (auto& bp : balls) {
    Snowball& b = *bp;
    if (b.held) continue;
    Drift* before = b.drift;
    b.drift = nullptr;
    b.sitsOn = nullptr;
    b.onGround = false;
    b.vy -= kGravity * dt;
    b.vx *= 1.0f - std::min(1.0f, 0.5f * dt);
    const float r = b.radius;
    float nx = b.x + b.vx * dt;
    float ny = b.y + b.vy * dt;

    if (b.vy <= 0.0f) {
      // The highest ledge passed on the way down; balls sit on the ledge
      // itself, in the snow.
      Drift* floorDrift = nullptr;
      float floorY = 0.0f;
      for (Drift* d : drifts) {
        if (d->kind == DriftKind::Ground) continue;
        const int n = usableColumns(*d);
        if (n == 0) continue;
        const float widen = d->kind == DriftKind::Taskbar ? 0.5f * r : 0.0f;
        const float rel = nx - d->x;
        if (rel < -widen || rel >= kColumnWidth * static_cast<float>(n) + widen) continue;
        const int c = std::clamp(static_cast<int>(std::floor(rel / kColumnWidth)), 0, n - 1);
        if (!(d->limits[c] >= 1.0f) && d != before) continue;
        const float f = d->y + 1.5f;
        if (b.y - r >= f - 0.75f && ny - r <= f && (!floorDrift || f > floorY)) {
          floorDrift = d;
          floorY = f;
        }
      }
      if (floorDrift) {
        land(b, dt);
        b.drift = floorDrift;
        ny = floorY + r;
      }
    }
    if (!b.drift && ny - r < 0.0f) {
      land(b, dt);
      b.onGround = true;
      ny = r;
    }
    if (nx < r || nx > width - r) {
      if (b.heap && std::fabs(b.vx) > kShatterHeap) b.shatter = true;
      const bool left = nx < r;
      nx = left ? r : width - r;
      b.vx = (left ? 0.3f : -0.3f) * std::fabs(b.vx);
    }
    b.x = nx;
    b.y = ny;
  }
}

void SnowWorld::rollBalls(float dt) {
  for (auto& bp : balls) {
    Snowball& b = *bp;
    if (b.held) continue;
    // Rolling through snow picks it up.
    if ((b.drift || b.onGround) && std::fabs(b.vx) > 25.0f) {
      Drift* d = b.drift ? b.drift : findDrift("ground");
      if (d) {
        const int n = usableColumns(*d);
        const float take = std::fabs(b.vx) * dt * 0.1f;
        const int first = std::max(0, columnIndex(*d, b.x - 0.6f * b.radius) - 1);
        const int last = std::min(n - 1, columnIndex(*d, b.x + 0.6f * b.radius) + 1);
        float taken = 0.0f;
        for (int i = first; i <= last; ++i) {
          if (std::fabs(columnCentre(*d, i) - b.x) > 0.6f * b.radius) continue;
          float& h = d->heights[i];
          if (!(d->limits[i] > 0.5f) || !(h > 0.05f)) continue;
          const float t = std::min(h, take);
          h -= t;
          taken += t;
        }
        if (taken > 0.0f) {
          b.area = std::min(kBallMaxArea, b.area + 2.0f * 0.8f * taken);
          b.radius = ballRadius(b.area);
          d->dirty = true;
          d->quietPasses = 0;
        }
      }
    }
    if (b.heap) {
      if (!b.resting()) {
        // A flying heap leans into its flight and trails snow.
        b.tilt = std::clamp(-b.vx / 5000.0f, -0.35f, 0.35f);
        if (std::hypot(b.vx, b.vy) > 250.0f && b.area > 300.0f && random.next() < 0.55f) {
          const float px = b.x + (2.0f * random.next() - 1.0f) * 0.7f * b.radius;
          const float py = b.y - 0.3f * b.radius;
          const float vx = 80.0f * random.next() - 40.0f + 0.55f * b.vx;
          const float vy = 60.0f * random.next() - 30.0f + 0.4f * b.vy;
          spawnClump(Vec2{px, py}, Vec2{vx, vy}, 0.35f, true, 0.05f);
          b.area -= 7.0f / 9.0f;
          b.radius = ballRadius(b.area);
        }
      } else {
        b.tilt *= 0.8f;
      }
    }
  }

  for (size_t i = 0; i < balls.size();) {
    Snowball& b = *balls[i];
    if (b.splat) {
      splat(b);
      continue;
    }
    if (b.shatter) {
      burst(b, true);
      continue;
    }
    if (b.onGround && b.covered) {
      b.coveredTime += dt;
      if (b.coveredTime > kCoveredSplat) {
        splat(b);
        continue;
      }
    } else {
      b.coveredTime = 0.0f;
    }
    ++i;
  }

  for (auto& bp : balls) {
    Snowball& b = *bp;
    const float gap = std::hypot(b.x - b.drawX, b.y - b.drawY);
    if (b.drawValid && !b.held && b.resting() && std::hypot(b.vx, b.vy) < 160.0f && gap >= 1.5f && gap <= 60.0f) {
      // Small settling jumps are smoothed out on screen.
      const float k = 1.0f - std::exp(-22.0f * dt);
      b.drawX += (b.x - b.drawX) * k;
      b.drawY += (b.y - b.drawY) * k;
    } else {
      b.drawX = b.x;
      b.drawY = b.y;
    }
    b.drawValid = true;
  }

  supportCheck();
}

void SnowWorld::supportCheck() {
  for (auto& bp : balls) {
    Snowball& b = *bp;
    const Snowball* bottom = &b;
    for (int i = 0; i < kSupportLevels && bottom->sitsOn && !bottom->held; ++i) bottom = bottom->sitsOn;
    b.covered = false;
    if (bottom->held) continue;
    const float x = bottom->x, y = bottom->y, y2 = bottom->y + 0.6f * bottom->radius;
    auto hides = [&](const Rect& r) { return inside(r, x, y) || inside(r, x, y2); };
    if (const Drift* d = bottom->drift) {
      if (d->kind == DriftKind::Window) {
        const size_t k = std::min(occluders.size(), static_cast<size_t>(std::max(0, d->zRank)));
        b.covered = std::any_of(occluders.begin(), occluders.begin() + static_cast<std::ptrdiff_t>(k), hides);
        continue;
      }
      if (d->kind == DriftKind::Taskbar) {
        b.covered = std::any_of(occluders.begin(), occluders.end(), hides);
        continue;
      }
    } else if (!bottom->onGround) {
      continue;
    }
    b.covered = (taskbarPresent && hides(taskbarRect)) || std::any_of(occluders.begin(), occluders.end(), hides);
  }
}

// ---------------------------------------------------------------- snowmen

void SnowWorld::detectSnowmenEvery(float dt) {
  snowmanTimer += dt;
  if (snowmanTimer < kSnowmanEvery) return;
  snowmanTimer = std::fmod(snowmanTimer, kSnowmanEvery);
  detectSnowmen();
}

void SnowWorld::detectSnowmen() {
  const size_t n = std::min(balls.size(), static_cast<size_t>(kMaxBalls));
  std::array<int, kMaxBalls> below{};
  std::array<bool, kMaxBalls> topped{};
  std::array<int, kMaxBalls> role{};
  for (size_t i = 0; i < n; ++i) {
    below[i] = -1;
    const Snowball& b = *balls[i];
    if (b.heap) continue;
    float bestY = 0.0f;
    for (size_t j = 0; j < n; ++j) {
      const Snowball& l = *balls[j];
      if (j == i || l.heap || !(l.y < b.y)) continue;
      if (std::hypot(b.x - l.x, b.y - l.y) > 1.15f * (b.radius + l.radius)) continue;
      if (std::fabs(b.x - l.x) > 0.8f * l.radius) continue;
      if (below[i] < 0 || l.y > bestY) {
        below[i] = static_cast<int>(j);
        bestY = l.y;
      }
    }
    if (below[i] >= 0) topped[static_cast<size_t>(below[i])] = true;
  }
  for (size_t i = 0; i < n; ++i) role[i] = below[i] >= 0 && !topped[i] ? kRoleHead : kRoleNone;
  for (size_t i = 0; i < n; ++i) {
    if (role[i] == kRoleHead && role[static_cast<size_t>(below[i])] != kRoleHead) {
      role[static_cast<size_t>(below[i])] = kRoleBody;
    }
  }
  for (size_t i = 0; i < balls.size(); ++i) {
    Snowball& b = *balls[i];
    const int r = i < n ? role[i] : kRoleNone;
    if (r == kRoleHead && b.role != kRoleHead) milestones |= 8u;
    b.role = r;
  }
}

// ---------------------------------------------------------------- back into loose snow

void SnowWorld::burst(Snowball& b, bool landing) {
  const int n = std::clamp(static_cast<int>(b.area / 18.0f), 6, 50);
  const float snow = b.area / static_cast<float>(n) * 0.45f;
  for (int k = 0; k < n; ++k) {
    const float a = 2.0f * kPi * random.next();
    const float d = random.next() * 0.9f * b.radius;
    const float s = 60.0f + 200.0f * random.next();
    const Vec2 at{b.x + std::cos(a) * d, b.y + std::sin(a) * d};
    const Vec2 v{0.25f * b.vx + std::cos(a) * s, 0.7f * s * std::sin(a) + 90.0f + 0.15f * b.vy};
    spawnClump(at, v, snow, landing, landing ? 0.05f : 0.0f);
  }
  removeBall(b);
}

void SnowWorld::splat(Snowball& b) {
  Drift* d = b.drift ? b.drift : (b.onGround ? findDrift("ground") : nullptr);
  if (!d) {
    burst(b, true);
    return;
  }
  const float snow = 0.45f * b.area;
  const float impact = std::hypot(b.impactVx, b.impactVy);
  const float centre = b.x + std::clamp(0.012f * b.impactVx, -30.0f, 30.0f);
  const float half = std::min(40.0f, 0.012f * std::fabs(b.impactVx)) + std::max(12.0f, 1.7f * b.radius);
  const int n = usableColumns(*d);
  const int first = std::max(0, columnIndex(*d, centre - half));
  const int last = std::min(n - 1, columnIndex(*d, centre + half));
  auto weight = [&](int i) {
    const float q = (columnCentre(*d, i) - centre) / half;
    return std::max(0.0f, 1.0f - q * q);
  };
  float total = 0.0f;
  for (int i = first; i <= last; ++i) total += weight(i);

  // The mound: what finds no room flies off in 3-pt clumps.
  const float mound = 0.88f * snow;
  float spill = total > 0.0f ? 0.0f : mound;
  float spillX = b.x;
  for (int i = first; i <= last && total > 0.0f; ++i) {
    const float share = mound * weight(i) / total;
    const float bound = std::min(d->cap, d->limits[i]);
    float put = 0.0f;
    if (bound > 0.5f) {
      put = std::clamp(bound - d->heights[i], 0.0f, share);
      d->heights[i] += put;
    }
    spill += share - put;
    spillX = columnCentre(*d, i);
    while (spill >= 3.0f) {
      const float away = spillX >= centre ? 1.0f : -1.0f;
      const Vec2 v{(20.0f + 60.0f * random.next()) * away + 0.1f * b.impactVx, 20.0f + 70.0f * random.next()};
      spawnClump(Vec2{spillX, d->y + 0.6f * d->cap}, v, 3.0f, true, 0.1f);
      spill -= 3.0f;
    }
  }
  while (spill >= 3.0f) {
    const Vec2 v{(20.0f + 60.0f * random.next()) + 0.1f * b.impactVx, 20.0f + 70.0f * random.next()};
    spawnClump(Vec2{spillX, d->y + 0.6f * d->cap}, v, 3.0f, true, 0.1f);
    spill -= 3.0f;
  }
  d->dirty = true;
  d->quietPasses = 0;

  // The rest sprays up in a fan.
  const int sprays = std::clamp(static_cast<int>(b.area / 120.0f), 5, 16);
  const float each = 0.12f * snow / static_cast<float>(sprays);
  for (int k = 0; k < sprays; ++k) {
    const Vec2 at{b.x + (2.0f * random.next() - 1.0f) * 0.6f * b.radius, b.y - 0.4f * b.radius};
    const float a = 0.15f + 2.8415926f * random.next();
    const float s = 60.0f + 90.0f * random.next() + 140.0f * std::min(1.0f, impact / 1800.0f);
    spawnClump(at, Vec2{std::cos(a) * s + 0.18f * b.impactVx, 0.8f * s * std::sin(a)}, each, true, 0.06f);
  }
  removeBall(b);
}

void SnowWorld::removeBall(Snowball& b) {
  if (hand.ball == &b) {
    hand.ball = nullptr;
    hand.pathCount = 0;
  }
  for (auto& o : balls) {
    if (o->sitsOn == &b) o->sitsOn = nullptr;
  }
  auto it = std::find_if(balls.begin(), balls.end(), [&](const auto& p) { return p.get() == &b; });
  if (it != balls.end()) balls.erase(it);
}

// ---------------------------------------------------------------- drift events

void SnowWorld::moveBallsWith(const Drift& d, float dx, float dy) {
  for (auto& bp : balls) {
    Snowball& b = *bp;
    if (b.held || b.drift != &d) continue;
    b.x += dx;
    b.y += dy;
    for (auto& s : balls) {
      if (!s->held && s->drift != &d && stackedOn(*s, b, kStackLevels)) {
        s->x += dx;
        s->y += dy;
      }
    }
  }
}

void SnowWorld::knockBall(Snowball& b, Vec2 v, bool stack) {
  if (stack) {
    // Found first, then knocked: knocking clears the supports that tell
    // what is stacked on what.
    std::array<Snowball*, kMaxBalls> above{};
    size_t count = 0;
    for (auto& s : balls) {
      if (count < above.size() && s.get() != &b && !s->held && stackedOn(*s, b, kStackLevels)) above[count++] = s.get();
    }
    for (size_t i = 0; i < count; ++i) {
      Snowball& s = *above[i];
      s.vx = v.x * (0.8f + 0.5f * random.next());
      s.vy = v.y * (0.9f + 0.3f * random.next());
      s.drift = nullptr;
      s.onGround = false;
      s.sitsOn = nullptr;
    }
  }
  b.vx = v.x;
  b.vy = v.y;
  b.drift = nullptr;
  b.onGround = false;
  b.sitsOn = nullptr;
}

void SnowWorld::knockBallsOnMove(const Drift& d, float p, float q, float down) {
  const float side = std::fabs(p);
  if (!(side > 1100.0f) && !(down > 900.0f)) return;
  for (auto& bp : balls) {
    Snowball& b = *bp;
    if (b.held || b.drift != &d) continue;
    const float vy = down > 900.0f ? 0.3f * q : 120.0f + random.next() * 140.0f;
    knockBall(b, Vec2{0.45f * p, vy}, false);
  }
}

void SnowWorld::knockBallsOnYank(const Drift& d, float liftSpeed) {
  if (!(liftSpeed > 900.0f)) return;
  for (auto& bp : balls) {
    Snowball& b = *bp;
    if (b.held || b.drift != &d) continue;
    knockBall(b, Vec2{random.next() * 120.0f - 60.0f, 0.45f * liftSpeed}, false);
  }
}

void SnowWorld::knockBallsAtLaunchColumns(const Drift& d) {
  for (const LaunchColumn& lc : d.launchColumns) {
    const float dir = lc.direction < 0 ? -1.0f : 1.0f;
    for (auto& bp : balls) {
      Snowball& b = *bp;
      if (b.held || b.drift != &d) continue;
      const int c = columnIndex(d, b.x);
      if (static_cast<float>(std::abs(c - lc.column)) > std::max(1.0f, 0.3f * b.radius)) continue;
      const Vec2 v{(random.next() * 80.0f + 90.0f) * dir, random.next() * 80.0f + 80.0f};
      knockBall(b, v, true);
    }
  }
}

void SnowWorld::storeBalls(const Drift& d) {
  // Everything resting on the drift, and everything stacked on that.
  std::vector<Snowball*> taking;
  for (auto& b : balls) {
    if (b->held) continue;
    if (b->drift == &d || (d.kind == DriftKind::Ground && b->onGround)) taking.push_back(b.get());
  }
  if (taking.empty()) return;
  for (bool more = true; more;) {
    more = false;
    for (auto& b : balls) {
      if (b->held || !b->sitsOn || std::find(taking.begin(), taking.end(), b.get()) != taking.end()) continue;
      if (std::find(taking.begin(), taking.end(), b->sitsOn) != taking.end()) {
        taking.push_back(b.get());
        more = true;
      }
    }
  }
  std::vector<StoredBall>& shelf = storedBalls[d.key];
  for (Snowball* t : taking) {
    auto it = std::find_if(balls.begin(), balls.end(), [t](const auto& p) { return p.get() == t; });
    if (it == balls.end()) continue;
    StoredBall s;
    s.ball = std::move(*it);
    balls.erase(it);
    if (hand.ball == t) {
      hand.ball = nullptr;
      hand.pathCount = 0;
    }
    Snowball& b = *s.ball;
    b.vx = b.vy = 0.0f;
    b.drift = nullptr;
    b.sitsOn = nullptr;
    b.onGround = false;
    b.held = false;
    b.covered = false;
    b.coveredTime = 0.0f;
    s.offsetX = b.x - d.x;
    s.offsetY = b.y - d.y;
    shelf.push_back(std::move(s));
  }
  // Balls left behind no longer rest on the ones put away.
  for (auto& b : balls) {
    if (b->sitsOn && std::find(taking.begin(), taking.end(), b->sitsOn) != taking.end()) b->sitsOn = nullptr;
  }
}

void SnowWorld::restoreBalls() {
  for (auto it = storedBalls.begin(); it != storedBalls.end();) {
    Drift* d = findDrift(it->first);
    if (!d) {
      ++it;
      continue;
    }
    for (StoredBall& s : it->second) {
      if (!s.ball) continue;
      if (balls.size() >= static_cast<size_t>(kMaxBalls)) burst(*balls.front(), true);
      Snowball& b = *s.ball;
      b.x = d->x + s.offsetX;
      b.y = d->y + s.offsetY;
      b.vx = b.vy = 0.0f;
      b.drift = d;
      b.drawValid = false;
      balls.push_back(std::move(s.ball));
    }
    it = storedBalls.erase(it);
  }
}

void SnowWorld::releaseBallsOn(const Drift* d) {
  for (auto& b : balls) {
    if (b->drift == d) b->drift = nullptr;
  }
}

void SnowWorld::burstAllBalls(bool landing) {
  while (!balls.empty()) burst(*balls.back(), landing);
}

void SnowWorld::resetBalls() {
  balls.clear();
  storedBalls.clear();
  hand = Hand{};
}

}  // namespace kovra
