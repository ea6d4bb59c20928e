#pragma once
// Text from a call that fills a caller's buffer and, when the buffer is too
// small, truncates silently and answers the buffer's full size
// (GetModuleFileNameW does so): the buffer grows until the answer fits.
#include <cstddef>
#include <string>
#include <vector>

// `fill(buffer, capacity)` answers the characters written, 0 on failure.
// Empty when the call fails or the text would exceed `most` characters.
template <typename Char, typename Fill>
std::basic_string<Char> readGrowing(Fill fill, size_t first = 260, size_t most = 32768) {
  std::vector<Char> buf(first ? first : 1);
  for (;;) {
    size_t n = fill(buf.data(), buf.size());
    if (n == 0) return {};
    if (n < buf.size()) return std::basic_string<Char>(buf.data(), n);
    if (buf.size() >= most) return {};
    buf.resize(buf.size() * 2 < most ? buf.size() * 2 : most);
  }
}
