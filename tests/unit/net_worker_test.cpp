#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
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

// Lines of the log collected while a test runs.
class LogWatch {
 public:
  LogWatch() {
    logSetObserver([this](const std::string& m) {
      std::lock_guard<std::mutex> hold(lock_);
      if (m.rfind("worker:", 0) == 0) lines_.push_back(m);
    });
  }
  ~LogWatch() { logSetObserver(nullptr); }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> hold(lock_);
    return lines_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

TEST(RunWorker, AnExceptionEndsOnlyItsTask) {
  LogWatch watch;
  auto gate = std::make_shared<Gate>();
  auto token = std::make_shared<int>(1);
  std::weak_ptr<int> held = token;
  runWorker([gate, token] {
    gate->arrive(std::this_thread::get_id());
    throw std::bad_alloc();
  });
  token.reset();
  runWorker([gate] {
    gate->arrive(std::this_thread::get_id());
    throw std::runtime_error("bad answer\r\nforged line");
  });
  runWorker([gate] {
    gate->arrive(std::this_thread::get_id());
    throw 42;
  });
  ASSERT_TRUE(gate->waitFor(3));
  // The process is still here; later work still runs.
  runWorker([gate] { gate->arrive(std::this_thread::get_id()); });
  ASSERT_TRUE(gate->waitFor(4));
  for (int i = 0; i < 1000 && (watch.lines().size() < 3 || !held.expired()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::multiset<std::string> lines;
  for (const auto& l : watch.lines()) lines.insert(l);
  EXPECT_EQ(lines, (std::multiset<std::string>{"worker: task failed (std::bad_alloc)",
                                               "worker: task failed (bad answer\\x0d\\x0aforged line)",
                                               "worker: task failed (unknown exception)"}));
  EXPECT_TRUE(held.expired()) << "a failed task frees its captures too";
}

}  // namespace
