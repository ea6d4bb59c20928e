#pragma once
// The settings store on the registry of the current user: the shell's record
// under Software\Kovra, the shared values under Software\Quillar, the UI
// language choice and the "start with Windows" entry. Main thread only.
#include <windows.h>

#include <string>

#include "base/settings.h"

// Reads the sixteen values of Software\Kovra into `s`. When the key cannot be
// opened, returns that error and leaves `s` as it is.
LSTATUS settingsLoad(Settings& s);
// Writes all sixteen values; a failure to open the key returns its error and
// writes nothing, failures of single values are ignored.
LSTATUS settingsSave(const Settings& s);

// Once at start, before settingsLoad: the Windows language from the user's
// preferred UI languages, then "Language" and "KOVRA_LANG" for the UI language.
void languageChoose();
// From the settings window: 0..6 picks a language, anything else follows
// Windows; stores "Language" and logs the new code.
void languageSet(int index);

// True when the Run entry "Kovra" names this executable.
bool autostartIsOn();
void autostartSet(bool on);

// Shared values under Software\Quillar. A missing key or value, or one of
// another type, reads as "" or as `def`; writes create the key when missing.
std::string quillarReadString(const wchar_t* name);
void quillarWriteString(const wchar_t* name, const std::string& utf8);
DWORD quillarReadDword(const wchar_t* name, DWORD def);
void quillarWriteDword(const wchar_t* name, DWORD value);
