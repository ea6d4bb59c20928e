#include <gtest/gtest.h>

#include <limits>

#include "render/layered_alpha.h"

TEST(LayeredAlpha, MapsOpacityToConstantAlpha) {
  EXPECT_EQ(layeredAlpha(0.5f), 128);
  EXPECT_EQ(layeredAlpha(1.2f), 255);
  EXPECT_EQ(layeredAlpha(1.0f), 255);
  EXPECT_EQ(layeredAlpha(-0.1f), 0);
  EXPECT_EQ(layeredAlpha(0.0f), 0);
  EXPECT_EQ(layeredAlpha(0.001f), 0);  // rounds down to nothing
  EXPECT_EQ(layeredAlpha(0.999f), 255);
  EXPECT_EQ(layeredAlpha(std::numeric_limits<float>::quiet_NaN()), 0);
}
