// The real-weather state on the main thread: when forecasts are asked for,
// what answers and found cities change, and the status line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture_file.h"
#include "base/log.h"
#include "ui/text.h"
#include "weather/weather_state.h"

namespace {

std::string readFixture(const std::string& name) { return readFixtureFile(name); }

constexpr int64_t kOsloNow = 1770409626;  // when the Oslo answer was issued

class WeatherStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logSetObserver([this](const std::string& line) { lines.push_back(line); });
    s.cityName = "Oslo";
    s.cityLat = 59.9139;
    s.cityLon = 10.7522;
  }
  void TearDown() override { logSetObserver(nullptr); }

  ForecastReading oslo() { return forecastFromAnswer(true, 200, readFixture("met-oslo-2026-02-06-snow-compact.json"), kOsloNow); }

  WeatherState s;
  std::vector<std::string> lines;
};

TEST_F(WeatherStateTest, OneRequestAtATime) {
  EXPECT_FALSE(weatherFetchStart(s)) << "the option is off";
  EXPECT_TRUE(weatherSetEnabled(s, true));
  EXPECT_FALSE(weatherSetEnabled(s, true)) << "switching on twice changes nothing";
  std::optional<ForecastRequest> first = weatherFetchStart(s);
  ASSERT_TRUE(first);
  EXPECT_DOUBLE_EQ(first->latitude, 59.9139);
  EXPECT_DOUBLE_EQ(first->longitude, 10.7522);
  EXPECT_FALSE(weatherFetchStart(s)) << "a second request while one is in flight";
  weatherApply(s, oslo(), first->cityGeneration, kOsloNow);
  EXPECT_TRUE(weatherFetchStart(s));

  WeatherState nowhere;
  nowhere.enabled = true;
  EXPECT_FALSE(weatherFetchStart(nowhere)) << "no city";
  EXPECT_EQ(lines, std::vector<std::string>({"real weather on", "weather: сніг, -5.8°, wind -0.30, snow outside 1"}));
}

TEST_F(WeatherStateTest, RetryHalfAnHourAfterEveryAnswer) {
  weatherSetEnabled(s, true);
  EXPECT_TRUE(weatherDue(s, kOsloNow)) << "switched on: at once";
  std::optional<ForecastRequest> r = weatherFetchStart(s);
  weatherApply(s, forecastFromAnswer(false, 0, "", kOsloNow), r->cityGeneration, kOsloNow);
  EXPECT_EQ(s.lastAttempt, kOsloNow);
  EXPECT_FALSE(s.fetchInFlight);
  EXPECT_FALSE(weatherDue(s, kOsloNow + 1800));
  EXPECT_TRUE(weatherDue(s, kOsloNow + 1801));
  weatherSetEnabled(s, false);
  EXPECT_FALSE(weatherDue(s, kOsloNow + 99999));
  weatherSetEnabled(s, true);
  EXPECT_TRUE(weatherDue(s, kOsloNow + 1));
}

TEST_F(WeatherStateTest, AFailedAnswerKeepsTheLastOne) {
  weatherSetEnabled(s, true);
  std::string body = readFixture("met-oslo-2026-02-06-snow-compact.json");
  ASSERT_TRUE(weatherFetchStart(s));
  weatherApply(s, oslo(), 0, kOsloNow);
  ASSERT_TRUE(weatherActive(s));
  lines.clear();
  const ForecastReading failures[] = {
      forecastFromAnswer(true, 500, "Internal Server Error", kOsloNow),
      forecastFromAnswer(true, 0, body.substr(0, body.size() / 3), kOsloNow),  // broke off
      forecastFromAnswer(true, 200, body.substr(0, body.size() / 3), kOsloNow),
      forecastFromAnswer(false, 0, "", kOsloNow),
  };
  for (const ForecastReading& f : failures) {
    weatherFetchStart(s);
    EXPECT_EQ(weatherApply(s, f, 0, kOsloNow + 2000), ForecastApplied::KeptLast);
    EXPECT_TRUE(weatherActive(s));
    WeatherReading w = weatherReadingOf(s);
    EXPECT_EQ(w.level, 1);
    EXPECT_NEAR(w.wind, -0.3009, 1e-4);
    EXPECT_TRUE(w.snowOutside);
    EXPECT_EQ(s.label, "сніг");
  }
  EXPECT_EQ(lines, std::vector<std::string>({"weather: no answer (HTTP 500) — keeping the last one",
                                             "weather: no answer (HTTP 0) — keeping the last one",
                                             "weather: no answer (HTTP 200) — keeping the last one",
                                             "weather: no answer (HTTP 0) — keeping the last one"}));
}

