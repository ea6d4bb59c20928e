#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/settings.h"

namespace {

constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDwordBigEndian = 5;
constexpr uint32_t kRegQword = 11;

// A registry key in memory: each value keeps its type and raw bytes, and a
// read behaves like a query into a four-byte buffer (longer data does not fit
// and fails the query).
class FakeKey : public SettingsSource {
 public:
  void dword(const std::string& name, uint32_t v) { raw(name, kRegTypeDword, &v, sizeof v); }
  void string(const std::string& name, const std::u16string& s) {
    raw(name, kRegTypeString, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  }
  void raw(const std::string& name, uint32_t type, const void* data, size_t size) {
    Value& v = values_[name];
    v.type = type;
    v.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  }

  std::optional<uint32_t> readDword(const char* name) const override {
    auto it = values_.find(name);
    if (it == values_.end()) return dwordFromQuery(false, 0, 0, 0);
    const Value& v = it->second;
    if (v.bytes.size() > sizeof(uint32_t)) return dwordFromQuery(false, v.type, 4, 0);
    uint32_t data = 0;
    if (!v.bytes.empty()) std::memcpy(&data, v.bytes.data(), v.bytes.size());
    return dwordFromQuery(true, v.type, static_cast<uint32_t>(v.bytes.size()), data);
  }

 private:
  struct Value {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
  };
  std::map<std::string, Value> values_;
};

// The values a save writes, as a key that a later load reads.
FakeKey saved(const Settings& s) {
  FakeKey key;
  for (const auto& [name, value] : settingsToValues(s)) key.dword(name, value);
  return key;
}

std::vector<std::pair<std::string, uint32_t>> stored(const Settings& s) {
  std::vector<std::pair<std::string, uint32_t>> out;
  for (const auto& [name, value] : settingsToValues(s)) out.emplace_back(name, value);
  return out;
}

uint32_t valueOf(const Settings& s, const std::string& name) {
  for (const auto& [n, v] : settingsToValues(s))
    if (name == n) return v;
  ADD_FAILURE() << "no value " << name;
  return 0xDEADBEEF;
}

Settings loadOne(const std::string& name, uint32_t v) {
  FakeKey key;
  key.dword(name, v);
  return settingsFromSource(key);
}

void expectTableDefaults(const Settings& s) {
  EXPECT_TRUE(s.snowfall);
  EXPECT_EQ(s.weather, 1);
  EXPECT_FLOAT_EQ(s.amount, 0.55f);
  EXPECT_FLOAT_EQ(s.wind, 0.1f);
  EXPECT_TRUE(s.onWindows);
  EXPECT_TRUE(s.sweep);
  EXPECT_TRUE(s.santa);
  EXPECT_TRUE(s.birds);
  EXPECT_TRUE(s.stars);
  EXPECT_FALSE(s.garland);
  EXPECT_FALSE(s.paused);
  EXPECT_EQ(s.renderMode, 0);
  EXPECT_FALSE(s.guideSeen);
  EXPECT_EQ(s.fireworksYear, 0);
  EXPECT_TRUE(s.smartPause);
  EXPECT_EQ(s.fpsMode, 0);
}

const char* const kNames[] = {"Paused",   "Weather", "AmountX100", "WindX100", "OnWindows",     "Sweep",
                              "RenderMode2", "GuideSeen", "Snowfall", "Santa", "Birds", "Stars",
                              "Garland", "FireworksYear", "SmartPause", "FpsMode"};

TEST(SettingsLoad, EmptyKeyAndBuiltInRecordGiveTheTableDefaults) {
  expectTableDefaults(Settings{});
  FakeKey empty;
  expectTableDefaults(settingsFromSource(empty));
}

TEST(SettingsLoad, EveryValueIsReadUnderItsOwnName) {
  const std::pair<const char*, uint32_t> values[] = {
      {"Snowfall", 0},     {"Weather", 2},   {"AmountX100", 120}, {"WindX100", static_cast<uint32_t>(-35)},
      {"OnWindows", 0},    {"Sweep", 0},     {"Santa", 0},        {"Birds", 0},
      {"Stars", 0},        {"Garland", 1},   {"Paused", 1},       {"RenderMode2", 0},
      {"GuideSeen", 1},    {"FireworksYear", 2027}, {"SmartPause", 0}, {"FpsMode", 2}};
  FakeKey key;
  for (const auto& [name, v] : values) key.dword(name, v);
  Settings s = settingsFromSource(key);
  EXPECT_FALSE(s.snowfall);
  EXPECT_EQ(s.weather, 2);
  EXPECT_FLOAT_EQ(s.amount, 1.2f);
  EXPECT_FLOAT_EQ(s.wind, -0.35f);
  EXPECT_FALSE(s.onWindows);
  EXPECT_FALSE(s.sweep);
  EXPECT_FALSE(s.santa);
  EXPECT_FALSE(s.birds);
  EXPECT_FALSE(s.stars);
  EXPECT_TRUE(s.garland);
  EXPECT_TRUE(s.paused);
  EXPECT_EQ(s.renderMode, 0);
  EXPECT_TRUE(s.guideSeen);
  EXPECT_EQ(s.fireworksYear, 2027);
  EXPECT_FALSE(s.smartPause);
  EXPECT_EQ(s.fpsMode, 2);
}

TEST(SettingsLoad, AmountOutsideItsRangeGivesTheDefault) {
  EXPECT_FLOAT_EQ(loadOne("AmountX100", 10).amount, 0.55f);
  EXPECT_FLOAT_EQ(loadOne("AmountX100", 161).amount, 0.55f);
  EXPECT_FLOAT_EQ(loadOne("AmountX100", 14).amount, 0.55f);
  EXPECT_FLOAT_EQ(loadOne("AmountX100", static_cast<uint32_t>(-20)).amount, 0.55f);
  EXPECT_FLOAT_EQ(loadOne("AmountX100", 0xFFFFFFFFu).amount, 0.55f);
  EXPECT_FLOAT_EQ(loadOne("AmountX100", 15).amount, 0.15f);
  EXPECT_FLOAT_EQ(loadOne("AmountX100", 160).amount, 1.6f);
}

TEST(SettingsLoad, WindIsSignedAndLimitedToPlusMinusOne) {
  EXPECT_FLOAT_EQ(loadOne("WindX100", static_cast<uint32_t>(-100)).wind, -1.0f);
  EXPECT_FLOAT_EQ(loadOne("WindX100", 100).wind, 1.0f);
  EXPECT_FLOAT_EQ(loadOne("WindX100", 0).wind, 0.0f);
  EXPECT_FLOAT_EQ(loadOne("WindX100", static_cast<uint32_t>(-101)).wind, 0.1f);
  EXPECT_FLOAT_EQ(loadOne("WindX100", 101).wind, 0.1f);
  EXPECT_FLOAT_EQ(loadOne("WindX100", 0x80000000u).wind, 0.1f);
}

TEST(SettingsLoad, IntegerFieldsKeepOnlyTheirAcceptedValues) {
  EXPECT_EQ(loadOne("Weather", 7).weather, 1);
  EXPECT_EQ(loadOne("Weather", 0).weather, 0);
  EXPECT_EQ(loadOne("Weather", 2).weather, 2);
  EXPECT_EQ(loadOne("Weather", 0xFFFFFFFFu).weather, 1);
  EXPECT_EQ(loadOne("FpsMode", 3).fpsMode, 0);
  EXPECT_EQ(loadOne("FpsMode", 1).fpsMode, 1);
  EXPECT_EQ(loadOne("FpsMode", 0xFFFFFFFFu).fpsMode, 0);  // negative is not a mode either
  EXPECT_EQ(loadOne("RenderMode2", 5).renderMode, 1);
  EXPECT_EQ(loadOne("RenderMode2", 0).renderMode, 0);
  EXPECT_EQ(loadOne("FireworksYear", static_cast<uint32_t>(-3)).fireworksYear, -3);
}

TEST(SettingsLoad, FlagsTreatAnyNonzeroAsOn) {
  for (const char* name : {"Snowfall", "OnWindows", "Sweep", "Santa", "Birds", "Stars", "SmartPause"}) {
    SCOPED_TRACE(name);
    Settings off = loadOne(name, 0);
    Settings on = loadOne(name, 0x80000000u);
    EXPECT_EQ(valueOf(off, name), 0u);
    EXPECT_EQ(valueOf(on, name), 1u);
  }
  for (const char* name : {"Garland", "Paused", "GuideSeen"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(valueOf(loadOne(name, 7), name), 1u);
    EXPECT_EQ(valueOf(loadOne(name, 0), name), 0u);
  }
}

TEST(SettingsLoad, ValuesOfAnotherTypeOrSizeGiveTheDefaults) {
  FakeKey key;
  for (const char* name : kNames) key.string(name, u"0");
  expectTableDefaults(settingsFromSource(key));

  // Each of these would read as a non-default value if taken as a DWORD.
  const uint32_t four = 0;
  const uint64_t eight = 0;
  const uint16_t two = 0;
  FakeKey other;
  other.raw("Snowfall", kRegBinary, &four, 4);
  other.raw("Santa", kRegDwordBigEndian, &four, 4);
  other.raw("Birds", kRegQword, &eight, 8);
  other.raw("Stars", kRegTypeDword, &two, 2);
  other.raw("Sweep", kRegTypeDword, &eight, 8);
  other.raw("RenderMode2", kRegTypeDword, nullptr, 0);
  expectTableDefaults(settingsFromSource(other));
}

TEST(SettingsLoad, StringsForFlagsFollowEachFlagsDefault) {
  FakeKey key;
  key.string("Snowfall", u"0");
  key.string("Garland", u"1");
  key.string("FireworksYear", u"2026");
  Settings s = settingsFromSource(key);
  EXPECT_TRUE(s.snowfall);
  EXPECT_FALSE(s.garland);
  EXPECT_EQ(s.fireworksYear, 0);
}

TEST(SettingsSave, WritesAllSixteenInOrder) {
  std::vector<std::pair<const char*, uint32_t>> values = settingsToValues(Settings{});
  ASSERT_EQ(values.size(), 16u);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_STREQ(values[i].first, kNames[i]) << i;

  const uint32_t defaults[16] = {0, 1, 55, 10, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 0};
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i].second, defaults[i]) << kNames[i];
}

TEST(SettingsSave, FlagsAreZeroOrOneAndIntegersAsHeld) {
  Settings s;
  s.paused = true;
  s.garland = true;
  s.snowfall = false;
  s.fireworksYear = 2026;
  s.renderMode = 0;
  s.fpsMode = 2;
  s.weather = 0;
  EXPECT_EQ(valueOf(s, "Paused"), 1u);
  EXPECT_EQ(valueOf(s, "Garland"), 1u);
  EXPECT_EQ(valueOf(s, "Snowfall"), 0u);
  EXPECT_EQ(valueOf(s, "FireworksYear"), 2026u);
  EXPECT_EQ(valueOf(s, "RenderMode2"), 0u);
  EXPECT_EQ(valueOf(s, "FpsMode"), 2u);
  EXPECT_EQ(valueOf(s, "Weather"), 0u);
}

TEST(SettingsSave, AmountAddsAHalfAndTruncatesInSinglePrecision) {
  EXPECT_EQ(amountToX100(0.55f), 55);
  EXPECT_EQ(amountToX100(0.994f), 99);
  EXPECT_EQ(amountToX100(0.155f), 16);
  // 0.285f x 100 rounds up to 28.5 in single precision (28.4999996 in double).
  EXPECT_EQ(amountToX100(0.285f), 29);
  // Truncation goes toward zero, not down.
  EXPECT_EQ(amountToX100(-0.13f), -12);
}

TEST(SettingsSave, WindRoundsHalvesAwayFromZero) {
  EXPECT_EQ(windToX100(-0.1f), -10);
  EXPECT_EQ(windToX100(0.125f), 13);
  EXPECT_EQ(windToX100(-0.125f), -13);
  EXPECT_EQ(windToX100(0.374f), 37);
  EXPECT_EQ(windToX100(-1.0f), -100);
  Settings s;
  s.wind = -0.1f;
  EXPECT_EQ(valueOf(s, "WindX100"), static_cast<uint32_t>(-10));
}

TEST(SettingsSave, NumbersThatDoNotFitStoreTheDefaults) {
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity(), 3e38f, -3e38f};
  for (float v : bad) {
    SCOPED_TRACE(v);
    EXPECT_EQ(amountToX100(v), 55);
    EXPECT_EQ(windToX100(v), 10);
  }
}

