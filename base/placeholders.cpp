#include "base/placeholders.h"

std::string fillPlaceholders(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out(pattern);
  size_t from = 0;
  for (std::string_view arg : args) {
    size_t at = out.find("%@", from);
    if (at == std::string::npos) break;
    out.replace(at, 2, arg);
    from = at + arg.size();
  }
  return out;
}
