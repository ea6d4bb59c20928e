#include "render/png_write.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kovra {

namespace {

const std::array<uint32_t, 256>& crcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
  put32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(out, pngCrc32(out.data() + start, out.size() - start));
}

uint8_t straight(uint32_t c, uint32_t a) {
  if (a == 0) return 0;
  const uint32_t v = (c * 255u + a / 2u) / a;
  return static_cast<uint8_t>(v > 255u ? 255u : v);
}

}  // namespace

uint32_t pngCrc32(const uint8_t* data, size_t size, uint32_t crc) {
  const auto& t = crcTable();
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = t[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t pngAdler32(const uint8_t* data, size_t size) {
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

std::vector<uint8_t> pngEncode(const uint32_t* pixels, int width, int height, int stride) {
  std::vector<uint8_t> out;
  if (!pixels || width <= 0 || height <= 0 || stride < width) return out;

  bool opaque = true;
  for (int y = 0; y < height && opaque; ++y)
    for (int x = 0; x < width; ++x)
      if ((pixels[static_cast<size_t>(y) * stride + x] >> 24) != 0xFFu) {
        opaque = false;
        break;
      }
  const size_t channels = opaque ? 3 : 4;

  // Raw scanlines, each with filter byte 0.
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + width * channels));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const uint32_t* row = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = p >> 24;
      raw.push_back(straight((p >> 16) & 0xFFu, a));
      raw.push_back(straight((p >> 8) & 0xFFu, a));
      raw.push_back(straight(p & 0xFFu, a));
      if (!opaque) raw.push_back(static_cast<uint8_t>(a));
    }
  }

  // zlib stream: header, stored blocks of at most 65535 bytes, Adler-32.
  std::vector<uint8_t> z;
  z.reserve(raw.size() + raw.size() / 65535 * 5 + 16);
  z.push_back(0x78);
  z.push_back(0x01);
  size_t pos = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - pos);
    const bool last = pos + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(pos), raw.begin() + static_cast<ptrdiff_t>(pos + n));
    pos += n;
  } while (pos < raw.size());
  put32(z, pngAdler32(raw.data(), raw.size()));

  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out.assign(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  put32(header, static_cast<uint32_t>(width));
  put32(header, static_cast<uint32_t>(height));
  header.push_back(8);                  // bit depth
  header.push_back(opaque ? 2 : 6);     // truecolour, with alpha unless opaque
  header.push_back(0);                  // deflate
  header.push_back(0);                  // adaptive filtering
  header.push_back(0);                  // no interlace
  chunk(out, "IHDR", header);
  chunk(out, "IDAT", z);
  chunk(out, "IEND", {});
  return out;
}

bool pngWriteFile(const std::string& path, const uint32_t* pixels, int width, int height, int stride) {
  const std::vector<uint8_t> bytes = pngEncode(pixels, width, height, stride);
  if (bytes.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace kovra
