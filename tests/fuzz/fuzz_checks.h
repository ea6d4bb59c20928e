#pragma once
// Properties that must hold for any input to the JSON reader and the URL
// parser. Shared by the fuzz targets (which abort on a violation) and the
// corpus regression test (which reports it). An empty answer means "holds".
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "net/form.h"
#include "net/json.h"
#include "net/url.h"
#include "setup/package.h"

namespace fuzzcheck {

// The reference for UTF-8, written from the definition rather than sharing
// the program's decoder: a sequence is well-formed when it is the shortest
// encoding of a scalar value. Answers its length, 0 when `s` starts with none.
inline size_t wellFormedAt(std::string_view s) {
  if (s.empty()) return 0;
  unsigned char lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) return 1;
  size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (n == 0 || s.size() < n) return 0;
  unsigned long cp = lead & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  std::string again;
  if (cp < 0x80) {
    again += static_cast<char>(cp);
  } else if (cp < 0x800) {
    again += static_cast<char>(0xC0 | (cp >> 6));
    again += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    again += static_cast<char>(0xE0 | (cp >> 12));
    again += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    again += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    again += static_cast<char>(0xF0 | (cp >> 18));
    again += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    again += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    again += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return again == s.substr(0, n) ? n : 0;
}

inline bool validUtf8(std::string_view s) {
  for (size_t at = 0; at < s.size();) {
    size_t n = wellFormedAt(s.substr(at));
    if (n == 0) return false;
    at += n;
  }
  return true;
}

// What the system's conversion to UTF-16 yields: a surrogate pair for a
// four-byte sequence, one unit for any other sequence and one U+FFFD for
// each byte that starts none.
inline size_t utf16Units(std::string_view s) {
  size_t units = 0;
  for (size_t at = 0; at < s.size();) {
    size_t n = wellFormedAt(s.substr(at));
    units += n == 4 ? 2 : 1;
    at += n ? n : 1;
  }
  return units;
}

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
      out += c;  // the reader keeps valid UTF-8 as it stands
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

inline bool allTextValid(const JsonValue& v) {
  if (v.kind == JsonKind::String && !validUtf8(v.text)) return false;
  for (const auto& i : v.items)
    if (!allTextValid(i)) return false;
  for (const auto& m : v.members)
    if (!validUtf8(m.key) || !allTextValid(m.value)) return false;
  return true;
}

inline size_t valueCount(const JsonValue& v) {
  size_t n = 1;
  for (const auto& i : v.items) n += valueCount(i);
  for (const auto& m : v.members) n += valueCount(m.value);
  return n;
}

inline std::string checkJson(std::string_view input) {
  auto root = jsonParse(input);
  if (!root) return {};
  if (depthOf(*root) > kJsonDepthLimit) return "json: accepted a tree deeper than the limit";
  if (anyNan(*root)) return "json: a number came out as NaN";
  if (!allTextValid(*root)) return "json: a string or key is not valid UTF-8";
  if (valueCount(*root) > kJsonValueLimit) return "json: accepted more values than the budget";
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
  if (utf16Length(input) != utf16Units(input)) return "url: UTF-16 length differs from the conversion's";
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
  if (utf16Units(parts.host) > kUrlHostLimit) return "url: host over the limit";
  if (parts.path.empty() || parts.path[0] != '/') return "url: path does not start with a slash";
  if (utf16Units(parts.path) > kUrlPathLimit) return "url: path over the limit";
  if (!parts.query.empty() && parts.query[0] != '?') return "url: query does not start with a question mark";
  if (utf16Units(parts.query) > kUrlQueryLimit) return "url: query over the limit";
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

// Reference reading of a package, written from the layout alone: the entries
// as (header offset, name, data offset, size) up to the first that does not fit.
struct RefEntry {
  size_t header;
  std::string name;
  size_t data;
  uint64_t size;
};

inline std::vector<RefEntry> refEntries(std::string_view in) {
  std::vector<RefEntry> out;
  if (in.size() <= 9 || in.substr(0, 8) != "QLRPACK1") return out;
  auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(in[i])); };
  uint64_t at = 8;
  for (;;) {
    if (at + 2 > in.size()) break;
    uint64_t n = byte(at) | byte(at + 1) << 8;
    if (at + 2 + n + 4 > in.size()) break;
    uint64_t s = at + 2 + n;
    uint64_t size = byte(s) | byte(s + 1) << 8 | byte(s + 2) << 16 | byte(s + 3) << 24;
    if (s + 4 + size > in.size()) break;
    out.push_back({at, std::string(in.substr(at + 2, n)), s + 4, size});
    at = s + 4 + size;
  }
  return out;
}

// What the system would make of a name joined to a folder: parts split at
// either slash, trailing dots and blanks trimmed. A safe name must keep every
// part non-empty and none of them may climb out.
inline bool staysInside(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (name.find(':') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("/\\", start);
    std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

inline std::string checkPackage(std::string_view input) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
  Package p = packageParse(std::span<const uint8_t>(bytes, input.size()));
  std::vector<RefEntry> ref = refEntries(input);
  bool allSafe = true;
  for (const RefEntry& e : ref) allSafe = allSafe && packageNameSafe(e.name);
  if (p.valid != (!ref.empty() && allSafe)) return "package: validity differs from the layout's reading";
  if (!p.valid) return p.entries.empty() ? std::string() : "package: an invalid package kept entries";
  if (p.entries.size() != ref.size()) return "package: entry count differs from the layout's reading";
  uint32_t kb = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    const PackageEntry& e = p.entries[i];
    if (e.name != ref[i].name || e.offset != ref[i].data || e.size != ref[i].size)
      return "package: an entry differs from the layout's reading";
    if (e.offset + e.size > input.size()) return "package: entry data beyond the end";
    if (!staysInside(e.name)) return "package: a name that leaves the folder was taken: " + e.name.substr(0, 100);
    kb += e.size / 1024;
  }
  if (packageEstimatedSizeKb(p) != kb) return "package: estimated size differs";
  return {};
}

// The version order is a total preorder: reflexive, antisymmetric and
// transitive, and blind to trailing zero components.
inline std::string checkVersions(std::string_view input) {
  std::string_view part[3];
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    size_t bar = input.find('|', at);
    part[i] = input.substr(std::min(at, input.size()), bar == std::string_view::npos ? std::string_view::npos : bar - at);
    at = bar == std::string_view::npos ? input.size() : bar + 1;
  }
  for (auto v : part) {
    if (compareVersions(v, v) != 0) return "versions: a version differs from itself";
    if (compareVersions(v, std::string(v) + ".0") != 0) return "versions: a trailing zero component counts";
    if (compareVersions(std::string(v) + ".1", v) != 1) return "versions: a further component does not count";
  }
  for (auto a : part)
    for (auto b : part) {
      int ab = compareVersions(a, b);
      if (ab < -1 || ab > 1) return "versions: an answer outside -1..1";
      if (ab != -compareVersions(b, a)) return "versions: the order is not antisymmetric";
      for (auto c : part)
        if (ab <= 0 && compareVersions(b, c) <= 0 && compareVersions(a, c) > 0) return "versions: not transitive";
    }
  return {};
}

}  // namespace fuzzcheck
