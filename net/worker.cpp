#include "net/worker.h"

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "base/log.h"

void runWorker(std::function<void()> task) {
  if (!task) return;
  // The task lives on the heap until the thread has run it, so a failed start
  // still has it at hand for running inline.
  auto owned = std::make_shared<std::function<void()>>(std::move(task));
  try {
    std::thread([owned] {
      (*owned)();
      *owned = nullptr;  // captured inputs go away with the work, not with the thread
    }).detach();
  } catch (const std::system_error& e) {
    logLine("CreateThread failed (%lu) — running inline", static_cast<unsigned long>(e.code().value()));
    (*owned)();
  }
}
