#include "world/scene.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/soft_painter.h"
#include "render/sprites.h"
#include "world/world.h"
#include "world_fixture.h"

namespace {

using kovra::Particle;
using kovra::SnowWorld;
using worldtest::Recorder;

Particle flake(float x, float y, float size, float alpha) {
  Particle p;
  p.x = x;
  p.y = y;
  p.size = size;
  p.alpha = alpha;
  return p;
}

// A world with one snowy window drift and one of each kind of particle.
struct Scene : ::testing::Test {
  SnowWorld world{400, 300, 7};

  void SetUp() override {
    kovra::Drift& d = world.insertDrift(kovra::makeDrift("w42", kovra::DriftKind::Window, 50, 120, 100));
    for (int c = 0; c < d.columns; ++c) kovra::addSnow(d, c, 8.0f);
    kovra::rebuildOutline(d, 0.0);
    world.insertDrift(kovra::makeDrift("ground", kovra::DriftKind::Ground, 0, 0, 400));  // no snow yet

    world.particles.push_back(flake(10, 20, 5, 0.9f));
    Particle hero = flake(30, 40, 18, 0.5f);
    hero.hero = true;
    hero.flicker = 1.0f;
    hero.angle = 0.3f;
    world.particles.push_back(hero);
    Particle crystal = flake(50, 60, 16, 0.95f);
    crystal.shape = 2;
    crystal.flicker = 0.7f;
    crystal.angle = 1.1f;
    world.particles.push_back(crystal);
    Particle star = flake(70, 80, 12, 0.8f);
    star.star = true;
    star.starAlt = true;
    star.angle = 0.4f;
    world.particles.push_back(star);
    Particle clump = flake(90, 100, 6, 1.0f);
    clump.clump = true;
    world.particles.push_back(clump);
    Particle hidden = flake(110, 120, 5, 1.0f);
    hidden.covered = true;
    world.particles.push_back(hidden);
  }
};

TEST_F(Scene, DrawsDriftsThenParticlesInListOrder) {
  Recorder r;
  kovra::drawScene(world, r);
  ASSERT_EQ(r.calls.size(), 6u);  // the empty ground drift and the covered flake draw nothing

  const kovra::Drift* d = world.findDrift("w42");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(r.calls[0].op, "drift");
  EXPECT_EQ(r.calls[0].x, 50);
  EXPECT_EQ(r.calls[0].y, 120);
  EXPECT_EQ(r.calls[0].runs, d->outline.size());
  EXPECT_EQ(r.calls[0].version, static_cast<uint64_t>(d->outlineVersion));

  EXPECT_EQ(r.calls[1].op, "flake");
  EXPECT_EQ(r.calls[1].x, 10);
  EXPECT_EQ(r.calls[1].w, 5);
  EXPECT_FLOAT_EQ(r.calls[1].opacity, 0.9f);

  EXPECT_EQ(r.calls[2].index, kovra::kSpriteSoftDisc);  // hero flake
  EXPECT_EQ(r.calls[2].w, 18);
  EXPECT_EQ(r.calls[2].h, 18);
  EXPECT_FLOAT_EQ(r.calls[2].angle, 0.3f);
  EXPECT_FLOAT_EQ(r.calls[2].opacity, 0.5f);

  EXPECT_EQ(r.calls[3].index, kovra::kSpriteCrystal + 2);  // narrowed by its flicker
  EXPECT_FLOAT_EQ(r.calls[3].w, 0.7f * 16);
  EXPECT_EQ(r.calls[3].h, 16);
  EXPECT_FLOAT_EQ(r.calls[3].angle, 1.1f);

  EXPECT_EQ(r.calls[4].index, kovra::kSpriteGoldenStar);
  EXPECT_EQ(r.calls[4].w, 12);
  EXPECT_EQ(r.calls[4].h, 12);
  EXPECT_FLOAT_EQ(r.calls[4].opacity, 0.8f);

  EXPECT_EQ(r.calls[5].op, "flake");  // clumps are drawn as flakes
  EXPECT_EQ(r.calls[5].x, 90);
  EXPECT_EQ(r.calls[5].w, 6);
}

TEST_F(Scene, PlainStarUsesTheFirstStarPicture) {
  world.particles[3].starAlt = false;
  Recorder r;
  kovra::drawSceneBody(world, r);
  ASSERT_EQ(r.calls.size(), 6u);
  EXPECT_EQ(r.calls[4].index, kovra::kSpriteStar);
}

TEST_F(Scene, PartlyVisibleWorldFadesAsAWholeAndLosesItsDrifts) {
  world.visibility = 0.4f;
  Recorder r;
  kovra::drawScene(world, r);
  ASSERT_EQ(r.calls.size(), 5u);
  EXPECT_EQ(r.calls[0].op, "flake");
  EXPECT_FLOAT_EQ(r.calls[0].opacity, 0.9f * 0.4f);
  EXPECT_FLOAT_EQ(r.calls[1].opacity, 0.5f * 0.4f);
  EXPECT_FLOAT_EQ(r.calls[4].opacity, 0.4f);

  world.visibility = 0.7f;
  Recorder s;
  kovra::drawScene(world, s);
  ASSERT_EQ(s.calls.size(), 6u);
  EXPECT_EQ(s.calls[0].op, "drift");
  EXPECT_FLOAT_EQ(s.calls[1].opacity, 0.9f * 0.7f);

  world.visibility = 0.9995f;  // close enough to whole: no fade at all
  Recorder t;
  kovra::drawScene(world, t);
  ASSERT_EQ(t.calls.size(), 6u);
  EXPECT_FLOAT_EQ(t.calls[1].opacity, 0.9f);
}

TEST_F(Scene, InvisibleWorldDrawsNothing) {
  for (float v : {0.0f, 0.001f}) {
    world.visibility = v;
    Recorder r;
    kovra::drawScene(world, r);
    EXPECT_TRUE(r.calls.empty()) << v;
  }
  world.visibility = 0.002f;
  Recorder r;
  kovra::drawScene(world, r);
  EXPECT_EQ(r.calls.size(), 5u);
}

TEST(SceneDrift, DriftWithoutRunsDrawsNothing) {
  Recorder r;
  kovra::drawDriftShape(r, {10, 20, {}, 3});
  EXPECT_TRUE(r.calls.empty());
  const std::vector<std::vector<kovra::OutlinePoint>> runs = {{{0, 1}, {2, 1}}};
  kovra::drawDriftShape(r, {10, 20, runs, 3});
  ASSERT_EQ(r.calls.size(), 1u);
  EXPECT_EQ(r.calls[0].runs, 1u);
}

TEST(ScenePixels, FlakeOfTheWorldLandsOnItsPixelAtScaleOnePointFive) {
  SnowWorld world(40, 40, 3);
  world.particles.push_back(flake(10, 30, 8, 1.0f));
  std::vector<uint32_t> px(60 * 60, 0);
  kovra::SpriteSet none;
  kovra::SoftPainter painter(px.data(), 60, 60, 60, 1.5f, 40.0f, none);
  kovra::drawScene(world, painter);
  auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 60 + x]; };
  EXPECT_GE(at(15, 15) >> 24, 250u);  // (10, 30) pt is pixel (15, 15)
  EXPECT_EQ(at(15, 45), 0u);          // not mirrored top to bottom
  EXPECT_EQ(at(45, 15), 0u);
  // Faded to 40 %, the same flake is drawn at 40 % strength.
  std::fill(px.begin(), px.end(), 0u);
  world.visibility = 0.4f;
  kovra::drawScene(world, painter);
  EXPECT_NEAR(static_cast<int>(at(15, 15) >> 24), 102, 1);
}

