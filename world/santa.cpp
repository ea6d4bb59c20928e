// Santa's flight over the primary monitor, his trail of sparkles and the gifts
// he drops into the drifts.
#include <algorithm>
#include <cmath>

#include "render/sprites.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kFirstFlightMin = 70.0f, kFirstFlightSpread = 40.0f;  // s after the world was made
constexpr float kGiftGravity = 700.0f;
constexpr float kGiftStay = 40.0f;      // s a gift rests before it fades
constexpr float kGiftFade = 1.2f;       // s of fading
constexpr float kGiftSink = 3.0f;       // pt a resting gift sits in the snow
constexpr float kSideMargin = 20.0f;    // a gift is not dropped this close to a side

float smoothStep(float p) { return p * p * (3.0f - 2.0f * p); }

// The team's sparkle trail leaves the back of the sleigh.
void sparkle(SnowWorld& w, const SantaFlight& f, float c, float s) {
  WorldRandom& u = w.random;
  const float B = f.leftToRight ? -f.scale : f.scale, A = f.scale;
  const float K = (87.0f + u.next() * 6.0f) * B;
  const float J = (5.0f + u.next() * 10.0f) * A;
  const float dir = u.next() * 2.0f * kPi;
  const float speed = 11.0f + u.next() * 14.0f;
  const float life = 1.3f + u.next() * 0.6f;
  const float size = (0.7f + u.next() * 0.6f) * 7.0f;
  w.spawnSpark({f.x + c * K - s * J, f.y + s * K + c * J}, {std::cos(dir) * speed, std::sin(dir) * speed}, life,
               size, -0.6f, -0.35f, -28.0f, kSpriteTwinkle, 0.95f);
}

// Drops the gifts whose moment has come, as long as the bag is over the
// screen; one that would fall near a side waits for the bag to move in.
void dropGifts(SnowWorld& w, SantaFlight& f, float progress, float c, float s) {
  const float B = f.leftToRight ? -f.scale : f.scale, A = f.scale;
  while (f.giftsDropped < f.giftsPlanned && f.dropAt[static_cast<size_t>(f.giftsDropped)] < progress) {
    const float bx = f.x + c * 60.0f * B - s * 20.0f * A;
    const float by = f.y + s * 60.0f * B + c * 20.0f * A;
    if (bx < kSideMargin || bx > w.width - kSideMargin) break;
    WorldRandom& u = w.random;
    Gift g;
    g.x = bx;
    g.y = by;
    const float ahead = f.leftToRight ? 1.0f : -1.0f;
    g.vx = ahead * f.speed * (0.25f + u.next() * 0.2f);
    g.vy = 20.0f + u.next() * 50.0f;
    // Near the far side a forward throw would carry the gift off the screen.
    const bool lastStretch = f.leftToRight ? bx > 0.85f * w.width : bx < 0.15f * w.width;
    if (lastStretch) g.vx = 0.0f;
    g.picture = kSpriteGift + static_cast<int>(u.next() * 3.0f) % 3;
    g.sizeFactor = 0.8f + u.next() * 0.9f;
    if (w.gifts.size() >= kMaxGifts) w.gifts.erase(w.gifts.begin());
    w.gifts.push_back(std::move(g));
    ++f.giftsDropped;
  }
  f.allDropped = f.giftsDropped >= f.giftsPlanned;
}

