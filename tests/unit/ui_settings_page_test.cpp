// The settings page as drawn onto the recording painter: layout, the hit
// areas of every control, what a click on each means, the scroll and the
// window's scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ui/recording_painter.h"
#include "ui/settings_page.h"
#include "ui/text.h"
#include "ui_language.h"

using namespace kui;

namespace {

SettingsModel baseModel() {
  SettingsModel m;
  m.version = "0.9.20";
  m.contactAddress = "support@example.org";
  m.newYearDays = 12;
  return m;
}

// Everything optional on: update offered, smart pause hiding, real weather,
// a theme grid with every tile state.
SettingsModel fullModel() {
  SettingsModel m = baseModel();
  m.values.realWeather = true;
  m.weatherStatus = "Kyiv: snow, -3°, wind 12 km/h";
  m.snowHiddenReason = "відео";
  m.updateState = kUpdateAvailable;
  m.updateVersion = "0.9.21";
  for (int i = 0; i < 20; ++i) m.themes.push_back({"Theme " + std::to_string(i), i % 4, 0.4f, 30 + i});
  m.missingMB = 180;
  m.downloadsPending = 2;
  m.anyDownloadFailed = true;
  m.gpuUnavailable = true;
  return m;
}

struct Drawn {
  RecordingPainter rec;
  HitLists hits;
  PageResult result;
  FixedAdvanceMeasurer measurer;
  Drawn() : rec(&measurer) {}
};

void drawPage(Drawn& d, const SettingsModel& m, PageView view = {}) {
  d.result = drawSettingsPage(d.rec, d.hits, m, view);
}

// The cards below the status card: the gradient-filled rounded rectangles of
// the full card width.
std::vector<Rect> cards(const RecordingPainter& rec) {
  std::vector<Rect> out;
  for (const DrawCall& c : rec.calls)
    if (c.op == Op::FillGradientRect && c.rect.x == 24 && c.rect.w == 752 && c.radius > 0) out.push_back(c.rect);
  return out;
}

const HitArea* area(const HitLists& hits, int kind, int arg = 0) {
  for (const HitArea& a : hits.content)
    if (a.kind == kind && a.arg == arg) return &a;
  return nullptr;
}

}  // namespace

TEST(SettingsPage, StatusCardThenCardsTwentyEightApart) {
  UiLanguage en(1);
  for (bool optional : {false, true}) {
    Drawn d;
    drawPage(d, optional ? fullModel() : baseModel());
    SCOPED_TRACE(optional ? "with update card and notice" : "plain");
    std::vector<Rect> cs = cards(d.rec);
    // Update card and notice, how-to, Snow, Surprises, Wallpapers, Settings.
    ASSERT_EQ(cs.size(), optional ? 7u : 5u);
    EXPECT_FLOAT_EQ(cs[0].y, kFirstCardTop);
    for (size_t i = 1; i < cs.size(); ++i) EXPECT_FLOAT_EQ(cs[i].y, cs[i - 1].bottom() + kSectionGap) << i;
    // The banner fills the status card.
    ASSERT_FALSE(d.rec.calls.empty());
    EXPECT_EQ(d.rec.calls[0].op, Op::FillGradientRect);
    EXPECT_FLOAT_EQ(d.rec.calls[0].rect.h, kStatusCardHeight);
    EXPECT_FLOAT_EQ(d.rec.calls[0].rect.w, kPageWidth);
    // The section titles come in page order, each inside its card.
    const char* titles[] = {"How to play with the snow", "Snow", "Surprises", "Quillar wallpapers", "Settings"};
    for (size_t i = 0; i < 5; ++i) {
      const DrawCall* t = d.rec.findText(titles[i]);
      ASSERT_NE(t, nullptr) << titles[i];
      const Rect& c = cs[cs.size() - 5 + i];
      EXPECT_GT(t->rect.y, c.y);
      EXPECT_LT(t->rect.y, c.y + 40);
    }
    // The footer closes the page.
    const DrawCall* f = d.rec.findText("Pause: Ctrl+Alt+D · menu ❄ by the clock");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(d.rec.findText("Weather data: MET Norway · city: © OpenStreetMap"), nullptr);
    EXPECT_GT(f->rect.y, cs.back().bottom());
    EXPECT_GT(d.result.contentHeight, f->rect.bottom());
  }
}

