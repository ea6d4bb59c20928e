#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screensaver/screensaver_rules.h"

using namespace kovra;

namespace {

TEST(SaverCommandLine, ReadsTheSystemsSwitches) {
  struct Case {
    std::vector<std::string> args;
    const char* exe;
    SaverMode mode;
    uint64_t parent;
  };
  const Case cases[] = {
      {{}, "Quillar.scr", SaverMode::Configure, 0},
      {{}, "QUILLAR.SCR", SaverMode::Configure, 0},
      {{}, "a.scr", SaverMode::Configure, 0},
      {{}, ".scr", SaverMode::None, 0},  // too short to be a name
      {{}, "quillar.exe", SaverMode::None, 0},
      {{"/s"}, "quillar.exe", SaverMode::FullScreen, 0},
      {{"-S"}, "Quillar.scr", SaverMode::FullScreen, 0},
      {{"/S:123"}, "Quillar.scr", SaverMode::FullScreen, 0},
      {{"/c"}, "Quillar.scr", SaverMode::Configure, 0},
      {{"/c:4567"}, "Quillar.scr", SaverMode::Configure, 0},
      {{"/p", "1234"}, "Quillar.scr", SaverMode::Preview, 1234},
      {{"/p:1234"}, "Quillar.scr", SaverMode::Preview, 1234},
      {{"/L", "99"}, "Quillar.scr", SaverMode::Preview, 99},
      {{"/p", "0"}, "Quillar.scr", SaverMode::None, 0},
      {{"/p"}, "Quillar.scr", SaverMode::None, 0},
      {{"/p:"}, "Quillar.scr", SaverMode::None, 0},
      {{"/p", "12x"}, "Quillar.scr", SaverMode::None, 0},
      {{"/p", "-5"}, "Quillar.scr", SaverMode::None, 0},
      {{"/p", "99999999999999999999999"}, "Quillar.scr", SaverMode::None, 0},
      {{"/x"}, "Quillar.scr", SaverMode::None, 0},
      {{"s"}, "Quillar.scr", SaverMode::None, 0},
      {{"/"}, "Quillar.scr", SaverMode::None, 0},
      {{"/installed"}, "quillar.exe", SaverMode::None, 0},
      {{"/update"}, "quillar.exe", SaverMode::None, 0},
      {{"/uninstall", "/quiet"}, "quillar.exe", SaverMode::None, 0},
      {{"--wallpaper-tick"}, "quillar.exe", SaverMode::None, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string(c.exe) : c.args[0]);
    SaverCommand got = saverCommand(c.args, c.exe);
    EXPECT_EQ(got.mode, c.mode);
    EXPECT_EQ(got.parent, c.parent);
  }
  EXPECT_EQ(parseWindowHandle("18446744073709551615"), 18446744073709551615ull);
  EXPECT_FALSE(parseWindowHandle("18446744073709551616"));
}

TEST(SaverExit, InputEndsTheFullScreenByTheRules) {
  struct Case {
    SaverMode mode;
    SaverInput input;
    double since;
    long dx, dy;
    bool quits;
  };
  const Case cases[] = {
      {SaverMode::FullScreen, SaverInput::Key, 0.1, 0, 0, true},
      {SaverMode::FullScreen, SaverInput::Button, 0.0, 0, 0, true},
      {SaverMode::FullScreen, SaverInput::Wheel, 5.0, 0, 0, true},
      {SaverMode::FullScreen, SaverInput::Move, 1.0, 6, -6, false},  // a jitter
      {SaverMode::FullScreen, SaverInput::Move, 1.0, 7, 0, true},
      {SaverMode::FullScreen, SaverInput::Move, 1.0, 0, -7, true},
      {SaverMode::FullScreen, SaverInput::Move, 0.6, 300, 300, false},  // the first 0.6 s
      {SaverMode::FullScreen, SaverInput::Move, 0.61, 300, 0, true},
      {SaverMode::FullScreen, SaverInput::Deactivate, 1.0, 0, 0, false},
      {SaverMode::FullScreen, SaverInput::Deactivate, 1.01, 0, 0, true},
      {SaverMode::FullScreen, SaverInput::Close, 0.0, 0, 0, true},
      {SaverMode::Preview, SaverInput::Key, 3.0, 0, 0, false},
      {SaverMode::Preview, SaverInput::Button, 3.0, 0, 0, false},
      {SaverMode::Preview, SaverInput::Move, 3.0, 100, 100, false},
      {SaverMode::Preview, SaverInput::Deactivate, 3.0, 0, 0, false},
      {SaverMode::Preview, SaverInput::Close, 3.0, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.mode) << " " << static_cast<int>(c.input) << " "
                                    << c.since << " " << c.dx << "," << c.dy);
    EXPECT_EQ(saverInputQuits(c.mode, c.input, c.since, c.dx, c.dy), c.quits);
  }
}