void flySanta(SnowWorld& w, float dt) {
  SantaFlight& f = w.santa;
  f.elapsed += dt;
  const float L = santaPathLength(f, w.width);
  const float dist = f.speed * f.elapsed;
  if (!(dist < L)) {
    f.active = false;
    return;
  }
  const float progress = dist / L;
  // The team enters and leaves wholly off screen on both sides: the path
  // starts one team length beyond the side it comes from.
  f.x = f.leftToRight ? dist - 40.0f - f.length : f.length + w.width + 40.0f - dist;
  const float alt = santaAltitude(f, w.width, dist);
  const float bob = std::sin(2.1f * f.elapsed);
  f.y = alt + 4.0f * bob;

  const float ahead = santaAltitude(f, w.width, std::min(dist + 0.01f * L, L));
  float a = std::clamp(std::atan2(ahead - alt, 0.01f * L) * 0.6f, -0.3f, 0.3f);
  a = a * (f.leftToRight ? 1.0f : -1.0f) + 0.01f * bob;
  if (!f.headingSet) {
    f.heading = a;
    f.headingSet = true;
  } else {
    f.heading += (a - f.heading) * (1.0f - std::exp(-2.5f * dt));
  }

  // He waves in two stretches of the flight.
  const bool waving = (progress > 0.30f && progress < 0.43f) || (progress > 0.60f && progress < 0.73f);
  f.cheer = waving ? std::min(1.0f, f.cheer + dt / 0.3f) : std::max(0.0f, f.cheer - dt / 0.35f);

  const float c = std::cos(f.heading), s = std::sin(f.heading);
  f.sparkleCarry += 55.0f * dt;
  while (f.sparkleCarry >= 1.0f) {
    f.sparkleCarry -= 1.0f;
    sparkle(w, f, c, s);
  }
  dropGifts(w, f, progress, c, s);
}

}  // namespace

float santaPathLength(const SantaFlight& flight, float worldWidth) {
  return 1.6f * flight.length + worldWidth + 120.0f;
}

float santaAltitude(const SantaFlight& f, float worldWidth, float distance) {
  const float L = santaPathLength(f, worldWidth);
  const float p = std::clamp(distance / L, 0.0f, 1.0f);
  const float e = smoothStep(p);
  const float sp = std::sin(kPi * p);
  const float d = sp * sp;
  return f.startY + (f.endY - f.startY) * e + f.bump * d +
         f.waveAmp * std::sin(2.0f * kPi * p * f.waveCycles + f.wavePhase) * d;
}

void SnowWorld::startSanta() {
  WorldRandom& u = random;
  SantaFlight f;
  f.active = true;
  f.leftToRight = u.next() < 0.5f;
  f.scale = width > 1700.0f ? 1.45f : 1.25f;
  f.length = 403.1f;
  f.speed = (0.85f + u.next() * 0.35f) * std::max(150.0f, width / 8.5f);

  const float g0 = u.next();
  f.giftsPlanned = g0 < 0.5f ? 1 : (g0 < 0.85f ? 2 : 3);
  for (int i = 0; i < f.giftsPlanned; ++i) f.dropAt[static_cast<size_t>(i)] = 0.25f + u.next() * 0.55f;
  std::sort(f.dropAt.begin(), f.dropAt.begin() + f.giftsPlanned);

  // The altitude profile: level, climbing or descending, a hump, a dip or a wave.
  const float H = height;
  const float m = 0.55f * H + u.next() * 0.27f * H;
  const float g = u.next();
  if (g < 0.18f) {
    f.startY = m;
    f.endY = m + u.next() * 40.0f - 20.0f;
  } else if (g < 0.40f) {
    const float high = 0.78f * H + u.next() * 0.10f * H;
    const float low = 0.40f * H + u.next() * 0.15f * H;
    const bool highFirst = u.next() < 0.65f;
    f.startY = highFirst ? high : low;
    f.endY = highFirst ? low : high;
    f.bump = u.next() * 60.0f - 30.0f;
  } else if (g < 0.58f) {
    f.startY = f.endY = 0.45f * H + u.next() * 0.15f * H;
    f.bump = 0.15f * H + u.next() * 0.09f * H;
  } else if (g < 0.76f) {
    f.startY = 0.75f * H + u.next() * 0.13f * H;
    f.endY = 0.72f * H + u.next() * 0.16f * H;
    f.bump = -(0.16f * H + u.next() * 0.10f * H);
  } else {
    f.startY = m;
    f.endY = m + u.next() * 0.24f * H - 0.12f * H;
    f.waveCycles = (width > 1600.0f && u.next() < 0.4f) ? 2.0f : 1.0f;
    f.wavePhase = u.next() < 0.5f ? 0.0f : kPi;
    const float M = santaPathLength(f, width) / (2.0f * kPi * f.waveCycles);
    f.waveAmp = std::min(M * M / 700.0f, 30.0f + u.next() * 40.0f);
  }
  f.startY = std::clamp(f.startY, 0.36f * H, 0.9f * H);
  f.endY = std::clamp(f.endY, 0.36f * H, 0.9f * H);
  const float mean = 0.5f * (f.startY + f.endY);
  if (f.bump > 0.0f) {
    f.bump = std::min(f.bump, 0.9f * H - mean - f.waveAmp);
  } else if (f.bump < 0.0f) {
    f.bump = std::max(f.bump, 0.36f * H - mean + f.waveAmp);
  }
  santa = f;
  nextSanta = clock + santaInterval.min + u.next() * (santaInterval.max - santaInterval.min);
}

