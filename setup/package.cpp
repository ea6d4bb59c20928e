#include "setup/package.h"

#include <cstring>

namespace {

uint32_t readLe(std::span<const uint8_t> b, size_t at, size_t n) {
  uint32_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
  return v;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

// "CON", "nul.txt", "Com1.jpg": the system opens a device for these in any folder.
bool isDeviceName(std::string_view part) {
  std::string_view stem = part.substr(0, part.find('.'));
  static const char* const kPlain[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* d : kPlain)
    if (sameIgnoringCase(stem, d)) return true;
  if (stem.size() == 4 && (sameIgnoringCase(stem.substr(0, 3), "com") || sameIgnoringCase(stem.substr(0, 3), "lpt")) &&
      stem[3] >= '0' && stem[3] <= '9')
    return true;
  return false;
}

bool partSafe(std::string_view part) {
  if (part.empty()) return false;
  char last = part.back();
  if (last == '.' || last == ' ') return false;
  for (char c : part) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
    if (std::strchr("\\:<>\"|?*", c)) return false;
  }
  return !isDeviceName(part);
}

// Skips leading zeros; what is left compares by length, then digit by digit.
struct Component {
  std::string digits;
};

Component componentAt(std::string_view s, size_t& at) {
  Component c;
  while (at < s.size() && s[at] != '.') {
    char d = s[at] >= '0' && s[at] <= '9' ? s[at] : '0';
    if (!(c.digits.empty() && d == '0')) c.digits += d;
    ++at;
  }
  if (at < s.size()) ++at;  // the dot
  return c;
}

}  // namespace

Package packageParse(std::span<const uint8_t> bytes) {
  Package p;
  const size_t magicSize = sizeof kPackageMagic - 1;
  if (bytes.size() <= 9 || std::memcmp(bytes.data(), kPackageMagic, magicSize) != 0) return p;
  size_t at = magicSize;
  while (bytes.size() - at >= 2) {
    size_t nameSize = readLe(bytes, at, 2);
    size_t left = bytes.size() - at - 2;
    if (left < nameSize || left - nameSize < 4) break;
    size_t sizeAt = at + 2 + nameSize;
    uint32_t dataSize = readLe(bytes, sizeAt, 4);
    size_t dataAt = sizeAt + 4;
    if (bytes.size() - dataAt < dataSize) break;
    PackageEntry e;
    e.name.assign(reinterpret_cast<const char*>(bytes.data() + at + 2), nameSize);
    e.offset = dataAt;
    e.size = dataSize;
    p.entries.push_back(std::move(e));
    at = dataAt + dataSize;
  }
  p.valid = !p.entries.empty();
  for (const PackageEntry& e : p.entries)
    if (!packageNameSafe(e.name)) p.valid = false;
  if (!p.valid) p.entries.clear();
  return p;
}

bool packageNameSafe(std::string_view name) {
  if (name.empty()) return false;
  size_t start = 0;
  for (;;) {
    size_t slash = name.find('/', start);
    if (!partSafe(name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start)))
      return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

std::string packageWindowsPath(std::string_view name) {
  std::string s(name);
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

uint32_t packageEstimatedSizeKb(const Package& p) {
  uint32_t kb = 0;
  for (const PackageEntry& e : p.entries) kb += e.size / 1024;
  return kb;
}

bool packageIsWallpaper(std::string_view name) { return name.starts_with("Wallpapers/"); }

int compareVersions(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    Component x = componentAt(a, i);
    Component y = componentAt(b, j);
    if (x.digits.size() != y.digits.size()) return x.digits.size() < y.digits.size() ? -1 : 1;
    int c = x.digits.compare(y.digits);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  return 0;
}

InstallMode installMode(bool versionRecorded, bool isUpdate) {
  if (!versionRecorded) return InstallMode::FirstInstall;
  return isUpdate ? InstallMode::Update : InstallMode::Reinstall;
}

const char* installModeName(InstallMode m) {
  switch (m) {
    case InstallMode::FirstInstall: return "first install";
    case InstallMode::Update: return "update";
    case InstallMode::Reinstall: return "reinstall";
  }
  return "reinstall";
}

bool setupOnlyStartsInstalled(std::string_view recordedVersion, std::string_view ownVersion,
                              bool installedExeExists) {
  return !recordedVersion.empty() && compareVersions(recordedVersion, ownVersion) > 0 && installedExeExists;
}

bool installWritesAutostart(InstallMode m, bool autostartExisted) {
  return m == InstallMode::FirstInstall || autostartExisted;
}

bool installMakesDesktopShortcut(InstallMode m) { return m == InstallMode::FirstInstall; }

bool installPictureIsStale(std::string_view relativePath, const Package& p) {
  std::string path = packageWindowsPath(relativePath);
  for (const PackageEntry& e : p.entries)
    if (sameIgnoringCase(packageWindowsPath(e.name), path)) return false;
  return true;
}
