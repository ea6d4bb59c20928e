// libFuzzer target: the package reader and the version order on arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string problem = fuzzcheck::checkPackage(input);
  if (problem.empty()) problem = fuzzcheck::checkVersions(input.substr(0, 200));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
