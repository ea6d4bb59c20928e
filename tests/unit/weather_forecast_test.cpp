// Forecast reading against answers the forecast service really sent, and
// the symbol codes of its published legend.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fixture_file.h"
#include "weather/forecast.h"

namespace {

std::string readFixture(const std::string& name) { return readFixtureFile(name); }

struct Expected {
  const char* what;
  int64_t now;  // Unix seconds
  int level;
  const char* label;
  double temperature, wind, kmh;
  bool snow;
};

void check(const std::string& body, const Expected& e) {
  SCOPED_TRACE(e.what);
  ForecastReading r = forecastParse(body, e.now);
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.level, e.level);
  EXPECT_STREQ(r.label.c_str(), e.label);
  EXPECT_NEAR(r.temperatureC, e.temperature, 1e-9);
  EXPECT_NEAR(r.wind, e.wind, 1e-4);
  EXPECT_NEAR(r.windKmh, e.kmh, 1e-9);
  EXPECT_EQ(r.snowOutside, e.snow);
}

TEST(Forecast, OsloSnowAtFixedTimes) {
  const std::string body = readFixture("met-oslo-2026-02-06-snow-compact.json");
  const Expected cases[] = {
      // Issued 20:27:06Z, the first step is 21:00Z: the first step is used.
      {"before the first step", 1770409626, 1, "сніг", -5.8, -0.3009, 21.6, true},
      {"between 03:00 and 04:00", 1770435000, 0, "легкий сніг", -5.3, -0.2608, 18.72, true},
      {"a second before 05:00", 1770440399, 0, "легкий сніг", -5.2, -0.2351, 17.28, true},
      {"at 05:00 exactly", 1770440400, 0, "хмарно", -5.1, -0.2103, 15.84, false},
      // The last step carries only `instant`: no symbol, no snow.
      {"after the last step", 1771545600, 0, "без снігу", -5.9, -0.0709, 6.84, false},
  };
  for (const Expected& e : cases) check(body, e);
}

TEST(Forecast, NewYorkSummerAtFixedTimes) {
  const std::string body = readFixture("met-newyork-2020-07-20-compact.json");
  const Expected cases[] = {
      {"before the first step", 1595208657, 0, "хмарно", 26.5, 0.2831, 13.68, false},
      {"between 09:00 and 10:00", 1595323800, 0, "ясно", 22.9, -0.0099, 6.48, false},
      {"after the last step", 1596240000, 0, "без снігу", 24.7, 0.1284, 11.16, false},
  };
  for (const Expected& e : cases) check(body, e);
}

TEST(Forecast, AnswersThatGiveNoReading) {
  const std::string oslo = readFixture("met-oslo-2026-02-06-snow-compact.json");
  EXPECT_FALSE(forecastParse(oslo.substr(0, oslo.size() / 2), 1770409626).valid) << "cut-off body";
  EXPECT_FALSE(forecastParse("", 0).valid);
  EXPECT_FALSE(forecastParse(R"({"properties":{"timeseries":[]}})", 0).valid);
  EXPECT_FALSE(forecastParse(R"({"properties":{"timeseries":{}}})", 0).valid);
  // A step without `details` (the chosen one) gives nothing.
  EXPECT_FALSE(forecastParse(R"({"properties":{"timeseries":[{"time":"2020-01-01T00:00:00Z","data":{}}]}})", 0).valid);

  // Only a completed exchange with status 200 is read; the status is kept.
  ForecastReading served = forecastFromAnswer(true, 200, oslo, 1770409626);
  EXPECT_TRUE(served.valid);
  EXPECT_EQ(served.statusCode, 200);
  ForecastReading error = forecastFromAnswer(true, 500, oslo, 1770409626);
  EXPECT_FALSE(error.valid);
  EXPECT_EQ(error.statusCode, 500);
  EXPECT_FALSE(forecastFromAnswer(false, 0, oslo, 1770409626).valid);
  EXPECT_FALSE(forecastFromAnswer(true, 203, oslo, 1770409626).valid);
}

TEST(Forecast, MissingNumbersCountAsZero) {
  // The Oslo answer's first step, with its wind taken out and the
  // temperature given as text.
  std::string body = readFixture("met-oslo-2026-02-06-snow-compact.json");
  for (const char* key : {"\"wind_speed\"", "\"air_temperature\""}) {
    size_t at = body.find(key, body.find("\"timeseries\""));
    ASSERT_NE(at, std::string::npos);
    size_t colon = body.find(':', at);
    size_t end = body.find_first_of(",}", colon);
    body.replace(colon + 1, end - colon - 1, std::strcmp(key, "\"wind_speed\"") == 0 ? "null" : "\"-5.8\"");
  }
  ForecastReading r = forecastParse(body, 1770409626);
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.temperatureC, 0);
  EXPECT_EQ(r.wind, 0.0f);
  EXPECT_EQ(r.windKmh, 0);
  EXPECT_EQ(r.level, 1);
}

TEST(Forecast, WindFromDirectionAndSpeed) {
  struct Case { double from, speed; float wind; } cases[] = {
      {90, 6, -0.5f},     // from the east: blows to the left
      {270, 12, 1.0f},    // from the west at 12 m/s: full right
      {270, 30, 1.0f},    // clamped
      {90, 40, -1.0f},
      {0, 20, 0.0f},      // from the north: no sideways wind
      {180, 20, 0.0f},
      {270, 0, 0.0f},
  };
  for (const Case& c : cases) EXPECT_NEAR(windFromForecast(c.from, c.speed), c.wind, 1e-6) << c.from << " " << c.speed;
  EXPECT_EQ(windFromForecast(90, 1.0 / 0.0), 0.0f) << "a speed that is not finite gives no wind";
}

