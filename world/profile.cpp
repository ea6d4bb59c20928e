#include "world/profile.h"

#include <algorithm>
#include <cmath>

namespace kovra {

namespace {

struct Row {
  float rate;       // at density 1
  int flakes;       // flake limit at density 1, never below 60
  SnowfallProfile shape;
};

// clang-format off
constexpr Row kRows[] = {
  // rate  flakes   rate fall wind max base spread sway snow  tumble hero  wave crystal
  {  3.0f, 120, {0, 50.0f, 0.45f, 0, 4.8f, 5.6f, 1.0f, 0.5f,  true,  0.06f, 6.0f, 0.5f }},
  {  9.0f, 320, {0, 62.0f, 0.55f, 0, 4.4f, 5.2f, 1.0f, 0.53f, true,  0.05f, 9.0f, 0.35f}},
  { 24.0f, 700, {0, 70.0f, 1.2f,  0, 4.4f, 3.4f, 0.6f, 1.0f,  false, 0.0f,  0.0f, 0.25f}},
};
constexpr Row kDefaultRow =
     {  0.0f,   0, {0,  0.0f, 0.0f,  0, 1.8f, 3.8f, 1.0f, 1.0f,  false, 0.0f,  0.0f, 0.0f }};
// clang-format on

constexpr int kMinFlakes = 60;
// Far beyond anything the frame tick sends; keeps the limit inside an int.
constexpr float kMaxDensity = 1000.0f;

}  // namespace

SnowfallProfile snowfallProfile(int level, float density) {
  const Row& row = (level >= 0 && level <= 2) ? kRows[level] : kDefaultRow;
  const float d = (std::isfinite(density) && density > 0.0f) ? std::min(density, kMaxDensity) : 0.0f;
  SnowfallProfile p = row.shape;
  p.rate = row.rate * d;
  p.maxFlakes = std::max(kMinFlakes, static_cast<int>(d * static_cast<float>(row.flakes)));
  return p;
}

}  // namespace kovra
