#pragma once
// Properties that must hold for any input to the JSON reader and the URL
// parser. Shared by the fuzz targets (which abort on a violation) and the
// corpus regression test (which reports it). An empty answer means "holds".
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "net/form.h"
#include "net/json.h"
#include "net/url.h"

namespace fuzzcheck {

inline int depthOf(const JsonValue& v) {
  int deepest = 0;
  for (const auto& i : v.items) deepest = std::max(deepest, depthOf(i));
  for (const auto& m : v.members) deepest = std::max(deepest, depthOf(m.value));
  return deepest + 1;
}

inline void writeString(std::string& out, const std::string& s) {
  out += '"';
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;  // the reader copies every other byte as it stands
    }
  }
  out += '"';
}

// Canonical text of a tree; reading it back must give the same tree.
inline void write(std::string& out, const JsonValue& v) {
  switch (v.kind) {
    case JsonKind::Null: out += "null"; break;
    case JsonKind::Boolean: out += v.boolean ? "true" : "false"; break;
    case JsonKind::Number: {
      if (std::isinf(v.number)) {
        out += v.number < 0 ? "-1e999" : "1e999";
      } else {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v.number);
        out += buf;
      }
      break;
    }
    case JsonKind::String: writeString(out, v.text); break;
    case JsonKind::Array:
      out += '[';
      for (size_t i = 0; i < v.items.size(); ++i) {
        if (i) out += ',';
        write(out, v.items[i]);
      }
      out += ']';
      break;
    case JsonKind::Object:
      out += '{';
      for (size_t i = 0; i < v.members.size(); ++i) {
        if (i) out += ',';
        writeString(out, v.members[i].key);
        out += ':';
        write(out, v.members[i].value);
      }
      out += '}';
      break;
  }
}

inline bool same(const JsonValue& a, const JsonValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case JsonKind::Null: return true;
    case JsonKind::Boolean: return a.boolean == b.boolean;
    case JsonKind::Number: return a.number == b.number && std::signbit(a.number) == std::signbit(b.number);
    case JsonKind::String: return a.text == b.text;
    case JsonKind::Array:
      if (a.items.size() != b.items.size()) return false;
      for (size_t i = 0; i < a.items.size(); ++i)
        if (!same(a.items[i], b.items[i])) return false;
      return true;
    case JsonKind::Object:
      if (a.members.size() != b.members.size()) return false;
      for (size_t i = 0; i < a.members.size(); ++i)
        if (a.members[i].key != b.members[i].key || !same(a.members[i].value, b.members[i].value)) return false;
      return true;
  }
  return false;
}

inline bool anyNan(const JsonValue& v) {
  if (v.kind == JsonKind::Number && std::isnan(v.number)) return true;
  for (const auto& i : v.items)
    if (anyNan(i)) return true;
  for (const auto& m : v.members)
    if (anyNan(m.value)) return true;
  return false;
}

inline std::string checkJson(std::string_view input) {
  auto root = jsonParse(input);
  if (!root) return {};
  if (depthOf(*root) > kJsonDepthLimit) return "json: accepted a tree deeper than the limit";
  if (anyNan(*root)) return "json: a number came out as NaN";
  std::string text;
  write(text, *root);
  auto again = jsonParse(text);
  if (!again) return "json: the canonical text of an accepted tree does not parse: " + text.substr(0, 200);
  if (!same(*root, *again)) return "json: the canonical text reads back as a different tree: " + text.substr(0, 200);
  if (root->kind == JsonKind::Object) {
    for (size_t i = 0; i < root->members.size(); ++i) {
      const JsonValue* found = member(*root, root->members[i].key);
      size_t first = 0;
      while (root->members[first].key != root->members[i].key) ++first;
      if (found != &root->members[first].value) return "json: member() did not find the first of its key";
    }
  }
  return {};
}

inline bool cleanText(const std::string& s) {
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '#') return false;
  }
  return true;
}

inline std::string checkUrl(std::string_view input) {
  // The escaping of names and values must be reversible and use only safe bytes.
  std::string escaped = formEscape(input);
  std::string back;
  for (size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    if (c == '%') {
      if (i + 2 >= escaped.size()) return "form: truncated escape";
      int value = 0;
      for (char h : escaped.substr(i + 1, 2)) {
        if (h >= '0' && h <= '9') value = value * 16 + (h - '0');
        else if (h >= 'A' && h <= 'F') value = value * 16 + (h - 'A' + 10);
        else return "form: an escape that is not two upper-case hex digits";
      }
      back += static_cast<char>(value);
      i += 2;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
               c == '_' || c == '~') {
      back += c;
    } else {
      return "form: an unsafe byte passed unescaped";
    }
  }
  if (back != input) return "form: escaping is not reversible";

  UrlParts parts;
  if (!urlParse(input, parts)) return {};
  if (parts.host.empty()) return "url: empty host accepted";
  if (utf16Length(parts.host) > kUrlHostLimit) return "url: host over the limit";
  if (parts.path.empty() || parts.path[0] != '/') return "url: path does not start with a slash";
  if (utf16Length(parts.path) > kUrlPathLimit) return "url: path over the limit";
  if (!parts.query.empty() && parts.query[0] != '?') return "url: query does not start with a question mark";
  if (utf16Length(parts.query) > kUrlQueryLimit) return "url: query over the limit";
  if (parts.port == 0) return "url: port 0";
  if (!cleanText(parts.host) || !cleanText(parts.path) || !cleanText(parts.query))
    return "url: a blank, control character or fragment got through";
  if (parts.host.find_first_of("/?@\\") != std::string::npos) return "url: a delimiter inside the host";
  if (parts.path.find('?') != std::string::npos) return "url: a question mark inside the path";

  // The parts, written out again, must give the same parts.
  std::string rebuilt = std::string(parts.secure ? "https://" : "http://") + parts.host + ":" +
                        std::to_string(parts.port) + parts.object();
  UrlParts again;
  if (!urlParse(rebuilt, again)) return "url: the rebuilt URL is refused: " + rebuilt.substr(0, 200);
  if (again.secure != parts.secure || again.host != parts.host || again.port != parts.port ||
      again.path != parts.path || again.query != parts.query)
    return "url: the rebuilt URL splits differently: " + rebuilt.substr(0, 200);
  return {};
}

}  // namespace fuzzcheck
