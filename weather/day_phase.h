#pragma once
// The phase of the day from where the sun stands: a moment and a place in,
// two of six phase names and a quarter-step blend weight out. Purely
// astronomical, so dawn comes late in winter and the evening light stretches
// at high latitudes. No state and no clock reads: callers pass the time.
#include <ctime>
#include <string>
#include <string_view>

constexpr int kPhaseCount = 6;

// "dawn", "day", "golden", "sunset", "blue", "night": the keys of a theme's
// pictures and the stems of their file names, in this order.
extern const char* const kPhaseNames[kPhaseCount];

// Index of a phase name (exact, lower case) in kPhaseNames; -1 for anything else.
int phaseIndex(std::string_view name);

struct DayPhase {
  std::string from;   // shown fully when blend is 0
  std::string to;     // blended in; equals from when blend is 0
  double blend = 0;   // weight of `to`: 0, 0.25, 0.5 or 0.75
};

// Sun elevation above the horizon in degrees (-90..90) at UTC seconds since
// 1970, for a latitude and an east-positive longitude in degrees.
double solarElevation(double unixSeconds, double latitudeDeg, double longitudeDeg);

// The phase for an elevation, the sun's direction and the day threshold
// (the elevation from which it is full day).
DayPhase dayPhaseFor(double elevationDeg, bool rising, double dayThresholdDeg);

// The whole computation: direction from the elevation ten minutes later, the
// threshold from the highest sun of the local calendar day (utcOffsetSeconds
// places the local midnight).
DayPhase dayPhaseAt(double unixSeconds, double latitudeDeg, double longitudeDeg, double utcOffsetSeconds);

struct PhaseLocation {
  double latitude = 0;
  double longitude = 0;
};

// Where the phases are computed for: the chosen city when one is set (not
// both coordinates exactly 0); otherwise latitude 50 and the longitude whose
// solar noon falls near clock noon for the given UTC offset. Coordinates that
// are not finite or lie outside the globe count as no city.
PhaseLocation phaseLocation(double cityLatitude, double cityLongitude, double utcOffsetSeconds);

// Seconds that local wall-clock time (daylight saving included) is ahead of
// UTC at `now`, by the C library's time zone rules.
double localUtcOffset(std::time_t now);
