#pragma once
// The shell's settings record (held by the application state, main thread only)
// and the rules that turn stored registry values into it and back. The rules
// work over a small key-value source so that they run and are tested without
// Windows; shell/settings_win.h is the registry layer on top.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct Settings {
  bool snowfall = true;
  int32_t weather = 1;  // 0 light snow, 1 steady snowfall, 2 blizzard
  float amount = 0.55f;
  float wind = 0.1f;
  bool onWindows = true;
  bool sweep = true;
  bool santa = true;
  bool birds = true;
  bool stars = true;
  bool garland = false;
  bool paused = false;
  int32_t renderMode = 0;  // 0 GPU (checks itself and falls back), 1 compatible
  bool guideSeen = false;
  int32_t fireworksYear = 0;
  bool smartPause = true;
  int32_t fpsMode = 0;  // 0 auto, 1 30 fps, 2 60 fps
  bool operator==(const Settings&) const = default;
};


// ------------------------------------------------------------ stored values

// Registry type codes the rules look at (the values Windows gives them).
constexpr uint32_t kRegTypeString = 1;  // REG_SZ
constexpr uint32_t kRegTypeDword = 4;   // REG_DWORD

// Where the settings are read from. A value that is missing, of another type
// or of another size than four bytes gives an empty result; the rules treat
// all of these alike.
class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  virtual std::optional<uint32_t> readDword(const char* name) const = 0;
};

// The outcome of one registry query for a DWORD: usable only when the query
// succeeded and gave exactly four bytes of type REG_DWORD.
std::optional<uint32_t> dwordFromQuery(bool succeeded, uint32_t type, uint32_t byteCount, uint32_t data);

// Applies the load rules to every one of the sixteen values: missing or
// wrongly typed values and values out of range give the built-in defaults.
Settings settingsFromSource(const SettingsSource& source);

// The sixteen values to store, in the order they are written; flags as 0/1,
// amount and wind multiplied by 100 and rounded.
std::vector<std::pair<const char*, uint32_t>> settingsToValues(const Settings& s);

// amount x 100 + 0.5, truncated toward zero (single precision).
int32_t amountToX100(float amount);
// wind x 100, rounded to the nearest integer with halves away from zero.
int32_t windToX100(float wind);

// ---------------------------------------------------------- stored strings

// Number of code units of a registry string before its terminating zero.
// `byteCount` is what the query reported and `bufferBytes` the buffer it read
// into; the data may lack the zero, end in half a code unit or claim more than
// the buffer holds, and is never read past either bound.
template <typename Unit>
size_t registryStringLength(const Unit* units, size_t byteCount, size_t bufferBytes) {
  if (!units) return 0;
  size_t bytes = byteCount < bufferBytes ? byteCount : bufferBytes;
  size_t count = bytes / sizeof(Unit);
  size_t n = 0;
  while (n < count && units[n] != 0) ++n;
  return n;
}

// A queried string value is used only when the query succeeded (a value too
// long for the buffer does not) and it is of type REG_SZ.
bool stringQueryUsable(bool succeeded, uint32_t type);

// ---------------------------------------------------------------- languages

constexpr int kLanguageCount = 7;  // uk, en, de, pl, es, fr, it
constexpr int kLanguageEnglish = 1;

// "uk", "en", "de", "pl", "es", "fr", "it"; "en" for an index out of range.
const char* languageCode(int index);

// The language index a name such as "de", "DE", "de-AT" or "de_AT" chooses:
// its first two letters equal a code regardless of case and the third
// character is the end, "-" or "_". -1 when it matches none ("deu", "d").
int languageMatch(std::string_view name);
int languageMatch(std::u16string_view name);

// Splits a list of names each ended by a zero, the list ended by an empty
// name; stops at `count` units even when the final zeros are missing.
template <typename Unit>
std::vector<std::u16string> splitNameList(const Unit* units, size_t count) {
  std::vector<std::u16string> names;
  if (!units) return names;
  size_t at = 0;
  while (at < count && units[at] != 0) {
    std::u16string name;
    while (at < count && units[at] != 0) name.push_back(static_cast<char16_t>(units[at++]));
    names.push_back(std::move(name));
    ++at;  // the zero after the name
  }
  return names;
}

// The Windows language: the first of the user's preferred UI languages that
// matches one of the seven, English when none does.
int languageFromPreferred(const std::vector<std::u16string>& names);

// Longest "KOVRA_LANG" value that is looked at.
constexpr size_t kLanguageOverrideMaxLength = 14;

struct LanguageChoice {
  int windows = kLanguageEnglish;
  int ui = kLanguageEnglish;
};

// The start-up choice: the Windows language; a stored "Language" of 1..7
// picks index value - 1; a matching "KOVRA_LANG" of at most 14 characters
// overrides both.
LanguageChoice languageResolve(const std::vector<std::u16string>& preferred, std::optional<uint32_t> stored,
                               const std::optional<std::u16string>& override);

// What picking a language in the settings window gives: the new UI language
// and the "Language" value to store (0 = follow Windows).
struct LanguagePick {
  int ui = kLanguageEnglish;
  uint32_t stored = 0;
};
LanguagePick languagePick(int index, int windowsLanguage);

// The process-wide language state, read by the text lookup.
int uiLanguage();
int windowsLanguage();
void setLanguageState(int ui, int windows);

// ---------------------------------------------------------------- autostart

// The Run entry counts as this copy's only when the executable's full path
// occurs in it (case-sensitive); an unknown path never matches.
bool autostartEntryMatches(std::u16string_view entry, std::u16string_view exePath);
// The Run entry for an executable: its path in double quotes.
std::u16string autostartEntry(std::u16string_view exePath);
