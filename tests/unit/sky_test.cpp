#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "render/sprites.h"
#include "shell/frame_rules.h"
#include "world/actor_drawing.h"
#include "world/scene.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Bird;
using kovra::BirdState;
using kovra::DriftKind;
using kovra::Gift;
using kovra::SnowWorld;
using kovra::Spark;
using kovra::WorldInput;
using namespace worldtest;

// ---------------------------------------------------------------- shooting stars

TEST(SkyStars, OnlyOverThePrimaryMonitorAndOnlyWithTheSetting) {
  WorldInput in = quietSky();
  in.stars = true;
  SnowWorld w(kW, kH, 8);
  w.primary = true;
  while (!w.starActive && w.clock < 120.0f) w.stepWorld(kStep, in, {}, 0.0);
  ASSERT_TRUE(w.starActive);
  EXPECT_TRUE(within(w.clock, 40.0f, 90.0f + 2 * kStep));
  EXPECT_TRUE(within(w.nextStar - w.clock, 180.0f, 360.0f));
  EXPECT_TRUE(w.busy());

  // Switched off mid-flight, the star still finishes its 0.9 s, and no
  // other follows.
  run(w, 0.5f, quietSky());
  EXPECT_TRUE(w.starActive);
  run(w, 0.45f, quietSky());
  EXPECT_FALSE(w.starActive);
  w.nextStar = w.clock + 1.0f;
  run(w, 5.0f, quietSky());
  EXPECT_FALSE(w.starActive);

  SnowWorld side(kW, kH, 8);
  run(side, 200.0f, in);
  EXPECT_FALSE(side.starActive);
  EXPECT_EQ(side.nextStar, 0.0f);
}

TEST(SkyStars, StreakFallsAcrossTheUpperSkyFadingInAndOut) {
  std::set<bool> directions;
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    SnowWorld w(kW, kH, seed * 977);
    w.launchStar();
    EXPECT_TRUE(within(w.starStart.x, 0.2f * kW, 0.8f * kW));
    EXPECT_TRUE(within(w.starStart.y, 0.7f * kH, 0.92f * kH));
    EXPECT_NEAR(std::hypot(w.starDir.x, w.starDir.y), 1.0f, 1e-5f);
    const float theta = std::asin(-w.starDir.y);
    EXPECT_TRUE(within(theta, 0.25f - 1e-4f, 0.55f + 1e-4f));
    EXPECT_TRUE(within(w.starDistance, 380.0f, 620.0f));
    directions.insert(w.starDir.x > 0);

    for (auto [t, opacity] : {std::pair<float, float>{0.06f, 0.5f}, {0.3f, 1.0f}, {0.75f, 0.5f}}) {
      w.starElapsed = t;
      Recorder r;
      kovra::drawShootingStar(w, r);
      ASSERT_EQ(r.calls.size(), 1u);
      const SinkCall& c = r.calls[0];
      EXPECT_EQ(c.index, kovra::kSpriteStreak);
      EXPECT_FLOAT_EQ(c.w, 150.0f);
      EXPECT_FLOAT_EQ(c.h, 5.0f);
      EXPECT_TRUE(c.additive);
      EXPECT_NEAR(c.opacity, opacity, 1e-4f);
      EXPECT_NEAR(c.angle, std::atan2(w.starDir.y, w.starDir.x), 1e-5f);
      // The head leads, the tail trails 150 pt behind it.
      const float reach = w.starDistance * (t / 0.9f) * (t / 0.9f);
      EXPECT_NEAR(c.x, w.starStart.x + w.starDir.x * (reach - 75.0f), 1e-2f);
      EXPECT_NEAR(c.y, w.starStart.y + w.starDir.y * (reach - 75.0f), 1e-2f);
    }
  }
  EXPECT_EQ(directions.size(), 2u);  // both ways across
}

// ---------------------------------------------------------------- sparks, reset, busy

