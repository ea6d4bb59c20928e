#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "wallpaper/catalog.h"

using namespace kovra;

namespace {

const char* const kDefaultBase = "https://themes.example/v1/";

// One catalogue element in the shipped format; `drop` removes a member (a
// phase name removes that phase, "night.sha256" one field of it).
std::string themeJson(const std::string& idJson, const std::string& drop = "", const std::string& extra = "") {
  std::string files;
  for (const char* p : kPhaseNames) {
    std::string phase = p;
    if (drop == phase) continue;
    if (!files.empty()) files += ",";
    files += "\"" + phase + "\":{";
    if (drop != phase + ".path") files += "\"path\":\"x/x-" + phase + ".jpg\",";
    if (drop != phase + ".sha256") files += "\"sha256\":\"" + std::string(64, 'a') + "\",";
    files += "\"size\":100}";
  }
  std::string t = "{";
  if (drop != "id") t += "\"id\":" + idJson + ",";
  t += "\"title\":{\"en\":\"Window with cocoa\"},\"cover\":\"day\",\"size\":600";
  if (drop != "files") t += ",\"files\":{" + files + "}";
  t += extra + "}";
  return t;
}

std::string catalogJson(const std::vector<std::string>& themes, const std::string& head = "\"version\":1,") {
  std::string list;
  for (const auto& t : themes) list += (list.empty() ? "" : ",") + t;
  return "{" + head + "\"themes\":[" + list + "]}";
}

std::vector<std::string> ids(const CatalogRef& c) {
  std::vector<std::string> out;
  if (c)
    for (const Theme& t : c->themes) out.push_back(t.id);
  return out;
}

TEST(CatalogParse, ReadsEveryMemberOfATheme) {
  std::string text = R"({"version":1,"base":"https://cdn.example/w/","themes":[{
    "id":"wall-05","cover":"golden","thumb":"wall-05/t.jpg","thumbSha256":"0123","size":4959198,
    "title":{"uk":"Вікно з какао","en":"Window with cocoa","it":"I"},
    "files":{"dawn":{"path":"wall-05/wall-05-dawn-f32cb0de.jpg","sha256":"d1","size":808118},
      "day":{"path":"p1","sha256":"d2"},"golden":{"path":"p2","sha256":"d3"},"sunset":{"path":"p3","sha256":"d4"},
      "blue":{"path":"p4","sha256":"d5"},"night":{"path":"p5","sha256":"d6","size":6}}}]})";
  CatalogRef c = catalogParse(text, kDefaultBase);
  ASSERT_TRUE(c);
  ASSERT_EQ(c->themes.size(), 1u);
  const Theme& t = c->themes[0];
  EXPECT_EQ(c->base + t.id + t.cover + t.thumb + t.thumbSha256, "https://cdn.example/w/wall-05goldenwall-05/t.jpg0123");
  EXPECT_EQ(t.size, 4959198u);
  EXPECT_EQ(t.titles, (std::array<std::string, 7>{"Вікно з какао", "Window with cocoa", "", "", "", "", "I"}));
  EXPECT_EQ(t.files[0].path + t.files[0].sha256, "wall-05/wall-05-dawn-f32cb0de.jpgd1");
  EXPECT_EQ(t.files[0].size, 808118u);
  EXPECT_EQ(t.files[1].size, 0u);  // optional
  EXPECT_EQ(t.files[5].path + t.files[5].sha256, "p5d6");
  EXPECT_EQ(catalogUrl(c->base), "https://cdn.example/w/themes.json");
  EXPECT_EQ(themeFileUrl(c->base, t.thumb), "https://cdn.example/w/wall-05/t.jpg");
}

