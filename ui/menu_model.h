#pragma once
// What the tray menu holds, independent of how it is shown: the drawn menu
// and the classic Windows popup menu are both built from these items.
#include <string>
#include <vector>

#include "base/command.h"


enum class MenuStyle : int { Plain = 0, Switch = 1, Radio = 2, Highlighted = 3, Quit = 4 };
enum class MenuKind : int { Header, Status, Command, Separator };

struct MenuItem {
  MenuKind kind = MenuKind::Command;
  std::string text;       // already in the UI language
  std::string secondary;  // shortcut or version; may be empty
  int icon = -1;          // picture index of the drawn menu, -1 none
  Command command = Command::None;  // None for lines that cannot be chosen
  MenuStyle style = MenuStyle::Plain;
  bool checked = false;   // radio: the chosen one; switch: on; status: it snows
  bool selectable = false;
};

struct MenuState {
  bool paused = false;
  bool smartPauseHides = false;  // a smart-pause reason hides the snow
  int weather = 1;               // 0, 1, 2
  std::string updateVersion;     // offered update, empty when there is none
};

// The tray menu's items, in order, with texts in the current UI language.
std::vector<MenuItem> trayMenuItems(const MenuState& state);

// One line of the classic popup menu.
struct ClassicEntry {
  bool separator = false;
  std::string text;  // hint after a tab
  Command command = Command::None;
  bool grayed = false;
  bool radioChecked = false;
};

// The classic menu for the same items: the title line (grayed) and a
// separator first, then the rest in order, status lines grayed.
std::vector<ClassicEntry> classicMenuEntries(const std::vector<MenuItem>& items);
