// Font families for the text styles, with and without the wanted ones.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/fonts.h"

using namespace kui;

TEST(UiFonts, WantedFamiliesOrPresentOnesOfTheSameKind) {
  struct Case {
    std::set<std::string> installed;
    std::string first;
    const char *ui, *serif, *mono, *line;
  } cases[] = {
      {{"Segoe UI Variable Text", "Segoe UI", "Georgia", "Consolas"}, "Arial", "Segoe UI Variable Text", "Georgia",
       "Consolas", "Segoe UI Variable + Georgia"},
      {{"Segoe UI", "Georgia", "Consolas"}, "Arial", "Segoe UI", "Georgia", "Consolas", "Segoe UI + Georgia"},
      // Wine: only the DejaVu families.
      {{"DejaVu Sans", "DejaVu Sans Mono", "DejaVu Serif"}, "DejaVu Sans", "DejaVu Sans", "DejaVu Serif",
       "DejaVu Sans Mono", "DejaVu Sans + DejaVu Serif (monospace: DejaVu Sans Mono)"},
      // Nothing known: the collection's first family everywhere.
      {{"Ubuntu"}, "Ubuntu", "Ubuntu", "Ubuntu", "Ubuntu", "Ubuntu + Ubuntu (monospace: Ubuntu)"},
  };
  for (const Case& c : cases) {
    FontChoice f = chooseFonts([&](const std::string& n) { return c.installed.count(n) > 0; }, c.first);
    EXPECT_EQ(f.ui, c.ui);
    EXPECT_EQ(f.serif, c.serif);
    EXPECT_EQ(f.mono, c.mono);
    EXPECT_EQ(windowFontsText(f), c.line);
    EXPECT_EQ(styleFamily(f, 0), c.serif);
    EXPECT_EQ(styleFamily(f, 2), c.serif);
    EXPECT_EQ(styleFamily(f, 3), c.ui);
    EXPECT_EQ(styleFamily(f, 10), c.ui);
    EXPECT_EQ(styleFamily(f, 11), c.mono);
  }
}
