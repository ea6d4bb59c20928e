#pragma once
// Smart pause: the probe thread and the frame tick's twice-a-second sampling.

// Main thread: starts the probe thread on first use, sets each overlay's
// full-screen flag and work area, and follows the smart-pause reason.
void probesSample(double now);
// Runs the probes at the next frame (after every overlay build).
void probesResetTime();
// The reason that hides the snow now, or null.
const char* smartPauseCurrent();
// The exclusive full-screen flag (a game, presentation or screensaver runs).
bool exclusiveFullScreen();
// "Show the snow anyway" for the current reason.
void smartPauseOverride();
