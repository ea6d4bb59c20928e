// The drawn tray menu's rules and looks.
#include "ui/tray_menu.h"

#include <algorithm>
#include <cmath>

namespace kui {
namespace {

constexpr float kPad = 6;  // inside the panel, above the first and below the last row
constexpr float kRowInset = 6;
constexpr float kHeaderH = 46, kStatusH = 24, kCommandH = 34, kSeparatorH = 11;

const Color kPanelTop = rgb(0x18223f), kPanelBottom = rgb(0x111830);
const Color kEdge = rgb(0xffffff, 0.10f);
const Color kText = rgb(0xeef2fb), kDim = rgb(0xa5b0ca), kFaint = rgb(0x6d7995);
const Color kAccent = rgb(0x8ccfff), kAccentDeep = rgb(0x4f9cf0);
const Color kHover = rgb(0xffffff, 0.09f), kQuitHover = rgb(0xc42b1c, 0.85f);
const Color kTrackOff = rgb(0x2b3552), kKnobOff = rgb(0xc4cde2), kSnow = rgb(0xf4f8ff);
const Color kGreen = rgb(0x7fe0a8), kAmber = rgb(0xffd27a);

constexpr int kStyleTitle = 1, kStyleItem = 3, kStyleSmall = 6;

float rowHeight(const MenuItem& m) {
  switch (m.kind) {
    case MenuKind::Header: return kHeaderH;
    case MenuKind::Status: return kStatusH;
    case MenuKind::Separator: return kSeparatorH;
    case MenuKind::Command: break;
  }
  return kCommandH;
}

float lineHeight(Painter& p, int style) { return p.textHeight("Ag", style, 10000); }

void flakeGlyph(Painter& p, float cx, float cy, float r, float w, const Color& ink) {
  for (int k = 0; k < 3; ++k) {
    const float a = static_cast<float>(k) * 1.0471976f + 1.5707963f;
    const float dx = r * std::cos(a), dy = r * std::sin(a);
    p.line({cx - dx, cy - dy}, {cx + dx, cy + dy}, w, ink);
  }
  p.fillCircle(cx, cy, w, ink);
}

// Small line pictures in a 16 x 16 box centred at (cx, cy).
void icon(Painter& p, int which, float cx, float cy, const Color& ink) {
  const float w = 1.5f;
  switch (which) {
    case 2:  // an eye: show the snow anyway
      p.line({cx - 7, cy}, {cx - 3, cy - 4}, w, ink);
      p.line({cx - 3, cy - 4}, {cx + 3, cy - 4}, w, ink);
      p.line({cx + 3, cy - 4}, {cx + 7, cy}, w, ink);
      p.line({cx - 7, cy}, {cx - 3, cy + 4}, w, ink);
      p.line({cx - 3, cy + 4}, {cx + 3, cy + 4}, w, ink);
      p.line({cx + 3, cy + 4}, {cx + 7, cy}, w, ink);
      p.fillCircle(cx, cy, 2.2f, ink);
      break;
    case 3:  // a burst: fireworks
      for (int k = 0; k < 8; ++k) {
        const float a = static_cast<float>(k) * 0.7853982f;
        p.line({cx + 3 * std::cos(a), cy + 3 * std::sin(a)}, {cx + 7 * std::cos(a), cy + 7 * std::sin(a)}, w, ink);
      }
      p.fillCircle(cx, cy, 1.4f, ink);
      break;
    case 4:  // a present: Santa
      p.strokeRoundRect({cx - 6, cy - 2, 12, 9}, 1.5f, ink, w);
      p.fillRect({cx - 7, cy - 5, 14, 3.5f}, 1, ink);
      p.line({cx, cy - 5}, {cx, cy + 7}, w, ink);
      p.line({cx, cy - 5}, {cx - 4, cy - 8}, w, ink);
      p.line({cx, cy - 5}, {cx + 4, cy - 8}, w, ink);
      break;
    case 5:  // a window: open Quillar
      p.strokeRoundRect({cx - 7, cy - 6, 14, 12}, 2, ink, w);
      p.line({cx - 7, cy - 2}, {cx + 7, cy - 2}, w, ink);
      break;
    case 6:  // an envelope: contact
      p.strokeRoundRect({cx - 7, cy - 5, 14, 10}, 1.5f, ink, w);
      p.line({cx - 6, cy - 4}, {cx, cy + 1}, w, ink);
      p.line({cx, cy + 1}, {cx + 6, cy - 4}, w, ink);
      break;
    case 7:  // power: quit
      p.line({cx, cy - 8}, {cx, cy - 1}, w + 0.3f, ink);
      // An open ring around the bar, its gap at the top.
      for (int k = 0; k < 10; ++k) {
        const float a0 = 0.7f + static_cast<float>(k) * 0.4883f, a1 = a0 + 0.4883f;
        p.line({cx + 6 * std::sin(a0), cy + 1 - 6 * std::cos(a0)}, {cx + 6 * std::sin(a1), cy + 1 - 6 * std::cos(a1)},
               w, ink);
      }
      break;
    case 10:  // a flake: the snow itself (pause, update)
      flakeGlyph(p, cx, cy, 7, w, ink);
      break;
    case 11:  // a page with lines: the log
      p.strokeRoundRect({cx - 5.5f, cy - 7, 11, 14}, 1.5f, ink, w);
      for (float y : {-3.0f, 0.0f, 3.0f}) p.line({cx - 3, cy + y}, {cx + 3, cy + y}, 1.2f, ink);
      break;
    default:
      break;
  }
}

void switchGlyph(Painter& p, float x, float y, bool on) {
  const float w = 34, h = 20;
  const Rect track{x, y, w, h};
  if (on)
    p.fillGradientRect(track, h / 2, kAccent, kAccentDeep);
  else
    p.fillRect(track, h / 2, kTrackOff);
  const float r = h / 2 - 3;
  const float cx = on ? x + w - h / 2 : x + h / 2;
  p.fillCircle(cx, y + h / 2, r, on ? kSnow : kKnobOff);
}

}  // namespace

MenuLayout layoutTrayMenu(const std::vector<MenuItem>& items) {
  MenuLayout l;
  float y = kMenuMargin + kPad;
  for (const MenuItem& m : items) {
    const float h = rowHeight(m);
    l.rows.push_back({kMenuMargin + kRowInset, y, kMenuPanelWidth - 2 * kRowInset, h});
    y += h;
  }
  l.listHeight = y + kPad - kMenuMargin;
  l.windowHeight = l.listHeight + 2 * kMenuMargin;
  return l;
}

bool insideMenuPanel(const MenuLayout& layout, float x, float y) {
  return x >= kMenuMargin && x < kMenuMargin + kMenuPanelWidth && y >= kMenuMargin &&
         y < kMenuMargin + layout.listHeight;
}

int menuItemAt(const std::vector<MenuItem>& items, const MenuLayout& layout, float x, float y) {
  for (size_t i = 0; i < items.size() && i < layout.rows.size(); ++i)
    if (items[i].selectable && layout.rows[i].contains(x, y)) return static_cast<int>(i);
  return -1;
}

MenuPixelPoint placeTrayMenu(MenuPixelPoint cursor, long panelW, long panelH, long margin, const MenuPixelRect& work) {
  long top = cursor.y - panelH;
  if (top < work.top) top = cursor.y;
  long left = cursor.x;
  if (cursor.x + panelW > work.right) left = cursor.x - panelW;
  // A panel larger than the work area keeps its top-left corner inside it.
  left = std::max(work.left + 4, std::min(left, work.right - 4 - panelW));
  top = std::max(work.top + 4, std::min(top, work.bottom - 4 - panelH));
  return {left - margin, top - margin};
}

int nextSelectable(const std::vector<MenuItem>& items, int from, int step) {
  const int n = static_cast<int>(items.size());
  if (n == 0) return -1;
  step = step < 0 ? -1 : 1;
  int i = from;
  if (i < 0 || i >= n) i = step > 0 ? -1 : n;
  for (int k = 0; k < n; ++k) {
    i = ((i + step) % n + n) % n;
    if (items[i].selectable) return i;
  }
  return -1;
}

MenuKeyResult menuKey(const std::vector<MenuItem>& items, int selected, MenuKey key) {
  MenuKeyResult r;
  r.selected = selected;
  switch (key) {
    case MenuKey::Down:
    case MenuKey::Tab: r.selected = nextSelectable(items, selected, +1); break;
    case MenuKey::Up: r.selected = nextSelectable(items, selected, -1); break;
    case MenuKey::Enter:
    case MenuKey::Space:
      r.choose = selected >= 0 && selected < static_cast<int>(items.size()) && items[selected].selectable;
      break;
    case MenuKey::Escape: r.close = true; break;
    case MenuKey::Other: break;
  }
  return r;
}

float menuOpeningProgress(double elapsed) {
  if (!(elapsed > 0)) return 0;
  return static_cast<float>(std::min(1.0, elapsed / kMenuOpeningSeconds));
}

void drawTrayMenu(Painter& p, const std::vector<MenuItem>& items, const MenuLayout& layout, int hover,
                  float progress) {
  const float e = 1 - std::pow(1 - std::clamp(progress, 0.0f, 1.0f), 3.0f);
  const Rect panel{kMenuMargin, kMenuMargin, kMenuPanelWidth, layout.listHeight};
  // The shadow: rings that fade outwards through the margin.
  for (int k = 6; k >= 1; --k) {
    const float g = static_cast<float>(k) * 2.4f;
    p.fillRect({panel.x - g, panel.y - g + 4, panel.w + 2 * g, panel.h + 2 * g}, 14 + g, rgb(0x000000, 0.05f * e));
  }
  p.fillGradientRect(panel, 14, kPanelTop, kPanelBottom);
  p.strokeRoundRect(panel, 14, kEdge, 1);
  // The rows slide in a little while the menu opens.
  Shift s(p, (1 - e) * 6);
  for (size_t i = 0; i < items.size() && i < layout.rows.size(); ++i) {
    const MenuItem& m = items[i];
    const Rect& r = layout.rows[i];
    const bool hot = static_cast<int>(i) == hover && m.selectable;
    switch (m.kind) {
      case MenuKind::Header: {
        const float th = lineHeight(s, kStyleTitle);
        flakeGlyph(s, r.x + 14, r.y + r.h / 2, 8, 1.6f, kAccent);
        s.text(m.text, {r.x + 30, r.y + (r.h - th) / 2, r.w - 100, th}, kStyleTitle, kText, kAlignLeading, false);
        const float sh = lineHeight(s, kStyleSmall);
        s.text(m.secondary, {r.x + r.w - 110, r.y + (r.h - sh) / 2 + 2, 100, sh}, kStyleSmall, kFaint,
               kAlignTrailing, false);
        break;
      }
      case MenuKind::Status: {
        const float sh = lineHeight(s, kStyleSmall);
        const bool running = m.checked;
        s.fillCircle(r.x + 14, r.y + r.h / 2, 3.5f, running ? kGreen : kAmber);
        s.text(m.text, {r.x + 30, r.y + (r.h - sh) / 2, r.w - 40, sh}, kStyleSmall, kDim, kAlignLeading, false);
        break;
      }
      case MenuKind::Separator:
        s.line({r.x + 8, r.y + r.h / 2}, {r.x + r.w - 8, r.y + r.h / 2}, 1, rgb(0xffffff, 0.08f));
        break;
      case MenuKind::Command: {
        const bool quit = m.style == MenuStyle::Quit;
        if (hot) s.fillRect(r, 9, quit ? kQuitHover : kHover);
        Color ink = m.selectable ? kText : kFaint;
        if (m.style == MenuStyle::Highlighted && !hot) ink = kAccent;
        const float th = lineHeight(s, kStyleItem);
        float right = r.x + r.w - 10;
        if (m.style == MenuStyle::Radio) {
          const float cx = r.x + 14, cy = r.y + r.h / 2;
          s.strokeRoundRect({cx - 7, cy - 7, 14, 14}, 7, m.checked ? kAccent : kDim, 1.5f);
          if (m.checked) s.fillCircle(cx, cy, 3.5f, kAccent);
        } else if (m.icon >= 0) {
          icon(s, m.icon, r.x + 14, r.y + r.h / 2, hot ? kText : (m.style == MenuStyle::Highlighted ? kAccent : kDim));
        }
        if (m.style == MenuStyle::Switch) {
          switchGlyph(s, right - 34, r.y + (r.h - 20) / 2, m.checked);
          right -= 34 + 10;
        }
        if (!m.secondary.empty()) {
          const float sw = std::ceil(s.textWidth(m.secondary, kStyleSmall));
          const float sh = lineHeight(s, kStyleSmall);
          s.text(m.secondary, {right - sw, r.y + (r.h - sh) / 2, sw, sh}, kStyleSmall, kFaint, kAlignTrailing, false);
          right -= sw + 10;
        }
        s.text(m.text, {r.x + 32, r.y + (r.h - th) / 2, right - (r.x + 32), th}, kStyleItem, ink, kAlignLeading,
               false);
        break;
      }
    }
  }
}

}  // namespace kui
