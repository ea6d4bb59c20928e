#pragma once
// The snowflake of the tray icon, drawn at any size: a white flake with a
// dark blue rim, and a dimmer grey-blue one for while the snow is paused.
#include <cstdint>
#include <vector>

enum class IconAlpha { Straight, Premultiplied };

// size x size pixels, rows from the top, each 0xAARRGGBB (in memory the
// bytes B, G, R, A). Sizes below 16 are drawn at 16. Icons take straight
// alpha; premultiplied pixels suit layered windows and the drawn menu.
std::vector<uint32_t> traySnowflakePixels(int size, bool paused, IconAlpha alpha = IconAlpha::Straight);
