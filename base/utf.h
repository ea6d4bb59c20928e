#pragma once
// UTF-8 from wide text and back (UTF-16 on Windows, UTF-32 elsewhere) without Windows,
// for portable code that logs or stores what the system handed over.
#include <string>
#include <string_view>

// Unpaired surrogates become U+FFFD, so the result is always valid UTF-8.
std::string utf8FromWide(const std::wstring& wide);
// And back; each invalid byte becomes one U+FFFD, as the system's conversion does.
std::wstring wideFromUtf8(std::string_view utf8);
