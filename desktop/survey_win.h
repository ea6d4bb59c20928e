#pragma once
#include <cstdint>

#include "desktop/survey.h"

// One pass over the top-level windows and taskbars; call once per frame.
void survey(double now);
const DesktopSurvey& desktopSurvey();
// Is a window that left the survey gone, or only out of sight?
kovra::Fate windowFate(uint64_t window, bool countHiddenAsHidden);
// Releases what the survey holds of COM; before COM is uninitialised.
void surveyRelease();
