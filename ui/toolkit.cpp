// Text measurement cache, hit testing, sliders and scrolling.
#include "ui/toolkit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kui {

std::string TextMeasureCache::key(int style, bool wrap, bool wantHeight, float width, std::string_view text) {
  char head[64];
  std::snprintf(head, sizeof head, "%d|%d|%d|%.1f|", style, wrap ? 1 : 0, wantHeight ? 1 : 0, width);
  std::string k(head);
  k.append(text);
  return k;
}

float TextMeasureCache::lookup(std::string_view text, int style, bool wrap, bool wantHeight, float width) {
  std::string k = key(style, wrap, wantHeight, width, text);
  if (auto it = entries_.find(k); it != entries_.end()) return it->second;
  float v = measurer_ ? measurer_->measure(text, style, wrap, wantHeight, width) : -1.0f;
  if (!(v >= 0)) {
    // Without a layout: 7 px a byte, lines of the style's size and a half.
    const float w = 7.0f * static_cast<float>(text.size());
    if (!wantHeight) {
      v = w;
    } else {
      const float size = style >= 0 && style < kStyleCount ? kTextStyles[style].size : 13.0f;
      const float lines = wrap && width > 0 ? std::max(1.0f, std::ceil(w / width)) : 1.0f;
      v = lines * size * 1.5f;
    }
  }
  if (wantHeight) v = std::ceil(v);
  if (entries_.size() >= kMeasureCacheLimit) entries_.clear();
  entries_.emplace(std::move(k), v);
  return v;
}

float TextMeasureCache::width(std::string_view text, int style) {
  return lookup(text, style, false, false, kMeasureLayoutHeight);
}

float TextMeasureCache::height(std::string_view text, int style, float width) {
  return lookup(text, style, true, true, width);
}

const HitArea* hitTest(const HitLists& lists, float x, float y, float scroll) {
  if (y < kHeaderHeight) {
    if (y < 0) return nullptr;
    for (const HitArea& a : lists.header)
      if (a.contains(x, y)) return &a;
    return nullptr;
  }
  const float cy = y - kHeaderHeight + scroll;
  for (auto it = lists.content.rbegin(); it != lists.content.rend(); ++it)
    if (it->contains(x, cy)) return &*it;
  return nullptr;
}

int headerState(const HitLists& lists, float x, float y) {
  if (y < 0 || y >= kHeaderHeight) return 0;
  for (const HitArea& a : lists.header)
    if (a.contains(x, y)) return 2;
  return 1;
}

float sliderFraction(const HitArea& slider, float x) {
  const float span = slider.w - 24;
  if (!(span > 0)) return x >= slider.x + slider.w / 2 ? 1.0f : 0.0f;
  const float a = (x - (slider.x + 12)) / span;
  return a == a ? std::clamp(a, 0.0f, 1.0f) : 0.0f;
}

float ScrollState::maxPosition() const { return std::max(0.0f, contentHeight - viewHeight); }

bool ScrollState::scrollTo(float p) {
  const float before = position;
  position = std::clamp(p == p ? p : 0.0f, 0.0f, maxPosition());  // infinities go to the ends
  return position != before;
}

bool ScrollState::scrollBy(float delta) { return scrollTo(position + delta); }

bool ScrollState::setHeights(float content, float view) {
  contentHeight = std::max(0.0f, content);
  viewHeight = std::max(0.0f, view);
  return scrollTo(position);
}

}  // namespace kui
