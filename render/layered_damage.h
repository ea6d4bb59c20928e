#pragma once
// Which part of an overlay's picture goes to the window system each frame.
// The buffer holds last frame's drawing and nothing outside its bound, so a
// frame clears only that bound, draws, and hands on the union of both bounds:
// every pixel that can differ from what the window shows. A frame that
// changes nothing is not handed on at all.

#include "render/soft_painter.h"

namespace kovra {

struct LayeredDamage {
  PixelBox lastDrawn;       // the bound of what the buffer holds
  bool wholeNext = true;    // a new surface: the window has not been given anything yet
  int lastAlpha = -1;       // the constant alpha the window was last given
};

struct PresentPlan {
  bool present = false;
  // Hand on the picture without naming a dirty part: a part that is most of
  // the picture costs some window systems more than the whole (Wine copies
  // the whole surface once more and clears the part before blending it).
  bool whole = false;
  PixelBox dirty;  // within 0..width-1, 0..height-1; the whole picture when `whole`
};

// After a frame drew `drawn` at constant alpha `alpha` (0..255) into a
// width x height buffer: what to hand on, and the damage carried forward.
// A new surface or a changed alpha hands on the whole picture, and so does a
// dirty part of three quarters of the picture or more.
PresentPlan planPresent(LayeredDamage& damage, const PixelBox& drawn, int alpha, int width, int height);

}  // namespace kovra
