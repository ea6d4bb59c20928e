#pragma once
// The drawn tray menu window ("QuillarMenu"): a layered, topmost panel at the
// cursor. Main thread only.
#include <windows.h>

#include <functional>
#include <vector>

#include "ui/menu_model.h"

namespace kui {

// Closes a menu that is still open and opens one with `items` at the cursor.
// False when it cannot be drawn (logged); the caller then shows the Windows
// menu. `onCommand` gets the chosen item's command after the menu is gone;
// `onClosed` is told whenever the menu closes, chosen or not.
bool trayMenuShow(std::vector<MenuItem> items, std::function<void(Command)> onCommand,
                  std::function<void()> onClosed);
void trayMenuClose();
// The menu's window, null while none is open.
HWND trayMenuWindow();

}  // namespace kui
