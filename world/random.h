#pragma once
// The snow world's random generator: a 64-bit xorshift, small, fast and the
// same on every platform, so a world replays exactly from its seed.

#include <cstdint>

namespace kovra {

struct WorldRandom {
  uint64_t state = 1;  // never 0: xorshift would stay at 0 for ever

  constexpr WorldRandom() = default;
  constexpr explicit WorldRandom(uint64_t seed) : state(seed) {}

  // One draw in [0,1) as a double (53 significant bits).
  constexpr double nextDouble() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  }

  // The same draw narrowed to float, as the simulation uses it. The rounding
  // can give exactly 1.0f for the largest draws, which is why index
  // computations from a draw always reduce modulo their range.
  constexpr float next() { return static_cast<float>(nextDouble()); }
};

}  // namespace kovra
