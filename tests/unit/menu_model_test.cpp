#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/settings.h"
#include "ui/menu_model.h"
#include "ui/text.h"
#include "ui_language.h"

namespace {

std::vector<int> commands(const std::vector<MenuItem>& items) {
  std::vector<int> out;
  for (const MenuItem& m : items) out.push_back(m.kind == MenuKind::Separator ? -1 : static_cast<int>(m.command));
  return out;
}

const MenuItem* find(const std::vector<MenuItem>& items, int id) {
  for (const MenuItem& m : items)
    if (m.kind == MenuKind::Command && static_cast<int>(m.command) == id) return &m;
  return nullptr;
}

const MenuItem* find(const std::vector<MenuItem>& items, Command command) {
  for (const MenuItem& m : items)
    if (m.kind == MenuKind::Command && m.command == command) return &m;
  return nullptr;
}

TEST(TrayMenuModel, WhileSnowing) {
  UiLanguage en(1);
  MenuState s;
  s.weather = 2;
  auto items = trayMenuItems(s);
  EXPECT_EQ(commands(items),
            (std::vector<int>{0, 0, 100, -1, 101, 102, 103, -1, 124, 126, -1, 121, 128, -1, 119, 120}));

  EXPECT_EQ(items[0].kind, MenuKind::Header);
  EXPECT_EQ(items[0].text, "Quillar");
  EXPECT_EQ(items[0].secondary, "0.9.20");
  EXPECT_EQ(items[1].kind, MenuKind::Status);
  EXPECT_EQ(items[1].text, "It's snowing");
  for (int i : {0, 1}) EXPECT_FALSE(items[i].selectable);

  const MenuItem* pause = find(items, Command::TogglePause);
  ASSERT_TRUE(pause);
  EXPECT_EQ(pause->text, "Pause");
  EXPECT_EQ(pause->secondary, "Ctrl+Alt+D");
  EXPECT_EQ(pause->style, MenuStyle::Switch);
  EXPECT_TRUE(pause->checked) << "the switch is on while it snows";

  EXPECT_EQ(find(items, 101)->text, "Light snow");
  EXPECT_EQ(find(items, 102)->text, "Steady snowfall");
  EXPECT_EQ(find(items, 103)->text, "Blizzard");
  for (int id : {101, 102, 103}) {
    EXPECT_EQ(find(items, id)->style, MenuStyle::Radio);
    EXPECT_EQ(find(items, id)->checked, id == 103) << id;
  }
  EXPECT_EQ(find(items, Command::CallSanta)->text, "Call Santa now");
  EXPECT_EQ(find(items, Command::Fireworks)->text, "Fireworks now");
  EXPECT_EQ(find(items, Command::OpenSettings)->text, "Open Quillar…");
  EXPECT_EQ(find(items, Command::OpenSettings)->style, MenuStyle::Highlighted);
  EXPECT_EQ(find(items, Command::Contact)->text, "Contact us…");
  EXPECT_EQ(find(items, Command::OpenLog)->text, "Log for the developer…");
  EXPECT_EQ(find(items, Command::Quit)->text, "Quit Quillar");
  EXPECT_EQ(find(items, Command::Quit)->style, MenuStyle::Quit);
  for (const MenuItem& m : items) {
    if (m.kind == MenuKind::Command) {
      EXPECT_TRUE(m.selectable) << m.text;
    }
  }
}

TEST(TrayMenuModel, PausedHidesTheShowAnywayEntry) {
  UiLanguage en(1);
  MenuState s;
  s.paused = true;
  s.smartPauseHides = true;
  auto items = trayMenuItems(s);
  EXPECT_EQ(items[1].text, "Snow is paused");
  EXPECT_EQ(find(items, Command::TogglePause)->text, "Turn snow on");
  EXPECT_FALSE(find(items, Command::TogglePause)->checked);
  EXPECT_EQ(find(items, Command::ShowAnyway), nullptr);
}

TEST(TrayMenuModel, SmartPauseOffersToShowTheSnow) {
  UiLanguage en(1);
  MenuState s;
  s.smartPauseHides = true;
  auto items = trayMenuItems(s);
  EXPECT_EQ(items[1].text, "Snow is hidden");
  EXPECT_EQ(commands(items),
            (std::vector<int>{0, 0, 100, 129, -1, 101, 102, 103, -1, 124, 126, -1, 121, 128, -1, 119, 120}));
  EXPECT_EQ(find(items, Command::ShowAnyway)->text, "Show the snow anyway");
}

TEST(TrayMenuModel, OfferedUpdateAndOddWeather) {
  UiLanguage de(2);
  MenuState s;
  s.updateVersion = "1.2.3";
  s.weather = 7;
  auto items = trayMenuItems(s);
  const MenuItem* update = find(items, Command::UpdateInstallAndShow);
  ASSERT_TRUE(update);
  EXPECT_EQ(update->text, "Auf 1.2.3 aktualisieren");
  EXPECT_EQ(update->style, MenuStyle::Highlighted);
  EXPECT_EQ(items[&*update - &items[0] - 1].command, Command::Fireworks) << "right after the fireworks";
  for (int id : {101, 102, 103}) EXPECT_FALSE(find(items, id)->checked);
  EXPECT_EQ(find(items, Command::TogglePause)->secondary, "Strg+Alt+D");
}

TEST(TrayMenuModel, EveryTextIsTranslated) {
  MenuState states[3];
  states[1].paused = true;
  states[2].smartPauseHides = true;
  states[2].updateVersion = "9.9";
  for (const MenuState& s : states) {
    std::vector<MenuItem> source;
    {
      UiLanguage uk(0);
      source = trayMenuItems(s);
    }
    for (int lang = 1; lang < kLanguageCount; ++lang) {
      UiLanguage l(lang);
      auto items = trayMenuItems(s);
      ASSERT_EQ(items.size(), source.size());
      for (size_t i = 1; i < items.size(); ++i) {
        if (items[i].kind == MenuKind::Separator) continue;
        EXPECT_NE(items[i].text, source[i].text) << "language " << lang << " item " << i;
        EXPECT_FALSE(items[i].text.empty());
      }
    }
  }
}

TEST(ClassicMenu, TitleSeparatorsHintsAndRadioMark) {
  UiLanguage en(1);
  MenuState s;
  s.weather = 0;
  auto entries = classicMenuEntries(trayMenuItems(s));
  ASSERT_GE(entries.size(), 4u);
  EXPECT_EQ(entries[0].text, "Quillar 0.9.20");
  EXPECT_TRUE(entries[0].grayed);
  EXPECT_TRUE(entries[1].separator);
  EXPECT_EQ(entries[2].text, "It's snowing");
  EXPECT_TRUE(entries[2].grayed);
  EXPECT_EQ(entries[2].command, Command::None);
  EXPECT_EQ(entries[3].text, "Pause\tCtrl+Alt+D");
  EXPECT_EQ(entries[3].command, Command::TogglePause);
  EXPECT_FALSE(entries[3].grayed);

  std::vector<int> ids;
  for (size_t i = 0; i < entries.size(); ++i) {
    const ClassicEntry& e = entries[i];
    if (e.separator) {
      EXPECT_FALSE(i > 0 && entries[i - 1].separator) << "two separators at " << i;
      ids.push_back(-1);
      continue;
    }
    ids.push_back(static_cast<int>(e.command));
    EXPECT_EQ(e.radioChecked, e.command == Command::LightSnow) << e.text;
  }
  EXPECT_FALSE(entries.back().separator);
  EXPECT_EQ(ids, (std::vector<int>{0, -1, 0, 100, -1, 101, 102, 103, -1, 124, 126, -1, 121, 128, -1, 119, 120}));
}

}  // namespace
