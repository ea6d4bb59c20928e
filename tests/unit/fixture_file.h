#pragma once
// The bytes of one of the real service answers kept in tests/fixtures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string readFixtureFile(const std::string& name) {
#ifdef QUILLAR_TEST_FIXTURES
  std::filesystem::path dir = QUILLAR_TEST_FIXTURES;
#else
  std::filesystem::path dir = std::filesystem::path(__FILE__).parent_path().parent_path() / "fixtures";
#endif
  std::ifstream f(dir / name, std::ios::binary);
  EXPECT_TRUE(f) << "missing fixture " << (dir / name);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}