TEST(SettingsSave, EveryAcceptedStoredNumberSurvivesLoadAndSave) {
  for (int v = 15; v <= 160; ++v) {
    Settings s = loadOne("AmountX100", static_cast<uint32_t>(v));
    ASSERT_EQ(static_cast<int32_t>(valueOf(s, "AmountX100")), v);
  }
  for (int v = -100; v <= 100; ++v) {
    Settings s = loadOne("WindX100", static_cast<uint32_t>(v));
    ASSERT_EQ(static_cast<int32_t>(valueOf(s, "WindX100")), v);
  }
}

TEST(SettingsSave, BadStoredValuesAreSavedAsDefaults) {
  FakeKey key;
  key.dword("AmountX100", 161);
  key.dword("WindX100", static_cast<uint32_t>(-101));
  key.dword("Weather", 7);
  key.dword("FpsMode", 3);
  key.dword("RenderMode2", 9);
  key.string("FireworksYear", u"x");
  key.string("Garland", u"1");
  key.raw("Snowfall", kRegBinary, "\0\0\0\0", 4);
  Settings loaded = settingsFromSource(key);
  Settings expected;
  expected.renderMode = 1;  // any mode but 0 is the compatible one
  EXPECT_EQ(stored(loaded), stored(expected));
  // What was saved reads back unchanged.
  FakeKey again = saved(loaded);
  EXPECT_EQ(stored(settingsFromSource(again)), stored(loaded));
}

