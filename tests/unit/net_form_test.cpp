#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "net/form.h"

namespace {

TEST(FormEncode, JoinsPairsInOrderAndKeepsUnreservedBytes) {
  EXPECT_EQ(formEncode({}), "");
  EXPECT_EQ(formEncode({{"q", "Oslo"}}), "q=Oslo");
  EXPECT_EQ(formEncode({{"q", "Oslo"}, {"format", "jsonv2"}, {"limit", "5"}, {"a", ""}}),
            "q=Oslo&format=jsonv2&limit=5&a=");
  EXPECT_EQ(formEncode({{"z", "1"}, {"a", "2"}}), "z=1&a=2");  // not sorted
  EXPECT_EQ(formEscape("AZaz09-._~"), "AZaz09-._~");
}

TEST(FormEncode, EscapesEverythingElseAsUpperCaseHex) {
  EXPECT_EQ(formEscape("New York"), "New%20York");  // a space is not "+"
  EXPECT_EQ(formEscape("a&b=c+d/e?f#g%h"), "a%26b%3Dc%2Bd%2Fe%3Ff%23g%25h");
  EXPECT_EQ(formEscape("Київ"), "%D0%9A%D0%B8%D1%97%D0%B2");
  EXPECT_EQ(formEscape("Zürich"), "Z%C3%BCrich");
  EXPECT_EQ(formEscape(std::string("\0\x01\x7f\xff", 4)), "%00%01%7F%FF");
  EXPECT_EQ(formEncode({{"city name", "São Paulo"}}), "city%20name=S%C3%A3o%20Paulo");
}

TEST(FormEncode, EveryByteValueRoundTripsThroughItsEscape) {
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    std::string e = formEscape(one);
    if (e.size() == 1) {
      EXPECT_EQ(e, one);
      EXPECT_TRUE(std::isalnum(b) || b == '-' || b == '.' || b == '_' || b == '~') << b;
    } else {
      ASSERT_EQ(e.size(), 3u) << b;
      EXPECT_EQ(e[0], '%');
      EXPECT_EQ(std::stoi(e.substr(1), nullptr, 16), b);
      EXPECT_EQ(e.substr(1), [&] {
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02X", b);
        return std::string(buf);
      }());
    }
  }
}

}  // namespace
