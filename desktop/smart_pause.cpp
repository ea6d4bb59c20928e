#include "desktop/smart_pause.h"

#include <array>
#include <cstring>

const char* const kReasonLowBattery = "low battery";
const char* const kReasonCall = "call or presentation";
const char* const kReasonVideo = "video";

namespace {

constexpr std::array<std::wstring_view, 21> kMediaExecutables = {
    L"chrome.exe",          L"msedge.exe",          L"firefox.exe",     L"opera.exe",
    L"brave.exe",           L"vivaldi.exe",         L"browser.exe",     L"yandex.exe",
    L"arc.exe",             L"vlc.exe",             L"mpc-hc64.exe",    L"mpc-hc.exe",
    L"mpc-be64.exe",        L"PotPlayerMini64.exe", L"PotPlayerMini.exe", L"wmplayer.exe",
    L"Video.UI.exe",        L"Microsoft.Media.Player.exe", L"mpv.exe", L"Netflix.exe",
    L"KMPlayer64.exe",
};

wchar_t lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool equalNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool covers(const PixelRect& outer, const PixelRect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

bool overlaps(const PixelRect& a, const PixelRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

bool lowBatteryFrom(bool statusRead, uint8_t systemStatusFlag, uint8_t acLineStatus, uint8_t batteryPercent) {
  if (!statusRead) return false;
  if (systemStatusFlag == 1) return true;  // battery saver
  // 255 means the charge is unknown: not low.
  return acLineStatus == 0 && batteryPercent <= 15;
}

bool consentEntryInUse(bool startRead, uint64_t start, bool stopRead, uint64_t stop) {
  return startRead && stopRead && start != 0 && stop == 0;
}

bool isMediaExecutable(std::wstring_view imagePath) {
  size_t slash = imagePath.find_last_of(L"\\/");
  std::wstring_view name = slash == std::wstring_view::npos ? imagePath : imagePath.substr(slash + 1);
  for (auto m : kMediaExecutables)
    if (equalNoCase(name, m)) return true;
  return false;
}

const char* smartPauseReasonFrom(bool lowBattery, bool deviceInUse, bool displayRequired, bool mediaInForeground) {
  if (lowBattery) return kReasonLowBattery;
  if (deviceInUse) return kReasonCall;
  if (displayRequired && mediaInForeground) return kReasonVideo;
  return nullptr;
}

bool fullScreenAppOn(const PixelRect& monitor, const std::vector<SurveyedWindow>& windows, uint64_t foreground,
                     uint64_t foregroundRoot) {
  for (const SurveyedWindow& w : windows) {
    if (!overlaps(w.visible, monitor)) continue;
    // A screen-wide tint or another program's overlay, unless the user works in it.
    if (w.layered && covers(w.frame, monitor) && w.window != foreground && w.window != foregroundRoot) continue;
    if (covers(w.visible, monitor) && !w.hasCaption && !w.maximized) return true;
    if (w.topmost) continue;  // a small tool window above does not decide
    return false;
  }
  return false;
}

bool smartPauseFollow(SmartPauseState& s, bool enabled, bool probing, const char* probed, std::string& logText) {
  const char* before = s.current;
  if (enabled && probing && probed) {
    bool overridden = s.override && std::strcmp(s.override, probed) == 0;
    if (!overridden) {
      if (probed != s.current) s.current = probed;
    } else {
      s.current = nullptr;
    }
  } else {
    s.override = nullptr;
    s.current = nullptr;
  }
  if (s.current == before) return false;
  logText = s.current ? s.current : "off";
  return true;
}

bool smartPauseShowAnyway(SmartPauseState& s) {
  if (!s.current) return false;
  s.override = s.current;
  s.current = nullptr;
  return true;
}
