#include "net/url.h"

#include <utility>

#include "base/utf8.h"

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[i]) != prefix[i]) return false;
  return true;
}

// Blanks and control characters never belong in a request line; refusing
// them also keeps a URL from smuggling extra header lines.
bool isForbidden(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7F;
}

}  // namespace

size_t utf16Length(std::string_view utf8) {
  size_t n = 0;
  for (size_t at = 0; at < utf8.size();) {
    Utf8Step step = utf8Step(utf8, at);
    n += (step.valid && step.codePoint >= 0x10000) ? 2 : 1;
    at += step.size;
  }
  return n;
}

bool urlParse(std::string_view url, UrlParts& result) {
  result = UrlParts();
  UrlParts out;
  for (char c : url)
    if (isForbidden(c)) return false;

  std::string_view rest;
  if (startsWithNoCase(url, "https://")) {
    out.secure = true;
    rest = url.substr(8);
  } else if (startsWithNoCase(url, "http://")) {
    rest = url.substr(7);
  } else {
    return false;
  }

  size_t authorityEnd = rest.find_first_of("/?#");
  if (authorityEnd == std::string_view::npos) authorityEnd = rest.size();
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view tail = rest.substr(authorityEnd);

  // User information is dropped: the program never sends credentials in URLs.
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);

  std::string_view host, port;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    host = authority.substr(0, close + 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return false;
      port = after.substr(1);
    }
    for (char c : host.substr(1, host.size() - 2))
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.'))
        return false;
  } else {
    size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    for (char c : host)
      if (c == '[' || c == ']' || c == '\\') return false;
  }
  if (host.empty() || utf16Length(host) > kUrlHostLimit) return false;

  out.port = out.secure ? 443 : 80;
  if (!port.empty()) {
    if (port.size() > 5) return false;
    unsigned value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    out.port = static_cast<uint16_t>(value);
  }

  size_t fragment = tail.find('#');
  if (fragment != std::string_view::npos) tail = tail.substr(0, fragment);
  size_t question = tail.find('?');
  std::string_view path = tail.substr(0, question);
  std::string_view query = question == std::string_view::npos ? std::string_view() : tail.substr(question);
  if (utf16Length(path) > kUrlPathLimit || utf16Length(query) > kUrlQueryLimit) return false;

  out.host.assign(host);
  out.path = path.empty() ? std::string("/") : std::string(path);
  out.query.assign(query);
  result = std::move(out);
  return true;
}