bool SnowWorld::callSanta() {
  if (!primary) return false;
  santa.active = false;
  startSanta();
  return true;
}

void SnowWorld::updateSanta(float dt, const WorldInput& input) {
  if (!primary) return;
  if (nextSanta == 0.0f) nextSanta = clock + kFirstFlightMin + random.next() * kFirstFlightSpread;
  if (!santa.active && input.santa && clock >= nextSanta) startSanta();
  if (santa.active) flySanta(*this, dt);
}

void SnowWorld::updateGifts(float dt) {
  for (size_t i = 0; i < gifts.size();) {
    Gift& g = gifts[i];
    bool keep = true;
    Drift* d = g.driftKey.empty() ? nullptr : findDrift(g.driftKey);
    if (!g.driftKey.empty() && !d) {
      // Its drift went away: it falls again from where it sat.
      g.driftKey.clear();
      g.vx = g.vy = 0.0f;
      g.covered = false;
    }
    if (d) {
      const int c = std::clamp(static_cast<int>(g.offset / 2.0f), 0, d->columns - 1);
      const float limit = d->limits[static_cast<size_t>(c)];
      g.x = d->x + g.offset;
      g.y = d->y + std::min(limit, d->heights[static_cast<size_t>(c)]) - kGiftSink;
      g.covered = limit < 0.5f;
      g.tilt += (g.tiltTarget - g.tilt) * std::min(1.0f, 8.0f * dt);
      g.age += dt;
      if (g.age > kGiftStay) {
        g.alpha -= dt / kGiftFade;
        if (g.alpha <= 0.0f) keep = false;
      }
    } else {
      g.vx *= 1.0f - std::min(1.0f, 0.6f * dt);
      g.tilt -= 0.004f * g.vx * dt;
      g.vy -= kGiftGravity * dt;
      const float oldY = g.y;
      g.x += g.vx * dt;
      g.y += g.vy * dt;
      if (g.y < oldY) {
        if (const std::optional<Landing> hit = findLanding(g.x, oldY, g.y, true)) {
          const Drift& ld = *hit->drift;
          g.driftKey = ld.key;
          g.offset = g.x - ld.x;
          g.y = hit->surface - kGiftSink;
          g.vx = g.vy = 0.0f;
          g.age = 0.0f;
          g.tiltTarget = random.next() * 0.24f - 0.12f;
          // It lands with a puff of snow.
          for (int k = 0; k < 6; ++k) {
            const float px = g.x - 8.0f + random.next() * 16.0f;
            const float vx = random.next() * 120.0f - 60.0f;
            const float vy = 40.0f + random.next() * 80.0f;
            spawnClump({px, hit->surface + 2.0f}, {vx, vy}, 0.2f, true, 0.05f);
          }
        }
      }
    }
    if (g.y < -40.0f || g.x < -60.0f || g.x > width + 60.0f) keep = false;
    if (keep) {
      ++i;
    } else {
      gifts.erase(gifts.begin() + static_cast<ptrdiff_t>(i));  // keeps oldest-first order
    }
  }
}

}  // namespace kovra