TEST(SaverPicture, TheAppsThemeIsKeptElseAPresentOneChangesInOrder) {
  const std::vector<bool> disk = {false, true, false, true, true};
  EXPECT_EQ(choosePicture(3, disk, 0.0).theme, 3);
  EXPECT_TRUE(choosePicture(3, disk, 0.99).kept);
  // The app's theme is missing, none is chosen, or the index is stale.
  for (int app : {0, -1, 5, 77}) {
    SCOPED_TRACE(app);
    EXPECT_FALSE(choosePicture(app, disk, 0.0).kept);
    EXPECT_EQ(choosePicture(app, disk, 0.0).theme, 1);
    EXPECT_EQ(choosePicture(app, disk, 0.5).theme, 3);
    EXPECT_EQ(choosePicture(app, disk, 1.0).theme, 4);
  }
  EXPECT_EQ(choosePicture(1, {false, false}, 0.3).theme, -1);
  EXPECT_EQ(choosePicture(-1, {}, 0.3).theme, -1);

  EXPECT_EQ(nextPictureTheme(disk, 1), 3);
  EXPECT_EQ(nextPictureTheme(disk, 3), 4);
  EXPECT_EQ(nextPictureTheme(disk, 4), 1);  // round the end
  EXPECT_EQ(nextPictureTheme({false, true}, 1), 1);
  EXPECT_EQ(nextPictureTheme({false, false}, 0), -1);
  EXPECT_EQ(nextPictureTheme(disk, -1), 1);
}

TEST(SaverPicture, ChangesEveryTenMinutesAndLooksAtThePhaseEveryMinute) {
  PictureSchedule changing = pictureScheduleFrom(100.0);
  PictureSchedule kept = pictureScheduleFrom(100.0);
  std::vector<double> changes, checks, keptChecks;
  for (double t = 100.0; t <= 100.0 + 1300.0; t += 0.5) {
    if (PictureStep s = pictureStep(changing, false, t); s == PictureStep::NextTheme) changes.push_back(t);
    else if (s == PictureStep::PhaseCheck) checks.push_back(t);
    PictureStep k = pictureStep(kept, true, t);
    EXPECT_NE(k, PictureStep::NextTheme);
    if (k == PictureStep::PhaseCheck) keptChecks.push_back(t);
  }
  EXPECT_EQ(changes, (std::vector<double>{700.0, 1300.0}));
  ASSERT_EQ(keptChecks.size(), 21u);
  EXPECT_EQ(keptChecks.front(), 160.0);
  EXPECT_EQ(keptChecks.back(), 1360.0);
  // A change takes the frame of the phase check due with it, which follows
  // on the next frame: none is lost.
  ASSERT_EQ(checks.size(), 21u);
  EXPECT_EQ(checks[8], 640.0);
  EXPECT_EQ(checks[9], 700.5);
  EXPECT_EQ(checks[10], 760.5);
}

TEST(SaverPicture, ASlotIsRebuiltWhenWhatItShowsMoves) {
  const SlotKey shown{2, 1, 2, 0.25};
  EXPECT_FALSE(slotDiffers(shown, shown));
  EXPECT_FALSE(slotDiffers(shown, {2, 1, 2, 0.255}));
  EXPECT_TRUE(slotDiffers(shown, {2, 1, 2, 0.26}));
  EXPECT_TRUE(slotDiffers(shown, {2, 1, 2, 0.5}));
  EXPECT_TRUE(slotDiffers(shown, {3, 1, 2, 0.25}));
  EXPECT_TRUE(slotDiffers(shown, {2, 2, 3, 0.25}));
  EXPECT_TRUE(slotDiffers(SlotKey{}, shown));
}

TEST(SaverPicture, CrossFadesInOneSecond) {
  CrossFade f;
  EXPECT_EQ(f.progress, 1.0f);
  EXPECT_FALSE(f.advance(0.1f));  // nothing to fade
  f.start();
  int steps = 0;
  bool done = false;
  while (!done && steps < 100) {
    done = f.advance(0.1f);
    ++steps;
  }
  EXPECT_TRUE(done);
  EXPECT_EQ(steps, 10);
  EXPECT_EQ(f.progress, 1.0f);
  f.duration = 0.0f;  // a fade never runs faster than 0.1 s
  f.progress = 0.0f;
  EXPECT_FALSE(f.advance(0.05f));
  EXPECT_TRUE(f.advance(0.05f));
}

