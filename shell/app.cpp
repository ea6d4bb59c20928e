#include "shell/app.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "base/log.h"
#include "world/drift_events.h"

namespace {

kovra::Fate fateFor(const AppState& app, uint64_t window, bool wholeScene) {
  for (const FateAnswer& f : app.fates)
    if (f.window == window) return wholeScene ? f.whole : f.partial;
  return kovra::Fate::Gone;  // still listed, or never asked: not hidden
}

}  // namespace

void appSetMonitors(AppState& app, const std::vector<MonitorInfo>& infos) {
  std::map<std::string, std::unique_ptr<kovra::SnowWorld>> saved;
  for (MonitorState& m : app.monitors)
    if (m.world) saved[m.key] = std::move(m.world);
  app.monitors.clear();
  app.monitors.reserve(infos.size());
  for (const MonitorInfo& info : infos) {
    MonitorState m;
    m.key = info.key;
    m.monitorRect = info.monitor;
    m.workRect = info.work;
    m.scale = info.scale > 0 ? info.scale : 1.0f;
    m.primary = info.primary;
    m.widthDip = static_cast<float>(info.monitor.right - info.monitor.left) / m.scale;
    m.heightDip = static_cast<float>(info.monitor.bottom - info.monitor.top) / m.scale;
    auto it = saved.find(info.key);
    if (it != saved.end() && it->second) {
      m.world = std::move(it->second);
      saved.erase(it);
    } else {
      m.world = std::make_unique<kovra::SnowWorld>(m.widthDip, m.heightDip, info.seed);
    }
    m.world->fate = [&app](uint64_t window, bool wholeScene) { return fateFor(app, window, wholeScene); };
    m.world->primary = m.primary;
    app.monitors.push_back(std::move(m));
  }
  // Worlds of monitors that no longer exist go with the build.
  app.lastProbe = -10.0;  // the probes run at the next frame
}

void appKeepMonitors(AppState& app, std::size_t count) {
  if (app.monitors.size() > count) app.monitors.erase(app.monitors.begin() + static_cast<std::ptrdiff_t>(count), app.monitors.end());
}

bool appSnowActive(const AppState& app) {
  return snowActiveFrom(app.sessionLocked, app.monitors.size(), app.settings.paused, app.settings.garland, app.anyShown);
}

void appRequestRebuild(AppState& app, double now, double delay) {
  app.recreatePending = true;
  app.recreateDue = now + delay;
}

void appResetTiming(AppState& app, double now) {
  app.frame.lastFrameTime = 0;
  app.frame.nextFrameTime = now;
}

void appResetStep(AppState& app) { app.frame.lastFrameTime = 0; }

bool appLayoutDue(const AppState& app, const DesktopSurvey& survey) {
  for (const MonitorState& m : app.monitors)
    if (m.world && (m.dirty || m.seenGeneration != survey.generation)) return true;
  return false;
}

std::vector<uint64_t> appFateQueries(const AppState& app, const DesktopSurvey& survey) {
  std::unordered_set<uint64_t> listed;
  for (const SurveyedWindow& w : survey.windows) listed.insert(w.window);
  std::vector<uint64_t> out;
  for (const MonitorState& m : app.monitors) {
    if (!m.world) continue;
    for (const kovra::Drift* d : m.world->drifts) {
      if (d->kind != kovra::DriftKind::Window) continue;
      std::optional<uint64_t> window = kovra::windowFromDriftKey(d->key);
      if (window && !listed.count(*window) && std::find(out.begin(), out.end(), *window) == out.end())
        out.push_back(*window);
    }
  }
  return out;
}

bool appPointerPress(AppState& app, std::size_t monitor, kovra::Vec2 point, bool heap) {
  if (monitor >= app.monitors.size()) return false;
  MonitorState& m = app.monitors[monitor];
  if (!m.world || !m.world->grabWithButton(point, heap)) return false;
  m.grabbing = true;
  if (app.grabsLogged < 5) {
    ++app.grabsLogged;
    logLine("snow picked up with the mouse (%s)", heap ? "heap" : "snowball");
  }
  appResetStep(app);
  return true;
}

void appPointerRelease(AppState& app, std::size_t monitor) {
  if (monitor >= app.monitors.size()) return;
  MonitorState& m = app.monitors[monitor];
  if (!m.grabbing) return;
  m.grabbing = false;
  if (m.world) m.world->letGo();
}

void appPointerBurst(AppState& app, std::size_t monitor, kovra::Vec2 point) {
  if (monitor >= app.monitors.size()) return;
  MonitorState& m = app.monitors[monitor];
  if (!m.world) return;
  appPointerRelease(app, monitor);
  m.world->burstAt(point);
}
