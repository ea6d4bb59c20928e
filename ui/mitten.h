#pragma once
// The mitten the pointer becomes over snow that can be picked up, drawn with
// the painter so it is sharp at every DPI. The Windows side draws it into a
// bitmap and makes the cursor from it (ui/mitten_cursor_win.h).
#include <cstddef>
#include <cstdint>

#include "ui/painter.h"

namespace kui {

struct MittenSize {
  int width = 0, height = 0;  // pixels
  int hotX = 0, hotY = 0;     // the hotspot, mid-palm
  float scale = 0;            // pixels per unit of the 46 x 52 drawing
};

// l = dpi / 96 x 0.72; 46 l by 52 l pixels (truncated), hotspot (23 l, 24 l)
// rounded. An unreadable DPI (0) counts as 96.
MittenSize mittenSize(unsigned dpi);

// Cursors are kept per DPI and variant under this key.
constexpr unsigned mittenKey(unsigned dpi, int variant) { return 2 * dpi + static_cast<unsigned>(variant); }

// Variant 0 the open mitten (thumb spread), 1 the closed fist holding snow.
// Drawn into a width x height pixel box at `scale` pixels per unit.
void drawMitten(Painter& p, float scale, int variant);

// Premultiplied BGRA back to straight colour: each colour channel of a pixel
// with alpha 1..254 becomes channel x 255 / alpha, at most 255.
void unpremultiply(uint32_t* pixels, size_t count);

}  // namespace kui