TEST(SkySparks, FallFadeShrinkAndAreCapped) {
  SnowWorld w(kW, kH, 1);
  w.spawnSpark({100, 200}, {10, 40}, 2.0f, 8.0f, -0.5f, -0.25f, -100.0f, kovra::kSpriteSpark + 2, 0.9f);
  w.updateSparks(0.1f);
  ASSERT_EQ(w.sparks.size(), 1u);
  const Spark& s = w.sparks[0];
  EXPECT_NEAR(s.vy, 30.0f, 1e-4f);
  EXPECT_NEAR(s.x, 101.0f, 1e-4f);
  EXPECT_NEAR(s.y, 203.0f, 1e-4f);
  EXPECT_NEAR(s.brightness, 0.85f, 1e-5f);
  EXPECT_NEAR(s.size, 8.0f * 0.975f, 1e-4f);

  // Each of the three endings.
  w.spawnSpark({0, 0}, {0, 0}, 0.05f, 8.0f, 0, 0, 0, 32, 1.0f);   // its life is over
  w.spawnSpark({0, 0}, {0, 0}, 9.0f, 8.0f, -10, 0, 0, 32, 0.5f);  // fades out
  w.spawnSpark({0, 0}, {0, 0}, 9.0f, 0.31f, 0, -1, 0, 32, 1.0f);  // shrinks away
  w.updateSparks(0.05f);
  EXPECT_EQ(w.sparks.size(), 1u);

  for (int i = 0; i < 2600; ++i) w.spawnSpark({0, 0}, {0, 0}, 9.0f, 8.0f, 0, 0, 0, 32, 1.0f);
  EXPECT_EQ(w.sparks.size(), 2500u);

  Recorder r;
  w.sparks.resize(2);
  w.sparks[1].brightness = 1.7f;
  kovra::drawSparks(w, r);
  ASSERT_EQ(r.calls.size(), 2u);
  EXPECT_EQ(r.calls[0].index, kovra::kSpriteSpark + 2);
  EXPECT_FLOAT_EQ(r.calls[0].w, w.sparks[0].size);
  EXPECT_FLOAT_EQ(r.calls[0].h, w.sparks[0].size);
  EXPECT_TRUE(r.calls[0].additive);
  EXPECT_FLOAT_EQ(r.calls[0].opacity, w.sparks[0].brightness);
  EXPECT_EQ(r.calls[1].opacity, 1.0f);
}

TEST(SkyReset, EndsEveryVisitorButKeepsTheSchedules) {
  SnowWorld w(kW, kH, 2);
  w.primary = true;
  w.insertDrift(kovra::makeDrift("w1", DriftKind::Window, 100, 300, 400));
  ASSERT_TRUE(w.callSanta());
  ASSERT_TRUE(w.callBirds());
  w.startFireworks(25);
  w.launchStar();
  WorldInput on = quietSky();
  on.garland = true;
  run(w, 2.0f, on);
  w.gifts.push_back(Gift{});
  ASSERT_FALSE(w.sparks.empty());
  ASSERT_FALSE(w.rockets.empty());
  const float santaDue = w.nextSanta, birdsDue = w.nextBirds, starDue = w.nextStar;

  w.reset();
  EXPECT_FALSE(w.santa.active);
  EXPECT_TRUE(w.gifts.empty());
  EXPECT_TRUE(w.birds.empty());
  EXPECT_TRUE(w.sparks.empty());
  EXPECT_TRUE(w.rockets.empty());
  EXPECT_FALSE(w.showActive);
  EXPECT_FALSE(w.starActive);
  EXPECT_EQ(w.garlandLevel, 0.0f);
  EXPECT_FALSE(w.busy());
  EXPECT_EQ(w.nextSanta, santaDue);
  EXPECT_EQ(w.nextBirds, birdsDue);
  EXPECT_EQ(w.nextStar, starDue);
  w.startFireworks(5);  // a show can start again at once
  EXPECT_TRUE(w.showActive);
}

