#include "net/worker.h"

#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "base/log.h"

namespace {

// Whatever a task throws (an allocation that failed on a hostile answer, a
// bug) ends that task only: one line, and the program carries on. An
// exception leaving a thread would end the whole process.
void runGuarded(std::function<void()>& task) noexcept {
  try {
    task();
  } catch (const std::exception& e) {
    try {
      logLine("worker: task failed (%s)", logSafe(e.what()).c_str());
    } catch (...) {
    }
  } catch (...) {
    try {
      logLine("worker: task failed (unknown exception)");
    } catch (...) {
    }
  }
}

}  // namespace

void runWorker(std::function<void()> task) {
  if (!task) return;
  // The task lives on the heap until the thread has run it, so a failed start
  // still has it at hand for running inline.
  auto owned = std::make_shared<std::function<void()>>(std::move(task));
  unsigned long error = 0;
  try {
    std::thread([owned] {
      runGuarded(*owned);
      *owned = nullptr;  // captured inputs go away with the work, not with the thread
    }).detach();
    return;
  } catch (const std::system_error& e) {
    error = static_cast<unsigned long>(e.code().value());
  } catch (const std::exception&) {
    // no thread and no code to report (out of memory for its state)
  }
  logLine("CreateThread failed (%lu) — running inline", error);
  runGuarded(*owned);
}
