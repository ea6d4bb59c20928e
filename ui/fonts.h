#pragma once
// Which installed font families the window's text styles use. The wanted
// families may be missing (under Wine none of them exist), and a missing
// family would draw nothing, so each kind falls back to a present family of
// the same kind.
#include <functional>
#include <string>

namespace kui {

struct FontChoice {
  std::string serif;  // styles 0..2: Georgia
  std::string ui;     // styles 3..10: Segoe UI Variable Text or Segoe UI
  std::string mono;   // style 11: Consolas
};

// `has(name)` tells whether the system collection holds a family; `anyFamily`
// is one it surely holds (its first), taken when no candidate is present.
FontChoice chooseFonts(const std::function<bool(const std::string&)>& has, const std::string& anyFamily);

// The family of a text style (0..11) in a choice.
const std::string& styleFamily(const FontChoice& fonts, int style);

// The "window fonts:" line: "Segoe UI Variable + Georgia" with the wanted
// families, else the names really used; a monospace fallback is named too.
std::string windowFontsText(const FontChoice& fonts);

}  // namespace kui
