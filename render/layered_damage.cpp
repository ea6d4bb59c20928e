#include "render/layered_damage.h"

#include <algorithm>
#include <cstdint>

namespace kovra {

namespace {

int64_t area(const PixelBox& b) { return b.empty() ? 0 : int64_t{b.x1 - b.x0 + 1} * (b.y1 - b.y0 + 1); }

bool contains(const PixelBox& outer, const PixelBox& inner) {
  return inner.empty() || (!outer.empty() && inner.x0 >= outer.x0 && inner.y0 >= outer.y0 && inner.x1 <= outer.x1 &&
                           inner.y1 <= outer.y1);
}

PixelBox clip(PixelBox b, int width, int height) {
  b.x0 = std::max(b.x0, 0);
  b.y0 = std::max(b.y0, 0);
  b.x1 = std::min(b.x1, width - 1);
  b.y1 = std::min(b.y1, height - 1);
  return b.empty() ? PixelBox{} : b;
}

int floorToGrid(int v) { return v >= 0 ? v / kWindowGrid * kWindowGrid : -((-v + kWindowGrid - 1) / kWindowGrid) * kWindowGrid; }

}  // namespace

PixelBox windowBoxFor(const PixelBox& drawn, int width, int height) {
  if (drawn.empty()) return {};
  PixelBox b{floorToGrid(drawn.x0 - kWindowMargin), floorToGrid(drawn.y0 - kWindowMargin),
             floorToGrid(drawn.x1 + kWindowMargin) + kWindowGrid - 1,
             floorToGrid(drawn.y1 + kWindowMargin) + kWindowGrid - 1};
  return clip(b, width, height);
}

PresentPlan planPresent(LayeredDamage& damage, const PixelBox& drawn, int alpha, int width, int height) {
  PresentPlan plan;
  const PixelBox all{0, 0, width - 1, height - 1};
  const PixelBox now = clip(drawn, width, height);
  PixelBox window = damage.window;
  bool redo = damage.wholeNext || alpha != damage.lastAlpha;
  if (damage.wholeNext) window = all;  // a new window covers the monitor
  if (!contains(window, now)) {
    window = clip(unite(window, windowBoxFor(now, width, height)), width, height);
    damage.roomyFrames = 0;
  } else if (!now.empty() && area(windowBoxFor(now, width, height)) * 2 <= area(window)) {
    if (++damage.roomyFrames >= kShrinkAfterFrames) {
      window = windowBoxFor(now, width, height);
      damage.roomyFrames = 0;
    }
  } else if (!now.empty()) {
    damage.roomyFrames = 0;
  }
  plan.moved = !(window == damage.window) || damage.wholeNext;
  redo = redo || plan.moved;

  plan.window = window;
  if (redo) {
    plan.present = !window.empty();
    plan.dirty = window;
  } else {
    const PixelBox d = clip(unite(damage.lastDrawn, now), width, height);
    plan.present = !d.empty();
    plan.dirty = d;
    if (area(d) * 4 >= area(window) * 3) plan.dirty = window;
  }
  plan.whole = plan.present && plan.dirty == window;
  damage.window = window;
  damage.lastDrawn = now;
  damage.lastAlpha = alpha;
  damage.wholeNext = false;
  return plan;
}

}  // namespace kovra
