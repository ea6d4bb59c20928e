#include "world/surfaces.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "world/drift_events.h"
#include "world/world.h"

namespace kovra {

namespace {

constexpr float kColumnWidth = 2.0f;
constexpr float kWindowInset = 8.0f;     // snow keeps off a window's rounded corners
constexpr float kMinWindowDrift = 30.0f; // narrower window tops carry no snow
constexpr float kLedgeMargin = 2.0f;     // ledges this close to the top or bottom carry none
constexpr int kQuietLimit = 30;          // settling rests after this many idle passes
constexpr double kRebuildEvery = 0.1;    // s between outline rebuilds of one drift
constexpr float kSpillRelease = 0.7f;

// Pixel tolerances for "fills the work area": frames reach a little past
// the edges, and a caption may stop short of the top.
constexpr int64_t kSideSlack = 2;
constexpr int64_t kEndSlack = 12;

bool meets(const PixelRect& a, const PixelRect& b) {
  return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

bool covers(const PixelRect& outer, const PixelRect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
         outer.bottom >= inner.bottom;
}

bool fillsWork(const PixelRect& r, const PixelRect& work) {
  return int64_t{r.left} <= int64_t{work.left} + kSideSlack && int64_t{r.right} >= int64_t{work.right} - kSideSlack &&
         int64_t{r.top} <= int64_t{work.top} + kEndSlack && int64_t{r.bottom} >= int64_t{work.bottom} - kEndSlack;
}

float validScale(float s) { return std::isfinite(s) && s > 0.0f ? s : 1.0f; }

int columnsFor(float span) {
  const float half = std::isfinite(span) ? span * 0.5f : 0.0f;
  return half >= 1.0f ? static_cast<int>(std::min(half, 1.0e6f)) : 1;
}

}  // namespace

Rect toWorld(const MonitorArea& area, const PixelRect& r) {
  const double s = validScale(area.scale);
  const double left = static_cast<double>(r.left) - area.monitor.left;
  const double bottom = static_cast<double>(r.bottom) - area.monitor.top;
  return Rect{static_cast<float>(left / s), static_cast<float>(area.heightDip - bottom / s),
              static_cast<float>((static_cast<double>(r.right) - r.left) / s),
              static_cast<float>((static_cast<double>(r.bottom) - r.top) / s)};
}

SurfaceScene layoutScene(const MonitorArea& area, const std::vector<SurveyedWindow>& windows,
                         const std::vector<PixelRect>& taskbars, Foreground foreground, bool pressed) {
  SurfaceScene scene;
  const PixelRect& m = area.monitor;
  const PixelRect& work = area.work;
  const float s = validScale(area.scale);
  scene.topInset = static_cast<float>(std::max<int64_t>(0, int64_t{work.top} - m.top)) / s;
  scene.pressed = pressed;

  bool frontDecided = false;
  for (const SurveyedWindow& w : windows) {
    if (!meets(w.visible, m)) continue;
    // A layered sheet over the whole monitor is some other program's effect
    // overlay, unless the user is working in it.
    if (w.layered && covers(w.frame, m) && w.window != foreground.window && w.window != foreground.root) continue;
    const bool full = w.maximized || fillsWork(w.visible, work);
    scene.windows.push_back(SceneWindow{w.window, toWorld(area, w.visible), full});
    if (!frontDecided && !w.topmost) {
      frontDecided = true;
      scene.frontIsFull = full;
    }
  }

  for (const PixelRect& t : taskbars) {
    const PixelRect cut{std::max(t.left, m.left), std::max(t.top, m.top), std::min(t.right, m.right),
                        std::min(t.bottom, m.bottom)};
    const int64_t cutWidth = int64_t{cut.right} - cut.left, cutHeight = int64_t{cut.bottom} - cut.top;
    if (cutWidth <= 3 || cutHeight <= 3) continue;
    scene.taskbarPresent = true;
    scene.taskbar = toWorld(area, cut);
    const int64_t monitorWidth = int64_t{m.right} - m.left;
    const int64_t middle = (int64_t{m.top} + m.bottom) / 2;
    scene.taskbarDrift = int64_t{t.bottom} >= int64_t{m.bottom} - 1 && t.top > middle &&
                         cutWidth * 10 > monitorWidth * 6 && int64_t{t.top} >= int64_t{work.bottom} - 2;
    break;
  }
  return scene;
}

SurfaceScene layoutScene(const MonitorArea& area, const DesktopSurvey& survey, Foreground foreground,
                         bool pressed) {
  return layoutScene(area, survey.windows, survey.taskbars, foreground, pressed);
}

// ---------------------------------------------------------------- building drifts

void SnowWorld::updateDrifts(const SurfaceScene& scene, const WorldInput& input, double now) {
  topInset = scene.topInset;  // the garland hangs below a taskbar along the top
  int previousWindows = 0;
  for (const Drift* d : drifts) {
    if (d->kind == DriftKind::Window) ++previousWindows;
  }

  auto onMonitor = [this](const Rect& r) {
    return r.x < width && r.x + r.width > 0.0f && r.y < height && r.y + r.height > 0.0f;
  };
  occluders.clear();
  for (const SceneWindow& w : scene.windows) {
    if (onMonitor(w.rect)) occluders.push_back(w.rect);
  }
  taskbarPresent = scene.taskbarPresent;
  taskbarRect = scene.taskbar;

  // Front to back: each drift is hidden by the taskbar and by the windows
  // already passed. The taskbar reaches down to the screen's edge.
  running_.clear();
  if (scene.taskbarPresent) {
    const Rect& t = scene.taskbar;
    const float bottom = std::min(0.0f, t.y);
    running_.push_back(Rect{t.x, bottom, t.width, t.y + t.height - bottom});
  }
  placed_.clear();
  auto placed = [this](const std::string& key) {
    return std::any_of(placed_.begin(), placed_.end(), [&](const Drift* d) { return d->key == key; });
  };

  // A drift's rank is the number of windows in front of its own, so it
  // indexes the occluder list: windows without a drift hide things too.
  int zRank = 0;
  for (size_t i = 0; i < scene.windows.size(); ++i) {
    const SceneWindow& w = scene.windows[i];
    const Rect& r = w.rect;
    if (!onMonitor(r)) continue;
    const float top = r.y + r.height;
    const float left = r.x + kWindowInset, right = r.x + r.width - kWindowInset;
    const float shown = std::min(right, width) - std::max(left, 0.0f);
    if (input.onWindows && top >= kLedgeMargin && top <= height - kLedgeMargin && !w.noDrift &&
        r.width - 2 * kWindowInset >= kMinWindowDrift && shown >= 1.0f) {
      const std::string key = windowDriftKey(w.window);
      if (!placed(key)) {
        placed_.push_back(&placeDrift(key, DriftKind::Window, left, right, top, running_, zRank,
                                      static_cast<int>(i), scene.pressed, now));
      }
    }
    running_.push_back(r);
    ++zRank;
  }

  const int windowsInScene = static_cast<int>(scene.windows.size());
  if (scene.taskbarPresent && scene.taskbarDrift) {
    const Rect& t = scene.taskbar;
    const float top = t.y + t.height;
    if (top >= 0.0f && top <= height - kLedgeMargin) {
      // A window filling the screen hides the taskbar's snow without
      // removing it, so it shows again when the window is restored.
      barCover_.clear();
      if (scene.frontIsFull) barCover_.push_back(Rect{t.x - 1.0f, top - 1.0f, t.width + 2.0f, height});
      placed_.push_back(&placeDrift("bar", DriftKind::Taskbar, t.x, t.x + t.width, top, barCover_, -1,
                                    windowsInScene, scene.pressed, now));
    }
  }
  placed_.push_back(&placeDrift("ground", DriftKind::Ground, 0.0f, width, 0.0f, running_, -1, windowsInScene + 1,
                                scene.pressed, now));

  leaving_.clear();
  int leavingWindows = 0;
  for (const Drift* d : drifts) {
    if (std::find(placed_.begin(), placed_.end(), d) != placed_.end()) continue;
    leaving_.push_back(d->key);
    if (d->kind == DriftKind::Window) ++leavingWindows;
  }
  // Every window vanishing together (the desktop shown, a virtual desktop
  // switch) keeps their snow for when they return.
  const bool wholeScene = previousWindows >= 2 && leavingWindows == previousWindows;
  for (const std::string& key : leaving_) {
    if (Drift* d = findDrift(key)) retireDrift(*d, wholeScene);
  }
  sortDrifts();
}

Drift& SnowWorld::placeDrift(const std::string& key, DriftKind kind, float left, float right, float top,
                             const std::vector<Rect>& cover, int zRank, int sceneIndex, bool pressed, double now) {
  const float span = right - left;
  Drift* d = findDrift(key);
  const bool existed = d != nullptr;
  float oldX = 0, oldY = 0, oldSpan = 0;
  int oldColumns = 0;
  if (!existed) {
    Drift fresh = makeDrift(key, kind, left, top, span);
    if (std::optional<RememberedSnow> stored = driftMemory.take(key)) restoreSnow(fresh, *stored);
    fresh.lastSeen = now;
    fresh.liftTime = now;
    d = &driftMap.emplace(key, std::move(fresh)).first->second;
    drifts.push_back(d);
  } else {
    oldX = d->x;
    oldY = d->y;
    oldColumns = d->columns;
    oldSpan = ledgeWidth(*d);
    relayColumns(*d, left, top, columnsFor(span));
    d->span = std::isfinite(span) ? span : 0.0f;
  }
  d->zRank = zRank;
  d->sceneIndex = sceneIndex;
  if (existed) onDriftMoved(*d, oldX, oldY, oldColumns, oldSpan, pressed, now);

  limitsBefore_.assign(d->limits.begin(), d->limits.end());
  d->launchColumns.clear();
  computeLimits(*d, cover, height - top);
  if (existed && kind == DriftKind::Window) pushCoveredSnow(*d, limitsBefore_);
  releaseCrumbleEvents(*d);
  if (kind == DriftKind::Window) {
    for (int c = 0; c < d->columns; ++c) {
      const float centre = d->x + (static_cast<float>(c) + 0.5f) * kColumnWidth;
      if (centre < 0.0f || centre > width) d->limits[c] = 0.0f;
    }
  }
  if (d->limits != limitsBefore_) {
    d->dirty = true;
    d->lastRebuild = -1;
    d->quietPasses = 0;
  }
  d->lastSeen = now;
  return *d;
}

void SnowWorld::relayColumns(Drift& d, float left, float top, int columns) {
  if (columns == d.columns) {
    d.x = left;
    d.y = top;
    return;
  }
  // The ledge grew or shrank: columns keep their place on the screen, and
  // snow over the part that is gone crumbles off where it was.
  const long shift = std::lround((left - d.x) / kColumnWidth);
  std::vector<float> heights(static_cast<size_t>(columns), 0.0f);
  float sum = 0.0f;
  for (int i = 0; i < d.columns && static_cast<size_t>(i) < d.heights.size(); ++i) {
    const long j = i - shift;
    if (j >= 0 && j < columns) {
      heights[static_cast<size_t>(j)] = d.heights[i];
    } else if (d.heights[i] > 0.3f) {
      sum += d.heights[i];
      if (sum > 2.0f) {
        crumbleClump(d.x + (static_cast<float>(i) + 0.5f) * kColumnWidth, d.y, d.heights[i], sum, 0.0f);
        sum = 0.0f;
      }
    }
  }
  d.heights = std::move(heights);
  d.limits.assign(static_cast<size_t>(columns), d.cap);
  d.columns = columns;
  d.x = left;
  d.y = top;
  d.dirty = true;
  d.quietPasses = 0;
}

// ---------------------------------------------------------------- each step

void SnowWorld::stepDrifts(double now) {
  for (Drift* d : drifts) {
    if (d->columns >= 3 && d->quietPasses < kQuietLimit) {
      if (settleDrift(*d)) {
        d->dirty = true;
        d->quietPasses = 0;
      } else {
        ++d->quietPasses;
      }
    }
    if (d->spillLeft > kSpillRelease) {
      const float vx = -(8.0f + random.next() * 27.0f);
      const float vy = random.next() * 30.0f - 5.0f;
      spawnClump(Vec2{d->x - 1.5f, d->y + 1.0f}, Vec2{vx, vy}, d->spillLeft, true, 0.0f);
      d->spillLeft = 0.0f;
    }
    if (d->spillRight > kSpillRelease) {
      const float vx = 8.0f + random.next() * 27.0f;
      const float vy = random.next() * 30.0f - 5.0f;
      spawnClump(Vec2{d->x + kColumnWidth * static_cast<float>(d->columns) + 1.5f, d->y + 1.0f}, Vec2{vx, vy},
                 d->spillRight, true, 0.0f);
      d->spillRight = 0.0f;
    }
    if (d->dirty && (d->lastRebuild < 0.0 || now - d->lastRebuild > kRebuildEvery)) rebuildOutline(*d, now);
  }
}

}  // namespace kovra
