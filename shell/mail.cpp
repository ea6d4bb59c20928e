#include "shell/mail.h"

#include <cstdio>

#ifndef QUILLAR_VERSION
#define QUILLAR_VERSION "0.9.20"
#endif

std::string mailEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char ch : text) {
    unsigned char b = static_cast<unsigned char>(ch);
    bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                 b == '.' || b == '_' || b == '~';
    if (plain) {
      out.push_back(ch);
    } else if (b == '\n') {
      out += "%0D%0A";
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

std::string windowsVersionText(unsigned long major, unsigned long minor, unsigned long build) {
  char buf[96];
  if (major == 10)
    std::snprintf(buf, sizeof buf, "Windows %s (build %lu)", build > 21999 ? "11" : "10", build);
  else
    std::snprintf(buf, sizeof buf, "Windows %lu.%lu (build %lu)", major, minor, build);
  return buf;
}

std::string contactDiagnostics(std::string_view windowsVersion, std::string_view languageCode) {
  std::string s = "Quillar " QUILLAR_VERSION " Windows | ";
  s += windowsVersion;
  s += " | x64 | ";
  s += languageCode;
  return s;
}

std::string contactBody(std::string_view prompt, std::string_view diagnostics) {
  std::string s(prompt);
  s += "\n\n\n\n----------\n";
  s += diagnostics;
  return s;
}

std::string contactMailLink(std::string_view address, std::string_view subject, std::string_view body) {
  std::string link = "mailto:";
  link += address;
  link += "?subject=";
  link += mailEncode(subject);
  link += "&body=";
  link += mailEncode(body);
  return link;
}
