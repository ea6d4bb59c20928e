#include "render/layered_damage.h"

#include <algorithm>
#include <cstdint>

namespace kovra {

PresentPlan planPresent(LayeredDamage& damage, const PixelBox& drawn, int alpha, int width, int height) {
  PresentPlan plan;
  const PixelBox whole{0, 0, width - 1, height - 1};
  if (damage.wholeNext || alpha != damage.lastAlpha) {
    plan.present = !whole.empty();
    plan.dirty = whole;
  } else {
    PixelBox d = unite(damage.lastDrawn, drawn);
    d.x0 = std::max(d.x0, 0);
    d.y0 = std::max(d.y0, 0);
    d.x1 = std::min(d.x1, width - 1);
    d.y1 = std::min(d.y1, height - 1);
    plan.present = !d.empty();
    plan.dirty = plan.present ? d : PixelBox{};
    const int64_t area = plan.present ? int64_t{d.x1 - d.x0 + 1} * (d.y1 - d.y0 + 1) : 0;
    if (area * 4 >= int64_t{width} * height * 3) plan.dirty = whole;
  }
  plan.whole = plan.present && plan.dirty == whole;
  damage.lastDrawn = drawn;
  damage.lastAlpha = alpha;
  damage.wholeNext = false;
  return plan;
}

}  // namespace kovra
