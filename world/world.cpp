#include "world/world.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace kovra {

namespace {

constexpr float kMinStep = 0.001f;
constexpr float kMaxStep = 0.05f;
constexpr size_t kParticleCapacity = 2048;
constexpr size_t kPowderCapacity = 256;
constexpr size_t kDriftCapacity = 64;
constexpr int kMaxClumps = 600;
constexpr uint64_t kSecondSeed = 0x5EED5EED;
constexpr float kTwoPi = 6.283f;

// Flakes leave below this height or this far beyond either side.
constexpr float kBottomExit = -12.0f;
constexpr float kSideExit = 1000.0f;

constexpr float kFlakeFade = 0.8f;  // s a landed flake takes to fade
constexpr float kStarFade = 4.5f;   // s a landed star takes to fade
constexpr float kFallAgain = 0.12f; // s a flake whose drift vanished passes through drifts

int g_testStarsOverride = -1;  // -1: follow the environment

bool environmentStars() {
  static const bool present = std::getenv("KOVRA_TEST_STARS") != nullptr;
  return present;
}

float frac(float v) { return v - std::floor(v); }

// Crystal set-up of size s.
void setUpCrystal(Particle& p, WorldRandom& rng, float s) {
  p.size = s;
  p.shape = static_cast<int>(rng.next() * 3.0f) % 3;
  p.baseAlpha = 0.88f + rng.next() * 0.12f;
  p.alpha = p.baseAlpha;
  p.angle = rng.next() * kTwoPi;
  const float spin = 0.15f + rng.next() * 0.3f;
  p.spin = rng.next() < 0.5f ? -spin : spin;
  p.flickerDepth = 0.2f + rng.next() * 0.2f;
}

bool outside(const Particle& p, float width) {
  return p.y < kBottomExit || p.x < -kSideExit || p.x > width + kSideExit;
}

}  // namespace

SnowWorld::SnowWorld(float width, float height, uint64_t seed)
    : width(width), height(height), random(seed | 1), random2(kSecondSeed) {
  particles.reserve(kParticleCapacity);
  pendingPowder.reserve(kPowderCapacity);
  drifts.reserve(kDriftCapacity);
}

bool SnowWorld::testStars() {
  return g_testStarsOverride >= 0 ? g_testStarsOverride == 1 : environmentStars();
}

void SnowWorld::setTestStarsForTesting(bool on) { g_testStarsOverride = on ? 1 : 0; }

float SnowWorld::windNow(const WorldInput& input) const {
  const SnowfallProfile prof = snowfallProfile(input.level, input.density);
  float w = 110.0f * input.wind * prof.windFactor *
            (1.0f + 0.22f * std::sin(0.19f * clock) * std::sin(0.07f * clock + 1.3f));
  if (input.level == 2) w += 16.0f * std::sin(0.4f * clock);
  return w;
}

float SnowWorld::pointerSpeed() const { return std::sqrt(pvx * pvx + pvy * pvy); }

bool SnowWorld::needsInput() const { return clumpCount > 30 || ballsNeedInput(); }

bool SnowWorld::busy() const { return needsInput() || skyBusy(); }

// ---------------------------------------------------------------- the step

void SnowWorld::stepWorld(float dt, const WorldInput& input, const PointerInput& pointer, double now) {
  if (!(dt >= kMinStep)) dt = kMinStep;  // also catches NaN
  if (dt > kMaxStep) dt = kMaxStep;
  clock += dt;

  if (snowPaused) {
    visibility = std::max(0.0f, visibility - dt / 0.7f);
    if (visibility <= 0.0f) {
      // Faded out: only the garland's level moves on.
      updateGarlandLevel(dt, input);
      return;
    }
  } else {
    visibility = std::min(1.0f, visibility + dt / 0.9f);
    if (input.snowfall) {
      const SnowfallProfile prof = snowfallProfile(input.level, input.density);
      spawnCarry += prof.rate * width / 1000.0f * dt;
      if (!std::isfinite(spawnCarry) || spawnCarry < 0.0f) spawnCarry = 0.0f;
      while (spawnCarry >= 1.0f) {
        spawnCarry -= 1.0f;
        // At the limit the carry still drains, so no burst follows when
        // flakes leave.
        if (fallingFlakes() < prof.maxFlakes) spawnFrom(random, input, std::nullopt);
      }
    } else {
      spawnCarry = 0.0f;
    }
  }

  releasePowder(input);

  trackPointer(dt, input, pointer);

  checkLifts(now);

  updateShovel(dt);
  updateHand(dt, pointer);

  moveParticles(dt, input);

  stepBalls(dt);

  updateSky(dt, input, pointer);

  detectSnowmenEvery(dt);

  stepDrifts(now);
}

