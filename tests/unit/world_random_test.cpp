#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "world/profile.h"
#include "world/random.h"
#include "world/world.h"

namespace {

using kovra::SnowfallProfile;
using kovra::snowfallProfile;
using kovra::SnowWorld;
using kovra::WorldRandom;

// The generator written out again from its definition, independently of
// WorldRandom: three shifts, then the top 53 bits as a fraction.
struct Reference {
  uint64_t s;
  double draw() {
    s = s ^ (s << 13);
    s = s ^ (s >> 7);
    s = s ^ (s << 17);
    return std::ldexp(static_cast<double>(s >> 11), -53);
  }
};

TEST(WorldRandom, FollowsTheXorshiftDefinition) {
  for (uint64_t seed : {uint64_t{1}, uint64_t{12345}, uint64_t{0x5EED5EED}, uint64_t{0xFFFFFFFFFFFFFFFFull}}) {
    WorldRandom r(seed);
    Reference ref{seed};
    for (int i = 0; i < 1000; ++i) {
      const double expected = ref.draw();
      ASSERT_EQ(r.nextDouble(), expected) << "seed " << seed << " draw " << i;
      ASSERT_EQ(r.state, ref.s);
    }
  }
}

TEST(WorldRandom, PinnedValues) {
  WorldRandom r(12345);
  EXPECT_DOUBLE_EQ(r.nextDouble(), 7.204309649955221e-07);
  EXPECT_EQ(r.state, 0x00000C163A391E19ull);
  EXPECT_DOUBLE_EQ(r.nextDouble(), 0.6095996695066922);
  EXPECT_EQ(r.state, 0x9C0EB9542F03CA65ull);
  EXPECT_FLOAT_EQ(r.next(), 0.6334233905286124f);
  EXPECT_FLOAT_EQ(r.next(), 0.1287456059171389f);

  WorldRandom second(0x5EED5EED);
  EXPECT_DOUBLE_EQ(second.nextDouble(), 0.09211102115021175);
  EXPECT_DOUBLE_EQ(second.nextDouble(), 0.09936572186326009);
}

TEST(WorldRandom, DrawsStayInTheUnitInterval) {
  WorldRandom r(987654321);
  double sum = 0;
  for (int i = 0; i < 100000; ++i) {
    const double d = r.nextDouble();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
    sum += d;
  }
  EXPECT_NEAR(sum / 100000, 0.5, 0.01);
}

TEST(WorldRandom, WorldSeedsBothStreams) {
  // The seed is forced odd so the generator can never sit at zero; the
  // second stream always starts from the same value.
  SnowWorld even(800, 600, 12344);
  EXPECT_EQ(even.random.state, 12345u);
  SnowWorld odd(800, 600, 12345);
  EXPECT_EQ(odd.random.state, 12345u);
  SnowWorld zero(800, 600, 0);
  EXPECT_EQ(zero.random.state, 1u);
  EXPECT_EQ(zero.random2.state, 0x5EED5EEDu);
  EXPECT_EQ(even.random2.state, 0x5EED5EEDu);
}

TEST(WorldProfile, TableRowsAndDensity) {
  const SnowfallProfile l0 = snowfallProfile(0, 1.0f);
  const SnowfallProfile l1 = snowfallProfile(1, 1.0f);
  const SnowfallProfile l2 = snowfallProfile(2, 1.0f);
  EXPECT_FLOAT_EQ(l0.rate, 3.0f);
  EXPECT_FLOAT_EQ(l1.rate, 9.0f);
  EXPECT_FLOAT_EQ(l2.rate, 24.0f);
  EXPECT_EQ(l0.maxFlakes, 120);
  EXPECT_EQ(l1.maxFlakes, 320);
  EXPECT_EQ(l2.maxFlakes, 700);
  EXPECT_FLOAT_EQ(l0.fallSpeed, 50.0f);
  EXPECT_FLOAT_EQ(l1.fallSpeed, 62.0f);
  EXPECT_FLOAT_EQ(l2.fallSpeed, 70.0f);
  EXPECT_FLOAT_EQ(l2.windFactor, 1.2f);
  EXPECT_TRUE(l0.tumbling);
  EXPECT_TRUE(l1.tumbling);
  EXPECT_FALSE(l2.tumbling);
  EXPECT_FLOAT_EQ(l0.heroChance, 0.06f);
  EXPECT_FLOAT_EQ(l1.heroChance, 0.05f);
  EXPECT_FLOAT_EQ(l2.heroChance, 0.0f);
  EXPECT_FLOAT_EQ(l1.crystalChance, 0.35f);
  EXPECT_FLOAT_EQ(l1.snowFactor, 0.53f);
  EXPECT_FLOAT_EQ(l2.swayFactor, 0.6f);

  // Density scales the rate and the limit, which never drops under 60.
  const SnowfallProfile half = snowfallProfile(2, 0.5f);
  EXPECT_FLOAT_EQ(half.rate, 12.0f);
  EXPECT_EQ(half.maxFlakes, 350);
  EXPECT_FLOAT_EQ(half.fallSpeed, 70.0f);
  EXPECT_EQ(snowfallProfile(0, 0.3f).maxFlakes, 60);  // int(36) < 60
  EXPECT_EQ(snowfallProfile(1, 0.3f).maxFlakes, 96);
  EXPECT_EQ(snowfallProfile(2, 0.0857f).maxFlakes, 60);
}

TEST(WorldProfile, LevelsOutsideTheTableMakeNoSnow) {
  for (int level : {-1, 3, 7, 1000}) {
    const SnowfallProfile p = snowfallProfile(level, 1.0f);
    EXPECT_EQ(p.rate, 0.0f) << level;
    EXPECT_EQ(p.maxFlakes, 60) << level;
    EXPECT_EQ(p.fallSpeed, 0.0f) << level;
    EXPECT_EQ(p.windFactor, 0.0f) << level;
    EXPECT_EQ(p.crystalChance, 0.0f) << level;
    EXPECT_FALSE(p.tumbling) << level;
    EXPECT_FLOAT_EQ(p.sizeBase, 1.8f) << level;
    EXPECT_FLOAT_EQ(p.sizeSpread, 3.8f) << level;
  }
  // A broken density is no snow rather than undefined arithmetic.
  const SnowfallProfile nan = snowfallProfile(2, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(nan.rate, 0.0f);
  EXPECT_EQ(nan.maxFlakes, 60);
  EXPECT_EQ(snowfallProfile(1, -2.0f).rate, 0.0f);
}

}  // namespace
