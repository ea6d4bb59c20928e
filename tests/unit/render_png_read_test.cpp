#include "render/png_read.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/png_write.h"

namespace fs = std::filesystem;

namespace {

using kovra::pngDecode;
using kovra::zlibInflate;

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

fs::path sprites() { return fs::path(__FILE__).parent_path().parent_path().parent_path() / "assets" / "sprites"; }

std::vector<uint8_t> readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t fnv(const std::vector<uint32_t>& words) {
  uint32_t h = 0x811C9DC5u;
  for (uint32_t w : words) {
    for (int k = 0; k < 4; ++k) {
      h ^= (w >> (8 * k)) & 255u;
      h *= 0x01000193u;
    }
  }
  return h;
}

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// Rewrites the CRC of the chunk starting at `at` after its body was edited.
void fixCrc(std::vector<uint8_t>& png, size_t at) {
  const uint32_t len = be32(png, at);
  const uint32_t crc = kovra::pngCrc32(png.data() + at + 4, len + 4);
  for (int k = 0; k < 4; ++k) png[at + 8 + len + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
}

TEST(RenderPngRead, InflatesFixedAndDynamicHuffmanBlocks) {
  // Made by a stock zlib: a short text (fixed codes) and a longer one (its own code tables).
  const auto fixed = fromHex("78dacb48cdc9c957c8c020934a7372d232f3923300d2dd0c88");
  const auto a = zlibInflate(fixed.data(), fixed.size(), 1000);
  ASSERT_TRUE(a);
  EXPECT_EQ(std::string(a->begin(), a->end()), "hello hello hello hello bullfinch");

  const auto dynamic = fromHex(
      "78da7552590e032108bd8a57b375a9a97112b599ebb7c208149d3f20f01620a4eacfa3be9b892974d3baada6659fe2cbb472"
      "9cc6d5517e7c720ea93caf62f5a938ef7f9db6748b43ba31da9a6d7104069d81d814e23a07728868561533a50ccc112aa216"
      "1e1d848a95a3b59f172344a3abcdd88d13241d208b1545c42b857ce70cc0440a478339d60a11ae007262c19a5a0e20de08c5"
      "0a1aa69a6c50c22ed2bf47d91e1e14732ec4cea711b1f4a37e89fda28da951e14b3435cc7b6028f9b76aad375ff8050e3d3f"
      "2f");
  ASSERT_EQ(dynamic[2] >> 1 & 3, 2);  // really a dynamic block
  const auto b = zlibInflate(dynamic.data(), dynamic.size(), 1000);
  ASSERT_TRUE(b);
  const std::string text(b->begin(), b->end());
  EXPECT_EQ(text.size(), 844u);
  EXPECT_EQ(text.substr(0, 40), "fireworks gift star sleigh snow drift bu");
  EXPECT_EQ(text.substr(text.size() - 40), "a gift star gift reindeer santa reindeer");

  // The output limit holds, and a damaged checksum is refused.
  EXPECT_FALSE(zlibInflate(dynamic.data(), dynamic.size(), 843));
  auto bad = dynamic;
  bad.back() ^= 1;
  EXPECT_FALSE(zlibInflate(bad.data(), bad.size(), 1000));
}

TEST(RenderPngRead, ReadsBackWhatTheWriterWrote) {
  // Opaque, clear and half-covered pixels; the writer stores straight alpha,
  // so colours of translucent pixels come back within rounding.
  const int w = 37, h = 11;
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t a = (x % 3 == 0) ? 255u : (x % 3 == 1 ? 0u : 128u);
      const uint32_t r = (x * 7u + y * 3u) % 256u * a / 255u, g = (x * y) % 256u * a / 255u, b = (y * 23u) % 256u * a / 255u;
      px[static_cast<size_t>(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  const std::vector<uint8_t> file = kovra::pngEncode(px.data(), w, h, w);
  const auto pic = pngDecode(file.data(), file.size());
  ASSERT_TRUE(pic);
  ASSERT_EQ(pic->width, w);
  ASSERT_EQ(pic->height, h);
  for (size_t i = 0; i < px.size(); ++i) {
    const uint32_t want = px[i], got = pic->pixels[i];
    ASSERT_EQ(got >> 24, want >> 24) << i;
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = static_cast<int>((got >> shift) & 255u) - static_cast<int>((want >> shift) & 255u);
      ASSERT_LE(std::abs(d), (want >> 24) == 255u ? 0 : 1) << i;
    }
  }
}

TEST(RenderPngRead, DecodesTheArtworkExactly) {
  // Checksums of the premultiplied pixels as a reference decoder gives them.
  const auto star = kovra::pngReadFile((sprites() / "402-star.png").string());
  ASSERT_TRUE(star);
  EXPECT_EQ(star->width, 64);
  EXPECT_EQ(star->height, 64);
  EXPECT_EQ(fnv(star->pixels), 0xB7AE64BCu);
  const auto bird = kovra::pngReadFile((sprites() / "406-bullfinch-standing.png").string());
  ASSERT_TRUE(bird);
  EXPECT_EQ(bird->width, 78);
  EXPECT_EQ(bird->height, 66);
  EXPECT_EQ(fnv(bird->pixels), 0x22799AC0u);

  // Every picture: premultiplied (no channel above alpha), clear corners.
  int files = 0;
  for (const auto& e : fs::directory_iterator(sprites())) {
    if (e.path().extension() != ".png") continue;
    const auto pic = kovra::pngReadFile(e.path().string());
    ASSERT_TRUE(pic) << e.path();
    ++files;
    for (uint32_t p : pic->pixels) {
      const uint32_t a = p >> 24;
      ASSERT_LE((p >> 16) & 255u, a);
      ASSERT_LE((p >> 8) & 255u, a);
      ASSERT_LE(p & 255u, a);
    }
    EXPECT_EQ(pic->pixels.front(), 0u) << e.path();
    EXPECT_EQ(pic->pixels.back(), 0u) << e.path();
  }
  EXPECT_EQ(files, 13);
}

TEST(RenderPngRead, RefusesDamagedOrUnsupportedFiles) {
  const std::vector<uint8_t> good = readFile(sprites() / "410-gift-red.png");
  ASSERT_TRUE(pngDecode(good.data(), good.size()));

  // Any truncation fails cleanly.
  for (size_t n = 0; n < good.size(); n += 97) EXPECT_FALSE(pngDecode(good.data(), n)) << n;

  auto sig = good;
  sig[1] = 'Q';
  EXPECT_FALSE(pngDecode(sig.data(), sig.size()));

  // A flipped bit inside the first chunk after the header breaks its CRC.
  auto flipped = good;
  flipped[8 + 25 + 10] ^= 0x10;
  EXPECT_FALSE(pngDecode(flipped.data(), flipped.size()));

  // Interlaced, 16-bit and palette pictures are not read (CRC kept valid).
  for (auto [offset, value] : {std::pair<int, uint8_t>{12, 1}, {8, 16}, {9, 3}}) {
    auto edited = good;
    edited[8 + 8 + static_cast<size_t>(offset)] = value;
    fixCrc(edited, 8);
    EXPECT_FALSE(pngDecode(edited.data(), edited.size())) << offset;
  }
}

}  // namespace
