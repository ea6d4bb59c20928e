#pragma once
// The Quillar window ("KovraSettings"): one drawn window with its own title
// band and the long settings page. It knows nothing of the core: the shell
// hands it a model provider and a command sink.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/settings_page.h"

namespace kui {

struct SettingsWindowHooks {
  // The live state, asked for before every paint and mouse event.
  std::function<SettingsModel()> model;
  // Applies the edited values and runs a command (settings-window command
  // numbers; 0 = apply only).
  std::function<void(const SettingsValues& values, int command)> command;
  // A language picked in the language menu: 0..6, or -1 for "same as system".
  std::function<void(int language)> language;
  // True while a menu or a move/size loop holds the thread (the shell keeps
  // the snow moving on a timer meanwhile), false afterwards.
  std::function<void(bool modal)> modalLoop;
  // The file of a theme's thumbnail; empty for none.
  std::function<std::wstring(int themeIndex)> themeThumbnail;
  // Called once the window is gone.
  std::function<void()> closed;
};

void settingsWindowSetHooks(SettingsWindowHooks hooks);

// Brings the window to the front, creating it when it does not exist. False
// when it could not be made (logged).
bool settingsWindowOpen();
// Repaints the window when it exists.
void settingsWindowRefresh();
void settingsWindowClose();
// The images (theme thumbnails) are read again at the next paint.
void settingsWindowForgetImages();
// The window, null while it is closed.
HWND settingsWindowHandle();

// The city field's text (UTF-8), and setting it when a city is loaded or found.
std::string settingsWindowCityText();
void settingsWindowSetCityText(const std::string& utf8);

}  // namespace kui
