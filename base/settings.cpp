#include "base/settings.h"

#include <cmath>

namespace {

int32_t asSigned(uint32_t v) { return static_cast<int32_t>(v); }

// A flag whose missing value means on: only a stored 0 turns it off.
bool flagDefaultOn(const SettingsSource& src, const char* name) {
  std::optional<uint32_t> v = src.readDword(name);
  return !v || *v != 0;
}

// A flag whose missing value means off: any nonzero value turns it on.
bool flagDefaultOff(const SettingsSource& src, const char* name) {
  std::optional<uint32_t> v = src.readDword(name);
  return v && *v != 0;
}

// Float to int32 for the stored x100 values; the conversion of a value that
// does not fit would be undefined, so such a value stores the default's.
bool fitsInt32(float v) { return std::isfinite(v) && v > -2147483520.0f && v < 2147483520.0f; }

const char* const kCodes[kLanguageCount] = {"uk", "en", "de", "pl", "es", "fr", "it"};

char lowerAscii(char32_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c < 0x80) return static_cast<char>(c);
  return 0;  // outside ASCII: matches no code
}

template <typename Char>
int matchName(std::basic_string_view<Char> name) {
  if (name.size() < 2) return -1;
  if (name.size() > 2) {
    char32_t third = static_cast<char32_t>(name[2]);
    if (third != 0 && third != '-' && third != '_') return -1;
  }
  char a = lowerAscii(static_cast<char32_t>(name[0]));
  char b = lowerAscii(static_cast<char32_t>(name[1]));
  if (a == 0 || b == 0) return -1;
  for (int i = 0; i < kLanguageCount; ++i)
    if (kCodes[i][0] == a && kCodes[i][1] == b) return i;
  return -1;
}

int gUiLanguage = kLanguageEnglish;
int gWindowsLanguage = kLanguageEnglish;

}  // namespace

std::optional<uint32_t> dwordFromQuery(bool succeeded, uint32_t type, uint32_t byteCount, uint32_t data) {
  if (!succeeded || type != kRegTypeDword || byteCount != sizeof(uint32_t)) return std::nullopt;
  return data;
}

Settings settingsFromSource(const SettingsSource& src) {
  const Settings defaults;
  Settings s;
  s.snowfall = flagDefaultOn(src, "Snowfall");

  std::optional<uint32_t> weather = src.readDword("Weather");
  s.weather = weather && (*weather == 0 || *weather == 2) ? static_cast<int32_t>(*weather) : defaults.weather;

  std::optional<uint32_t> amount = src.readDword("AmountX100");
  if (amount && asSigned(*amount) >= 15 && asSigned(*amount) <= 160)
    s.amount = static_cast<float>(asSigned(*amount)) / 100.0f;
  else
    s.amount = defaults.amount;

  std::optional<uint32_t> wind = src.readDword("WindX100");
  if (wind && asSigned(*wind) >= -100 && asSigned(*wind) <= 100)
    s.wind = static_cast<float>(asSigned(*wind)) / 100.0f;
  else
    s.wind = defaults.wind;

  s.onWindows = flagDefaultOn(src, "OnWindows");
  s.sweep = flagDefaultOn(src, "Sweep");
  s.santa = flagDefaultOn(src, "Santa");
  s.birds = flagDefaultOn(src, "Birds");
  s.stars = flagDefaultOn(src, "Stars");
  s.garland = flagDefaultOff(src, "Garland");
  s.paused = flagDefaultOff(src, "Paused");

  std::optional<uint32_t> render = src.readDword("RenderMode2");
  s.renderMode = render ? (*render != 0 ? 1 : 0) : defaults.renderMode;

  s.guideSeen = flagDefaultOff(src, "GuideSeen");

  std::optional<uint32_t> year = src.readDword("FireworksYear");
  s.fireworksYear = year ? asSigned(*year) : defaults.fireworksYear;

  s.smartPause = flagDefaultOn(src, "SmartPause");

  // Read unsigned, so a negative number is "above 2" as well.
  std::optional<uint32_t> fps = src.readDword("FpsMode");
  s.fpsMode = fps && *fps <= 2 ? static_cast<int32_t>(*fps) : defaults.fpsMode;
  return s;
}

