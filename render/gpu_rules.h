#pragma once
// The GPU renderer's rules that need no device: which flake bitmap stands in
// for a flake of a given size, the on-screen check with its dot and its
// misses, and where a drift's cached shapes land on the monitor.

#include <array>
#include <span>
#include <utility>
#include <cstdint>
#include <string>
#include <vector>

#include "render/draw_sink.h"

namespace kovra {

// Sides in pixels of the pre-drawn flake bitmaps, smallest first.
constexpr std::array<int, 7> kFlakeBitmapSides = {6, 9, 13, 18, 26, 36, 52};

// The index in kFlakeBitmapSides of the smallest bitmap at least `side` px
// wide; the largest when none is.
int flakeBitmapFor(float side);

// The flake picture rendered into a side x side premultiplied BGRA bitmap,
// every pixel the mean of 4 x 4 samples.
std::vector<uint32_t> flakeBitmapPixels(int side);

// The flake's square (side `side` px around the centre) meets the monitor.
bool flakeSquareVisible(float cx, float cy, float side, float widthPx, float heightPx);

// The stroke width in pixels that lays as much colour across a line as the
// CPU painter's line of `widthPx` (whose edges are soft by half a pixel, so a
// line of no width still shows faintly).
float strokeWidthFor(float widthPx);

// Frames after an attach before the check dot is drawn, and after a miss.
constexpr int kCheckFramesAfterAttach = 25;
constexpr int kCheckFramesAfterMiss = 20;
constexpr int kCheckMissesToSwitch = 3;

// Counts one frame of an overlay towards its check: only fully shown frames
// count. True on the frame that must carry the dot (the countdown going from
// 1 to 0); a countdown at 0 stays there, so checking has ended.
bool checkFrameDue(int& countdown, float opacity);

// The screen pixel as GetPixel reports it (0x00BBGGRR, CLR_INVALID when it
// could not be read) shows the magenta dot.
constexpr uint32_t kInvalidPixel = 0xFFFFFFFFu;
bool checkDotSeen(uint32_t pixel);

enum class CheckOutcome { Seen, Again, Switch };

// Counts a check's result: a miss adds to the renderer's `misses` (shared by
// all its monitors) and, before the third, restarts the overlay's countdown.
CheckOutcome checkCount(uint32_t pixel, int& misses, int& countdown);

// The log line of a check's outcome.
std::string checkLogLine(CheckOutcome outcome, uint32_t pixel);

// An affine map of (x, y) to (m11 x + m21 y + dx, m12 x + m22 y + dy), as
// Direct2D's row-vector matrices hold it.
struct Affine {
  float m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
};

DrawPoint applyAffine(const Affine& m, DrawPoint p);

// Maps a drift-local (x along the drift, height up) to the monitor's pixels.
Affine driftToPixels(float originX, float baseY, float heightDip, float scale);

// The figures of a drift in drift-local units: for each run of two points or
// more, the body (closed, from the first x at -0.6 along the profile to the
// last x at -0.6) and the rim (open, along the profile).
struct DriftFigures {
  std::vector<std::vector<DrawPoint>> bodies;
  std::vector<std::vector<DrawPoint>> rims;
};
DriftFigures driftFigures(std::span<const std::vector<OutlinePoint>> runs);

// Maps a bitmap's pixels, centred on the origin, onto a sprite's place: scaled
// to its size in pixels (mirrored: flipped left to right), turned by its angle
// counter-clockwise on screen, moved to its centre.
Affine spriteToPixels(const SpriteDraw& sprite, int bitmapWidth, int bitmapHeight, float heightDip, float scale);

// A few numbers of a drift's outline that tell a drift made anew at the
// address of a gone one (whose version may well be the same) from the old.
struct DriftFingerprint {
  size_t runs = 0, points = 0;
  float firstX = 0, lastX = 0, firstHeight = 0;
  bool operator==(const DriftFingerprint&) const = default;
};
DriftFingerprint driftFingerprint(std::span<const std::vector<OutlinePoint>> runs);

// The drift shapes a monitor keeps, by drift: rebuilt only when the drift's
// shape version moves. `Shape` is the renderer's own geometry type.
template <typename Shape>
struct DriftShapeCache {
  struct Entry {
    uint64_t version = 0;
    DriftFingerprint print;
    Shape shape{};
    bool used = false;
  };
  // Keyed by where the drift keeps its runs: stable while its outline stays.
  std::vector<std::pair<const void*, Entry>> entries;

  // The entry of a drift; `stale` when its shape must be (re)built. The new
  // version and fingerprint are stored, so build the shape right after.
  Entry& find(const DriftDraw& drift, bool& stale) {
    const void* key = drift.runs.data();
    const DriftFingerprint print = driftFingerprint(drift.runs);
    for (auto& [k, e] : entries)
      if (k == key) {
        stale = e.version != drift.version || !(e.print == print);
        e.version = drift.version;
        e.print = print;
        e.used = true;
        return e;
      }
    entries.push_back({key, Entry{drift.version, print, Shape{}, true}});
    stale = true;
    return entries.back().second;
  }
  // Drops entries no drift asked for since the last sweep.
  void sweep() {
    std::erase_if(entries, [](const auto& kv) { return !kv.second.used; });
    for (auto& kv : entries) kv.second.used = false;
  }
};

}  // namespace kovra