TEST(SaverPicture, CoversTheScreenCroppedCentrally) {
  struct Case {
    float w, h, sw, sh;
    CropRect crop;
  };
  const Case cases[] = {
      {1920, 1080, 1920, 1080, {0, 0, 1920, 1080}},
      {1920, 1080, 1280, 1024, {285, 0, 1350, 1080}},  // 5:4 from 16:9: the sides go
      {1000, 1000, 1920, 1080, {0, 218.75f, 1000, 562.5f}},
      {1280, 720, 320, 240, {160, 0, 960, 720}},
  };
  for (const Case& c : cases) {
    CropRect r = coverCrop(c.w, c.h, c.sw, c.sh);
    EXPECT_NEAR(r.x, c.crop.x, 0.01);
    EXPECT_NEAR(r.y, c.crop.y, 0.01);
    EXPECT_NEAR(r.width, c.crop.width, 0.01);
    EXPECT_NEAR(r.height, c.crop.height, 0.01);
  }
  struct Size {
    uint32_t w, h, sw, sh, ow, oh;
  };
  const Size sizes[] = {
      {3840, 2160, 1920, 1080, 1920, 1080},
      {3840, 2160, 1280, 1024, 1821, 1024},  // the height decides
      {1280, 720, 1920, 1080, 1280, 720},    // never enlarged
      {4000, 3000, 200, 130, 200, 150},
      {5000, 10, 1, 1, 500, 1},
  };
  for (const Size& s : sizes) {
    PixelSize p = coverDecodeSize(s.w, s.h, s.sw, s.sh);
    EXPECT_EQ(p.width, s.ow) << s.w << "x" << s.h;
    EXPECT_EQ(p.height, s.oh) << s.w << "x" << s.h;
  }
}

TEST(SaverFrame, SnowThickensOverFifteenSecondsAndPacingGivesUpOnAQuickFlush) {
  EXPECT_FLOAT_EQ(saverSnowAmount(0), 0.8f);
  EXPECT_FLOAT_EQ(saverSnowAmount(7.5), 1.4f);
  EXPECT_FLOAT_EQ(saverSnowAmount(15), 2.0f);
  EXPECT_FLOAT_EQ(saverSnowAmount(300), 2.0f);
  EXPECT_FLOAT_EQ(saverSnowAmount(-1), 0.8f);

  EXPECT_FLOAT_EQ(previewScale(152), 152 / 640.0f);
  EXPECT_FLOAT_EQ(previewScale(10), 0.05f);

  EXPECT_EQ(flushesPerFrame(1 / 60.0), 1);
  EXPECT_EQ(flushesPerFrame(1 / 144.0), 2);
  EXPECT_EQ(flushesPerFrame(1 / 240.0), 4);
  EXPECT_EQ(flushesPerFrame(1 / 30.0), 1);

  FlushWatch w;
  for (int i = 0; i < 30; ++i) EXPECT_FALSE(w.frame(true, 0.001));
  EXPECT_FALSE(w.frame(true, 0.016));  // one real wait starts the count again
  for (int i = 0; i < 30; ++i) EXPECT_FALSE(w.frame(i % 2 == 0, 0.001));
  EXPECT_TRUE(w.frame(false, 0.020));  // the 31st in a row: a failure counts too
  EXPECT_TRUE(w.gaveUp());
  EXPECT_FALSE(w.frame(false, 0.0));  // said once

  // Slow frames with a flush that does not block at all give up too.
  FlushWatch slow;
  for (int i = 0; i < 30; ++i) EXPECT_FALSE(slow.frame(true, 0.020, 0.00001));
  EXPECT_TRUE(slow.frame(true, 0.020, 0.00001));
  FlushWatch waits;
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(waits.frame(true, 0.0167, 0.004));
}

