#include "net/service_base_win.h"

#include "base/log.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "net/service_base.h"

std::string serviceBaseFromSettings(const wchar_t* valueName, const char* builtIn, const char* module) {
  std::string value = quillarReadString(valueName);
  ServiceBase b = serviceBase(value, builtIn);
  if (b.overridden) logLine("%s: server %s (%s)", module, b.base.c_str(), toUtf8(valueName).c_str());
  if (b.refused) logLine("%s: %s %s refused, using %s", module, toUtf8(valueName).c_str(), value.c_str(), builtIn);
  return b.base;
}
