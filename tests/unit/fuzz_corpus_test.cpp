// Every input the fuzzers kept (and every seed) goes through the parsers
// again here, under the sanitizers of the unit tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.h"

namespace {

std::filesystem::path corpusDir() {
#ifdef QUILLAR_FUZZ_CORPUS
  return QUILLAR_FUZZ_CORPUS;
#else
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus";
#endif
}

std::vector<std::filesystem::path> filesIn(const std::string& name) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(corpusDir() / name, ec))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string readAll(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

template <typename Check>
void runCorpus(const std::string& name, size_t atLeast, Check check) {
  auto files = filesIn(name);
  ASSERT_GE(files.size(), atLeast) << "corpus " << (corpusDir() / name) << " is missing or thin";
  for (const auto& file : files) {
    const std::string input = readAll(file);
    auto start = std::chrono::steady_clock::now();
    std::string problem = check(input);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(problem, "") << file.filename();
    // Each input is small; anything slow points at a runaway loop.
    EXPECT_LT(seconds, 2.0) << file.filename();
  }
}

TEST(FuzzCorpus, JsonInputsKeepTheReadersProperties) { runCorpus("json", 20, fuzzcheck::checkJson); }

TEST(FuzzCorpus, UrlInputsKeepTheParsersProperties) { runCorpus("url", 10, fuzzcheck::checkUrl); }

TEST(FuzzCorpus, PackageInputsKeepTheReadersProperties) {
  runCorpus("package", 10, [](const std::string& input) {
    std::string problem = fuzzcheck::checkPackage(input);
    return problem.empty() ? fuzzcheck::checkVersions(std::string_view(input).substr(0, 200)) : problem;
  });
}

// The package checks must be able to fail: a name that climbs out, a reading
// that differs from the layout.
TEST(FuzzCorpus, PackageChecksNoticeEscapes) {
  EXPECT_FALSE(fuzzcheck::staysInside("a/../b/.. "));
  EXPECT_FALSE(fuzzcheck::staysInside("C:x"));
  EXPECT_FALSE(fuzzcheck::staysInside("\\\\server\\x"));
  EXPECT_TRUE(fuzzcheck::staysInside("Wallpapers/thumbs/a.jpg"));
  auto ref = fuzzcheck::refEntries(std::string("QLRPACK1\x01\x00" "a\x02\x00\x00\x00" "xy\x01", 18));
  ASSERT_EQ(ref.size(), 1u);
  EXPECT_EQ(ref[0].name, "a");
  EXPECT_EQ(ref[0].data, 15u);
  EXPECT_EQ(ref[0].size, 2u);
}

// The checks themselves must be able to fail, or the corpus proves nothing.
TEST(FuzzCorpus, ChecksNoticeBrokenTrees) {
  JsonValue a, b;
  a.kind = b.kind = JsonKind::Number;
  a.number = 0.0;
  b.number = -0.0;
  EXPECT_FALSE(fuzzcheck::same(a, b));
  b.number = 0.0;
  EXPECT_TRUE(fuzzcheck::same(a, b));
  JsonValue s;
  s.kind = JsonKind::String;
  s.text = std::string("q\"\\\x01\xff", 5);
  std::string text;
  fuzzcheck::write(text, s);
  EXPECT_EQ(text, "\"q\\\"\\\\\\u0001\xff\"");
  auto back = jsonParse(text);
  ASSERT_TRUE(back);
  EXPECT_FALSE(fuzzcheck::same(*back, s)) << "the reader repairs the stray byte";
  EXPECT_FALSE(fuzzcheck::allTextValid(s));
  EXPECT_TRUE(fuzzcheck::allTextValid(*back));
  s.text = "q\"\\\x01\xef\xbf\xbd";
  EXPECT_TRUE(fuzzcheck::same(*back, s));
  JsonValue deep;
  deep.kind = JsonKind::Array;
  for (int i = 0; i < 3; ++i) {
    JsonValue outer;
    outer.kind = JsonKind::Array;
    outer.items.push_back(std::move(deep));
    deep = std::move(outer);
  }
  EXPECT_EQ(fuzzcheck::depthOf(deep), 4);
  EXPECT_EQ(fuzzcheck::valueCount(deep), 4u);
}

// The UTF-8 reference must tell the cases apart that the program gets wrong
// most easily, or the URL limits and the reader's output go unchecked.
TEST(FuzzCorpus, Utf8ReferenceJudgesSequences) {
  struct Case {
    std::string bytes;
    size_t units;
    bool valid;
  };
  const Case cases[] = {
      {"a\xc3\xa9\xe2\x82\xac", 3, true},
      {"\xf0\x9f\x98\x80", 2, true},
      {"\x80\xbf", 2, false},              // stray continuation bytes
      {"\xf8\x90\x80\x80", 4, false},      // a five-byte lead
      {"\xff", 1, false},
      {"\xc0\x80", 2, false},              // overlong
      {"\xed\xbf\xbf", 3, false},          // an encoded surrogate
      {"\xf4\x90\x80\x80", 4, false},      // above U+10FFFF
      {"\xe2\x82", 2, false},              // cut short
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fuzzcheck::utf16Units(c.bytes), c.units) << testing::PrintToString(c.bytes);
    EXPECT_EQ(fuzzcheck::validUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
