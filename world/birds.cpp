// Bullfinches: a small flock flies in, lands on a snowy drift, pecks, hops
// and turns about, and flies off when the cursor comes near, when its window
// moves or is covered, or when its stay is over.
#include <algorithm>
#include <cmath>

#include "world/world.h"

namespace kovra {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kScareDistance = 110.0f;  // pt from the cursor
constexpr float kWindowMoved = 4.0f;      // pt a window may move under a bird
constexpr float kLandDistance = 5.0f;

int columnAt(const Drift& d, float offset) {
  return std::clamp(static_cast<int>(offset / 2.0f), 0, d.columns - 1);
}

// Where a bird's feet go at `offset` along the drift.
float surfaceAt(const Drift& d, float offset) {
  const size_t c = static_cast<size_t>(columnAt(d, offset));
  return d.y + std::min(d.limits[c], d.heights[c]) - 1.0f;
}

// An offset kept 10 pt inside the drift's ends.
float insideDrift(const Drift& d, float offset) {
  const float hi = std::max(10.0f, 2.0f * static_cast<float>(d.columns) - 10.0f);
  return std::min(std::max(offset, 10.0f), hi);
}

bool hasColumn(const Drift& d, float minLimit, float minSnow) {
  for (int c = 0; c < d.columns; ++c) {
    if (d.limits[static_cast<size_t>(c)] > minLimit && d.heights[static_cast<size_t>(c)] > minSnow) return true;
  }
  return false;
}

template <typename T>
T pick(const std::vector<T>& from, WorldRandom& u) {
  const int n = static_cast<int>(from.size());
  return from[static_cast<size_t>(static_cast<int>(u.next() * static_cast<float>(n)) % n)];
}

}  // namespace

bool SnowWorld::birdsArrive() {
  // Window and taskbar drifts with room for a bird, the snowy ones preferred;
  // the ground when nothing else will do.
  std::vector<Drift*> candidates, preferred;
  Drift* ground = nullptr;
  for (Drift* d : drifts) {
    if (d->kind == DriftKind::Ground) {
      if (!ground) ground = d;
      continue;
    }
    if (2.0f * static_cast<float>(d->columns) <= 80.0f || !hasColumn(*d, 3.0f, -1.0f)) continue;
    candidates.push_back(d);
    if (hasColumn(*d, 3.0f, 3.0f)) preferred.push_back(d);
  }
  Drift* target = !preferred.empty() ? pick(preferred, random) : !candidates.empty() ? pick(candidates, random) : ground;
  if (!target) return false;

  std::vector<int> spots;
  for (int c = 0; c < target->columns; ++c) {
    if (target->heights[static_cast<size_t>(c)] > 2.0f && target->limits[static_cast<size_t>(c)] > 2.0f)
      spots.push_back(c);
  }
  if (spots.empty()) {
    for (int c = 0; c < target->columns; ++c) {
      if (target->limits[static_cast<size_t>(c)] > 2.0f) spots.push_back(c);
    }
  }
  if (spots.empty()) return false;

  const int c = pick(spots, random);
  const int n = 1 + static_cast<int>(random.next() * 3.0f) % 3;
  const bool fromLeft = random.next() < 0.5f;
  const float side = fromLeft ? -1.0f : 1.0f;
  for (int i = 0; i < n; ++i) {
    Bird b;
    b.driftKey = target->key;
    const float spread = (16.0f + random.next() * 10.0f) * static_cast<float>(i) * side;
    b.offset = insideDrift(*target, spread + 2.0f * static_cast<float>(c));
    b.x = fromLeft ? -30.0f - 40.0f * static_cast<float>(i) : width + 30.0f + 40.0f * static_cast<float>(i);
    b.y = (0.55f + random.next() * 0.35f) * height;
    b.state = BirdState::FlyingIn;
    b.age = -0.4f * static_cast<float>(i);
    b.stay = 35.0f + random.next() * 55.0f;
    b.nextAction = 0.5f + random.next();
    b.peck = -1.0f;
    b.facingRight = fromLeft;
    birds.push_back(std::move(b));
  }
  return true;
}

