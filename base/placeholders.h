#pragma once
// Texts with "%@" placeholders, filled in order.
#include <initializer_list>
#include <string>
#include <string_view>

// Each "%@" in turn takes the next argument; the search goes on after it, so
// an argument that itself holds "%@" is left as it is.
std::string fillPlaceholders(std::string_view pattern, std::initializer_list<std::string_view> args);
