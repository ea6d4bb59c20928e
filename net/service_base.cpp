#include "net/service_base.h"

#include <string>

#include "net/url.h"

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// Exactly four parts of one to three digits, each up to 255.
bool isDottedQuad(std::string_view host, int& firstPart) {
  int parts = 0;
  size_t i = 0;
  while (true) {
    size_t start = i;
    int value = 0;
    while (i < host.size() && host[i] >= '0' && host[i] <= '9' && i - start < 3) value = value * 10 + (host[i++] - '0');
    if (i == start || value > 255) return false;
    if (parts == 0) firstPart = value;
    ++parts;
    if (i == host.size()) return parts == 4;
    if (host[i] != '.' || parts == 4) return false;
    ++i;
  }
}

}  // namespace

bool isLoopbackHost(std::string_view host) {
  if (equalsNoCase(host, "localhost")) return true;
  if (host == "[::1]") return true;
  int first = -1;
  return isDottedQuad(host, first) && first == 127;
}

ServiceBase serviceBase(std::string_view overrideValue, std::string_view builtIn, ServicePath path) {
  ServiceBase out;
  out.base.assign(builtIn);
  if (overrideValue.empty()) return out;
  out.refused = true;

  std::string_view value = overrideValue;
  if (path == ServicePath::None && value.back() == '/') value.remove_suffix(1);
  UrlParts parts;
  if (!urlParse(value, parts)) return out;
  if (value.find_first_of("?#") != std::string_view::npos) return out;
  std::string_view rest = value.substr(value.find("://") + 3);
  std::string_view authority = rest.substr(0, rest.find('/'));
  if (authority.find('@') != std::string_view::npos) return out;
  // Without a prefix only scheme, host and port may be given: the paths are the program's own.
  if (path == ServicePath::None && authority.size() != rest.size()) return out;
  if (!parts.secure && !isLoopbackHost(parts.host)) return out;

  std::string base = parts.secure ? "https://" : "http://";
  base += parts.host;
  if (parts.port != (parts.secure ? 443 : 80)) {
    base += ':';
    base += std::to_string(parts.port);
  }
  if (path == ServicePath::Prefix) {
    base += parts.path;
    if (base.back() != '/') base += '/';
  }
  out.base = base;
  out.overridden = true;
  out.refused = false;
  return out;
}

bool urlFetchAllowed(std::string_view url) {
  UrlParts parts;
  if (!urlParse(url, parts)) return false;
  return parts.secure || isLoopbackHost(parts.host);
}