TEST(SkyBusy, WhileAnythingInTheSkyMoves) {
  SnowWorld w(kW, kH, 3);
  EXPECT_FALSE(w.busy());

  Bird b;
  b.state = BirdState::Perched;
  w.birds.push_back(b);
  Gift g;
  g.driftKey = "ground";
  w.gifts.push_back(g);
  EXPECT_FALSE(w.busy()) << "a bird sitting still and a resting gift need no frames";

  w.birds[0].hop = 0.5f;
  EXPECT_TRUE(w.busy());
  w.birds[0].hop = 0;
  w.birds[0].state = BirdState::FlyingAway;
  EXPECT_TRUE(w.busy());
  w.birds.clear();
  w.gifts[0].driftKey.clear();
  EXPECT_TRUE(w.busy());
  w.gifts.clear();
  w.sparks.push_back(Spark{});
  EXPECT_TRUE(w.busy());
  w.sparks.clear();
  w.starActive = true;
  EXPECT_TRUE(w.busy());
  w.starActive = false;
  w.startFireworks(1);
  EXPECT_TRUE(w.busy());
}

TEST(SkyScene, VisitorsTakeTheirPlacesInThePaintersOrder) {
  SnowWorld w(kW, kH, 4);
  w.primary = true;
  kovra::Drift& d = w.insertDrift(kovra::makeDrift("w1", DriftKind::Window, 100, 300, 400));
  for (int c = 0; c < d.columns; ++c) kovra::addSnow(d, c, 8.0f);
  w.stepDrifts(1.0);
  ASSERT_TRUE(w.callSanta());
  WorldInput on = quietSky();
  on.garland = true;
  run(w, 3.0f, on);
  Gift g;
  g.x = 200;
  g.y = 305;
  g.driftKey = "w1";
  w.gifts.push_back(g);
  Bird b;
  b.state = BirdState::Perched;
  b.x = 300;
  b.y = 305;
  w.birds.push_back(b);
  kovra::Particle p;
  p.x = 500;
  p.y = 500;
  p.size = 5;
  w.particles.push_back(p);
  w.launchStar();
  w.starElapsed = 0.3f;

  Recorder r;
  kovra::drawScene(w, r);
  auto first = [&](auto pred) {
    for (size_t i = 0; i < r.calls.size(); ++i) {
      if (pred(r.calls[i])) return static_cast<int>(i);
    }
    return -1;
  };
  auto sprite = [](int lo, int hi) { return [=](const SinkCall& c) { return c.op == "sprite" && c.index >= lo && c.index <= hi; }; };
  const int drift = first([](const SinkCall& c) { return c.op == "drift"; });
  const int gift = first(sprite(10, 12));
  const int bird = first(sprite(6, 9));
  const int flake = first([](const SinkCall& c) { return c.op == "flake"; });
  const int star = first(sprite(14, 14));
  const int spark = first(sprite(15, 15));
  const int sleigh = first(sprite(3, 3));
  const int bulb = first(sprite(22, 43));
  ASSERT_GE(drift, 0);
  EXPECT_LT(drift, gift);
  EXPECT_LT(gift, bird);
  EXPECT_LT(bird, flake);
  EXPECT_LT(flake, star);
  EXPECT_LT(star, spark);
  EXPECT_LT(spark, sleigh);
  EXPECT_LT(sleigh, bulb);  // the garland hangs in front of everything
}

// ---------------------------------------------------------------- garland

TEST(GarlandLevel, FadesInAndOutAlsoWhileTheSnowIsPaused) {
  SnowWorld w(kW, kH, 5);
  WorldInput on = quietSky();
  on.garland = true;
  run(w, 0.75f, on);
  EXPECT_NEAR(w.garlandLevel, 0.5f, 0.02f);
  run(w, 1.0f, on);
  EXPECT_EQ(w.garlandLevel, 1.0f);
  run(w, 0.4f);
  EXPECT_NEAR(w.garlandLevel, 0.5f, 0.02f);
  run(w, 0.5f);
  EXPECT_EQ(w.garlandLevel, 0.0f);

  // Paused and faded out, the world still brings the garland in.
  w.snowPaused = true;
  run(w, 1.0f);
  ASSERT_EQ(w.visibility, 0.0f);
  run(w, 2.0f, on);
  EXPECT_EQ(w.garlandLevel, 1.0f);
}

