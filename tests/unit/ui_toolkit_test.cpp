// The drawing toolkit: the scroll shift, measurement cache, hit testing,
// sliders, scrolling and the mitten.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui/mitten.h"
#include "ui/painter.h"
#include "ui/recording_painter.h"
#include "ui/toolkit.h"

using namespace kui;

namespace {

class CountingMeasurer : public TextMeasurer {
 public:
  float measure(std::string_view text, int style, bool wrap, bool wantHeight, float width) override {
    ++calls;
    if (fail) return -1;
    return wantHeight ? 10.25f : static_cast<float>(text.size()) * 2 + static_cast<float>(style);
  }
  int calls = 0;
  bool fail = false;
};

}  // namespace

TEST(UiShift, MovesEveryYAndCollapsesChains) {
  RecordingPainter rec;
  Shift outer(rec, 40);
  Shift inner(outer, -15);
  EXPECT_EQ(&inner.target(), &rec);
  EXPECT_FLOAT_EQ(inner.dy(), 25);

  const Point tri[] = {{0, 0}, {10, 0}, {0, 10}};
  inner.fillRect({1, 2, 3, 4}, 5, {});
  inner.strokeRoundRect({1, 2, 3, 4}, 5, {}, 2);
  inner.fillGradientRect({1, 2, 3, 4}, 0, {}, {});
  inner.fillCircle(7, 8, 3, {});
  inner.line({0, 1}, {2, 3}, 1, {});
  inner.fillPolygon(tri, {0, 0}, {0, 10}, {}, {});
  inner.text("a", {1, 2, 3, 4}, 3, {}, 0, false);
  inner.image({1, 2, 3, 4}, 100, 0, 1, true);
  ASSERT_EQ(rec.calls.size(), 8u);
  for (const DrawCall& c : rec.calls) {
    if (c.op == Op::Line) {
      EXPECT_FLOAT_EQ(c.points[0].y, 26);
      EXPECT_FLOAT_EQ(c.points[1].y, 28);
    } else if (c.op == Op::FillPolygon) {
      ASSERT_EQ(c.points.size(), 5u);  // corners, then the gradient ends
      EXPECT_FLOAT_EQ(c.points[2].y, 35);
      EXPECT_FLOAT_EQ(c.points[4].y, 35);
    } else if (c.op == Op::FillCircle) {
      EXPECT_FLOAT_EQ(c.rect.y + c.radius, 33);
    } else {
      EXPECT_FLOAT_EQ(c.rect.y, 27) << static_cast<int>(c.op);
    }
    EXPECT_FLOAT_EQ(c.rect.x, c.op == Op::FillCircle ? 4 : c.op == Op::Line || c.op == Op::FillPolygon ? 0 : 1);
  }
}

TEST(UiShift, LargePolygonsAndTwoPointPolygons) {
  RecordingPainter rec;
  Shift s(rec, 3);
  std::vector<Point> many;
  for (int i = 0; i < 100; ++i) many.push_back({static_cast<float>(i), static_cast<float>(i % 7)});
  s.fillPolygon(many, {}, {}, {}, {});
  const Point two[] = {{0, 0}, {5, 5}};
  s.fillPolygon(two, {}, {}, {}, {});
  ASSERT_EQ(rec.calls.size(), 1u);
  ASSERT_EQ(rec.calls[0].points.size(), 102u);
  EXPECT_FLOAT_EQ(rec.calls[0].points[99].y, 99 % 7 + 3);
}

TEST(UiMeasure, CachedUnderTheKeyAndDroppedPastTheLimit) {
  EXPECT_EQ(TextMeasureCache::key(4, true, true, 233.04f, "Snow"), "4|1|1|233.0|Snow");
  EXPECT_EQ(TextMeasureCache::key(0, false, false, 10000, ""), "0|0|0|10000.0|");

  CountingMeasurer m;
  TextMeasureCache cache(&m);
  EXPECT_FLOAT_EQ(cache.width("abc", 3), 9);
  EXPECT_FLOAT_EQ(cache.width("abc", 3), 9);
  EXPECT_FLOAT_EQ(cache.width("abc", 4), 10);
  EXPECT_FLOAT_EQ(cache.height("abc", 3, 100), 11);  // rounded up
  EXPECT_FLOAT_EQ(cache.height("abc", 3, 100.02f), 11);  // same key at one decimal
  EXPECT_EQ(m.calls, 3);
  EXPECT_EQ(cache.size(), 3u);

  for (int i = 0; cache.size() < kMeasureCacheLimit; ++i) cache.width(std::to_string(i), 0);
  EXPECT_EQ(cache.size(), kMeasureCacheLimit);
  cache.width("one more", 0);
  EXPECT_EQ(cache.size(), 1u);
}

TEST(UiMeasure, WithoutALayoutSevenPixelsAByte) {
  CountingMeasurer m;
  m.fail = true;
  TextMeasureCache failing(&m);
  TextMeasureCache none;
  for (TextMeasureCache* c : {&failing, &none}) {
    EXPECT_FLOAT_EQ(c->width("Сніг", 3), 7 * 8);  // eight bytes
    EXPECT_GT(c->height("some words here", 3, 40), c->height("some", 3, 40));
  }
}

