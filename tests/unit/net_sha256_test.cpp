#include <gtest/gtest.h>

#include <string>

#include "net/sha256.h"

namespace {

// A byte pattern with no short period, so every block differs.
std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) % 251);
  return s;
}

TEST(Sha256, StandardTestVectors) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sha256Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                      "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, EveryByteValueAndEmbeddedZeros) {
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
  EXPECT_EQ(sha256Hex(all), "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
  EXPECT_EQ(sha256Hex(all.data(), all.size()), sha256Hex(all));
}

// Lengths around the padding edges (55/56 bytes fit one final block or not).
TEST(Sha256, LengthsAroundBlockAndPaddingEdges) {
  const struct {
    size_t length;
    const char* digest;
  } cases[] = {
      {1, "ca358758f6d27e6cf45272937977a748fd88391db679ceda7dc7bf1f005ee879"},
      {55, "e40272620990d5f772101e014a0fe168d9ab13215739a04bdcb4b9cadc303c75"},
      {56, "5b3154594d65c2a11e797576e2b4ece47f48373d8acfc0ae2cc3b87ca7adaedc"},
      {57, "bd73274967a968a1d4353b4096741c1c880d2356d44c63f0e7916c8efe59bccc"},
      {63, "2caeed71c024d190f2f9633bdac2b8f283b1cb86dfe7709023ab70f11f747a1b"},
      {64, "3483dc12a3fea6618642162f88124ea56e797597a97483d5ba597a42d98aaf6b"},
      {65, "3a513663aae909c328f43e2d74265dc5ec35495c99dfde7b8f9dd37f297dfa40"},
      {111, "615aead7800ce6fbb9882c9d6c6693dad39942e7b225f070362a388eb5377572"},
      {119, "c06b1fcfb8d206bb4fe8e8cde10de7af236f619ff29c720de0083f7377491fd9"},
      {120, "f425d2567f5c636c99335e5e8bb04669475b3b8b6f7523bbabbd11115cef8550"},
      {127, "2388ace1b8d638348c6720ec543c3dc1a2db3d73bf5c5f029536827b27b9b45f"},
      {128, "43a42610c7b657d1ce21bf0255e86be7ea01aa9dddf0701f596e99a4c6f61001"},
      {129, "35b3c29046f207cfca0f9e23b9ed7f9fd19084699c413286eadbc80833f374b6"},
      {1000, "008549d94fa71e7a0a483d84380d05a923a4b18e79ba1f8a8ddac923956d32ef"},
  };
  for (const auto& c : cases) EXPECT_EQ(sha256Hex(pattern(c.length)), c.digest) << c.length << " bytes";
}

TEST(Sha256, LargeInputFedWholeAndInOddChunks) {
  const std::string data = pattern(5 * 1024 * 1024 + 3);
  const char* expected = "373194dfcd4489387b91b9af640fbaac63522d745040cbbe5c7c22c0394e004d";
  EXPECT_EQ(sha256Hex(data), expected);

  Sha256 hash;
  size_t at = 0, step = 1;
  while (at < data.size()) {
    size_t n = std::min(step, data.size() - at);
    hash.update(data.data() + at, n);
    at += n;
    step = step * 7 % 9973 + 1;  // sizes from 1 byte to several blocks, never aligned for long
  }
  EXPECT_EQ(hash.finishHex(), expected);
}

TEST(Sha256, SplitAtEveryPointOfASmallMessageAndReset) {
  const std::string data = pattern(130);
  const std::string whole = sha256Hex(data);
  Sha256 hash;
  for (size_t cut = 0; cut <= data.size(); ++cut) {
    hash.reset();
    hash.update(data.substr(0, cut));
    hash.update(std::string_view());
    hash.update(data.substr(cut));
    ASSERT_EQ(hash.finishHex(), whole) << "cut at " << cut;
  }
}

}  // namespace