TEST(CatalogParse, DropsThemesWithHostileIds) {
  const std::string hostile[] = {
      R"("..\\..\\Startup\\x")", R"("../x")", R"("a/b")", R"("a\\b")", R"("C:x")", R"("")", R"(".hidden")",
      R"("..")", R"("wall.")", R"("wall 05")", R"("wall\t05")", R"("w\u00e4ll")", R"("wall*")", R"("a?b")",
      R"("CON")", R"("con")", R"("Con.txt")", R"("nul.tar.gz")", R"("PRN")", R"("aux")", R"("COM1")",
      R"("com9.jpg")", R"("LPT1")", R"("lpt9")", R"("x\u0000y")", R"(5)", R"(null)", R"(["a"])",
      "\"" + std::string(65, 'a') + "\""};
  for (const std::string& id : hostile) {
    CatalogRef c = catalogParse(catalogJson({themeJson(R"("before")"), themeJson(id), themeJson(R"("after")")}),
                                kDefaultBase);
    EXPECT_EQ(ids(c), (std::vector<std::string>{"before", "after"})) << id;
  }
  const std::string fine[] = {"wall-05", "wow-070", "a.b_c-D9", "COM0", "COM10", "LPT", "console", "nul-1", "conx.txt",
                        "x"};
  for (const std::string& id : fine) {
    EXPECT_TRUE(themeIdAcceptable(id)) << id;
    EXPECT_EQ(ids(catalogParse(catalogJson({themeJson("\"" + id + "\"")}), kDefaultBase)),
              std::vector<std::string>{id});
  }
  EXPECT_TRUE(themeIdAcceptable(std::string(64, 'z')));
  EXPECT_FALSE(themeIdAcceptable(std::string(65, 'z')));
}

TEST(CatalogParse, DropsThemesWithMissingMembersAndKeepsTheOrder) {
  const std::string drops[] = {"id", "files", "dawn", "night", "golden.path", "night.sha256", "day.sha256"};
  for (const std::string& drop : drops) {
    CatalogRef c = catalogParse(
        catalogJson({themeJson(R"("a")"), themeJson(R"("broken")", drop), themeJson(R"("b")")}), kDefaultBase);
    EXPECT_EQ(ids(c), (std::vector<std::string>{"a", "b"})) << drop;
  }
  // Members of the wrong kind count as missing.
  std::string filesArray = R"({"id":"arr","files":[1,2,3,4,5,6]})";
  std::string pathNumber = themeJson(R"("num")");
  pathNumber.replace(pathNumber.find("\"path\":\"x/x-dawn.jpg\""), 21, "\"path\":7");
  EXPECT_EQ(ids(catalogParse(catalogJson({filesArray, pathNumber, themeJson(R"("ok")")}), kDefaultBase)),
            std::vector<std::string>{"ok"});
}

TEST(CatalogParse, GivesNoCatalogueWithoutAcceptedThemes) {
  const std::string cases[] = {
      "",
      "not json",
      R"({"version":1,"themes":[]})",
      R"({"version":1})",
      R"({"themes":{}})",
      R"([{"id":"a"}])",
      catalogJson({themeJson(R"("CON")"), themeJson(R"("x")", "files")}),
      catalogJson({themeJson(R"("a")")}).substr(1),  // broken text
  };
  for (const std::string& text : cases) EXPECT_FALSE(catalogParse(text, kDefaultBase)) << text;
}

TEST(CatalogParse, KeepsTheFirstOfThemesSharingAnId) {
  CatalogRef c = catalogParse(
      catalogJson({themeJson(R"("wall-05")", "", R"(,"thumb":"first")"), themeJson(R"("wall-07")"),
                   themeJson(R"("wall-05")", "", R"(,"thumb":"second")"), themeJson(R"("WALL-05")")}),
      kDefaultBase);
  EXPECT_EQ(ids(c), (std::vector<std::string>{"wall-05", "wall-07"}));
  EXPECT_EQ(c->themes[0].thumb, "first");
  EXPECT_EQ(catalogFind(*c, "wall-07"), 1);
  EXPECT_EQ(catalogFind(*c, "WALL-07"), -1);
  EXPECT_EQ(catalogFind(*c, ""), -1);
  EXPECT_EQ(catalogFind(*c, "none"), -1);
}

TEST(CatalogParse, FillsInOptionalMembers) {
  struct Case {
    std::string extra;
    uint64_t size;
    std::string cover;
  };
  // Each case adds its members to a theme that has no size, cover, thumb or titles.
  const Case cases[] = {
      {R"(,"size":-5)", 0, ""},           {R"(,"size":12.7)", 12, ""},         {R"(,"size":1e30)", UINT64_MAX, ""},
      {R"(,"size":"600")", 0, ""},        {R"(,"cover":"night")", 0, "night"}, {R"(,"cover":"..\\boot")", 0, ""},
      {R"(,"cover":"Day")", 0, ""},
  };
  for (const Case& c : cases) {
    std::string theme = themeJson(R"("t")");
    theme.replace(theme.find(R"("cover":"day","size":600)"), 24, R"("x":0)");
    theme.insert(theme.size() - 1, c.extra);
    CatalogRef cat = catalogParse(catalogJson({theme}, ""), kDefaultBase);
    ASSERT_TRUE(cat) << theme;
    EXPECT_EQ(cat->base, kDefaultBase);
    EXPECT_EQ(cat->themes[0].size, c.size) << c.extra;
    EXPECT_EQ(coverPhase(cat->themes[0]), c.cover.empty() ? "day" : c.cover) << c.extra;
    EXPECT_EQ(cat->themes[0].thumb + cat->themes[0].titles[0], "");
  }
  EXPECT_EQ(catalogParse(catalogJson({themeJson(R"("t")")}, R"("base":7,)"), kDefaultBase)->base, kDefaultBase);
}