TEST(UiImages, IdsAndCache) {
  EXPECT_EQ(themeImageId(0), 100);
  EXPECT_EQ(themeIndexOfImage(117), 17);
  EXPECT_EQ(themeIndexOfImage(kImageProgramIcon), -1);
  EXPECT_EQ(themeIndexOfImage(spriteImageId(412)), -1);
  EXPECT_EQ(spriteResourceOfImage(spriteImageId(406)), 406);
  EXPECT_EQ(spriteResourceOfImage(themeImageId(3)), -1);

  int loads = 0;
  ImageCache<std::string> cache([&](int id) {
    ++loads;
    return id == 5 ? std::string() : "pic" + std::to_string(id);
  });
  ASSERT_NE(cache.get(100), nullptr);
  EXPECT_EQ(*cache.get(100), "pic100");
  EXPECT_EQ(cache.get(5), nullptr);
  EXPECT_EQ(cache.get(5), nullptr);
  EXPECT_EQ(loads, 2);  // each decoded (or found missing) once
  cache.forget(5);
  cache.get(5);
  EXPECT_EQ(loads, 3);
}

TEST(UiHitTest, HeaderFirstToLastContentLastToFirst) {
  HitLists lists;
  lists.addHeader({700, 0, 50, 40}, 39);
  lists.addHeader({700, 0, 100, 40}, 40);  // overlaps; the first one wins
  lists.addContent({0, 0, 800, 300}, 1);
  lists.addContent({100, 100, 50, 50}, 2);  // later, drawn on top: wins

  struct Case {
    float x, y, scroll;
    int kind;  // 0 none
  } cases[] = {
      {710, 10, 0, 39},  {760, 39.9f, 0, 40}, {10, 10, 0, 0},   {10, 40, 0, 1},
      {120, 140, 0, 2},  {120, 140, 150, 1},  {120, 60, 90, 2}, {10, 40, 300, 0},
      {10, -1, 0, 0},    {800, 100, 0, 0},
  };
  for (const Case& c : cases) {
    const HitArea* a = hitTest(lists, c.x, c.y, c.scroll);
    EXPECT_EQ(a ? a->kind : 0, c.kind) << c.x << "," << c.y << " scroll " << c.scroll;
  }
  EXPECT_EQ(headerState(lists, 720, 20), 2);
  EXPECT_EQ(headerState(lists, 20, 20), 1);
  EXPECT_EQ(headerState(lists, 20, 40), 0);
  EXPECT_EQ(headerState(lists, 20, -0.5f), 0);
}

TEST(UiSlider, FractionFromTheInnerEdges) {
  const HitArea s{100, 0, 224, 20, 5, 0};
  struct Case {
    float x, fraction;
  } cases[] = {{112, 0}, {312, 1}, {212, 0.5f}, {50, 0}, {400, 1}, {162, 0.25f}};
  for (const Case& c : cases) EXPECT_FLOAT_EQ(sliderFraction(s, c.x), c.fraction) << c.x;
  EXPECT_FLOAT_EQ(sliderFraction(HitArea{0, 0, 20, 10, 5, 0}, 3), 0);  // no inner span
  EXPECT_FLOAT_EQ(sliderFraction(s, static_cast<float>(std::nan(""))), 0);
}

TEST(UiScroll, ClampsToTheContent) {
  ScrollState s;
  s.setHeights(2000, 760);
  struct Step {
    float delta, position;
    bool changed;
  } steps[] = {{-56, 0, false}, {56, 56, true}, {5000, 1240, true}, {40, 1240, false}, {-1240, 0, true}};
  for (const Step& st : steps) {
    EXPECT_EQ(s.scrollBy(st.delta), st.changed) << st.delta;
    EXPECT_FLOAT_EQ(s.position, st.position);
  }
  s.scrollTo(1000);
  EXPECT_TRUE(s.setHeights(1200, 760));  // the content shrank under the view
  EXPECT_FLOAT_EQ(s.position, 440);
  EXPECT_TRUE(s.setHeights(500, 760));
  EXPECT_FLOAT_EQ(s.position, 0);
  EXPECT_FALSE(s.scrollBy(100));
}

TEST(UiMitten, SizeHotspotKeyAndPixels) {
  struct Case {
    unsigned dpi;
    int w, h, hx, hy;
  } cases[] = {{96, 33, 37, 17, 17}, {144, 49, 56, 25, 26}, {192, 66, 74, 33, 35}, {0, 33, 37, 17, 17}};
  for (const Case& c : cases) {
    MittenSize m = mittenSize(c.dpi);
    EXPECT_EQ(m.width, c.w) << c.dpi;
    EXPECT_EQ(m.height, c.h) << c.dpi;
    EXPECT_EQ(m.hotX, c.hx) << c.dpi;
    EXPECT_EQ(m.hotY, c.hy) << c.dpi;
  }
  EXPECT_EQ(mittenKey(96, 1), 193u);

  for (int variant : {0, 1}) {
    RecordingPainter rec;
    MittenSize m = mittenSize(144);
    drawMitten(rec, m.scale, variant);
    ASSERT_FALSE(rec.calls.empty());
    for (const DrawCall& c : rec.calls)
      for (const Point& p : c.points) {  // everything inside the cursor box
        EXPECT_GE(p.x, -0.5f);
        EXPECT_LE(p.x, m.width + 0.5f);
        EXPECT_GE(p.y, -0.5f);
        EXPECT_LE(p.y, m.height + 0.5f);
      }
  }

  uint32_t px[] = {0x80402010u, 0xff123456u, 0x00000000u, 0x01010101u, 0x10ff0000u};
  unpremultiply(px, 5);
  EXPECT_EQ(px[0], 0x807f3f1fu);
  EXPECT_EQ(px[1], 0xff123456u);
  EXPECT_EQ(px[2], 0u);
  EXPECT_EQ(px[3], 0x01ffffffu);
  EXPECT_EQ(px[4], 0x10ff0000u);  // capped at 255
}
