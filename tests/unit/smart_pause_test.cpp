#include <gtest/gtest.h>

#include "desktop/smart_pause.h"

namespace {

SurveyedWindow window(uint64_t h, PixelRect visible, bool caption, bool maximized = false, bool topmost = false,
                      bool layered = false) {
  SurveyedWindow w;
  w.window = h;
  w.visible = w.frame = visible;
  w.hasCaption = caption;
  w.maximized = maximized;
  w.topmost = topmost;
  w.layered = layered;
  return w;
}

const PixelRect kMonitor{0, 0, 1920, 1080};
const PixelRect kSecond{1920, 0, 3200, 1024};

TEST(SmartPauseReason, BatteryAtFifteenPercentOrSaverIsLow) {
  EXPECT_TRUE(lowBatteryFrom(true, 0, 0, 15));
  EXPECT_FALSE(lowBatteryFrom(true, 0, 0, 16));
  EXPECT_TRUE(lowBatteryFrom(true, 1, 1, 100)) << "battery saver counts on mains too";
  EXPECT_FALSE(lowBatteryFrom(true, 0, 1, 5)) << "charging";
  EXPECT_FALSE(lowBatteryFrom(true, 0, 0, 255)) << "unknown charge";
  EXPECT_FALSE(lowBatteryFrom(false, 1, 0, 0)) << "an unanswered query is no reason";
}

TEST(SmartPauseReason, ConsentEntryInUseNeedsAStartAndAZeroStop) {
  EXPECT_TRUE(consentEntryInUse(true, 133500000000000000ull, true, 0));
  EXPECT_FALSE(consentEntryInUse(true, 133500000000000000ull, false, 1)) << "no stop value";
  EXPECT_FALSE(consentEntryInUse(true, 0, true, 0));
  EXPECT_FALSE(consentEntryInUse(true, 5, true, 6)) << "the call ended";
}

TEST(SmartPauseReason, VideoNeedsDisplayRequiredAndAKnownPlayerInFront) {
  EXPECT_TRUE(isMediaExecutable(L"C:\\Program Files\\Mozilla Firefox\\FIREFOX.EXE"));
  EXPECT_TRUE(isMediaExecutable(L"vlc.exe"));
  EXPECT_TRUE(isMediaExecutable(L"D:/apps/PotPlayerMini64.exe"));
  EXPECT_FALSE(isMediaExecutable(L"C:\\Windows\\notepad.exe"));
  EXPECT_FALSE(isMediaExecutable(L"C:\\vlc.exe\\editor.exe")) << "only the file name counts";
  EXPECT_FALSE(isMediaExecutable(L""));

  EXPECT_EQ(smartPauseReasonFrom(false, false, true, true), kReasonVideo);
  EXPECT_EQ(smartPauseReasonFrom(false, false, true, false), nullptr) << "a text editor in front";
  EXPECT_EQ(smartPauseReasonFrom(false, false, false, true), nullptr) << "a paused video";
  EXPECT_EQ(smartPauseReasonFrom(false, true, true, true), kReasonCall) << "a call outranks video";
  EXPECT_EQ(smartPauseReasonFrom(true, true, true, true), kReasonLowBattery);
}

TEST(SmartPauseFullScreen, BorderlessCoverIsFullScreenEvenUnderATopmostToolWindow) {
  std::vector<SurveyedWindow> list = {window(1, {100, 100, 400, 300}, true, false, true),
                                      window(2, kMonitor, false)};
  EXPECT_TRUE(fullScreenAppOn(kMonitor, list, 2, 2));
  EXPECT_FALSE(fullScreenAppOn(kSecond, list, 2, 2)) << "another monitor is not covered";
}

TEST(SmartPauseFullScreen, MaximisedCaptionedOrSmallerWindowsAreNot) {
  EXPECT_FALSE(fullScreenAppOn(kMonitor, {window(1, kMonitor, true)}, 1, 1));
  EXPECT_FALSE(fullScreenAppOn(kMonitor, {window(1, kMonitor, false, true)}, 1, 1));
  EXPECT_FALSE(fullScreenAppOn(kMonitor, {window(1, {0, 0, 1920, 1040}, false)}, 1, 1));
  // An ordinary window in front hides whatever lies behind it from the test.
  EXPECT_FALSE(fullScreenAppOn(kMonitor, {window(1, {10, 10, 500, 500}, true), window(2, kMonitor, false)}, 1, 1));
  // Windows on another monitor are passed over.
  EXPECT_TRUE(fullScreenAppOn(kMonitor, {window(1, kSecond, true), window(2, {-8, -8, 1928, 1088}, false)}, 2, 2));
}

TEST(SmartPauseFullScreen, ScreenWideLayeredTintCountsOnlyInTheForeground) {
  auto tint = window(7, kMonitor, false, false, true, true);
  auto app = window(8, kMonitor, false);
  EXPECT_TRUE(fullScreenAppOn(kMonitor, {tint, app}, 8, 8)) << "the tint is skipped, the app behind it counts";
  EXPECT_TRUE(fullScreenAppOn(kMonitor, {tint}, 7, 7)) << "a layered full-screen app the user works in";
  EXPECT_FALSE(fullScreenAppOn(kMonitor, {tint}, 9, 9));
}

TEST(SmartPauseFollow, ReasonsComeAndGoWithLogText) {
  SmartPauseState s;
  std::string text;
  EXPECT_TRUE(smartPauseFollow(s, true, true, kReasonCall, text));
  EXPECT_EQ(text, "call or presentation");
  EXPECT_FALSE(smartPauseFollow(s, true, true, kReasonCall, text)) << "no change, no log";
  EXPECT_TRUE(smartPauseFollow(s, true, true, nullptr, text));
  EXPECT_EQ(text, "off");
  EXPECT_EQ(s.current, nullptr);
  EXPECT_TRUE(smartPauseFollow(s, true, true, kReasonVideo, text));
  EXPECT_TRUE(smartPauseFollow(s, false, true, kReasonVideo, text)) << "switched off in the settings";
  EXPECT_EQ(text, "off");
  EXPECT_FALSE(smartPauseFollow(s, true, false, kReasonVideo, text)) << "no probe thread, no reason";
}

TEST(SmartPauseFollow, ShowAnywayHoldsForThatReasonUntilAnotherComes) {
  SmartPauseState s;
  std::string text;
  EXPECT_FALSE(smartPauseShowAnyway(s)) << "nothing to show anyway";
  smartPauseFollow(s, true, true, kReasonCall, text);
  ASSERT_TRUE(smartPauseShowAnyway(s));
  EXPECT_EQ(s.current, nullptr);
  EXPECT_FALSE(smartPauseFollow(s, true, true, kReasonCall, text)) << "the call goes on: the snow stays";
  EXPECT_EQ(s.current, nullptr);
  EXPECT_TRUE(smartPauseFollow(s, true, true, kReasonLowBattery, text));
  EXPECT_EQ(text, "low battery");
  // When no reason is left, the override is forgotten: the next call hides the snow again.
  smartPauseFollow(s, true, true, nullptr, text);
  EXPECT_EQ(s.override, nullptr);
  EXPECT_TRUE(smartPauseFollow(s, true, true, kReasonCall, text));
}

}  // namespace