void SnowWorld::releasePowder(const WorldInput& input) {
  for (const PowderSeed& seed : pendingPowder) {
    spawnFrom(random2, input, seed.y);
    Particle& p = particles.back();
    if (p.star || p.hero) {  // powder is only ever plain snow
      particles.pop_back();
      continue;
    }
    p.x = seed.x;
    p.y = seed.y;
    p.vx = seed.vx;
    p.vy = seed.vy;
    p.powder = true;
    p.noLandTime = 0.25f;
    ++powderCount;
  }
  pendingPowder.clear();
}

// ---------------------------------------------------------------- spawning

void SnowWorld::spawnFlake(const WorldInput& input, std::optional<float> y) { spawnFrom(random, input, y); }

void SnowWorld::spawnFrom(WorldRandom& rng, const WorldInput& input, std::optional<float> y) {
  const SnowfallProfile prof = snowfallProfile(input.level, input.density);
  Particle p;

  // Depth decides where a flake may settle: the farthest never, the middle
  // band on every drift, the nearest only on the taskbar and the ground.
  const float g = rng.next();
  p.depth = g;
  p.canLand = g > 0.32f;
  p.anyDrift = g <= 0.6f;
  p.size = prof.sizeBase + prof.sizeSpread * g;
  p.snow = 0.22f * p.size + 0.55f;
  p.phase = rng.next() * kTwoPi;
  p.swayRate = 0.22f + rng.next() * 0.28f;
  p.baseAlpha = p.alpha = 0.82f + 0.18f * g;
  p.windowDeposit = 2.7f;
  p.noLandTime = 0.0f;
  p.age = -1.0f;
  p.shape = -1;
  p.flicker = 1.0f;

  // Start upwind far enough that the wind carries flakes over the whole width.
  const float wind = windNow(input);
  const float fallTime = height / std::max(10.0f, (0.75f * g + 0.45f) * prof.fallSpeed);
  const float reach = std::min(900.0f, fallTime * std::fabs(wind) * 0.9f);
  float left = 0.0f, right = width;
  if (wind > 0.0f) {
    left = -reach;
  } else if (wind < 0.0f) {
    right = width + reach;
  }

  if (!prof.tumbling) {
    // Golden-ratio spread with a little jitter: even cover without a pattern.
    spreadPhase = frac(spreadPhase + 0.618034f);
    const float a = frac(spreadPhase + rng.next() * 0.05f - 0.025f + 1.0f);
    p.x = left + (right - left) * a;
  }

  p.y = y ? *y : height + 4.0f + rng.next() * 26.0f;

  if (prof.tumbling) {
    setUpTumbling(p, rng, prof, left, right, y.has_value());
  } else if (g > 0.8f && rng.next() < prof.crystalChance) {
    const float s = 13.0f + rng.next() * 6.0f;
    setUpCrystal(p, rng, s);
  }

  if (testStars() && input.stars && rng.next() < 1.0f / 6.0f) {
    p.tumbling = false;
    p.hero = false;
    p.shape = -1;
    p.star = true;
    p.canLand = true;
    p.snow = 0.0f;
    p.baseAlpha = p.alpha = 1.0f;
    p.swayRate = 0.4f + rng.next() * 0.5f;
    p.size = 10.0f + rng.next() * 4.0f;
    p.depth = std::max(0.55f, g);
    p.angle = rng.next() * 1.2f;
    p.starAlt = rng.next() < 0.6f;
  }

  particles.push_back(std::move(p));
}

void SnowWorld::setUpTumbling(Particle& p, WorldRandom& rng, const SnowfallProfile& prof, float left,
                              float right, bool heightGiven) {
  if (bandsLeft_ == 0) {
    for (int i = 0; i < 10; ++i) bands_[i] = i;
    for (int i = 9; i >= 1; --i) {
      const int j = static_cast<int>(rng.next() * static_cast<float>(i + 1)) % (i + 1);
      std::swap(bands_[i], bands_[j]);
    }
    bandsLeft_ = 10;
  }
  const int band = bands_[--bandsLeft_];
  p.x = left + (right - left) * (static_cast<float>(band) + rng.next()) / 10.0f;

  const float g = p.depth;
  if (rng.next() < prof.heroChance) {
    p.hero = true;
    p.canLand = false;
    p.depth = 1.0f;
    p.size = 15.0f + rng.next() * 6.0f;
    p.baseAlpha = p.alpha = 0.42f + rng.next() * 0.13f;
    p.tumbleSpeed = (1.55f + rng.next() * 0.3f) * prof.fallSpeed;
    p.swayWidth = 12.0f + rng.next() * 8.0f;
    p.swayRate = 0.6f + rng.next() * 0.35f;
    if (!heightGiven) p.y = height + p.size;
  } else {
    p.baseAlpha = p.alpha = 0.58f + 0.42f * g;
    p.tumbleSpeed = (0.62f + 0.55f * g) * prof.fallSpeed * (0.85f + rng.next() * 0.3f);
    p.swayWidth = (4.0f + 10.0f * g) * prof.swayFactor;
    p.swayRate = 0.9f + rng.next();
    if (g > 0.72f && rng.next() < prof.crystalChance) {
      const float s = 15.0f + rng.next() * 7.0f;
      setUpCrystal(p, rng, s);
    }
  }
  p.tumbling = true;
  p.phase2 = rng.next() * kTwoPi;
  // A hero never lands, so it carries no snow.
  p.snow = p.hero ? 0.0f : (0.22f * p.size + 0.55f) * prof.snowFactor;
}

