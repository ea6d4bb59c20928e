#include "weather/day_phase.h"

#include <algorithm>
#include <cmath>

const char* const kPhaseNames[kPhaseCount] = {"dawn", "day", "golden", "sunset", "blue", "night"};

namespace {

constexpr double kRad = 0.017453292519943278;

double sinDeg(double a) { return std::sin(a * kRad); }
double cosDeg(double a) { return std::cos(a * kRad); }

struct Step {
  const char* phase;
  double bound;  // lowest elevation of the phase
};

DayPhase single(const char* phase) { return DayPhase{phase, phase, 0.0}; }

bool brokenDown(std::time_t t, bool local, std::tm& out) {
#if defined(_WIN32)
  return (local ? localtime_s(&out, &t) : gmtime_s(&out, &t)) == 0;
#else
  return (local ? localtime_r(&t, &out) : gmtime_r(&t, &out)) != nullptr;
#endif
}

}  // namespace

int phaseIndex(std::string_view name) {
  for (int i = 0; i < kPhaseCount; ++i)
    if (name == kPhaseNames[i]) return i;
  return -1;
}

double solarElevation(double unixSeconds, double latitudeDeg, double longitudeDeg) {
  double n = unixSeconds / 86400.0 + 2440587.5 - 2451545.0;
  double L = std::fmod(280.46 + 0.9856474 * n, 360.0);
  double g = std::fmod(357.528 + 0.9856003 * n, 360.0);
  double lambda = L + 1.915 * sinDeg(g) + 0.02 * sinDeg(2 * g);
  double epsilon = 23.439 - 0.0000004 * n;
  double alpha = std::atan2(cosDeg(epsilon) * sinDeg(lambda), cosDeg(lambda)) / kRad;
  double delta = std::asin(sinDeg(epsilon) * sinDeg(lambda)) / kRad;
  double theta = std::fmod(280.46061837 + 360.98564736629 * n, 360.0);
  double H = theta + longitudeDeg - alpha;
  double s = sinDeg(latitudeDeg) * sinDeg(delta) + cosDeg(latitudeDeg) * cosDeg(delta) * cosDeg(H);
  // Rounding may push the sine a hair past 1 at the subsolar point.
  return std::asin(std::clamp(s, -1.0, 1.0)) / kRad;
}

DayPhase dayPhaseFor(double e, bool rising, double T) {
  if (e >= T) return single("day");
  const Step morning[] = {{"day", T}, {"dawn", 1.0}, {"night", -10.0}};
  const Step evening[] = {{"day", T}, {"golden", std::min(T - 2.0, 5.0)}, {"sunset", -1.5}, {"blue", -5.0}, {"night", -10.0}};
  const Step* ladder = rising ? morning : evening;
  int steps = rising ? 3 : 5;
  for (int i = 0; i + 1 < steps; ++i) {
    const Step& U = ladder[i];
    const Step& W = ladder[i + 1];
    if (!(e >= W.bound)) continue;
    double f = (U.bound - e) / (U.bound - W.bound);
    f = std::clamp(f, 0.0, 1.0);
    double q = 0.25 * std::round(4.0 * f);
    const char* from = rising ? W.phase : U.phase;
    const char* to = rising ? U.phase : W.phase;
    double w = rising ? 1.0 - q : q;
    if (w >= 1.0) return single(to);
    if (w <= 0.0) return single(from);
    return DayPhase{from, to, w};
  }
  return single("night");
}

DayPhase dayPhaseAt(double t, double lat, double lon, double offset) {
  double e = solarElevation(t, lat, lon);
  bool rising = e < solarElevation(t + 600.0, lat, lon);
  double day = std::floor((t + offset) / 86400.0);
  double midnight = day * 86400.0 - offset;
  double peak = -90.0;
  for (int i = 0; i < 48; ++i) peak = std::max(peak, solarElevation(midnight + i * 1800.0, lat, lon));
  double T = std::clamp(0.7 * peak, 3.0, 12.0);
  return dayPhaseFor(e, rising, T);
}

PhaseLocation phaseLocation(double lat, double lon, double offset) {
  bool usable = std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;
  if (usable && !(lat == 0.0 && lon == 0.0)) return {lat, lon};
  return {50.0, offset / 3600.0 * 15.0};
}

double localUtcOffset(std::time_t now) {
  std::tm local{}, utc{};
  if (!brokenDown(now, true, local) || !brokenDown(now, false, utc)) return 0.0;
  // Both read back as standard local time, so the daylight hour stays in the
  // difference instead of being taken out of one side.
  local.tm_isdst = 0;
  utc.tm_isdst = 0;
  std::time_t a = std::mktime(&local);
  std::time_t b = std::mktime(&utc);
  if (a == static_cast<std::time_t>(-1) || b == static_cast<std::time_t>(-1)) return 0.0;
  return std::difftime(a, b);
}
