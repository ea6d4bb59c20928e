#pragma once
// What happens to drifts when their windows move, vanish or come back, when
// the user was away, and when the snow is shovelled off. The events
// themselves are SnowWorld members (world/world.h); these are the rules they
// share.

#include <cstdint>
#include <optional>
#include <string>

namespace kovra {

// "w" followed by the window handle in decimal.
std::string windowDriftKey(uint64_t window);
// The window handle of a window drift key; nothing for other keys.
std::optional<uint64_t> windowFromDriftKey(const std::string& key);

// Share of each column thrown off by a fast move while dragging, from the
// downward speed (0 when moving up or level) and the sideways speed, pt/s.
float moveThrowFraction(float downSpeed, float sideSpeed);

// Share of each column thrown up when a window yanked upwards stops.
float yankFraction(float liftSpeed);

// Height of snow per column that `seconds` of snowfall at this level and
// density would have added (before caps).
float awaySnowPerColumn(double seconds, int level, float density);

}  // namespace kovra
