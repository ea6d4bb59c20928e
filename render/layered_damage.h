#pragma once
// Which part of an overlay's picture goes to the window system each frame,
// and how large the window is. The buffer covers the whole monitor and holds
// last frame's drawing and nothing outside its bound, so a frame clears only
// that bound, draws, and hands on the union of both bounds: every pixel that
// can differ from what the window shows. A frame that changes nothing is not
// handed on at all.
//
// The window itself is cut down to a grid-aligned box around what is drawn
// (a garland along the top, Santa's band of sky) once the drawing has fitted
// in much less for a while: the system's cost of taking a picture grows with
// the window, not with the part that changed. Anything drawn outside the box
// grows it at once.

#include "render/soft_painter.h"

namespace kovra {

struct LayeredDamage {
  PixelBox lastDrawn;     // the bound of what the buffer holds
  PixelBox window;        // the window's box in buffer pixels
  bool wholeNext = true;  // a new surface, or the window lost what it was given
  int lastAlpha = -1;     // the constant alpha the window was last given
  int roomyFrames = 0;    // frames in a row that fitted in a much smaller box
};

struct PresentPlan {
  bool present = false;
  // The window takes this box (and the picture under it) this frame.
  bool moved = false;
  PixelBox window;
  // Hand on the window's whole picture without naming a dirty part: a part
  // that is most of the window costs some window systems more than the whole
  // (Wine copies the whole surface once more and clears the part first).
  bool whole = false;
  PixelBox dirty;  // buffer pixels inside `window`; all of it when `whole`
};

// Grid and margin of the window's box, and how long the drawing must fit in
// at most half of it before the window shrinks.
inline constexpr int kWindowGrid = 64;
inline constexpr int kWindowMargin = 16;
inline constexpr int kShrinkAfterFrames = 45;

// The box a window around `drawn` takes in a width x height buffer: the
// drawing with the margin, widened outwards to the grid, within the buffer.
PixelBox windowBoxFor(const PixelBox& drawn, int width, int height);

// After a frame drew `drawn` at constant alpha `alpha` (0..255) into a
// width x height buffer: what to hand on, and the state carried forward. A
// new surface, a changed alpha or a moved window hands on the whole window,
// and so does a dirty part of three quarters of the window or more.
PresentPlan planPresent(LayeredDamage& damage, const PixelBox& drawn, int alpha, int width, int height);

}  // namespace kovra
