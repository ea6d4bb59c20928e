// The sky's own step: sparks, fireworks, shooting stars and the garland's
// level, and the order in which all visitors move.
#include <algorithm>
#include <cmath>

#include "render/sprites.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kStarLife = 0.9f;  // s a shooting star shows
constexpr float kRocketGravity = 260.0f;

}  // namespace

void SnowWorld::updateSky(float dt, const WorldInput& input, const PointerInput& pointer) {
  updateSparks(dt);
  updateSanta(dt, input);
  updateGifts(dt);
  updateBirds(dt, input, pointer);
  if (showActive) updateFireworks(dt);

  if (primary && input.stars) {
    if (nextStar == 0.0f) nextStar = clock + 40.0f + random.next() * 50.0f;
    if (clock >= nextStar) {
      nextStar = clock + 180.0f + random.next() * 180.0f;
      launchStar();
    }
  }
  // A star already on its way finishes even when the setting went off.
  if (starActive) {
    starElapsed += dt;
    if (starElapsed >= kStarLife) starActive = false;
  }

  updateGarlandLevel(dt, input);
}

void SnowWorld::updateGarlandLevel(float dt, const WorldInput& input) {
  garlandLevel = input.garland ? std::min(1.0f, garlandLevel + dt / 1.5f) : std::max(0.0f, garlandLevel - dt / 0.8f);
}

void SnowWorld::spawnSpark(Vec2 position, Vec2 velocity, float life, float size, float fadeRate, float shrinkRate,
                           float gravity, int colour, float brightness) {
  if (sparks.size() >= kMaxSparks) return;
  if (sparks.capacity() < kMaxSparks) sparks.reserve(kMaxSparks);  // once: no reallocation mid-show
  Spark s;
  s.x = position.x;
  s.y = position.y;
  s.vx = velocity.x;
  s.vy = velocity.y;
  s.life = life;
  s.size = size;
  s.fadeRate = fadeRate;
  s.shrinkRate = shrinkRate;
  s.gravity = gravity;
  s.colour = colour;
  s.brightness = brightness;
  sparks.push_back(s);
}

void SnowWorld::updateSparks(float dt) {
  size_t kept = 0;
  for (size_t i = 0; i < sparks.size(); ++i) {
    Spark s = sparks[i];
    s.vy += s.gravity * dt;
    s.x += s.vx * dt;
    s.y += s.vy * dt;
    s.brightness += s.fadeRate * dt;
    s.size *= std::max(0.0f, 1.0f + s.shrinkRate * dt);
    s.age += dt;
    if (s.age >= s.life || s.brightness <= 0.01f || s.size < 0.3f) continue;
    sparks[kept++] = s;
  }
  sparks.resize(kept);
}

void SnowWorld::launchStar() {
  const float theta = 0.25f + random.next() * 0.3f;
  starStart.x = (0.2f + random.next() * 0.6f) * width;
  starStart.y = (0.7f + random.next() * 0.22f) * height;
  starDir = {std::cos(theta), -std::sin(theta)};
  if (random.next() < 0.5f) starDir.x = -starDir.x;
  starDistance = 380.0f + random.next() * 240.0f;
  starElapsed = 0.0f;
  starActive = true;
}

void SnowWorld::startFireworks(float seconds) {
  if (showActive) return;
  showActive = true;
  showTime = seconds;
  launchTimer = 0.0f;  // the first rocket goes at once
  rockets.clear();
}

void SnowWorld::updateFireworks(float dt) {
  showTime -= dt;
  if (showTime > 0.0f && launchTimer <= 0.0f) {
    launchTimer = 0.35f + random.next() * 0.75f;
    Rocket r;
    r.burstHeight = (0.55f + random.next() * 0.30f) * height;
    r.x = (0.12f + random.next() * 0.76f) * width;
    r.y = -10.0f;
    r.vx = random.next() * 120.0f - 60.0f;
    r.vy = 1.05f * std::sqrt(520.0f * r.burstHeight);
    rockets.push_back(r);
  } else {
    launchTimer -= dt;
  }

  for (size_t i = 0; i < rockets.size();) {
    Rocket& r = rockets[i];
    r.vy -= kRocketGravity * dt;
    r.x += r.vx * dt;
    r.y += r.vy * dt;
    r.trailCarry += 70.0f * dt;
    while (r.trailCarry >= 1.0f) {
      r.trailCarry -= 1.0f;
      const float vx = random.next() * 16.0f - 8.0f;
      const float vy = random.next() * 20.0f - 20.0f;
      spawnSpark({r.x, r.y}, {vx, vy}, 0.6f, 4.0f, -1.6f, 0.0f, 0.0f, kSpriteSpark + 6, 1.0f);
    }
    if (r.y >= r.burstHeight || r.vy < 40.0f) {
      const int colour = kSpriteSpark + static_cast<int>(random.next() * 6.0f) % 6;
      const float base = 140.0f + random.next() * 90.0f;
      const int count = 90 + static_cast<int>(random.next() * 61.0f);
      const float bx = r.x, by = r.y;
      rockets.erase(rockets.begin() + static_cast<ptrdiff_t>(i));
      for (int k = 0; k < count; ++k) {
        const float dir = random.next() * 2.0f * kPi;
        const float speed = base - 55.0f + random.next() * 110.0f;
        const float life = 1.5f + random.next() * 0.6f;
        spawnSpark({bx, by}, {std::cos(dir) * speed, std::sin(dir) * speed}, life, 7.0f, -0.5f, -0.35f, -90.0f,
                   colour, 1.0f);
      }
      continue;
    }
    ++i;
  }
  if (showTime <= 0.0f && rockets.empty()) showActive = false;
}

void SnowWorld::resetSky() {
  santa.active = false;
  gifts.clear();
  birds.clear();
  sparks.clear();
  rockets.clear();
  showActive = false;
  showTime = 0.0f;
  starActive = false;
}

bool SnowWorld::skyBusy() const {
  if (santa.active || showActive || starActive || !sparks.empty()) return true;
  for (const Bird& b : birds) {
    if (b.state != BirdState::Perched || b.hop > 0.0f) return true;
  }
  for (const Gift& g : gifts) {
    if (g.driftKey.empty()) return true;
  }
  return false;
}

}  // namespace kovra
