#pragma once
// Smart pause: the probe thread behind it. Slow queries run on one long-lived
// thread that publishes its findings through atomics only; the frame tick
// samples them twice a second.
#include "desktop/smart_pause.h"

// Main thread: starts the probe thread unless it runs (a failed start is
// tried again at the next call), then returns what it found. The enabled
// flag tells the thread whether to look for smart-pause reasons at all.
ProbeReading probesSample(bool smartPauseEnabled);
