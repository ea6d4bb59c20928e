#pragma once
// Sets the UI language for one test and puts the previous one back.

#include "base/settings.h"

class UiLanguage {
 public:
  explicit UiLanguage(int language) : ui_(uiLanguage()), windows_(windowsLanguage()) {
    setLanguageState(language, windows_);
  }
  ~UiLanguage() { setLanguageState(ui_, windows_); }

 private:
  int ui_, windows_;
};
