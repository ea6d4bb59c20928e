// The drawn tray menu's rules: placement at the cursor, the keyboard's walk,
// what the pointer hits and what the panel draws.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/menu_model.h"
#include "ui/recording_painter.h"
#include "ui/tray_menu.h"
#include "ui_language.h"

namespace kui {
namespace {

std::vector<MenuItem> snowing() {
  MenuState s;
  s.weather = 1;
  return trayMenuItems(s);
}

int indexOf(const std::vector<MenuItem>& items, Command c) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].kind == MenuKind::Command && items[i].command == c) return static_cast<int>(i);
  return -1;
}

TEST(TrayMenuPlacement, OpensBesideTheCursorAndStaysInTheWorkArea) {
  const MenuPixelRect work{0, 0, 1920, 1040};  // a taskbar along the bottom
  const long pw = 292, ph = 500, m = 18;
  struct Case {
    const char* what;
    MenuPixelPoint cursor;
    MenuPixelPoint panel;  // the panel's top-left corner
  } cases[] = {
      {"above and to the right of a cursor low in the middle", {900, 1030}, {900, 530}},
      {"below where there is no room above", {900, 200}, {900, 200}},
      {"to the left at the right edge", {1800, 1030}, {1508, 530}},
      {"below and to the left at the top right corner", {1910, 10}, {1618, 10}},
      {"kept 4 px inside at the left and the bottom", {1, 1039}, {4, 536}},
      {"above a cursor in the middle", {600, 790}, {600, 290}},
  };
  for (const Case& c : cases) {
    const MenuPixelPoint at = placeTrayMenu(c.cursor, pw, ph, m, work);
    EXPECT_EQ(at.x + m, c.panel.x) << c.what;
    EXPECT_EQ(at.y + m, c.panel.y) << c.what;
  }
  // Below the cursor but pushed up: the cursor near the bottom of a short area.
  const MenuPixelPoint at = placeTrayMenu({900, 450}, pw, ph, m, {0, 0, 1920, 600});
  EXPECT_EQ(at.y + m, 600 - 4 - ph);
  // A work area that does not start at 0 (a second monitor, a taskbar on top).
  const MenuPixelPoint second = placeTrayMenu({2000, 60}, pw, ph, m, {1920, 40, 3200, 1064});
  EXPECT_EQ(second.x + m, 2000);
  EXPECT_EQ(second.y + m, 60);
}

TEST(TrayMenuKeys, WalkOverWhatCanBeChosenAndWrapAround) {
  UiLanguage en(1);
  const std::vector<MenuItem> items = snowing();
  const int pause = indexOf(items, Command::TogglePause), light = indexOf(items, Command::LightSnow),
            quit = indexOf(items, Command::Quit), log = indexOf(items, Command::OpenLog);

  // Nothing selected yet: Down lands on the first item that can be chosen, Up on the last.
  EXPECT_EQ(menuKey(items, -1, MenuKey::Down).selected, pause);
  EXPECT_EQ(menuKey(items, -1, MenuKey::Tab).selected, pause);
  EXPECT_EQ(menuKey(items, -1, MenuKey::Up).selected, quit);
  // The separator after the switch is skipped.
  EXPECT_EQ(menuKey(items, pause, MenuKey::Down).selected, light);
  EXPECT_EQ(menuKey(items, light, MenuKey::Up).selected, pause);
  // Down from the last wraps past the header and the status line; Up from the first wraps to the last.
  EXPECT_EQ(menuKey(items, quit, MenuKey::Down).selected, pause);
  EXPECT_EQ(menuKey(items, pause, MenuKey::Up).selected, quit);
  EXPECT_EQ(menuKey(items, quit, MenuKey::Up).selected, log);

  // Enter and Space choose what is selected, nothing when nothing is.
  for (MenuKey k : {MenuKey::Enter, MenuKey::Space}) {
    const MenuKeyResult r = menuKey(items, light, k);
    EXPECT_TRUE(r.choose);
    EXPECT_EQ(r.selected, light);
    EXPECT_FALSE(menuKey(items, -1, k).choose);
    EXPECT_FALSE(menuKey(items, 0, k).choose) << "the header cannot be chosen";
  }
  const MenuKeyResult esc = menuKey(items, light, MenuKey::Escape);
  EXPECT_TRUE(esc.close);
  EXPECT_FALSE(esc.choose);
  EXPECT_EQ(menuKey(items, light, MenuKey::Other).selected, light);

  // Down, Down from nothing: the switch, then the first radio item.
  EXPECT_EQ(menuKey(items, menuKey(items, -1, MenuKey::Down).selected, MenuKey::Down).selected, light);

  const std::vector<MenuItem> none(3);  // default items cannot be chosen
  EXPECT_EQ(nextSelectable(none, -1, 1), -1);
  EXPECT_EQ(nextSelectable({}, -1, 1), -1);
}

