#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "weather/day_phase.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
double rad(double d) { return d * kPi / 180.0; }
double deg(double r) { return r * 180.0 / kPi; }

// The sun's elevation (no refraction) by NOAA's solar calculator equations
// (Jean Meeus' higher-accuracy series), an independent route to the answer.
double noaaElevation(double unixSeconds, double lat, double lon) {
  double jd = unixSeconds / 86400.0 + 2440587.5;
  double T = (jd - 2451545.0) / 36525.0;
  double L0 = std::fmod(280.46646 + T * (36000.76983 + T * 0.0003032), 360.0);
  double M = 357.52911 + T * (35999.05029 - 0.0001537 * T);
  double ecc = 0.016708634 - T * (0.000042037 + 0.0000001267 * T);
  double C = std::sin(rad(M)) * (1.914602 - T * (0.004817 + 0.000014 * T)) +
             std::sin(rad(2 * M)) * (0.019993 - 0.000101 * T) + std::sin(rad(3 * M)) * 0.000289;
  double omega = 125.04 - 1934.136 * T;
  double apparent = L0 + C - 0.00569 - 0.00478 * std::sin(rad(omega));
  double meanObliquity = 23 + (26 + (21.448 - T * (46.815 + T * (0.00059 - T * 0.001813))) / 60) / 60;
  double obliquity = meanObliquity + 0.00256 * std::cos(rad(omega));
  double decl = deg(std::asin(std::sin(rad(obliquity)) * std::sin(rad(apparent))));
  double y = std::tan(rad(obliquity / 2)) * std::tan(rad(obliquity / 2));
  double eot = 4 * deg(y * std::sin(2 * rad(L0)) - 2 * ecc * std::sin(rad(M)) +
                       4 * ecc * y * std::sin(rad(M)) * std::cos(2 * rad(L0)) -
                       0.5 * y * y * std::sin(4 * rad(L0)) - 1.25 * ecc * ecc * std::sin(2 * rad(M)));
  double minutesOfDay = std::fmod(unixSeconds, 86400.0) / 60.0;
  if (minutesOfDay < 0) minutesOfDay += 1440;
  double trueSolar = std::fmod(minutesOfDay + eot + 4 * lon, 1440.0);
  if (trueSolar < 0) trueSolar += 1440;
  double hourAngle = trueSolar / 4 < 0 ? trueSolar / 4 + 180 : trueSolar / 4 - 180;
  double cosZenith = std::sin(rad(lat)) * std::sin(rad(decl)) + std::cos(rad(lat)) * std::cos(rad(decl)) * std::cos(rad(hourAngle));
  return 90.0 - deg(std::acos(std::fmax(-1.0, std::fmin(1.0, cosZenith))));
}

// 2024-01-01T00:00:00Z and friends.
constexpr double kJan2024 = 1704067200;
constexpr double kJun21_2024 = 1718928000;
constexpr double kDec21_2024 = 1734739200;

struct Place {
  const char* name;
  double lat, lon;
};
const Place kPlaces[] = {{"Kyiv", 50.45, 30.52},     {"Tromso", 69.65, 18.96},    {"Quito", -0.18, -78.47},
                         {"Sydney", -33.87, 151.21}, {"Reykjavik", 64.15, -21.94}, {"Honolulu", 21.31, -157.86},
                         {"Longyearbyen", 78.22, 15.65}};

TEST(SolarElevation, AgreesWithTheNoaaEquationsAcrossPlacesAndSeasons) {
  double worst = 0;
  for (const Place& p : kPlaces) {
    // Every 151 minutes over four years: all seasons and hours.
    for (double t = kJan2024; t < kJan2024 + 4 * 365.25 * 86400; t += 151 * 60) {
      double diff = std::fabs(solarElevation(t, p.lat, p.lon) - noaaElevation(t, p.lat, p.lon));
      worst = std::fmax(worst, diff);
      if (diff > 0.03) {
        ADD_FAILURE() << p.name << " at " << t << ": " << solarElevation(t, p.lat, p.lon) << " vs "
                      << noaaElevation(t, p.lat, p.lon);
        return;
      }
    }
  }
  EXPECT_LT(worst, 0.03);
}

DayPhase phase(const char* from, const char* to, double blend) { return DayPhase{from, to, blend}; }

