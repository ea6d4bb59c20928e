#pragma once
// The tray icon of the main window: its two drawn icons, the tooltip, the
// balloon notices and the tray menu. Main thread only.
#include <windows.h>

// (Re)draws the normal and the paused icon at the system's small-icon size.
void trayIconsMake();
void trayIconsDestroy();
// Adds the icon, or brings its picture and tooltip up to date; cheap when
// nothing changed, so the frame tick may call it twice a second.
void trayUpdate();
// A notice from the icon; false (and nothing shown) while the icon is not added.
bool trayBalloon(const char* titleUtf8, const char* textUtf8);
void trayRemove();
bool trayIconAdded();
// Forgets the tooltip last set, so that the next trayUpdate sets it again.
void trayForgetTooltip();
// Explorer started again: the icon has to be added anew.
void trayTaskbarCreated();
// A mouse event on the icon (the low word of the callback's second parameter).
void trayEvent(UINT event);
// The tray menu at the cursor.
void showTrayMenu();
bool trayClassicMenuOpen();
// The drawn menu reports its closing, so that the click that closed it does
// not open it again.
void trayMenuClosed();
