#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "wallpaper/download.h"

using namespace kovra;

namespace {

TEST(DownloadQueue, QueuesEachThemeOnceAndRunsOneAtATime) {
  DownloadQueue q;
  EXPECT_EQ(q.request("a", false), RequestOutcome::Queued);
  EXPECT_EQ(q.request("b", false), RequestOutcome::Queued);
  EXPECT_EQ(q.request("a", false), RequestOutcome::AlreadyQueued);
  EXPECT_EQ(q.pending(), 2);
  EXPECT_EQ(q.progress("a"), 0.0f);
  EXPECT_EQ(q.progress("c"), -1.0f);

  EXPECT_EQ(q.next(), std::optional<std::string>("a"));
  EXPECT_EQ(q.next(), std::nullopt) << "one download at a time";
  // Asked for again while it downloads: still the one download.
  EXPECT_EQ(q.request("a", true), RequestOutcome::AlreadyQueued);
  q.setProgress("a", 0.5f);
  EXPECT_EQ(q.progress("a"), 0.5f);
  EXPECT_TRUE(q.finish("a", true)) << "chosen while it was on its way";
  EXPECT_EQ(q.progress("a"), -1.0f);
  EXPECT_EQ(q.selectWhenDone(), "");

  EXPECT_EQ(q.next(), std::optional<std::string>("b"));
  EXPECT_EQ(q.next(), std::nullopt);
  EXPECT_FALSE(q.finish("b", true));
  EXPECT_EQ(q.next(), std::nullopt) << "drained";
  EXPECT_EQ(q.pending(), 0);
  EXPECT_FALSE(q.anyFailed());
}

TEST(DownloadQueue, AFailureIsMarkedUntilTheThemeIsAskedForAgain) {
  DownloadQueue q;
  q.request("a", true);
  q.request("b", true);  // the later choice wins
  EXPECT_EQ(q.selectWhenDone(), "b");
  q.next();
  EXPECT_FALSE(q.finish("a", false));
  EXPECT_TRUE(q.failed("a"));
  EXPECT_TRUE(q.anyFailed());
  EXPECT_EQ(q.selectWhenDone(), "b");

  q.next();
  EXPECT_FALSE(q.finish("b", false)) << "a failed download is never chosen";
  EXPECT_EQ(q.selectWhenDone(), "");
  EXPECT_TRUE(q.failed("b"));

  q.request("a", true);
  q.forgetSelection();  // another wallpaper was chosen meanwhile
  EXPECT_EQ(q.selectWhenDone(), "");
  EXPECT_FALSE(q.failed("a")) << "clicking it again retries";
  EXPECT_TRUE(q.failed("b"));
  EXPECT_EQ(q.pending(), 1);
  EXPECT_EQ(q.next(), std::optional<std::string>("a"));
}

TEST(DownloadProgress, RepaintsOncePerFourPercentOfTheWholeTheme) {
  // Two pictures of 50 bytes each, received in chunks.
  ProgressSteps p(100);
  std::vector<std::pair<float, bool>> seen;
  for (uint64_t b : {1u, 3u, 4u, 7u, 8u, 50u}) {
    auto s = p.received(b);
    seen.push_back({s.fraction, s.repaint});
  }
  p.pictureDone(50);
  for (uint64_t b : {1u, 2u, 50u, 60u}) {
    auto s = p.received(b);
    seen.push_back({s.fraction, s.repaint});
  }
  const std::vector<std::pair<float, bool>> expected = {
      {0.01f, false}, {0.03f, false}, {0.04f, true}, {0.07f, false}, {0.08f, true}, {0.5f, true},
      {0.51f, false}, {0.52f, true},  {1.0f, true},  {1.0f, false},  // more than listed: capped
  };
  ASSERT_EQ(seen.size(), expected.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_FLOAT_EQ(seen[i].first, expected[i].first) << i;
    EXPECT_EQ(seen[i].second, expected[i].second) << i;
  }
}

TEST(DownloadProgress, AThemeWithoutSizeIsCompleteAtOnceAndRepaintsOnce) {
  ProgressSteps p(0);
  auto first = p.received(1000);
  EXPECT_EQ(first.fraction, 1.0f);
  EXPECT_TRUE(first.repaint);
  for (uint64_t b : {2000u, 300000u}) EXPECT_FALSE(p.received(b).repaint) << b;
  p.pictureDone(0);
  EXPECT_FALSE(p.received(5).repaint);
}

TEST(DownloadLimit, APictureMayExceedItsListedSizeByAMarginOnly) {
  struct Case {
    uint64_t listed, limit;
  };
  const Case cases[] = {
      {0, kPictureLimitCeiling},  // unlisted: bounded all the same
      {1, 1 + 65536},
      {800000, 900000},
      {kPictureLimitCeiling - 1, kPictureLimitCeiling},
      {kPictureLimitCeiling, kPictureLimitCeiling},
      {UINT64_MAX, kPictureLimitCeiling},
  };
  for (const Case& c : cases) EXPECT_EQ(pictureByteLimit(c.listed), c.limit) << c.listed;
}

TEST(DownloadFolders, NamesUnderTheThemesFolder) {
  EXPECT_EQ(themeStagingFolder("C:\\d\\Themes", "frozen-lake"), "C:\\d\\Themes\\.frozen-lake.part");
  EXPECT_EQ(themeFinalFolder("C:\\d\\Themes\\", "frozen-lake"), "C:\\d\\Themes\\frozen-lake");
  EXPECT_EQ(themeOldFolder("C:\\d\\Themes", "frozen-lake"), "C:\\d\\Themes\\frozen-lake.old");
  const std::vector<std::string> files = themePictureFiles("S", "x");
  EXPECT_EQ(files, (std::vector<std::string>{"S\\x-dawn.jpg", "S\\x-day.jpg", "S\\x-golden.jpg", "S\\x-sunset.jpg",
                                             "S\\x-blue.jpg", "S\\x-night.jpg"}));
}

// Folders by name with what they hold; chosen operations fail.
class MemoryFolders final : public FolderOps {
 public:
  std::map<std::string, std::string> folders;  // name -> content tag
  std::set<std::pair<std::string, std::string>> failingMoves;
  std::set<std::string> failingRemovals;
  bool exists(const std::string& f) override { return folders.count(f) != 0; }
  bool move(const std::string& from, const std::string& to) override {
    if (!folders.count(from) || folders.count(to) || failingMoves.count({from, to})) return false;
    folders[to] = folders[from];
    folders.erase(from);
    return true;
  }
  bool remove(const std::string& f) override {
    if (failingRemovals.count(f)) return false;
    folders.erase(f);
    return true;
  }
};

TEST(DownloadSwap, TheFinalFolderIsOnlyEverTheOldSetOrTheNewOne) {
  const std::string T = "T", staging = "T\\.x.part", final = "T\\x", old = "T\\x.old";
  struct Case {
    const char* what;
    std::map<std::string, std::string> before;
    std::set<std::pair<std::string, std::string>> failingMoves;
    std::set<std::string> failingRemovals;
    bool ok;
    std::map<std::string, std::string> after;
  };
  const Case cases[] = {
      {"first download", {{staging, "new"}}, {}, {}, true, {{final, "new"}}},
      {"replaces a complete older set", {{staging, "new"}, {final, "old"}}, {}, {}, true, {{final, "new"}}},
      {"a leftover aside goes first", {{staging, "new"}, {final, "old"}, {old, "older"}}, {}, {}, true,
       {{final, "new"}}},
      {"the older set cannot be moved aside", {{staging, "new"}, {final, "old"}}, {{final, old}}, {}, false,
       {{final, "old"}}},
      {"the new set cannot take the name: the older one comes back",
       {{staging, "new"}, {final, "old"}},
       {{staging, final}},
       {},
       false,
       {{final, "old"}}},
      {"the new set cannot take the name, nothing was there", {{staging, "new"}}, {{staging, final}}, {}, false, {}},
      {"a leftover aside that cannot go", {{staging, "new"}, {final, "old"}, {old, "older"}}, {}, {old}, false,
       {{final, "old"}, {old, "older"}}},
      {"the set aside cannot be removed afterwards", {{staging, "new"}, {final, "old"}}, {}, {old}, true,
       {{final, "new"}, {old, "old"}}},
  };
  for (const Case& c : cases) {
    MemoryFolders fs;
    fs.folders = c.before;
    fs.failingMoves = c.failingMoves;
    fs.failingRemovals = c.failingRemovals;
    EXPECT_EQ(installStagedTheme(fs, T, "x"), c.ok) << c.what;
    EXPECT_EQ(fs.folders, c.after) << c.what;
  }
}

TEST(DownloadSwap, AFailedDownloadLeavesOnlyWhatWasThere) {
  MemoryFolders fs;
  fs.folders = {{"T\\.x.part", "half"}, {"T\\x", "old"}};
  discardStagedTheme(fs, "T", "x");
  EXPECT_EQ(fs.folders, (std::map<std::string, std::string>{{"T\\x", "old"}}));
}

}  // namespace