void expectPhase(const DayPhase& got, const DayPhase& want, const std::string& what) {
  EXPECT_EQ(got.from, want.from) << what;
  EXPECT_EQ(got.to, want.to) << what;
  EXPECT_DOUBLE_EQ(got.blend, want.blend) << what;
}

TEST(DayPhaseFor, FollowsBothLadders) {
  struct Case {
    double e;
    bool rising;
    double T;
    DayPhase want;
  };
  const Case cases[] = {
      // Evening 4 degrees in high summer: between golden (5) and sunset (-1.5), f = 0.154.
      {4.0, false, 12, phase("golden", "sunset", 0.25)},
      // Morning -4.5: between dawn (1) and night (-10), f = 0.5.
      {-4.5, true, 12, phase("night", "dawn", 0.5)},
      // At or above the threshold it is day, whichever way the sun goes.
      {12.0, false, 12, phase("day", "day", 0)},
      {45.0, true, 12, phase("day", "day", 0)},
      // Exactly at a lower bound: the lower phase alone.
      {5.0, false, 12, phase("golden", "golden", 0)},
      {-1.5, false, 12, phase("sunset", "sunset", 0)},
      {-5.0, false, 12, phase("blue", "blue", 0)},
      {-10.0, false, 12, phase("night", "night", 0)},
      {1.0, true, 12, phase("dawn", "dawn", 0)},
      {-10.0, true, 12, phase("night", "night", 0)},
      {-30.0, false, 12, phase("night", "night", 0)},
      // Evening quarters between day (12) and golden (5).
      {11.5, false, 12, phase("day", "day", 0)},       // f = 0.07
      {10.0, false, 12, phase("day", "golden", 0.25)},  // f = 0.29
      {8.5, false, 12, phase("day", "golden", 0.5)},    // f = 0.5
      {6.5, false, 12, phase("day", "golden", 0.75)},   // f = 0.79
      {5.5, false, 12, phase("golden", "golden", 0)},   // f = 0.93 rounds to 1
      // Evening between blue (-5) and night (-10).
      {-7.5, false, 12, phase("blue", "night", 0.5)},
      // Morning between dawn (1) and day (12): f = 3/11 = 0.27 -> weight of day 0.75.
      {9.0, true, 12, phase("dawn", "day", 0.75)},
      {2.0, true, 12, phase("dawn", "dawn", 0)},  // f = 0.91 rounds to 1
      // Polar night: the threshold is 3 and golden starts at 1.
      {2.9, false, 3, phase("day", "day", 0)},  // f = 0.05 still rounds to the day picture
      {1.0, false, 3, phase("golden", "golden", 0)},
      {2.0, false, 3, phase("day", "golden", 0.5)},
      {2.5, true, 3, phase("dawn", "day", 0.75)},
  };
  for (const Case& c : cases) {
    expectPhase(dayPhaseFor(c.e, c.rising, c.T), c.want,
                std::to_string(c.e) + (c.rising ? " rising" : " setting") + " T " + std::to_string(c.T));
  }
}

// Position along the road the sun takes: in the evening day, golden, sunset,
// blue, night; in the morning night, dawn, day.
double position(const DayPhase& p, bool rising) {
  const std::string evening[] = {"day", "golden", "sunset", "blue", "night"};
  const std::string morning[] = {"night", "dawn", "day"};
  const std::string* order = rising ? morning : evening;
  int n = rising ? 3 : 5;
  auto at = [&](const std::string& name) {
    for (int i = 0; i < n; ++i)
      if (name == order[i]) return i;
    ADD_FAILURE() << name << (rising ? " in the morning" : " in the evening");
    return 0;
  };
  return at(p.from) + p.blend * (at(p.to) - at(p.from));
}

