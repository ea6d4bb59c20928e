// The reader against answers the forecast and geocoding services really sent.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "net/json.h"

namespace {

std::filesystem::path fixtureDir() {
#ifdef QUILLAR_TEST_FIXTURES
  return QUILLAR_TEST_FIXTURES;
#else
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures";
#endif
}

std::string readFixture(const std::string& name) {
  std::ifstream f(fixtureDir() / name, std::ios::binary);
  EXPECT_TRUE(f) << "missing fixture " << (fixtureDir() / name);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

struct Census {
  int nulls = 0, booleans = 0, numbers = 0, strings = 0, arrays = 0, objects = 0, members = 0;
  double sum = 0;
  size_t textBytes = 0, keyBytes = 0;
};

void count(const JsonValue& v, Census& c) {
  switch (v.kind) {
    case JsonKind::Null: ++c.nulls; break;
    case JsonKind::Boolean: ++c.booleans; break;
    case JsonKind::Number: ++c.numbers; c.sum += v.number; break;
    case JsonKind::String: ++c.strings; c.textBytes += v.text.size(); break;
    case JsonKind::Array:
      ++c.arrays;
      for (const auto& i : v.items) count(i, c);
      break;
    case JsonKind::Object:
      ++c.objects;
      for (const auto& m : v.members) {
        ++c.members;
        c.keyBytes += m.key.size();
        count(m.value, c);
      }
      break;
  }
}

// Expected censuses were taken with an independent JSON library.
void expectCensus(const JsonValue& root, const Census& want) {
  Census got;
  count(root, got);
  EXPECT_EQ(got.nulls, want.nulls);
  EXPECT_EQ(got.booleans, want.booleans);
  EXPECT_EQ(got.numbers, want.numbers);
  EXPECT_EQ(got.strings, want.strings);
  EXPECT_EQ(got.arrays, want.arrays);
  EXPECT_EQ(got.objects, want.objects);
  EXPECT_EQ(got.members, want.members);
  EXPECT_EQ(got.textBytes, want.textBytes);
  EXPECT_EQ(got.keyBytes, want.keyBytes);
  EXPECT_NEAR(got.sum, want.sum, 1e-6 * std::abs(want.sum));
}

const JsonValue* step(const JsonValue* series, size_t i) {
  if (!series || series->kind != JsonKind::Array || i >= series->items.size()) return nullptr;
  return &series->items[i];
}

TEST(JsonFixtures, OsloWinterForecast) {
  auto doc = jsonParse(readFixture("met-oslo-2026-02-06-snow-compact.json"));
  ASSERT_TRUE(doc);
  expectCensus(*doc, {.numbers = 629, .strings = 292, .arrays = 2, .objects = 934, .members = 1770,
                       .sum = 101003.96609999998, .textBytes = 4001, .keyBytes = 20726});

  const JsonValue* updated = path(*doc, {"properties", "meta", "updated_at"});
  ASSERT_TRUE(updated);
  EXPECT_EQ(updated->text, "2026-02-06T20:27:06Z");
  const JsonValue* coords = path(*doc, {"geometry", "coordinates"});
  ASSERT_TRUE(coords && coords->kind == JsonKind::Array && coords->items.size() == 3);
  EXPECT_EQ(coords->items[0].number, 10.7522);
  EXPECT_EQ(coords->items[1].number, 59.9139);

  const JsonValue* series = path(*doc, {"properties", "timeseries"});
  ASSERT_TRUE(series);
  ASSERT_EQ(series->items.size(), 83u);
  const JsonValue* first = step(series, 0);
  EXPECT_EQ(member(first, "time")->text, "2026-02-06T21:00:00Z");
  const JsonValue* temp = path(first, {"data", "instant", "details", "air_temperature"});
  ASSERT_TRUE(temp && temp->kind == JsonKind::Number);
  EXPECT_EQ(temp->number, -5.8);
  EXPECT_EQ(path(first, {"data", "next_1_hours", "summary", "symbol_code"})->text, "snow");
  EXPECT_EQ(path(first, {"data", "next_1_hours", "details", "precipitation_amount"})->number, 0.5);
  EXPECT_EQ(path(first, {"data", "next_12_hours", "details"})->members.size(), 0u);

  int hourly = 0, sixHourly = 0;
  double coldest = 100;
  for (const JsonValue& s : series->items) {
    if (path(&s, {"data", "next_1_hours"})) ++hourly;
    if (path(&s, {"data", "next_6_hours"})) ++sixHourly;
    const JsonValue* t = path(&s, {"data", "instant", "details", "air_temperature"});
    if (t && t->kind == JsonKind::Number && t->number < coldest) coldest = t->number;
  }
  EXPECT_EQ(hourly, 51);
  EXPECT_EQ(sixHourly, 77);
  EXPECT_EQ(coldest, -11.8);
  // The last step carries only the instant values.
  const JsonValue* last = step(series, 82);
  EXPECT_EQ(member(last, "time")->text, "2026-02-16T18:00:00Z");
  EXPECT_EQ(path(last, {"data"})->members.size(), 1u);
  EXPECT_EQ(path(last, {"data", "next_6_hours"}), nullptr);
}

TEST(JsonFixtures, NewYorkSummerForecastAndItsHeaders) {
  auto doc = jsonParse(readFixture("met-newyork-2020-07-20-compact.json"));
  ASSERT_TRUE(doc);
  expectCensus(*doc, {.numbers = 626, .strings = 293, .arrays = 2, .objects = 866, .members = 1701,
                       .sum = 110202.7, .textBytes = 4437, .keyBytes = 20242});
  const JsonValue* series = path(*doc, {"properties", "timeseries"});
  ASSERT_TRUE(series);
  EXPECT_EQ(series->items.size(), 82u);
  EXPECT_EQ(path(step(series, 0), {"data", "instant", "details", "wind_from_direction"})->number, 243.4);
  EXPECT_EQ(path(*doc, {"geometry", "coordinates"})->items[0].number, -74.0);

  auto headers = jsonParse(readFixture("met-newyork-2020-07-20-compact.headers.json"));
  ASSERT_TRUE(headers);
  EXPECT_EQ(member(*headers, "status_code")->number, 200.0);
  EXPECT_EQ(path(*headers, {"headers", "Expires"})->text, "Mon, 20 Jul 2020 12:14:53 GMT");
  EXPECT_EQ(path(*headers, {"headers", "Content-Length"})->text, "2690");
  EXPECT_EQ(path(*headers, {"headers", "content-length"}), nullptr);  // keys are exact bytes
}

TEST(JsonFixtures, NominatimSearchResult) {
  auto doc = jsonParse(readFixture("nominatim-portland-head-light-jsonv2.json"));
  ASSERT_TRUE(doc);
  expectCensus(*doc, {.numbers = 4, .strings = 22, .arrays = 2, .objects = 2, .members = 24,
                       .sum = 693630611.3374919, .textBytes = 388, .keyBytes = 183});
  ASSERT_EQ(doc->kind, JsonKind::Array);
  ASSERT_EQ(doc->items.size(), 1u);
  const JsonValue& place = doc->items[0];
  // Coordinates come as text; identifiers as numbers.
  EXPECT_EQ(member(place, "lat")->kind, JsonKind::String);
  EXPECT_EQ(member(place, "lat")->text, "43.6231093");
  EXPECT_EQ(member(place, "lon")->text, "-70.2078663");
  EXPECT_EQ(member(place, "place_id")->number, 363837208.0);
  EXPECT_EQ(member(place, "importance")->number, 0.33749181912886295);
  EXPECT_EQ(member(place, "licence")->text, "Data \xc2\xa9 OpenStreetMap contributors, ODbL 1.0. http://osm.org/copyright");
  EXPECT_EQ(path(place, {"address", "ISO3166-2-lvl4"})->text, "US-ME");
  const JsonValue* box = member(place, "boundingbox");
  ASSERT_TRUE(box && box->items.size() == 4);
  EXPECT_EQ(box->items[3].text, "-70.2078207");

  auto none = jsonParse("[]");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->kind, JsonKind::Array);
  EXPECT_TRUE(none->items.empty());
}

TEST(JsonFixtures, TruncatedAnswersNeverParse) {
  const std::string text = readFixture("met-oslo-2026-02-06-snow-compact.json");
  ASSERT_FALSE(text.empty());
  // An answer cut anywhere before its final brace is refused as a whole.
  size_t close = text.find_last_of('}');
  ASSERT_NE(close, std::string::npos);
  for (size_t cut = 0; cut <= close; cut += (cut < 200 ? 1 : 331))
    ASSERT_EQ(jsonParse(std::string_view(text).substr(0, cut)), nullptr) << "cut at " << cut;
  ASSERT_TRUE(jsonParse(std::string_view(text).substr(0, close + 1)));
}

}  // namespace
