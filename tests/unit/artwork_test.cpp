// Checks the rendered pictures and cursors in assets/ against the sizes the program loads them
// at, and the resource script that embeds them. The files are read straight from the source
// tree, located from this file's own path.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Expected {
  int id;
  int width;
  int height;
};

// The picture slots and their exact pixel sizes.
constexpr std::array<Expected, 13> kSprites{{
    {400, 256, 256},  // snowball
    {401, 256, 256},  // snow heap
    {402, 64, 64},    // glowing star
    {403, 288, 228},  // Santa in his sleigh
    {404, 186, 162},  // reindeer, first running frame
    {405, 186, 162},  // reindeer, second running frame
    {406, 78, 66},    // bullfinch standing
    {407, 78, 66},    // bullfinch pecking
    {408, 78, 66},    // bullfinch in flight, wings up
    {409, 78, 66},    // bullfinch in flight, wings down
    {410, 66, 72},    // gift box
    {411, 66, 72},    // gift box
    {412, 66, 72},    // gift box
}};

fs::path assetsDir() {
  return fs::path(__FILE__).parent_path().parent_path().parent_path() / "assets";
}

std::vector<unsigned char> readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t be32(const std::vector<unsigned char>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}
uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
  return b[at] | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<unsigned char>& b, size_t at) {
  return uint16_t(b[at] | (b[at + 1] << 8));
}

uint32_t crc32(const unsigned char* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

struct PngHeader {
  bool ok = false;
  std::string problem;
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
};

// Reads the signature and the IHDR chunk (which must come first), checking its CRC.
PngHeader readPngHeader(const std::vector<unsigned char>& b) {
  PngHeader h;
  static const unsigned char kSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() < 8 + 8 + 13 + 4 || !std::equal(kSig, kSig + 8, b.begin())) {
    h.problem = "not a PNG file";
    return h;
  }
  if (be32(b, 8) != 13 || std::string(b.begin() + 12, b.begin() + 16) != "IHDR") {
    h.problem = "first chunk is not a 13-byte IHDR";
    return h;
  }
  if (crc32(&b[12], 4 + 13) != be32(b, 12 + 4 + 13)) {
    h.problem = "IHDR CRC mismatch";
    return h;
  }
  h.width = be32(b, 16);
  h.height = be32(b, 20);
  h.bitDepth = b[24];
  h.colourType = b[25];
  h.interlace = b[28];
  h.ok = true;
  return h;
}

// Walks the chunk list to IEND: a truncated or padded render shows up here.
bool pngChunksIntact(const std::vector<unsigned char>& b, std::string* problem) {
  size_t at = 8;
  bool sawData = false;
  while (at + 12 <= b.size()) {
    const uint32_t len = be32(b, at);
    if (at + 12 + size_t(len) > b.size()) {
      *problem = "chunk runs past the end of the file";
      return false;
    }
    const std::string type(b.begin() + at + 4, b.begin() + at + 8);
    if (crc32(&b[at + 4], 4 + size_t(len)) != be32(b, at + 8 + len)) {
      *problem = "CRC mismatch in chunk " + type;
      return false;
    }
    if (type == "IDAT") sawData = true;
    at += 12 + size_t(len);
    if (type == "IEND") {
      if (!sawData) *problem = "no image data";
      else if (at != b.size()) *problem = "bytes after IEND";
      return sawData && at == b.size();
    }
  }
  *problem = "no IEND chunk";
  return false;
}

// The sprite PNG for an id: the one file in assets/sprites named "<id>-*.png".
std::vector<fs::path> spriteFilesFor(int id) {
  std::vector<fs::path> found;
  const std::string prefix = std::to_string(id) + "-";
  for (const auto& e : fs::directory_iterator(assetsDir() / "sprites")) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() == ".png" && name.rfind(prefix, 0) == 0) found.push_back(e.path());
  }
  return found;
}

