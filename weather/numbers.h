#pragma once
// Decimal numbers read and written the same way whatever the user's locale:
// the point is always ".", never ",".
#include <optional>
#include <string>
#include <string_view>

// The number at the start of `text` (leading blanks and one "+" allowed,
// trailing text ignored, as a stored or served coordinate may carry it).
// Empty when no digits start the text or the value is not finite.
std::optional<double> readDecimal(std::string_view text);

// `value` with exactly `decimals` digits after the point ("%.Nf" in the C
// locale): 50.45 with 4 gives "50.4500". Values that are not finite give "0"
// with the same decimals, so nothing unreadable is ever stored or sent.
std::string writeDecimal(double value, int decimals);