TEST_F(WeatherStateTest, AFoundCityResetsTheWeather) {
  weatherSetEnabled(s, true);
  weatherFetchStart(s);
  weatherApply(s, oslo(), 0, kOsloNow);
  ASSERT_TRUE(weatherActive(s));

  std::optional<CitySearchRequest> search = citySearchStart(s, "  Kraków\t", 3);
  ASSERT_TRUE(search);
  EXPECT_EQ(search->query, "Kraków");
  EXPECT_EQ(search->languageCode, "pl");
  EXPECT_FALSE(citySearchStart(s, "Kyiv", 3)) << "a second search while one runs";

  // A forecast for Oslo leaves while the search runs and comes back after it.
  s.lastAttempt = 0;
  std::optional<ForecastRequest> old = weatherFetchStart(s);
  ASSERT_TRUE(old);

  CitySearchResult found = cityFromAnswer(true, 200, readFixture("nominatim-portland-head-light-jsonv2.json"), "Kraków");
  lines.clear();
  ASSERT_TRUE(citySearchApply(s, found));
  EXPECT_FALSE(s.searchInFlight);
  EXPECT_EQ(s.cityName, "Portland Head Light");
  EXPECT_FALSE(weatherActive(s));
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.wind, 0.0f);
  EXPECT_EQ(s.label, "");
  EXPECT_EQ(s.lastAttempt, 0);
  EXPECT_EQ(lines, std::vector<std::string>({"town: Portland Head Light (43.623, -70.208)"}));

  // The Oslo answer must not pass for the new city's, nor hold off its own.
  EXPECT_EQ(weatherApply(s, oslo(), old->cityGeneration, kOsloNow + 5), ForecastApplied::Stale);
  EXPECT_FALSE(weatherActive(s));
  EXPECT_FALSE(s.fetchInFlight);
  std::optional<ForecastRequest> fresh = weatherFetchStart(s);
  ASSERT_TRUE(fresh);
  EXPECT_DOUBLE_EQ(fresh->latitude, 43.6231093);
  EXPECT_DOUBLE_EQ(fresh->longitude, -70.2078663);
}

TEST_F(WeatherStateTest, SearchesThatFindNothing) {
  EXPECT_FALSE(citySearchStart(s, " \t ", 1)) << "blank text does nothing";
  EXPECT_FALSE(s.searchInFlight);

  struct Case { CitySearchResult answer; const char* error; const char* line; } cases[] = {
      {cityFromAnswer(true, 200, "[]", "Atlantis"), kCityNotFoundKey, "town lookup failed (HTTP 200)"},
      {cityFromAnswer(true, 503, "", "Atlantis"), kCityNoServerKey, "town lookup failed (HTTP 503)"},
      {cityFromAnswer(false, 0, "", "Atlantis"), kCityNoServerKey, "town lookup failed (HTTP 0)"},
  };
  for (const Case& c : cases) {
    lines.clear();
    ASSERT_TRUE(citySearchStart(s, "Atlantis", 1));
    EXPECT_EQ(s.searchError, nullptr) << "a new search clears the text";
    EXPECT_FALSE(citySearchApply(s, c.answer));
    EXPECT_EQ(s.searchError, c.error);
    EXPECT_EQ(s.cityName, "Oslo");
    EXPECT_DOUBLE_EQ(s.cityLat, 59.9139);
    EXPECT_EQ(lines, std::vector<std::string>({c.line}));
  }
  weatherSetEnabled(s, true);
  EXPECT_EQ(s.searchError, nullptr) << "switching the option clears the text";
}