TEST(Forecast, TimeStrings) {
  struct Case { const char* text; int64_t seconds; } cases[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2026-02-07T05:00:00Z", 1770440400},
      {"2000-02-29T23:59:59Z", 951868799},          // leap day of a century leap year
      {"1600-03-01T00:00:00Z", -11670912000},       // before the epoch, another era
      {"2024-12-31T12:00:00+01:00", 1735646400},     // what follows is ignored
      {"2024-12-31", 1735603200},                    // missing time fields are 0
      {"2024-12-31T12", 1735646400},
      {"2024-12", -1},                               // fewer than three fields
      {"", -1},
      {"soon", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(forecastTime(c.text), c.seconds) << c.text;
  // Absurd fields stay defined (the sanitizers check there is no overflow).
  forecastTime("-999999999-99-999999999T999999999:999999999:999999999");
  forecastTime("999999999999-13-00");
  EXPECT_EQ(daysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(daysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(daysFromCivil(1969, 12, 31), -1);
}

TEST(Forecast, RequestPathHasThreeDecimals) {
  EXPECT_EQ(forecastObject(59.9139, 10.7522), "/weatherapi/locationforecast/2.0/compact?lat=59.914&lon=10.752");
  EXPECT_EQ(forecastObject(40.7, -74.0), "/weatherapi/locationforecast/2.0/compact?lat=40.700&lon=-74.000");
  EXPECT_STREQ(kForecastHeaders, "Accept: application/json\r\n");
}

// ------------------------------------------------------------------ legend

struct LegendRow {
  std::string id, english;
  bool variants;
};

std::vector<LegendRow> legend() {
  std::vector<LegendRow> rows;
  std::istringstream in(readFixture("met-symbol-codes-legend.csv"));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> f;
    std::stringstream ls(line);
    for (std::string cell; std::getline(ls, cell, ',');) f.push_back(cell);
    if (f.size() < 6) continue;
    while (!f[0].empty() && f[0].back() == ' ') f[0].pop_back();
    rows.push_back({f[0], f[1], f[5] == "1"});
  }
  return rows;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// What the English name of a symbol says, which the code's spelling must
// not change.
SymbolMeaning meaningOfName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  SymbolMeaning m;
  m.snowOutside = contains(name, "snow") || contains(name, "sleet");
  if (contains(name, "heavy snow") || contains(name, "heavy sleet")) m = {2, kLabelHeavySnow, true};
  else if (contains(name, "light snow")) m = {0, kLabelLightSnow, true};
  else if (contains(name, "snow")) m = {1, kLabelSnow, true};
  else if (contains(name, "sleet")) m = {0, kLabelSleet, true};
  else if (contains(name, "rain")) m.label = kLabelRain;
  else if (contains(name, "fog")) m.label = kLabelFog;
  else if (contains(name, "clear") || contains(name, "fair")) m.label = kLabelClear;
  else if (contains(name, "cloudy")) m.label = kLabelCloudy;
  return m;
}

TEST(Forecast, EveryLegendSymbolWithItsVariants) {
  std::vector<LegendRow> rows = legend();
  ASSERT_EQ(rows.size(), 41u);
  int codes = 0;
  bool sawMisspeltSleet = false, sawMisspeltSnow = false;
  for (const LegendRow& row : rows) {
    sawMisspeltSleet |= row.id == "lightssleetshowersandthunder";
    sawMisspeltSnow |= row.id == "lightssnowshowersandthunder";
    SymbolMeaning want = meaningOfName(row.english);
    std::vector<std::string> spelt = {row.id};
    if (row.variants) spelt = {row.id + "_day", row.id + "_night", row.id + "_polartwilight"};
    for (const std::string& code : spelt) {
      SCOPED_TRACE(code + " (" + row.english + ")");
      SymbolMeaning got = symbolMeaning(code);
      EXPECT_EQ(got.level, want.level);
      EXPECT_STREQ(got.label, want.label);
      EXPECT_EQ(got.snowOutside, want.snowOutside);
      ++codes;
    }
  }
  EXPECT_TRUE(sawMisspeltSleet);
  EXPECT_TRUE(sawMisspeltSnow);
  EXPECT_EQ(codes, 21 * 3 + 20);
}

TEST(Forecast, SymbolEdgeCases) {
  SymbolMeaning showers = symbolMeaning("lightsnowshowers_day");
  EXPECT_EQ(showers.level, 0);
  EXPECT_STREQ(showers.label, kLabelLightSnow);
  EXPECT_TRUE(showers.snowOutside);
  SymbolMeaning heavySleet = symbolMeaning("heavysleet");
  EXPECT_EQ(heavySleet.level, 2);
  EXPECT_TRUE(heavySleet.snowOutside);
  SymbolMeaning rain = symbolMeaning("rain");
  EXPECT_STREQ(rain.label, kLabelRain);
  EXPECT_FALSE(rain.snowOutside);
  SymbolMeaning none = symbolMeaning("");
  EXPECT_EQ(none.level, 0);
  EXPECT_STREQ(none.label, kLabelNoSnow);
  EXPECT_FALSE(none.snowOutside);
}

}  // namespace
