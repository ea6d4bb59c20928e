#include "base/settings_win.h"

#include <optional>
#include <vector>

#include "base/log.h"
#include "base/win_util_win.h"

static_assert(kRegTypeString == REG_SZ && kRegTypeDword == REG_DWORD, "registry type codes");
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

namespace {

const wchar_t kKovraKey[] = L"Software\\Kovra";
const wchar_t kQuillarKey[] = L"Software\\Quillar";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValue[] = L"Kovra";

// Buffer sizes of the string reads, in bytes.
constexpr DWORD kSharedStringBytes = 2046;
constexpr DWORD kRunEntryBytes = 1046;

std::optional<uint32_t> queryDword(HKEY key, const wchar_t* name) {
  // The type is reset for every query so a missing value never shows the
  // type of the one read before it.
  DWORD type = REG_NONE;
  DWORD data = 0;
  DWORD size = sizeof data;
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  return dwordFromQuery(status == ERROR_SUCCESS, type, size, data);
}

// Reads a REG_SZ into a buffer of `bufferBytes`; empty when missing, of
// another type or longer than the buffer. Data without its terminating zero
// is cut at the end of what was returned.
std::optional<std::wstring> queryString(HKEY key, const wchar_t* name, DWORD bufferBytes) {
  std::vector<wchar_t> buf(bufferBytes / sizeof(wchar_t), L'\0');
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
  if (!stringQueryUsable(status == ERROR_SUCCESS, type)) return std::nullopt;
  size_t n = registryStringLength(buf.data(), size, buf.size() * sizeof(wchar_t));
  return std::wstring(buf.data(), n);
}

std::u16string asU16(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

std::wstring exePath() { return moduleFileName(); }

std::vector<std::u16string> preferredUiLanguages() {
  ULONG count = 0;
  ULONG units = 0;
  if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &units) || units == 0) return {};
  std::vector<wchar_t> list(units, L'\0');
  if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, list.data(), &units)) return {};
  return splitNameList(list.data(), units < list.size() ? units : list.size());
}

std::optional<std::u16string> languageOverride() {
  DWORD need = GetEnvironmentVariableW(L"KOVRA_LANG", nullptr, 0);
  if (need == 0) return std::nullopt;
  std::vector<wchar_t> buf(need, L'\0');
  DWORD n = GetEnvironmentVariableW(L"KOVRA_LANG", buf.data(), need);
  if (n >= need) return std::nullopt;  // changed in between
  return std::u16string(buf.begin(), buf.begin() + n);
}

}  // namespace

LSTATUS settingsLoad(Settings& s) {
  UniqueHkey key;
  LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kKovraKey, 0, KEY_QUERY_VALUE, key.put());
  if (status != ERROR_SUCCESS) return status;

  class Source : public SettingsSource {
   public:
    explicit Source(HKEY k) : key_(k) {}
    std::optional<uint32_t> readDword(const char* name) const override {
      return queryDword(key_, toWide(name).c_str());
    }

   private:
    HKEY key_;
  } source(key.get());

  s = settingsFromSource(source);
  return ERROR_SUCCESS;
}

LSTATUS settingsSave(const Settings& s) {
  UniqueHkey key;
  LSTATUS status =
      RegCreateKeyExW(HKEY_CURRENT_USER, kKovraKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  for (const auto& [name, value] : settingsToValues(s)) {
    DWORD data = value;
    RegSetValueExW(key.get(), toWide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  }
  return ERROR_SUCCESS;
}

void languageChoose() {
  setLanguageState(kLanguageEnglish, kLanguageEnglish);
  std::optional<uint32_t> stored;
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKovraKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS)
    stored = queryDword(key.get(), L"Language");
  LanguageChoice c = languageResolve(preferredUiLanguages(), stored, languageOverride());
  setLanguageState(c.ui, c.windows);
}

void languageSet(int index) {
  LanguagePick p = languagePick(index, windowsLanguage());
  setLanguageState(p.ui, windowsLanguage());
  UniqueHkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKovraKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) ==
      ERROR_SUCCESS) {
    DWORD data = p.stored;
    RegSetValueExW(key.get(), L"Language", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  }
  logLine("language: %s", languageCode(p.ui));
}

bool autostartIsOn() {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
  std::optional<std::wstring> entry = queryString(key.get(), kRunValue, kRunEntryBytes);
  if (!entry) return false;
  return autostartEntryMatches(asU16(*entry), asU16(exePath()));
}

void autostartSet(bool on) {
  UniqueHkey key;
  // Created when missing: a fresh profile may not have the Run key yet.
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  if (on) {
    std::u16string entry = autostartEntry(asU16(exePath()));
    std::wstring wide(entry.begin(), entry.end());
    RegSetValueExW(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    logLine("autostart %s", "on");
  } else {
    RegDeleteValueW(key.get(), kRunValue);
    logLine("autostart %s", "off");
  }
}

std::string quillarReadString(const wchar_t* name) {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kQuillarKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return std::string();
  std::optional<std::wstring> value = queryString(key.get(), name, kSharedStringBytes);
  return value ? toUtf8(*value) : std::string();
}

void quillarWriteString(const wchar_t* name, const std::string& utf8) {
  UniqueHkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kQuillarKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  std::wstring wide = toWide(utf8);
  RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

DWORD quillarReadDword(const wchar_t* name, DWORD def) {
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kQuillarKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return def;
  std::optional<uint32_t> v = queryDword(key.get(), name);
  return v ? *v : def;
}

void quillarWriteDword(const wchar_t* name, DWORD value) {
  UniqueHkey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kQuillarKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
