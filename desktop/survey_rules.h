#pragma once
// The decisions of the window survey that need no Windows: which windows can
// never carry snow, which are see-through, which are big enough, and when a
// new pass changed anything.
#include <cstdint>
#include <string_view>
#include <vector>

#include "desktop/survey.h"

// Window style bits the rules look at (the system's values).
constexpr uint32_t kStyleChild = 0x40000000;
constexpr uint32_t kStyleCaption = 0x00C00000;
constexpr uint32_t kExTopmost = 0x00000008;
constexpr uint32_t kExTransparent = 0x00000020;
constexpr uint32_t kExLayered = 0x00080000;

// Decided once when a window is first seen.
bool surveyIgnores(bool ownProcess, std::wstring_view className, uint32_t style, uint32_t exStyle);
bool isIgnoredWindowClass(std::wstring_view className);

// Click-through, or layered with a readable alpha under 50.
bool seeThrough(uint32_t exStyle, bool layeredAlphaRead, bool alphaFlagSet, uint8_t alpha);

// Only windows at least 60 px wide and 30 px high are published.
bool bigEnoughToPublish(const PixelRect& visible);

// Same windows (handle and visible rectangle, in order) and same taskbars.
bool sameSurvey(const std::vector<SurveyedWindow>& a, const std::vector<PixelRect>& aBars,
                const std::vector<SurveyedWindow>& b, const std::vector<PixelRect>& bBars);
