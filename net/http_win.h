#pragma once
// Blocking HTTP over WinHTTP, for worker threads (runWorker). Each call opens
// and closes its own session: no keep-alive, cookies or cache.
#include <cstdint>
#include <functional>
#include <string>

#include "net/http.h"

// (bytes received so far, announced length or 0); runs on the calling thread.
using HttpProgress = std::function<void(uint64_t received, uint64_t announced)>;

// Sends `body` (may be empty) with `headers` (CRLF-separated lines, may be
// empty) and keeps up to kHttpAnswerLimit bytes of the answer in `response`.
// True when a status arrived and the whole answer was read; the status is
// not judged (a 404 and its page come back as true). `status` is 0 when no
// answer came or it broke off.
bool httpRequest(const std::string& method, const std::string& url, const std::string& body,
                 const std::string& headers, std::string& response, int& status);

// Fetches `url` into `path` through `path` + ".part". True only when the
// whole file (status 200, the announced length if any, at most `maxBytes`)
// is in place at `path`; otherwise the partial file is removed, an older
// file at `path` is left untouched and one line says why. An announced
// length above `maxBytes` is refused before the body is read; a malformed
// Content-Length fails the download.
bool httpDownload(const std::string& url, const std::wstring& path, uint64_t maxBytes,
                  const HttpProgress& progress = {});

// For callers not yet given a limit (kHttpDownloadDefaultLimit); pass one.
inline bool httpDownload(const std::string& url, const std::wstring& path, const HttpProgress& progress = {}) {
  return httpDownload(url, path, kHttpDownloadDefaultLimit, progress);
}
