#pragma once
// SHA-256 (FIPS 180-4), for checking downloads against their expected digests.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Incremental form, for files fed in chunks.
class Sha256 {
 public:
  Sha256();
  void update(const void* data, size_t size);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // 64 lower-case hex digits; the object is spent afterwards (call reset()).
  std::string finishHex();
  void reset();

 private:
  void block(const unsigned char* p);
  uint32_t h_[8];
  unsigned char buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes fed so far
};

std::string sha256Hex(std::string_view bytes);
std::string sha256Hex(const void* data, size_t size);