TEST(GarlandDrawing, StaysLitWhileTheSnowIsPausedOrFading) {
  SnowWorld w(kW, kH, 6);
  kovra::Particle p;
  p.x = 500;
  p.y = 500;
  p.size = 5;
  p.alpha = 1;
  w.particles.push_back(p);

  Recorder none;
  kovra::drawGarland(w, none);
  EXPECT_TRUE(none.calls.empty()) << "nothing while the garland is off";

  w.garlandLevel = 1.0f;
  w.visibility = 0.0f;
  Recorder paused;
  kovra::drawScene(w, paused);
  EXPECT_EQ(paused.count("flake"), 0);
  const auto bulbs = paused.sprites(kovra::kSpriteBulb, kovra::kSpriteBulb + 4);
  ASSERT_FALSE(bulbs.empty());
  for (const SinkCall& c : bulbs) EXPECT_EQ(c.opacity, 1.0f);

  w.visibility = 0.4f;
  Recorder fading;
  kovra::drawScene(w, fading);
  ASSERT_EQ(fading.count("flake"), 1);
  for (const SinkCall& c : fading.calls) {
    if (c.op == "flake") {
      EXPECT_NEAR(c.opacity, 0.4f, 1e-6f);
    }
  }
  for (const SinkCall& c : fading.sprites(kovra::kSpriteBulb, kovra::kSpriteBulb + 4)) EXPECT_EQ(c.opacity, 1.0f);

  // Half faded in, everything of it at half strength.
  w.garlandLevel = 0.5f;
  Recorder half;
  kovra::drawGarland(w, half);
  for (const SinkCall& c : half.sprites(kovra::kSpriteBulb, kovra::kSpriteBulb + 4)) EXPECT_EQ(c.opacity, 0.5f);
  for (const SinkCall& c : half.calls) {
    if (c.op == "line") {
      EXPECT_NEAR(c.opacity, 0.475f, 1e-6f);
    }
  }
}

TEST(GarlandDrawing, SpansCoverTheWidthExactlyBelowATopTaskbar) {
  for (float width : {80.0f, 1000.0f, 1920.0f, 2560.0f}) {
    for (float inset : {0.0f, 40.0f}) {
      SnowWorld w(width, kH, 7);
      w.garlandLevel = 1.0f;
      w.topInset = inset;
      w.clock = 12.3f;
      Recorder r;
      kovra::drawGarland(w, r);
      const float y0 = kH - inset - 1.0f;

      float stretch = 0;
      const int spans = kovra::garlandSpanCount(width, stretch);
      std::vector<float> hooks;
      float rightmost = 0;
      int lines = 0;
      for (const SinkCall& c : r.calls) {
        if (c.op == "circle") {
          hooks.push_back(c.x);
          EXPECT_FLOAT_EQ(c.y, y0);
          EXPECT_FLOAT_EQ(c.w, 1.8f);
        }
        if (c.op == "line") {
          ++lines;
          rightmost = std::max(rightmost, c.x1);
          EXPECT_LE(std::max(c.y, c.y1), y0 + 0.8f);  // the wire hangs from the line down
          EXPECT_FLOAT_EQ(c.w, 1.25f);
        }
      }
      ASSERT_EQ(static_cast<int>(hooks.size()), spans) << width;
      EXPECT_EQ(lines, spans * 44);  // two strands of 22 pieces per span
      EXPECT_NEAR(hooks[0], 0.0f, 1e-4f);
      EXPECT_NEAR(rightmost, width, 1.0f);
      float expected = 0, sum = 0;
      for (int k = 0; k < spans; ++k) sum += kovra::garlandSpanLength(k);
      EXPECT_GE(sum, width);
      EXPECT_LT(sum - kovra::garlandSpanLength(spans - 1), width);  // no span too many
      int bulbCount = 0;
      for (int k = 0; k < spans; ++k) {
        const float v = kovra::garlandSpanLength(k) * width / sum;
        EXPECT_NEAR(hooks[static_cast<size_t>(k)], expected, 0.01f);
        expected += v;
        bulbCount += std::max(3, static_cast<int>(std::lround(v / 32.0f)));
      }
      const auto bulbs = r.sprites(kovra::kSpriteBulb, kovra::kSpriteBulb + 4);
      EXPECT_EQ(static_cast<int>(bulbs.size()), bulbCount);
      // They hang just below the wire, each over its glow.
      for (const SinkCall& c : bulbs) {
        EXPECT_LT(c.y, y0);
        EXPECT_GT(c.y, y0 - 70.0f);
        EXPECT_FLOAT_EQ(c.w, 9.0f);
        EXPECT_FLOAT_EQ(c.h, 15.0f);
        EXPECT_LT(std::fabs(c.angle), 0.3f);
      }
      EXPECT_EQ(r.sprites(kovra::kSpriteGlow, kovra::kSpriteGlow + 4).size(), bulbs.size());
      EXPECT_EQ(r.sprites(kovra::kSpriteBulbBody, kovra::kSpriteBulbBody + 4).size(), bulbs.size());
    }
  }
  float stretch = 0;
  EXPECT_EQ(kovra::garlandSpanCount(80.0f, stretch), 1);  // one span squeezed to a narrow screen
  EXPECT_LT(stretch, 0.7f);
}

