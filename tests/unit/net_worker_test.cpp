#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "net/worker.h"

namespace {

// Waits for `count` tasks to report in, with a generous time-out.
class Gate {
 public:
  void arrive(std::thread::id id) {
    std::lock_guard<std::mutex> hold(lock_);
    ids_.insert(id);
    ++arrived_;
    cv_.notify_all();
  }
  bool waitFor(int count) {
    std::unique_lock<std::mutex> hold(lock_);
    return cv_.wait_for(hold, std::chrono::seconds(10), [&] { return arrived_ >= count; });
  }
  std::set<std::thread::id> ids() {
    std::lock_guard<std::mutex> hold(lock_);
    return ids_;
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  int arrived_ = 0;
  std::set<std::thread::id> ids_;
};

TEST(RunWorker, RunsEachTaskOnItsOwnThreadWithCopiedInputs) {
  auto gate = std::make_shared<Gate>();
  std::atomic<int> sum{0};
  {
    std::string input = "payload";
    for (int i = 1; i <= 8; ++i) {
      runWorker([gate, &sum, input, i] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // outlive the caller's scope
        if (input == "payload") sum += i;
        gate->arrive(std::this_thread::get_id());
        gate->waitFor(8);  // all alive at once, so no thread id can be reused
      });
    }
    input = "changed";  // the tasks hold their own copy
  }
  ASSERT_TRUE(gate->waitFor(8));
  EXPECT_EQ(sum.load(), 36);
  auto ids = gate->ids();
  EXPECT_EQ(ids.size(), 8u);
  EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
}

TEST(RunWorker, ReturnsBeforeTheTaskFinishesAndFreesItAfterwards) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto done = std::make_shared<Gate>();
  auto token = std::make_shared<int>(7);
  std::weak_ptr<int> watch = token;
  runWorker([release, done, token] {
    while (!release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    done->arrive(std::this_thread::get_id());
  });
  token.reset();
  EXPECT_FALSE(watch.expired()) << "the running task still owns its captures";
  release->store(true);
  ASSERT_TRUE(done->waitFor(1));
  for (int i = 0; i < 1000 && !watch.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(watch.expired()) << "captures are freed once the task has run";
}

}  // namespace
