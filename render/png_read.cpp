#include "render/png_read.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "render/png_write.h"

namespace kovra {

namespace {

constexpr int kMaxBits = 15;
constexpr int kMaxSide = 8192;

// Bits are taken least significant first, as deflate packs them.
struct BitReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  uint32_t bitBuf = 0;
  int bitCount = 0;
  bool overrun = false;

  uint32_t bits(int n) {
    uint32_t v = bitBuf;
    while (bitCount < n) {
      if (pos >= size) {
        overrun = true;
        return 0;
      }
      v |= static_cast<uint32_t>(data[pos++]) << bitCount;
      bitCount += 8;
    }
    bitBuf = v >> n;
    bitCount -= n;
    return v & ((n == 32) ? 0xFFFFFFFFu : ((1u << n) - 1u));
  }
  void alignToByte() {
    bitBuf = 0;
    bitCount = 0;
  }
};

// A canonical Huffman code as deflate builds it: how many codes of each
// length, and the symbols ordered by code.
struct Huffman {
  std::array<uint16_t, kMaxBits + 1> count{};
  std::array<uint16_t, 288> symbol{};
};

// False for an over-subscribed set of lengths; an incomplete set is allowed
// (deflate uses one for a single distance code).
bool buildHuffman(Huffman& h, const uint8_t* lengths, int n) {
  h.count.fill(0);
  for (int i = 0; i < n; ++i) ++h.count[lengths[i]];
  if (h.count[0] == n) return true;  // no codes at all: decoding any fails
  int left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left <<= 1;
    left -= h.count[static_cast<size_t>(len)];
    if (left < 0) return false;
  }
  std::array<uint16_t, kMaxBits + 1> offs{};
  for (int len = 1; len < kMaxBits; ++len) offs[static_cast<size_t>(len + 1)] = offs[static_cast<size_t>(len)] + h.count[static_cast<size_t>(len)];
  for (int i = 0; i < n; ++i) {
    if (lengths[i] != 0) h.symbol[offs[lengths[i]]++] = static_cast<uint16_t>(i);
  }
  return true;
}

// One symbol, bit by bit; -1 when the input ends or no code matches.
int decodeSymbol(BitReader& in, const Huffman& h) {
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    code |= static_cast<int>(in.bits(1));
    if (in.overrun) return -1;
    const int count = h.count[static_cast<size_t>(len)];
    if (code - count < first) return h.symbol[static_cast<size_t>(index + (code - first))];
    index += count;
    first += count;
    first <<= 1;
    code <<= 1;
  }
  return -1;
}

