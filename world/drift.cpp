#include "world/drift.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kovra {

namespace {

constexpr float kColumnWidth = 2.0f;
constexpr float kHidden = 0.5f;       // a column with less room than this is not shown
constexpr float kOpen = 1.0f;         // room a column needs to take snow that slides in
constexpr float kSlumpStep = 1.15f;   // steeper steps between neighbours slump
constexpr float kSlumpRate = 0.4f;
constexpr float kSpillFrom = 0.81f;   // snow at an end above this trickles over
constexpr float kSpillKeep = 0.8f;
constexpr float kSpillRate = 0.05f;
constexpr int kMaxPushedColumns = 40; // wider covers leave the snow hidden
constexpr int kOpenSearch = 79;
constexpr int kPourColumns = 40;

// Columns that really have both a height and a limit, in case a record was
// edited by hand.
int usableColumns(const Drift& d) {
  const auto n = std::min({static_cast<size_t>(std::max(0, d.columns)), d.heights.size(), d.limits.size()});
  return static_cast<int>(n);
}

int columnsFor(float width) {
  const float half = std::isfinite(width) ? width * 0.5f : 0.0f;
  return half >= 1.0f ? static_cast<int>(std::min(half, 1.0e6f)) : 1;
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
  d.columns = columnsFor(width);
  d.span = std::isfinite(width) ? width : 0.0f;
  d.heights.assign(static_cast<size_t>(d.columns), 0.0f);
  d.limits.assign(static_cast<size_t>(d.columns), d.cap);
  return d;
}

float ledgeWidth(const Drift& d) {
  return columnsFor(d.span) == d.columns ? d.span : kColumnWidth * static_cast<float>(d.columns);
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

float smoothHeight(const Drift& d, int c) {
  const int n = usableColumns(d);
  if (c < 0 || c >= n) return 0.0f;
  const float limit = d.limits[c];
  if (!(limit >= kHidden)) return 0.0f;
  const float left = d.heights[c > 0 ? c - 1 : 0];
  const float right = d.heights[c + 1 < n ? c + 1 : n - 1];
  return std::min(limit, (2.0f * d.heights[c] + left + right) * 0.25f);
}

void computeLimits(Drift& d, const std::vector<Rect>& occluders, float room) {
  const int n = usableColumns(d);
  const float open = std::min(d.cap, std::max(0.0f, std::isfinite(room) ? room : 0.0f));
  std::fill(d.limits.begin(), d.limits.begin() + n, open);
  const float span = kColumnWidth * static_cast<float>(n);
  for (const Rect& o : occluders) {
    const float left = o.x - d.x, right = o.x + o.width - d.x;
    if (!(right > 0.0f) || !(left < span)) continue;
    const int c0 = std::max(0, static_cast<int>(std::floor(left / kColumnWidth)));
    const int c1 = std::min(n - 1, static_cast<int>(std::ceil(right / kColumnWidth)) - 1);
    if (o.y <= d.y + 0.5f && o.y + o.height >= d.y - 0.5f) {
      for (int c = c0; c <= c1; ++c) d.limits[c] = 0.0f;
    } else if (o.y > d.y) {
      const float above = o.y - d.y;
      for (int c = c0; c <= c1; ++c) d.limits[c] = std::min(d.limits[c], above);
    }
  }
}

void pushCoveredSnow(Drift& d, const std::vector<float>& before) {
  const int n = std::min(usableColumns(d), static_cast<int>(before.size()));
  int covered = 0;
  for (int c = 0; c < n; ++c) {
    if (before[c] >= kHidden && d.limits[c] < kHidden) ++covered;
  }
  if (covered == 0 || covered > kMaxPushedColumns) return;

  for (int g = 0; g < n; ++g) {
    if (!(before[g] >= kHidden && d.limits[g] < kHidden)) continue;
    int open = -1, dir = 0;
    for (int m = 0; m < kOpenSearch && open < 0; ++m) {
      if (g - 1 - m >= 0 && d.limits[g - 1 - m] >= kOpen) {
        open = g - 1 - m;
        dir = -1;
      } else if (g + 1 + m < n && d.limits[g + 1 + m] >= kOpen) {
        open = g + 1 + m;
        dir = 1;
      }
    }
    if (open < 0) continue;  // nowhere to go: it stays hidden
    d.launchColumns.push_back(LaunchColumn{g, dir});
    float t = d.heights[g];
    d.heights[g] = 0.0f;
    // The first open column takes what fits, each further one a little less,
    // so the pushed snow forms a slope away from the cover.
    int k = open;
    for (int i = 0; i < kPourColumns && k >= 0 && k < n && t > 0.01f; ++i, k += dir) {
      if (d.limits[k] < kOpen) break;
      const float room = std::max(0.0f, std::min(d.cap, d.limits[k]) - d.heights[k]);
      const float take = std::min(i == 0 ? room : 0.8f * room, t);
      d.heights[k] += take;
      t -= take;
    }
    if (t > 0.05f) d.crumbleEvents.push_back(CrumbleEvent{open, t, dir});
  }
}

bool settleDrift(Drift& d) {
  const int n = usableColumns(d);
  if (n < 2) return false;
  std::vector<float>& h = d.heights;
  const std::vector<float>& lim = d.limits;
  bool changed = false;
  // Moves snow from the higher of a and b into the lower when the step is steep.
  auto slump = [&](int a, int b) {
    if (lim[a] < kHidden || lim[b] < kHidden) return;
    int hi = a, lo = b;
    if (h[b] > h[a]) std::swap(hi, lo);
    const float step = h[hi] - h[lo];
    if (!(step > kSlumpStep)) return;
    const float room = std::min(d.cap, lim[lo]) - h[lo];
    if (!(room > 0.01f)) return;
    const float e = std::min(room, (step - kSlumpStep) * kSlumpRate);
    h[hi] -= e;
    h[lo] += e;
    changed = true;
  };
  if (!d.sweepFlip) {
    for (int i = 0; i + 1 < n; ++i) slump(i, i + 1);
  } else {
    for (int i = n - 2; i >= 0; --i) slump(i + 1, i);
  }
  d.sweepFlip = !d.sweepFlip;

  if (lim[0] > kHidden && h[0] > kSpillFrom) {
    const float e = (h[0] - kSpillKeep) * kSpillRate;
    h[0] -= e;
    d.spillLeft += e;
    changed = true;
  }
  if (lim[n - 1] > kHidden && h[n - 1] > kSpillFrom) {
    const float e = (h[n - 1] - kSpillKeep) * kSpillRate;
    h[n - 1] -= e;
    d.spillRight += e;
    changed = true;
  }
  return changed;
}

void rebuildOutline(Drift& d, double now) {
  const int n = usableColumns(d);
  size_t runs = 0;
  int i = 0;
  while (i < n) {
    if (smoothHeight(d, i) < kHidden) {
      ++i;
      continue;
    }
    int j = i + 1;
    while (j < n && smoothHeight(d, j) >= kHidden) ++j;
    if (d.outline.size() <= runs) d.outline.emplace_back();
    std::vector<OutlinePoint>& line = d.outline[runs++];
    line.clear();  // keeps its capacity for the next rebuild
    line.push_back(OutlinePoint{kColumnWidth * static_cast<float>(i), smoothHeight(d, i)});
    for (int c = i; c < j; c += 2) {
      line.push_back(OutlinePoint{(static_cast<float>(c) + 0.5f) * kColumnWidth, smoothHeight(d, c)});
    }
    line.push_back(OutlinePoint{kColumnWidth * static_cast<float>(j), smoothHeight(d, j - 1)});
    i = j;
  }
  d.outline.resize(runs);
  d.dirty = false;
  ++d.outlineVersion;
  d.lastRebuild = now;
}

bool restoreSnow(Drift& d, const RememberedSnow& stored) {
  const int n = usableColumns(d);
  const int m = static_cast<int>(stored.heights.size());
  d.dirty = true;
  d.quietPasses = 0;
  if (m == n && std::fabs(stored.width - kColumnWidth * static_cast<float>(n)) <= 1.0f) {
    for (int c = 0; c < n; ++c) d.heights[c] = std::clamp(stored.heights[c], 0.0f, d.cap);
    return n > 0;
  }
  // A window that came back with another width starts afresh; a taskbar or
  // the ground keeps its snow stretched over its new length.
  if (d.kind == DriftKind::Window || n <= 1 || m <= 1) return false;
  for (int c = 0; c < n; ++c) {
    const double at = static_cast<double>(c) / static_cast<double>(n - 1) * static_cast<double>(m - 1);
    const int src = std::clamp(static_cast<int>(std::lround(at)), 0, m - 1);
    d.heights[c] = std::clamp(stored.heights[src], 0.0f, d.cap);
  }
  return true;
}

void DriftMemory::remember(const Drift& d) {
  RememberedSnow& entry = entries_[d.key];
  entry.width = kColumnWidth * static_cast<float>(d.columns);
  entry.heights = d.heights;
  order_.erase(std::remove(order_.begin(), order_.end(), d.key), order_.end());
  order_.push_back(d.key);
  while (order_.size() > kCapacity) {
    entries_.erase(order_.front());
    order_.erase(order_.begin());
  }
}

std::optional<RememberedSnow> DriftMemory::take(const std::string& key) {
  auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  std::optional<RememberedSnow> out(std::move(it->second));
  entries_.erase(it);
  order_.erase(std::remove(order_.begin(), order_.end(), key), order_.end());
  return out;
}

const RememberedSnow* DriftMemory::find(const std::string& key) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

void DriftMemory::clear() {
  entries_.clear();
  order_.clear();
}

}  // namespace kovra