TEST(SettingsStrings, LengthStopsAtTheZeroOrTheEndOfTheData) {
  const char16_t terminated[] = u"abc";
  EXPECT_EQ(registryStringLength(terminated, sizeof terminated, sizeof terminated), 3u);
  const char16_t inner[] = {u'a', u'b', 0, u'c', 0};
  EXPECT_EQ(registryStringLength(inner, sizeof inner, sizeof inner), 2u);
  EXPECT_EQ(registryStringLength(terminated, 0, sizeof terminated), 0u);
  EXPECT_EQ(registryStringLength<char16_t>(nullptr, 8, 8), 0u);

  // Exactly three units on the heap and no zero: the sanitizer would catch a
  // read past them.
  auto bare = std::make_unique<char16_t[]>(3);
  bare[0] = u'x';
  bare[1] = u'y';
  bare[2] = u'z';
  EXPECT_EQ(registryStringLength(bare.get(), 6, 6), 3u);
  // A reported size beyond the buffer is cut to the buffer.
  EXPECT_EQ(registryStringLength(bare.get(), 4000, 6), 3u);
  // Half a unit at the end is dropped.
  EXPECT_EQ(registryStringLength(bare.get(), 5, 6), 2u);
}

TEST(SettingsStrings, OnlySuccessfulStringQueriesAreUsed) {
  EXPECT_TRUE(stringQueryUsable(true, kRegTypeString));
  EXPECT_FALSE(stringQueryUsable(false, kRegTypeString));  // missing, or longer than the buffer
  EXPECT_FALSE(stringQueryUsable(true, 2));                // REG_EXPAND_SZ
  EXPECT_FALSE(stringQueryUsable(true, kRegTypeDword));
}