TEST(GarlandDrawing, GlowsGoUnderAllBulbsAndColoursTakeTurns) {
  SnowWorld w(1000, 600, 8);
  w.garlandLevel = 1.0f;
  Recorder r;
  kovra::drawGarland(w, r);
  int lastGlow = -1, firstBulb = -1;
  std::vector<int> colours;
  for (size_t i = 0; i < r.calls.size(); ++i) {
    const SinkCall& c = r.calls[i];
    if (c.op != "sprite") continue;
    if (c.index >= kovra::kSpriteGlow && c.index < kovra::kSpriteGlow + 5) {
      lastGlow = static_cast<int>(i);
      EXPECT_TRUE(c.additive);
      EXPECT_FLOAT_EQ(c.w, 46.0f);
    }
    if (c.index >= kovra::kSpriteBulb && c.index < kovra::kSpriteBulb + 5) {
      if (firstBulb < 0) firstBulb = static_cast<int>(i);
      colours.push_back(c.index - kovra::kSpriteBulb);
      // The lit body follows its bulb, in the same colour and place.
      ASSERT_LT(i + 1, r.calls.size());
      EXPECT_EQ(r.calls[i + 1].index, kovra::kSpriteBulbBody + (c.index - kovra::kSpriteBulb));
      EXPECT_EQ(r.calls[i + 1].x, c.x);
    }
  }
  EXPECT_LT(lastGlow, firstBulb);
  for (size_t i = 0; i < colours.size(); ++i) EXPECT_EQ(colours[i], static_cast<int>(i % 5));
}

TEST(GarlandBrightness, FourPatternsTakeTurnsWithoutAJump) {
  for (int bulb = 0; bulb < 12; ++bulb) {
    for (float t = 0.0f; t < 170.0f; t += 0.01f) {
      const float b = kovra::garlandBrightness(bulb, t);
      ASSERT_TRUE(within(b, 0.3f - 1e-4f, 1.0f + 1e-4f));
    }
    // The next pattern comes in over the last four seconds of each period, so
    // neither the start of the hand-over nor its end shows a jump.
    for (float edge : {36.0f, 40.0f, 76.0f, 80.0f, 116.0f, 120.0f, 156.0f, 160.0f}) {
      EXPECT_NEAR(kovra::garlandBrightness(bulb, edge - 0.001f), kovra::garlandBrightness(bulb, edge + 0.001f), 0.01f)
          << bulb << " at " << edge;
    }
  }

  auto spread = [](float t) {
    float lo = 2, hi = -1;
    for (int i = 0; i < 25; ++i) {
      lo = std::min(lo, kovra::garlandBrightness(i, t));
      hi = std::max(hi, kovra::garlandBrightness(i, t));
    }
    return std::pair<float, float>{lo, hi};
  };
  // Twinkle stays bright; the chase lights a few and dims the rest; the glow is calm.
  EXPECT_GE(spread(10.0f).first, 0.6f);
  EXPECT_LT(spread(95.0f).first, 0.35f);
  EXPECT_GT(spread(95.0f).second, 0.9f);
  EXPECT_GE(spread(130.0f).first, 0.8f);
  EXPECT_LE(spread(130.0f).second - spread(130.0f).first, 0.2f);
  // Halfway through a hand-over the two patterns mix.
  EXPECT_GT(spread(38.0f).second - spread(38.0f).first, spread(10.0f).second - spread(10.0f).first);
}

// ---------------------------------------------------------------- fireworks