TEST(SettingsPage, EveryControlRegistersItsArea) {
  UiLanguage en(1);
  Drawn d;
  SettingsModel m = fullModel();
  m.visibleThemes = 8;
  drawPage(d, m);
  std::set<std::pair<int, int>> kinds;
  for (const HitArea& a : d.hits.content) {
    kinds.insert({a.kind, a.arg});
    EXPECT_GE(a.x, 0);
    EXPECT_LE(a.x + a.w, kPageWidth);
    EXPECT_GT(a.w, 0);
    EXPECT_GT(a.h, 0);
  }
  const std::pair<int, int> expected[] = {
      {1, 0},  {2, 0},  {3, 0},  {42, 0}, {38, 0}, {25, 0}, {4, 0},  {4, 1},  {4, 2},  {16, 0}, {26, 0},
      {27, 0}, {17, 0}, {21, 0}, {18, 0}, {22, 0}, {19, 0}, {20, 0}, {7, 0},  {24, 0}, {23, 0}, {10, 0},
      {31, 0}, {28, -1}, {28, 0}, {28, 7}, {30, 0}, {29, 0}, {36, 0}, {8, 0},  {9, 0},  {11, 0}, {11, 1},
      {41, 0}, {41, 1}, {41, 2}, {37, 0}, {12, 0},
  };
  for (auto [kind, arg] : expected) EXPECT_TRUE(kinds.count({kind, arg})) << "kind " << kind << " arg " << arg;
  EXPECT_FALSE(kinds.count({28, 8}));  // past the visible tiles
  // The page registers no slider: amount and wind keep their stored values.
  EXPECT_FALSE(kinds.count({5, 0}));
  EXPECT_FALSE(kinds.count({6, 0}));

  // Each button's label lies inside its area, and a point in its middle hits it.
  struct Label {
    const char* text;
    int kind;
  } labels[] = {{"Pause", 1},     {"Guide", 3},        {"Call now", 21},      {"Call", 22},
                {"Fireworks now", 23}, {"Clear the snow", 10}, {"Find city", 27}, {"Update", 38},
                {"Show the snow anyway", 25}, {"Set as screensaver", 36}, {"Check for updates", 37},
                {"B — compatible", 11}, {"60 fps", 41}};
  for (const Label& l : labels) {
    const DrawCall* t = d.rec.findText(l.text);
    ASSERT_NE(t, nullptr) << l.text;
    const float cx = t->rect.x + t->rect.w / 2, cy = t->rect.y + t->rect.h / 2;
    const HitArea* hit = hitTest(d.hits, cx, cy + kHeaderHeight, 0);
    ASSERT_NE(hit, nullptr) << l.text;
    EXPECT_EQ(hit->kind, l.kind) << l.text;
  }
}

TEST(SettingsPage, ButtonsOnARowWinOverTheRowsSwitch) {
  UiLanguage en(1);
  Drawn d;
  drawPage(d, baseModel());
  const HitArea* call = area(d.hits, kKindCallSanta);
  const HitArea* row = area(d.hits, kKindSanta);
  ASSERT_TRUE(call && row);
  EXPECT_TRUE(row->contains(call->x + 2, call->y + 2));
  EXPECT_EQ(hitTest(d.hits, call->x + 2, call->y + 2 + kHeaderHeight, 0)->kind, kKindCallSanta);
  EXPECT_EQ(hitTest(d.hits, row->x + 4, row->y + 4 + kHeaderHeight, 0)->kind, kKindSanta);
}

