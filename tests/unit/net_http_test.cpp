#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "net/http.h"
#include "net/json.h"

namespace {

TEST(HttpContentLength, ReadsDigitsAndRefusesEverythingElse) {
  struct Case {
    std::string text;
    bool ok;
    uint64_t bytes;
  };
  const Case cases[] = {
      {"2690", true, 2690},  // as the forecast service sends it
      {"0", true, 0},
      {"007", true, 7},
      {" 12\t", true, 12},
      {"18446744073709551615", true, UINT64_MAX},
      {"18446744073709551616", false, 0},  // one past the largest
      {"99999999999999999999999", false, 0},
      {"", false, 0},
      {"  ", false, 0},
      {"-5", false, 0},
      {"+5", false, 0},
      {"12abc", false, 0},
      {"0x10", false, 0},
      {"1 2", false, 0},
      {"5, 5", false, 0},
      {"1e3", false, 0},
      {"\xd9\xa3", false, 0},  // an Arabic-Indic digit is not a digit here
  };
  for (const Case& c : cases) {
    uint64_t bytes = 99;
    EXPECT_EQ(httpContentLength(c.text, bytes), c.ok) << "\"" << c.text << "\"";
    EXPECT_EQ(bytes, c.bytes) << "\"" << c.text << "\"";
  }
}

TEST(HttpContentLength, ReadsTheForecastServicesHeader) {
#ifdef QUILLAR_TEST_FIXTURES
  std::filesystem::path dir = QUILLAR_TEST_FIXTURES;
#else
  std::filesystem::path dir = std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures";
#endif
  std::ifstream f(dir / "met-newyork-2020-07-20-compact.headers.json", std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  auto headers = jsonParse(ss.str());
  ASSERT_TRUE(headers);
  const JsonValue* length = path(*headers, {"headers", "Content-Length"});
  ASSERT_TRUE(length && length->kind == JsonKind::String);
  uint64_t bytes = 0;
  EXPECT_TRUE(httpContentLength(length->text, bytes));
  EXPECT_EQ(bytes, 2690u);
}

}  // namespace
