#pragma once
// Theme downloads without the disk or the network: the queue of waiting
// themes, the progress of each, the failed ones and the theme to choose once
// it has arrived; the repaint steps of the progress; the byte limit of a
// picture; and the folder swap that puts a complete download in place.
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kovra {

// What a request did to the queue.
enum class RequestOutcome {
  Queued,          // appended to the queue
  AlreadyQueued,   // waiting or downloading already: nothing new
};

// One per process. Every member takes the lock, so the main thread
// (requests, the finish step, the window's questions) and the download
// worker (progress) share it safely.
class DownloadQueue {
 public:
  // A theme that is not on disk: `select` makes it the theme to choose once
  // it has arrived (replacing an earlier one); an earlier failure is forgotten.
  RequestOutcome request(const std::string& id, bool select);

  // The next theme to fetch, unless one is being fetched or none waits; it
  // counts as running from here until finish().
  std::optional<std::string> next();

  // Progress of the running theme, 0..1 (an entry is made when missing).
  void setProgress(const std::string& id, float fraction);

  // The download of `id` is over. True when it arrived and was the theme to
  // choose (which is then forgotten); a failure marks it failed.
  bool finish(const std::string& id, bool ok);

  // The user chose another wallpaper meanwhile: no download takes it over.
  void forgetSelection();

  // 0..1 while queued or downloading, -1 otherwise.
  float progress(const std::string& id);
  bool failed(const std::string& id);
  bool anyFailed();
  int pending();  // queued plus downloading
  bool running();
  std::string selectWhenDone();

 private:
  std::mutex lock_;
  std::vector<std::string> queue_;
  std::map<std::string, float> progress_;
  std::set<std::string> failed_;
  std::string selectWhenDone_;
  bool running_ = false;
};

// The progress of one theme's download: the bytes of the finished pictures
// plus those of the current one, against the listed total (1 byte when the
// catalogue lists none, which reads as complete at once).
class ProgressSteps {
 public:
  explicit ProgressSteps(uint64_t listedTotal) : total_(listedTotal == 0 ? 1 : listedTotal) {}
  // A picture is complete: its listed size counts as done.
  void pictureDone(uint64_t listedSize) { done_ += listedSize; }
  // Bytes of the current picture so far: the fraction (at most 1) and
  // whether the window should be repainted, which happens once per 4 %
  // step of the whole theme at most.
  struct Step {
    float fraction = 0;
    bool repaint = false;
  };
  Step received(uint64_t bytes);

 private:
  uint64_t total_;
  uint64_t done_ = 0;
  int lastPercent_ = 0;
};

// Bytes a picture may have before its download is abandoned: the listed
// size with an eighth (at least 64 KiB) on top, never more than the
// ceiling; the ceiling itself when no size is listed, so no download is
// ever unbounded.
constexpr uint64_t kPictureLimitCeiling = 64ull * 1024 * 1024;
uint64_t pictureByteLimit(uint64_t listedSize);

// Folder names under {data}\Themes (UTF-8, backslashes).
std::string themeStagingFolder(std::string_view themesFolder, std::string_view id);  // .{id}.part
std::string themeFinalFolder(std::string_view themesFolder, std::string_view id);    // {id}
std::string themeOldFolder(std::string_view themesFolder, std::string_view id);      // {id}.old
// {folder}\{id}-{phase}.jpg for the six phases in order.
std::vector<std::string> themePictureFiles(std::string_view folder, std::string_view id);

// What the swap needs from the file system; the Win32 side does it for real,
// the tests in memory.
class FolderOps {
 public:
  virtual ~FolderOps() = default;
  virtual bool exists(const std::string& folder) = 0;
  // Renames a folder; false when `to` exists or the move fails.
  virtual bool move(const std::string& from, const std::string& to) = 0;
  // Deletes the files in the folder and the folder itself; true when it is gone.
  virtual bool remove(const std::string& folder) = 0;
};

// Puts the complete, verified staging folder in place of the final one. A
// complete older theme stays under the final name until the new one takes
// it, and is put back when the new one cannot: the final folder is only ever
// the old set or the new one. True when the new set is in place. Whatever
// happens, the staging folder is gone afterwards when it can be removed.
bool installStagedTheme(FolderOps& ops, std::string_view themesFolder, std::string_view id);

// A failed download: the staging folder and everything in it goes.
void discardStagedTheme(FolderOps& ops, std::string_view themesFolder, std::string_view id);

}  // namespace kovra