TEST(LanguageMatch, FirstTwoLettersAndASeparatorOrTheEnd) {
  for (const char* name : {"de", "DE", "de-AT", "de_AT", "De-ch"}) EXPECT_EQ(languageMatch(name), 2) << name;
  EXPECT_EQ(languageMatch("uk-UA"), 0);
  EXPECT_EQ(languageMatch("en-US"), 1);
  EXPECT_EQ(languageMatch("PL"), 3);
  EXPECT_EQ(languageMatch("es-419"), 4);
  EXPECT_EQ(languageMatch("fr_CA"), 5);
  EXPECT_EQ(languageMatch("it"), 6);
  for (const char* name : {"deu", "d", "", "ua", "zh-CN", "pt-BR", "de.AT", "en US", "-de"})
    EXPECT_EQ(languageMatch(name), -1) << name;
  EXPECT_EQ(languageMatch(std::string_view("de\0x", 4)), 2);
  EXPECT_EQ(languageMatch(u"IT-it"), 6);
  EXPECT_EQ(languageMatch(u"\u0444r"), -1);
  EXPECT_EQ(languageMatch(u"f\u0152"), -1);
  EXPECT_EQ(languageMatch(std::u16string_view(u"\u0164\u0165")), -1);  // would fold to "de" if truncated to bytes
}

TEST(LanguageMatch, CodesInTheirFixedOrder) {
  const char* const codes[] = {"uk", "en", "de", "pl", "es", "fr", "it"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_STREQ(languageCode(i), codes[i]);
    EXPECT_EQ(languageMatch(codes[i]), i);
  }
  EXPECT_STREQ(languageCode(-1), "en");
  EXPECT_STREQ(languageCode(7), "en");
}

TEST(LanguageList, SplitsDoubleZeroTerminatedNames) {
  const char16_t list[] = u"fr-FR\0de-DE\0";  // the literal adds the final zero
  std::vector<std::u16string> names = splitNameList(list, sizeof list / sizeof list[0]);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], u"fr-FR");
  EXPECT_EQ(names[1], u"de-DE");

  const char16_t empty[] = {0, 0};
  EXPECT_TRUE(splitNameList(empty, 2).empty());
  EXPECT_TRUE(splitNameList(list, 0).empty());

  // Without any terminating zero the count bounds the walk.
  auto bare = std::make_unique<char16_t[]>(5);
  const char16_t text[] = {u'p', u'l', 0, u'e', u's'};
  std::memcpy(bare.get(), text, sizeof text);
  names = splitNameList(bare.get(), 5);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], u"pl");
  EXPECT_EQ(names[1], u"es");
}

