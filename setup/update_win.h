#pragma once
// Update check and install: asks the update service for the newest version,
// tells the user once per version, downloads the setup, checks its SHA-256
// and starts it with "/update". The calls below are made on the main thread;
// the readers may be called from any thread.
#include <functional>
#include <string>

struct UpdateHooks {
  // Main thread, after every change of the state or the progress.
  std::function<void()> repaint;
  // Main thread: the tray notice (title, text, both in the UI language);
  // false when it could not be shown (no tray icon yet).
  std::function<bool(const std::string& title, const std::string& text)> notify;
};
// Before the first check.
void updateSetHooks(UpdateHooks hooks);

// A check, unless one runs or an update is on its way; `manual` when the
// user asked for it (a failure is then shown, and no notice comes).
void updateCheck(bool manual);
// Opening the settings window: a check when the last one is 10 minutes old.
void staleCheck();
// The six-hour timer: a check when the last one is old enough.
void periodicCheck();
// Downloads the offered update, checks it and starts it.
void updateInstall();

int updateStateNow();          // UpdateState (setup/update.h)
float updateProgressNow();     // 0..1 while downloading
std::string updateNewestVersion();  // from the last valid answer; empty before one
std::string updateErrorText();      // source text of the UI table; empty when none
