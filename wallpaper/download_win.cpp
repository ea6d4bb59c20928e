// Theme downloads: one theme at a time on a worker, each picture checked
// against its digest, the set moved into place only when it is complete.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "base/main_thread_win.h"
#include "base/win_util_win.h"
#include "net/http_win.h"
#include "net/sha256.h"
#include "net/worker.h"
#include "wallpaper/catalog_win.h"
#include "wallpaper/download.h"
#include "wallpaper/wallpaper_win.h"

using kovra::CatalogRef;

namespace {

kovra::DownloadQueue gQueue;
// Main thread: repaints the settings window; `gChanged` also forgets its
// pictures (a finished theme may bring its thumbnail).
std::function<void()> gRepaint;
std::function<void()> gChanged;

void repaint() {
  if (gRepaint) gRepaint();
}

// The hidden folders of a download are the program's own, so everything in
// them (a picture, a partial file of an interrupted run) may go.
class WinFolderOps final : public kovra::FolderOps {
 public:
  bool exists(const std::string& folder) override {
    DWORD a = GetFileAttributesW(toWide(folder).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool move(const std::string& from, const std::string& to) override {
    return MoveFileExW(toWide(from).c_str(), toWide(to).c_str(), 0) != FALSE;
  }
  bool remove(const std::string& folder) override {
    const std::wstring wide = toWide(folder);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((wide + L"\\" + found.cFileName).c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    return RemoveDirectoryW(wide.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
  }
};

// SHA-256 of a file as lower-case hex; empty when it cannot be read.
std::string fileSha256(const std::string& path) {
  UniqueHandle f(CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!f) return {};
  Sha256 digest;
  std::vector<char> block(1 << 20);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(f.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return {};
    if (got == 0) break;
    digest.update(block.data(), got);
  }
  return digest.finishHex();
}

void downloadNext();

// Main thread: the end of one theme's download.
void finishDownload(const std::string& id, bool ok) {
  const bool select = gQueue.finish(id, ok);
  if (ok) {
    const int index = kovra::catalogFind(*currentCatalog(), id);
    if (index >= 0) {
      if (select && index != wallpaperChoiceNow())
        setWallpaperChoice(index, wallpaperFollowsTimes());
      else if (index == wallpaperChoiceNow())
        wallpaperApplyAgain();
    }
  }
  if (gChanged) gChanged();
  downloadNext();
}

// Worker: fetches the six pictures into the staging folder and swaps it in.
void downloadTheme(const kovra::Theme& theme, const std::string& base) {
  const std::string& id = theme.id;
  bool ok = false;
  const std::string data = wallpaperDataFolder();
  if (data.empty()) {
    logLine("theme %s: no data folder", id.c_str());
  } else {
    const std::string themes = data + "\\Themes";
    const std::string staging = kovra::themeStagingFolder(themes, id);
    CreateDirectoryW(toWide(themes).c_str(), nullptr);
    CreateDirectoryW(toWide(staging).c_str(), nullptr);
    SetFileAttributesW(toWide(staging).c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::vector<std::string> targets = kovra::themePictureFiles(staging, id);
    kovra::ProgressSteps steps(theme.size);
    bool complete = true;
    for (int i = 0; i < kPhaseCount; ++i) {
      const kovra::ThemeFile& file = theme.files[static_cast<size_t>(i)];
      HttpProgress progress = [&steps, &id](uint64_t received, uint64_t) {
        const kovra::ProgressSteps::Step step = steps.received(received);
        gQueue.setProgress(id, step.fraction);
        if (step.repaint) postToMain(repaint);
      };
      const std::string& target = targets[static_cast<size_t>(i)];
      const bool good = httpDownload(kovra::themeFileUrl(base, file.path), toWide(target),
                                     kovra::pictureByteLimit(file.size), progress) &&
                        fileSha256(target) == file.sha256;
      if (!good) {
        logLine("theme %s: %s failed (download or checksum)", id.c_str(), kPhaseNames[i]);
        complete = false;
        break;
      }
      steps.pictureDone(file.size);
    }
    WinFolderOps ops;
    if (complete) {
      ok = kovra::installStagedTheme(ops, themes, id);
      if (ok) SetFileAttributesW(toWide(kovra::themeFinalFolder(themes, id)).c_str(), FILE_ATTRIBUTE_NORMAL);
    } else {
      kovra::discardStagedTheme(ops, themes, id);
    }
  }
  logLine("theme %s %s", id.c_str(), ok ? "downloaded" : "NOT downloaded");
  dropThemeAvailability();
  postToMain([id, ok] { finishDownload(id, ok); });
}

void downloadNext() {
  std::optional<std::string> id = gQueue.next();
  if (!id) return;
  CatalogRef catalog = currentCatalog();
  const int index = kovra::catalogFind(*catalog, *id);
  if (index < 0) {
    logLine("theme %s: no longer in the catalog", id->c_str());
    postToMain([id = *id] { finishDownload(id, false); });
    return;
  }
  kovra::Theme theme = catalog->themes[static_cast<size_t>(index)];
  std::string base = themeBase(*catalog);
  runWorker([theme = std::move(theme), base = std::move(base)] { downloadTheme(theme, base); });
}

}  // namespace

void downloadsSetHooks(std::function<void()> repaint, std::function<void()> changed) {
  gRepaint = std::move(repaint);
  gChanged = std::move(changed);
}

void downloadsForgetSelection() { gQueue.forgetSelection(); }

void requestThemeDownload(int index, bool select) {
  if (wallpaperTickRun() || index < 0 || index >= themeCount()) return;
  if (themeAvailable(index)) {
    if (select) setWallpaperChoice(index, wallpaperFollowsTimes());
    return;
  }
  gQueue.request(themeId(index), select);
  repaint();
  downloadNext();
}

void downloadAll() {
  for (int i = 0, n = themeCount(); i < n; ++i)
    if (!themeAvailable(i)) requestThemeDownload(i, false);
}

float downloadProgress(int index) {
  const std::string id = themeId(index);
  return id.empty() ? -1.0f : gQueue.progress(id);
}

bool downloadFailed(int index) {
  const std::string id = themeId(index);
  return !id.empty() && gQueue.failed(id);
}

bool anyDownloadFailed() { return gQueue.anyFailed(); }

int downloadsPending() { return gQueue.pending(); }
