#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/settings.h"
#include "ui/text.h"
#include "ui_language.h"

namespace {

enum { UK = 0, EN = 1, DE = 2, PL = 3, ES = 4, FR = 5, IT = 6 };

size_t placeholders(std::string_view s) {
  size_t n = 0;
  for (size_t at = s.find("%@"); at != std::string_view::npos; at = s.find("%@", at + 2)) ++n;
  return n;
}

bool validUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

TEST(TextTable, RowsAreSortedUniqueAndComplete) {
  auto table = textTable();
  ASSERT_GT(table.size(), 60u);
  std::set<std::string_view> keys;
  std::string_view previous;
  for (size_t r = 0; r < table.size(); ++r) {
    const TextRow& row = table[r];
    for (int l = 0; l < kLanguageCount; ++l) ASSERT_NE(row.text[l], nullptr) << "row " << r << " language " << l;
    std::string_view key = row.text[UK];
    SCOPED_TRACE(std::string(key));
    EXPECT_FALSE(key.empty());
    EXPECT_TRUE(keys.insert(key).second) << "duplicate key";
    // Byte order, as std::string_view compares (unsigned char traits).
    if (r > 0) {
      EXPECT_LT(previous, key) << "out of order after " << previous;
    }
    previous = key;
    EXPECT_STRNE(row.text[EN], "") << "every row needs its English text";
    for (int l = 0; l < kLanguageCount; ++l) {
      std::string_view t = row.text[l];
      EXPECT_TRUE(validUtf8(t)) << "language " << l;
      if (!t.empty()) {
        EXPECT_EQ(placeholders(t), placeholders(key)) << "language " << l << ": " << t;
      }
    }
  }
}

TEST(TextTable, LooksUpTheColumnOfTheLanguage) {
  EXPECT_STREQ(trIn(IT, "Сніг"), "Neve");
  EXPECT_STREQ(trIn(EN, "Сніг"), "Snow");
  EXPECT_STREQ(trIn(DE, "Сніг"), "Schnee");
  EXPECT_STREQ(trIn(PL, "Сніг"), "Śnieg");
  EXPECT_STREQ(trIn(ES, "Сніг"), "Nieve");
  EXPECT_STREQ(trIn(FR, "Сніг"), "Neige");
  EXPECT_STREQ(trIn(FR, "%@ МБ"), "%@ Mo");
  EXPECT_STREQ(trIn(FR, "%@: %@, %@, вітер %@ км/год"), "%@ : %@, %@, vent %@ km/h");
  EXPECT_STREQ(trIn(PL, "30 кадрів"), "30 kl./s");
  EXPECT_STREQ(trIn(EN, "Як у системі (%@)"), "Same as system (%@)");
  EXPECT_STREQ(trIn(EN, "Quillar — пауза"), "Quillar — paused");
}

TEST(TextTable, UkrainianUnknownAndEmptyCells) {
  const char* key = "Сніг";
  // Ukrainian and texts without a row come back as the very same pointer.
  EXPECT_EQ(trIn(UK, key), key);
  const char* unknown = "Немає такого рядка";
  for (int l = 0; l < kLanguageCount; ++l) EXPECT_EQ(trIn(l, unknown), unknown);
  // Out-of-range languages read as English.
  EXPECT_STREQ(trIn(-1, key), "Snow");
  EXPECT_STREQ(trIn(7, key), "Snow");
  EXPECT_STREQ(trIn(1000, key), "Snow");
  // An empty cell falls back to English; a filled one is used.
  EXPECT_STREQ(trIn(PL, "Ctrl+Alt+D"), "Ctrl+Alt+D");
  EXPECT_STREQ(trIn(DE, "Ctrl+Alt+D"), "Strg+Alt+D");
  EXPECT_STREQ(trIn(EN, nullptr), "");
  // Keys match byte for byte: a trailing space is another text.
  const char* spaced = "Сніг ";
  EXPECT_EQ(trIn(EN, spaced), spaced);
}

TEST(TextTable, TrPointsIntoTheTableAndFollowsTheUiLanguage) {
  const TextRow* row = nullptr;
  for (const TextRow& r : textTable())
    if (std::strcmp(r.text[UK], "Пауза") == 0) row = &r;
  ASSERT_NE(row, nullptr);
  {
    UiLanguage de(DE);
    EXPECT_EQ(tr("Пауза"), row->text[DE]);
  }
  {
    UiLanguage pl(PL);
    EXPECT_STREQ(tr("Пауза"), "Wstrzymaj");
  }
  {
    UiLanguage uk(UK);
    EXPECT_STREQ(tr("Пауза"), "Пауза");
  }
}

TEST(Placeholders, FilledLeftToRight) {
  EXPECT_EQ(fillPlaceholders("%@: %@, %@, wind %@ km/h", {"Kyiv", "-3 °C", "snow", "12"}),
            "Kyiv: -3 °C, snow, wind 12 km/h");
  EXPECT_EQ(trFormatIn(FR, "%@: %@, %@, вітер %@ км/год", "Lviv", "-1 °C", "neige", "7"),
            "Lviv : -1 °C, neige, vent 7 km/h");
  EXPECT_EQ(trFormatIn(UK, "Тепер у вас версія %@.", "0.9.20"), "Тепер у вас версія 0.9.20.");
  EXPECT_EQ(trFormatIn(EN, "Тепер у вас версія %@.", std::string("0.9.20")), "You now have version 0.9.20.");
}

TEST(Placeholders, InsertedTextIsNotSearchedAgain) {
  // A city called "%@" must not swallow the next argument.
  EXPECT_EQ(fillPlaceholders("%@: %@, %@", {"%@", "A", "B"}), "%@: A, B");
  EXPECT_EQ(fillPlaceholders("%@ and %@", {"x%@y", "z"}), "x%@y and z");
  EXPECT_EQ(fillPlaceholders("%@%@", {"%", "@"}), "%@");
}

TEST(Placeholders, TooFewOrTooManyArguments) {
  EXPECT_EQ(fillPlaceholders("%@ / %@", {"1"}), "1 / %@");
  EXPECT_EQ(fillPlaceholders("%@", {"1", "2", "3"}), "1");
  EXPECT_EQ(fillPlaceholders("no place", {"1"}), "no place");
  EXPECT_EQ(fillPlaceholders("%@!", {""}), "!");
  EXPECT_EQ(fillPlaceholders("", {}), "");
}

TEST(Languages, CodesNamesAndLabels) {
  const char* codes[] = {"uk", "en", "de", "pl", "es", "fr", "it"};
  const char* names[] = {"Українська", "English", "Deutsch", "Polski", "Español", "Français", "Italiano"};
  const char* labels[] = {"UA", "EN", "DE", "PL", "ES", "FR", "IT"};
  for (int i = 0; i < kLanguageCount; ++i) {
    EXPECT_STREQ(languageCode(i), codes[i]);
    EXPECT_STREQ(languageName(i), names[i]);
    EXPECT_STREQ(languageShort(i), labels[i]);
  }
  for (int bad : {-1, 7, 99}) {
    EXPECT_STREQ(languageCode(bad), "en");
    EXPECT_STREQ(languageName(bad), "English");
    EXPECT_STREQ(languageShort(bad), "EN");
  }
}

TEST(NewYearCountdown, EveryLanguageOneAndMany) {
  EXPECT_EQ(newYearCountdown(1, EN), "1 day until New Year");
  EXPECT_EQ(newYearCountdown(5, EN), "5 days until New Year");
  EXPECT_EQ(newYearCountdown(0, EN), "0 days until New Year");
  EXPECT_EQ(newYearCountdown(1, DE), "Bis Neujahr: 1 Tag");
  EXPECT_EQ(newYearCountdown(3, DE), "Bis Neujahr: 3 Tage");
  EXPECT_EQ(newYearCountdown(1, PL), "Do Nowego Roku: 1 dzień");
  EXPECT_EQ(newYearCountdown(22, PL), "Do Nowego Roku: 22 dni");
  EXPECT_EQ(newYearCountdown(1, ES), "Falta 1 día para Año Nuevo");
  EXPECT_EQ(newYearCountdown(9, ES), "Faltan 9 días para Año Nuevo");
  EXPECT_EQ(newYearCountdown(1, FR), "Nouvel An dans 1 jour");
  EXPECT_EQ(newYearCountdown(2, FR), "Nouvel An dans 2 jours");
  EXPECT_EQ(newYearCountdown(1, IT), "Manca 1 giorno a Capodanno");
  EXPECT_EQ(newYearCountdown(30, IT), "Mancano 30 giorni a Capodanno");
  // Out of range speaks English; negative numbers keep their sign.
  EXPECT_EQ(newYearCountdown(2, 9), "2 days until New Year");
  EXPECT_EQ(newYearCountdown(-4, EN), "-4 days until New Year");
}

TEST(NewYearCountdown, UkrainianPluralForms) {
  auto form = [](int n) {
    std::string s = newYearCountdown(n, UK);
    const std::string prefix = "До Нового року: " + std::to_string(n);
    EXPECT_EQ(s.rfind(prefix, 0), 0u) << s;
    return s.substr(prefix.size());
  };
  for (int n : {1, 21, 31, 101, 121})
    EXPECT_EQ(form(n), " день") << n;
  for (int n : {2, 3, 4, 22, 23, 24, 102, 334})
    EXPECT_EQ(form(n), " дні") << n;
  for (int n : {0, 5, 9, 10, 11, 12, 13, 14, 15, 19, 20, 25, 30, 111, 112, 114, 211})
    EXPECT_EQ(form(n), " днів") << n;
}

// ------------------------------------------------------------ every key in the code has a row

struct KeyUse {
  std::string key;
  std::string where;  // file:line
};

// The text keys given as literals to tr, trFormat, trIn and trFormatIn in one
// source file. Comments, character literals and raw strings are skipped;
// adjacent literals are joined; in a conditional each branch is its own key.
// Calls whose text is not a literal (a variable) are not seen here.
void scanKeys(const std::string& src, const std::string& file, std::vector<KeyUse>& out) {
  size_t i = 0;
  int line = 1;
  const size_t n = src.size();
  auto identChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  // Reads the literal whose opening quote is at i; leaves i past the closing one.
  auto literal = [&](std::string* value) {
    ++i;
    while (i < n && src[i] != '"') {
      char c = src[i];
      if (c == '\\' && i + 1 < n) {
        const char e = src[++i];
        c = e == 'n' ? '\n' : e == 't' ? '\t' : e;
      } else if (c == '\n') {
        ++line;
      }
      if (value) value->push_back(c);
      ++i;
    }
    ++i;
  };
  auto rawLiteral = [&]() {  // i at the quote of R"delim(
    const size_t open = src.find('(', i);
    const std::string close = ")" + src.substr(i + 1, open - i - 1) + "\"";
    const size_t end = src.find(close, open);
    const size_t stop = end == std::string::npos ? n : end + close.size();
    line += static_cast<int>(std::count(src.begin() + static_cast<std::ptrdiff_t>(i),
                                        src.begin() + static_cast<std::ptrdiff_t>(stop), '\n'));
    i = stop;
  };
  // Skips a comment or literal at i; true when it did.
  auto skipNonCode = [&]() {
    if (src.compare(i, 2, "//") == 0) {
      while (i < n && src[i] != '\n') ++i;
      return true;
    }
    if (src.compare(i, 2, "/*") == 0) {
      const size_t end = src.find("*/", i + 2);
      const size_t stop = end == std::string::npos ? n : end + 2;
      line += static_cast<int>(std::count(src.begin() + static_cast<std::ptrdiff_t>(i),
                                          src.begin() + static_cast<std::ptrdiff_t>(stop), '\n'));
      i = stop;
      return true;
    }
    if (src[i] == '\'') {
      for (++i; i < n && src[i] != '\''; ++i)
        if (src[i] == '\\') ++i;
      ++i;
      return true;
    }
    if (src[i] == '"') {
      literal(nullptr);
      return true;
    }
    return false;
  };

  while (i < n) {
    if (src[i] == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (skipNonCode()) continue;
    if (!identChar(src[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < n && identChar(src[i])) ++i;
    const std::string_view word(src.data() + start, i - start);
    if (i < n && src[i] == '"' && !word.empty() && word.back() == 'R') {
      rawLiteral();
      continue;
    }
    const bool withLanguage = word == "trIn" || word == "trFormatIn";
    if (!(word == "tr" || word == "trFormat" || withLanguage)) continue;
    size_t j = i;
    while (j < n && std::isspace(static_cast<unsigned char>(src[j]))) ++j;
    if (j >= n || src[j] != '(') continue;
    i = j + 1;
    const int callLine = line;
    // Walks the arguments; collects the literals of the text argument.
    int depth = 0, argument = 0;
    const int textArgument = withLanguage ? 1 : 0;
    std::string key;
    bool inKey = false;
    while (i < n) {
      const char c = src[i];
      if (c == '"') {
        std::string value;
        literal(&value);
        if (argument == textArgument && depth == 0) {
          key += value;
          inKey = true;
        }
        continue;
      }
      if (c == '\n') ++line;
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      if (skipNonCode()) continue;
      if (inKey) {  // anything but another literal ends the key
        out.push_back({key, file + ":" + std::to_string(callLine)});
        key.clear();
        inKey = false;
      }
      if (c == '(' || c == '[' || c == '{') ++depth;
      if (c == ')' || c == ']' || c == '}') {
        if (depth == 0) break;
        --depth;
      }
      if (c == ',' && depth == 0 && ++argument > textArgument) break;
      ++i;
    }
  }
}

TEST(TextTable, EveryKeyTheCodeLooksUpHasARow) {
#ifndef QUILLAR_SOURCE_DIR
  GTEST_SKIP() << "the source folder is not known to this build";
#else
  namespace fs = std::filesystem;
  const fs::path root = QUILLAR_SOURCE_DIR;
  std::vector<KeyUse> uses;
  int files = 0;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory()) {
      // Build trees, tooling and the tests themselves (which look up
      // unknown texts on purpose) are not the program's code.
      if (name.empty() || name[0] == '.' || name.rfind("build", 0) == 0 || name == "tests") it.disable_recursion_pending();
      continue;
    }
    const std::string ext = it->path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    scanKeys(text.str(), fs::relative(it->path(), root).generic_string(), uses);
    ++files;
  }
  ASSERT_GT(files, 50) << root;
  ASSERT_GT(uses.size(), 10u) << "the scan found hardly any lookups";

  std::set<std::string_view> keys;
  for (const TextRow& row : textTable()) keys.insert(row.text[UK]);
  std::set<std::string> missing;
  for (const KeyUse& u : uses) {
    if (!keys.count(u.key) && missing.insert(u.key).second) ADD_FAILURE() << u.where << ": no row for \"" << u.key << "\"";
  }
#endif
}

TEST(TextTable, KeyScanReadsCallsTheWayTheCompilerDoes) {
  std::vector<KeyUse> uses;
  scanKeys("a = tr(\"one\");\n"
           "// tr(\"in a comment\")\n"
           "b = trFormat(\"two %@\" \" joined\", x, \"not a key\");\n"
           "c = tr(on ? \"three\" : \"four\");\n"
           "d = trIn(2, \"five \\\"quoted\\\"\");\n"
           "e = tr(key); f = str(\"no\"); g = '\"'; h = tr (\"six\");\n",
           "f.cpp", uses);
  std::vector<std::string> keys;
  for (const KeyUse& u : uses) keys.push_back(u.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"one", "two %@ joined", "three", "four", "five \"quoted\"", "six"}));
  ASSERT_EQ(uses.size(), 6u);
  EXPECT_EQ(uses[0].where, "f.cpp:1");
  EXPECT_EQ(uses[5].where, "f.cpp:6");
}

TEST(NewYearCountdown, FollowsTheUiLanguage) {
  UiLanguage es(ES);
  EXPECT_EQ(newYearCountdown(1), "Falta 1 día para Año Nuevo");
}

}  // namespace
