#pragma once
// Fixed settings of the HTTP client, shared by the Win32 side and its tests.
#include <cstddef>
#include <cstdint>
#include <string_view>

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

// Every request identifies the program and where to reach its makers.
#define QUILLAR_HTTP_USER_AGENT "Kovra/" QUILLAR_VERSION " (Windows; +https://quillar.app)"

constexpr size_t kHttpAnswerLimit = 4194304;  // httpRequest keeps at most this much

// Per-call time-outs in milliseconds.
constexpr int kHttpResolveTimeoutMs = 10000;
constexpr int kHttpConnectTimeoutMs = 10000;
constexpr int kHttpSendTimeoutMs = 20000;
constexpr int kHttpReceiveTimeoutMs = 20000;
constexpr int kHttpDownloadReceiveTimeoutMs = 60000;

// A download grows under this suffix and takes the final name only when whole.
#define QUILLAR_PARTIAL_SUFFIX ".part"

// Download size limit for callers that do not give one yet. Every caller
// should pass its own: pictures and setup files have known sizes.
constexpr uint64_t kHttpDownloadDefaultLimit = 256ull * 1024 * 1024;

// Reads the text of a Content-Length header: decimal digits only (blanks
// around them allowed), no sign, no overflow. False when it is malformed,
// which makes the answer a failed one rather than one without a length.
bool httpContentLength(std::string_view text, uint64_t& bytes);