TEST(DayPhaseAt, WalksThroughTheDayInOrderInKyivAtMidsummer) {
  const double lat = 50.45, lon = 30.52, offset = 3 * 3600;  // EEST
  // The local calendar day of 2024-06-21, sampled every 5 minutes.
  double midnight = kJun21_2024 - offset;
  double lastMorning = -1, lastEvening = -1;
  bool sawGoldenSunset25 = false, sawNightDawn = false;
  for (double t = midnight; t < midnight + 86400; t += 300) {
    DayPhase p = dayPhaseAt(t, lat, lon, offset);
    bool rising = noaaElevation(t, lat, lon) < noaaElevation(t + 600, lat, lon);
    if (rising) {
      double pos = position(p, true);
      if (lastMorning >= 0) {
        EXPECT_GE(pos, lastMorning) << t;
      }
      lastMorning = pos;
      sawNightDawn |= p.from == "night" && p.to == "dawn";
    } else if (t > midnight + 6 * 3600) {
      double pos = position(p, false);
      if (lastEvening >= 0) {
        EXPECT_GE(pos, lastEvening) << t;
      }
      lastEvening = pos;
      // The peak is over 60 degrees, so golden starts at 5 and sunset at -1.5.
      double e = noaaElevation(t, lat, lon);
      if (e < 4.1 && e > 2.7) {
        EXPECT_EQ(p.from + "-" + p.to + "-" + std::to_string(p.blend), "golden-sunset-0.250000");
      }
      sawGoldenSunset25 |= p.from == "golden" && p.to == "sunset" && p.blend == 0.25;
    }
  }
  EXPECT_TRUE(sawGoldenSunset25);
  EXPECT_TRUE(sawNightDawn);
  // Local noon is day, local midnight night.
  expectPhase(dayPhaseAt(midnight + 12 * 3600, lat, lon, offset), phase("day", "day", 0), "noon");
  expectPhase(dayPhaseAt(midnight + 60, lat, lon, offset), phase("night", "night", 0), "midnight");
}

TEST(DayPhaseAt, PolarNightNeverReachesDay) {
  // Tromso around the winter solstice: the sun stays below the horizon, so the
  // threshold sits at its floor of 3 degrees and no moment is full day.
  const double lat = 69.65, lon = 18.96, offset = 3600;
  for (double t = kDec21_2024 - offset; t < kDec21_2024 - offset + 86400; t += 600) {
    DayPhase p = dayPhaseAt(t, lat, lon, offset);
    EXPECT_FALSE(p.from == "day" && p.to == "day") << t;
    EXPECT_NE(p.from, "day") << t;  // well below 3 degrees all day
  }
}

TEST(PhaseLocation, UsesTheCityOrTheTimeZone) {
  struct Case {
    double lat, lon, offset, wantLat, wantLon;
  };
  const Case cases[] = {
      {50.45, 30.52, 3600, 50.45, 30.52},   // a city
      {0, 0, 7200, 50, 30},                  // no city, UTC+2
      {0, 0, -5 * 3600, 50, -75},            // no city, UTC-5
      {0, 12.5, 0, 0, 12.5},                 // only both zero count as unset
      {-33.9, 0, 0, -33.9, 0},
      {NAN, 10, 3600, 50, 15},               // unusable coordinates count as no city
      {95, 10, 3600, 50, 15},
      {10, INFINITY, 3600, 50, 15},
  };
  for (const Case& c : cases) {
    PhaseLocation p = phaseLocation(c.lat, c.lon, c.offset);
    EXPECT_DOUBLE_EQ(p.latitude, c.wantLat) << c.lat << " " << c.lon;
    EXPECT_DOUBLE_EQ(p.longitude, c.wantLon) << c.lat << " " << c.lon;
  }
}

TEST(LocalUtcOffset, IncludesDaylightSaving) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "EET-2EEST,M3.5.0/3,M10.5.0/4", 1);
  tzset();
  EXPECT_DOUBLE_EQ(localUtcOffset(static_cast<std::time_t>(kJan2024)), 7200);
  EXPECT_DOUBLE_EQ(localUtcOffset(static_cast<std::time_t>(kJun21_2024)), 10800);
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  EXPECT_DOUBLE_EQ(localUtcOffset(static_cast<std::time_t>(kJan2024)), -5 * 3600);
  EXPECT_DOUBLE_EQ(localUtcOffset(static_cast<std::time_t>(kJun21_2024)), -4 * 3600);
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(PhaseNames, AreTheSixInOrder) {
  const char* want[] = {"dawn", "day", "golden", "sunset", "blue", "night"};
  for (int i = 0; i < kPhaseCount; ++i) EXPECT_EQ(phaseIndex(want[i]), i);
  for (const char* bad : {"", "Day", "night ", "dusk"}) EXPECT_EQ(phaseIndex(bad), -1) << bad;
}

}  // namespace
