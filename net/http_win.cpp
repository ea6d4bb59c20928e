#include <windows.h>
#include <winhttp.h>

#include <cstdint>
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

// What a sink makes of one chunk of the answer.
enum class Chunk {
  Taken,
  Refused,  // the exchange logs that the answer broke off
  Enough,   // the caller stops here and reports why itself
};
using Sink = std::function<Chunk(const char* data, DWORD size)>;

// The announced length, for a download.
struct Announced {
  uint64_t limit = UINT64_MAX;  // a longer announced answer is not read at all
  uint64_t bytes = 0;           // 0 when none was announced
  bool malformed = false;
  bool tooLarge = false;
  std::string text;  // the header as sent, when malformed
};

struct Exchange {
  const std::string& method;
  const std::string& url;
  const std::string& body;
  const std::string& headers;
  const Sink& sink;
  Announced* announced;  // null when the length is not wanted
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

// A missing header is no length; one that is there but does not read as a
// number (or does not fit the buffer) is malformed, never "no length".
void readContentLength(HINTERNET request, Announced& out) {
  wchar_t text[32] = {};  // 64 bytes
  DWORD size = sizeof text - sizeof(wchar_t);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    if (GetLastError() != ERROR_WINHTTP_HEADER_NOT_FOUND) {
      out.malformed = true;
      out.text = "(too long)";
    }
    return;
  }
  out.text = toUtf8(std::wstring(text, size / sizeof(wchar_t)));
  out.malformed = !httpContentLength(out.text, out.bytes);
}

// One request from start to end; `status` stays 0 unless an answer arrived
// and was read to its end.
bool exchange(const Exchange& x, int& status) {
  status = 0;
  const std::string safeUrl = logSafe(x.url);
  UrlParts url;
  if (!urlParse(x.url, url)) {
    logLine("http: bad url %s", safeUrl.c_str());
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
    logLine("http: connect to %s failed (%lu)", safeUrl.c_str(), GetLastError());
    return false;
  }

  std::wstring verb = toWide(x.method);
  std::wstring object = toWide(url.object());
  NetHandle request(WinHttpOpenRequest(connection.get(), verb.c_str(), object.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       url.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    logLine("http: connect to %s failed (%lu)", safeUrl.c_str(), GetLastError());
    return false;
  }

  std::wstring headers = toWide(x.headers);
  DWORD bodySize = static_cast<DWORD>(x.body.size());
  LPVOID bodyData = x.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(x.body.data());
  BOOL sent = WinHttpSendRequest(request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                 headers.empty() ? 0 : static_cast<DWORD>(-1L), bodyData, bodySize, bodySize, 0);
  if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) {
    logLine("http: %s %s failed (%lu)", x.method.c_str(), safeUrl.c_str(), GetLastError());
    return false;
  }

  DWORD code = 0;
  DWORD codeSize = sizeof code;
  if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX))
    status = static_cast<int>(code);
  if (x.announced) {
    readContentLength(request.get(), *x.announced);
    x.announced->tooLarge = !x.announced->malformed && x.announced->bytes > x.announced->limit;
    if (x.announced->malformed || x.announced->tooLarge) {
      status = 0;  // judged and reported by the caller; the body is not read
      return false;
    }
  }

  std::vector<char> buffer;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) {
      logLine("http: %s %s — the answer broke off (%lu)", x.method.c_str(), safeUrl.c_str(), GetLastError());
      status = 0;
      break;
    }
    if (available == 0) break;
    if (buffer.size() < available) buffer.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), buffer.data(), available, &read)) {
      logLine("http: %s %s — the answer broke off (%lu)", x.method.c_str(), safeUrl.c_str(), GetLastError());
      status = 0;
      break;
    }
    if (read == 0) break;  // end of the answer after all
    Chunk taken = x.sink(buffer.data(), read);
    if (taken != Chunk::Taken) {
      if (taken == Chunk::Refused)
        logLine("http: %s %s — the answer broke off (%lu)", x.method.c_str(), safeUrl.c_str(), GetLastError());
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
    if (response.size() + size > kHttpAnswerLimit) return Chunk::Refused;
    response.append(data, size);
    return Chunk::Taken;
  };
  Exchange x{method, url, body, headers, sink, nullptr, kHttpReceiveTimeoutMs};
  return exchange(x, status);
}

bool httpDownload(const std::string& url, const std::wstring& path, uint64_t maxBytes, const HttpProgress& progress) {
  const std::string safeUrl = logSafe(url);
  std::wstring partial = path + L"" QUILLAR_PARTIAL_SUFFIX;
  UniqueHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) {
    logLine("download: cannot write %s (%lu)", logSafe(toUtf8(partial)).c_str(), GetLastError());
    return false;
  }

  bool written = true;
  bool tooLarge = false;
  uint64_t received = 0;
  Announced announced;
  announced.limit = maxBytes;
  Sink sink = [&](const char* data, DWORD size) {
    // An answer without a length (or one that lies) stops at the limit too,
    // before the disk fills.
    if (size > maxBytes - received) {
      tooLarge = true;
      return Chunk::Enough;
    }
    DWORD done = 0;
    if (!WriteFile(file.get(), data, size, &done, nullptr) || done != size) {
      written = false;
      return Chunk::Refused;
    }
    received += size;
    if (progress) progress(received, announced.bytes);
    return Chunk::Taken;
  };
  static const std::string kGet = "GET", kNone;
  Exchange x{kGet, url, kNone, kNone, sink, &announced, kHttpDownloadReceiveTimeoutMs};
  int status = 0;
  bool ok = exchange(x, status);
  file.reset();

  if (ok && written && status == 200 && (announced.bytes == 0 || received == announced.bytes)) {
    if (MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    logLine("download: cannot move %s into place (%lu)", logSafe(toUtf8(partial)).c_str(), GetLastError());
    return false;
  }
  if (announced.malformed)
    logLine("download %s: malformed Content-Length \"%s\"", safeUrl.c_str(), logSafe(announced.text).c_str());
  else if (announced.tooLarge || tooLarge)
    logLine("download %s: larger than the limit of %llu bytes", safeUrl.c_str(),
            static_cast<unsigned long long>(maxBytes));
  else
    logLine("download %s: HTTP %d, %llu of %llu bytes", safeUrl.c_str(), status,
            static_cast<unsigned long long>(received), static_cast<unsigned long long>(announced.bytes));
  DeleteFileW(partial.c_str());
  return false;
}
