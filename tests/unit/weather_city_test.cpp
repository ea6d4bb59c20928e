// City search against the geocoding service's real answer, and the service
// host override.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "fixture_file.h"
#include "base/settings.h"
#include "ui/text.h"
#include "weather/city.h"
#include "weather/numbers.h"
#include "weather/service.h"

namespace {

std::string readFixture(const std::string& name) { return readFixtureFile(name); }

// The real answer with one piece of its text replaced.
std::string nominatimWith(const std::string& from, const std::string& to) {
  std::string body = readFixture("nominatim-portland-head-light-jsonv2.json");
  size_t at = body.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) body.replace(at, from.size(), to);
  return body;
}

TEST(CitySearch, TheRealAnswer) {
  CitySearchResult r = cityParse(readFixture("nominatim-portland-head-light-jsonv2.json"));
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.name, "Portland Head Light");
  EXPECT_DOUBLE_EQ(r.latitude, 43.6231093);
  EXPECT_DOUBLE_EQ(r.longitude, -70.2078663);
  EXPECT_EQ(writeDecimal(r.latitude, 4), "43.6231");
  EXPECT_EQ(writeDecimal(r.longitude, 4), "-70.2079");
}

TEST(CitySearch, AnswerVariants) {
  struct Case {
    const char* what;
    std::string body;
    bool found;
    const char* name;
    double lat, lon;
  } cases[] = {
      {"no name: display_name up to its comma", nominatimWith("\"name\": \"Portland Head Light\",", ""), true,
       "Portland Head Light", 43.6231093, -70.2078663},
      {"empty name", nominatimWith("\"name\": \"Portland Head Light\"", "\"name\": \"\""), true, "Portland Head Light",
       43.6231093, -70.2078663},
      {"coordinates as numbers", nominatimWith("\"lat\": \"43.6231093\"", "\"lat\": 43.6231093"), true,
       "Portland Head Light", 43.6231093, -70.2078663},
      {"no lon", nominatimWith("\"lon\": \"-70.2078663\",", ""), false, "", 0, 0},
      {"lat that is no number", nominatimWith("\"lat\": \"43.6231093\"", "\"lat\": \"north\""), false, "", 0, 0},
      {"lat as an object", nominatimWith("\"lat\": \"43.6231093\"", "\"lat\": {}"), false, "", 0, 0},
      {"zero coordinates", nominatimWith("\"lat\": \"43.6231093\"", "\"lat\": \"0\""), true,
       "Portland Head Light", 0, -70.2078663},
      {"off the globe", nominatimWith("\"lat\": \"43.6231093\"", "\"lat\": \"436.231093\""), false,
       "Portland Head Light", 436.231093, -70.2078663},
      {"nothing matched", "[]", false, "", 0, 0},
      {"cut off", readFixture("nominatim-portland-head-light-jsonv2.json").substr(0, 300), false, "", 0, 0},
      {"an object, not a list", "{}", false, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CitySearchResult r = cityParse(c.body);
    EXPECT_EQ(r.found, c.found);
    if (c.found) {
      EXPECT_EQ(r.name, c.name);
      EXPECT_DOUBLE_EQ(r.latitude, c.lat);
      EXPECT_DOUBLE_EQ(r.longitude, c.lon);
    }
  }
  // Both coordinates zero is no place at all.
  std::string nowhere = nominatimWith("\"lat\": \"43.6231093\"", "\"lat\": \"0\"");
  nowhere.replace(nowhere.find("\"-70.2078663\""), 13, "\"0.0\"");
  EXPECT_FALSE(cityParse(nowhere).found);
}

TEST(CitySearch, TrimmingAndRequest) {
  EXPECT_EQ(trimCityText("  Kraków\t"), "Kraków");
  EXPECT_EQ(trimCityText("\t New York \t"), "New York");
  EXPECT_EQ(trimCityText(" \t "), "");
  EXPECT_EQ(trimCityText(""), "");
  EXPECT_EQ(citySearchObject("Kraków", "pl"), "/search?format=jsonv2&limit=1&q=Krak%C3%B3w&accept-language=pl");
  EXPECT_EQ(citySearchObject("St. John's & co", "en"),
            "/search?format=jsonv2&limit=1&q=St.%20John%27s%20%26%20co&accept-language=en");
  EXPECT_EQ(citySearchObject("Київ", "uk"),
            "/search?format=jsonv2&limit=1&q=%D0%9A%D0%B8%D1%97%D0%B2&accept-language=uk");
}

TEST(CitySearch, ErrorTexts) {
  auto key = [](bool completed, int status, std::string body) {
    return citySearchErrorKey(cityFromAnswer(completed, status, body, "Kyiv"));
  };
  EXPECT_EQ(key(true, 200, "[]"), kCityNotFoundKey);
  EXPECT_EQ(key(false, 0, ""), kCityNoServerKey);
  EXPECT_EQ(key(true, 500, "oops"), kCityNoServerKey);
  EXPECT_EQ(key(true, 429, ""), kCityNoServerKey);
  EXPECT_EQ(key(true, 200, "<html>"), kCityNotFoundKey);
  // A broken-off answer: the client reports no status.
  EXPECT_EQ(key(true, 0, ""), kCityNotFoundKey);
  // Both have their rows in the text table.
  EXPECT_STREQ(trIn(1, kCityNotFoundKey), "City not found. Try another spelling, e.g. “Kyiv”.");
  EXPECT_STREQ(trIn(1, kCityNoServerKey), "Can't reach the server. Check your internet connection and try again.");
  CitySearchResult r = cityFromAnswer(true, 200, readFixture("nominatim-portland-head-light-jsonv2.json"), "Portland");
  EXPECT_TRUE(r.found && r.requestOk);
  EXPECT_EQ(r.query, "Portland");
  EXPECT_FALSE(cityFromAnswer(true, 404, readFixture("nominatim-portland-head-light-jsonv2.json"), "x").found);
}

TEST(Numbers, ReadAndWrite) {
  struct Read { const char* text; bool ok; double value; } reads[] = {
      {"50.45", true, 50.45},   {"50.4500", true, 50.45}, {" 30.52", true, 30.52}, {"+5", true, 5},
      {"-70.2078663", true, -70.2078663}, {"1e3", true, 1000}, {"12abc", true, 12},
      {"", false, 0}, {"abc", false, 0}, {"-", false, 0}, {"inf", false, 0}, {"nan", false, 0},
      {"1e999", false, 0}, {"+-5", false, 0},
  };
  for (const Read& r : reads) {
    std::optional<double> v = readDecimal(r.text);
    EXPECT_EQ(v.has_value(), r.ok) << r.text;
    if (v && r.ok) {
      EXPECT_DOUBLE_EQ(*v, r.value) << r.text;
    }
  }
  EXPECT_EQ(writeDecimal(50.45, 4), "50.4500");
  EXPECT_EQ(writeDecimal(30.52, 4), "30.5200");
  EXPECT_EQ(writeDecimal(-74.0, 3), "-74.000");
  EXPECT_EQ(writeDecimal(-5.86, 1), "-5.9");
  EXPECT_EQ(writeDecimal(0.0 / 0.0, 3), "0.000");
  EXPECT_EQ(writeDecimal(1e300, 2).size(), 304u);
}

TEST(Numbers, IndependentOfTheUserLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "uk_UA.UTF-8"})
    if (std::setlocale(LC_ALL, name)) { comma = true; break; }
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(writeDecimal(50.45, 4), "50.4500");
  std::optional<double> v = readDecimal("50.45");
  std::setlocale(LC_ALL, saved.c_str());
  ASSERT_TRUE(v);
  EXPECT_DOUBLE_EQ(*v, 50.45);
}

