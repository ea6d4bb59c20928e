#include "base/main_thread_win.h"

#include <atomic>
#include <memory>

namespace {
// Read by postToMain on any thread; set while the main window exists.
std::atomic<HWND> gPostTarget{nullptr};
}  // namespace

void mainThreadTarget(HWND window) { gPostTarget.store(window); }

void postToMain(std::function<void()> task) {
  HWND target = gPostTarget.load();
  if (!target || !task) return;
  auto heap = std::make_unique<std::function<void()>>(std::move(task));
  if (PostMessageW(target, kMsgTask, 0, reinterpret_cast<LPARAM>(heap.get()))) heap.release();
}

void runPostedTask(LPARAM lp) {
  std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lp));
  if (task && *task) (*task)();
}
