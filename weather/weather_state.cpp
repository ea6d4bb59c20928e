#include "weather/weather_state.h"

#include <cmath>
#include <initializer_list>

#include "base/log.h"
#include "base/placeholders.h"
#include "base/settings.h"
#include "weather/numbers.h"

namespace {

// Status-line texts, as the text table knows them.
constexpr const char* kNoCityKey = "Місто не вибрано";
constexpr const char* kWeatherLineKey = "%@: %@, %@, вітер %@ км/год";
constexpr const char* kUpdatingKey = "%@: оновлення…";


const char* same(const char* text) { return text; }

// A rounded whole number; values beyond what a long holds never come from a
// forecast but must not overflow either.
long roundedWhole(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9) return 0;
  return std::lround(v);
}

}  // namespace

std::optional<ForecastRequest> weatherFetchStart(WeatherState& s) {
  if (!s.enabled || s.fetchInFlight || (s.cityLat == 0 && s.cityLon == 0)) return std::nullopt;
  s.fetchInFlight = true;
  return ForecastRequest{s.cityLat, s.cityLon, s.cityGeneration};
}

bool weatherDue(const WeatherState& s, int64_t now) { return s.enabled && now - s.lastAttempt > kWeatherRetrySeconds; }

ForecastApplied weatherApply(WeatherState& s, const ForecastReading& r, uint64_t requestGeneration, int64_t now) {
  s.fetchInFlight = false;
  if (requestGeneration != s.cityGeneration) {
    logLine("weather: an answer for the previous city dropped");
    return ForecastApplied::Stale;
  }
  s.lastAttempt = now;
  if (!r.valid) {
    logLine("weather: no answer (HTTP %d) — keeping the last one", r.statusCode);
    return ForecastApplied::KeptLast;
  }
  s.have = true;
  s.level = r.level;
  s.wind = r.wind;
  s.label = r.label;
  s.temperatureC = r.temperatureC;
  s.windKmh = r.windKmh;
  s.snowOutside = r.snowOutside;
  logLine("weather: %s, %s°, wind %s, snow outside %d", s.label.c_str(), writeDecimal(s.temperatureC, 1).c_str(),
          writeDecimal(s.wind, 2).c_str(), s.snowOutside ? 1 : 0);
  return ForecastApplied::Replaced;
}

bool weatherSetEnabled(WeatherState& s, bool on) {
  if (s.enabled == on) return false;
  s.enabled = on;
  s.searchError = nullptr;
  logLine("real weather %s", on ? "on" : "off");
  if (on) s.lastAttempt = 0;
  return true;
}

std::optional<CitySearchRequest> citySearchStart(WeatherState& s, std::string_view typed, int uiLanguage) {
  std::string_view text = trimCityText(typed);
  if (text.empty() || s.searchInFlight) return std::nullopt;
  s.searchInFlight = true;
  s.searchError = nullptr;
  return CitySearchRequest{std::string(text), languageCode(uiLanguage)};
}

bool citySearchApply(WeatherState& s, const CitySearchResult& r) {
  s.searchInFlight = false;
  if (!r.found) {
    s.searchError = citySearchErrorKey(r);
    logLine("town lookup failed (HTTP %d)", r.statusCode);
    return false;
  }
  s.cityName = r.name.empty() ? r.query : r.name;
  s.cityLat = r.latitude;
  s.cityLon = r.longitude;
  s.have = false;
  s.level = 0;
  s.wind = 0.0f;
  s.label.clear();
  s.temperatureC = 0;
  s.windKmh = 0;
  s.snowOutside = false;
  s.lastAttempt = 0;
  s.cityGeneration += 1;
  logLine("town: %s (%s, %s)", s.cityName.c_str(), writeDecimal(s.cityLat, 3).c_str(),
          writeDecimal(s.cityLon, 3).c_str());
  return true;
}

double storedCoordinate(std::string_view text, double limit) {
  std::optional<double> v = readDecimal(text);
  if (!v || std::fabs(*v) > limit) return 0;
  return *v;
}

std::string coordinateToStore(double degrees) { return writeDecimal(degrees, 4); }

std::string temperatureText(double celsius) {
  long t = roundedWhole(celsius);
  std::string text = t > 0 ? "+" : "";
  text += std::to_string(t);
  text += "°";
  return text;
}

std::string weatherStatusLine(const WeatherState& s, TextLookup lookup) {
  if (!lookup) lookup = same;
  if (s.cityName.empty()) return lookup(kNoCityKey);
  if (s.have) {
    std::string kmh = std::to_string(roundedWhole(s.windKmh));
    return fillPlaceholders(lookup(kWeatherLineKey),
                            {s.cityName, lookup(s.label.c_str()), temperatureText(s.temperatureC), kmh});
  }
  return fillPlaceholders(lookup(kUpdatingKey), {s.cityName});
}
