// The Quillar window's page: geometry, looks and what each control means.
#include "ui/settings_page.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <utility>
#include <limits>

#include "ui/guide.h"
#include "ui/text.h"

namespace kui {
namespace {

// ------------------------------------------------------------------ looks

const Color kHeaderBand = rgb(0x090e21);  // the caption colour asked of the window manager
const Color kPage = rgb(0x0b1124);
const Color kCard = rgb(0x121a31);
const Color kCardTop = rgb(0x162040);
const Color kCardEdge = rgb(0xffffff, 0.07f);
const Color kShadow = rgb(0x000000, 0.28f);
const Color kText = rgb(0xeef2fb);
const Color kTextDim = rgb(0xa5b0ca);
const Color kTextFaint = rgb(0x6d7995);
const Color kAccent = rgb(0x8ccfff);
const Color kAccentDeep = rgb(0x4f9cf0);
const Color kOnAccent = rgb(0x08122a);
const Color kWarm = rgb(0xffd27a);
const Color kError = rgb(0xff9a8f);
const Color kHover = rgb(0xffffff, 0.045f);
const Color kButton = rgb(0xffffff, 0.07f);
const Color kButtonHover = rgb(0xffffff, 0.13f);
const Color kButtonEdge = rgb(0xffffff, 0.12f);
const Color kTrackOff = rgb(0x2b3552);
const Color kKnobOff = rgb(0xc4cde2);
const Color kField = rgb(0x252831);  // the city edit's own background
const Color kSnow = rgb(0xf4f8ff);
const Color kCloseHover = rgb(0xc42b1c);

// Text styles by role.
constexpr int kStyleHero = 0, kStyleSection = 1, kStyleBody = 3, kStyleLabel = 4, kStyleSmall = 5, kStyleNote = 6,
              kStyleTileTitle = 7, kStyleButton = 9, kStyleMeta = 10;

// Page geometry (logical pixels).
constexpr float kCardX = 24, kCardW = kPageWidth - 48, kCardRadius = 16;
constexpr float kPad = 24;
constexpr float kInX = kCardX + kPad, kInW = kCardW - 2 * kPad;
constexpr float kButtonH = 32;
constexpr float kSwitchW = 42, kSwitchH = 24;
constexpr int kTileColumns = 4;
constexpr float kTileGap = 14;

struct Ctx {
  Painter& p;
  HitLists* hits;  // null in a dry run
  const SettingsModel& m;
  const PageView& v;
  PageResult* result;  // null in a dry run