std::string readText(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

TEST(ArtworkSprites, EverySlotHasOnePngOfItsExactSizeWithAlpha) {
  ASSERT_TRUE(fs::is_directory(assetsDir() / "sprites")) << assetsDir();
  for (const Expected& s : kSprites) {
    SCOPED_TRACE("resource " + std::to_string(s.id));
    const auto files = spriteFilesFor(s.id);
    ASSERT_EQ(files.size(), 1u) << "expected exactly one sprites/" << s.id << "-*.png";
    const auto bytes = readFile(files[0]);
    const PngHeader h = readPngHeader(bytes);
    ASSERT_TRUE(h.ok) << files[0] << ": " << h.problem;
    EXPECT_EQ(h.width, uint32_t(s.width)) << files[0];
    EXPECT_EQ(h.height, uint32_t(s.height)) << files[0];
    // 8-bit with a real alpha channel: RGBA (6) or grey + alpha (4).
    EXPECT_TRUE(h.colourType == 6 || h.colourType == 4) << files[0] << ": colour type " << h.colourType;
    EXPECT_EQ(h.bitDepth, 8) << files[0];
    std::string problem;
    EXPECT_TRUE(pngChunksIntact(bytes, &problem)) << files[0] << ": " << problem;
  }
}

TEST(ArtworkSprites, NoStrayPngInTheSpriteFolder) {
  std::set<int> ids;
  for (const Expected& s : kSprites) ids.insert(s.id);
  const std::regex named(R"((\d+)-[a-z0-9-]+\.png)");
  for (const auto& e : fs::directory_iterator(assetsDir() / "sprites")) {
    if (e.path().extension() != ".png") continue;
    std::smatch m;
    const std::string name = e.path().filename().string();
    ASSERT_TRUE(std::regex_match(name, m, named)) << name << " does not follow <id>-<name>.png";
    EXPECT_TRUE(ids.count(std::stoi(m[1].str()))) << name << " has no slot";
  }
}

TEST(ArtworkResources, ScriptEmbedsEverySpriteAndBothCursors) {
  const fs::path rc = assetsDir() / "sprites.rc";
  ASSERT_TRUE(fs::exists(rc));
  const std::string text = readText(rc);
  const std::regex line(R"re((?:^|\n)\s*(\d+)\s+(RCDATA|CURSOR)\s+"([^"]+)")re");
  std::map<int, std::pair<std::string, std::string>> entries;  // id -> (type, file)
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it) {
    const int id = std::stoi((*it)[1].str());
    EXPECT_FALSE(entries.count(id)) << "resource " << id << " listed twice";
    entries[id] = {(*it)[2].str(), (*it)[3].str()};
  }
  for (const Expected& s : kSprites) {
    SCOPED_TRACE("resource " + std::to_string(s.id));
    ASSERT_TRUE(entries.count(s.id));
    EXPECT_EQ(entries[s.id].first, "RCDATA");
    const fs::path file = assetsDir() / entries[s.id].second;
    EXPECT_TRUE(fs::exists(file)) << file;
    const auto files = spriteFilesFor(s.id);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(fs::exists(file) && fs::equivalent(file, files[0])) << file << " is not " << files[0];
  }
  for (int id : {501, 502}) {
    SCOPED_TRACE("resource " + std::to_string(id));
    ASSERT_TRUE(entries.count(id));
    EXPECT_EQ(entries[id].first, "CURSOR");
    EXPECT_TRUE(fs::exists(assetsDir() / entries[id].second)) << entries[id].second;
  }
  EXPECT_EQ(entries.size(), kSprites.size() + 2) << "unexpected extra resources";
}

TEST(ArtworkCursors, MittensAreCursorFilesWithA32PixelImageAndHotspotInside) {
  for (const char* name : {"cursors/mitten-open.cur", "cursors/mitten-closed.cur"}) {
    SCOPED_TRACE(name);
    const auto b = readFile(assetsDir() / name);
    ASSERT_GE(b.size(), 6u + 16u);
    EXPECT_EQ(le16(b, 0), 0);
    EXPECT_EQ(le16(b, 2), 2) << "type 2 marks a cursor (1 would be an icon)";
    const int count = le16(b, 4);
    ASSERT_GE(count, 1);
    ASSERT_GE(b.size(), 6u + 16u * size_t(count));
    bool has32 = false;
    for (int i = 0; i < count; ++i) {
      const size_t e = 6 + 16 * size_t(i);
      const int w = b[e] ? b[e] : 256;
      const int h = b[e + 1] ? b[e + 1] : 256;
      const int hx = le16(b, e + 4), hy = le16(b, e + 6);
      const uint32_t size = le32(b, e + 8), offset = le32(b, e + 12);
      SCOPED_TRACE("image " + std::to_string(w) + "x" + std::to_string(h));
      EXPECT_LT(hx, w);
      EXPECT_LT(hy, h);
      ASSERT_LE(size_t(offset) + size, b.size()) << "image data out of the file";
      ASSERT_GE(size, 40u);
      // A DIB: BITMAPINFOHEADER with the colour and mask bitmaps stacked (double height).
      EXPECT_EQ(le32(b, offset), 40u);
      EXPECT_EQ(int32_t(le32(b, offset + 4)), w);
      EXPECT_EQ(int32_t(le32(b, offset + 8)), 2 * h);
      EXPECT_EQ(le16(b, offset + 14), 32) << "32-bit colour with alpha";
      const size_t maskStride = size_t((w + 31) / 32) * 4;
      EXPECT_EQ(size, 40u + uint32_t(w) * uint32_t(h) * 4u + uint32_t(maskStride * size_t(h)));
      if (w == 32 && h == 32) has32 = true;
    }
    EXPECT_TRUE(has32);
  }
}

}  // namespace
