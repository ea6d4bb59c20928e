#pragma once
// The "contact us" message: the support address, the percent-encoding of a
// mailto link and the diagnostics line that goes into the body.
#include <string>
#include <string_view>

// Where users' questions go.
constexpr const char kSupportAddress[] = "support@quillar.app";

// Letters, digits and "-._~" pass; a line feed becomes "%0D%0A"; every other
// byte (each byte of a multi-byte UTF-8 character too) becomes "%XX".
std::string mailEncode(std::string_view text);

// "Windows 11 (build 22631)", "Windows 10 (build 19045)" or, for other
// major versions, "Windows 6.1 (build 7601)".
std::string windowsVersionText(unsigned long major, unsigned long minor, unsigned long build);

// "Quillar 0.9.20 Windows | <windows version> | x64 | <language code>".
std::string contactDiagnostics(std::string_view windowsVersion, std::string_view languageCode);

// The prompt, three empty lines, a dashed line and the diagnostics.
std::string contactBody(std::string_view prompt, std::string_view diagnostics);

// "mailto:<address>?subject=...&body=..." with both parts encoded.
std::string contactMailLink(std::string_view address, std::string_view subject, std::string_view body);
