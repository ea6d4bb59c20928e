#include "world/drift.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kovra {

namespace {

constexpr float kColumnWidth = 2.0f;

// Columns that really have both a height and a limit, in case a record was
// edited by hand.
int usableColumns(const Drift& d) {
  const auto n = std::min({static_cast<size_t>(std::max(0, d.columns)), d.heights.size(), d.limits.size()});
  return static_cast<int>(n);
}

void pour(Drift& d, int c, float amount) {
  const float bound = std::min(d.cap, d.limits[c]);
  if (bound > 0.5f) d.heights[c] = std::min(d.heights[c] + amount, bound);
}

}  // namespace

float driftCap(DriftKind kind) {
  switch (kind) {
    case DriftKind::Window: return 24.0f;
    case DriftKind::Taskbar: return 22.0f;
    case DriftKind::Ground: return 30.0f;
  }
  return 30.0f;
}

Drift makeDrift(std::string key, DriftKind kind, float x, float y, float width) {
  Drift d;
  d.key = std::move(key);
  d.kind = kind;
  d.cap = driftCap(kind);
  d.x = x;
  d.y = y;
  const float half = std::isfinite(width) ? width * 0.5f : 0.0f;
  d.columns = half >= 1.0f ? static_cast<int>(std::min(half, 1.0e6f)) : 1;
  d.heights.assign(static_cast<size_t>(d.columns), 0.0f);
  d.limits.assign(static_cast<size_t>(d.columns), d.cap);
  return d;
}

std::optional<Landing> findLanding(const std::vector<Drift*>& drifts, float x, float yFrom, float yTo,
                                   bool anyDrift, WorldRandom& random) {
  Drift* best = nullptr;
  int bestColumn = 0;
  float bestSurface = 0;
  for (Drift* d : drifts) {
    if (!anyDrift && d->kind == DriftKind::Window) continue;
    const int n = usableColumns(*d);
    const float rel = x - d->x;
    if (!(rel >= 0.0f) || !(rel < kColumnWidth * static_cast<float>(n))) continue;
    if (d->y > yFrom + 0.5f) continue;
    const int c = std::min(static_cast<int>(rel / kColumnWidth), n - 1);
    const float limit = d->limits[c];
    if (!(limit >= 1.0f)) continue;
    const float surface = d->y + std::min(limit, d->heights[c]);
    if (surface < yTo || surface > yFrom) continue;
    if (!best || surface > bestSurface) {  // equal heights: the earlier drift stays
      best = d;
      bestColumn = c;
      bestSurface = surface;
    }
  }
  if (!best) return std::nullopt;

  // A lower window in front of this one with room under x: the snow mostly
  // falls on in front of the back window instead of settling behind.
  if (best->kind == DriftKind::Window && best->zRank > 0) {
    for (const Drift* f : drifts) {
      if (f->kind != DriftKind::Window || f->zRank < 0 || f->zRank >= best->zRank) continue;
      if (!(f->y < best->y)) continue;
      const int n = usableColumns(*f);
      if (n == 0) continue;
      const float rel = x - f->x;
      if (!(rel >= 0.0f) || rel > kColumnWidth * static_cast<float>(n)) continue;
      const int c = std::min(static_cast<int>(rel / kColumnWidth), n - 1);
      if (!(f->limits[c] >= 1.0f)) continue;
      if (random.next() < 0.7f) return std::nullopt;
      break;
    }
  }
  return Landing{best, bestColumn, bestSurface};
}

void addSnow(Drift& drift, int column, float amount) {
  const int n = usableColumns(drift);
  if (column < 0 || column >= n) return;
  pour(drift, column, 0.5f * amount);
  if (column > 0) pour(drift, column - 1, 0.25f * amount);
  if (column + 1 < n) pour(drift, column + 1, 0.25f * amount);
  drift.dirty = true;
  drift.quietPasses = 0;
}

}  // namespace kovra
