#include <gtest/gtest.h>

#include <vector>

#include "desktop/survey.h"
#include "world/surfaces.h"

namespace {

using kovra::Foreground;
using kovra::layoutScene;
using kovra::MonitorArea;
using kovra::SurfaceScene;

// A 1920x1080 monitor at 100 %, taskbar 40 px along the bottom.
MonitorArea plainMonitor() {
  MonitorArea a;
  a.monitor = {0, 0, 1920, 1080};
  a.work = {0, 0, 1920, 1040};
  a.scale = 1.0f;
  a.heightDip = 1080;
  return a;
}

SurveyedWindow window(uint64_t handle, PixelRect visible) {
  SurveyedWindow w;
  w.window = handle;
  w.visible = visible;
  w.frame = visible;
  w.hasCaption = true;
  return w;
}

const std::vector<PixelRect> kBottomBar = {{0, 1040, 1920, 1080}};

TEST(DriftLayout, PixelsBecomePointsOfTheMonitorWithYUp) {
  // The right-hand monitor of two, at 150 %: 2880x1620 px is 1920x1080 pt.
  MonitorArea a;
  a.monitor = {1920, -200, 4800, 1420};
  a.work = {1920, -140, 4800, 1420};  // a 60-px taskbar along the top
  a.scale = 1.5f;
  a.heightDip = 1080;
  const std::vector<SurveyedWindow> list = {window(7, {2220, 100, 2820, 700})};
  const SurfaceScene s = layoutScene(a, list, {}, {}, true);
  ASSERT_EQ(s.windows.size(), 1u);
  EXPECT_EQ(s.windows[0].window, 7u);
  EXPECT_FLOAT_EQ(s.windows[0].rect.x, 200.0f);
  EXPECT_FLOAT_EQ(s.windows[0].rect.width, 400.0f);
  EXPECT_FLOAT_EQ(s.windows[0].rect.height, 400.0f);
  EXPECT_FLOAT_EQ(s.windows[0].rect.y, 1080.0f - 900.0f / 1.5f);  // bottom edge, y up
  EXPECT_FLOAT_EQ(s.topInset, 40.0f);
  EXPECT_TRUE(s.pressed);
  EXPECT_FALSE(layoutScene(a, list, {}, {}, false).pressed);

  // Windows partly outside keep their whole rectangle; those not meeting the
  // monitor are left out; the front-to-back order stays.
  const std::vector<SurveyedWindow> more = {window(1, {1800, 0, 2000, 300}), window(2, {0, 0, 1920, 1080}),
                                            window(3, {4700, 1400, 5000, 1600})};
  const SurfaceScene t = layoutScene(a, more, {}, {}, false);
  ASSERT_EQ(t.windows.size(), 2u);
  EXPECT_EQ(t.windows[0].window, 1u);
  EXPECT_EQ(t.windows[1].window, 3u);
  EXPECT_FLOAT_EQ(t.windows[0].rect.x, -80.0f);
}

TEST(DriftLayout, MaximisedOrWorkAreaFillingWindowsCarryNoSnow) {
  const MonitorArea a = plainMonitor();
  SurveyedWindow maxed = window(1, {-8, -8, 1928, 1048});
  maxed.maximized = true;
  SurveyedWindow zoomedSmall = window(2, {100, 100, 500, 500});
  zoomedSmall.maximized = true;  // the system's word counts even if the size looks normal
  const SurveyedWindow filling = window(3, {2, 11, 1918, 1029});   // within the tolerances
  const SurveyedWindow shortOne = window(4, {2, 13, 1918, 1029});  // its top is 13 px down
  const SurveyedWindow narrow = window(5, {3, 0, 1920, 1040});     // 3 px short on the left
  const SurfaceScene s = layoutScene(a, {maxed, zoomedSmall, filling, shortOne, narrow}, kBottomBar, {}, false);
  ASSERT_EQ(s.windows.size(), 5u);
  EXPECT_TRUE(s.windows[0].noDrift);
  EXPECT_TRUE(s.windows[1].noDrift);
  EXPECT_TRUE(s.windows[2].noDrift);
  EXPECT_FALSE(s.windows[3].noDrift);
  EXPECT_FALSE(s.windows[4].noDrift);
}

TEST(DriftLayout, TheFirstOrdinaryWindowDecidesWhetherTheFrontIsFull) {
  const MonitorArea a = plainMonitor();
  SurveyedWindow full = window(1, {0, 0, 1920, 1040});
  SurveyedWindow pinned = window(2, {0, 0, 1920, 1040});
  pinned.topmost = true;
  const SurveyedWindow small = window(3, {100, 100, 600, 600});

  EXPECT_TRUE(layoutScene(a, {full, small}, kBottomBar, {}, false).frontIsFull);
  EXPECT_FALSE(layoutScene(a, {small, full}, kBottomBar, {}, false).frontIsFull);
  // A topmost window in front does not decide, even a screen-sized one.
  SurveyedWindow pinnedSmall = small;
  pinnedSmall.topmost = true;
  EXPECT_TRUE(layoutScene(a, {pinnedSmall, full}, kBottomBar, {}, false).frontIsFull);
  EXPECT_FALSE(layoutScene(a, {pinned, small}, kBottomBar, {}, false).frontIsFull);
  EXPECT_FALSE(layoutScene(a, {pinned}, kBottomBar, {}, false).frontIsFull);
}

TEST(DriftLayout, ScreenCoveringLayeredSheetsAreLeftOutUnlessInUse) {
  const MonitorArea a = plainMonitor();
  SurveyedWindow sheet = window(50, {0, 0, 1920, 1080});
  sheet.layered = true;
  sheet.visible = {0, 0, 1920, 1040};
  const SurveyedWindow app = window(51, {200, 200, 900, 800});

  SurfaceScene s = layoutScene(a, {sheet, app}, kBottomBar, {}, false);
  ASSERT_EQ(s.windows.size(), 1u);
  EXPECT_EQ(s.windows[0].window, 51u);
  EXPECT_FALSE(s.frontIsFull);

  // The user works in it (it or its root window is in the foreground).
  s = layoutScene(a, {sheet, app}, kBottomBar, Foreground{50, 50}, false);
  ASSERT_EQ(s.windows.size(), 2u);
  EXPECT_TRUE(s.frontIsFull);
  s = layoutScene(a, {sheet, app}, kBottomBar, Foreground{77, 50}, false);
  EXPECT_EQ(s.windows.size(), 2u);

  // A layered window that does not cover the whole monitor stays.
  SurveyedWindow layeredApp = app;
  layeredApp.layered = true;
  EXPECT_EQ(layoutScene(a, {layeredApp}, kBottomBar, {}, false).windows.size(), 1u);
  sheet.frame = {0, 0, 1920, 1079};
  EXPECT_EQ(layoutScene(a, {sheet}, kBottomBar, {}, false).windows.size(), 1u);
}

TEST(DriftLayout, OnlyABottomTaskbarCarriesSnow) {
  MonitorArea a = plainMonitor();
  SurfaceScene s = layoutScene(a, {}, kBottomBar, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_TRUE(s.taskbarDrift);
  EXPECT_FLOAT_EQ(s.taskbar.x, 0.0f);
  EXPECT_FLOAT_EQ(s.taskbar.y, 0.0f);
  EXPECT_FLOAT_EQ(s.taskbar.width, 1920.0f);
  EXPECT_FLOAT_EQ(s.taskbar.height, 40.0f);
  EXPECT_FLOAT_EQ(s.topInset, 0.0f);

  // Along the top: present (it hides snow), no drift, the garland moves down.
  a.work = {0, 40, 1920, 1080};
  s = layoutScene(a, {}, {{0, 0, 1920, 40}}, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_FALSE(s.taskbarDrift);
  EXPECT_FLOAT_EQ(s.topInset, 40.0f);

  // Along a side.
  a.work = {60, 0, 1920, 1080};
  s = layoutScene(a, {}, {{0, 0, 60, 1080}}, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_FALSE(s.taskbarDrift);

  // Auto-hidden at the bottom: the work area reaches the screen's edge and
  // only a 2-px strip shows, which does not count.
  a.work = {0, 0, 1920, 1080};
  s = layoutScene(a, {}, {{0, 1078, 1920, 1080}}, {}, false);
  EXPECT_FALSE(s.taskbarPresent);
  // Shown again over the full work area: present, but it does not sit below
  // the work area, so no drift.
  s = layoutScene(a, {}, kBottomBar, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_FALSE(s.taskbarDrift);

  // Too short a bar (half the width) carries no snow.
  a.work = {0, 0, 1920, 1040};
  s = layoutScene(a, {}, {{0, 1040, 960, 1080}}, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_FALSE(s.taskbarDrift);
}

TEST(DriftLayout, TheTaskbarOfThisMonitorIsFound) {
  // The primary's bar is on the left monitor; this one's secondary bar comes second.
  MonitorArea a;
  a.monitor = {1920, 0, 3840, 1080};
  a.work = {1920, 0, 3840, 1040};
  a.scale = 1.0f;
  a.heightDip = 1080;
  const std::vector<PixelRect> bars = {{0, 1040, 1920, 1080}, {1920, 1040, 3840, 1080}};
  SurfaceScene s = layoutScene(a, {}, bars, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_TRUE(s.taskbarDrift);
  EXPECT_FLOAT_EQ(s.taskbar.x, 0.0f);
  EXPECT_FLOAT_EQ(s.taskbar.width, 1920.0f);

  // A bar that only touches this monitor by 3 px is not this monitor's.
  s = layoutScene(a, {}, {{0, 1040, 1923, 1080}}, {}, false);
  EXPECT_FALSE(s.taskbarPresent);
  s = layoutScene(a, {}, {{0, 1040, 1924, 1080}}, {}, false);
  EXPECT_TRUE(s.taskbarPresent);
  EXPECT_FALSE(s.taskbarDrift);  // 4 px of it: far too short
  EXPECT_FLOAT_EQ(s.taskbar.width, 4.0f);

  // The survey record overload reads the same lists.
  DesktopSurvey survey;
  survey.taskbars = bars;
  survey.windows = {window(9, {2000, 100, 2600, 700})};
  s = layoutScene(a, survey, {}, false);
  ASSERT_EQ(s.windows.size(), 1u);
  EXPECT_FLOAT_EQ(s.windows[0].rect.x, 80.0f);
  EXPECT_TRUE(s.taskbarDrift);
}

}  // namespace