TEST(SettingsPage, OptionalPartsFollowTheModel) {
  UiLanguage en(1);
  {
    Drawn d;
    SettingsModel m = baseModel();
    m.weatherStatus = "Kyiv: updating…";
    drawPage(d, m);
    // The city stays at hand with the real weather off (it places the sun
    // for the wallpapers), but no forecast status stands under it.
    EXPECT_TRUE(d.result.cityFieldShown);
    EXPECT_NE(area(d.hits, kKindFindCity), nullptr);
    EXPECT_EQ(d.rec.findText("Kyiv: updating…"), nullptr);
    EXPECT_EQ(d.rec.findText("Graphics card unavailable — using B"), nullptr);
    EXPECT_EQ(area(d.hits, kKindShowAnyway), nullptr);
    EXPECT_EQ(area(d.hits, kKindInstallUpdate), nullptr);
    ASSERT_NE(d.rec.findText("Version 0.9.20"), nullptr);
    // No catalogue: only "My wallpaper" and the catalogue note.
    ASSERT_NE(area(d.hits, kKindTheme, -1), nullptr);
    EXPECT_EQ(area(d.hits, kKindTheme, 0), nullptr);
    EXPECT_EQ(area(d.hits, kKindShowMore), nullptr);
    EXPECT_EQ(area(d.hits, kKindDownloadAll), nullptr);
    EXPECT_NE(d.rec.findText("The theme catalog is not available yet. The themes appear as soon as the server can be "
                             "reached."),
              nullptr);
  }
  {
    Drawn d;
    SettingsModel m = fullModel();
    m.citySearchBusy = true;
    m.cityError = "City not found.";
    drawPage(d, m);
    ASSERT_TRUE(d.result.cityFieldShown);
    const HitArea* find = area(d.hits, kKindFindCity);
    ASSERT_NE(find, nullptr);
    EXPECT_LT(d.result.cityField.right(), find->x);
    EXPECT_NE(d.rec.findText("Searching…"), nullptr);
    EXPECT_NE(d.rec.findText("City not found."), nullptr);
    EXPECT_EQ(d.rec.findText("Kyiv: snow, -3°, wind 12 km/h"), nullptr);  // the error wins
    EXPECT_NE(d.rec.findText("Update 0.9.21 available"), nullptr);
    EXPECT_NE(d.rec.findText("Quillar 0.9.21 is out"), nullptr);
    EXPECT_NE(d.rec.findText("Full-screen video — the snow is hiding so it won't get in the way"), nullptr);
    EXPECT_NE(d.rec.findText("Show more (8)"), nullptr);
    EXPECT_NE(d.rec.findText("Download all (180 MB)"), nullptr);
    EXPECT_NE(d.rec.findText("Downloading themes: 2"), nullptr);
    EXPECT_NE(d.rec.findText("Download failed. Check your internet and click the theme again."), nullptr);
    EXPECT_NE(d.rec.findText("Graphics card unavailable — using B"), nullptr);
    EXPECT_NE(d.rec.findText("31 MB"), nullptr);  // theme 1 is not downloaded
    EXPECT_EQ(d.rec.findText("30 MB"), nullptr);  // theme 0 is
  }
}