constexpr std::array<uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> kDistBase{1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                             33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistExtra{0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool inflateCodes(BitReader& in, std::vector<uint8_t>& out, size_t maxOut, const Huffman& lit, const Huffman& dist) {
  for (;;) {
    const int sym = decodeSymbol(in, lit);
    if (sym < 0) return false;
    if (sym < 256) {
      if (out.size() >= maxOut) return false;
      out.push_back(static_cast<uint8_t>(sym));
      continue;
    }
    if (sym == 256) return true;
    const int li = sym - 257;
    if (li >= 29) return false;
    const size_t len = kLengthBase[static_cast<size_t>(li)] + in.bits(kLengthExtra[static_cast<size_t>(li)]);
    const int ds = decodeSymbol(in, dist);
    if (ds < 0 || ds >= 30) return false;
    const size_t back = kDistBase[static_cast<size_t>(ds)] + in.bits(kDistExtra[static_cast<size_t>(ds)]);
    if (in.overrun || back > out.size() || out.size() + len > maxOut) return false;
    const size_t from = out.size() - back;
    for (size_t k = 0; k < len; ++k) out.push_back(out[from + k]);  // copies may overlap their own output
  }
}

bool inflateFixed(BitReader& in, std::vector<uint8_t>& out, size_t maxOut) {
  static const std::pair<Huffman, Huffman> codes = [] {
    std::array<uint8_t, 288> l{};
    for (int i = 0; i < 144; ++i) l[static_cast<size_t>(i)] = 8;
    for (int i = 144; i < 256; ++i) l[static_cast<size_t>(i)] = 9;
    for (int i = 256; i < 280; ++i) l[static_cast<size_t>(i)] = 7;
    for (int i = 280; i < 288; ++i) l[static_cast<size_t>(i)] = 8;
    std::pair<Huffman, Huffman> c;
    buildHuffman(c.first, l.data(), 288);
    std::array<uint8_t, 30> d{};
    d.fill(5);
    buildHuffman(c.second, d.data(), 30);
    return c;
  }();
  return inflateCodes(in, out, maxOut, codes.first, codes.second);
}

bool inflateDynamic(BitReader& in, std::vector<uint8_t>& out, size_t maxOut) {
  const int nlen = static_cast<int>(in.bits(5)) + 257;
  const int ndist = static_cast<int>(in.bits(5)) + 1;
  const int ncode = static_cast<int>(in.bits(4)) + 4;
  if (in.overrun || nlen > 286 || ndist > 30) return false;
  static constexpr std::array<uint8_t, 19> kOrder{16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  std::array<uint8_t, 320> lengths{};
  for (int i = 0; i < ncode; ++i) lengths[kOrder[static_cast<size_t>(i)]] = static_cast<uint8_t>(in.bits(3));
  if (in.overrun) return false;
  Huffman lencode;
  if (!buildHuffman(lencode, lengths.data(), 19)) return false;

  lengths.fill(0);
  int index = 0;
  while (index < nlen + ndist) {
    const int sym = decodeSymbol(in, lencode);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths[static_cast<size_t>(index++)] = static_cast<uint8_t>(sym);
      continue;
    }
    uint8_t value = 0;
    int repeat;
    if (sym == 16) {
      if (index == 0) return false;
      value = lengths[static_cast<size_t>(index - 1)];
      repeat = 3 + static_cast<int>(in.bits(2));
    } else if (sym == 17) {
      repeat = 3 + static_cast<int>(in.bits(3));
    } else {
      repeat = 11 + static_cast<int>(in.bits(7));
    }
    if (in.overrun || index + repeat > nlen + ndist) return false;
    while (repeat-- > 0) lengths[static_cast<size_t>(index++)] = value;
  }
  if (lengths[256] == 0) return false;  // no end-of-block code
  Huffman lit, dist;
  if (!buildHuffman(lit, lengths.data(), nlen)) return false;
  if (!buildHuffman(dist, lengths.data() + nlen, ndist)) return false;
  return inflateCodes(in, out, maxOut, lit, dist);
}

uint32_t be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

uint32_t premultiplied(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  auto mul = [a](uint32_t c) { return (c * a + 127u) / 255u; };
  return a << 24 | mul(r) << 16 | mul(g) << 8 | mul(b);
}

}  // namespace

std::optional<std::vector<uint8_t>> zlibInflate(const uint8_t* data, size_t size, size_t maxOut) {
  if (!data || size < 6) return std::nullopt;
  const uint8_t cmf = data[0], flg = data[1];
  if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20)) return std::nullopt;
  BitReader in{data + 2, size - 6};
  std::vector<uint8_t> out;
  bool last = false;
  while (!last) {
    last = in.bits(1) != 0;
    const uint32_t type = in.bits(2);
    if (in.overrun) return std::nullopt;
    bool ok = false;
    if (type == 0) {
      in.alignToByte();
      if (in.pos + 4 > in.size) return std::nullopt;
      const uint32_t len = in.data[in.pos] | static_cast<uint32_t>(in.data[in.pos + 1]) << 8;
      const uint32_t nlen = in.data[in.pos + 2] | static_cast<uint32_t>(in.data[in.pos + 3]) << 8;
      in.pos += 4;
      if ((len ^ 0xFFFFu) != nlen || in.pos + len > in.size || out.size() + len > maxOut) return std::nullopt;
      out.insert(out.end(), in.data + in.pos, in.data + in.pos + len);
      in.pos += len;
      ok = true;
    } else if (type == 1) {
      ok = inflateFixed(in, out, maxOut);
    } else if (type == 2) {
      ok = inflateDynamic(in, out, maxOut);
    }
    if (!ok) return std::nullopt;
  }
  // The Adler-32 follows the last block at the next byte boundary.
  const uint8_t* tail = data + size - 4;
  if (be32(tail) != pngAdler32(out.data(), out.size())) return std::nullopt;
  return out;
}

