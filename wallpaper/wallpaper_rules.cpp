#include "wallpaper/wallpaper_rules.h"

#include <cmath>

namespace kovra {

namespace {

// The ids the wallpaper setting once stored as numbers 1..16.
const char* const kOldWallpaperIds[16] = {"wall-03", "wall-05", "wall-07", "wall-10", "wall-11", "wall-12",
                                          "wall-13", "wall-14", "wall-16", "wall-17", "wall-19", "wall-22",
                                          "wall-25", "wall-28", "wall-30", "wall-21"};

char foldChar(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c == '/') return '\\';
  return c;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string joined(std::string_view a, std::string_view b) {
  std::string out(a);
  out += b;
  return out;
}

}  // namespace

std::string migratedWallpaperId(std::optional<uint32_t> oldValue) {
  if (oldValue && *oldValue >= 1 && *oldValue <= 16) return kOldWallpaperIds[*oldValue - 1];
  return kNoWallpaperTheme;
}

ChoiceResolution resolveWallpaperChoice(std::string_view wallpaperFile, std::optional<uint32_t> wallpaper,
                                        const Catalog& catalog) {
  ChoiceResolution r;
  std::string id(wallpaperFile);
  if (id.empty()) {
    id = migratedWallpaperId(wallpaper);
    r.writeFile = id;
  }
  r.choice = catalogFind(catalog, id);
  if (r.choice < 0 && id != kNoWallpaperTheme) r.writeFile = std::string(kNoWallpaperTheme);
  uint32_t wanted = static_cast<uint32_t>(r.choice + 1);
  if (!wallpaper || *wallpaper != wanted) r.writeWallpaper = wanted;
  return r;
}

StoredChoice storedChoice(const Catalog& catalog, int choice) {
  if (choice < 0 || choice >= static_cast<int>(catalog.themes.size())) return {kNoWallpaperTheme, 0};
  return {catalog.themes[choice].id, static_cast<uint32_t>(choice + 1)};
}

bool followTimesFromStored(std::optional<uint32_t> wallpaperTimes) { return !wallpaperTimes || *wallpaperTimes != 0; }

std::string fixedPictureName(std::string_view id) { return id.empty() ? std::string() : joined(id, ".jpg"); }

std::string phasePictureName(std::string_view id, std::string_view phase) {
  if (id.empty() || phaseIndex(phase) < 0) return {};
  return joined(id, "-") + std::string(phase) + ".jpg";
}

int blendPercent(double blend) {
  if (!(blend > 0)) return 0;
  if (blend >= 1) return 100;
  return static_cast<int>(100.0 * blend);
}

std::string blendPictureName(std::string_view id, const DayPhase& phase) {
  int percent = blendPercent(phase.blend);
  if (percent == 0) return phasePictureName(id, phase.from);
  if (id.empty() || phaseIndex(phase.from) < 0 || phaseIndex(phase.to) < 0) return {};
  return joined(id, "-") + phase.from + "-" + phase.to + "-" + std::to_string(percent) + ".jpg";
}

std::string temporaryPictureName(std::string_view picture) { return joined(picture, ".tmp"); }

std::string generatedFolder(std::string_view dataFolder) { return joined(dataFolder, "\\Wallpapers"); }

std::string originalsPath(std::string_view dataFolder) { return joined(dataFolder, "\\") + kOriginalsFileName; }

WallpaperTarget wallpaperTarget(int choice, bool followTimes, const Catalog& catalog, bool available,
                                bool imagingReady, const DayPhase& phase) {
  WallpaperTarget t;
  if (choice < 0) {
    t.kind = TargetKind::Restore;
    return t;
  }
  if (choice >= static_cast<int>(catalog.themes.size())) return t;  // Leave
  if (!available) {
    t.kind = TargetKind::Download;
    return t;
  }
  if (!imagingReady) {
    t.kind = TargetKind::Restore;
    return t;
  }
  const std::string& id = catalog.themes[choice].id;
  if (!followTimes) {
    t.kind = TargetKind::Fixed;
    t.name = fixedPictureName(id);
    return t;
  }
  t.phase = phase;
  t.kind = blendPercent(phase.blend) == 0 ? TargetKind::Phase : TargetKind::Blend;
  t.name = blendPictureName(id, phase);
  // A phase that names no picture cannot be shown; keep the desktop as it is.
  if (t.name.empty()) t.kind = TargetKind::Leave;
  return t;
}

bool blendPictures(const Picture& from, const Picture& to, double blend, Picture& out) {
  out = Picture{};
  if (from.width != to.width || from.height != to.height) return false;
  if (!(blend >= 0.0 && blend <= 1.0)) return false;
  uint64_t bytes = static_cast<uint64_t>(from.width) * from.height * 4;
  if (from.pixels.size() != bytes || to.pixels.size() != bytes) return false;
  const float w = static_cast<float>(blend);
  const float keep = 1.0f - w;
  out.width = from.width;
  out.height = from.height;
  out.pixels.resize(from.pixels.size());
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    float v = static_cast<float>(from.pixels[i]) * keep + static_cast<float>(to.pixels[i]) * w + 0.5f;
    out.pixels[i] = static_cast<uint8_t>(v);
  }
  return true;
}

