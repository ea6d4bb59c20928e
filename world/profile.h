#pragma once
// How hard it snows: one row of constants per snow level, with the rate and
// the flake limit scaled by the density the frame tick hands in.

namespace kovra {

struct SnowfallProfile {
  float rate = 0;           // flakes per second per 1000 pt of width
  float fallSpeed = 0;      // pt/s
  float windFactor = 0;
  int maxFlakes = 60;       // falling flakes allowed at once (clumps and powder not counted)
  float sizeBase = 0;       // pt
  float sizeSpread = 0;     // pt, times the flake's depth
  float swayFactor = 1;
  float snowFactor = 1;     // scales the snow a tumbling flake carries
  bool tumbling = false;    // flakes use the tumbling motion
  float heroChance = 0;     // share of large foreground flakes among tumbling ones
  float waveAmplitude = 0;  // pt/s of the slow sideways wave of tumbling flakes
  float crystalChance = 0;
};

// Levels 0, 1 and 2 have their own rows; any other level gets the quiet
// default row (no flakes, limit 60). A density that is not a finite positive
// number counts as 0.
SnowfallProfile snowfallProfile(int level, float density);

}  // namespace kovra
