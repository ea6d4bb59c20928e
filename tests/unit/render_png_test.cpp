#include "render/png_write.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

// Splits a PNG into its chunks, checking every CRC on the way.
std::vector<Chunk> chunks(const std::vector<uint8_t>& png) {
  std::vector<Chunk> out;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t len = be32(png, at);
    EXPECT_LE(at + 12 + len, png.size());
    if (at + 12 + len > png.size()) break;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(png.data() + at + 4), 4);
    c.data.assign(png.begin() + static_cast<ptrdiff_t>(at + 8), png.begin() + static_cast<ptrdiff_t>(at + 8 + len));
    EXPECT_EQ(be32(png, at + 8 + len), kovra::pngCrc32(png.data() + at + 4, len + 4)) << c.type;
    out.push_back(std::move(c));
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  return out;
}

// Undoes stored deflate blocks; fails on any other block type.
std::vector<uint8_t> inflateStored(const std::vector<uint8_t>& z) {
  std::vector<uint8_t> out;
  EXPECT_GE(z.size(), 6u);
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);  // zlib header check
  size_t at = 2;
  for (;;) {
    const uint8_t head = z[at];
    EXPECT_EQ(head & 6, 0) << "not a stored block";
    const uint32_t len = z[at + 1] | (z[at + 2] << 8);
    const uint32_t nlen = z[at + 3] | (z[at + 4] << 8);
    EXPECT_EQ(len ^ 0xFFFFu, nlen);
    out.insert(out.end(), z.begin() + static_cast<ptrdiff_t>(at + 5),
               z.begin() + static_cast<ptrdiff_t>(at + 5 + len));
    at += 5 + len;
    if (head & 1) break;
  }
  EXPECT_EQ(be32(z, at), kovra::pngAdler32(out.data(), out.size()));
  EXPECT_EQ(at + 4, z.size());
  return out;
}

TEST(RenderPng, ChecksumsMatchKnownValues) {
  const char* text = "123456789";
  EXPECT_EQ(kovra::pngCrc32(reinterpret_cast<const uint8_t*>(text), 9), 0xCBF43926u);
  const char* wiki = "Wikipedia";
  EXPECT_EQ(kovra::pngAdler32(reinterpret_cast<const uint8_t*>(wiki), 9), 0x11E60398u);
  // Running CRC over two parts equals one pass.
  const uint32_t part = kovra::pngCrc32(reinterpret_cast<const uint8_t*>(text), 4);
  EXPECT_EQ(kovra::pngCrc32(reinterpret_cast<const uint8_t*>(text) + 4, 5, part), 0xCBF43926u);
}

TEST(RenderPng, TranslucentPictureRoundTripsAsStraightRgba) {
  // Two rows of two pixels, three words apart.
  const uint32_t px[6] = {0xFFFF0000u, 0x80400000u, 0xDEADBEEFu, 0x00000000u, 0xFF0080FFu, 0xDEADBEEFu};
  const std::vector<uint8_t> png = kovra::pngEncode(px, 2, 2, 3);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  const auto cs = chunks(png);
  ASSERT_EQ(cs.size(), 3u);
  EXPECT_EQ(cs[0].type, "IHDR");
  EXPECT_EQ(cs[1].type, "IDAT");
  EXPECT_EQ(cs[2].type, "IEND");
  EXPECT_EQ(be32(cs[0].data, 0), 2u);
  EXPECT_EQ(be32(cs[0].data, 4), 2u);
  EXPECT_EQ(cs[0].data[8], 8);
  EXPECT_EQ(cs[0].data[9], 6);  // RGBA
  const std::vector<uint8_t> raw = inflateStored(cs[1].data);
  const std::vector<uint8_t> want = {0, 255, 0, 0, 255, 128, 0, 0, 128,  // red; half-covered dark red made straight
                                     0, 0,   0, 0, 0,   0, 128, 255, 255};
  EXPECT_EQ(raw, want);
}

TEST(RenderPng, OpaqueLargePictureUsesRgbAndSeveralBlocks) {
  const int w = 200, h = 150;  // 150 x 601 bytes: more than one 64 KiB block
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = 0xFF000000u | uint32_t(x) << 16 | uint32_t(y);
  const auto cs = chunks(kovra::pngEncode(px.data(), w, h, w));
  ASSERT_EQ(cs.size(), 3u);
  EXPECT_EQ(cs[0].data[9], 2);  // RGB
  const std::vector<uint8_t> raw = inflateStored(cs[1].data);
  ASSERT_EQ(raw.size(), static_cast<size_t>(h) * (1 + 3 * w));
  const size_t row = 1 + 3 * w;
  EXPECT_EQ(raw[120 * row], 0);
  EXPECT_EQ(raw[120 * row + 1 + 3 * 77], 77);       // red = x
  EXPECT_EQ(raw[120 * row + 1 + 3 * 77 + 2], 120);  // blue = y
}

TEST(RenderPng, NothingForAnEmptyPicture) {
  const uint32_t px = 0;
  EXPECT_TRUE(kovra::pngEncode(nullptr, 1, 1, 1).empty());
  EXPECT_TRUE(kovra::pngEncode(&px, 0, 1, 1).empty());
  EXPECT_TRUE(kovra::pngEncode(&px, 2, 1, 1).empty());  // stride shorter than a row
  EXPECT_FALSE(kovra::pngWriteFile("/nonexistent-dir/x.png", &px, 1, 1, 1));
}

}  // namespace