bool SnowWorld::spawnClump(Vec2 position, Vec2 velocity, float snow, bool canLand, float noLandTime) {
  if (clumpCount >= kMaxClumps) return false;
  Particle p;
  p.clump = true;
  p.x = position.x;
  p.y = position.y;
  p.vx = velocity.x;
  p.vy = velocity.y;
  p.snow = snow;
  p.canLand = canLand;
  p.noLandTime = noLandTime;
  p.size = std::min(7.0f, 2.2f + 1.6f * std::sqrt(std::max(0.01f, snow)));
  p.depth = 0.5f;
  p.anyDrift = true;
  p.windowDeposit = 1.0f;
  p.baseAlpha = p.alpha = 1.0f;
  p.age = -1.0f;
  p.phase = 0.0f;
  p.swayRate = 1.0f;
  p.shape = -1;
  particles.push_back(std::move(p));
  ++clumpCount;
  return true;
}

void SnowWorld::prefill(const WorldInput& input) {
  if (!input.snowfall) return;
  const SnowfallProfile prof = snowfallProfile(input.level, input.density);
  if (prof.rate <= 0.0f || prof.fallSpeed <= 0.0f) return;
  const float wanted = prof.rate * width / 1000.0f * (height / prof.fallSpeed) * 0.65f;
  const int n = static_cast<int>(std::min(static_cast<float>(prof.maxFlakes), std::max(0.0f, wanted)));
  for (int i = 0; i < n; ++i) {
    const float y = random.next() * height;
    spawnFrom(random, input, y);
  }
}

// ---------------------------------------------------------------- removal

void SnowWorld::removeParticle(size_t i) {
  if (i >= particles.size()) return;
  if (particles[i].clump) --clumpCount;
  if (particles[i].powder) --powderCount;
  if (i + 1 != particles.size()) particles[i] = std::move(particles.back());
  particles.pop_back();
}

void SnowWorld::reset() {
  particles.clear();
  pendingPowder.clear();
  clumpCount = 0;
  powderCount = 0;
  spawnCarry = 0.0f;
  for (Drift* d : drifts) {
    std::fill(d->heights.begin(), d->heights.end(), 0.0f);
    d->spillLeft = d->spillRight = 0.0f;
    d->crumbleEvents.clear();
    d->launchColumns.clear();
    d->liftSpeed = 0.0f;
    d->dirty = true;
    d->quietPasses = 0;
  }
  driftMemory.clear();
  resetSky();
  resetBalls();
  garlandLevel = 0.0f;
}

// ---------------------------------------------------------------- motion

void SnowWorld::moveParticles(float dt, const WorldInput& input) {
  const SnowfallProfile prof = snowfallProfile(input.level, input.density);
  const float wind = windNow(input);
  const float decay = std::pow(0.15f, dt);
  for (size_t i = 0; i < particles.size();) {
    Particle& p = particles[i];
    bool keep;
    if (p.clump) {
      keep = moveClump(p, dt, wind);
    } else if (p.age >= 0.0f) {
      keep = restFlake(p, dt, wind, prof, decay);
    } else {
      keep = moveFlake(p, dt, wind, prof, decay);
    }
    if (keep) {
      ++i;
    } else {
      removeParticle(i);  // the last record moves here and is handled next
    }
  }
}