TEST(LanguageList, FirstMatchingPreferredLanguageWinsElseEnglish) {
  EXPECT_EQ(languageFromPreferred({u"zh-CN", u"fr-FR", u"de-DE"}), 5);
  EXPECT_EQ(languageFromPreferred({u"deu", u"it-IT"}), 6);
  EXPECT_EQ(languageFromPreferred({u"zh-CN", u"ja"}), 1);
  EXPECT_EQ(languageFromPreferred({}), 1);
  EXPECT_EQ(languageFromPreferred({u"uk-UA", u"en-US"}), 0);
}

TEST(LanguageChoose, StoredChoiceThenOverride) {
  const std::vector<std::u16string> german = {u"de-DE", u"en-US"};
  LanguageChoice c = languageResolve(german, std::nullopt, std::nullopt);
  EXPECT_EQ(c.windows, 2);
  EXPECT_EQ(c.ui, 2);

  c = languageResolve(german, 5u, std::nullopt);  // stored 5 = Spanish
  EXPECT_EQ(c.windows, 2);
  EXPECT_EQ(c.ui, 4);
  EXPECT_EQ(languageResolve(german, 1u, std::nullopt).ui, 0);
  EXPECT_EQ(languageResolve(german, 7u, std::nullopt).ui, 6);

  for (uint32_t ignored : {0u, 8u, 0xFFFFFFFFu}) EXPECT_EQ(languageResolve(german, ignored, std::nullopt).ui, 2);

  // "KOVRA_LANG" wins over the stored value.
  c = languageResolve({u"en-GB"}, 3u, std::u16string(u"PL"));
  EXPECT_EQ(c.ui, 3);
  EXPECT_EQ(c.windows, 1);
  EXPECT_EQ(languageResolve({u"en-GB"}, 3u, std::u16string(u"xx")).ui, 2);
  EXPECT_EQ(languageResolve({u"en-GB"}, 3u, std::u16string(u"")).ui, 2);
  EXPECT_EQ(languageResolve({u"en-GB"}, 3u, std::u16string(u"deu")).ui, 2);
  EXPECT_EQ(languageResolve({}, std::nullopt, std::u16string(u"fr")).ui, 5);
}

TEST(LanguageChoose, OverrideLongerThanFourteenIsIgnored) {
  EXPECT_EQ(languageResolve({}, std::nullopt, std::u16string(u"it_abcdefghijk")).ui, 6);  // 14
  EXPECT_EQ(languageResolve({}, std::nullopt, std::u16string(u"it_abcdefghijkl")).ui, 1);  // 15
  EXPECT_EQ(languageResolve({}, 4u, std::u16string(u"it_abcdefghijkl")).ui, 3);
}

TEST(LanguageSet, RangeStoresIndexPlusOneElseFollowsWindows) {
  for (int i = 0; i < 7; ++i) {
    LanguagePick p = languagePick(i, 5);
    EXPECT_EQ(p.ui, i);
    EXPECT_EQ(p.stored, static_cast<uint32_t>(i + 1));
  }
  for (int i : {-1, 7, 100}) {
    LanguagePick p = languagePick(i, 5);
    EXPECT_EQ(p.ui, 5);
    EXPECT_EQ(p.stored, 0u);
  }
  // What is stored is chosen again at the next start.
  EXPECT_EQ(languageResolve({u"fr"}, languagePick(3, 5).stored, std::nullopt).ui, 3);
  EXPECT_EQ(languageResolve({u"fr"}, languagePick(-1, 5).stored, std::nullopt).ui, 5);
}

TEST(SettingsAutostart, EntryMustContainThisPath) {
  const std::u16string exe = u"C:\\Users\\u\\AppData\\Local\\Quillar\\quillar.exe";
  std::u16string entry = autostartEntry(exe);
  EXPECT_EQ(entry, u"\"" + exe + u"\"");
  EXPECT_TRUE(autostartEntryMatches(entry, exe));
  EXPECT_TRUE(autostartEntryMatches(entry + u" /quiet", exe));
  EXPECT_FALSE(autostartEntryMatches(u"\"D:\\Other\\quillar.exe\"", exe));
  EXPECT_FALSE(autostartEntryMatches(u"\"C:\\USERS\\U\\AppData\\Local\\Quillar\\quillar.exe\"", exe));
  EXPECT_FALSE(autostartEntryMatches(u"", exe));
  EXPECT_FALSE(autostartEntryMatches(entry, u""));
}

}  // namespace
