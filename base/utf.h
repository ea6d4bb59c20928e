#pragma once
// UTF-8 from wide text (UTF-16 on Windows, UTF-32 elsewhere) without Windows,
// for portable code that logs or stores what the system handed over.
#include <string>

// Unpaired surrogates become U+FFFD, so the result is always valid UTF-8.
std::string utf8FromWide(const std::wstring& wide);