std::vector<uint8_t> bgrRows(const Picture& picture) {
  size_t count = picture.pixels.size() / 4;
  std::vector<uint8_t> out(count * 3);
  for (size_t i = 0; i < count; ++i) {
    out[3 * i] = picture.pixels[4 * i];
    out[3 * i + 1] = picture.pixels[4 * i + 1];
    out[3 * i + 2] = picture.pixels[4 * i + 2];
  }
  return out;
}

Originals readOriginals(std::string_view text) {
  Originals map;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0 || tab + 1 == line.size()) continue;
    map[std::string(line.substr(0, tab))] = std::string(line.substr(tab + 1));
  }
  return map;
}

std::string writeOriginals(const Originals& originals) {
  std::string out;
  for (const auto& [monitor, path] : originals) {
    if (monitor.empty() || path.empty() || monitor.find_first_of("\t\r\n") != std::string::npos ||
        path.find_first_of("\r\n") != std::string::npos)
      continue;
    out += monitor;
    out += '\t';
    out += path;
    out += '\n';
  }
  return out;
}

bool wallpaperIsOurs(std::string_view path, std::string_view folder) {
  while (!folder.empty() && isSeparator(folder.back())) folder.remove_suffix(1);
  if (path.empty() || folder.empty() || path.size() <= folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i)
    if (foldChar(path[i]) != foldChar(folder[i])) return false;
  // "...\Wallpapers2\x.jpg" is a neighbour of the folder, not inside it.
  return isSeparator(path[folder.size()]);
}

bool samePicturePath(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldChar(a[i]) != foldChar(b[i])) return false;
  return true;
}

MonitorChange monitorChange(std::string_view monitor, std::string_view current, std::string_view target,
                            std::string_view folder, Originals& originals, bool& originalsChanged,
                            const FileExists& exists) {
  MonitorChange change;
  bool ours = wallpaperIsOurs(current, folder);
  if (!target.empty()) {
    if (!current.empty() && !ours) {
      std::string& slot = originals[std::string(monitor)];
      if (slot != current) {
        slot = std::string(current);
        originalsChanged = true;
      }
    }
    if (!samePicturePath(current, target)) {
      change.set = true;
      change.picture = std::string(target);
    }
    return change;
  }
  if (!ours) return change;  // the user's own picture is already there
  auto it = originals.find(std::string(monitor));
  if (it == originals.end() || it->second.empty() || !exists(it->second)) {
    change.ownUnknown = true;
    return change;
  }
  change.set = true;
  change.restored = true;
  change.picture = it->second;
  return change;
}

std::string lowerPath(std::string_view path) {
  std::string out(path);
  for (char& c : out) c = foldChar(c);
  return out;
}

std::set<std::string> wallpapersInUse(std::string_view target, const std::vector<std::string>& shown) {
  std::set<std::string> inUse;
  if (!target.empty()) inUse.insert(lowerPath(target));
  for (const std::string& p : shown)
    if (!p.empty()) inUse.insert(lowerPath(p));
  return inUse;
}

TidyPlan tidyPlan(const std::vector<FolderEntry>& entries, const std::set<std::string>& inUse, uint64_t now) {
  TidyPlan plan;
  for (const FolderEntry& e : entries) {
    if (e.directory) continue;
    std::string name = lowerPath(e.name);
    if (!endsWith(name, ".jpg") && !endsWith(name, ".jpg.tmp")) continue;
    if (inUse.count(lowerPath(e.path))) continue;
    uint64_t latest = e.created > e.written ? e.created : e.written;
    // A time ahead of the clock counts as new.
    if (latest > now || now - latest < kTidyAge) continue;
    plan.remove.push_back(e.path);
    plan.bytes += e.size;
  }
  return plan;
}

}  // namespace kovra
