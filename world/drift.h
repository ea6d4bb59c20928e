#pragma once
// Drifts: ledges of snow made of 2-pt columns, and how falling snow finds
// and fills them. The drift manager that lays drifts out from the desktop's
// windows, settles them and rebuilds their outlines builds on this record.

#include <optional>
#include <string>
#include <vector>

#include "world/random.h"

namespace kovra {

enum class DriftKind { Window = 0, Taskbar = 1, Ground = 2 };

// Highest snow a column of this kind may hold, pt.
float driftCap(DriftKind kind);

struct Drift {
  std::string key;               // "w<handle>", "bar" or "ground"
  DriftKind kind = DriftKind::Ground;
  float cap = 30;                // pt
  float x = 0, y = 0;            // left end and height of the ledge, world points
  int columns = 1;               // 2-pt columns
  std::vector<float> heights;    // snow per column, pt
  std::vector<float> limits;     // room per column; under 0.5 the column is hidden
  bool dirty = true;             // the outline must be rebuilt
  double lastRebuild = -1;       // -1 forces a rebuild
  float spillLeft = 0, spillRight = 0;
  int zRank = -1;                // window drifts: position among them, front first
  int sceneIndex = 0;            // position of the entry in the scene list
  int quietPasses = 0;           // settling passes in a row that changed nothing
};

// A fresh, empty drift spanning [x, x + width] at height y: max(1, int(width / 2))
// columns, the kind's cap, every column with full room.
Drift makeDrift(std::string key, DriftKind kind, float x, float y, float width);

struct Landing {
  Drift* drift = nullptr;
  int column = 0;
  float surface = 0;  // world height of the snow surface hit
};

// The highest snow surface crossed by something falling at x from yFrom down
// to yTo, searched over `drifts` in their list order (window drifts only with
// anyDrift). Snow crossing a back window's ledge where a lower window in front
// also has room under x is refused with chance 0.7, one draw from `random`.
std::optional<Landing> findLanding(const std::vector<Drift*>& drifts, float x, float yFrom, float yTo,
                                   bool anyDrift, WorldRandom& random);

// Snow arriving in column c: half stays there, a quarter goes to each
// neighbour, no column rising above min(cap, limit).
void addSnow(Drift& drift, int column, float amount);

}  // namespace kovra