TEST(FireworksShow, ASecondStartChangesNothingAndANewShowMayFollow) {
  SnowWorld w(kW, kH, 9);
  w.startFireworks(25);
  ASSERT_TRUE(w.showActive);
  run(w, 5.0f);
  w.startFireworks(70);
  EXPECT_NEAR(w.showTime, 20.0f, 0.01f);
  float lasted = 5.0f;
  while (w.showActive && lasted < 40.0f) {
    w.stepWorld(kStep, quietSky(), {}, 0.0);
    lasted += kStep;
  }
  EXPECT_FALSE(w.showActive);
  EXPECT_GE(lasted, 25.0f);
  EXPECT_LE(lasted, 29.0f);  // the last rockets still burst
  EXPECT_TRUE(w.rockets.empty());
  run(w, 3.0f);
  EXPECT_TRUE(w.sparks.empty()) << "the sparks fade on their own";
  EXPECT_FALSE(w.busy());
  w.startFireworks(25);
  EXPECT_TRUE(w.showActive);
}

TEST(FireworksRockets, RiseFastEnoughToReachTheirBurstHeight) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    SnowWorld w(kW, kH, seed * 65537);
    w.startFireworks(25);
    w.stepWorld(kStep, quietSky(), {}, 0.0);  // the first rocket goes at once
    ASSERT_EQ(w.rockets.size(), 1u);
    const kovra::Rocket r = w.rockets[0];
    EXPECT_TRUE(within(r.burstHeight, 0.55f * kH, 0.85f * kH));
    EXPECT_TRUE(within(r.x, 0.12f * kW - 60.0f * kStep, 0.88f * kW + 60.0f * kStep));
    const float start = 1.05f * std::sqrt(520.0f * r.burstHeight);
    EXPECT_NEAR(r.vy, start - 260.0f * kStep, 0.01f);
    EXPECT_NEAR(r.y, -10.0f + r.vy * kStep, 0.01f);

    // It climbs to its height and bursts there.
    float top = r.y;
    size_t before = 0;
    while (!w.rockets.empty() && w.rockets[0].burstHeight == r.burstHeight) {
      top = w.rockets[0].y;
      before = w.sparks.size();
      w.stepWorld(kStep, quietSky(), {}, 0.0);
    }
    EXPECT_TRUE(within(top, r.burstHeight - 40.0f, r.burstHeight));
    EXPECT_GE(w.sparks.size() - before, 90u);
  }
  EXPECT_NEAR(1.05f * std::sqrt(520.0f * 600.0f), 586.5f, 0.5f);
}

TEST(FireworksRockets, TrailsOfWhiteAndBurstsOfOneColour) {
  SnowWorld w(kW, kH, 10);
  w.startFireworks(0.06f);  // time for a single rocket
  run(w, 0.5f);
  ASSERT_EQ(w.rockets.size(), 1u);
  for (const Spark& s : w.sparks) EXPECT_EQ(s.colour, kovra::kSpriteSpark + 6);
  EXPECT_NEAR(static_cast<float>(w.sparks.size()), 35.0f, 2.0f);  // 70 a second

  size_t trail = 0;
  while (!w.rockets.empty()) {
    trail = w.sparks.size();
    w.stepWorld(kStep, quietSky(), {}, 0.0);
  }
  std::set<int> colours;
  float fastest = 0, slowest = 1e9f;
  for (size_t i = trail; i < w.sparks.size(); ++i) {
    const Spark& s = w.sparks[i];
    if (s.colour == kovra::kSpriteSpark + 6) continue;  // the trail of the last step
    colours.insert(s.colour);
    const float v = std::hypot(s.vx, s.vy);  // not moved yet
    fastest = std::max(fastest, v);
    slowest = std::min(slowest, v);
    EXPECT_FLOAT_EQ(s.gravity, -90.0f);
  }
  ASSERT_EQ(colours.size(), 1u);
  EXPECT_TRUE(within(*colours.begin(), kovra::kSpriteSpark, kovra::kSpriteSpark + 5));
  EXPECT_GE(slowest, 85.0f - 1.0f);
  EXPECT_LE(fastest, 340.0f + 1.0f);
  EXPECT_GT(fastest - slowest, 60.0f);
}

