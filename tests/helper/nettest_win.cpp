// Test-only console program for the end-to-end tests: runs one HTTP client
// call inside Wine and prints what came of it, one fact per line.
//
//   quillar-nettest LOG get URL [OUT]                      httpRequest GET
//   quillar-nettest LOG request METHOD URL BODY HEADERS [OUT]
//                       BODY: a file with the body, or "-" for none;
//                       HEADERS: header lines joined by "|", or "-"
//   quillar-nettest LOG download URL TARGET [LIMIT]        httpDownload, at most LIMIT bytes
//                       (64 MiB when not given)
//   quillar-nettest LOG parallel COUNT URL                 COUNT httpRequests on workers
//
// The log of the calls goes to LOG. Output lines:
//   result <0|1> status <code> bytes <n> sha256 <hex>    (get, request, parallel: one per call)
//   progress <received> <announced>                      (download, every callback)
//   result <0|1>                                         (download)
// The exit code is 0 when the call was made, 2 for a bad command line.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/http_win.h"
#include "net/sha256.h"
#include "net/worker.h"
#include "base/log.h"
#include "base/win_util_win.h"

namespace {

void out(const std::string& line) {
  std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string resultLine(bool ok, int status, const std::string& body) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "result %d status %d bytes %zu sha256 ", ok ? 1 : 0, status, body.size());
  return buf + sha256Hex(body);
}

bool readFile(const std::wstring& path, std::string& data) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  std::fclose(f);
  return true;
}

bool writeFile(const std::wstring& path, const std::string& data) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

bool openLog(const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  auto start = std::chrono::steady_clock::now();
  LogClock clock;
  clock.elapsed = [start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  clock.localTime = [](int& h, int& m, int& s) {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    h = st.wHour;
    m = st.wMinute;
    s = st.wSecond;
  };
  logAttach(f, std::move(clock));
  return true;
}

int usage() {
  std::fputs("usage: quillar-nettest LOG get URL [OUT] | request METHOD URL BODY HEADERS [OUT] | "
             "download URL TARGET [LIMIT] | parallel COUNT URL\n",
             stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || !openLog(argv[1])) return usage();
  std::vector<std::string> a;
  for (int i = 2; i < argc; ++i) a.push_back(toUtf8(argv[i]));
  const std::string& command = a[0];

  if (command == "get" && (a.size() == 2 || a.size() == 3)) {
    std::string body;
    int status = -1;
    bool ok = httpRequest("GET", a[1], "", "", body, status);
    out(resultLine(ok, status, body));
    if (a.size() == 3 && !writeFile(argv[4], body)) return usage();
  } else if (command == "request" && (a.size() == 5 || a.size() == 6)) {
    std::string body, headers;
    if (a[3] != "-" && !readFile(argv[5], body)) return usage();
    if (a[4] != "-") {
      headers = a[4];
      for (size_t at; (at = headers.find('|')) != std::string::npos;) headers.replace(at, 1, "\r\n");
    }
    std::string response;
    int status = -1;
    bool ok = httpRequest(a[1], a[2], body, headers, response, status);
    out(resultLine(ok, status, response));
    if (a.size() == 6 && !writeFile(argv[7], response)) return usage();
  } else if (command == "download" && (a.size() == 3 || a.size() == 4)) {
    uint64_t limit = 64ull * 1024 * 1024;
    if (a.size() == 4) {
      char* end = nullptr;
      limit = std::strtoull(a[3].c_str(), &end, 10);
      if (a[3].empty() || *end != '\0') return usage();
    }
    bool ok = httpDownload(a[1], argv[4], limit, [](uint64_t received, uint64_t announced) {
      out("progress " + std::to_string(received) + " " + std::to_string(announced));
    });
    out(ok ? "result 1" : "result 0");
  } else if (command == "parallel" && a.size() == 3) {
    int count = std::atoi(a[1].c_str());
    if (count <= 0 || count > 64) return usage();
    std::vector<std::string> lines(static_cast<size_t>(count));
    std::atomic<int> done{0};
    std::string url = a[2];
    for (int i = 0; i < count; ++i) {
      // Each worker gets its own copies; results come back through `lines`.
      runWorker([i, url, &lines, &done] {
        std::string body;
        int status = -1;
        bool ok = httpRequest("GET", url + (url.find('?') == std::string::npos ? "?" : "&") + "n=" + std::to_string(i),
                              "", "", body, status);
        lines[static_cast<size_t>(i)] = resultLine(ok, status, body);
        done.fetch_add(1);
      });
    }
    for (int waited = 0; done.load() < count && waited < 60000; waited += 10) Sleep(10);
    if (done.load() < count) {
      out("timeout");
      std::fflush(stdout);
      ExitProcess(3);  // workers still hold references to this frame
    }
    for (const auto& l : lines) out(l);
  } else {
    return usage();
  }
  logDetach();
  return 0;
}