bool SnowWorld::moveFlake(Particle& p, float dt, float wind, const SnowfallProfile& prof, float decay) {
  const float g = p.depth;
  const float t = clock;
  float fall = (0.75f * g + 0.45f) * prof.fallSpeed;
  if (p.star) {
    p.angle += (p.phase > 3.14f ? 0.9f : -0.9f) * dt;
    p.alpha = 0.7f + 0.3f * std::sin(5.0f * t + p.phase);
    fall *= 0.6f;
  }
  const float a = p.swayRate * t + p.phase;
  const float drift = (0.6f * g + 0.55f) * wind;
  const float oldY = p.y;

  if (p.tumbling) {
    const float sway = p.swayRate * p.swayWidth * (0.6f * std::cos(2.3f * a + p.phase2) + std::cos(a));
    const float wave = std::sin(0.21f * t + 0.004f * p.x + 1.1f) * prof.waveAmplitude *
                       std::cos(0.0035f * p.y - 0.13f * t) * (0.5f * g + 0.5f);
    p.x += dt * (sway + drift + wave + p.vx);
    p.y += dt * (p.vy - (1.0f + 0.14f * std::sin(2.0f * a)) * p.tumbleSpeed);
    p.angle += p.spin * dt;
    if (p.flickerDepth > 0.0f) {
      p.flicker = 1.0f - std::fabs(std::sin(0.6f * p.swayRate * t + p.phase2)) * p.flickerDepth;
    }
  } else {
    p.x += dt * (std::sin(a) * (8.0f * g + 3.0f) * prof.swayFactor + drift + p.vx);
    p.y += dt * (p.vy - fall);
    if (p.shape >= 0) {
      p.angle += p.spin * dt;
      p.flicker = 1.0f - std::fabs(std::sin(0.6f * p.swayRate * t + p.phase)) * p.flickerDepth;
    }
  }
  p.vx *= decay;
  p.vy *= decay;

  if (p.noLandTime > 0.0f) {
    p.noLandTime -= dt;
  } else if (p.canLand && p.y < oldY) {
    if (const std::optional<Landing> hit = findLanding(p.x, oldY, p.y, p.anyDrift)) {
      Drift& d = *hit->drift;
      addSnow(d, hit->column, p.snow * (d.kind == DriftKind::Window ? p.windowDeposit : 1.0f));
      p.y = hit->surface;
      p.driftKey = d.key;
      p.drift = &d;
      p.offset = Vec2{p.x - d.x, p.y - d.y};
      p.covered = false;
      p.age = 0.0f;
      return true;
    }
  }
  return !outside(p, width);
}

bool SnowWorld::restFlake(Particle& p, float dt, float wind, const SnowfallProfile& prof, float decay) {
  if (!p.driftKey.empty()) {
    Drift* d = findDrift(p.driftKey);
    if (!d) {
      // Its drift has gone: it falls on, and for a moment passes through
      // whatever lies just below.
      p.driftKey.clear();
      p.drift = nullptr;
      p.covered = false;
      p.noLandTime = kFallAgain;
      p.age = -1.0f;
      p.vx = p.vy = 0.0f;
      p.alpha = p.baseAlpha;
      return moveFlake(p, dt, wind, prof, decay);
    }
    p.drift = d;
    p.x = d->x + p.offset.x;
    p.y = d->y + p.offset.y;
    const int c = static_cast<int>(p.offset.x / 2.0f);
    p.covered = c >= 0 && c < d->columns && static_cast<size_t>(c) < d->limits.size() && d->limits[c] < 0.5f;
  }
  p.age += dt;
  if (p.star) {
    if (p.age >= kStarFade) return false;
    p.alpha = (0.65f + 0.35f * std::sin(6.0f * clock + p.phase)) * std::min(1.0f, (kStarFade - p.age) / 1.2f);
  } else {
    if (p.age >= kFlakeFade) return false;
    p.alpha = (1.0f - p.age / kFlakeFade) * p.baseAlpha;
  }
  return true;
}

// Clump flight, landing and rest: world/loose_snow.cpp.

// ---------------------------------------------------------------- drifts

Drift& SnowWorld::insertDrift(Drift drift) {
  const std::string key = drift.key;
  auto [it, inserted] = driftMap.try_emplace(key);
  it->second = std::move(drift);
  if (inserted) drifts.push_back(&it->second);
  sortDrifts();
  return it->second;
}

bool SnowWorld::eraseDrift(const std::string& key) {
  auto it = driftMap.find(key);
  if (it == driftMap.end()) return false;
  Drift* gone = &it->second;
  releaseBallsOn(gone);
  for (Particle& p : particles) {
    if (p.drift == gone) p.drift = nullptr;  // the key still tells it its drift has gone
  }
  drifts.erase(std::remove(drifts.begin(), drifts.end(), gone), drifts.end());
  driftMap.erase(it);
  return true;
}

Drift* SnowWorld::findDrift(const std::string& key) {
  auto it = driftMap.find(key);
  return it == driftMap.end() ? nullptr : &it->second;
}

std::optional<Landing> SnowWorld::findLanding(float x, float yFrom, float yTo, bool anyDrift) {
  return kovra::findLanding(drifts, x, yFrom, yTo, anyDrift, random);
}

void SnowWorld::sortDrifts() {
  std::stable_sort(drifts.begin(), drifts.end(), [](const Drift* a, const Drift* b) {
    if (a->kind != b->kind) return static_cast<int>(a->kind) < static_cast<int>(b->kind);
    return a->sceneIndex < b->sceneIndex;
  });
}

}  // namespace kovra
