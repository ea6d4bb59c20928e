#pragma once
// The program's own texts in seven languages. Code writes the Ukrainian
// source text; tr() looks it up at display time in the current UI language.
// Texts with variable parts carry "%@" placeholders, filled left to right.
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "base/placeholders.h"
#include "base/settings.h"  // kLanguageCount, languageCode, uiLanguage

// One row: the Ukrainian key, then English, German, Polish, Spanish, French
// and Italian. An empty translation falls back to English.
struct TextRow {
  const char* text[kLanguageCount];
};

// The whole table, sorted by the bytes of the key.
std::span<const TextRow> textTable();

// The text in the current UI language: the row's column, its English column
// when that is empty, and `text` itself when it has no row or the language is
// Ukrainian. Returns a pointer into the table, or `text`; never null.
const char* tr(const char* text);
// The same in a given language (0..6; anything else reads as English).
const char* trIn(int language, const char* text);

// The looked-up text with its "%@" placeholders filled (base/placeholders.h):
// placeholders left over stay; extra arguments are ignored.
template <typename... Args>
std::string trFormat(const char* text, const Args&... args) {
  return fillPlaceholders(tr(text), {std::string_view(args)...});
}

template <typename... Args>
std::string trFormatIn(int language, const char* text, const Args&... args) {
  return fillPlaceholders(trIn(language, text), {std::string_view(args)...});
}

// "Українська", "English", "Deutsch", ...; English out of range.
const char* languageName(int index);
// "UA", "EN", "DE", "PL", "ES", "FR", "IT"; "EN" out of range.
const char* languageShort(int index);

// "N days until New Year" in the current UI language, with each language's
// own plural forms.
std::string newYearCountdown(int days);
std::string newYearCountdown(int days, int language);
