#include "weather/numbers.h"

#include <charconv>
#include <cmath>
#include <system_error>

std::optional<double> readDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  // from_chars takes "-" but not "+".
  if (i < text.size() && text[i] == '+' && i + 1 < text.size() && text[i + 1] != '-') ++i;
  double value = 0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end == first || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string writeDecimal(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 17) decimals = 17;
  if (!std::isfinite(value)) value = 0;
  char buffer[400];  // the largest double in fixed notation fits
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return std::string("0");
  return std::string(buffer, end);
}