TEST(ServiceHost, Overrides) {
  const char* builtIn = "https://api.met.no";
  struct Case { const char* value; const char* base; bool overridden, refused; } cases[] = {
      {"", "https://api.met.no", false, false},
      {"https://weather.example.org", "https://weather.example.org", true, false},
      {"https://weather.example.org/", "https://weather.example.org", true, false},
      {"https://weather.example.org:8443", "https://weather.example.org:8443", true, false},
      {"HTTPS://weather.example.org:443", "https://weather.example.org", true, false},
      {"http://127.0.0.1:8080", "http://127.0.0.1:8080", true, false},
      {"http://127.12.0.254:9", "http://127.12.0.254:9", true, false},
      {"http://localhost:8080", "http://localhost:8080", true, false},
      {"http://LocalHost", "http://LocalHost", true, false},
      {"http://[::1]:8080", "http://[::1]:8080", true, false},
      // Plain HTTP to anything but this computer never goes out.
      {"http://weather.example.org", "https://api.met.no", false, true},
      {"http://128.0.0.1", "https://api.met.no", false, true},
      {"http://10.0.0.1:8080", "https://api.met.no", false, true},
      {"http://127.0.0.1.example.org", "https://api.met.no", false, true},
      {"http://127.0.0.256", "https://api.met.no", false, true},
      {"http://127.0.0", "https://api.met.no", false, true},
      {"http://0127.0.0.1", "https://api.met.no", false, true},
      {"http://localhost.example.org", "https://api.met.no", false, true},
      {"http://[::2]", "https://api.met.no", false, true},
      {"http://127.0.0.1@weather.example.org", "https://api.met.no", false, true},
      {"http://weather.example.org@127.0.0.1", "https://api.met.no", false, true},
      // Only scheme, host and port: the paths are the program's.
      {"https://weather.example.org/api", "https://api.met.no", false, true},
      {"https://weather.example.org?x=1", "https://api.met.no", false, true},
      {"https://weather.example.org#x", "https://api.met.no", false, true},
      {"ftp://weather.example.org", "https://api.met.no", false, true},
      {"weather.example.org", "https://api.met.no", false, true},
      {"https://weather.example.org:99999", "https://api.met.no", false, true},
      {"https://weather example.org", "https://api.met.no", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ServiceBase b = serviceBase(c.value, builtIn);
    EXPECT_EQ(b.base, c.base);
    EXPECT_EQ(b.overridden, c.overridden);
    EXPECT_EQ(b.refused, c.refused);
  }
}

}  // namespace