void SnowWorld::birdLeaves(Bird& b, Vec2 threat) {
  b.state = BirdState::FlyingAway;
  b.peck = -1.0f;
  b.hop = 0.0f;
  const float speed = 180.0f + random.next() * 80.0f;
  b.vx = threat.x < b.x ? speed : -speed;
  b.vy = 140.0f + random.next() * 80.0f;
  b.facingRight = b.vx > 0.0f;
  // Taking off knocks a little snow loose.
  for (int k = 0; k < 4; ++k) {
    const float px = b.x - 5.0f + random.next() * 10.0f;
    const float vx = random.next() * 100.0f - 50.0f;
    const float vy = 30.0f + random.next() * 60.0f;
    spawnClump({px, b.y + 2.0f}, {vx, vy}, 0.15f, true, 0.05f);
  }
}

void SnowWorld::updateBirds(float dt, const WorldInput& input, const PointerInput& pointer) {
  if (nextBirds == 0.0f) nextBirds = clock + 150.0f + random.next() * 90.0f;
  if (birds.empty() && input.birds && clock >= nextBirds) {
    nextBirds = clock + 360.0f + random.next() * 360.0f;
    birdsArrive();
  }

  for (size_t i = 0; i < birds.size();) {
    Bird& b = birds[i];
    b.age += dt;
    b.anim += dt;
    const Vec2 threat = pointer.inside ? Vec2{pointer.x, pointer.y} : Vec2{b.x, b.y};
    Drift* d = b.state == BirdState::FlyingAway ? nullptr : findDrift(b.driftKey);

    if (b.state == BirdState::FlyingIn) {
      if (!d) {
        birdLeaves(b, threat);
      } else {
        const float tx = d->x + b.offset, ty = surfaceAt(*d, b.offset);
        const float dx = tx - b.x, dy = ty - b.y;
        const float dist = std::sqrt(dx * dx + dy * dy);
        if (dist <= kLandDistance) {
          b.state = BirdState::Perched;
          b.x = tx;
          b.y = ty;
          b.vx = b.vy = 0.0f;
          b.driftOriginX = d->x;
          b.driftOriginY = d->y;
        } else {
          const float speed = std::min(280.0f, 1.6f * dist + 90.0f);
          const float k = std::min(1.0f, 4.0f * dt);
          b.vx += (dx / dist * speed - b.vx) * k;
          b.vy += (dy / dist * speed - b.vy) * k;
          b.x += b.vx * dt;
          b.y += b.vy * dt;
          if (b.vx > 1.0f) b.facingRight = true;
          if (b.vx < -1.0f) b.facingRight = false;
        }
      }
    } else if (b.state == BirdState::Perched) {
      bool leave = !d;
      if (d) {
        leave = d->limits[static_cast<size_t>(columnAt(*d, b.offset))] <= 0.5f;
        if (d->kind == DriftKind::Window &&
            std::hypot(d->x - b.driftOriginX, d->y - b.driftOriginY) > kWindowMoved)
          leave = true;
      }
      if (pointer.inside && std::hypot(pointer.x - b.x, pointer.y - b.y) < kScareDistance) leave = true;
      if (b.age > b.stay) leave = true;
      if (leave) {
        birdLeaves(b, threat);
      } else {
        b.nextAction -= dt;
        if (b.nextAction <= 0.0f) {
          b.nextAction = 0.5f + random.next() * 1.7f;
          const float action = random.next();
          if (action < 0.45f) {
            b.peck = 0.0f;
          } else if (action < 0.75f) {
            const float to = insideDrift(*d, b.offset + random.next() * 18.0f - 9.0f);
            if (std::fabs(to - b.offset) > 1.0f) b.facingRight = to > b.offset;
            b.offset = to;
            b.hop = 1.0f;
          } else {
            b.facingRight = !b.facingRight;
          }
        }
        if (b.peck >= 0.0f) {
          b.peck += dt;
          if (b.peck > 0.45f) b.peck = -1.0f;
        }
        b.hop = std::max(0.0f, b.hop - 5.0f * dt);
        b.x = d->x + b.offset;
        b.y = surfaceAt(*d, b.offset) + 5.0f * std::sin(kPi * b.hop);
      }
    } else {
      b.vy += 260.0f * dt;
      b.x += b.vx * dt;
      b.y += b.vy * dt;
      if (b.y > height + 40.0f || b.x < -40.0f || b.x > width + 40.0f) {
        birds.erase(birds.begin() + static_cast<ptrdiff_t>(i));
        continue;
      }
    }
    ++i;
  }
}

}  // namespace kovra
