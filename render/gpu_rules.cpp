#include "render/gpu_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/soft_painter.h"

namespace kovra {

int flakeBitmapFor(float side) {
  for (size_t i = 0; i < kFlakeBitmapSides.size(); ++i)
    if (static_cast<float>(kFlakeBitmapSides[i]) >= side) return static_cast<int>(i);
  return static_cast<int>(kFlakeBitmapSides.size()) - 1;
}

std::vector<uint32_t> flakeBitmapPixels(int side) {
  if (side <= 0) return {};
  std::vector<uint32_t> out(static_cast<size_t>(side) * side);
  const float inv = 1.0f / static_cast<float>(side);
  auto byte = [](float c) { return static_cast<uint32_t>(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f); };
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      Rgba sum{0, 0, 0, 0};
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
          const float u = (static_cast<float>(x) + (static_cast<float>(i) + 0.5f) * 0.25f) * inv - 0.5f;
          const float v = (static_cast<float>(y) + (static_cast<float>(j) + 0.5f) * 0.25f) * inv - 0.5f;
          const Rgba c = flakePictureAt(u, v);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
          sum.a += c.a;
        }
      out[static_cast<size_t>(y) * side + x] = byte(sum.a / 16) << 24 | byte(sum.r / 16) << 16 |
                                               byte(sum.g / 16) << 8 | byte(sum.b / 16);
    }
  return out;
}

bool flakeSquareVisible(float cx, float cy, float side, float widthPx, float heightPx) {
  const float h = side * 0.5f;
  return cx + h > 0.0f && cy + h > 0.0f && cx - h < widthPx && cy - h < heightPx;
}

float strokeWidthFor(float widthPx) {
  if (!(widthPx >= 0.0f)) return 0.0f;
  if (widthPx >= 1.0f) return widthPx;
  // Across the line, coverage falls from w/2 + 1/2 to 0 over as many pixels
  // on each side: its integral is (w/2 + 1/2)^2.
  const float reach = widthPx * 0.5f + 0.5f;
  return reach * reach;
}

bool checkFrameDue(int& countdown, float opacity) {
  if (countdown < 1 || !(opacity >= 1.0f)) return false;
  --countdown;
  return countdown == 0;
}

bool checkDotSeen(uint32_t pixel) {
  if (pixel == kInvalidPixel) return false;
  const uint32_t r = pixel & 0xFFu, g = (pixel >> 8) & 0xFFu, b = (pixel >> 16) & 0xFFu;
  return r >= 181 && g < 90 && b >= 181;
}

CheckOutcome checkCount(uint32_t pixel, int& misses, int& countdown) {
  if (checkDotSeen(pixel)) return CheckOutcome::Seen;
  ++misses;
  if (misses < kCheckMissesToSwitch) {
    countdown = kCheckFramesAfterMiss;
    return CheckOutcome::Again;
  }
  return CheckOutcome::Switch;
}

std::string checkLogLine(CheckOutcome outcome, uint32_t pixel) {
  char line[128];
  const unsigned long shown = pixel & 0xFFFFFFu;
  switch (outcome) {
    case CheckOutcome::Seen:
      return "GPU mode check: our drawing is on screen";
    case CheckOutcome::Again:
      std::snprintf(line, sizeof line, "GPU mode check: not seen yet (pixel 0x%06lx), again in a moment", shown);
      return line;
    case CheckOutcome::Switch:
      std::snprintf(line, sizeof line, "GPU mode check: screen pixel 0x%06lx, our dot is not there (3 times)", shown);
      return line;
  }
  return {};
}

DrawPoint applyAffine(const Affine& m, DrawPoint p) {
  return {m.m11 * p.x + m.m21 * p.y + m.dx, m.m12 * p.x + m.m22 * p.y + m.dy};
}

Affine driftToPixels(float originX, float baseY, float heightDip, float scale) {
  Affine m;
  m.m11 = scale;
  m.m22 = -scale;
  m.dx = scale * originX;
  m.dy = scale * (heightDip - baseY);
  return m;
}

DriftFigures driftFigures(std::span<const std::vector<OutlinePoint>> runs) {
  DriftFigures f;
  for (const std::vector<OutlinePoint>& run : runs) {
    if (run.size() < 2) continue;
    std::vector<DrawPoint> body, rim;
    body.reserve(run.size() + 2);
    rim.reserve(run.size());
    body.push_back({run.front().x, -0.6f});
    for (const OutlinePoint& p : run) {
      body.push_back({p.x, p.height});
      rim.push_back({p.x, p.height});
    }
    body.push_back({run.back().x, -0.6f});
    f.bodies.push_back(std::move(body));
    f.rims.push_back(std::move(rim));
  }
  return f;
}

DriftFingerprint driftFingerprint(std::span<const std::vector<OutlinePoint>> runs) {
  DriftFingerprint f;
  f.runs = runs.size();
  for (const auto& run : runs) f.points += run.size();
  for (const auto& run : runs)
    if (!run.empty()) {
      f.firstX = run.front().x;
      f.firstHeight = run.front().height;
      break;
    }
  for (auto it = runs.rbegin(); it != runs.rend(); ++it)
    if (!it->empty()) {
      f.lastX = it->back().x;
      break;
    }
  return f;
}

Affine spriteToPixels(const SpriteDraw& sprite, int bitmapWidth, int bitmapHeight, float heightDip, float scale) {
  const float sx = sprite.width * scale / static_cast<float>(std::max(1, bitmapWidth)) * (sprite.mirrored ? -1.0f : 1.0f);
  const float sy = sprite.height * scale / static_cast<float>(std::max(1, bitmapHeight));
  // Turning by -angle with y down is a counter-clockwise turn on screen.
  const float c = std::cos(-sprite.angle), s = std::sin(-sprite.angle);
  Affine m;
  m.m11 = sx * c;
  m.m12 = sx * s;
  m.m21 = -sy * s;
  m.m22 = sy * c;
  m.dx = sprite.x * scale;
  m.dy = (heightDip - sprite.y) * scale;
  return m;
}

}  // namespace kovra