int32_t amountToX100(float amount) {
  float scaled = amount * 100.0f + 0.5f;
  if (!fitsInt32(scaled)) scaled = Settings{}.amount * 100.0f + 0.5f;
  return static_cast<int32_t>(scaled);
}

int32_t windToX100(float wind) {
  float scaled = wind * 100.0f;
  if (!fitsInt32(scaled)) scaled = Settings{}.wind * 100.0f;
  return static_cast<int32_t>(std::lround(scaled));
}

std::vector<std::pair<const char*, uint32_t>> settingsToValues(const Settings& s) {
  auto flag = [](bool b) { return b ? 1u : 0u; };
  auto word = [](int32_t v) { return static_cast<uint32_t>(v); };
  return {
      {"Paused", flag(s.paused)},
      {"Weather", word(s.weather)},
      {"AmountX100", word(amountToX100(s.amount))},
      {"WindX100", word(windToX100(s.wind))},
      {"OnWindows", flag(s.onWindows)},
      {"Sweep", flag(s.sweep)},
      {"RenderMode2", word(s.renderMode)},
      {"GuideSeen", flag(s.guideSeen)},
      {"Snowfall", flag(s.snowfall)},
      {"Santa", flag(s.santa)},
      {"Birds", flag(s.birds)},
      {"Stars", flag(s.stars)},
      {"Garland", flag(s.garland)},
      {"FireworksYear", word(s.fireworksYear)},
      {"SmartPause", flag(s.smartPause)},
      {"FpsMode", word(s.fpsMode)},
  };
}

bool stringQueryUsable(bool succeeded, uint32_t type) { return succeeded && type == kRegTypeString; }

const char* languageCode(int index) {
  if (index < 0 || index >= kLanguageCount) return kCodes[kLanguageEnglish];
  return kCodes[index];
}

int languageMatch(std::string_view name) { return matchName(name); }
int languageMatch(std::u16string_view name) { return matchName(name); }

int languageFromPreferred(const std::vector<std::u16string>& names) {
  for (const std::u16string& name : names) {
    int i = languageMatch(std::u16string_view(name));
    if (i >= 0) return i;
  }
  return kLanguageEnglish;
}

LanguageChoice languageResolve(const std::vector<std::u16string>& preferred, std::optional<uint32_t> stored,
                               const std::optional<std::u16string>& override) {
  LanguageChoice c;
  c.windows = languageFromPreferred(preferred);
  c.ui = c.windows;
  if (stored && *stored >= 1 && *stored <= static_cast<uint32_t>(kLanguageCount))
    c.ui = static_cast<int>(*stored) - 1;
  if (override && override->size() <= kLanguageOverrideMaxLength) {
    int i = languageMatch(std::u16string_view(*override));
    if (i >= 0) c.ui = i;
  }
  return c;
}

LanguagePick languagePick(int index, int windowsLanguage) {
  LanguagePick p;
  if (index >= 0 && index < kLanguageCount) {
    p.ui = index;
    p.stored = static_cast<uint32_t>(index) + 1;
  } else {
    p.ui = windowsLanguage;
    p.stored = 0;
  }
  return p;
}

int uiLanguage() { return gUiLanguage; }
int windowsLanguage() { return gWindowsLanguage; }
void setLanguageState(int ui, int windows) {
  gUiLanguage = ui;
  gWindowsLanguage = windows;
}

bool autostartEntryMatches(std::u16string_view entry, std::u16string_view exePath) {
  if (exePath.empty()) return false;
  return entry.find(exePath) != std::u16string_view::npos;
}

std::u16string autostartEntry(std::u16string_view exePath) {
  std::u16string s;
  s.reserve(exePath.size() + 2);
  s.push_back(u'"');
  s.append(exePath);
  s.push_back(u'"');
  return s;
}
