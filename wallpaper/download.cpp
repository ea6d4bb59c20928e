#include "wallpaper/download.h"

#include <algorithm>

#include "weather/day_phase.h"

namespace kovra {

RequestOutcome DownloadQueue::request(const std::string& id, bool select) {
  std::lock_guard<std::mutex> hold(lock_);
  if (select) selectWhenDone_ = id;
  failed_.erase(id);
  if (progress_.count(id)) return RequestOutcome::AlreadyQueued;
  progress_[id] = 0;
  queue_.push_back(id);
  return RequestOutcome::Queued;
}

std::optional<std::string> DownloadQueue::next() {
  std::lock_guard<std::mutex> hold(lock_);
  if (running_ || queue_.empty()) return std::nullopt;
  std::string id = queue_.front();
  queue_.erase(queue_.begin());
  running_ = true;
  return id;
}

void DownloadQueue::setProgress(const std::string& id, float fraction) {
  std::lock_guard<std::mutex> hold(lock_);
  progress_[id] = std::clamp(fraction, 0.0f, 1.0f);
}

bool DownloadQueue::finish(const std::string& id, bool ok) {
  std::lock_guard<std::mutex> hold(lock_);
  running_ = false;
  progress_.erase(id);
  const bool chosen = selectWhenDone_ == id;
  if (chosen) selectWhenDone_.clear();
  if (!ok) failed_.insert(id);
  return ok && chosen;
}

void DownloadQueue::forgetSelection() {
  std::lock_guard<std::mutex> hold(lock_);
  selectWhenDone_.clear();
}

float DownloadQueue::progress(const std::string& id) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = progress_.find(id);
  return it == progress_.end() ? -1.0f : it->second;
}

bool DownloadQueue::failed(const std::string& id) {
  std::lock_guard<std::mutex> hold(lock_);
  return failed_.count(id) != 0;
}

bool DownloadQueue::anyFailed() {
  std::lock_guard<std::mutex> hold(lock_);
  return !failed_.empty();
}

int DownloadQueue::pending() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int>(progress_.size());
}

bool DownloadQueue::running() {
  std::lock_guard<std::mutex> hold(lock_);
  return running_;
}

std::string DownloadQueue::selectWhenDone() {
  std::lock_guard<std::mutex> hold(lock_);
  return selectWhenDone_;
}

ProgressSteps::Step ProgressSteps::received(uint64_t bytes) {
  const double value = static_cast<double>(done_) + static_cast<double>(bytes);
  const double share = std::min(value / static_cast<double>(total_), 1.0);
  Step s;
  s.fraction = static_cast<float>(share);
  // Counted in whole percent of the theme, never beyond 100: with sizes
  // missing or understated every further chunk would otherwise be a new step.
  const int percent = static_cast<int>(100.0 * share);
  if (percent / 4 != lastPercent_ / 4) {
    lastPercent_ = percent;
    s.repaint = true;
  }
  return s;
}

uint64_t pictureByteLimit(uint64_t listedSize) {
  if (listedSize == 0 || listedSize >= kPictureLimitCeiling) return kPictureLimitCeiling;
  const uint64_t margin = std::max<uint64_t>(listedSize / 8, 64 * 1024);
  return std::min(listedSize + margin, kPictureLimitCeiling);
}

namespace {

std::string joined(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '\\') out += '\\';
  out += name;
  return out;
}

}  // namespace

std::string themeStagingFolder(std::string_view themesFolder, std::string_view id) {
  std::string name = ".";
  name += id;
  name += ".part";
  return joined(themesFolder, name);
}

std::string themeFinalFolder(std::string_view themesFolder, std::string_view id) {
  return joined(themesFolder, id);
}

std::string themeOldFolder(std::string_view themesFolder, std::string_view id) {
  std::string name(id);
  name += ".old";
  return joined(themesFolder, name);
}

std::vector<std::string> themePictureFiles(std::string_view folder, std::string_view id) {
  std::vector<std::string> out;
  for (int i = 0; i < kPhaseCount; ++i) {
    std::string name(id);
    name += '-';
    name += kPhaseNames[i];
    name += ".jpg";
    out.push_back(joined(folder, name));
  }
  return out;
}

bool installStagedTheme(FolderOps& ops, std::string_view themesFolder, std::string_view id) {
  const std::string staging = themeStagingFolder(themesFolder, id);
  const std::string final = themeFinalFolder(themesFolder, id);
  const std::string old = themeOldFolder(themesFolder, id);
  // A folder left aside by an earlier run would block the move.
  if (ops.exists(old) && !ops.remove(old)) {
    ops.remove(staging);
    return false;
  }
  const bool hadFinal = ops.exists(final);
  if (hadFinal && !ops.move(final, old)) {
    ops.remove(staging);
    return false;
  }
  if (!ops.move(staging, final)) {
    // The older set goes back under its name.
    if (hadFinal) ops.move(old, final);
    ops.remove(staging);
    return false;
  }
  if (hadFinal) ops.remove(old);
  return true;
}

void discardStagedTheme(FolderOps& ops, std::string_view themesFolder, std::string_view id) {
  ops.remove(themeStagingFolder(themesFolder, id));
}

}  // namespace kovra
