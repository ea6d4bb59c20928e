#pragma once
// The decisions behind smart pause that need no Windows: reasons from power,
// device and media state, the full-screen application test over the window
// list, and how the current reason follows the probes and the user's
// "show anyway".
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/survey.h"

// Reason texts: constants, compared by identity for changes and by text for the override.
extern const char* const kReasonLowBattery;  // "low battery"
extern const char* const kReasonCall;        // "call or presentation"
extern const char* const kReasonVideo;       // "video"

// Battery saver on, or on battery at 15 % or less.
bool lowBatteryFrom(bool statusRead, uint8_t systemStatusFlag, uint8_t acLineStatus, uint8_t batteryPercent);
// A consent-store entry is in use while it has a start and a stop of zero.
bool consentEntryInUse(bool startRead, uint64_t start, bool stopRead, uint64_t stop);
// The file name of `imagePath` is one of the known browsers and players.
bool isMediaExecutable(std::wstring_view imagePath);
const char* smartPauseReasonFrom(bool lowBattery, bool deviceInUse, bool displayRequired, bool mediaInForeground);

// Whether a full-screen application covers this monitor, scanning the
// windows topmost first.
bool fullScreenAppOn(const PixelRect& monitor, const std::vector<SurveyedWindow>& windows, uint64_t foreground,
                     uint64_t foregroundRoot);

// What the probe thread has found, as the frame tick samples it.
struct ProbeReading {
  bool started = false;          // the probe thread runs
  bool fullScreen = false;       // exclusive full screen, presentation or a screensaver
  const char* reason = nullptr;  // one of the kReason* constants, or null
};

struct SmartPauseState {
  const char* current = nullptr;   // the reason that hides the snow now
  const char* override = nullptr;  // the reason the user showed the snow anyway for
};

// Every fourth sampling: follows the probed reason. Returns true when the
// current reason changed; `logText` then holds the reason or "off".
bool smartPauseFollow(SmartPauseState& s, bool enabled, bool probing, const char* probed, std::string& logText);
// The user's "show anyway": only while a reason is current.
bool smartPauseShowAnyway(SmartPauseState& s);
