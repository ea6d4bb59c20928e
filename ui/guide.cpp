// The first-run guide's steps: what each says, its controls and buttons.
#include "ui/guide.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>

#include "ui/text.h"

namespace kui {
namespace {

const Color kCard = rgb(0x121a31), kCardTop = rgb(0x162040), kCardEdge = rgb(0xffffff, 0.07f);
const Color kShadow = rgb(0x000000, 0.28f);
const Color kText = rgb(0xeef2fb), kDim = rgb(0xa5b0ca);
const Color kAccent = rgb(0x8ccfff), kAccentDeep = rgb(0x4f9cf0), kOnAccent = rgb(0x08122a);
const Color kDone = rgb(0x7fe0a8), kWarm = rgb(0xffd27a);
const Color kButton = rgb(0xffffff, 0.07f), kButtonHover = rgb(0xffffff, 0.13f), kButtonEdge = rgb(0xffffff, 0.12f);
const Color kHover = rgb(0xffffff, 0.045f), kTrackOff = rgb(0x2b3552), kKnobOff = rgb(0xc4cde2), kSnow = rgb(0xf4f8ff);

constexpr int kStyleTitle = 2, kStyleLead = 7, kStyleBody = 3, kStyleLabel = 4, kStyleNote = 6, kStyleButton = 9;

constexpr float kCardX = 24, kCardY = 16, kCardW = kPageWidth - 48;
constexpr float kInX = kCardX + 40, kInW = kCardW - 80;
constexpr float kButtonH = 36;

struct G {
  Painter& p;
  HitLists& hits;
  const SettingsModel& m;
  const PageView& v;
  bool hover(int kind, int arg = 0) const { return v.hoverKind == kind && v.hoverArg == arg; }
};

float lineHeight(Painter& p, int style) { return p.textHeight("Ag", style, 10000); }

float paragraph(G& g, float y, const std::string& t, int style, const Color& ink, float x = kInX, float w = kInW) {
  const float h = g.p.textHeight(t, style, w);
  g.p.text(t, {x, y, w, h}, style, ink, kAlignLeading, true);
  return y + h;
}

// A point of a list: a small flake before the text.
float point(G& g, float y, const std::string& t, const Color& mark = kAccent) {
  const float lh = lineHeight(g.p, kStyleBody);
  g.p.fillCircle(kInX + 5, y + lh / 2, 3, mark);
  return paragraph(g, y, t, kStyleBody, kText, kInX + 20, kInW - 20) + 10;
}

enum class Look { Primary, Secondary, Plain };

void button(G& g, const Rect& r, const std::string& label, int kind, Look look) {
  const bool hot = g.hover(kind);
  Color ink = kText;
  if (look == Look::Primary) {
    g.p.fillRect(r, r.h / 2, hot ? rgb(0xa9dcff) : kAccent);
    ink = kOnAccent;
  } else if (look == Look::Secondary) {
    g.p.fillRect(r, r.h / 2, hot ? kButtonHover : kButton);
    g.p.strokeRoundRect(r, r.h / 2, kButtonEdge, 1);
  } else {
    if (hot) g.p.fillRect(r, r.h / 2, kButton);
    ink = kDim;
  }
  const float th = lineHeight(g.p, kStyleButton);
  g.p.text(label, {r.x, r.y + (r.h - th) / 2, r.w, th}, kStyleButton, ink, kAlignCentre, false);
  g.hits.addContent(r, kind);
}

float buttonWidth(G& g, const std::string& label) { return std::ceil(g.p.textWidth(label, kStyleButton)) + 40; }

void switchGlyph(G& g, float x, float y, bool on) {
  const float w = 42, h = 24;
  if (on)
    g.p.fillGradientRect({x, y, w, h}, h / 2, kAccent, kAccentDeep);
  else
    g.p.fillRect({x, y, w, h}, h / 2, kTrackOff);
  g.p.fillCircle(on ? x + w - h / 2 : x + h / 2, y + h / 2, h / 2 - 3, on ? kSnow : kKnobOff);
}

float toggleRow(G& g, float y, const std::string& label, const std::string& note, bool on, int kind) {
  const float tw = kInW - 42 - 16;
  const float lh = g.p.textHeight(label, kStyleLabel, tw), nh = g.p.textHeight(note, kStyleNote, tw);
  const float h = std::max(48.0f, lh + 3 + nh + 20);
  const Rect row{kInX - 12, y, kInW + 24, h};
  if (g.hover(kind)) g.p.fillRect(row, 12, kHover);
  const float ty = y + (h - lh - 3 - nh) / 2;
  g.p.text(label, {kInX, ty, tw, lh}, kStyleLabel, kText, kAlignLeading, true);
  g.p.text(note, {kInX, ty + lh + 3, tw, nh}, kStyleNote, kDim, kAlignLeading, true);
  switchGlyph(g, kInX + kInW - 42, y + (h - 24) / 2, on);
  g.hits.addContent(row, kind);
  return y + h;
}

// A label with a pill of choices at the right and a note under it.
float choiceRow(G& g, float y, const char* label, std::initializer_list<const char*> options, int chosen, int kind,
                const char* note) {
  float total = 4;
  for (const char* o : options) total += std::ceil(g.p.textWidth(tr(o), kStyleButton)) + 28;
  const Rect box{kInX + kInW - total, y, total, 34};
  g.p.fillRect(box, 17, rgb(0x000000, 0.22f));
  g.p.strokeRoundRect(box, 17, kCardEdge, 1);
  const float th = lineHeight(g.p, kStyleButton);
  float x = box.x + 2;
  int i = 0;
  for (const char* o : options) {
    const char* t = tr(o);
    const float w = std::ceil(g.p.textWidth(t, kStyleButton)) + 28;
    const Rect seg{x, y + 2, w, 30};
    if (i == chosen)
      g.p.fillGradientRect(seg, 15, kAccent, rgb(0x74bdf7));
    else if (g.hover(kind, i))
      g.p.fillRect(seg, 15, kHover);
    g.p.text(t, {seg.x, seg.y + (30 - th) / 2, w, th}, kStyleButton, i == chosen ? kOnAccent : kDim, kAlignCentre,
             false);
    g.hits.addContent(seg, kind, i);
    x += w;
    ++i;
  }
  const float lh = lineHeight(g.p, kStyleLabel);
  g.p.text(tr(label), {kInX, y + (34 - lh) / 2, box.x - kInX - 12, lh}, kStyleLabel, kText, kAlignLeading, false);
  return paragraph(g, y + 42, tr(note), kStyleNote, kDim) + 14;
}

// Six dots, the current one long.
void stepDots(G& g, float y, int step) {
  float x = kInX;
  for (int i = 0; i < kGuideSteps; ++i) {
    const float w = i == step ? 22.0f : 8.0f;
    g.p.fillRect({x, y, w, 8}, 4, i == step ? kAccent : (i < step ? kAccentDeep : kTrackOff));
    x += w + 6;
  }
}

float stepBody(G& g, float y) {
  const int step = g.m.guideStep;
  switch (step) {
    case 0:
      y = paragraph(g, y, tr("Quillar — це справжній живий сніг на вашому робочому столі. Хвилина — і ви знатимете все."),
                    kStyleLead, kText) + 14;
      return paragraph(g, y, tr("Мову можна змінити вгорі праворуч — тут або пізніше у вікні Quillar."), kStyleBody,
                       kDim);
    case 1:
      y = paragraph(g, y, tr("Сніг лягає там, де ліг би справжній."), kStyleLead, kText) + 16;
      y = point(g, y, tr("Замети ростуть на верхніх краях вікон, на панелі завдань і внизу екрана."));
      y = point(g, y, tr("Смикніть вікно — і сніг злетить. Закрийте чи згорніть його — і замет обвалиться."));
      return point(g, y, tr("Повноекранні програми лишаються без заметів — тільки падаючий сніг."));
    case 2: {
      y = paragraph(g, y, tr("Сніг можна взяти в руки."), kStyleLead, kText) + 16;
      const char* tricks[kGuideTricks] = {
          "Наведіть на замет — з’явиться рука. Затисніть кнопку миші (або тачпад) і потягніть — покотиться сніжка.",
          "Відпустіть на замаху — і вона полетить. Затисніть Alt, щоб набрати цілу купу снігу.",
          "Покладіть сніжку на сніжку — і оживе сніговик: очі, ніс і руки.",
          "Двічі клацніть сніжку — і вона розсиплеться.",
      };
      for (int i = 0; i < kGuideTricks; ++i) {
        const bool done = guideTrickDone(g.m.guideProgress, i);
        const std::string t = done ? std::string("✓ ") + tr(tricks[i]) : std::string(tr(tricks[i]));
        const float h = g.p.textHeight(t, kStyleBody, kInW - 20);
        g.p.text(t, {kInX + 20, y, kInW - 20, h}, kStyleBody, done ? kDone : kText, kAlignLeading, true);
        const float lh = lineHeight(g.p, kStyleBody);
        if (done)
          g.p.fillCircle(kInX + 5, y + lh / 2, 4, kDone);
        else
          g.p.strokeRoundRect({kInX + 1, y + lh / 2 - 4, 8, 8}, 4, kDim, 1.2f);
        y += h + 10;
      }
      if (guideAllTricksDone(g.m.guideProgress)) {
        const float lh = lineHeight(g.p, kStyleLead);
        g.p.text(tr("Чудово!"), {kInX, y + 2, kInW, lh}, kStyleLead, kWarm, kAlignLeading, false);
        y += lh + 8;
      }
      const std::string more = tr("Ще снігу");
      button(g, {kInX, y + 6, buttonWidth(g, more), 34}, more, kKindGuideMoreSnow, Look::Secondary);
      return y + 6 + 34;
    }
    case 3:
      y = paragraph(g, y, tr("Стежте за небом і заметами."), kStyleLead, kText) + 16;
      for (auto [title, text] : {std::pair{"Санта", "Кожні 20–30 хв він пролітає через екран і скидає подарунок у сніг."},
                                 std::pair{"Снігурі", "Снігурі сідають на замети, клюють сніг і відлітають, коли наближається курсор."},
                                 std::pair{"Падаючі зорі", "Падаючі зорі, гірлянда — і феєрверк у новорічну ніч."}}) {
        const float lh = lineHeight(g.p, kStyleLabel);
        g.p.text(tr(title), {kInX, y, kInW, lh}, kStyleLabel, kAccent, kAlignLeading, false);
        y = paragraph(g, y + lh + 3, tr(text), kStyleBody, kText) + 14;
      }
      return y;
    case 4:
      y = paragraph(g, y, tr("Усе це можна змінити пізніше у вікні Quillar → Налаштування."), kStyleLead, kText) + 12;
      y = toggleRow(g, y, tr("Запускати разом із Windows"), tr("Сніг з’являється сам, щойно ви вмикаєте комп’ютер."),
                    g.m.values.autostart, kKindAutostart) + 12;
      y = choiceRow(g, y, "Плавність анімації", {"Авто", "30 кадрів", "60 кадрів"}, std::clamp(g.m.values.fpsMode, 0, 2),
                    kKindFpsMode, "60 — найплавніше. 30 — легше для ноутбука. Авто — програма вибирає сама.");
      return choiceRow(g, y, "Графічний режим", {"A — відеокарта", "B — сумісний"},
                       std::clamp(g.m.values.renderMode, 0, 1), kKindRenderMode,
                       "Якщо сніг мерехтить або екран темніє, спробуйте B.");
    default:
      y = paragraph(g, y, tr("Усе готово! Кілька останніх порад."), kStyleLead, kText) + 16;
      y = point(g, y, tr("Сніжинка ❄ біля годинника — меню й пауза. Якщо її не видно, натисніть ^."));
      y = point(g, y, tr("Ctrl + Alt + D — сховати й повернути сніг. Під час дзвінків, відео та ігор він ховається сам."));
      y = point(g, y, tr("Режим снігу, Санта, шпалери — у вікні Quillar."));
      return point(g, y,
                   tr("Щоб сніжинка ❄ завжди була біля годинника: натисніть ^ і перетягніть її на панель завдань."));
  }
}

const char* stepTitle(int step) {
  switch (step) {
    case 0: return "На вашому комп’ютері йде сніг";
    case 1: return "Сніг і замети";
    case 2: return "Сніжки й сніговик";
    case 3: return "Сюрпризи";
    case 4: return "Налаштуйте під себе";
    default: return "Усе під рукою";
  }
}

}  // namespace

GuideMove guideMove(int step, int kind) {
  GuideMove m;
  step = std::clamp(step, 0, kGuideSteps - 1);
  m.step = step;
  switch (kind) {
    case kKindGuideNext:
      if (step <= kGuideSteps - 2) {
        m.step = step + 1;
        if (step == 2) m.commands.push_back(kCommandCallSanta);  // he flies while the user reads about him
      } else {
        m.commands.push_back(kCommandGuideClose);
      }
      break;
    case kKindGuideBack:
      m.step = std::max(0, step - 1);
      if (step == 4) m.commands.push_back(kCommandCallSanta);
      break;
    case kKindGuideSkip: m.commands.push_back(kCommandGuideClose); break;
    case kKindGuideMoreSnow: m.commands.push_back(kCommandGuideMoreSnow); break;
    default: break;
  }
  return m;
}

uint32_t guideTrickBit(int trick) {
  // The snow world's milestones: 0x04 a snowball, 0x02 a heap or a fast
  // throw, 0x08 a snowman, 0x10 a burst ball.
  constexpr uint32_t bits[kGuideTricks] = {0x04, 0x02, 0x08, 0x10};
  return trick >= 0 && trick < kGuideTricks ? bits[trick] : 0;
}

bool guideTrickDone(uint32_t progress, int trick) {
  const uint32_t bit = guideTrickBit(trick);
  return bit != 0 && (progress & bit) != 0;
}

bool guideAllTricksDone(uint32_t progress) {
  for (int i = 0; i < kGuideTricks; ++i)
    if (!guideTrickDone(progress, i)) return false;
  return true;
}

PageResult drawGuidePage(Painter& p, HitLists& hits, const SettingsModel& model, const PageView& view) {
  const int step = std::clamp(model.guideStep, 0, kGuideSteps - 1);

  // The card goes under the content, so the content is measured first in a
  // dry pass; the buttons sit at the card's bottom, at least the window's.
  const float y = kCardY + 36;
  MeasureOnly dry(p);
  HitLists dryHits;
  SettingsModel stepModel = model;
  stepModel.guideStep = step;
  G dg{dry, dryHits, stepModel, view};
  G sg{p, hits, stepModel, view};

  const float titleH = lineHeight(p, kStyleTitle);
  const float bodyTop = y + 24 + titleH + 14;
  const float bodyEnd = stepBody(dg, bodyTop);
  const float minBottom = std::max(view.viewHeight - kCardY, bodyEnd + 40 + kButtonH + 28);
  const Rect card{kCardX, kCardY, kCardW, minBottom - kCardY};
  p.fillRect({card.x, card.y + 3, card.w, card.h}, 18, kShadow);
  p.fillGradientRect(card, 18, kCardTop, kCard);
  p.strokeRoundRect(card, 18, kCardEdge, 1);

  stepDots(sg, y, step);
  // Its first step says the language can be changed "at the top right — here".
  if (step == 0) languageButton(p, &hits, kInX + kInW, y - 8, model.values.language, sg.hover(kKindLanguage));
  p.text(tr(stepTitle(step)), {kInX, y + 24, kInW, titleH}, kStyleTitle, kText, kAlignLeading, false);
  stepBody(sg, bodyTop);

  // The buttons: Skip at the left, Back and the primary one at the right.
  const float by = card.bottom() - 28 - kButtonH;
  const std::string skip = tr("Пропустити");
  button(sg, {kInX - 8, by, buttonWidth(sg, skip), kButtonH}, skip, kKindGuideSkip, Look::Plain);
  const std::string next = tr(step == 0 ? "Нехай падає сніг" : "Далі");
  const float nw = buttonWidth(sg, next);
  float right = kInX + kInW;
  button(sg, {right - nw, by, nw, kButtonH}, next, kKindGuideNext, Look::Primary);
  right -= nw + 12;
  if (step >= 1) {
    const std::string back = tr("Назад");
    const float bw = buttonWidth(sg, back);
    button(sg, {right - bw, by, bw, kButtonH}, back, kKindGuideBack, Look::Secondary);
  }

  PageResult r;
  r.contentHeight = card.bottom() + kCardY;
  return r;
}

}  // namespace kui