std::optional<PngPicture> pngDecode(const uint8_t* data, size_t size) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!data || size < 8 + 25 || std::memcmp(data, kSignature, 8) != 0) return std::nullopt;

  uint32_t width = 0, height = 0;
  int channels = 0;
  bool header = false, end = false;
  std::vector<uint8_t> packed;
  for (size_t pos = 8; pos + 12 <= size && !end;) {
    const uint32_t len = be32(data + pos);
    if (len > size - pos - 12) return std::nullopt;
    const uint8_t* type = data + pos + 4;
    const uint8_t* body = data + pos + 8;
    if (be32(body + len) != pngCrc32(type, len + 4)) return std::nullopt;
    if (std::memcmp(type, "IHDR", 4) == 0) {
      if (len != 13 || header) return std::nullopt;
      width = be32(body);
      height = be32(body + 4);
      const uint8_t depth = body[8], colour = body[9];
      if (depth != 8 || body[10] != 0 || body[11] != 0 || body[12] != 0) return std::nullopt;
      channels = colour == 0 ? 1 : colour == 4 ? 2 : colour == 2 ? 3 : colour == 6 ? 4 : 0;
      if (channels == 0) return std::nullopt;
      header = true;
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      if (!header) return std::nullopt;
      packed.insert(packed.end(), body, body + len);
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      end = true;
    } else if (!(type[0] & 0x20)) {
      return std::nullopt;  // an unknown chunk that is marked critical
    }
    pos += 12 + len;
  }
  if (!header || !end || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;

  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
  const size_t expected = (rowBytes + 1) * height;
  std::optional<std::vector<uint8_t>> raw = zlibInflate(packed.data(), packed.size(), expected);
  if (!raw || raw->size() != expected) return std::nullopt;

  // Undo the row filters in place.
  std::vector<uint8_t>& r = *raw;
  const size_t bpp = static_cast<size_t>(channels);
  for (size_t y = 0; y < height; ++y) {
    uint8_t* row = r.data() + y * (rowBytes + 1);
    const uint8_t filter = row[0];
    uint8_t* cur = row + 1;
    const uint8_t* up = y > 0 ? r.data() + (y - 1) * (rowBytes + 1) + 1 : nullptr;
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0;
      const int b = up ? up[i] : 0;
      const int c = (up && i >= bpp) ? up[i - bpp] : 0;
      switch (filter) {
        case 0: break;
        case 1: cur[i] = static_cast<uint8_t>(cur[i] + a); break;
        case 2: cur[i] = static_cast<uint8_t>(cur[i] + b); break;
        case 3: cur[i] = static_cast<uint8_t>(cur[i] + ((a + b) >> 1)); break;
        case 4: cur[i] = static_cast<uint8_t>(cur[i] + paeth(a, b, c)); break;
        default: return std::nullopt;
      }
    }
  }

  PngPicture pic;
  pic.width = static_cast<int>(width);
  pic.height = static_cast<int>(height);
  pic.pixels.resize(static_cast<size_t>(width) * height);
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* s = r.data() + y * (rowBytes + 1) + 1;
    uint32_t* d = pic.pixels.data() + y * width;
    for (size_t x = 0; x < width; ++x, s += bpp) {
      switch (channels) {
        case 1: d[x] = premultiplied(s[0], s[0], s[0], 255); break;
        case 2: d[x] = premultiplied(s[0], s[0], s[0], s[1]); break;
        case 3: d[x] = premultiplied(s[0], s[1], s[2], 255); break;
        default: d[x] = premultiplied(s[0], s[1], s[2], s[3]); break;
      }
    }
  }
  return pic;
}

std::optional<PngPicture> pngReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  return pngDecode(bytes.data(), bytes.size());
}

}  // namespace kovra