TEST(SaverInstall, CopyPlacesTimeoutAndTheActiveTest) {
  EXPECT_EQ(saverPrimaryPath("C:\\Users\\a\\AppData\\Local\\Programs\\Quillar"),
            "C:\\Users\\a\\AppData\\Local\\Programs\\Quillar\\Quillar.scr");
  EXPECT_EQ(saverPrimaryPath("C:\\"), "C:\\Quillar.scr");
  EXPECT_EQ(saverFallbackPath("C:\\Users\\a\\AppData\\Local", "D:\\x"),
            "C:\\Users\\a\\AppData\\Local\\Kovra\\Quillar.scr");
  EXPECT_EQ(saverFallbackPath("", "D:\\x"), "D:\\x\\Kovra\\Quillar.scr");

  struct Timeout {
    std::optional<std::string> value;
    bool kept;
  };
  const Timeout timeouts[] = {{"300", true},  {"600", true},   {" 60 ", true}, {std::nullopt, false},
                              {"", false},    {"0", false},    {"-5", false},  {"abc", false},
                              {"12a", false}, {"00", false},   {"1e9", false}, {"9999999999", false}};
  for (const Timeout& t : timeouts) EXPECT_EQ(saverTimeoutKept(t.value), t.kept) << t.value.value_or("(missing)");

  EXPECT_TRUE(saverSettingActive("C:\\Q.scr", std::nullopt));
  EXPECT_TRUE(saverSettingActive("C:\\Q.scr", "1"));
  EXPECT_TRUE(saverSettingActive("C:\\Q.scr", ""));
  EXPECT_FALSE(saverSettingActive("C:\\Q.scr", "0"));
  EXPECT_FALSE(saverSettingActive("C:\\Q.scr", "0x"));
  EXPECT_FALSE(saverSettingActive(std::nullopt, "1"));
}

}  // namespace

namespace {

TEST(SaverFrame, FlakeBitmapsAreSoftWhiteDiscsWithAFaintShadow) {
  EXPECT_EQ(saverFlakeBitmapFor(5), 0);
  EXPECT_EQ(saverFlakeBitmapFor(6), 0);
  EXPECT_EQ(saverFlakeBitmapFor(10), 2);
  EXPECT_EQ(saverFlakeBitmapFor(60), 6);
  const int side = 26;
  std::vector<uint32_t> px = saverFlakePixels(side);
  ASSERT_EQ(px.size(), static_cast<size_t>(side * side));
  const uint32_t centre = px[13 * side + 13];
  EXPECT_GE(centre >> 24, 240u);                // nearly opaque
  EXPECT_GE((centre >> 16) & 0xFF, 235u);       // white
  EXPECT_EQ(px[0], 0u);                         // the corners stay empty
  EXPECT_EQ(px[side * side - 1], 0u);
  for (uint32_t p : px) {
    const uint32_t a = p >> 24;
    EXPECT_LE((p >> 16) & 0xFF, a);  // premultiplied
    EXPECT_LE(p & 0xFF, a);
  }
  // The shadow sits lower: just below the body there is more than just above it.
  const int below = static_cast<int>(px[24 * side + 13] >> 24), above = static_cast<int>(px[1 * side + 13] >> 24);
  EXPECT_GT(below, above);
}

}  // namespace

namespace {

TEST(SaverPicture, CpuCompositionLaysPicturesOverTheBackgroundAndCrossFades) {
  std::vector<uint32_t> dst(3, kSaverBackground);
  const std::vector<uint32_t> opaque(3, 0xFF204060);
  layOver(dst.data(), opaque.data(), 3, 1.0f);
  EXPECT_EQ(dst[0], 0xFF204060u);
  dst.assign(3, kSaverBackground);
  layOver(dst.data(), opaque.data(), 3, 0.002f);  // too faint to draw
  EXPECT_EQ(dst[1], kSaverBackground);
  layOver(dst.data(), opaque.data(), 3, 0.5f);
  // Half way between (0x09, 0x0E, 0x21) and (0x20, 0x40, 0x60), still opaque.
  const uint32_t p = dst[2];
  EXPECT_EQ(p >> 24, 0xFFu);
  EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), (0x09 + 0x20) / 2, 1);
  EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), (0x0E + 0x40) / 2, 1);
  EXPECT_NEAR(static_cast<int>(p & 0xFF), (0x21 + 0x60) / 2, 1);

  const std::vector<uint32_t> a(2, 0xFF000000), b(2, 0xFFFFFFFF);
  std::vector<uint32_t> out(2);
  crossFadeInto(out.data(), a.data(), b.data(), 2, 0.0f);
  EXPECT_EQ(out[0], 0xFF000000u);
  crossFadeInto(out.data(), a.data(), b.data(), 2, 1.0f);
  EXPECT_EQ(out[0], 0xFFFFFFFFu);
  crossFadeInto(out.data(), a.data(), b.data(), 2, 0.5f);
  EXPECT_NEAR(static_cast<int>(out[1] & 0xFF), 128, 1);

  const PixelRect32 r = coverClip(1920, 1080, 1280, 1024);
  EXPECT_EQ(r.x, 285u);
  EXPECT_EQ(r.width, 1350u);
  EXPECT_EQ(r.height, 1080u);
  const PixelRect32 tiny = coverClip(1, 1, 1920, 1080);
  EXPECT_EQ(tiny.width, 1u);
  EXPECT_EQ(tiny.height, 1u);
}

}  // namespace
