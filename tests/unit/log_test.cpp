#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "base/log.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<std::string> splitCrlf(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no CRLF>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    // ctest runs tests side by side in separate processes: one file each.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = ::testing::TempDir() + "quillar-log-" + info->name() + "-" + std::to_string(getpid()) + ".txt";
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    LogClock clock;
    clock.elapsed = [this] { return elapsed_; };
    clock.localTime = [](int& h, int& m, int& s) {
      h = 21;
      m = 4;
      s = 7;
    };
    logAttach(f, clock);
  }
  void TearDown() override {
    logDetach();
    std::remove(path_.c_str());
  }
  std::string path_;
  double elapsed_ = 0.031;
};

TEST(LogPrefix, PadsTimeAndRightAlignsSeconds) {
  EXPECT_EQ(logPrefix(21, 4, 7, 0.031), "21:04:07    0.031  ");
  EXPECT_EQ(logPrefix(0, 0, 0, 12345.6789), "00:00:00 12345.679  ");
}

TEST_F(LogFile, WritesPrefixMessageAndCrlf) {
  logLine("quit");
  elapsed_ = 2.5;
  logLine("stats: %.1f fps, %d flakes, %s", 29.96, 700, "ok");
  EXPECT_EQ(readAll(path_), "21:04:07    0.031  quit\r\n21:04:07    2.500  stats: 30.0 fps, 700 flakes, ok\r\n");
}

TEST_F(LogFile, KeepsUtf8BytesAndLongMessages) {
  const std::string ukrainian = "Сніг іде ❄ — 0.9.20";
  logLine("text %s", ukrainian.c_str());
  std::string big(3000, 'x');
  logLine("%s", big.c_str());
  auto lines = splitCrlf(readAll(path_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "21:04:07    0.031  text " + ukrainian);
  EXPECT_EQ(lines[1], "21:04:07    0.031  " + big);
}

TEST_F(LogFile, StopsAfterTheLineLimit) {
  for (int i = 1; i <= kLogLineLimit + 5; ++i) logLine("line %d", i);
  auto lines = splitCrlf(readAll(path_));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLogLineLimit));
  EXPECT_EQ(lines.back(), "21:04:07    0.031  line 20000");
  EXPECT_EQ(logLinesAttempted(), kLogLineLimit + 5);
}

TEST_F(LogFile, LinesFromManyThreadsStayWholeAndAreCountedExactly) {
  constexpr int kThreads = 8, kEach = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) logLine("worker %d line %d end", t, i);
    });
  for (auto& th : threads) th.join();
  auto lines = splitCrlf(readAll(path_));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEach));
  std::vector<int> perThread(kThreads, 0);
  for (const auto& l : lines) {
    int t = -1, i = -1;
    char tail[8] = {};
    ASSERT_EQ(std::sscanf(l.c_str(), "21:04:07    0.031  worker %d line %d %3s", &t, &i, tail), 3) << l;
    ASSERT_STREQ(tail, "end");
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(i, perThread[t]++) << "lines of one thread keep their order";
  }
  EXPECT_EQ(logLinesAttempted(), kThreads * kEach);
}

TEST(LogSafe, EscapesWhatCouldEndOrForgeALine) {
  struct Case {
    std::string outside;
    std::string logged;
  };
  const Case cases[] = {
      {"https://api.met.no/x?lat=59.9&lon=10.7", "https://api.met.no/x?lat=59.9&lon=10.7"},
      {"Київ ❄ — Zürich 😀", "Київ ❄ — Zürich 😀"},  // other text is kept as it is
      {"C:\\Users\\a b\\t.jpg", "C:\\Users\\a b\\t.jpg"},
      {"a\r\n21:04:07    0.031  quit", "a\\x0d\\x0a21:04:07    0.031  quit"},
      {std::string("\0\x01\x1f\t", 4), "\\x00\\x01\\x1f\\x09"},
      {"del\x7f", "del\\x7f"},
      {"nel\xc2\x85" "c1\xc2\x9f" "nbsp\xc2\xa0", "nel\\u0085c1\\u009fnbsp\xc2\xa0"},
      {"ls\xe2\x80\xa8ps\xe2\x80\xa9", "ls\\u2028ps\\u2029"},
      {"bad\xff\xc3", "bad\\xff\\xc3"},                  // not UTF-8: each byte escaped
      {"\xe2\x80", "\\xe2\\x80"},                        // a separator cut short
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(logSafe(c.outside), c.logged) << testing::PrintToString(c.outside);
}

TEST_F(LogFile, EscapedOutsideTextStaysOnItsLine) {
  const std::string answer = "Oslo\r\n21:04:07    0.031  update check: installing";
  logLine("town lookup: %s", logSafe(answer).c_str());
  auto lines = splitCrlf(readAll(path_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "21:04:07    0.031  town lookup: Oslo\\x0d\\x0a21:04:07    0.031  update check: installing");
}

TEST(LogClosed, WritesNothingButObserverSeesMessages) {
  logDetach();
  std::vector<std::string> seen;
  logSetObserver([&](const std::string& m) { seen.push_back(m); });
  logLine("paused %d", 1);
  logSetObserver(nullptr);
  EXPECT_FALSE(logIsOpen());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "paused 1");
}

}  // namespace
