#pragma once
// Drifts: ledges of snow made of 2-pt columns, how falling snow finds and
// fills them, how windows in front limit them, how they settle, and the
// outline the painter fills. The world's drift manager (world/surfaces.h)
// lays them out from the desktop; world/drift_events.h moves and empties them.

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/draw_sink.h"  // OutlinePoint
#include "world/random.h"

namespace kovra {

enum class DriftKind { Window = 0, Taskbar = 1, Ground = 2 };

// Highest snow a column of this kind may hold, pt.
float driftCap(DriftKind kind);

// A rectangle in world points: lower-left corner, y up.
struct Rect {
  float x = 0, y = 0, width = 0, height = 0;
};

// Snow pushed off a newly covered part that found no room, thrown from
// `column` towards `direction` (-1 left, +1 right).
struct CrumbleEvent {
  int column = 0;
  float amount = 0;
  int direction = 1;
};

// A column that was just covered; balls resting near it are knocked towards
// `direction`.
struct LaunchColumn {
  int column = 0;
  int direction = 1;
};

struct Drift {
  std::string key;               // "w<handle>", "bar" or "ground"
  DriftKind kind = DriftKind::Ground;
  float cap = 30;                // pt
  float x = 0, y = 0;            // left end and height of the ledge, world points
  int columns = 1;               // 2-pt columns
  float span = 0;                // width of the ledge as laid out, pt; the columns cover int(span / 2) x 2 of it
  std::vector<float> heights;    // snow per column, pt
  std::vector<float> limits;     // room per column; under 0.5 the column is hidden
  bool dirty = true;             // the outline must be rebuilt
  double lastRebuild = -1;       // -1 forces a rebuild
  double lastSeen = 0;           // frame-tick time of the last scene update
  float liftSpeed = 0;           // recent upward speed of the dragged window, pt/s
  double liftTime = 0;           // when liftSpeed was recorded
  float spillLeft = 0, spillRight = 0;
  int zRank = -1;                // window drifts: windows in front of its own (its index among the occluders); -1 for others
  int sceneIndex = 0;            // position of the entry in the scene list
  // Runs of visible snow, left to right, each a polyline of (x, height)
  // points relative to (x, y); rebuilt from the heights.
  std::vector<std::vector<OutlinePoint>> outline;
  int outlineVersion = 0;        // raised by every rebuild
  bool sweepFlip = false;        // alternates the settling direction
  int quietPasses = 0;           // settling passes in a row that changed nothing
  std::vector<CrumbleEvent> crumbleEvents;  // waiting to be thrown
  std::vector<LaunchColumn> launchColumns;  // of the last limits update
};

// A fresh, empty drift spanning [x, x + width] at height y: max(1, int(width / 2))
// columns, the kind's cap, every column with full room.
Drift makeDrift(std::string key, DriftKind kind, float x, float y, float width);

// The ledge's width: the span it was laid out with, or columns x 2 when the
// span does not give its column count (a drift put together by hand).
float ledgeWidth(const Drift& drift);

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

// The smoothed height of column c as drawn: 0 where the column is hidden or
// outside the drift.
float smoothHeight(const Drift& drift, int column);

// Room per column from the windows and taskbar in front: `room` is how far
// the screen reaches above the ledge; an occluder across the ledge hides the
// columns it covers, one above it lowers their room.
void computeLimits(Drift& drift, const std::vector<Rect>& occluders, float room);

// After computeLimits on a window drift that already existed: the snow of
// columns that `before` showed and that are now covered slides into the open
// part next to them (recorded as launch columns); what finds no room becomes
// crumble events. Wider covers (more than 40 columns at once) leave the snow
// hidden where it is.
void pushCoveredSnow(Drift& drift, const std::vector<float>& before);

// One settling pass: steep steps between neighbours slump, and snow at the
// ends gathers into the spill. True when anything moved. Hidden columns
// neither give nor take.
bool settleDrift(Drift& drift);

// Rebuilds the outline from the heights; clears dirty, raises the version.
void rebuildOutline(Drift& drift, double now);

// Snow a drift kept while its window was out of sight.
struct RememberedSnow {
  float width = 0;             // columns x 2, pt
  std::vector<float> heights;
};

// Brings remembered snow back into a fresh drift: the same size gets its
// heights back, a taskbar or the ground of another size gets them stretched,
// a window of another width starts empty. Sizes are compared as columns x 2
// on both sides, since the ledge itself may be up to 2 pt wider than its
// columns. True when any snow came back.
bool restoreSnow(Drift& drift, const RememberedSnow& stored);

// The remembered drifts of a world, oldest first, at most kCapacity keys.
class DriftMemory {
 public:
  static constexpr size_t kCapacity = 80;

  // Replaces the entry of the drift's key with a copy of its heights and
  // makes it the newest; beyond the capacity the oldest is dropped.
  void remember(const Drift& drift);
  // Removes and returns the entry of `key`.
  std::optional<RememberedSnow> take(const std::string& key);
  const RememberedSnow* find(const std::string& key) const;
  bool contains(const std::string& key) const { return entries_.count(key) != 0; }
  size_t size() const { return order_.size(); }
  const std::vector<std::string>& order() const { return order_; }
  void clear();

 private:
  std::unordered_map<std::string, RememberedSnow> entries_;
  std::vector<std::string> order_;  // oldest first
};

}  // namespace kovra
