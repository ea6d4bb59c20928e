#include "weather/weather_win.h"

#include <ctime>
#include <utility>

#include "base/log.h"
#include "base/main_thread_win.h"
#include "base/settings.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "net/http_win.h"
#include "net/service_base_win.h"
#include "net/worker.h"
#include "weather/numbers.h"
#include "weather/service.h"

namespace {

WeatherState gState;
WeatherHooks gHooks;
std::string gForecastBase = kForecastServiceBase;
std::string gCityBase = kCityServiceBase;

int64_t unixNow() { return static_cast<int64_t>(std::time(nullptr)); }

void notifyChanged() {
  if (gHooks.changed) gHooks.changed();
}

const char* lookup(const char* text) { return gHooks.translate ? gHooks.translate(text) : text; }

void applyForecast(const ForecastReading& reading, uint64_t generation) {
  ForecastApplied outcome = weatherApply(gState, reading, generation, unixNow());
  // The city changed while the answer was on its way: ask for the new one.
  if (outcome == ForecastApplied::Stale) weatherFetch();
  notifyChanged();
}

void applyCitySearch(const CitySearchResult& result) {
  if (citySearchApply(gState, result)) {
    quillarWriteString(L"CityLat", coordinateToStore(gState.cityLat));
    quillarWriteString(L"CityLon", coordinateToStore(gState.cityLon));
    quillarWriteString(L"CityName", gState.cityName);
    weatherFetch();
    if (gHooks.cityChanged) gHooks.cityChanged();
  }
  notifyChanged();
}

}  // namespace

void weatherInit(WeatherHooks hooks) {
  gHooks = std::move(hooks);
  gForecastBase = serviceBaseFromSettings(L"WeatherServer", kForecastServiceBase, "weather");
  gCityBase = serviceBaseFromSettings(L"CityServer", kCityServiceBase, "town");
  gState.enabled = quillarReadDword(L"RealWeather", 0) != 0;
  gState.cityName = quillarReadString(L"CityName");
  gState.cityLat = storedCoordinate(quillarReadString(L"CityLat"), 90);
  gState.cityLon = storedCoordinate(quillarReadString(L"CityLon"), 180);
  weatherFetch();
}

void weatherFetch() {
  std::optional<ForecastRequest> request = weatherFetchStart(gState);
  if (!request) return;
  std::string url = gForecastBase + forecastObject(request->latitude, request->longitude);
  uint64_t generation = request->cityGeneration;
  runWorker([url, generation] {
    std::string body;
    int status = 0;
    bool completed = httpRequest("GET", url, "", kForecastHeaders, body, status);
    ForecastReading reading = forecastFromAnswer(completed, status, body, unixNow());
    postToMain([reading, generation] { applyForecast(reading, generation); });
  });
}

void weatherTick() {
  if (weatherDue(gState, unixNow())) weatherFetch();
}

bool realWeather() { return gState.enabled; }

void setRealWeather(bool on) {
  if (!weatherSetEnabled(gState, on)) return;
  quillarWriteDword(L"RealWeather", on ? 1 : 0);
  if (on) weatherFetch();
  notifyChanged();
}

bool weatherActive() { return weatherActive(gState); }
WeatherReading weatherReading() { return weatherReadingOf(gState); }

bool cityLocation(double& latitude, double& longitude) {
  if (gState.cityLat == 0 && gState.cityLon == 0) return false;
  latitude = gState.cityLat;
  longitude = gState.cityLon;
  return true;
}

const std::string& weatherCityName() { return gState.cityName; }

void weatherFindCity(const std::string& text) {
  std::optional<CitySearchRequest> request = citySearchStart(gState, text, uiLanguage());
  if (!request) return;
  notifyChanged();
  std::string url = gCityBase + citySearchObject(request->query, request->languageCode);
  std::string query = request->query;
  runWorker([url, query] {
    std::string body;
    int status = 0;
    bool completed = httpRequest("GET", url, "", kCitySearchHeaders, body, status);
    CitySearchResult result = cityFromAnswer(completed, status, body, query);
    postToMain([result] { applyCitySearch(result); });
  });
}

bool citySearchBusy() { return gState.searchInFlight; }

std::string weatherStatusText() { return weatherStatusLine(gState, gHooks.translate); }

std::string weatherSearchError() { return gState.searchError ? lookup(gState.searchError) : std::string(); }
