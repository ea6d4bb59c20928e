#include <gtest/gtest.h>

#include "desktop/survey_rules.h"

namespace {

SurveyedWindow win(uint64_t h, PixelRect r) {
  SurveyedWindow w;
  w.window = h;
  w.visible = r;
  w.frame = r;
  return w;
}

TEST(SurveyRules, IgnoresShellOverlaysChildrenAndOwnWindowsButTheSettingsWindow) {
  EXPECT_TRUE(surveyIgnores(false, L"Shell_TrayWnd", 0, 0));
  EXPECT_TRUE(surveyIgnores(false, L"Progman", 0, 0));
  EXPECT_TRUE(surveyIgnores(false, L"KovraSnow", 0, 0));
  EXPECT_FALSE(surveyIgnores(false, L"Notepad", kStyleCaption, 0));
  EXPECT_FALSE(surveyIgnores(false, L"progman", 0, 0)) << "class names match case-sensitively";
  EXPECT_TRUE(surveyIgnores(false, L"Notepad", kStyleChild, 0));
  EXPECT_TRUE(surveyIgnores(false, L"Overlay", 0, kExLayered | kExTransparent));
  EXPECT_FALSE(surveyIgnores(false, L"Overlay", 0, kExLayered));
  EXPECT_FALSE(surveyIgnores(true, L"KovraSettings", kStyleCaption, 0));
  EXPECT_TRUE(surveyIgnores(true, L"KovraTrayMenu", 0, 0));
  EXPECT_TRUE(surveyIgnores(true, L"KovraMain", 0, 0));
}

TEST(SurveyRules, SeeThroughAtAlphaBelowFiftyOrClickThrough) {
  EXPECT_TRUE(seeThrough(kExLayered, true, true, 49));
  EXPECT_FALSE(seeThrough(kExLayered, true, true, 50));
  EXPECT_FALSE(seeThrough(kExLayered, false, true, 0)) << "unreadable alpha counts as opaque";
  EXPECT_FALSE(seeThrough(kExLayered, true, false, 0)) << "colour-keyed, not alpha";
  EXPECT_FALSE(seeThrough(0, true, true, 0)) << "alpha only matters for layered windows";
  EXPECT_TRUE(seeThrough(kExTransparent, false, false, 255));
}

TEST(SurveyRules, PublishesOnlyWindowsOfAtLeastSixtyByThirty) {
  EXPECT_TRUE(bigEnoughToPublish({0, 0, 60, 30}));
  EXPECT_FALSE(bigEnoughToPublish({0, 0, 59, 300}));
  EXPECT_FALSE(bigEnoughToPublish({0, 0, 600, 29}));
  EXPECT_FALSE(bigEnoughToPublish({100, 100, 0, 0}));
  EXPECT_TRUE(bigEnoughToPublish({-2147483647, 0, 2147483647, 40})) << "no overflow on huge rectangles";
}

TEST(SurveyRules, ChangeMeansOtherWindowsOrderRectanglesOrTaskbars) {
  std::vector<SurveyedWindow> a = {win(1, {0, 0, 100, 100}), win(2, {50, 50, 300, 200})};
  std::vector<PixelRect> bars = {{0, 1040, 1920, 1080}};
  auto b = a;
  b[0].topmost = true;  // flags alone are no change
  b[0].frame = {1, 1, 2, 2};
  EXPECT_TRUE(sameSurvey(a, bars, b, bars));
  b[1].visible.left += 1;  // one pixel is
  EXPECT_FALSE(sameSurvey(a, bars, b, bars));
  std::vector<SurveyedWindow> swapped = {a[1], a[0]};
  EXPECT_FALSE(sameSurvey(a, bars, swapped, bars));
  EXPECT_FALSE(sameSurvey(a, bars, {a[0]}, bars));
  EXPECT_FALSE(sameSurvey(a, bars, a, {}));
  EXPECT_TRUE(sameSurvey({}, {}, {}, {}));
}

}  // namespace
