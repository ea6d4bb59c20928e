#include "wallpaper/catalog.h"

#include <cmath>
#include <set>

#include "net/json.h"
#include "net/sha256.h"

namespace kovra {

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string asciiLowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = asciiLower(c);
  return out;
}

bool idChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

// Windows opens the device instead of a file for these stems, whatever follows the first dot.
bool deviceName(std::string_view id) {
  std::string stem = asciiLowered(id.substr(0, id.find('.')));
  for (const char* d : {"con", "prn", "aux", "nul"})
    if (stem == d) return true;
  if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '1' &&
      stem[3] <= '9')
    return true;
  return false;
}

const std::string* text(const JsonValue* v) { return v && v->kind == JsonKind::String ? &v->text : nullptr; }

std::string textOr(const JsonValue* v) {
  const std::string* t = text(v);
  return t ? *t : std::string();
}

// A count of bytes: negative, fractional garbage and out-of-range numbers
// must not reach a float-to-integer conversion that has no defined result.
uint64_t byteCount(const JsonValue* v) {
  if (!v || v->kind != JsonKind::Number || !std::isfinite(v->number) || v->number <= 0) return 0;
  if (v->number >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(v->number);
}

bool readTheme(const JsonValue& item, Theme& theme) {
  const std::string* id = text(member(item, "id"));
  const JsonValue* files = member(item, "files");
  if (!id || !themeIdAcceptable(*id) || !files || files->kind != JsonKind::Object) return false;
  theme.id = *id;
  for (int p = 0; p < kPhaseCount; ++p) {
    const JsonValue* entry = member(files, kPhaseNames[p]);
    const std::string* path = text(member(entry, "path"));
    const std::string* sha = text(member(entry, "sha256"));
    if (!path || !sha) return false;
    theme.files[p] = ThemeFile{*path, *sha, byteCount(member(entry, "size"))};
  }
  // The cover names a picture file, so only a phase name is taken.
  std::string cover = textOr(member(item, "cover"));
  if (phaseIndex(cover) >= 0) theme.cover = cover;
  theme.thumb = textOr(member(item, "thumb"));
  theme.thumbSha256 = textOr(member(item, "thumbSha256"));
  theme.size = byteCount(member(item, "size"));
  const JsonValue* titles = member(item, "title");
  for (int l = 0; l < kLanguageCount; ++l) theme.titles[l] = textOr(member(titles, languageCode(l)));
  return true;
}

std::string joined(std::string_view a, std::string_view b) {
  std::string out(a);
  out += b;
  return out;
}

}  // namespace

bool themeIdAcceptable(std::string_view id) {
  // Windows drops a trailing dot from a name, which would fold "a." into "a".
  if (id.empty() || id.size() > kThemeIdMaxLength || id.front() == '.' || id.back() == '.') return false;
  for (char c : id)
    if (!idChar(c)) return false;
  return !deviceName(id);
}

CatalogRef catalogParse(std::string_view body, std::string_view defaultBase) {
  std::unique_ptr<JsonValue> root = jsonParse(body);
  if (!root) return nullptr;
  const JsonValue* themes = member(*root, "themes");
  if (!themes || themes->kind != JsonKind::Array) return nullptr;
  auto catalog = std::make_shared<Catalog>();
  const std::string* base = text(member(*root, "base"));
  catalog->base = base && !base->empty() ? *base : std::string(defaultBase);
  std::set<std::string> seen;
  for (const JsonValue& item : themes->items) {
    Theme theme;
    if (!readTheme(item, theme)) continue;
    // "Wall-05" and "wall-05" would share one folder on disk.
    if (!seen.insert(asciiLowered(theme.id)).second) continue;
    catalog->themes.push_back(std::move(theme));
  }
  if (catalog->themes.empty()) return nullptr;
  return catalog;
}

CatalogRef emptyCatalog(std::string_view base) {
  auto catalog = std::make_shared<Catalog>();
  catalog->base = std::string(base);
  return catalog;
}

int catalogFind(const Catalog& catalog, std::string_view id) {
  if (id.empty()) return -1;
  for (size_t i = 0; i < catalog.themes.size(); ++i)
    if (catalog.themes[i].id == id) return static_cast<int>(i);
  return -1;
}

std::string themeTitle(const Theme& theme, int language) {
  if (language < 0 || language >= kLanguageCount) language = kLanguageEnglish;
  for (int l : {language, kLanguageEnglish, 0})
    if (!theme.titles[l].empty()) return theme.titles[l];
  return theme.id;
}

std::string coverPhase(const Theme& theme) { return theme.cover.empty() ? "day" : theme.cover; }

std::string catalogUrl(std::string_view base) { return joined(base, "themes.json"); }

