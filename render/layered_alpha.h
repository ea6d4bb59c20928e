#pragma once
#include <cstdint>

// The constant alpha a layered window is presented with for an overlay's
// opacity: 0 at or below 0, 255 at or above 1, rounded in between.
inline uint8_t layeredAlpha(float opacity) {
  if (!(opacity > 0.0f)) return 0;
  if (opacity >= 1.0f) return 255;
  int a = static_cast<int>(opacity * 255.0f + 0.5f);
  return static_cast<uint8_t>(a > 255 ? 255 : a);
}