TEST_F(WeatherStateTest, FoundWithoutANameTakesTheTypedText) {
  CitySearchResult r = cityFromAnswer(true, 200, "[{\"lat\":\"50.45\",\"lon\":\"30.52\"}]", "Kyiv");
  ASSERT_TRUE(citySearchStart(s, "Kyiv", 0));
  ASSERT_TRUE(citySearchApply(s, r));
  EXPECT_EQ(s.cityName, "Kyiv");
  EXPECT_EQ(coordinateToStore(s.cityLat), "50.4500");
  EXPECT_EQ(coordinateToStore(s.cityLon), "30.5200");
  EXPECT_DOUBLE_EQ(storedCoordinate("50.4500", 90), 50.45);
  EXPECT_EQ(storedCoordinate("", 90), 0);
  EXPECT_EQ(storedCoordinate("north", 90), 0);
  EXPECT_EQ(storedCoordinate("91", 90), 0);
  EXPECT_DOUBLE_EQ(storedCoordinate("-179.5", 180), -179.5);
}

TEST_F(WeatherStateTest, StatusLine) {
  auto english = [](const char* t) { return trIn(1, t); };
  auto french = [](const char* t) { return trIn(5, t); };
  auto german = [](const char* t) { return trIn(2, t); };
  WeatherState none;
  EXPECT_EQ(weatherStatusLine(none, english), "No city chosen");
  EXPECT_EQ(weatherStatusLine(s, english), "Oslo: updating…");
  EXPECT_EQ(weatherStatusLine(s, nullptr), "Oslo: оновлення…");
  s.enabled = true;
  weatherFetchStart(s);
  weatherApply(s, oslo(), 0, kOsloNow);
  EXPECT_EQ(weatherStatusLine(s, english), "Oslo: snow, -6°, wind 22 km/h");
  EXPECT_EQ(weatherStatusLine(s, french), "Oslo : neige, -6°, vent 22 km/h");
  EXPECT_EQ(weatherStatusLine(s, german), "Oslo: Schneefall, -6°, Wind 22 km/h");
  EXPECT_EQ(weatherStatusLine(s, nullptr), "Oslo: сніг, -6°, вітер 22 км/год");
  s.cityName = "%@ville";  // a name with a placeholder in it stays as it is
  EXPECT_EQ(weatherStatusLine(s, english), "%@ville: snow, -6°, wind 22 km/h");

  struct T { double c; const char* text; } temps[] = {{2, "+2°"}, {0, "0°"}, {-3, "-3°"}, {-0.4, "0°"},
                                                      {0.5, "+1°"}, {-2.5, "-3°"}, {1e300, "0°"}};
  for (const T& t : temps) EXPECT_EQ(temperatureText(t.c), t.text) << t.c;
}

TEST(WeatherLabels, EveryLabelHasItsRowInAllLanguages) {
  for (const char* label : {kLabelHeavySnow, kLabelLightSnow, kLabelSnow, kLabelSleet, kLabelRain, kLabelFog,
                            kLabelClear, kLabelCloudy, kLabelNoSnow}) {
    const TextRow* row = nullptr;
    for (const TextRow& r : textTable())
      if (std::string_view(r.text[0]) == label) row = &r;
    ASSERT_NE(row, nullptr) << label;
    for (int l = 1; l < kLanguageCount; ++l) EXPECT_STRNE(row->text[l], "") << label << " language " << l;
  }
}

}  // namespace