std::string themeFileUrl(std::string_view base, std::string_view path) { return joined(base, path); }

bool thumbnailAcceptable(int status, std::string_view body, std::string_view thumbSha256) {
  return status == 200 && !thumbSha256.empty() && sha256Hex(body) == thumbSha256;
}

bool catalogRefreshDue(std::optional<double> lastStart, double now) {
  return !lastStart || !(now - *lastStart < kCatalogRefreshInterval);
}

std::string installedWallpapersFolder(std::string_view programFolder, bool programHasWallpapers,
                                      std::string_view appDir) {
  if (!programHasWallpapers && !appDir.empty()) return joined(appDir, "\\Wallpapers");
  return joined(programFolder, "\\Wallpapers");
}

std::string themePicturePath(const Theme& theme, std::string_view phase, std::string_view installedFolder,
                             std::string_view dataFolder, const FileExists& exists) {
  if (phaseIndex(phase) < 0 || theme.id.empty()) return {};
  std::string name = theme.id + "-" + std::string(phase) + ".jpg";
  std::string installed = joined(installedFolder, "\\times\\") + name;
  if (exists(installed)) return installed;
  std::string downloaded = joined(dataFolder, "\\Themes\\") + theme.id + "\\" + name;
  if (exists(downloaded)) return downloaded;
  return {};
}

bool themeOnDisk(const Theme& theme, std::string_view installedFolder, std::string_view dataFolder,
                 const FileExists& exists) {
  for (const char* phase : kPhaseNames)
    if (themePicturePath(theme, phase, installedFolder, dataFolder, exists).empty()) return false;
  return true;
}

std::string themeThumbnailPath(const Theme& theme, std::string_view installedFolder, std::string_view dataFolder,
                               const FileExists& exists) {
  if (theme.id.empty()) return {};
  std::string installed = joined(installedFolder, "\\thumbs\\") + theme.id + ".jpg";
  if (exists(installed)) return installed;
  std::string fetched = joined(dataFolder, "\\Themes\\thumbs\\") + theme.id + ".jpg";
  if (exists(fetched)) return fetched;
  return themePicturePath(theme, coverPhase(theme), installedFolder, dataFolder, exists);
}

bool thumbnailWanted(const Theme& theme, std::string_view installedFolder, std::string_view dataFolder,
                     const FileExists& exists) {
  if (theme.thumb.empty() || theme.id.empty()) return false;
  return !exists(joined(installedFolder, "\\thumbs\\") + theme.id + ".jpg") &&
         !exists(joined(dataFolder, "\\Themes\\thumbs\\") + theme.id + ".jpg");
}

int megabytesShown(uint64_t bytes) {
  if (bytes == 0) return 0;
  uint64_t mb = bytes / 1000000 + (bytes % 1000000 >= 500000 ? 1 : 0);
  if (mb < 1) return 1;
  return mb > 0x7fffffff ? 0x7fffffff : static_cast<int>(mb);
}

uint64_t missingThemesSize(const Catalog& catalog, const std::function<bool(int index)>& available) {
  uint64_t sum = 0;
  for (size_t i = 0; i < catalog.themes.size(); ++i)
    if (!available(static_cast<int>(i))) sum += catalog.themes[i].size;
  return sum;
}

bool AvailabilityCache::available(const std::string& id, uint64_t nowMs, const std::function<bool()>& lookAtDisk) {
  uint64_t generation;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!droppedAt_ || nowMs < *droppedAt_ || nowMs - *droppedAt_ > kAvailabilityLifetimeMs) {
      known_.clear();
      droppedAt_ = nowMs;
      ++generation_;
    }
    auto it = known_.find(id);
    if (it != known_.end()) return it->second;
    generation = generation_;
  }
  bool found = lookAtDisk();
  std::lock_guard<std::mutex> hold(lock_);
  // A drop while the disk was looked at (a download just finished) makes the answer stale.
  if (generation == generation_) known_[id] = found;
  return found;
}

void AvailabilityCache::drop(uint64_t nowMs) {
  std::lock_guard<std::mutex> hold(lock_);
  known_.clear();
  droppedAt_ = nowMs;
  ++generation_;
}

CatalogRef CatalogHolder::current(const std::function<CatalogRef()>& load) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!current_) {
    current_ = load ? load() : nullptr;
    if (!current_) current_ = emptyCatalog("");
    retired_.push_back(current_);
  }
  return current_;
}

void CatalogHolder::install(CatalogRef catalog) {
  if (!catalog) return;
  std::lock_guard<std::mutex> hold(lock_);
  current_ = catalog;
  retired_.push_back(std::move(catalog));
}

size_t CatalogHolder::retiredCount() {
  std::lock_guard<std::mutex> hold(lock_);
  return retired_.size();
}

}  // namespace kovra
