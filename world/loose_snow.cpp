// Loose snow: clumps in flight and at rest, the cursor sweeping drifts and
// blowing flakes aside, and the shovel that gathers what the cursor scrapes
// off the taskbar and the ground.

#include <algorithm>
#include <cmath>

#include "world/world.h"

namespace kovra {

namespace {

constexpr float kColumnWidth = 2.0f;
constexpr float kGravity = 820.0f;        // pt/s² on loose snow
constexpr float kBottomExit = -12.0f;
constexpr float kSideExit = 1000.0f;
constexpr float kTopExit = 400.0f;
constexpr float kBareGround = 2.0f;       // a clump on the bare screen bottom rests this high
constexpr float kClumpFade = 1.6f;        // s a landed clump takes to fade
constexpr float kFallAgain = 0.12f;       // s a clump whose drift vanished passes through drifts
constexpr float kUntracked = -100000.0f;

// Sweeping.
constexpr float kSweepSpeed = 90.0f;      // slower cursors never sweep
constexpr float kBiteSpeed = 200.0f;      // window drifts need this much
constexpr float kScrapeSpeed = 450.0f;    // the taskbar and the ground need this much
constexpr float kBiteRadius = 10.0f;
constexpr float kScrapeReach = 14.0f;
constexpr float kBlowSpeed = 80.0f;
constexpr float kBlowReach = 55.0f;
constexpr float kMaxPush = 400.0f;

// The shovel.
constexpr float kMaxLoad = 140.0f;
constexpr float kFlingLoad = 90.0f;       // a fuller blade is emptied at once
constexpr float kGatherWindow = 0.5f;     // s after the last scrape the shovel still gathers
constexpr float kEmptyLoad = 0.05f;

int usableColumns(const Drift& d) {
  return static_cast<int>(std::min({static_cast<size_t>(std::max(0, d.columns)), d.heights.size(), d.limits.size()}));
}

float columnCentre(const Drift& d, int i) { return d.x + (static_cast<float>(i) + 0.5f) * kColumnWidth; }

// Columns whose centres may lie within `reach` of x.
void columnRange(const Drift& d, float x, float reach, int& first, int& last) {
  const int n = usableColumns(d);
  first = std::max(0, static_cast<int>(std::floor((x - reach - d.x) / kColumnWidth)) - 1);
  last = std::min(n - 1, static_cast<int>(std::floor((x + reach - d.x) / kColumnWidth)) + 1);
}

bool gone(const Particle& p, float width, float height) {
  return p.y < kBottomExit || p.x < -kSideExit || p.x > width + kSideExit || p.y > height + kTopExit;
}

}  // namespace

// ---------------------------------------------------------------- clumps

bool SnowWorld::moveClump(Particle& p, float dt, float wind) {
  if (p.age >= 0.0f) {
    if (!p.driftKey.empty()) {
      Drift* d = findDrift(p.driftKey);
      if (d) {
        p.drift = d;
        p.x = d->x + p.offset.x;
        p.y = d->y + p.offset.y;
        const int c = static_cast<int>(p.offset.x / kColumnWidth);
        p.covered = c >= 0 && c < usableColumns(*d) && d->limits[c] < 0.5f;
      } else {
        // Its drift has gone: it falls on, for a moment through what lies below.
        p.driftKey.clear();
        p.drift = nullptr;
        p.covered = false;
        p.noLandTime = kFallAgain;
        p.age = -1.0f;
        p.vx = p.vy = 0.0f;
        p.alpha = p.baseAlpha;
      }
    }
    if (p.age >= 0.0f) {
      p.age += dt;
      if (p.age >= kClumpFade) return false;
      p.alpha = (1.0f - p.age / kClumpFade) * p.baseAlpha;
      return true;
    }
  }

  const float oldY = p.y;
  p.vy -= kGravity * dt;
  p.vx += (0.4f * wind - p.vx) * std::min(1.0f, 0.6f * dt);
  p.x += p.vx * dt;
  p.y += p.vy * dt;

  if (p.noLandTime > 0.0f) {
    p.noLandTime -= dt;
  } else if (p.canLand && p.y < oldY) {
    if (const std::optional<Landing> hit = findLanding(p.x, oldY, p.y, true)) {
      Drift& d = *hit->drift;
      addSnow(d, hit->column, p.snow * (d.kind == DriftKind::Window ? p.windowDeposit : 1.0f));
      p.snow = 0.0f;
      p.y = hit->surface;
      p.vx = p.vy = 0.0f;
      p.driftKey = d.key;
      p.drift = &d;
      p.offset = Vec2{p.x - d.x, p.y - d.y};
      p.covered = false;
      p.age = 0.0f;
      return true;
    }
    if (oldY > kBareGround && p.y <= kBareGround && p.x > 0.0f && p.x < width) {
      // No drift here (the ground's snow may be hidden under the taskbar):
      // it lies on the bare screen bottom and fades.
      p.y = kBareGround;
      p.vx = p.vy = 0.0f;
      p.age = 0.0f;
      return true;
    }
  }
  return !gone(p, width, height);
}

// ---------------------------------------------------------------- the cursor

void SnowWorld::trackPointer(float dt, const WorldInput& input, const PointerInput& pointer) {
  if (!pointer.inside || !std::isfinite(pointer.x) || !std::isfinite(pointer.y)) {
    tracking = false;
    pointerX = pointerY = kUntracked;
    pvx = pvy = 0.0f;
    return;
  }
  if (!tracking) {
    // The first sample on this monitor only sets the starting point.
    tracking = true;
    pointerX = pointer.x;
    pointerY = pointer.y;
    return;
  }
  pvx = 0.4f * ((pointer.x - pointerX) / dt) + 0.6f * pvx;
  pvy = 0.4f * ((pointer.y - pointerY) / dt) + 0.6f * pvy;
  pointerX = pointer.x;
  pointerY = pointer.y;
  const float s = pointerSpeed();

  // A held modifier or button means the user is grabbing, not sweeping.
  if (input.sweep && !hand.ball && !pointer.pressed && pointer.grabMode == 0 && s > kSweepSpeed) {
    sweep(Vec2{pointerX, pointerY});
  }

  if (s > kBlowSpeed) {
    for (Particle& p : particles) {
      if (p.clump || p.age >= 0.0f) continue;
      const float dx = p.x - pointerX, dy = p.y - pointerY;
      const float d2 = dx * dx + dy * dy;
      if (d2 >= kBlowReach * kBlowReach) continue;
      const float f = 0.05f * (1.0f - std::sqrt(d2) / kBlowReach);
      p.vx = std::clamp(p.vx + pvx * f, -kMaxPush, kMaxPush);
      p.vy = std::clamp(p.vy + pvy * f, -kMaxPush, kMaxPush);
    }
  }
}

void SnowWorld::sweep(Vec2 at) {
  const float s = pointerSpeed();
  for (Drift* dp : drifts) {
    Drift& d = *dp;
    const int n = usableColumns(d);
    if (n == 0) continue;
    const float bx = at.x + 5.0f;
    if (bx < d.x - 10.0f || bx > d.x + kColumnWidth * static_cast<float>(n) + 10.0f) continue;
    if (at.y - 8.0f < d.y - 10.0f || at.y - 18.0f > d.y + d.cap) continue;

    if (d.kind == DriftKind::Window) {
      if (!(s > kBiteSpeed)) continue;
      // A round bite below the cursor's tip.
      const float cx = at.x + 5.0f, cy = at.y - 8.0f;
      int first, last;
      columnRange(d, cx, kBiteRadius, first, last);
      float sum = 0.0f;
      for (int i = first; i <= last; ++i) {
        const float dx = columnCentre(d, i) - cx;
        if (std::fabs(dx) > kBiteRadius || !(d.limits[i] >= 0.5f)) continue;
        const float c = std::sqrt(std::max(0.0f, kBiteRadius * kBiteRadius - dx * dx));
        float& h = d.heights[i];
        const float top = d.y + std::min(d.limits[i], h);
        if (d.y > cy + c || top < cy - c) continue;
        const float cut = std::max(0.0f, cy - c - d.y);
        if (h > cut) {
          sum += h - cut;
          h = cut;
        }
      }
      if (!(sum > 0.02f)) continue;
      d.dirty = true;
      d.quietPasses = 0;
      const int count = std::clamp(static_cast<int>(sum / 1.5f), 1, 10);
      for (int k = 0; k < count; ++k) {
        const float px = at.x + 5.0f - 8.0f + 16.0f * random.next();
        const float py = std::max(at.y - 18.0f + 4.0f * random.next(), d.y + 1.0f);
        const float vx = 80.0f * random.next() - 40.0f + 0.5f * pvx;
        const float vy = 40.0f + 110.0f * random.next() + std::max(50.0f, 0.4f * pvy);
        spawnClump(Vec2{px, py}, Vec2{vx, vy}, sum / static_cast<float>(count), true, 0.22f);
      }
    } else {
      if (!(s > kScrapeSpeed)) continue;
      // Scraped flat at the shovel's blade, which loads what comes off.
      const float cx = at.x + 4.0f;
      const float cut = std::max(0.0f, at.y - 18.0f - d.y);
      int first, last;
      columnRange(d, cx, kScrapeReach, first, last);
      float sum = 0.0f;
      for (int i = first; i <= last; ++i) {
        if (std::fabs(columnCentre(d, i) - cx) > kScrapeReach || !(d.limits[i] >= 0.5f)) continue;
        float& h = d.heights[i];
        if (h > cut) {
          sum += h - cut;
          h = cut;
        }
      }
      if (!(sum > 0.02f)) continue;
      d.dirty = true;
      d.quietPasses = 0;
      Shovel& sh = snowShovel;
      if (std::fabs(handVx) > 60.0f) {
        const float direction = handVx > 0.0f ? 1.0f : -1.0f;
        if (direction != sh.direction) {
          flingLoad();  // what was gathered goes the old way first
          sh.direction = direction;
        }
      }
      sh.load = std::min(kMaxLoad, sh.load + 0.85f * sum);
      sh.ledge = d.y;
      sh.lastGather = clock;
      if (random.next() < 0.5f) {
        const float px = sh.direction * 15.0f + at.x + 4.0f;
        const float py = std::max(at.y - 12.0f, d.y + 2.0f);
        const float vx = (60.0f + 90.0f * random.next()) * sh.direction + 0.2f * pvx;
        const float vy = 40.0f + 80.0f * random.next();
        spawnClump(Vec2{px, py}, Vec2{vx, vy}, 0.15f * sum, true, 0.2f);
      }
    }
  }
}

// ---------------------------------------------------------------- the shovel

void SnowWorld::updateShovel(float dt) {
  handVx += (pvx - handVx) * (1.0f - std::exp(-8.0f * dt));
  Shovel& sh = snowShovel;
  const bool gathering = tracking && clock - sh.lastGather < kGatherWindow;
  if (gathering) {
    sh.visibility = std::min(1.0f, sh.visibility + dt / 0.15f);
    sh.x = pointerX + 4.0f;
    sh.y = std::max(sh.ledge, pointerY - 18.0f);
  } else {
    sh.visibility = std::max(0.0f, sh.visibility - dt / 0.45f);
    if (sh.visibility <= 0.0f) {
      // Out of sight: the load is gone without a fling.
      sh.load = 0.0f;
      if (tracking) {
        sh.x = pointerX + 4.0f;
        sh.y = std::max(sh.ledge, pointerY - 18.0f);
      }
      return;
    }
  }

  if (sh.load > kEmptyLoad &&
      ((std::fabs(handVx) < 50.0f && clock - sh.lastGather > 0.12f) || sh.load > kFlingLoad || !gathering)) {
    flingLoad();
  }

  sh.kick = std::max(0.0f, sh.kick - dt / 0.3f);
  const float target = std::clamp(-handVx / 1600.0f, -0.35f, 0.35f) - sh.kick * sh.direction * 0.55f;
  sh.lean += (target - sh.lean) * (1.0f - std::exp(-14.0f * dt));
}

void SnowWorld::flingLoad() {
  Shovel& sh = snowShovel;
  if (!(sh.load > kEmptyLoad)) return;
  const int count = std::clamp(static_cast<int>(sh.load / 2.5f), 4, 18);
  const float each = sh.load / static_cast<float>(count);
  for (int k = 0; k < count; ++k) {
    const float px = sh.x + (4.0f + 10.0f * random.next()) * sh.direction;
    const float py = sh.y + 8.0f + 6.0f * random.next();
    const float vx = (160.0f + 160.0f * random.next()) * sh.direction + 0.3f * handVx;
    const float vy = 170.0f + 130.0f * random.next();
    spawnClump(Vec2{px, py}, Vec2{vx, vy}, each, true, 0.25f);
  }
  sh.load = 0.0f;
  sh.kick = 1.0f;
}

}  // namespace kovra
