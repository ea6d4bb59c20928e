// The first-run guide: its step machine, the tricks it ticks and what each
// step draws and lets the user click.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ui/guide.h"
#include "ui/recording_painter.h"
#include "ui/settings_page.h"
#include "ui/text.h"
#include "ui_language.h"

namespace kui {
namespace {

TEST(GuideSteps, ButtonsWalkTheStepsAndCallSantaOnTheWayToTheSurprises) {
  struct Case {
    int step, kind, next;
    std::vector<int> commands;
  } cases[] = {
      {0, kKindGuideNext, 1, {}},
      {1, kKindGuideNext, 2, {}},
      {2, kKindGuideNext, 3, {kCommandCallSanta}},
      {3, kKindGuideNext, 4, {}},
      {4, kKindGuideNext, 5, {}},
      {5, kKindGuideNext, 5, {kCommandGuideClose}},
      {0, kKindGuideBack, 0, {}},  // Back on the first step stays there
      {3, kKindGuideBack, 2, {}},
      {4, kKindGuideBack, 3, {kCommandCallSanta}},
      {5, kKindGuideBack, 4, {}},
      {2, kKindGuideSkip, 2, {kCommandGuideClose}},
      {2, kKindGuideMoreSnow, 2, {kCommandGuideMoreSnow}},
      {2, kKindPause, 2, {}},
      {9, kKindGuideBack, 4, {}},  // out of range counts as the last step
  };
  for (const Case& c : cases) {
    const GuideMove m = guideMove(c.step, c.kind);
    EXPECT_EQ(m.step, c.next) << c.step << " kind " << c.kind;
    EXPECT_EQ(m.commands, c.commands) << c.step << " kind " << c.kind;
  }

  // 2 -> 3 -> 2 -> 3 calls Santa twice; 4 -> 3 once more.
  int step = 2, santa = 0;
  for (int kind : {kKindGuideNext, kKindGuideBack, kKindGuideNext, kKindGuideNext, kKindGuideBack}) {
    const GuideMove m = guideMove(step, kind);
    step = m.step;
    for (int c : m.commands) santa += c == kCommandCallSanta;
  }
  EXPECT_EQ(step, 3);
  EXPECT_EQ(santa, 3);
}

TEST(GuideSteps, TricksFollowTheSnowsBits) {
  EXPECT_FALSE(guideTrickDone(0, 0));
  EXPECT_TRUE(guideTrickDone(0x04, 0)) << "a snowball made";
  EXPECT_TRUE(guideTrickDone(0x02, 1)) << "a throw or a heap";
  EXPECT_TRUE(guideTrickDone(0x08, 2)) << "a snowman";
  EXPECT_TRUE(guideTrickDone(0x10, 3)) << "a burst";
  EXPECT_FALSE(guideTrickDone(0x01 | 0x20, 0)) << "a shaken window and a pause tick no trick";
  EXPECT_FALSE(guideTrickDone(0xff, 4));
  EXPECT_FALSE(guideAllTricksDone(0x04 | 0x02 | 0x08));
  EXPECT_TRUE(guideAllTricksDone(0x1e));
}

struct Drawn {
  FixedAdvanceMeasurer measurer;
  RecordingPainter rec{&measurer};
  HitLists hits;
  PageResult result;
};

Drawn drawStep(int step, uint32_t progress = 0) {
  SettingsModel m;
  m.guideActive = true;
  m.guideStep = step;
  m.guideProgress = progress;
  PageView v;
  v.viewHeight = kGuidePageHeight - kHeaderHeight;
  Drawn d;
  d.result = drawGuidePage(d.rec, d.hits, m, v);
  return d;
}

std::set<int> kinds(const HitLists& h) {
  std::set<int> out;
  for (const HitArea& a : h.content) out.insert(a.kind);
  return out;
}

TEST(GuidePage, EveryStepHasItsTitleAndButtons) {
  UiLanguage en(1);
  const char* titles[kGuideSteps] = {"It's snowing on your computer", "Snow and drifts", "Snowballs and a snowman",
                                     "Surprises", "Make it yours", "Everything at hand"};
  for (int step = 0; step < kGuideSteps; ++step) {
    Drawn d = drawStep(step);
    EXPECT_NE(d.rec.findText(titles[step]), nullptr) << step;
    EXPECT_NE(d.rec.findText(step == 0 ? "Let it snow" : "Next"), nullptr) << step;
    EXPECT_NE(d.rec.findText("Skip"), nullptr) << step;
    EXPECT_EQ(d.rec.findText("Back") != nullptr, step >= 1) << step;
    const std::set<int> k = kinds(d.hits);
    EXPECT_TRUE(k.count(kKindGuideNext) && k.count(kKindGuideSkip)) << step;
    EXPECT_EQ(k.count(kKindGuideBack), step >= 1 ? 1u : 0u) << step;
    EXPECT_EQ(k.count(kKindGuideMoreSnow), step == 2 ? 1u : 0u) << step;
    // The first step points at the language button "at the top right — here".
    EXPECT_EQ(k.count(kKindLanguage), step == 0 ? 1u : 0u) << step;
    // The controls of step 4 are the settings page's.
    EXPECT_EQ(k.count(kKindAutostart) + k.count(kKindFpsMode) + k.count(kKindRenderMode), step == 4 ? 3u : 0u)
        << step;
    // The whole step fits the window's 520 logical pixels under the band.
    EXPECT_LE(d.result.contentHeight, kGuidePageHeight - kHeaderHeight + 0.5f) << step;
    EXPECT_FALSE(d.result.cityFieldShown);
    // No text runs out of the page.
    for (const DrawCall& c : d.rec.calls)
      if (c.op == Op::Text) {
        EXPECT_LE(c.rect.right(), kPageWidth) << c.text;
      }
  }
}

TEST(GuidePage, TricksAreTickedAsTheyAreDone) {
  UiLanguage en(1);
  const std::string first = "Point at a drift — a hand appears. Hold the mouse button (or the touchpad) and drag — a "
                            "snowball rolls up.";
  Drawn none = drawStep(2, 0);
  EXPECT_NE(none.rec.findText(first), nullptr);
  EXPECT_EQ(none.rec.findText("✓ " + first), nullptr);
  EXPECT_EQ(none.rec.findText("Well done!"), nullptr);

  Drawn one = drawStep(2, 0x04);
  EXPECT_NE(one.rec.findText("✓ " + first), nullptr);
  EXPECT_NE(one.rec.findText("Double-click a snowball and it bursts apart."), nullptr);
  EXPECT_EQ(one.rec.findText("Well done!"), nullptr);

  Drawn all = drawStep(2, 0x1e);
  EXPECT_NE(all.rec.findText("✓ Double-click a snowball and it bursts apart."), nullptr);
  EXPECT_NE(all.rec.findText("Well done!"), nullptr);
  EXPECT_NE(all.rec.findText("More snow"), nullptr);
}

TEST(GuidePage, TheWindowShowsTheGuideInsteadOfThePage) {
  UiLanguage en(1);
  FixedAdvanceMeasurer measurer;
  SettingsModel m;
  m.guideActive = true;
  PageView v;
  v.viewHeight = kGuidePageHeight - kHeaderHeight;
  RecordingPainter rec(&measurer);
  HitLists hits;
  paintSettingsWindow(rec, hits, m, v);
  EXPECT_NE(rec.findText("It's snowing on your computer"), nullptr);
  EXPECT_EQ(rec.findText("How to play with the snow"), nullptr);
  EXPECT_FALSE(hits.header.empty()) << "the band with its glyphs stays";
  // The step buttons lie below the band.
  for (const HitArea& a : hits.content) EXPECT_GE(a.y, 0);
  // Skip leads to command 12 through the page's own click rules.
  for (const HitArea& a : hits.content)
    if (a.kind == kKindGuideSkip) {
      EXPECT_EQ(clickEffect(a, m).command, kCommandGuideClose);
    }
}

TEST(GuidePage, EveryTextExistsInEveryLanguage) {
  // Each text the guide draws is a row of the table: in German none stays Ukrainian.
  UiLanguage de(2);
  for (int step = 0; step < kGuideSteps; ++step)
    for (uint32_t progress : {0u, 0x1eu}) {
      Drawn d = drawStep(step, progress);
      for (const DrawCall& c : d.rec.calls) {
        if (c.op != Op::Text) continue;
        bool cyrillic = false;
        for (size_t i = 0; i + 1 < c.text.size(); ++i)
          if (static_cast<unsigned char>(c.text[i]) == 0xD0 || static_cast<unsigned char>(c.text[i]) == 0xD1)
            cyrillic = true;
        EXPECT_FALSE(cyrillic) << "step " << step << ": " << c.text;
      }
    }
}

}  // namespace
}  // namespace kui
