#pragma once
// The real-weather state of the main thread and the rules that move it: when
// a forecast is asked for, what an answer changes, what a found city resets,
// and the status line. Time comes in as Unix seconds; the Win32 side adds the
// workers, the registry and the clock.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "weather/city.h"
#include "weather/forecast.h"

// A new forecast is asked for this long after the last answer, good or bad.
constexpr int64_t kWeatherRetrySeconds = 1800;

struct WeatherState {
  bool enabled = false;  // "Snow like outside"
  std::string cityName;
  double cityLat = 0, cityLon = 0;  // both exactly 0: no city
  bool have = false;     // a forecast applied since start or the city changed
  int level = 0;
  float wind = 0.0f;
  std::string label;
  double temperatureC = 0;
  double windKmh = 0;
  bool snowOutside = false;
  int64_t lastAttempt = 0;  // when the last answer arrived; 0 = at the next chance
  bool fetchInFlight = false;
  bool searchInFlight = false;
  const char* searchError = nullptr;  // Ukrainian source text; null = none
  // Counts city changes, so that a forecast asked for the previous city is
  // not taken for the new one.
  uint64_t cityGeneration = 0;
};

// What a forecast worker gets: its own copy of the place.
struct ForecastRequest {
  double latitude = 0, longitude = 0;
  uint64_t cityGeneration = 0;
};

// A request to start when the option is on, none is in flight and there is a
// city; marks it in flight.
std::optional<ForecastRequest> weatherFetchStart(WeatherState& s);

// The once-a-minute check: on, and more than the retry time since the last answer.
bool weatherDue(const WeatherState& s, int64_t now);

enum class ForecastApplied { Replaced, KeptLast, Stale };
// An answer on the main thread: clears the flight and stamps the attempt,
// then takes a valid reading or keeps the last one, each with its log line.
// An answer asked for another city than the present one changes nothing but
// the flight (Stale): the caller asks again for the new city.
ForecastApplied weatherApply(WeatherState& s, const ForecastReading& reading, uint64_t requestGeneration, int64_t now);

// The option switched: false when it already had that value. Clears the
// search error and logs; switching on makes the next fetch due at once.
bool weatherSetEnabled(WeatherState& s, bool on);

// What a search worker gets.
struct CitySearchRequest {
  std::string query;
  std::string languageCode;
};

// A search to start for typed text: none for blank text or while one runs.
// Marks it in flight and clears the error.
std::optional<CitySearchRequest> citySearchStart(WeatherState& s, std::string_view typed, int uiLanguage);

// A search's answer: true when a city was found, which is then the state's
// city with the weather reset and the next fetch due (the caller stores it,
// fetches and re-applies the wallpaper). Otherwise the error text is set and
// the city stays.
bool citySearchApply(WeatherState& s, const CitySearchResult& result);

// The values the frame tick hands to the worlds.
struct WeatherReading {
  int level = 0;
  float wind = 0.0f;
  bool snowOutside = false;
};
inline bool weatherActive(const WeatherState& s) { return s.enabled && s.have; }
inline WeatherReading weatherReadingOf(const WeatherState& s) { return {s.level, s.wind, s.snowOutside}; }

// A stored coordinate ("%.4f" as written, any leftover text ignored); 0 when
// it does not read as a number on the globe.
double storedCoordinate(std::string_view text, double limit);
std::string coordinateToStore(double degrees);

// The settings window's status line through a text lookup (the UI table's
// `tr`): "No city chosen", the city with label, temperature (+2°, 0°, -3°)
// and wind in km/h, or "updating…".
using TextLookup = const char* (*)(const char*);
std::string weatherStatusLine(const WeatherState& s, TextLookup lookup);
// "+2°", "0°", "-3°": rounded to the nearest degree.
std::string temperatureText(double celsius);
