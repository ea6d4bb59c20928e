#include <windows.h>
#include <winhttp.h>

#include <cwchar>
#include <string>
#include <vector>

#include "net/http_win.h"
#include "net/url.h"
#include "base/log.h"
#include "base/win_util_win.h"

#ifndef WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3
#define WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3 0x00002000
#endif

namespace {

// Owns one WinHTTP handle (session, connection or request).
class NetHandle {
 public:
  NetHandle() = default;
  explicit NetHandle(HINTERNET h) : h_(h) {}
  ~NetHandle() { reset(); }
  NetHandle(const NetHandle&) = delete;
  NetHandle& operator=(const NetHandle&) = delete;
  void reset(HINTERNET h = nullptr) {
    if (h_) WinHttpCloseHandle(h_);
    h_ = h;
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_ = nullptr;
};

using Sink = std::function<bool(const char* data, DWORD size)>;

struct Exchange {
  const std::string& method;
  const std::string& url;
  const std::string& body;
  const std::string& headers;
  const Sink& sink;
  uint64_t* announced;  // null when the length is not wanted
  int receiveTimeoutMs;
};

HINTERNET openSession() {
  static const std::wstring agent = toWide(QUILLAR_HTTP_USER_AGENT);
  HINTERNET s = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
  if (!s)
    s = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                    WINHTTP_NO_PROXY_BYPASS, 0);
  return s;
}

void configureSession(HINTERNET session, int receiveTimeoutMs) {
  WinHttpSetTimeouts(session, kHttpResolveTimeoutMs, kHttpConnectTimeoutMs, kHttpSendTimeoutMs, receiveTimeoutMs);
  // Systems without TLS 1.3 refuse the combined flags; TLS 1.2 alone then.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  }
}

uint64_t contentLength(HINTERNET request) {
  wchar_t text[32] = {};  // 64 bytes
  DWORD size = sizeof text - sizeof(wchar_t);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX))
    return 0;
  return std::wcstoull(text, nullptr, 10);
}

// One request from start to end; `status` stays 0 unless an answer arrived
// and was read to its end.
bool exchange(const Exchange& x, int& status) {
  status = 0;
  UrlParts url;
  if (!urlParse(x.url, url)) {
    logLine("http: bad url %s", x.url.c_str());
    return false;
  }

  NetHandle session(openSession());
  if (!session) {
    logLine("http: WinHttpOpen failed (%lu)", GetLastError());
    return false;
  }
  configureSession(session.get(), x.receiveTimeoutMs);

  std::wstring host = toWide(url.host);
  NetHandle connection(WinHttpConnect(session.get(), host.c_str(), url.port, 0));
  if (!connection) {
    logLine("http: connect to %s failed (%lu)", x.url.c_str(), GetLastError());
    return false;
  }

  std::wstring verb = toWide(x.method);
  std::wstring object = toWide(url.object());
  NetHandle request(WinHttpOpenRequest(connection.get(), verb.c_str(), object.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       url.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    logLine("http: connect to %s failed (%lu)", x.url.c_str(), GetLastError());
    return false;
  }

  std::wstring headers = toWide(x.headers);
  DWORD bodySize = static_cast<DWORD>(x.body.size());
  LPVOID bodyData = x.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(x.body.data());
  BOOL sent = WinHttpSendRequest(request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                 headers.empty() ? 0 : static_cast<DWORD>(-1L), bodyData, bodySize, bodySize, 0);
  if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) {
    logLine("http: %s %s failed (%lu)", x.method.c_str(), x.url.c_str(), GetLastError());
    return false;
  }

  DWORD code = 0;
  DWORD codeSize = sizeof code;
  if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX))
    status = static_cast<int>(code);
  if (x.announced) *x.announced = contentLength(request.get());

  std::vector<char> buffer;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) {
      logLine("http: %s %s — the answer broke off (%lu)", x.method.c_str(), x.url.c_str(), GetLastError());
      status = 0;
      break;
    }
    if (available == 0) break;
    if (buffer.size() < available) buffer.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), buffer.data(), available, &read)) {
      logLine("http: %s %s — the answer broke off (%lu)", x.method.c_str(), x.url.c_str(), GetLastError());
      status = 0;
      break;
    }
    if (read == 0) break;  // end of the answer after all
    if (!x.sink(buffer.data(), read)) {
      logLine("http: %s %s — the answer broke off (%lu)", x.method.c_str(), x.url.c_str(), GetLastError());
      status = 0;
      break;
    }
  }
  return status != 0;
}

}  // namespace

bool httpRequest(const std::string& method, const std::string& url, const std::string& body,
                 const std::string& headers, std::string& response, int& status) {
  response.clear();
  Sink sink = [&response](const char* data, DWORD size) {
    if (response.size() + size > kHttpAnswerLimit) return false;
    response.append(data, size);
    return true;
  };
  Exchange x{method, url, body, headers, sink, nullptr, kHttpReceiveTimeoutMs};
  return exchange(x, status);
}

bool httpDownload(const std::string& url, const std::wstring& path, const HttpProgress& progress) {
  std::wstring partial = path + L"" QUILLAR_PARTIAL_SUFFIX;
  UniqueHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) {
    logLine("download: cannot write %s (%lu)", toUtf8(partial).c_str(), GetLastError());
    return false;
  }

  bool written = true;
  uint64_t received = 0;
  uint64_t announced = 0;
  Sink sink = [&](const char* data, DWORD size) {
    DWORD done = 0;
    if (!WriteFile(file.get(), data, size, &done, nullptr) || done != size) {
      written = false;
      return false;
    }
    received += size;
    if (progress) progress(received, announced);
    return true;
  };
  static const std::string kGet = "GET", kNone;
  Exchange x{kGet, url, kNone, kNone, sink, &announced, kHttpDownloadReceiveTimeoutMs};
  int status = 0;
  bool ok = exchange(x, status);
  file.reset();

  if (ok && written && status == 200 && (announced == 0 || received == announced)) {
    if (MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    logLine("download: cannot move %s into place (%lu)", toUtf8(partial).c_str(), GetLastError());
    return false;
  }
  logLine("download %s: HTTP %d, %llu of %llu bytes", url.c_str(), status, static_cast<unsigned long long>(received),
          static_cast<unsigned long long>(announced));
  DeleteFileW(partial.c_str());
  return false;
}