  void hit(const Rect& r, int kind, int arg = 0) const {
    if (hits) hits->addContent(r, kind, arg);
  }
  bool hover(int kind, int arg = 0) const { return v.hoverKind == kind && v.hoverArg == arg; }
  float lineHeight(int style) { return p.textHeight("Ag", style, 10000); }
};

// A card whose height is what its content needs: `body(ctx, top)` draws the
// content from `top` and returns where it ends.
template <typename Body>
float card(Ctx& c, float y, Body&& body, const Color* edge = nullptr) {
  MeasureOnly dry(c.p);
  Ctx measure{dry, nullptr, c.m, c.v, nullptr};
  const float h = body(measure, y) - y;
  const Rect r{kCardX, y, kCardW, h};
  c.p.fillRect({r.x, r.y + 3, r.w, r.h}, kCardRadius, kShadow);
  c.p.fillGradientRect(r, kCardRadius, kCardTop, kCard);
  c.p.strokeRoundRect(r, kCardRadius, edge ? *edge : kCardEdge, 1);
  body(c, y);
  return y + h;
}

float buttonWidth(Ctx& c, std::string_view label) { return std::ceil(c.p.textWidth(label, kStyleButton)) + 32; }

enum class ButtonLook { Primary, Secondary, Warm };

// A rounded button with its label centred; registers its area.
void button(Ctx& c, const Rect& r, std::string_view label, int kind, int arg, ButtonLook look) {
  const bool hot = c.hover(kind, arg);
  Color fill = kButton, ink = kText;
  if (look == ButtonLook::Primary) {
    fill = hot ? rgb(0xa9dcff) : kAccent;
    ink = kOnAccent;
  } else if (look == ButtonLook::Warm) {
    fill = hot ? rgb(0xffe09e) : kWarm;
    ink = rgb(0x2a1a00);
  } else if (hot) {
    fill = kButtonHover;
  }
  c.p.fillRect(r, r.h / 2, fill);
  if (look == ButtonLook::Secondary) c.p.strokeRoundRect(r, r.h / 2, kButtonEdge, 1);
  const float th = c.lineHeight(kStyleButton);
  c.p.text(label, {r.x, r.y + (r.h - th) / 2, r.w, th}, kStyleButton, ink, kAlignCentre, false);
  c.hit(r, kind, arg);
}

void switchGlyph(Ctx& c, float x, float y, bool on) {
  const Rect track{x, y, kSwitchW, kSwitchH};
  c.p.fillRect(track, kSwitchH / 2, on ? kAccentDeep : kTrackOff);
  if (on) c.p.fillGradientRect(track, kSwitchH / 2, kAccent, kAccentDeep);
  const float r = kSwitchH / 2 - 3;
  const float cx = on ? x + kSwitchW - kSwitchH / 2 : x + kSwitchH / 2;
  c.p.fillCircle(cx, y + kSwitchH / 2 + 1, r, rgb(0x000000, 0.25f));
  c.p.fillCircle(cx, y + kSwitchH / 2, r, on ? kSnow : kKnobOff);
}

// A label (with an optional note under it) and a switch at the right; the
// whole row toggles. An optional button sits left of the switch.
float toggleRow(Ctx& c, float y, const char* label, const char* note, bool on, int kind,
                const char* buttonLabel = nullptr, int buttonKind = 0) {
  const float switchX = kInX + kInW - kSwitchW;
  float textRight = switchX - 16;
  float bw = 0;
  if (buttonLabel) {
    bw = buttonWidth(c, buttonLabel);
    textRight -= bw + 12;
  }
  const float tw = textRight - kInX;
  const float lh = c.p.textHeight(label, kStyleLabel, tw);
  const float nh = note ? c.p.textHeight(note, kStyleNote, tw) : 0;
  const float content = lh + (note ? 3 + nh : 0);
  const float h = std::max(48.0f, content + 22);
  const Rect row{kInX - 12, y, kInW + 24, h};
  if (c.hover(kind)) c.p.fillRect(row, 12, kHover);
  float ty = y + (h - content) / 2;
  c.p.text(label, {kInX, ty, tw, lh}, kStyleLabel, kText, kAlignLeading, true);
  if (note) c.p.text(note, {kInX, ty + lh + 3, tw, nh}, kStyleNote, kTextDim, kAlignLeading, true);
  switchGlyph(c, switchX, y + (h - kSwitchH) / 2, on);
  c.hit(row, kind);
  if (buttonLabel)
    button(c, {switchX - 16 - bw, y + (h - 30) / 2, bw, 30}, buttonLabel, buttonKind, 0, ButtonLook::Secondary);
  return y + h;
}

// A pill of choices; the chosen one is filled. Returns its rectangle.
Rect segmented(Ctx& c, float right, float y, std::initializer_list<const char*> options, int chosen, int kind) {
  float total = 4;
  for (const char* o : options) total += std::ceil(c.p.textWidth(tr(o), kStyleButton)) + 28;
  const Rect box{right - total, y, total, 34};
  c.p.fillRect(box, 17, rgb(0x000000, 0.22f));
  c.p.strokeRoundRect(box, 17, kCardEdge, 1);
  float x = box.x + 2;
  int i = 0;
  const float th = c.lineHeight(kStyleButton);
  for (const char* o : options) {
    const char* t = tr(o);
    const float w = std::ceil(c.p.textWidth(t, kStyleButton)) + 28;
    const Rect seg{x, y + 2, w, 30};
    if (i == chosen) {
      c.p.fillGradientRect(seg, 15, kAccent, rgb(0x74bdf7));
    } else if (c.hover(kind, i)) {
      c.p.fillRect(seg, 15, kHover);
    }
    c.p.text(t, {seg.x, seg.y + (30 - th) / 2, w, th}, kStyleButton, i == chosen ? kOnAccent : kTextDim,
             kAlignCentre, false);
    c.hit(seg, kind, i);
    x += w;
    ++i;
  }
  return box;
}

// A six-armed flake with a pair of side branches on every arm.
void flake(Painter& p, float cx, float cy, float r, float width, const Color& ink) {
  for (int k = 0; k < 6; ++k) {
    const float a = static_cast<float>(k) * 1.0471976f + 1.5707963f;
    const float ux = std::cos(a), uy = -std::sin(a);
    p.line({cx, cy}, {cx + r * ux, cy + r * uy}, width, ink);
    if (r >= 5) {
      const Point b{cx + 0.55f * r * ux, cy + 0.55f * r * uy};
      for (float side : {-0.785398f, 0.785398f}) {
        const float bx = std::cos(a + side), by = -std::sin(a + side);
        p.line(b, {b.x + 0.35f * r * bx, b.y + 0.35f * r * by}, width * 0.8f, ink);
      }
    }
  }
}

float sectionTitle(Ctx& c, float y, const char* title) {
  const float h = c.lineHeight(kStyleSection);
  // A small flake before every section title.
  flake(c.p, kInX + 7, y + h / 2 + 1, 8, 1.5f, kAccent);
  c.p.text(tr(title), {kInX + 22, y, kInW - 22, h}, kStyleSection, kText, kAlignLeading, false);
  return y + h + 14;
}

// A label row with a description under it that does something when clicked
// (contact, log): a chevron at the right.
float linkRow(Ctx& c, float y, const std::string& label, const std::string& note, int kind) {
  const float tw = kInW - 40;
  const float lh = c.p.textHeight(label, kStyleLabel, tw);
  const float nh = c.p.textHeight(note, kStyleNote, tw);
  const float h = std::max(48.0f, lh + 3 + nh + 22);
  const Rect row{kInX - 12, y, kInW + 24, h};
  if (c.hover(kind)) c.p.fillRect(row, 12, kHover);
  const float ty = y + (h - lh - 3 - nh) / 2;
  c.p.text(label, {kInX, ty, tw, lh}, kStyleLabel, kText, kAlignLeading, true);
  c.p.text(note, {kInX, ty + lh + 3, tw, nh}, kStyleNote, kTextDim, kAlignLeading, true);
  const float cx = kInX + kInW - 8, cy = y + h / 2;
  c.p.line({cx - 4, cy - 6}, {cx + 2, cy}, 1.8f, c.hover(kind) ? kAccent : kTextFaint);
  c.p.line({cx + 2, cy}, {cx - 4, cy + 6}, 1.8f, c.hover(kind) ? kAccent : kTextFaint);
  c.hit(row, kind);
  return y + h;
}

float wrappedText(Ctx& c, float y, const std::string& t, int style, const Color& ink, float x = kInX,
                  float w = kInW) {
  const float h = c.p.textHeight(t, style, w);
  c.p.text(t, {x, y, w, h}, style, ink, kAlignLeading, true);
  return y + h;
}

void divider(Ctx& c, float y) { c.p.line({kInX, y}, {kInX + kInW, y}, 1, rgb(0xffffff, 0.06f)); }

// ------------------------------------------------------------ status card

float hash01(int i, int salt) {
  uint32_t h = static_cast<uint32_t>(i) * 2654435761u ^ static_cast<uint32_t>(salt) * 40503u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return static_cast<float>(h & 0xffffff) / static_cast<float>(0xffffff);
}

void fir(Painter& p, float x, float base, float h) {
  const Color dark = rgb(0x0f2238), snow = rgb(0xdce8f7);
  for (int tier = 0; tier < 3; ++tier) {
    const float top = base - h + static_cast<float>(tier) * h * 0.27f;
    const float half = h * (0.2f + 0.1f * static_cast<float>(tier));
    const float bottom = top + h * 0.42f;
    const Point tree[] = {{x, top}, {x + half, bottom}, {x - half, bottom}};
    p.fillPolygon(tree, {x, top}, {x, bottom}, rgb(0x1d3a55), dark);
    const Point cap[] = {{x, top}, {x + half * 0.45f, top + h * 0.19f}, {x, top + h * 0.15f},
                         {x - half * 0.45f, top + h * 0.19f}};
    p.fillPolygon(cap, {}, {}, snow, snow);
  }
  p.fillRect({x - h * 0.04f, base - h * 0.08f, h * 0.08f, h * 0.1f}, 0, rgb(0x0b1626));
}

// The banner: a winter night over snowy hills with snow falling; `t` moves it.
void banner(Painter& p, double t) {
  const float W = kPageWidth, H = kStatusCardHeight;
  p.fillGradientRect({0, 0, W, H}, 0, rgb(0x0d1a3d), rgb(0x223a6e));
  // A soft glow behind the moon and the moon itself.
  const float mx = 560, my = 64;
  for (int k = 12; k >= 1; --k) p.fillCircle(mx, my, 22.0f + static_cast<float>(k) * 5.5f, rgb(0xbcd4ff, 0.018f));
  p.fillCircle(mx, my, 22, rgb(0xf6f2e4));
  p.fillCircle(mx + 7, my - 5, 5, rgb(0xe7e1cf));
  p.fillCircle(mx - 8, my + 7, 3.5f, rgb(0xe7e1cf));
  // Stars that twinkle slowly.
  for (int i = 0; i < 46; ++i) {
    const float x = hash01(i, 1) * W, y = hash01(i, 2) * 130;
    const float tw = 0.55f + 0.45f * std::sin(static_cast<float>(t) * (0.8f + hash01(i, 3)) + static_cast<float>(i));
    p.fillCircle(x, y, 0.6f + hash01(i, 4) * 0.9f, rgb(0xffffff, 0.25f + 0.5f * tw * hash01(i, 5)));
  }
  // Far hills, near hills, the snowfield.
  auto hills = [&](float base, float amp, float phase, const Color& top, const Color& bottom) {
    Point pts[28];
    int n = 0;
    for (int i = 0; i <= 24; ++i) {
      const float x = W * static_cast<float>(i) / 24;
      const float y = base - amp * (0.55f + 0.45f * std::sin(x / 140 + phase)) * (0.4f + 0.6f * x / W);
      pts[n++] = {x, y};
    }
    pts[n++] = {W, H};
    pts[n++] = {0, H};
    p.fillPolygon(std::span<const Point>(pts, n), {0, base - amp}, {0, H}, top, bottom);
  };
  hills(196, 58, 0.7f, rgb(0x2c4a80), rgb(0x1b2f5a));
  fir(p, 640, 178, 46);
  fir(p, 672, 186, 34);
  fir(p, 742, 172, 52);
  hills(222, 34, 2.3f, rgb(0xcfdcf2), rgb(0x8fa6cf));
  fir(p, 470, 214, 30);
  fir(p, 700, 222, 40);
  // Falling snow: each flake falls at its own speed and sways.
  for (int i = 0; i < 70; ++i) {
    const float speed = 9 + 18 * hash01(i, 7);
    const float size = 0.8f + 1.9f * hash01(i, 8) * hash01(i, 8);
    const float y = std::fmod(hash01(i, 9) * H + static_cast<float>(t) * speed, H + 10) - 5;
    const float sway = 7 * std::sin(static_cast<float>(t) * (0.4f + hash01(i, 10)) + static_cast<float>(i));
    const float x = std::fmod(hash01(i, 6) * W + sway + W, W);
    p.fillCircle(x, y, size, rgb(0xffffff, 0.45f + 0.45f * hash01(i, 11)));
  }
  p.fillRect({0, H - 1, W, 1}, 0, rgb(0xffffff, 0.08f));
}

float statusCard(Ctx& c) {
  banner(c.p, c.v.time);
  // A shade over the left where the text stands, fading out to the right.
  // It covers the whole width (clear past 560): an edge where the gradient
  // ends would show as a seam wherever a renderer leaves its end not quite clear.
  const Point shade[] = {{0, 0}, {kPageWidth, 0}, {kPageWidth, kStatusCardHeight}, {0, kStatusCardHeight}};
  c.p.fillPolygon(shade, {0, 0}, {560, 0}, rgb(0x060c20, 0.5f), rgb(0x060c20, 0.0f));

  const float lh0 = c.lineHeight(kStyleHero);
  c.p.text("Quillar", {40, 30, 360, lh0}, kStyleHero, kSnow, kAlignLeading, false);
  const float ly = 30 + lh0 + 6;
  const float lh3 = c.lineHeight(kStyleBody);
  c.p.text(statusLine(c.m), {40, ly, 520, lh3}, kStyleBody, kText, kAlignLeading, false);

  const float vy = ly + lh3 + 4;
  const float lh5 = c.lineHeight(kStyleSmall);
  if (c.m.updateState == kUpdateAvailable && !c.m.updateVersion.empty()) {
    const std::string t = trFormat("Доступне оновлення %@", c.m.updateVersion);
    const float w = c.p.textWidth(t, kStyleMeta) + 2;
    const Rect r{40, vy, w, lh5};
    c.p.text(t, r, kStyleMeta, kWarm, kAlignLeading, false);
    if (c.hover(kKindInstallUpdate)) c.p.line({40, vy + lh5}, {40 + w, vy + lh5}, 1, kWarm);
    c.hit({r.x - 4, r.y - 3, r.w + 8, r.h + 6}, kKindInstallUpdate);
  } else {
    c.p.text(trFormat("Версія %@", c.m.version), {40, vy, 360, lh5}, kStyleSmall, kTextDim, kAlignLeading, false);
  }

  // Pause, guide and contact along the bottom.
  const float by = 170;
  float x = 40;
  const char* pause = c.m.values.paused ? tr("Увімкнути сніг") : tr("Пауза");
  float w = buttonWidth(c, pause) + 8;
  button(c, {x, by, w, 36}, pause, kKindPause, 0, ButtonLook::Primary);
  x += w + 10;
  w = buttonWidth(c, tr("Посібник"));
  button(c, {x, by, w, 36}, tr("Посібник"), kKindGuide, 0, ButtonLook::Secondary);
  x += w + 10;
  w = buttonWidth(c, tr("Зв’язатися з нами"));
  button(c, {x, by, w, 36}, tr("Зв’язатися з нами"), kKindContact, 0, ButtonLook::Secondary);

  languageButton(c.p, c.hits, kPageWidth - 24, 18, c.m.values.language, c.hover(kKindLanguage));
  return kStatusCardHeight;
}

// ----------------------------------------------------------- other cards


float progressBar(Ctx& c, float x, float y, float w, float fraction, const Color& ink) {
  c.p.fillRect({x, y, w, 6}, 3, rgb(0xffffff, 0.1f));
  const float f = std::clamp(fraction, 0.0f, 1.0f);
  if (f > 0) c.p.fillRect({x, y, std::max(6.0f, w * f), 6}, 3, ink);
  return y + 6;
}

float updateCard(Ctx& c, float y) {
  const Color edge = rgb(0xffd27a, 0.35f);
  return card(
      c, y,
      [](Ctx& c, float y) {
        y += 20;
        const UpdateTexts t = updateTexts(c.m);
        // The button while the update is offered, and again after a failed
        // download, which it retries.
        const bool offered = c.m.updateState == kUpdateAvailable || c.m.updateState == kUpdateFailed;
        const float bw = offered ? buttonWidth(c, tr("Оновити")) : 0;
        const float tw = kInW - (bw > 0 ? bw + 16 : 0);
        const float th = c.p.textHeight(t.cardTitle, kStyleTileTitle, tw);
        c.p.text(t.cardTitle, {kInX, y, tw, th}, kStyleTileTitle, kWarm, kAlignLeading, true);
        if (offered) {
          button(c, {kInX + kInW - bw, y + th / 2 - kButtonH / 2, bw, kButtonH}, tr("Оновити"), kKindInstallUpdate, 0,
                 ButtonLook::Warm);
          y += std::max(th, kButtonH / 2 + th / 2);
          if (!t.cardLine.empty()) y = wrappedText(c, y + 8, t.cardLine, kStyleSmall, kError, kInX, tw);
        } else {
          y += th + 8;
          y = wrappedText(c, y, t.cardLine, kStyleSmall, kTextDim);
          if (c.m.updateState == kUpdateDownloading) {
            y += 8;
            y = progressBar(c, kInX, y, kInW, static_cast<float>(c.m.updateProgress) / 100.0f, kWarm);
          }
        }
        return y + 20;
      },
      &edge);
}

float smartPauseNotice(Ctx& c, float y) {
  const Color edge = rgb(0x8ccfff, 0.3f);
  return card(
      c, y,
      [](Ctx& c, float y) {
        y += 20;
        const std::string& reason = c.m.snowHiddenReason;
        const char* head = "Повноекранне відео — сніг ховається, щоб не заважати";
        const char* tail = "Він повернеться сам, щойно все закінчиться.";
        if (reason == "дзвінок або презентація") {
          head = "Дзвінок або презентація — сніг ховається, щоб не заважати";
        } else if (reason == "низький заряд батареї") {
          head = "Низький заряд батареї — сніг ховається, щоб зберегти енергію";
          tail = "Він повернеться сам, щойно ви під’єднаєте зарядку.";
        }
        const float bw = buttonWidth(c, tr("Все одно показати сніг"));
        const float tw = kInW - bw - 20;
        // A closed eye: the snow is resting.
        const float ex = kInX + 14, ey = y + 14;
        c.p.fillCircle(ex, ey, 14, rgb(0x8ccfff, 0.14f));
        c.p.line({ex - 7, ey - 1}, {ex, ey + 3}, 1.8f, kAccent);
        c.p.line({ex, ey + 3}, {ex + 7, ey - 1}, 1.8f, kAccent);
        const float tx = kInX + 40;
        float ty = wrappedText(c, y, tr(head), kStyleLabel, kText, tx, tw - 40);
        ty = wrappedText(c, ty + 3, tr(tail), kStyleNote, kTextDim, tx, tw - 40);
        const float h = ty - y;
        button(c, {kInX + kInW - bw, y + std::max(0.0f, (h - kButtonH) / 2), bw, kButtonH},
               tr("Все одно показати сніг"), kKindShowAnyway, 0, ButtonLook::Primary);
        return std::max(ty, y + kButtonH) + 20;
      },
      &edge);
}

// Four small pictures for the how-to entries.
void playIcon(Painter& p, int which, float cx, float cy) {
  p.fillCircle(cx, cy, 19, rgb(0x8ccfff, 0.12f));
  const Color ink = kSnow;
  switch (which) {
    case 0:  // a snowman
      p.fillCircle(cx, cy + 5, 7, ink);
      p.fillCircle(cx, cy - 6, 5, ink);
      p.fillCircle(cx - 1.8f, cy - 7, 0.9f, kOnAccent);
      p.fillCircle(cx + 1.8f, cy - 7, 0.9f, kOnAccent);
      break;
    case 1: {  // a heap
      const Point heap[] = {{cx - 11, cy + 7}, {cx - 6, cy - 2}, {cx - 1, cy - 6}, {cx + 5, cy - 3},
                            {cx + 11, cy + 7}};
      p.fillPolygon(heap, {cx, cy - 6}, {cx, cy + 7}, ink, rgb(0xa9c4ea));
      break;
    }
    case 2:  // a window with snow on it
      p.strokeRoundRect({cx - 10, cy - 6, 20, 15}, 2, ink, 1.6f);
      p.fillRect({cx - 11, cy - 9, 22, 4}, 2, ink);
      p.line({cx - 10, cy - 2}, {cx + 10, cy - 2}, 1.2f, ink);
      break;
    default:  // pause
      p.fillRect({cx - 6, cy - 7, 4, 14}, 1.5f, ink);
      p.fillRect({cx + 2, cy - 7, 4, 14}, 1.5f, ink);
      break;
  }
}

float playCard(Ctx& c, float y) {
  return card(c, y, [](Ctx& c, float y) {
    y = sectionTitle(c, y + 22, "Як гратися зі снігом");
    struct Entry {
      const char* title;
      const char* body;
    } entries[] = {
        {"Сніжка й сніговик",
         "Наведіть на замет — з’явиться рука. Потягніть мишею — покотиться сніжка. Сніжка на сніжці — і маєте "
         "сніговика."},
        {"Купа снігу", "Затисніть Alt і проведіть курсором крізь замет. Відпустіть на замаху — і купа полетить."},
        {"Струсніть вікно", "Смикніть вікно — і сніг злетить. Закрийте його — і замет обвалиться."},
        {"Пауза", "Сховати й повернути сніг. У повноекранній грі чи фільмі він ховається сам."},
    };
    const float colW = (kInW - 24) / 2;
    float rowTop = y;
    for (int row = 0; row < 2; ++row) {
      float rowBottom = rowTop;
      for (int col = 0; col < 2; ++col) {
        const Entry& e = entries[row * 2 + col];
        const float x = kInX + static_cast<float>(col) * (colW + 24);
        playIcon(c.p, row * 2 + col, x + 19, rowTop + 19);
        const float tx = x + 52, tw = colW - 52;
        float ty = wrappedText(c, rowTop + 1, tr(e.title), kStyleLabel, kText, tx, tw);
        ty = wrappedText(c, ty + 3, tr(e.body), kStyleNote, kTextDim, tx, tw);
        rowBottom = std::max(rowBottom, std::max(ty, rowTop + 38));
      }
      rowTop = rowBottom + 18;
    }
    return rowTop + 4;
  });
}

float snowSection(Ctx& c, float y) {
  return card(c, y, [](Ctx& c, float y) {
    y = sectionTitle(c, y + 22, "Сніг");
    // The three strengths as tiles.
    struct Choice {
      const char* title;
      const char* note;
    } choices[] = {{"Легкий сніжок", "Кілька сніжинок, безвітряно"},
                   {"Рівномірний снігопад", "Як зимовий день за вікном"},
                   {"Хуртовина", "Стіна снігу й вітер"}};
    const float gap = 12, w = (kInW - 2 * gap) / 3;
    float tileH = 0;
    for (const Choice& ch : choices)
      tileH = std::max(tileH, c.p.textHeight(tr(ch.title), kStyleTileTitle, w - 56) + 4 +
                                  c.p.textHeight(tr(ch.note), kStyleNote, w - 56));
    tileH += 30;
    for (int i = 0; i < 3; ++i) {
      const Rect r{kInX + static_cast<float>(i) * (w + gap), y, w, tileH};
      const bool on = c.m.values.weather == i;
      c.p.fillRect(r, 14, on ? rgb(0x8ccfff, 0.14f) : c.hover(kKindWeather, i) ? kButtonHover : kButton);
      c.p.strokeRoundRect(r, 14, on ? kAccent : kCardEdge, on ? 1.5f : 1);
      // Flakes as a strength mark: one, two, three.
      const Point at[3][3] = {{{22, 24}}, {{17, 20}, {27, 29}}, {{16, 18}, {28, 21}, {20, 31}}};
      for (int k = 0; k <= i; ++k)
        flake(c.p, r.x + at[i][k].x, r.y + at[i][k].y, i == 0 ? 6.5f : 5, 1.3f, on ? kAccent : kTextDim);
      const float tx = r.x + 44, tw = w - 56;
      const float ty = wrappedText(c, r.y + 14, tr(choices[i].title), kStyleTileTitle, on ? kSnow : kText, tx, tw);
      wrappedText(c, ty + 4, tr(choices[i].note), kStyleNote, kTextDim, tx, tw);
      c.hit(r, kKindWeather, i);
    }
    y += tileH + 14;
    y = toggleRow(c, y, tr("Падаючий сніг"), tr("Вимкніть, щоб лишилися тільки гірлянда, Санта й снігурі."),
                  c.m.values.snowfall, kKindSnowfall);
    y = toggleRow(c, y, tr("Сніг, як за вікном"), tr("Справжня погода у вашому місті: сніг, вітер, хуртовина."),
                  c.m.values.realWeather, kKindRealWeather);
    // The city also places the sun for the time-of-day wallpapers, so its
    // field stays while the real weather is off; the weather status does not.
    y += 6;
    const char* find = c.m.citySearchBusy ? tr("Пошук…") : tr("Знайти місто");
    const float bw = std::max(buttonWidth(c, tr("Знайти місто")), buttonWidth(c, tr("Пошук…")));
    const Rect field{kInX, y, kInW - bw - 12, 36};
    c.p.fillRect(field, 10, kField);
    c.p.strokeRoundRect(field, 10, rgb(0xffffff, 0.14f), 1);
    if (c.result) {
      c.result->cityFieldShown = true;
      // The edit sits inside the drawn frame.
      c.result->cityField = {field.x + 12, field.y + 8, field.w - 24, field.h - 16};
    }
    button(c, {field.right() + 12, y + 2, bw, kButtonH}, find, kKindFindCity, 0, ButtonLook::Primary);
    y += 36 + 8;
    if (!c.m.cityError.empty()) {
      y = wrappedText(c, y, c.m.cityError, kStyleSmall, kError);
    } else if (c.m.values.realWeather && !c.m.weatherStatus.empty()) {
      y = wrappedText(c, y, c.m.weatherStatus, kStyleSmall, kTextDim);
    }
    return y + 16;
  });
}

float surprisesSection(Ctx& c, float y) {
  return card(c, y, [](Ctx& c, float y) {
    y = sectionTitle(c, y + 22, "Сюрпризи");
    const SettingsValues& v = c.m.values;
    y = toggleRow(c, y, tr("Санта"), tr("Кожні 20–30 хв він пролітає через екран і скидає подарунок у сніг."), v.santa,
                  kKindSanta, tr("Покликати зараз"), kKindCallSanta);
    y = toggleRow(c, y, tr("Снігурі"), nullptr, v.birds, kKindBirds, tr("Покликати"), kKindCallBirds);
    y = toggleRow(c, y, tr("Падаючі зорі"), nullptr, v.stars, kKindStars);
    y = toggleRow(c, y, tr("Гірлянда"), nullptr, v.garland, kKindGarland);
    y = toggleRow(c, y, tr("Замети на вікнах"), nullptr, v.onWindows, kKindOnWindows);
    y = toggleRow(c, y, tr("Розумна пауза"), tr("Ховає сніг під час відео, дзвінків і при низькому заряді батареї."),
                  v.smartPause, kKindSmartPause);
    y += 12;
    float x = kInX;
    using Action = std::pair<const char*, int>;
    for (auto [label, kind] : {Action{tr("Феєрверк зараз"), kKindFireworks}, Action{tr("Прибрати сніг"), kKindShovel}}) {
      const float w = buttonWidth(c, label);
      button(c, {x, y, w, kButtonH}, label, kind, 0, ButtonLook::Secondary);
      x += w + 10;
    }
    return y + kButtonH + 22;
  });
}

// "My wallpaper": a little desktop with the user's own picture.
void ownWallpaperArt(Painter& p, const Rect& r) {
  p.fillGradientRect(r, 10, rgb(0x2a3760), rgb(0x1a2240));
  const float cx = r.x + r.w / 2, cy = r.y + r.h / 2 - 4;
  p.fillRect({cx - 26, cy - 17, 52, 33}, 4, rgb(0x0e1530));
  p.strokeRoundRect({cx - 26, cy - 17, 52, 33}, 4, kTextDim, 1.6f);
  const Point hill[] = {{cx - 24, cy + 14}, {cx - 8, cy - 2}, {cx + 2, cy + 6}, {cx + 10, cy}, {cx + 24, cy + 14}};
  p.fillPolygon(hill, {}, {}, rgb(0x6f8fc4), rgb(0x6f8fc4));
  p.fillCircle(cx + 12, cy - 8, 3.5f, kWarm);
  p.fillRect({cx - 8, cy + 17, 16, 3}, 1.5f, kTextDim);
}

float wallpapersSection(Ctx& c, float y) {
  return card(c, y, [](Ctx& c, float y) {
    y = sectionTitle(c, y + 22, "Шпалери Quillar");
    const SettingsModel& m = c.m;
    y = toggleRow(c, y,
                  tr("Змінювати за часом доби: світанок, день, золота година, захід сонця, синя година, ніч"), nullptr,
                  m.values.followTimes, kKindFollowTimes);
    y += 10;
    const int count = static_cast<int>(m.themes.size());
    const float tileW = (kInW - kTileGap * (kTileColumns - 1)) / kTileColumns;
    const float picH = std::round(tileW * 9 / 16);
    const float titleH = c.lineHeight(kStyleMeta);
    const float tileH = picH + 10 + titleH + 4;
    const int shown = std::clamp(m.visibleThemes, 0, count);
    // "My wallpaper" first, then the themes.
    for (int i = -1; i < shown; ++i) {
      const int slot = i + 1;
      const Rect r{kInX + static_cast<float>(slot % kTileColumns) * (tileW + kTileGap),
                   y + static_cast<float>(slot / kTileColumns) * (tileH + kTileGap), tileW, tileH};
      const Rect pic{r.x, r.y, r.w, picH};
      const bool chosen = m.values.wallpaperChoice == i;
      const bool hot = c.hover(kKindTheme, i);
      if (i < 0) {
        ownWallpaperArt(c.p, pic);
      } else {
        c.p.fillRect(pic, 10, rgb(0x1a2240));
        c.p.image(pic, themeImageId(i), 10, m.themes[i].state == kThemeAvailable ? 1.0f : 0.55f, false);
      }
      if (hot) c.p.fillRect(pic, 10, rgb(0xffffff, 0.08f));
      c.p.strokeRoundRect(pic, 10, chosen ? kAccent : hot ? kButtonEdge : kCardEdge, chosen ? 2.5f : 1);
      const std::string title = i < 0 ? std::string(tr("Мої шпалери")) : m.themes[i].title;
      c.p.text(title, {r.x + 2, pic.bottom() + 8, r.w - 4, titleH}, kStyleMeta, chosen ? kSnow : kTextDim,
               kAlignLeading, false);
      if (chosen) {  // a tick in a disc at the top right
        const float cx = pic.right() - 15, cy = pic.y + 15;
        c.p.fillCircle(cx, cy, 10, kAccent);
        c.p.line({cx - 4.5f, cy}, {cx - 1, cy + 3.5f}, 2, kOnAccent);
        c.p.line({cx - 1, cy + 3.5f}, {cx + 5, cy - 3.5f}, 2, kOnAccent);
      }
      if (i >= 0) {
        const ThemeTile& t = m.themes[i];
        if (t.state == kThemeNotDownloaded) {
          const std::string size = trFormat("%@ МБ", std::to_string(std::max(1, t.sizeMB)));
          const float w = c.p.textWidth(size, kStyleMeta) + 16;
          const Rect badge{pic.right() - w - 8, pic.bottom() - 30, w, 22};
          c.p.fillRect(badge, 11, rgb(0x060c20, 0.78f));
          c.p.text(size, {badge.x, badge.y + (22 - titleH) / 2, w, titleH}, kStyleMeta, kText, kAlignCentre, false);
          // A download arrow at the left of the badge's line.
          const float ax = pic.x + 18, ay = pic.bottom() - 19;
          c.p.fillCircle(ax, ay, 11, rgb(0x060c20, 0.78f));
          c.p.line({ax, ay - 5}, {ax, ay + 4}, 1.6f, kText);
          c.p.line({ax - 4, ay}, {ax, ay + 4}, 1.6f, kText);
          c.p.line({ax + 4, ay}, {ax, ay + 4}, 1.6f, kText);
        } else if (t.state == kThemeDownloading) {
          c.p.fillRect({pic.x, pic.bottom() - 18, pic.w, 18}, 0, rgb(0x060c20, 0.5f));
          progressBar(c, pic.x + 10, pic.bottom() - 12, pic.w - 20, t.progress, kAccent);
        } else if (t.state == kThemeFailed) {
          const float cx = pic.x + 18, cy = pic.bottom() - 19;
          c.p.fillCircle(cx, cy, 11, kError);
          c.p.line({cx, cy - 6}, {cx, cy + 1}, 2, rgb(0x2a0a06));
          c.p.fillCircle(cx, cy + 5, 1.3f, rgb(0x2a0a06));
        }
      }
      c.hit(r, kKindTheme, i);
    }
    const int rows = (shown + 1 + kTileColumns - 1) / kTileColumns;
    y += static_cast<float>(rows) * (tileH + kTileGap) + 2;

    if (count == 0) {
      const Rect box{kInX, y, kInW, 0};
      const std::string t =
          tr("Каталог тем поки недоступний. Теми з’являться, щойно буде зв’язок із сервером.");
      const float h = c.p.textHeight(t, kStyleSmall, kInW - 40) + 28;
      c.p.strokeRoundRect({box.x, box.y, box.w, h}, 12, rgb(0xffffff, 0.12f), 1);
      wrappedText(c, y + 14, t, kStyleSmall, kTextDim, kInX + 20, kInW - 40);
      y += h + 12;
    }

    // Show more and download all.
    float x = kInX;
    bool anyButton = false;
    if (shown < count) {
      const std::string label = trFormat("Показати ще (%@)", std::to_string(count - shown));
      const float w = buttonWidth(c, label);
      button(c, {x, y, w, kButtonH}, label, kKindShowMore, 0, ButtonLook::Secondary);
      x += w + 10;
      anyButton = true;
    }
    if (m.missingMB > 0) {
      const std::string label = trFormat("Завантажити всі (%@ МБ)", std::to_string(m.missingMB));
      const float w = buttonWidth(c, label);
      button(c, {x, y, w, kButtonH}, label, kKindDownloadAll, 0, ButtonLook::Secondary);
      anyButton = true;
    }
    if (anyButton) y += kButtonH + 12;

    if (count > 0 && m.missingMB > 0)
      y = wrappedText(c, y, tr("Одна тема вже є, решту можна завантажити одним клацанням."), kStyleNote, kTextDim) + 4;
    if (m.downloadsPending > 0)
      y = wrappedText(c, y, trFormat("Завантаження тем: %@", std::to_string(m.downloadsPending)), kStyleNote,
                      kAccent) +
          4;
    if (m.anyDownloadFailed)
      y = wrappedText(c, y, tr("Не вдалося завантажити. Перевірте інтернет і клацніть тему ще раз."), kStyleNote,
                      kError) +
          4;
    y = wrappedText(c, y,
                    tr("Ваші власні шпалери Windows запам’ятовуються й повертаються, коли ви вибираєте «Мої шпалери»."),
                    kStyleNote, kTextFaint);

    // The screensaver block.
    y += 18;
    divider(c, y);
    y += 18;
    const char* action = m.screensaverSet ? tr("Параметри заставки…") : tr("Зробити заставкою");
    const float bw = buttonWidth(c, action);
    const float tw = kInW - bw - 20;
    const float top = y;
    y = wrappedText(c, y, tr("Заставка Quillar"), kStyleTileTitle, kText, kInX, tw);
    y = wrappedText(c, y + 3,
                    tr("Поки комп’ютер відпочиває — живі шпалери за часом доби, сніг і Санта."), kStyleNote,
                    kTextDim, kInX, tw);
    button(c, {kInX + kInW - bw, top + std::max(0.0f, (y - top - kButtonH) / 2), bw, kButtonH}, action,
           kKindScreensaver, 0, m.screensaverSet ? ButtonLook::Secondary : ButtonLook::Primary);
    return std::max(y, top + kButtonH) + 22;
  });
}

float settingsSection(Ctx& c, float y) {
  return card(c, y, [](Ctx& c, float y) {
    y = sectionTitle(c, y + 22, "Налаштування");
    const SettingsModel& m = c.m;
    y = toggleRow(c, y, tr("Змітати сніг курсором"), nullptr, m.values.sweep, kKindSweep);
    y = toggleRow(c, y, tr("Запускати разом із Windows"), nullptr, m.values.autostart, kKindAutostart);

    // A label at the left, the choices at the right, the notes under both.
    auto choiceBlock = [&](float y, const char* label, std::initializer_list<const char*> options, int chosen,
                           int kind, const char* note, const char* warning) {
      y += 10;
      const Rect seg = segmented(c, kInX + kInW, y, options, chosen, kind);
      const float lh = c.lineHeight(kStyleLabel);
      c.p.text(tr(label), {kInX, y + (34 - lh) / 2, seg.x - kInX - 12, lh}, kStyleLabel, kText, kAlignLeading,
               false);
      y += 34 + 8;
      y = wrappedText(c, y, tr(note), kStyleNote, kTextDim);
      if (warning) y = wrappedText(c, y + 4, tr(warning), kStyleNote, kWarm);
      return y + 10;
    };
    y = choiceBlock(y, "Графічний режим", {"A — відеокарта", "B — сумісний"}, std::clamp(m.values.renderMode, 0, 1),
                    kKindRenderMode, "Якщо сніг мерехтить або екран темніє, спробуйте B.",
                    m.gpuUnavailable ? "Відеокарта недоступна — використовується B" : nullptr);
    y = choiceBlock(y, "Плавність анімації", {"Авто", "30 кадрів", "60 кадрів"}, std::clamp(m.values.fpsMode, 0, 2),
                    kKindFpsMode, "60 — найплавніше. 30 — легше для ноутбука. Авто — програма вибирає сама.", nullptr);

    // Updates: the version and what the last check said, the button at the right.
    y += 8;
    divider(c, y);
    y += 14;
    {
      const char* check = tr("Перевірити оновлення");
      const float bw = buttonWidth(c, check);
      const float tw = kInW - bw - 20;
      const float top = y;
      y = wrappedText(c, y, trFormat("Версія %@", m.version), kStyleLabel, kText, kInX, tw);
      const std::string status = updateTexts(m).checkLine;
      Color ink = kTextDim;
      if (m.updateState == kUpdateAvailable || m.updateState == kUpdateDownloading ||
          m.updateState == kUpdateInstalling)
        ink = kWarm;
      if (m.updateState == kUpdateFailed) ink = kError;
      if (!status.empty()) y = wrappedText(c, y + 3, status, kStyleNote, ink, kInX, tw);
      button(c, {kInX + kInW - bw, top + std::max(0.0f, (y - top - kButtonH) / 2), bw, kButtonH}, check,
             kKindCheckUpdates, 0, ButtonLook::Secondary);
      y = std::max(y, top + kButtonH) + 10;
    }
    y = linkRow(c, y, tr("Зв’язатися з нами"),
                trFormat("Є запитання чи щось не працює? Напишіть на %@", m.contactAddress), kKindContact);
    y = linkRow(c, y, tr("Журнал для розробника…"), tr("Щось не так? Журнал допоможе розробникові знайти причину."),
                kKindOpenLog);
    return y + 14;
  });
}

float footer(Ctx& c, float y) {
  y += 22;
  const float lh = c.lineHeight(kStyleNote);
  c.p.text(tr("Дані погоди: MET Norway · місто: © OpenStreetMap"), {kCardX, y, kCardW, lh}, kStyleNote, kTextFaint,
           kAlignCentre, false);
  y += lh + 4;
  c.p.text(tr("Пауза: Ctrl+Alt+D · меню ❄ біля годинника"), {kCardX, y, kCardW, lh}, kStyleNote, kTextFaint,
           kAlignCentre, false);
  return y + lh + 28;
}

}  // namespace

// ----------------------------------------------------------------- header

void languageButton(Painter& p, HitLists* hits, float right, float top, int language, bool hot) {
  const Rect lang{right - 66, top, 66, 30};
  p.fillRect(lang, 15, hot ? rgb(0x0b1226, 0.75f) : rgb(0x0b1226, 0.55f));
  p.strokeRoundRect(lang, 15, kButtonEdge, 1);
  const float th = p.textHeight("Ag", kStyleButton, 10000);
  p.text(languageShort(language), {lang.x + 12, lang.y + (30 - th) / 2, 30, th}, kStyleButton, kText, kAlignLeading,
         false);
  const float chx = lang.x + 48, chy = lang.y + 14;
  p.line({chx - 4, chy - 2}, {chx, chy + 2}, 1.6f, kTextDim);
  p.line({chx, chy + 2}, {chx + 4, chy - 2}, 1.6f, kTextDim);
  if (hits) hits->addContent(lang, kKindLanguage);
}

void drawHeader(Painter& p, HitLists& hits, float width, int hoverKind) {
  p.fillRect({0, 0, width, kHeaderHeight}, 0, kHeaderBand);
  p.line({0, kHeaderHeight - 0.5f}, {width, kHeaderHeight - 0.5f}, 1, rgb(0xffffff, 0.06f));
  p.image({12, 8, 24, 24}, kImageProgramIcon, 0, 1, true);
  const float th = p.textHeight("Quillar", kStyleLabel, 10000);
  p.text("Quillar", {44, (kHeaderHeight - th) / 2, 200, th}, kStyleLabel, kText, kAlignLeading, false);

  const Rect minimise{width - 92, 0, 46, kHeaderHeight}, close{width - 46, 0, 46, kHeaderHeight};
  if (hoverKind == kKindMinimise) p.fillRect(minimise, 0, rgb(0xffffff, 0.08f));
  if (hoverKind == kKindClose) p.fillRect(close, 0, kCloseHover);
  const float my = kHeaderHeight / 2, mx = minimise.x + 23;
  p.line({mx - 5, my}, {mx + 5, my}, 1.2f, kText);
  const float cx = close.x + 23;
  p.line({cx - 5, my - 5}, {cx + 5, my + 5}, 1.2f, kText);
  p.line({cx - 5, my + 5}, {cx + 5, my - 5}, 1.2f, kText);
  hits.addHeader(minimise, kKindMinimise);
  hits.addHeader(close, kKindClose);
}

// ------------------------------------------------------------------- page

PageResult drawSettingsPage(Painter& p, HitLists& hits, const SettingsModel& model, const PageView& view) {
  PageResult result;
  Ctx c{p, &hits, model, view, &result};
  statusCard(c);
  float y = kFirstCardTop;
  if (updateCardShown(model)) y = updateCard(c, y) + kSectionGap;
  if (!model.snowHiddenReason.empty() && !model.values.paused) y = smartPauseNotice(c, y) + kSectionGap;
  y = playCard(c, y) + kSectionGap;
  y = snowSection(c, y) + kSectionGap;
  y = surprisesSection(c, y) + kSectionGap;
  y = wallpapersSection(c, y) + kSectionGap;
  y = settingsSection(c, y);
  result.contentHeight = footer(c, y);
  return result;
}

PageResult paintSettingsWindow(Painter& window, HitLists& hits, const SettingsModel& model, const PageView& view) {
  hits.clear();
  window.fillRect({0, 0, kPageWidth, kHeaderHeight + view.viewHeight}, 0, kPage);
  Shift content(window, kHeaderHeight - view.scroll);
  PageResult r = model.guideActive ? drawGuidePage(content, hits, model, view)
                                    : drawSettingsPage(content, hits, model, view);
  // The band goes on last: the page scrolls under it.
  drawHeader(window, hits, kPageWidth, view.hoverKind);
  return r;
}

// ------------------------------------------------------------------ clicks

ClickEffect clickEffect(const HitArea& area, SettingsModel& model) {
  SettingsValues& v = model.values;
  ClickEffect e;
  auto apply = [&] { e.command = kCommandApply; };
  switch (area.kind) {
    case kKindPause: v.paused = !v.paused; apply(); break;
    case kKindLanguage: e.action = WindowAction::LanguageMenu; break;
    case kKindMinimise: e.action = WindowAction::Minimise; break;
    case kKindClose: e.action = WindowAction::Close; break;
    case kKindGuide: e.command = kCommandGuideOpen; break;
    case kKindContact: e.command = kCommandContact; break;
    case kKindInstallUpdate: e.command = kCommandInstallUpdate; break;
    case kKindShowAnyway: e.command = kCommandShowAnyway; break;
    case kKindWeather:
      if (area.arg >= 0 && area.arg <= 2) {
        v.weather = area.arg;
        apply();
      }
      break;
    case kKindSnowfall: v.snowfall = !v.snowfall; apply(); break;
    case kKindRealWeather: v.realWeather = !v.realWeather; apply(); break;
    case kKindFindCity:
      // A search already under way is not started twice.
      if (!model.citySearchBusy) e.command = kCommandFindCity;
      break;
    case kKindSanta: v.santa = !v.santa; apply(); break;
    case kKindBirds: v.birds = !v.birds; apply(); break;
    case kKindStars: v.stars = !v.stars; apply(); break;
    case kKindGarland: v.garland = !v.garland; apply(); break;
    case kKindOnWindows: v.onWindows = !v.onWindows; apply(); break;
    case kKindSmartPause: v.smartPause = !v.smartPause; apply(); break;
    case kKindCallSanta: e.command = kCommandCallSanta; break;
    case kKindCallBirds: e.command = kCommandCallBirds; break;
    case kKindFireworks: e.command = kCommandFireworks; break;
    case kKindShovel: e.command = kCommandShovel; break;
    case kKindFollowTimes: v.followTimes = !v.followTimes; apply(); break;
    case kKindTheme: {
      const int i = area.arg;
      const int count = static_cast<int>(model.themes.size());
      if (i < -1 || i >= count) break;
      if (i == -1 || model.themes[i].state == kThemeAvailable) {
        v.wallpaperChoice = i;
        apply();
      } else if (model.themes[i].state != kThemeDownloading) {
        // Not there yet (or failed before): fetch it and choose it when done.
        v.selectedTheme = i;
        model.themes[i].state = kThemeDownloading;
        e.command = kCommandDownloadTheme;
      }
      break;
    }
    case kKindShowMore: {
      const int count = static_cast<int>(model.themes.size());
      model.visibleThemes = std::min(std::max(model.visibleThemes, v.wallpaperChoice + 1), count) + 12;
      e.repaint = true;
      break;
    }
    case kKindDownloadAll: e.command = kCommandDownloadAll; break;
    case kKindScreensaver: e.command = kCommandScreensaver; break;
    case kKindSweep: v.sweep = !v.sweep; apply(); break;
    case kKindAutostart: v.autostart = !v.autostart; apply(); break;
    case kKindRenderMode:
      if (area.arg == 0 || area.arg == 1) {
        v.renderMode = area.arg;
        apply();
      }
      break;
    case kKindFpsMode:
      if (area.arg >= 0 && area.arg <= 2) {
        v.fpsMode = area.arg;
        apply();
      }
      break;
    case kKindCheckUpdates:
      // A second check while one runs or an update downloads is ignored.
      if (model.updateState != kUpdateChecking && model.updateState != kUpdateDownloading &&
          model.updateState != kUpdateInstalling)
        e.command = kCommandCheckUpdates;
      break;
    case kKindOpenLog: e.command = kCommandOpenLog; break;
    case kKindGuideSkip: e.command = kCommandGuideClose; break;
    case kKindGuideMoreSnow: e.command = kCommandGuideMoreSnow; break;
    default: break;
  }
  return e;
}

bool applySlider(int kind, float fraction, SettingsValues& values) {
  const float a = fraction == fraction ? std::clamp(fraction, 0.0f, 1.0f) : 0.0f;
  if (kind == kKindAmountSlider) {
    values.amount = 0.15f + 1.45f * a;
    return true;
  }
  if (kind == kKindWindSlider) {
    float w = 2 * a - 1;
    if (std::fabs(w) < 0.06f) w = 0;
    values.wind = w;
    return true;
  }
  return false;
}

// ------------------------------------------------------------------ helpers

namespace {
// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
}  // namespace

int daysUntilNewYear(int year, int month, int day) {
  // Both ends at noon with daylight saving off: whole days apart.
  return static_cast<int>(daysFromCivil(year + 1, 1, 1) - daysFromCivil(year, month, day));
}

float pageScale(float workHeight, unsigned dpi) {
  const float d = static_cast<float>(dpi ? dpi : 96) / 96.0f;
  const float x = (workHeight - 40 * d) / (kPageHeight * d);
  if (!(x < 1)) return 1;
  return std::max(0.6f, x);
}

std::string statusLine(const SettingsModel& m) {
  std::string s;
  if (m.values.paused) {
    s = tr("Сніг на паузі");
  } else if (m.fullScreenHidden) {
    s = tr("Сніг сховано: повноекранна програма");
  } else if (!m.snowHiddenReason.empty()) {
    s = trFormat("Сніг сховано: %@", tr(m.snowHiddenReason.c_str()));
  } else {
    s = tr("Йде сніг");
  }
  return s + " · " + newYearCountdown(m.newYearDays, uiLanguage());
}

bool updateCardShown(const SettingsModel& m) {
  if (m.updateState == kUpdateFailed) return !m.updateVersion.empty();
  return m.updateState == kUpdateAvailable || m.updateState == kUpdateDownloading ||
         m.updateState == kUpdateInstalling;
}

UpdateTexts updateTexts(const SettingsModel& m) {
  UpdateTexts t;
  const std::string error = m.updateError.empty() ? std::string() : tr(m.updateError.c_str());
  if (updateCardShown(m)) {
    t.cardTitle = trFormat("Вийшов Quillar %@", m.updateVersion);
    if (m.updateState == kUpdateDownloading) {
      char pct[16];
      std::snprintf(pct, sizeof pct, "%d %%", std::clamp(m.updateProgress, 0, 100));
      t.cardLine = trFormat("Завантаження оновлення… %@", pct);
    } else if (m.updateState == kUpdateInstalling) {
      t.cardLine = tr("Встановлення оновлення…");
    } else if (m.updateState == kUpdateFailed) {
      t.cardLine = error;
    }
  }
  switch (m.updateState) {
    case kUpdateChecking: t.checkLine = tr("Перевірка оновлень…"); break;
    case kUpdateUpToDate: t.checkLine = trFormat("У вас найновіша версія %@ ✓", m.version); break;
    case kUpdateAvailable:
    case kUpdateDownloading:
    case kUpdateInstalling: t.checkLine = trFormat("Оновити до %@", m.updateVersion); break;
    case kUpdateFailed: t.checkLine = error; break;
    default: break;
  }
  return t;
}

float keyScrollDelta(unsigned key, float clientHeight) {
  const float page = std::max(40.0f, clientHeight - 100);
  constexpr float inf = std::numeric_limits<float>::infinity();
  switch (key) {
    case 0x26: return -40;    // Up
    case 0x28: return 40;     // Down
    case 0x21: return -page;  // Page Up
    case 0x22:                // Page Down
    case 0x20: return page;   // Space
    case 0x24: return -inf;   // Home
    case 0x23: return inf;    // End
    default: return 0;
  }
}

}  // namespace kui
