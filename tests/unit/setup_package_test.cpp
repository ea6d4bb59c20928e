#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "setup/package.h"

namespace {

using namespace std::literals;

struct Bytes {
  std::vector<uint8_t> b;
  Bytes& raw(std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& u16(uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  Bytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  // One entry; `claimed` writes another size than the data's.
  Bytes& entry(std::string_view name, std::string_view data, int64_t claimed = -1) {
    u16(static_cast<uint32_t>(name.size())).raw(name);
    u32(claimed < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(claimed));
    return raw(data);
  }
};

Bytes magic() { return Bytes().raw("QLRPACK1"); }

std::vector<std::string> names(const Package& p) {
  std::vector<std::string> out;
  for (const auto& e : p.entries) out.push_back(e.name);
  return out;
}

TEST(SetupPackage, ReadsEntriesAndStopsAtTheFirstThatDoesNotFit) {
  struct Case {
    const char* what;
    Bytes bytes;
    bool valid;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"two entries", magic().entry("Quillar.exe", "MZ").entry("Wallpapers/themes.json", "{}"), true,
       {"Quillar.exe", "Wallpapers/themes.json"}},
      {"an empty entry counts", magic().entry("a", ""), true, {"a"}},
      {"last entry claims more than remains", magic().entry("Quillar.exe", "MZ").entry("Wallpapers/b.jpg", "xy", 3),
       true, {"Quillar.exe"}},
      {"a size that wraps around", magic().entry("Quillar.exe", "MZ").entry("b", "", 0xFFFFFFFF), true,
       {"Quillar.exe"}},
      {"one byte left", magic().entry("Quillar.exe", "MZ").raw("\x01"), true, {"Quillar.exe"}},
      {"the size field cut short", magic().entry("Quillar.exe", "MZ").u16(1).raw("a").raw("\x01\x00"sv), true,
       {"Quillar.exe"}},
      {"a name longer than the rest", magic().entry("Quillar.exe", "MZ").u16(0xFFFF).raw("abc"), true,
       {"Quillar.exe"}},
      {"only the first does not fit", magic().entry("Quillar.exe", "MZ", 50), false, {}},
      {"no entries", magic().raw("\x00\x00"sv), false, {}},
      {"nine bytes", magic().raw("\x00"), false, {}},
      {"other magic", Bytes().raw("QLRPACK2").entry("a", "b"), false, {}},
      {"nothing", Bytes(), false, {}},
      {"a name outside the folder", magic().entry("Quillar.exe", "MZ").entry("Wallpapers/../../x.exe", "MZ"), false,
       {}},
      {"a backslash in a name", magic().entry("Wallpapers\\a.jpg", "x").entry("Quillar.exe", "MZ"), false, {}},
  };
  for (const Case& c : cases) {
    Package p = packageParse(c.bytes.b);
    EXPECT_EQ(p.valid, c.valid) << c.what;
    EXPECT_EQ(names(p), c.names) << c.what;
  }
}

TEST(SetupPackage, EntriesPointAtTheirData) {
  Bytes b = magic().entry("Quillar.exe", "MZ!").entry("Wallpapers/t.jpg", std::string(3000, 'j'));
  Package p = packageParse(b.b);
  ASSERT_TRUE(p.valid);
  ASSERT_EQ(p.entries.size(), 2u);
  EXPECT_EQ(p.entries[0].offset, 8u + 2 + 11 + 4);
  EXPECT_EQ(p.entries[0].size, 3u);
  EXPECT_EQ(std::string(b.b.begin() + p.entries[0].offset, b.b.begin() + p.entries[0].offset + 3), "MZ!");
  EXPECT_EQ(p.entries[1].offset, p.entries[0].offset + 3 + 2 + 16 + 4);
  EXPECT_EQ(p.entries[1].size, 3000u);
  // 3 bytes round down to nothing, 3000 to 2 KB.
  EXPECT_EQ(packageEstimatedSizeKb(p), 2u);
}

TEST(SetupPackage, NamesThatLeaveTheFolderAreRefused) {
  const char* safe[] = {"Quillar.exe", "Wallpapers/themes.json", "Wallpapers/thumbs/aurora-2.jpg",
                        "Wallpapers/times/pines-golden.jpg", "a.b.c", "Шпалери/зима.jpg", "com10", "console.txt",
                        ".hidden", "a..b"};
  const char* unsafe[] = {"", "..", ".", "../x", "a/../b", "a/..", "a/.. /b", "a/./b", "x.", "x ", "/abs",
                          "a//b", "a/", "C:/Windows/x.exe", "C:x", "Wallpapers\\a.jpg", "\\\\server\\x",
                          "a:stream", "CON", "Wallpapers/nul.jpg", "com1", "LPT9.txt", "a\tb", "a\x7f", "a<b", "a>b",
                          "a|b", "a?b", "a*b", "a\"b"};
  for (const char* n : safe) EXPECT_TRUE(packageNameSafe(n)) << n;
  for (const char* n : unsafe) EXPECT_FALSE(packageNameSafe(n)) << n;
  EXPECT_EQ(packageWindowsPath("Wallpapers/thumbs/a.jpg"), "Wallpapers\\thumbs\\a.jpg");
}

TEST(SetupPackage, VersionsCompareByComponents) {
  struct Case {
    const char* a;
    const char* b;
    int want;
  };
  const Case cases[] = {
      {"0.9.20", "0.9.21", -1}, {"0.9.21", "0.9.20", 1}, {"0.9.20", "0.9.20", 0}, {"1.2", "1.2.0", 0},
      {"1.10", "1.9", 1},       {"1a", "10", 0},         {"0.9.20b", "0.9.200", 0}, {"", "0", 0},
      {"", "0.0.1", -1},        {"01.2", "1.2", 0},      {"1..2", "1.0.2", 0},    {"1.2.", "1.2", 0},
      {"99999999999999999999999", "99999999999999999999998", 1}, {"2", "10", -1}, {"1.0.0.0.1", "1", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareVersions(c.a, c.b), c.want) << c.a << " vs " << c.b;
    EXPECT_EQ(compareVersions(c.b, c.a), -c.want) << c.b << " vs " << c.a;
  }
}

TEST(SetupPackage, InstallationRules) {
  EXPECT_STREQ(installModeName(installMode(false, false)), "first install");
  EXPECT_STREQ(installModeName(installMode(false, true)), "first install");
  EXPECT_STREQ(installModeName(installMode(true, true)), "update");
  EXPECT_STREQ(installModeName(installMode(true, false)), "reinstall");

  // Never downgrade, but only when there is something to start instead.
  EXPECT_TRUE(setupOnlyStartsInstalled("0.9.21", "0.9.20", true));
  EXPECT_FALSE(setupOnlyStartsInstalled("0.9.21", "0.9.20", false));
  EXPECT_FALSE(setupOnlyStartsInstalled("0.9.20", "0.9.20", true));
  EXPECT_FALSE(setupOnlyStartsInstalled("0.9.19", "0.9.20", true));
  EXPECT_FALSE(setupOnlyStartsInstalled("", "0.9.20", true));

  EXPECT_TRUE(installWritesAutostart(InstallMode::FirstInstall, false));
  EXPECT_TRUE(installWritesAutostart(InstallMode::Update, true));
  EXPECT_FALSE(installWritesAutostart(InstallMode::Update, false));
  EXPECT_FALSE(installWritesAutostart(InstallMode::Reinstall, false));
  EXPECT_TRUE(installMakesDesktopShortcut(InstallMode::FirstInstall));
  EXPECT_FALSE(installMakesDesktopShortcut(InstallMode::Update));
  EXPECT_FALSE(installMakesDesktopShortcut(InstallMode::Reinstall));
}

TEST(SetupPackage, PicturesOutsideThePackageAreStale) {
  Package p = packageParse(
      magic().entry("Quillar.exe", "MZ").entry("Wallpapers/thumbs/aurora.jpg", "j").entry("Wallpapers/x.jpg", "j").b);
  ASSERT_TRUE(p.valid);
  EXPECT_FALSE(installPictureIsStale("Wallpapers\\thumbs\\aurora.jpg", p));
  EXPECT_FALSE(installPictureIsStale("wallpapers\\THUMBS\\Aurora.JPG", p));
  EXPECT_FALSE(installPictureIsStale("Wallpapers/x.jpg", p));
  EXPECT_TRUE(installPictureIsStale("Wallpapers\\thumbs\\retired.jpg", p));
  EXPECT_TRUE(installPictureIsStale("Wallpapers\\times\\aurora.jpg", p));
  EXPECT_TRUE(packageIsWallpaper("Wallpapers/x.jpg"));
  EXPECT_FALSE(packageIsWallpaper("Quillar.exe"));
  EXPECT_FALSE(packageIsWallpaper("WallpapersX/x.jpg"));
}

}  // namespace