TEST(ThemeTitle, FallsBackToEnglishThenUkrainianThenTheId) {
  Theme t;
  t.id = "wall-05";
  EXPECT_EQ(themeTitle(t, 2), "wall-05");
  t.titles[0] = "uk";
  EXPECT_EQ(themeTitle(t, 2), "uk");
  t.titles[1] = "en";
  EXPECT_EQ(themeTitle(t, 2) + themeTitle(t, 0), "enuk");
  t.titles[2] = "de";
  EXPECT_EQ(themeTitle(t, 2) + themeTitle(t, 6) + themeTitle(t, -1) + themeTitle(t, 7), "deenenen");
}

struct FakeDisk {
  std::set<std::string> files;
  mutable std::vector<std::string> asked;
  FileExists exists() const {
    return [this](const std::string& p) {
      asked.push_back(p);
      return files.count(p) > 0;
    };
  }
};

TEST(ThemeFiles, FindsPicturesInstalledFirstThenDownloaded) {
  Theme t;
  t.id = "wall-05";
  FakeDisk disk;
  const std::string inst = "C:\\Prog\\Wallpapers", data = "C:\\U\\AppData\\Local\\Quillar";
  EXPECT_EQ(themePicturePath(t, "day", inst, data, disk.exists()), "");
  EXPECT_EQ(disk.asked, (std::vector<std::string>{inst + "\\times\\wall-05-day.jpg",
                                                  data + "\\Themes\\wall-05\\wall-05-day.jpg"}));
  disk.files = {data + "\\Themes\\wall-05\\wall-05-day.jpg"};
  EXPECT_EQ(themePicturePath(t, "day", inst, data, disk.exists()), data + "\\Themes\\wall-05\\wall-05-day.jpg");
  disk.files.insert(inst + "\\times\\wall-05-day.jpg");
  EXPECT_EQ(themePicturePath(t, "day", inst, data, disk.exists()), inst + "\\times\\wall-05-day.jpg");
  EXPECT_EQ(themePicturePath(t, "..\\x", inst, data, disk.exists()), "");
  EXPECT_EQ(themePicturePath(t, "", inst, data, disk.exists()), "");

  // Availability needs all six, looked for in phase order up to the first gap.
  disk.files.clear();
  for (const char* p : {"dawn", "day", "sunset", "blue", "night"})
    disk.files.insert(inst + "\\times\\wall-05-" + std::string(p) + ".jpg");
  disk.asked.clear();
  EXPECT_FALSE(themeOnDisk(t, inst, data, disk.exists()));
  EXPECT_EQ(disk.asked.back(), data + "\\Themes\\wall-05\\wall-05-golden.jpg");
  EXPECT_EQ(disk.asked.size(), 4u);
  disk.files.insert(data + "\\Themes\\wall-05\\wall-05-golden.jpg");
  EXPECT_TRUE(themeOnDisk(t, inst, data, disk.exists()));

  // Thumbnail: installed, fetched, then the cover picture.
  t.cover = "night";
  EXPECT_EQ(themeThumbnailPath(t, inst, data, disk.exists()), inst + "\\times\\wall-05-night.jpg");
  disk.files.insert(data + "\\Themes\\thumbs\\wall-05.jpg");
  EXPECT_EQ(themeThumbnailPath(t, inst, data, disk.exists()), data + "\\Themes\\thumbs\\wall-05.jpg");
  disk.files.insert(inst + "\\thumbs\\wall-05.jpg");
  EXPECT_EQ(themeThumbnailPath(t, inst, data, disk.exists()), inst + "\\thumbs\\wall-05.jpg");

  EXPECT_FALSE(thumbnailWanted(t, inst, data, disk.exists()));  // nothing listed
  t.thumb = "wall-05/t.jpg";
  EXPECT_FALSE(thumbnailWanted(t, inst, data, disk.exists()));
  disk.files.clear();
  EXPECT_TRUE(thumbnailWanted(t, inst, data, disk.exists()));
}

