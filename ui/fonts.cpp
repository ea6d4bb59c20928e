// Font family fallbacks by kind.
#include "ui/fonts.h"

#include "ui/painter.h"

namespace kui {
namespace {

const char* const kSerif[] = {"Georgia", "Cambria", "Times New Roman", "DejaVu Serif", "Liberation Serif",
                              "Noto Serif"};
const char* const kUi[] = {"Segoe UI Variable Text", "Segoe UI", "Tahoma", "Arial", "DejaVu Sans", "Liberation Sans",
                           "Noto Sans"};
const char* const kMono[] = {"Consolas", "Cascadia Mono", "Courier New", "DejaVu Sans Mono", "Liberation Mono",
                             "Noto Sans Mono"};

template <size_t N>
std::string firstPresent(const char* const (&names)[N], const std::function<bool(const std::string&)>& has,
                         const std::string& fallback) {
  for (const char* n : names)
    if (has && has(n)) return n;
  return fallback;
}

}  // namespace

FontChoice chooseFonts(const std::function<bool(const std::string&)>& has, const std::string& anyFamily) {
  FontChoice f;
  f.ui = firstPresent(kUi, has, anyFamily);
  // A serif or monospace face missing altogether reads better in the UI face
  // than in whatever the collection lists first.
  f.serif = firstPresent(kSerif, has, f.ui);
  f.mono = firstPresent(kMono, has, f.ui);
  return f;
}

const std::string& styleFamily(const FontChoice& fonts, int style) {
  const int family = style >= 0 && style < kStyleCount ? kTextStyles[style].family : 1;
  return family == 0 ? fonts.serif : family == 2 ? fonts.mono : fonts.ui;
}

std::string windowFontsText(const FontChoice& fonts) {
  std::string ui = fonts.ui == "Segoe UI Variable Text" ? std::string("Segoe UI Variable") : fonts.ui;
  std::string s = ui + " + " + fonts.serif;
  if (fonts.mono != "Consolas") s += " (monospace: " + fonts.mono + ")";
  return s;
}

}  // namespace kui
