#pragma once
// A small reader for the JSON the program receives: whole UTF-8 text in, a
// tree of values out. There is no writer.
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum class JsonKind { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

struct JsonMember;

// One node of a parsed document. Readers look at `kind` and then only at the
// field that belongs to it; anything else counts as missing.
struct JsonValue {
  JsonKind kind = JsonKind::Null;
  bool boolean = false;
  double number = 0.0;
  std::string text;                 // escapes resolved; always valid UTF-8
  std::vector<JsonValue> items;     // document order
  std::vector<JsonMember> members;  // document order, duplicate keys kept
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Deepest nesting accepted; every value, scalars included, is one level.
constexpr int kJsonDepthLimit = 64;

// Most values one document may hold (containers, members' values and
// scalars alike); a ten-day forecast holds about two thousand. A document
// with more fails, so what one parse builds stays around ten megabytes.
constexpr size_t kJsonValueLimit = 131072;

// Parses exactly one value (surrounding whitespace allowed); null on any fault.
std::unique_ptr<JsonValue> jsonParse(std::string_view text);

// The first member named `key` of an object; null for other kinds or null input.
const JsonValue* member(const JsonValue* value, std::string_view key);
inline const JsonValue* member(const JsonValue& value, std::string_view key) { return member(&value, key); }

// `member` key after key; null as soon as one step finds nothing.
const JsonValue* path(const JsonValue* value, std::initializer_list<std::string_view> keys);
inline const JsonValue* path(const JsonValue& value, std::initializer_list<std::string_view> keys) {
  return path(&value, keys);
}
