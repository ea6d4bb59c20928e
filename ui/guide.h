#pragma once
// The first-run guide inside the Quillar window: six steps, the buttons that
// walk through them and the tricks ticked off as the snow reports them.
// Portable; the window draws it instead of the page while the guide runs.
#include <cstdint>
#include <vector>

#include "ui/settings_page.h"

namespace kui {

constexpr int kGuideSteps = 6;
constexpr int kGuideTricks = 4;

// Where a step button leads: the new step and the commands to send (Santa
// flies over on the way to the surprises step; Next on the last step and Skip
// end the guide).
struct GuideMove {
  int step = 0;
  std::vector<int> commands;
};
GuideMove guideMove(int step, int kind);

// The snow's progress bit that ticks trick `trick` (0..3): a snowball made,
// a throw or a heap, a snowman, a burst ball.
uint32_t guideTrickBit(int trick);
bool guideTrickDone(uint32_t progress, int trick);
bool guideAllTricksDone(uint32_t progress);

// The guide's step `model.guideStep` in content coordinates (draw it through
// Shift(p, 40 - scroll)); registers its buttons and controls.
PageResult drawGuidePage(Painter& p, HitLists& hits, const SettingsModel& model, const PageView& view);

}  // namespace kui
