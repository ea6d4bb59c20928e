// "Contact us": a new message in the user's mail program, or the address on
// the clipboard when no mail program takes the link.
#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <string>

#include "base/log.h"
#include "shell/mail.h"
#include "base/settings.h"
#include "shell/shell_win.h"
#include "base/win_util_win.h"
#include "ui/text.h"

namespace {


std::string windowsVersion() {
  unsigned long major = 0, minor = 0, build = 0;
  using Fn = LONG(WINAPI*)(OSVERSIONINFOW*);
  if (auto fn = systemFunction<Fn>(L"ntdll.dll", "RtlGetVersion")) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (fn(&info) == 0) {
      major = info.dwMajorVersion;
      minor = info.dwMinorVersion;
      build = info.dwBuildNumber;
    }
  }
  return windowsVersionText(major, minor, build);
}

void copyToClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(mem)) {
      std::memcpy(p, text.c_str(), bytes);
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

}  // namespace

void contactMail() {
  HWND main = shellState().mainWindow;
  std::string body = contactBody(tr("Напишіть, будь ласка, ваше запитання або що сталося:"),
                                 contactDiagnostics(windowsVersion(), languageCode(uiLanguage())));
  std::wstring link = toWide(contactMailLink(kSupportAddress, tr("Quillar: запитання"), body));

  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_FLAG_NO_UI;
  sei.hwnd = main;
  sei.lpVerb = L"open";
  sei.lpFile = link.c_str();
  sei.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&sei)) {
    logLine("contact: mail app opened (%s)", "general");
    return;
  }
  DWORD err = GetLastError();
  logLine("contact: no mail app (error %lu) — address copied", err);
  copyToClipboard(main, toWide(kSupportAddress));

  std::string text = std::string(tr("Адресу скопійовано")) + "\n\n" +
                     trFormat("Поштова програма не відкрилася. Адреса %@ тепер у буфері обміну — вставте її в лист.",
                              kSupportAddress);
  // The box runs its own message loop; this timer keeps the snow moving meanwhile.
  startTimer(ShellTimer::ModalFrames, 15);
  MessageBoxW(main, toWide(text).c_str(), L"Quillar", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
  stopTimer(ShellTimer::ModalFrames);
}