TEST(TrayMenuPointer, RowsPanelAndHits) {
  UiLanguage en(1);
  const std::vector<MenuItem> items = snowing();
  const MenuLayout l = layoutTrayMenu(items);
  ASSERT_EQ(l.rows.size(), items.size());
  EXPECT_FLOAT_EQ(l.windowHeight, l.listHeight + 2 * kMenuMargin);
  EXPECT_FLOAT_EQ(kMenuPanelWidth, 292);
  // Rows follow each other inside the panel.
  for (size_t i = 1; i < l.rows.size(); ++i) EXPECT_FLOAT_EQ(l.rows[i].y, l.rows[i - 1].bottom());
  EXPECT_GE(l.rows.front().y, kMenuMargin);
  EXPECT_LE(l.rows.back().bottom(), kMenuMargin + l.listHeight);

  // The panel is 18 <= x < 310 and 18 <= y < 18 + list height.
  EXPECT_TRUE(insideMenuPanel(l, 18, 18));
  EXPECT_FALSE(insideMenuPanel(l, 17.9f, 40));
  EXPECT_FALSE(insideMenuPanel(l, 310, 40));
  EXPECT_TRUE(insideMenuPanel(l, 309.9f, kMenuMargin + l.listHeight - 0.1f));
  EXPECT_FALSE(insideMenuPanel(l, 100, kMenuMargin + l.listHeight));
  EXPECT_FALSE(insideMenuPanel(l, -5, -5));

  const int quit = indexOf(items, Command::Quit);
  const Rect& q = l.rows[quit];
  EXPECT_EQ(menuItemAt(items, l, q.x + q.w / 2, q.y + q.h / 2), quit);
  const Rect& header = l.rows[0];
  EXPECT_EQ(menuItemAt(items, l, header.x + 10, header.y + header.h / 2), -1) << "the header is no item";
  const Rect& sep = l.rows[indexOf(items, Command::TogglePause) + 1];
  EXPECT_EQ(menuItemAt(items, l, sep.x + 10, sep.y + sep.h / 2), -1) << "a separator is no item";
  EXPECT_EQ(menuItemAt(items, l, 5, q.y + 1), -1) << "the shadow margin is no item";
}

TEST(TrayMenuOpening, LastsAnEighthOfASecond) {
  EXPECT_FLOAT_EQ(menuOpeningProgress(0), 0);
  EXPECT_FLOAT_EQ(menuOpeningProgress(-1), 0);
  EXPECT_NEAR(menuOpeningProgress(0.065), 0.5f, 1e-5);
  EXPECT_FLOAT_EQ(menuOpeningProgress(0.13), 1);
  EXPECT_FLOAT_EQ(menuOpeningProgress(5), 1);
}

TEST(TrayMenuDrawing, ShowsEveryLineAndTheStateOfTheSwitch) {
  UiLanguage en(1);
  FixedAdvanceMeasurer measurer;
  for (bool paused : {false, true}) {
    MenuState s;
    s.paused = paused;
    s.weather = 2;
    s.updateVersion = "0.9.21";
    const std::vector<MenuItem> items = trayMenuItems(s);
    const MenuLayout l = layoutTrayMenu(items);
    RecordingPainter p(&measurer);
    const int hover = indexOf(items, Command::Quit);
    drawTrayMenu(p, items, l, hover, 1);
    for (const MenuItem& m : items) {
      if (m.kind == MenuKind::Separator) continue;
      const DrawCall* t = p.findText(m.text);
      ASSERT_NE(t, nullptr) << m.text;
      // Each text lies in its own row, inside the panel.
      const Rect& row = l.rows[&m - items.data()];
      EXPECT_GE(t->rect.y, row.y - 0.01f) << m.text;
      EXPECT_LE(t->rect.bottom(), row.bottom() + 0.01f) << m.text;
      EXPECT_GE(t->rect.x, kMenuMargin) << m.text;
      EXPECT_LE(t->rect.right(), kMenuMargin + kMenuPanelWidth + 0.01f) << m.text;
    }
    EXPECT_NE(p.findText(paused ? "Snow is paused" : "It's snowing"), nullptr);
    EXPECT_NE(p.findText(paused ? "Turn snow on" : "Pause"), nullptr);
    EXPECT_NE(p.findText("Update to 0.9.21"), nullptr);
    EXPECT_NE(p.findText("Ctrl+Alt+D"), nullptr);
    EXPECT_NE(p.findText("0.9.20"), nullptr);
    // The switch's knob sits at the right end while it snows, at the left while paused.
    const Rect& row = l.rows[indexOf(items, Command::TogglePause)];
    float knob = -1;
    for (const DrawCall& c : p.calls)
      if (c.op == Op::FillCircle && c.rect.y >= row.y && c.rect.bottom() <= row.bottom() && c.radius > 6)
        knob = c.rect.x + c.rect.w / 2;
    ASSERT_GT(knob, 0);
    const float trackRight = row.right() - 10, trackLeft = trackRight - 34;
    if (paused)
      EXPECT_LT(knob, (trackLeft + trackRight) / 2);
    else
      EXPECT_GT(knob, (trackLeft + trackRight) / 2);
    // The hovered row is highlighted: a fill that covers it.
    const Rect& q = l.rows[hover];
    bool highlighted = false;
    for (const DrawCall& c : p.calls)
      if (c.op == Op::FillRect && c.rect.x == q.x && c.rect.y == q.y && c.rect.w == q.w && c.rect.h == q.h)
        highlighted = true;
    EXPECT_TRUE(highlighted);
  }
}

TEST(TrayMenuDrawing, TheRowsSlideInWhileOpening) {
  UiLanguage en(1);
  FixedAdvanceMeasurer measurer;
  const std::vector<MenuItem> items = snowing();
  const MenuLayout l = layoutTrayMenu(items);
  RecordingPainter start(&measurer), end(&measurer);
  drawTrayMenu(start, items, l, -1, 0);
  drawTrayMenu(end, items, l, -1, 1);
  const DrawCall* a = start.findText("Quit Quillar");
  const DrawCall* b = end.findText("Quit Quillar");
  ASSERT_TRUE(a && b);
  EXPECT_GT(a->rect.y, b->rect.y);
  EXPECT_NEAR(a->rect.y - b->rect.y, 6, 0.01);
}

}  // namespace
}  // namespace kui