TEST(ThemeFiles, SumsMissingSizesAndChoosesTheInstalledFolder) {
  Catalog c;
  for (uint64_t size : {100u, 20u, 3u}) c.themes.push_back(Theme{.size = size});
  EXPECT_EQ(missingThemesSize(c, [](int i) { return i == 1; }), 103u);
  EXPECT_EQ(installedWallpapersFolder("C:\\P", true, "D:\\App"), "C:\\P\\Wallpapers");
  EXPECT_EQ(installedWallpapersFolder("C:\\P", false, "D:\\App"), "D:\\App\\Wallpapers");
  EXPECT_EQ(installedWallpapersFolder("C:\\P", false, ""), "C:\\P\\Wallpapers");
}

TEST(ThemeFiles, ShowsSizesInWholeMegabytesAtLeastOne) {
  const struct {
    uint64_t bytes;
    int shown;
  } cases[] = {{0, 0},        {1, 1},          {499999, 1},        {1499999, 1},
               {1500000, 2},  {4959198, 5},    {1000000000000, 1000000},
               {UINT64_MAX, 0x7fffffff}};
  for (const auto& c : cases) EXPECT_EQ(megabytesShown(c.bytes), c.shown) << c.bytes;
}

TEST(CatalogRefresh, FetchesAtMostEverySixHoursAndChecksThumbnails) {
  EXPECT_TRUE(catalogRefreshDue(std::nullopt, 5));
  EXPECT_FALSE(catalogRefreshDue(100.0, 100.0 + 21599));
  EXPECT_TRUE(catalogRefreshDue(100.0, 100.0 + 21600));
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";  // SHA-256("abc")
  EXPECT_TRUE(thumbnailAcceptable(200, "abc", abc));
  EXPECT_FALSE(thumbnailAcceptable(203, "abc", abc));
  EXPECT_FALSE(thumbnailAcceptable(200, "abd", abc));
  EXPECT_FALSE(thumbnailAcceptable(200, "abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"));
  EXPECT_FALSE(thumbnailAcceptable(200, "", ""));
}

TEST(AvailabilityCache, AnswersFromMemoryForAMinuteAndAfterADropLooksAgain) {
  AvailabilityCache cache;
  int looks = 0;
  bool onDisk = false;
  auto look = [&] {
    ++looks;
    return onDisk;
  };
  EXPECT_FALSE(cache.available("a", 1000, look));
  onDisk = true;
  EXPECT_FALSE(cache.available("a", 1000 + 60000, look));  // exactly a minute: still remembered
  EXPECT_EQ(looks, 1);
  EXPECT_TRUE(cache.available("a", 1000 + 60001, look));  // more than a minute: forgotten
  onDisk = false;
  cache.drop(70000);
  EXPECT_FALSE(cache.available("a", 70000, look));
  EXPECT_EQ(looks, 3);

  // A drop while the disk is being looked at (a download just finished)
  // keeps that answer out of the map.
  cache.drop(80000);
  EXPECT_FALSE(cache.available("c", 80000, [&] {
    cache.drop(80000);
    return false;
  }));
  onDisk = true;
  EXPECT_TRUE(cache.available("c", 80000, look));
}

TEST(CatalogHolder, LoadsOnceAndKeepsEveryCatalogueThatWasCurrent) {
  CatalogHolder holder;
  int loads = 0;
  auto load = [&] {
    ++loads;
    return catalogParse(catalogJson({themeJson(R"("first")")}), kDefaultBase);
  };
  CatalogRef a = holder.current(load);
  CatalogRef b = holder.current(load);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(a, b);
  CatalogRef next = catalogParse(catalogJson({themeJson(R"("second")")}), kDefaultBase);
  holder.install(next);
  holder.install(nullptr);
  EXPECT_EQ(holder.current(load), next);
  EXPECT_EQ(holder.retiredCount(), 2u);
  EXPECT_EQ(a->themes[0].id, "first");

  CatalogHolder none;
  CatalogRef empty = none.current([] { return CatalogRef(); });
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->themes.empty());
}

}  // namespace
