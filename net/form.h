#pragma once
// URL form encoding of name/value pairs (queries and POST bodies).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using FormPairs = std::vector<std::pair<std::string, std::string>>;

// name=value joined by "&" in the given order; every byte except ASCII
// letters, digits and "-._~" is written as "%XX" (upper-case hex).
std::string formEncode(const FormPairs& pairs);

// The escaping of one name or value.
std::string formEscape(std::string_view text);
