#pragma once
// Splits an http(s) URL into what an HTTP request needs, within the fixed
// limits of the system's URL buffers.
#include <cstdint>
#include <string>
#include <string_view>

// Lengths in UTF-16 units, as the system counts them.
constexpr size_t kUrlHostLimit = 255;
constexpr size_t kUrlPathLimit = 2047;
constexpr size_t kUrlQueryLimit = 2047;

struct UrlParts {
  bool secure = false;  // https
  std::string host;     // without user information; an IPv6 literal keeps its brackets
  uint16_t port = 0;    // the URL's, else 80 or 443
  std::string path;     // starts with "/"
  std::string query;    // "?..." or empty; a "#fragment" is never sent
  std::string object() const { return path + query; }
};

// False for anything but a well-formed absolute http or https URL: other
// schemes, an empty or oversized host, a bad port, an oversized path or
// query, or a blank or control character anywhere.
bool urlParse(std::string_view url, UrlParts& out);

// UTF-16 units that the system's conversion makes of UTF-8 text: a surrogate
// pair for a four-byte sequence, one unit for any other, and one U+FFFD for
// every byte that does not begin a well-formed sequence.
size_t utf16Length(std::string_view utf8);
