#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "wallpaper/wallpaper_rules.h"

using namespace kovra;

namespace {

Catalog catalogOf(std::initializer_list<const char*> ids) {
  Catalog c;
  for (const char* id : ids) c.themes.push_back(Theme{.id = id});
  return c;
}

TEST(WallpaperChoice, MigratesTheOldNumbers) {
  EXPECT_EQ(migratedWallpaperId(12u), "wall-22");
  EXPECT_EQ(migratedWallpaperId(1u) + migratedWallpaperId(16u), "wall-03wall-21");
  for (std::optional<uint32_t> n : {std::optional<uint32_t>(), std::optional<uint32_t>(0u),
                                    std::optional<uint32_t>(17u), std::optional<uint32_t>(0xFFFFFFFFu)})
    EXPECT_EQ(migratedWallpaperId(n), "none");
}

TEST(WallpaperChoice, ResolvesTheStoredValuesAgainstTheCatalogue) {
  const Catalog c = catalogOf({"wall-05", "wall-22", "mine"});
  struct Case {
    const char* file;
    std::optional<uint32_t> wallpaper;
    int choice;
    std::optional<std::string> writeFile;
    std::optional<uint32_t> writeWallpaper;
  };
  const Case cases[] = {
      {"wall-22", 2u, 1, std::nullopt, std::nullopt},  // in step: nothing written
      {"wall-22", 7u, 1, std::nullopt, 2u},            // index moved in a new catalogue
      {"wall-22", std::nullopt, 1, std::nullopt, 2u},
      {"none", 0u, -1, std::nullopt, std::nullopt},
      {"none", 3u, -1, std::nullopt, 0u},
      {"gone-id", 1u, -1, std::string("none"), 0u},  // no longer listed
      {"Wall-05", 1u, -1, std::string("none"), 0u},  // ids match exactly
      {"", 12u, 1, std::string("wall-22"), 2u},      // old value 12 migrates
      {"", 2u, 0, std::string("wall-05"), 1u},
      {"", 1u, -1, std::string("none"), 0u},  // "wall-03" is not listed
      {"", std::nullopt, -1, std::string("none"), 0u},
      {"", 0u, -1, std::string("none"), std::nullopt},
  };
  for (const Case& k : cases) {
    ChoiceResolution r = resolveWallpaperChoice(k.file, k.wallpaper, c);
    std::string what = std::string(k.file) + "/" + (k.wallpaper ? std::to_string(*k.wallpaper) : "-");
    EXPECT_EQ(r.choice, k.choice) << what;
    EXPECT_EQ(r.writeFile, k.writeFile) << what;
    EXPECT_EQ(r.writeWallpaper, k.writeWallpaper) << what;
  }
}

TEST(WallpaperChoice, StoresIdAndIndexInStep) {
  const Catalog c = catalogOf({"wall-05", "wall-22"});
  struct Case {
    int choice;
    const char* file;
    uint32_t wallpaper;
  };
  for (const Case& k : {Case{0, "wall-05", 1}, Case{1, "wall-22", 2}, Case{-1, "none", 0}, Case{2, "none", 0},
                        Case{-7, "none", 0}}) {
    StoredChoice s = storedChoice(c, k.choice);
    EXPECT_EQ(s.wallpaperFile, k.file) << k.choice;
    EXPECT_EQ(s.wallpaper, k.wallpaper) << k.choice;
  }
  EXPECT_TRUE(followTimesFromStored(std::nullopt));
  EXPECT_TRUE(followTimesFromStored(1u));
  EXPECT_TRUE(followTimesFromStored(2u));
  EXPECT_FALSE(followTimesFromStored(0u));
}

TEST(WallpaperTarget, NamesTheGeneratedPictures) {
  struct Case {
    DayPhase phase;
    const char* name;
  };
  for (const Case& k : {Case{{"golden", "sunset", 0.25}, "wall-05-golden-sunset-25.jpg"},
                        Case{{"night", "dawn", 0.5}, "wall-05-night-dawn-50.jpg"},
                        Case{{"day", "golden", 0.75}, "wall-05-day-golden-75.jpg"},
                        Case{{"blue", "blue", 0}, "wall-05-blue.jpg"}, Case{{"blue", "../x", 0.5}, ""},
                        Case{{"noon", "noon", 0}, ""}})
    EXPECT_EQ(blendPictureName("wall-05", k.phase), k.name);
  EXPECT_EQ(fixedPictureName("wall-05"), "wall-05.jpg");
  EXPECT_EQ(temporaryPictureName("C:\\W\\a-day-blue-25.jpg"), "C:\\W\\a-day-blue-25.jpg.tmp");
  EXPECT_EQ(generatedFolder("C:\\L\\Quillar") + originalsPath("D:"), "C:\\L\\Quillar\\WallpapersD:\\original-wallpapers.txt");
}

TEST(WallpaperTarget, DecidesWhatAnApplyRunShows) {
  const Catalog c = catalogOf({"wall-05", "wall-22"});
  const DayPhase evening{"golden", "sunset", 0.25};
  const DayPhase night{"night", "night", 0};
  struct Case {
    int choice;
    bool follow, available, imaging;
    DayPhase phase;
    TargetKind kind;
    const char* name;
  };
  const Case cases[] = {
      {-1, true, true, true, evening, TargetKind::Restore, ""},
      {2, true, true, true, evening, TargetKind::Leave, ""},
      {1, true, false, true, evening, TargetKind::Download, ""},
      {1, true, true, false, evening, TargetKind::Restore, ""},
      {1, false, true, true, evening, TargetKind::Fixed, "wall-22.jpg"},
      {1, true, true, true, night, TargetKind::Phase, "wall-22-night.jpg"},
      {0, true, true, true, evening, TargetKind::Blend, "wall-05-golden-sunset-25.jpg"},
      {0, true, true, true, DayPhase{"dusk", "dusk", 0}, TargetKind::Leave, ""},
  };
  for (const Case& k : cases) {
    WallpaperTarget t = wallpaperTarget(k.choice, k.follow, c, k.available, k.imaging, k.phase);
    EXPECT_EQ(static_cast<int>(t.kind), static_cast<int>(k.kind)) << k.choice << " " << k.name;
    EXPECT_EQ(t.name, k.name);
  }
}

Picture picture(uint32_t w, uint32_t h, std::vector<uint8_t> pixels) { return Picture{w, h, std::move(pixels)}; }

TEST(BlendPictures, MixesTwoTinyPicturesByteForByte) {
  // 2 x 1 pixels, B G R x each.
  Picture a = picture(2, 1, {0, 255, 100, 7, 1, 3, 200, 10});
  Picture b = picture(2, 1, {255, 0, 200, 9, 2, 0, 100, 250});
  Picture out;
  // w = 0.25: 0*.75+255*.25+.5 = 64.25; 255*.75+.5 = 191.75; 75+50+.5 = 125.5;
  // 5.25+2.25+.5 = 8; .75+.5+.5 = 1.75; 2.25+.5 = 2.75; 150+25+.5 = 175.5; 7.5+62.5+.5 = 70.5
  ASSERT_TRUE(blendPictures(a, b, 0.25, out));
  EXPECT_EQ(out.width, 2u);
  EXPECT_EQ(out.height, 1u);
  EXPECT_EQ(out.pixels, (std::vector<uint8_t>{64, 191, 125, 8, 1, 2, 175, 70}));
  // w = 0.5: 128 (127.5+.5), 128, 150.5, 8.5, 2 (.5+1+.5), 2 (1.5+.5), 150.5, 130.5
  ASSERT_TRUE(blendPictures(a, b, 0.5, out));
  EXPECT_EQ(out.pixels, (std::vector<uint8_t>{128, 128, 150, 8, 2, 2, 150, 130}));
  // w = 0.75: 191.75, 64.25, 175.5, 8.5+.5 = 9, 2.25, .75+.5 = 1.25, 125.5, 190
  ASSERT_TRUE(blendPictures(a, b, 0.75, out));
  EXPECT_EQ(out.pixels, (std::vector<uint8_t>{191, 64, 175, 9, 2, 1, 125, 190}));
  ASSERT_TRUE(blendPictures(a, b, 0.0, out));
  EXPECT_EQ(out.pixels, a.pixels);
  ASSERT_TRUE(blendPictures(a, b, 1.0, out));
  EXPECT_EQ(out.pixels, b.pixels);
}

TEST(BlendPictures, RefusesPicturesThatDoNotMatchAndRepacks) {
  Picture a = picture(2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  Picture out;
  const Picture others[] = {picture(1, 2, std::vector<uint8_t>(8, 1)), picture(2, 1, std::vector<uint8_t>(7, 1))};
  for (const Picture& b : others) EXPECT_FALSE(blendPictures(a, b, 0.5, out));
  EXPECT_TRUE(out.pixels.empty());
  EXPECT_FALSE(blendPictures(picture(0x40000000u, 4, {}), picture(0x40000000u, 4, {}), 0.5, out));
  for (double w : {1.5, -0.25, double(NAN)}) EXPECT_FALSE(blendPictures(a, a, w, out)) << w;
  EXPECT_EQ(bgrRows(a), (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
}

TEST(OriginalsFile, ReadsAndWritesMonitorLines) {
  Originals m = readOriginals(
      "\\\\?\\DISPLAY#DEL40F0#5&1\tC:\\Users\\me\\Pictures\\lake.jpg\n"
      "*\tC:\\Windows\\Web\\Wallpaper\\Windows\\img0.jpg\r\n"
      "no tab here\n"
      "\tC:\\no-monitor.jpg\n"
      "MON2\t\n"
      "\n"
      "MON3\tC:\\a\tb.jpg\n"
      "MON4\tfirst.jpg\n"
      "MON4\tsecond.jpg");
  Originals want = {{"\\\\?\\DISPLAY#DEL40F0#5&1", "C:\\Users\\me\\Pictures\\lake.jpg"},
                    {"*", "C:\\Windows\\Web\\Wallpaper\\Windows\\img0.jpg"},
                    {"MON3", "C:\\a\tb.jpg"},
                    {"MON4", "second.jpg"}};
  EXPECT_EQ(m, want);
  EXPECT_TRUE(readOriginals("").empty());

  EXPECT_EQ(writeOriginals({{"b", "C:\\y.jpg"}, {"*", "C:\\x.jpg"}, {"a", "D:\\Фото\\z.jpg"}}),
            "*\tC:\\x.jpg\na\tD:\\Фото\\z.jpg\nb\tC:\\y.jpg\n");
  // Entries that could not be read back as they are stay out.
  EXPECT_EQ(writeOriginals({{"a\tb", "x"}, {"c", "line\nbreak"}, {"", "y"}, {"d", ""}, {"e", "ok"}}), "e\tok\n");
  EXPECT_EQ(readOriginals(writeOriginals(want)), want);
}

TEST(WallpaperPaths, TellOursFromTheUsers) {
  const std::string ours = "C:\\Users\\me\\AppData\\Local\\Quillar\\Wallpapers";
  struct Case {
    const char* path;
    bool ours;
  };
  const Case cases[] = {
      {"C:\\Users\\me\\AppData\\Local\\Quillar\\Wallpapers\\wall-05-day.jpg", true},
      {"c:\\users\\ME\\appdata\\local\\quillar\\WALLPAPERS\\x.jpg", true},
      {"C:/Users/me/AppData/Local/Quillar/Wallpapers/x.jpg", true},
      {"C:\\Users\\me\\AppData\\Local\\Quillar\\Wallpapers2\\x.jpg", false},  // a neighbour folder
      {"C:\\Users\\me\\AppData\\Local\\Quillar\\Wallpapers", false},
      {"C:\\Users\\me\\AppData\\Local\\Quillar\\Themes\\wall-05\\wall-05-day.jpg", false},
      {"C:\\Users\\me\\Pictures\\lake.jpg", false},
      {"", false},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(wallpaperIsOurs(k.path, ours), k.ours) << k.path;
    EXPECT_EQ(wallpaperIsOurs(k.path, ours + "\\"), k.ours) << k.path;
  }
  EXPECT_FALSE(wallpaperIsOurs("C:\\x.jpg", ""));
  EXPECT_TRUE(samePicturePath("C:\\A\\b.JPG", "c:/a/B.jpg"));
  EXPECT_FALSE(samePicturePath("C:\\A\\b.jpg", "C:\\A\\b.jpg.tmp"));
}

TEST(MonitorChange, RemembersTheUsersPictureAndPutsItBack) {
  const std::string folder = "C:\\L\\Quillar\\Wallpapers";
  const std::string target = folder + "\\wall-05-golden-sunset-25.jpg";
  const std::string lake = "C:\\Users\\me\\Pictures\\lake.jpg";
  std::set<std::string> files = {lake};
  FileExists exists = [&](const std::string& p) { return files.count(p) > 0; };
  Originals map;
  bool changed = false;

  // First application over a user picture: remembered, then replaced.
  MonitorChange m = monitorChange("MON1", lake, target, folder, map, changed, exists);
  EXPECT_TRUE(m.set);
  EXPECT_EQ(m.picture, target);
  EXPECT_TRUE(changed);
  EXPECT_EQ(map, (Originals{{"MON1", lake}}));

  // The second monitor already shows the target (in another letter case): nothing changes.
  changed = false;
  m = monitorChange("MON2", lowerPath(target), target, folder, map, changed, exists);
  EXPECT_FALSE(m.set);
  EXPECT_FALSE(changed);
  EXPECT_EQ(map.count("MON2"), 0u);

  // The next quarter replaces our own picture without touching the originals.
  m = monitorChange("MON1", target, folder + "\\wall-05-golden-sunset-50.jpg", folder, map, changed, exists);
  EXPECT_TRUE(m.set);
  EXPECT_FALSE(changed);
  EXPECT_EQ(map["MON1"], lake);

  // An empty wallpaper records nothing.
  m = monitorChange("MON3", "", target, folder, map, changed, exists);
  EXPECT_TRUE(m.set);
  EXPECT_FALSE(changed);

  // "My wallpaper": ours goes back to the remembered picture ...
  m = monitorChange("MON1", target, "", folder, map, changed, exists);
  EXPECT_TRUE(m.set);
  EXPECT_TRUE(m.restored);
  EXPECT_EQ(m.picture, lake);
  // ... a monitor without a record, or whose picture is gone, is left as is ...
  m = monitorChange("MON2", target, "", folder, map, changed, exists);
  EXPECT_FALSE(m.set);
  EXPECT_TRUE(m.ownUnknown);
  files.clear();
  m = monitorChange("MON1", target, "", folder, map, changed, exists);
  EXPECT_FALSE(m.set);
  EXPECT_TRUE(m.ownUnknown);
  // ... and a user's picture on the monitor is not touched at all.
  m = monitorChange("MON1", "C:\\other.jpg", "", folder, map, changed, exists);
  EXPECT_FALSE(m.set);
  EXPECT_FALSE(m.ownUnknown);
  EXPECT_FALSE(changed);
  EXPECT_EQ(map["MON1"], lake);  // the originals stay recorded
}

TEST(Tidy, DeletesOnlyOldGeneratedPicturesNotInUse) {
  const std::string dir = "C:\\L\\Quillar\\Wallpapers\\";
  const uint64_t now = 133500000000000000ull;
  const uint64_t old = now - kTidyAge, fresh = now - kTidyAge + 1;
  std::set<std::string> inUse = wallpapersInUse(
      dir + "wall-05-golden-sunset-25.jpg",
      {"C:/L/Quillar/Wallpapers/WALL-05-DAY.jpg", "", dir + "wall-05-night.jpg" /* another virtual desktop */});
  EXPECT_EQ(inUse.size(), 3u);
  struct Entry {
    const char* name;
    bool directory;
    uint64_t created, written;
    bool removed;
  };
  const Entry entries[] = {
      {"wall-05-golden-sunset-25.jpg", false, old, old, false},  // the target
      {"wall-05-day.jpg", false, old, old, false},               // shown on a monitor
      {"wall-05-night.jpg", false, old, old, false},             // shown on another virtual desktop
      {"wall-05-golden-sunset-50.jpg", false, old, old, true},
      {"wall-05-blue-night-25.JPG", false, 0, old, true},
      {"wall-05-day-golden-75.jpg.tmp", false, old, 0, true},
      {"wall-05-dawn.jpg", false, old, fresh, false},  // written less than 15 minutes ago
      {"wall-05-dusk.jpg", false, fresh, old, false},  // created less than 15 minutes ago
      {"future.jpg", false, now + 1000, now + 1000, false},
      {"notes.txt", false, old, old, false},
      {"wall-05.jpeg", false, old, old, false},
      {"folder.jpg", true, old, old, false},
  };
  std::vector<FolderEntry> listing;
  std::vector<std::string> want;
  uint64_t wantBytes = 0, size = 1000;
  for (const Entry& e : entries) {
    listing.push_back(FolderEntry{dir + e.name, e.name, e.directory, e.created, e.written, size});
    if (e.removed) {
      want.push_back(dir + e.name);
      wantBytes += size;
    }
    size += 1000;
  }
  TidyPlan plan = tidyPlan(listing, inUse, now);
  EXPECT_EQ(plan.remove, want);
  EXPECT_EQ(plan.bytes, wantBytes);
}

}  // namespace
