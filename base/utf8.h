#pragma once
// UTF-8 decoding shared by the log, the JSON reader and the URL limits.
// A byte that does not begin a well-formed sequence counts as one invalid
// unit on its own, the way the system's UTF-8 to UTF-16 conversion turns
// each such byte into one U+FFFD.
#include <cstddef>
#include <string>
#include <string_view>

constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Utf8Step {
  char32_t codePoint = 0;  // meaningful only when valid
  size_t size = 1;         // bytes taken: the whole sequence, or the one bad byte
  bool valid = false;
};

// Decodes the sequence that starts at `at` (which must be inside `text`).
// Well-formed means shortest form, no surrogate, nothing above U+10FFFF.
Utf8Step utf8Step(std::string_view text, size_t at);

// Appends a code point as UTF-8; a surrogate or a value above U+10FFFF is
// written as U+FFFD, so the result is always valid.
void utf8Append(std::string& out, char32_t codePoint);