TEST(SettingsPage, NoticeAndUpdateTexts) {
  UiLanguage en(1);
  struct Case {
    const char* reason;
    bool paused;
    const char* head;  // null: no notice
    const char* tail;
  } cases[] = {
      {"відео", false, "Full-screen video — the snow is hiding so it won't get in the way",
       "It comes back by itself when it's over."},
      {"дзвінок або презентація", false, "Call or presentation — the snow is hiding so it won't get in the way",
       "It comes back by itself when it's over."},
      {"низький заряд батареї", false, "Low battery — the snow is hiding to save power",
       "It comes back by itself once you plug in the charger."},
      {"відео", true, nullptr, nullptr},
      {"", false, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    Drawn d;
    SettingsModel m = baseModel();
    m.snowHiddenReason = c.reason;
    m.values.paused = c.paused;
    drawPage(d, m);
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(area(d.hits, kKindShowAnyway) != nullptr, c.head != nullptr);
    if (c.head) {
      EXPECT_NE(d.rec.findText(c.head), nullptr);
      EXPECT_NE(d.rec.findText(c.tail), nullptr);
    }
  }
  struct Update {
    int state;
    const char* line;
    bool button;
  } updates[] = {{kUpdateDownloading, "Downloading the update… 42 %", false},
                 {kUpdateInstalling, "Installing the update…", false},
                 {kUpdateAvailable, "Update to 0.9.21", true},
                 {kUpdateChecking, "Checking for updates…", false},
                 {kUpdateUpToDate, "You have the latest version 0.9.20 ✓", false},
                 // A failed download of an offered update keeps its card and retries;
                 // a failed check without one only says why.
                 {kUpdateFailed, "No internet connection.", true},
                 {-kUpdateFailed, "No internet connection.", false}};
  for (const Update& u : updates) {
    Drawn d;
    SettingsModel m = baseModel();
    m.updateState = u.state < 0 ? -u.state : u.state;
    m.updateVersion = u.state < 0 ? "" : "0.9.21";
    m.updateProgress = 42;
    m.updateError = "No internet connection.";
    drawPage(d, m);
    EXPECT_NE(d.rec.findText(u.line), nullptr) << u.line;
    EXPECT_EQ(area(d.hits, kKindInstallUpdate) != nullptr, u.button) << u.line;
  }
}

TEST(SettingsPage, StatusLine) {
  struct Case {
    int language;
    bool paused, fullScreen;
    const char* reason;
    int days;
    const char* line;
  } cases[] = {
      {1, false, false, "", 12, "It's snowing · 12 days until New Year"},
      {1, true, true, "відео", 1, "Snow is paused · 1 day until New Year"},
      {1, false, true, "відео", 2, "Snow hidden: full-screen app · 2 days until New Year"},
      {1, false, false, "низький заряд батареї", 3, "Snow hidden: low battery · 3 days until New Year"},
      {2, false, false, "дзвінок або презентація", 5, "Schnee ausgeblendet: Anruf oder Präsentation · Bis Neujahr: 5 Tage"},
      {0, false, false, "", 22, "Йде сніг · До Нового року: 22 дні"},
  };
  for (const Case& c : cases) {
    UiLanguage lang(c.language);
    SettingsModel m = baseModel();
    m.values.paused = c.paused;
    m.fullScreenHidden = c.fullScreen;
    m.snowHiddenReason = c.reason;
    m.newYearDays = c.days;
    EXPECT_EQ(statusLine(m), c.line);
  }
}

TEST(SettingsPage, GermanPageShowsGermanTexts) {
  UiLanguage de(2);
  Drawn d;
  SettingsModel m = baseModel();
  m.values.language = 2;
  drawPage(d, m);
  for (const char* t : {"Schnee", "Überraschungen", "Einstellungen", "Fallender Schnee", "Schneesturm", "DE"})
    if (!d.rec.findText(t)) ADD_FAILURE() << t;
  // Every text drawn is a translation or a name, never a Ukrainian source text.
  for (const DrawCall& c : d.rec.calls) {
    if (c.op != Op::Text) continue;
    for (unsigned char ch : c.text) {
      ASSERT_FALSE(ch == 0xD0 || ch == 0xD1) << c.text;
    }
  }
}

TEST(SettingsPage, UkrainianTextsAllHaveRowsInEveryLanguage) {
  // Drawing in English shows no Cyrillic: every source text on the page has
  // its row (model texts aside).
  UiLanguage en(1);
  Drawn d;
  drawPage(d, fullModel());
  for (const DrawCall& c : d.rec.calls) {
    if (c.op != Op::Text) continue;
    for (unsigned char ch : c.text) {
      ASSERT_FALSE(ch == 0xD0 || ch == 0xD1) << c.text;
    }
  }
}

TEST(SettingsPage, ClickEffects) {
  struct Case {
    int kind, arg;
    int command;
    WindowAction action;
    const char* field;  // what changed, "" nothing
  } cases[] = {
      {kKindPause, 0, 0, WindowAction::None, "paused"},
      {kKindLanguage, 0, -1, WindowAction::LanguageMenu, ""},
      {kKindMinimise, 0, -1, WindowAction::Minimise, ""},
      {kKindClose, 0, -1, WindowAction::Close, ""},
      {kKindGuide, 0, 11, WindowAction::None, ""},
      {kKindContact, 0, 22, WindowAction::None, ""},
      {kKindInstallUpdate, 0, 16, WindowAction::None, ""},
      {kKindShowAnyway, 0, 17, WindowAction::None, ""},
      {kKindWeather, 2, 0, WindowAction::None, "weather"},
      {kKindWeather, 3, -1, WindowAction::None, ""},
      {kKindSnowfall, 0, 0, WindowAction::None, "snowfall"},
      {kKindRealWeather, 0, 0, WindowAction::None, "realWeather"},
      {kKindFindCity, 0, 9, WindowAction::None, ""},
      {kKindSanta, 0, 0, WindowAction::None, "santa"},
      {kKindCallSanta, 0, 6, WindowAction::None, ""},
      {kKindBirds, 0, 0, WindowAction::None, "birds"},
      {kKindCallBirds, 0, 7, WindowAction::None, ""},
      {kKindStars, 0, 0, WindowAction::None, "stars"},
      {kKindGarland, 0, 0, WindowAction::None, "garland"},
      {kKindOnWindows, 0, 0, WindowAction::None, "onWindows"},
      {kKindSmartPause, 0, 0, WindowAction::None, "smartPause"},
      {kKindFireworks, 0, 8, WindowAction::None, ""},
      {kKindShovel, 0, 1, WindowAction::None, ""},
      {kKindFollowTimes, 0, 0, WindowAction::None, "followTimes"},
      {kKindDownloadAll, 0, 19, WindowAction::None, ""},
      {kKindScreensaver, 0, 14, WindowAction::None, ""},
      {kKindSweep, 0, 0, WindowAction::None, "sweep"},
      {kKindAutostart, 0, 0, WindowAction::None, "autostart"},
      {kKindRenderMode, 1, 0, WindowAction::None, "renderMode"},  // A is the default: B changes it
      {kKindFpsMode, 2, 0, WindowAction::None, "fpsMode"},
      {kKindCheckUpdates, 0, 15, WindowAction::None, ""},
      {kKindOpenLog, 0, 2, WindowAction::None, ""},
      {99, 0, -1, WindowAction::None, ""},
  };
  auto fields = [](const SettingsValues& v) {
    return std::map<std::string, float>{
        {"paused", v.paused},       {"weather", static_cast<float>(v.weather)},
        {"snowfall", v.snowfall},   {"realWeather", v.realWeather},
        {"santa", v.santa},         {"birds", v.birds},
        {"stars", v.stars},         {"garland", v.garland},
        {"onWindows", v.onWindows}, {"smartPause", v.smartPause},
        {"followTimes", v.followTimes}, {"sweep", v.sweep},
        {"autostart", v.autostart}, {"renderMode", static_cast<float>(v.renderMode)},
        {"fpsMode", static_cast<float>(v.fpsMode)}, {"wallpaperChoice", static_cast<float>(v.wallpaperChoice)},
    };
  };
  for (const Case& c : cases) {
    SettingsModel m = baseModel();
    const auto before = fields(m.values);
    ClickEffect e = clickEffect(HitArea{0, 0, 10, 10, c.kind, c.arg}, m);
    SCOPED_TRACE("kind " + std::to_string(c.kind));
    EXPECT_EQ(e.command, c.command);
    EXPECT_EQ(e.action, c.action);
    const auto after = fields(m.values);
    for (const auto& [name, value] : before)
      EXPECT_EQ(after.at(name) != value, name == c.field) << name;
  }
  // A second click flips a toggle back.
  SettingsModel m = baseModel();
  clickEffect(HitArea{0, 0, 1, 1, kKindSanta, 0}, m);
  clickEffect(HitArea{0, 0, 1, 1, kKindSanta, 0}, m);
  EXPECT_TRUE(m.values.santa);
}

TEST(SettingsPage, ThemeClicksAndShowMore) {
  SettingsModel m = baseModel();
  for (int s : {kThemeAvailable, kThemeNotDownloaded, kThemeDownloading, kThemeFailed})
    m.themes.push_back({"t", s, 0, 10});
  struct Case {
    int arg;
    int command, choice, selected;
  } cases[] = {
      {0, 0, 0, -1},   // available: chosen at once
      {-1, 0, -1, -1},  // my wallpaper
      {1, 18, -1, 1},  // fetched, chosen when done
      {2, -1, -1, -1},  // already downloading: no second download
      {3, 18, -1, 3},  // failed: tried again
      {4, -1, -1, -1},  // no such theme
  };
  for (const Case& c : cases) {
    SettingsModel mm = m;
    mm.values.wallpaperChoice = -1;
    ClickEffect e = clickEffect(HitArea{0, 0, 1, 1, kKindTheme, c.arg}, mm);
    EXPECT_EQ(e.command, c.command) << c.arg;
    EXPECT_EQ(mm.values.wallpaperChoice, c.choice) << c.arg;
    EXPECT_EQ(mm.values.selectedTheme, c.selected) << c.arg;
  }

  struct More {
    int themes, visible, choice, after;
  } more[] = {{40, 12, 20, 33}, {40, 12, 3, 24}, {15, 12, 20, 27}, {40, 24, -1, 36}, {0, 12, -1, 12}};
  for (const More& c : more) {
    SettingsModel mm = baseModel();
    mm.themes.resize(static_cast<size_t>(c.themes));
    mm.visibleThemes = c.visible;
    mm.values.wallpaperChoice = c.choice;
    ClickEffect e = clickEffect(HitArea{0, 0, 1, 1, kKindShowMore, 0}, mm);
    EXPECT_TRUE(e.repaint);
    EXPECT_EQ(e.command, kCommandNone);
    EXPECT_EQ(mm.visibleThemes, c.after) << c.themes << " " << c.visible << " " << c.choice;
  }
}

TEST(SettingsPage, BusyServicesAreNotAskedTwice) {
  SettingsModel m = baseModel();
  m.citySearchBusy = true;
  EXPECT_EQ(clickEffect(HitArea{0, 0, 1, 1, kKindFindCity, 0}, m).command, kCommandNone);
  for (int s : {kUpdateChecking, kUpdateDownloading, kUpdateInstalling}) {
    m.updateState = s;
    EXPECT_EQ(clickEffect(HitArea{0, 0, 1, 1, kKindCheckUpdates, 0}, m).command, kCommandNone) << s;
  }
  m.updateState = kUpdateFailed;
  EXPECT_EQ(clickEffect(HitArea{0, 0, 1, 1, kKindCheckUpdates, 0}, m).command, kCommandCheckUpdates);
}

TEST(SettingsPage, Sliders) {
  struct Case {
    int kind;
    float fraction, value;
  } cases[] = {{5, 0, 0.15f},  {5, 1, 1.6f},    {5, 0.5f, 0.875f}, {5, 2, 1.6f},   {6, 0, -1},
               {6, 1, 1},      {6, 0.5f, 0},    {6, 0.52f, 0},     {6, 0.54f, 0.08f}, {6, 0.47f, -0.06f}};
  for (const Case& c : cases) {
    SettingsValues v;
    ASSERT_TRUE(applySlider(c.kind, c.fraction, v));
    EXPECT_NEAR(c.kind == 5 ? v.amount : v.wind, c.value, 1e-5) << c.kind << " " << c.fraction;
  }
  SettingsValues v;
  EXPECT_FALSE(applySlider(4, 0.5f, v));
  EXPECT_FLOAT_EQ(v.amount, 0.55f);
  // The fraction of a slider area at its inner edges drives the value end to end.
  const HitArea s{100, 0, 224, 20, kKindAmountSlider, 0};
  applySlider(s.kind, sliderFraction(s, 112), v);
  EXPECT_FLOAT_EQ(v.amount, 0.15f);
  applySlider(s.kind, sliderFraction(s, 312), v);
  EXPECT_FLOAT_EQ(v.amount, 1.6f);
}

TEST(SettingsWindowPaint, ScrollShiftsTheContentNotTheBand) {
  UiLanguage en(1);
  FixedAdvanceMeasurer measurer;
  RecordingPainter rec(&measurer);
  HitLists hits;
  PageView view;
  view.viewHeight = 760;
  SettingsModel m = baseModel();
  PageResult first = paintSettingsWindow(rec, hits, m, view);
  ScrollState scroll;
  scroll.setHeights(first.contentHeight, view.viewHeight);
  EXPECT_GT(scroll.maxPosition(), 800);  // the page is long

  EXPECT_FALSE(scroll.scrollBy(-56));
  EXPECT_TRUE(scroll.scrollBy(1e6f));
  EXPECT_FLOAT_EQ(scroll.position, first.contentHeight - 760);

  view.scroll = 300;
  rec.calls.clear();
  PageResult second = paintSettingsWindow(rec, hits, m, view);
  EXPECT_FLOAT_EQ(second.contentHeight, first.contentHeight);
  const DrawCall* snow = rec.findText("Snow");
  ASSERT_NE(snow, nullptr);
  // Content areas stay in content coordinates; the painter got them shifted.
  const HitArea* blizzard = area(hits, kKindWeather, 2);
  ASSERT_NE(blizzard, nullptr);
  const float wx = blizzard->x + 5, wy = blizzard->y + 5 + kHeaderHeight - 300;
  ASSERT_NE(hitTest(hits, wx, wy, 300), nullptr);
  EXPECT_EQ(hitTest(hits, wx, wy, 300)->kind, kKindWeather);
  // The band is drawn last, on top, and its glyphs answer at any scroll.
  EXPECT_EQ(hitTest(hits, kPageWidth - 20, 20, 300)->kind, kKindClose);
  EXPECT_EQ(hitTest(hits, kPageWidth - 70, 20, 300)->kind, kKindMinimise);
  EXPECT_EQ(headerState(hits, 300, 20), 1);
  bool bandAfterPage = false;
  for (const DrawCall& c : rec.calls)
    if (c.op == Op::FillRect && c.rect.y == 0 && c.rect.h == kHeaderHeight && c.rect.w == kPageWidth)
      bandAfterPage = &c > snow;
  EXPECT_TRUE(bandAfterPage);
}

TEST(SettingsWindowPaint, KeysScroll) {
  struct Case {
    unsigned key;
    float delta;
  } cases[] = {{0x26, -40}, {0x28, 40}, {0x21, -700}, {0x22, 700}, {0x20, 700}, {0x41, 0}};
  for (const Case& c : cases) EXPECT_FLOAT_EQ(keyScrollDelta(c.key, 800), c.delta) << c.key;
  ScrollState s;
  s.setHeights(3000, 760);
  EXPECT_TRUE(s.scrollBy(keyScrollDelta(0x23, 800)));
  EXPECT_FLOAT_EQ(s.position, 2240);
  EXPECT_TRUE(s.scrollBy(keyScrollDelta(0x24, 800)));
  EXPECT_FLOAT_EQ(s.position, 0);
}

TEST(SettingsWindowGeometry, PageScaleAndNewYear) {
  struct Scale {
    float work;
    unsigned dpi;
    float scale;
  } scales[] = {{728, 96, 0.86f}, {1040, 96, 1}, {840, 96, 1}, {1092, 144, 0.86f}, {400, 96, 0.6f},
                {520, 96, 0.6f},  {0, 0, 0.6f}};
  for (const Scale& s : scales) EXPECT_NEAR(pageScale(s.work, s.dpi), s.scale, 1e-4) << s.work << "@" << s.dpi;
  char pct[16];
  std::snprintf(pct, sizeof pct, "%.0f", 100 * pageScale(728, 96));
  EXPECT_STREQ(pct, "86");

  struct Day {
    int y, m, d, days;
  } days[] = {{2024, 12, 31, 1}, {2025, 1, 1, 365}, {2024, 1, 1, 366}, {2024, 2, 29, 307}, {2023, 12, 1, 31}};
  for (const Day& d : days) EXPECT_EQ(daysUntilNewYear(d.y, d.m, d.d), d.days) << d.y << "-" << d.m << "-" << d.d;
}