TEST(ScenePixels, WithoutPicturesOnlyPicturesAreMissing) {
  SnowWorld world(40, 40, 3);
  world.particles.push_back(flake(10, 30, 8, 1.0f));
  Particle crystal = flake(30, 10, 12, 1.0f);
  crystal.shape = 0;
  world.particles.push_back(crystal);
  kovra::Drift& d = world.insertDrift(kovra::makeDrift("ground", kovra::DriftKind::Ground, 0, 0, 40));
  for (int c = 0; c < d.columns; ++c) kovra::addSnow(d, c, 4.0f);
  kovra::rebuildOutline(d, 0.0);
  auto render = [&](const kovra::SpriteSet& set) {
    std::vector<uint32_t> px(40 * 40, 0);
    kovra::SoftPainter painter(px.data(), 40, 40, 40, 1.0f, 40.0f, set);
    kovra::drawScene(world, painter);
    return px;
  };
  kovra::SpriteSet none, drawn;
  kovra::completeDrawnSlots(drawn);
  const std::vector<uint32_t> without = render(none), with = render(drawn);
  EXPECT_NE(without[10 * 40 + 10], 0u);  // the flake
  EXPECT_NE(without[39 * 40 + 20], 0u);  // the ground drift
  EXPECT_EQ(without[30 * 40 + 30], 0u);  // no crystal picture
  EXPECT_NE(with[30 * 40 + 30], 0u);
  EXPECT_EQ(without[10 * 40 + 10], with[10 * 40 + 10]);
}

}  // namespace
