#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/grow_read.h"

namespace {

// Behaves as GetModuleFileNameW does with a path of `length` characters: a
// buffer too small gets the path cut to capacity - 1 characters plus the
// terminator, and the answer is the capacity.
struct FakeModulePath {
  std::wstring path;
  int calls = 0;
  size_t operator()(wchar_t* buf, size_t capacity) {
    ++calls;
    size_t n = path.size() < capacity ? path.size() : capacity - 1;
    path.copy(buf, n);
    buf[n] = L'\0';
    return path.size() < capacity ? n : capacity;
  }
};

TEST(ReadGrowing, ReadsPathsOfAnyLengthTheSystemAllows) {
  for (size_t length : {4u, 259u, 260u, 261u, 300u, 1000u, 32767u}) {
    FakeModulePath fake{L"C:\\" + std::wstring(length - 3, L'q')};
    ASSERT_EQ(fake.path.size(), length);
    EXPECT_EQ(readGrowing<wchar_t>(std::ref(fake), 260, 32768), fake.path) << length;
  }
  FakeModulePath once{L"C:\\short.exe"};
  readGrowing<wchar_t>(std::ref(once));
  EXPECT_EQ(once.calls, 1);
}

TEST(ReadGrowing, GivesNothingRatherThanACutPath) {
  FakeModulePath tooLong{std::wstring(40000, L'x')};
  EXPECT_EQ(readGrowing<wchar_t>(std::ref(tooLong), 260, 32768), L"");
  EXPECT_EQ(readGrowing<wchar_t>([](wchar_t*, size_t) { return size_t{0}; }), L"");
}

}  // namespace