TEST(FireworksShow, RocketsGoUpOneAfterAnotherForTheWholeShow) {
  SnowWorld w(kW, kH, 11);
  w.startFireworks(25.0f);
  int launched = 0;
  float last = -1, longestGap = 0;
  for (float t = 0; t < 30.0f; t += kStep) {
    const float timer = w.launchTimer;
    w.stepWorld(kStep, quietSky(), {}, 0.0);
    if (w.launchTimer > timer) {  // wound up again: a rocket went up
      ++launched;
      EXPECT_LT(w.rockets.back().y, 40.0f);
      if (last >= 0) longestGap = std::max(longestGap, t - last);
      last = t;
    }
  }
  EXPECT_TRUE(within(launched, 25 / 1.1, 25 / 0.35 + 1));
  EXPECT_LE(longestGap, 1.1f + kStep + 1e-3f);
  EXPECT_GE(last, 23.9f);  // rockets until the show's end
  EXPECT_LE(last, 25.0f);
}

// The calendar side of the shows: the frame tick's date rules driving a
// world, checked every half minute through the night.
struct Clock {
  int year, month, day, hour, minute;
  void advanceMinute() {
    if (++minute < 60) return;
    minute = 0;
    if (++hour < 24) return;
    hour = 0;
    if (++day <= daysInMonth(year, month)) return;
    day = 1;
    if (++month <= 12) return;
    month = 1;
    ++year;
  }
};

TEST(FireworksDates, NewYearShowOncePerYearEvenAcrossARestart) {
  int storedYear = 2025;  // as the settings keep it
  int shows = 0;
  auto tick = [&](SnowWorld& w, const Clock& c, bool paused) {
    if (isNewYearMoment(c.month, c.day, c.hour, c.minute, c.year, storedYear, paused)) {
      storedYear = c.year;
      w.startFireworks(70);
      ++shows;
    }
  };
  Clock c{2025, 12, 31, 23, 57};
  auto first = std::make_unique<SnowWorld>(kW, kH, 12);
  first->primary = true;
  for (int m = 0; m < 4; ++m, c.advanceMinute()) tick(*first, c, false);
  // 00:01: the program restarts; the new run checks again.
  ASSERT_EQ(c.minute, 1);
  EXPECT_EQ(shows, 1);
  EXPECT_TRUE(first->showActive);
  SnowWorld second(kW, kH, 13);
  second.primary = true;
  for (int m = 0; m < 5; ++m, c.advanceMinute()) tick(second, c, false);
  EXPECT_EQ(shows, 1);
  EXPECT_FALSE(second.showActive);
  EXPECT_EQ(storedYear, 2026);

  // Paused at midnight of the next year, then resumed within the two minutes.
  Clock n{2026, 12, 31, 23, 59};
  SnowWorld third(kW, kH, 14);
  tick(third, n, true);
  n.advanceMinute();
  tick(third, n, true);
  EXPECT_EQ(storedYear, 2026) << "nothing is stored while paused";
  n.advanceMinute();
  tick(third, n, false);
  EXPECT_EQ(shows, 2);
  EXPECT_EQ(storedYear, 2027);
}

TEST(FireworksDates, EveningSaluteOncePerEvening) {
  std::string stored;  // "EveningFireworks"
  std::vector<std::string> salutes;
  Clock c{2025, 12, 29, 12, 0};
  std::optional<std::string> atThree;
  // Three days and nights, checked every minute.
  for (int m = 0; m < 3 * 24 * 60; ++m, c.advanceMinute()) {
    const std::optional<std::string> date = eveningSaluteDate(c.year, c.month, c.day, c.hour);
    if (date && *date != stored) {
      stored = *date;
      salutes.push_back(stored);
    }
    if (c.month == 1 && c.day == 1 && c.hour == 3 && c.minute == 0) atThree = stored;
  }
  EXPECT_EQ(salutes, (std::vector<std::string>{"2025-12-29", "2025-12-30", "2025-12-31"}));
  ASSERT_TRUE(atThree);
  EXPECT_EQ(*atThree, "2025-12-31") << "after midnight the night still belongs to New Year's Eve";
}

}  // namespace
