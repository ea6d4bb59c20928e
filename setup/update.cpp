#include "setup/update.h"

#include <memory>

#include "net/json.h"
#include "net/service_base.h"
#include "setup/package.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string textOf(const JsonValue* v) { return v && v->kind == JsonKind::String ? v->text : std::string(); }

}  // namespace

std::string updateCheckObject(std::string_view runningVersion) {
  std::string out = "/update/windows.json?v=";
  out += runningVersion;
  return out;
}

bool updateVersionAcceptable(std::string_view v) {
  if (v.empty() || v.size() > 32 || !isDigit(v.front()) || !isDigit(v.back())) return false;
  for (size_t i = 0; i < v.size(); ++i) {
    if (isDigit(v[i])) continue;
    if (v[i] != '.' || v[i + 1] == '.') return false;  // the last character is a digit, so i + 1 exists
  }
  return true;
}

UpdateAnswer updateAnswerRead(bool completed, int status, std::string_view body) {
  UpdateAnswer a;
  if (!completed || status != 200) return a;
  std::unique_ptr<JsonValue> doc = jsonParse(body);
  if (!doc || doc->kind != JsonKind::Object) return a;
  const JsonValue* version = member(*doc, "version");
  const JsonValue* url = member(*doc, "url");
  if (!version || version->kind != JsonKind::String || !url || url->kind != JsonKind::String) return a;
  a.version = version->text;
  a.url = url->text;
  a.sha256 = textOf(member(*doc, "sha256"));
  if (!updateVersionAcceptable(a.version)) a.fault = UpdateFault::BadVersion;
  else if (!urlFetchAllowed(a.url)) a.fault = UpdateFault::BadUrl;
  else a.fault = UpdateFault::None;
  return a;
}

std::string updateSetupFileName(std::string_view version) {
  std::string out = "Quillar-Setup-";
  out += version;
  out += ".exe";
  return out;
}

bool updateCheckAllowed(int state) {
  return state != UpdateChecking && state != UpdateDownloading && state != UpdateInstalling;
}

bool updateStaleCheckWanted(int state, int64_t lastCheck, int64_t now) {
  if (state == UpdateChecking || state == UpdateAvailable || state == UpdateDownloading || state == UpdateInstalling)
    return false;
  return lastCheck == 0 || now < lastCheck || now - lastCheck >= kUpdateStaleAfter;
}

bool updatePeriodicCheckWanted(int state, int64_t lastCheck, int64_t now) {
  if (state == UpdateAvailable || !updateCheckAllowed(state)) return false;
  return lastCheck == 0 || now < lastCheck || now - lastCheck > kUpdatePeriodicAfter;
}

bool updateInstallAllowed(int state) { return state == UpdateAvailable || state == UpdateFailed; }

UpdateCheckResult updateCheckResult(const UpdateAnswer& answer, int status, bool manual,
                                    std::string_view runningVersion) {
  UpdateCheckResult r;
  if (answer.valid()) {
    r.available = compareVersions(answer.version, runningVersion) == 1;
    r.state = r.available ? UpdateAvailable : UpdateUpToDate;
    return r;
  }
  r.error = status != 0 ? kUpdateErrorServer : kUpdateErrorOffline;
  r.state = manual ? UpdateFailed : UpdateIdle;
  return r;
}

bool updateNoticeWanted(bool available, bool manual, std::string_view told, std::string_view newest) {
  return available && !manual && told != newest;
}

float updateProgressFraction(uint64_t received, uint64_t announced) {
  if (announced == 0) return 0;
  if (received >= announced) return 1;
  return static_cast<float>(static_cast<double>(received) / static_cast<double>(announced));
}

bool updateProgressWorthPosting(float lastPosted, float now) {
  return now - lastPosted >= 0.01f || (now >= 1 && lastPosted < 1);
}

bool updateChecksumMatches(std::string_view expected, std::string_view actualLowerHex) {
  return !expected.empty() && expected == actualLowerHex;
}
