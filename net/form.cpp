#include "net/form.h"

namespace {

bool passes(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

void escapeInto(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (passes(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
}

}  // namespace

std::string formEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  escapeInto(out, text);
  return out;
}

std::string formEncode(const FormPairs& pairs) {
  std::string out;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (i) out += '&';
    escapeInto(out, pairs[i].first);
    out += '=';
    escapeInto(out, pairs[i].second);
  }
  return out;
}
