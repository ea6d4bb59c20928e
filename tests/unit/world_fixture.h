#pragma once
// What the world's tests share: inputs under which nothing comes by itself,
// stepping, drifts with snow in them, scenes of windows, the fixtures that
// hold a world, and a sink that keeps every drawing call.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "render/draw_sink.h"
#include "world/world.h"

namespace worldtest {

constexpr float kW = 1920, kH = 1080;  // a full-HD monitor, in points
constexpr float kStep = 0.05f;         // the step of the sky's tests
constexpr float kFrame = 1.0f / 60.0f; // the step of the calm world

// Whether lo <= v <= hi, saying which end is missed when not.
template <class T, class Lo, class Hi>
::testing::AssertionResult within(const T& v, const Lo& lo, const Hi& hi) {
  if (!(v >= lo)) return ::testing::AssertionFailure() << v << " is below " << lo;
  if (!(v <= hi)) return ::testing::AssertionFailure() << v << " is above " << hi;
  return ::testing::AssertionSuccess();
}

inline float total(const kovra::Drift& d) { return std::accumulate(d.heights.begin(), d.heights.end(), 0.0f); }

inline kovra::PointerInput pointerAt(float x, float y, bool pressed = false, int grabMode = 0) {
  kovra::PointerInput p;
  p.inside = true;
  p.x = x;
  p.y = y;
  p.pressed = pressed;
  p.grabMode = grabMode;
  return p;
}

// A drift with `snow` pt in every column.
inline kovra::Drift snowyDrift(const std::string& key, kovra::DriftKind kind, float x, float y, float width,
                               float snow) {
  kovra::Drift d = kovra::makeDrift(key, kind, x, y, width);
  std::fill(d.heights.begin(), d.heights.end(), snow);
  return d;
}

// No snowfall, no Santa, no birds, no shooting stars and no garland.
inline kovra::WorldInput quietSky() {
  kovra::WorldInput in;
  in.snowfall = in.santa = in.birds = in.stars = in.garland = false;
  return in;
}

// The same with one of them back on.
inline kovra::WorldInput quietSkyWith(bool kovra::WorldInput::*on) {
  kovra::WorldInput in = quietSky();
  in.*on = true;
  return in;
}

// `seconds` of steps of kStep with the same input and pointer.
inline void run(kovra::SnowWorld& w, float seconds, const kovra::WorldInput& in = quietSky(),
                const kovra::PointerInput& p = {}) {
  for (int i = 0; i < static_cast<int>(std::lround(seconds / kStep)); ++i) w.stepWorld(kStep, in, p, 0.0);
}

inline kovra::SceneWindow win(uint64_t handle, float x, float y, float width, float height, bool noDrift = false) {
  return kovra::SceneWindow{handle, kovra::Rect{x, y, width, height}, noDrift};
}

// The windows, with a 40-pt taskbar with snow on it along the bottom unless
// told otherwise.
inline kovra::SurfaceScene scene(std::vector<kovra::SceneWindow> windows, bool taskbar = true, bool pressed = false) {
  kovra::SurfaceScene s;
  s.windows = std::move(windows);
  if (taskbar) {
    s.taskbarPresent = true;
    s.taskbar = kovra::Rect{0, 0, kW, 40};
    s.taskbarDrift = true;
  }
  s.pressed = pressed;
  return s;
}

// A world of `width` x `height` pt, with star flakes forced off and a clock
// for the scene updates and steps a test makes.
class WorldFixture : public ::testing::Test {
 protected:
  WorldFixture(float width, float height, uint64_t seed, double start = 0) : w(width, height, seed), now(start) {}
  void SetUp() override { kovra::SnowWorld::setTestStarsForTesting(false); }

  // The scene handed to the drift manager `after` s past the last one.
  void updateScene(const kovra::SurfaceScene& s, double after = 0) {
    now += after;
    w.updateDrifts(s, in, now);
  }
  // The drift a test expects the world to have.
  kovra::Drift& drift(const std::string& key) {
    kovra::Drift* d = w.findDrift(key);
    EXPECT_NE(d, nullptr) << key;
    return *d;
  }

  kovra::SnowWorld w;
  kovra::WorldInput in;
  double now;
};

// A calm world without snowfall or wind, stepped at 60 frames a second: only
// what the tests put there moves.
class CalmWorld : public WorldFixture {
 protected:
  CalmWorld(float width, float height, uint64_t seed) : WorldFixture(width, height, seed) {
    in.snowfall = false;
    in.wind = 0.0f;
  }
  void step(const kovra::PointerInput& p = kovra::PointerInput{}) {
    now += kFrame;
    w.stepWorld(kFrame, in, p, now);
  }
  void idle(float seconds) {
    for (int i = 0; i < static_cast<int>(seconds * 60.0f + 0.5f); ++i) step();
  }
};

// ------------------------------------------------------------ drawing

struct SinkCall {
  std::string op;  // "drift", "flake", "sprite", "circle", "line", "triangle"
  int index = -1;
  float x = 0, y = 0, w = 0, h = 0, angle = 0, opacity = 0;
  float x1 = 0, y1 = 0;  // a line's other end
  bool mirrored = false, additive = false;
  kovra::Rgba colour;
  size_t runs = 0;  // a drift's
  uint64_t version = 0;
};

struct Recorder final : kovra::DrawSink {
  std::vector<SinkCall> calls;

  void drawDrift(const kovra::DriftDraw& d) override {
    SinkCall& c = add("drift", {d.originX, d.baseY}, 0);
    c.runs = d.runs.size();
    c.version = d.version;
  }
  void drawFlake(const kovra::FlakeDraw& f) override { add("flake", {f.x, f.y}, f.size).opacity = f.opacity; }
  void drawSprite(const kovra::SpriteDraw& s) override {
    SinkCall& c = add("sprite", {s.x, s.y}, s.width);
    c.index = s.index;
    c.h = s.height;
    c.angle = s.angle;
    c.opacity = s.opacity;
    c.mirrored = s.mirrored;
    c.additive = s.additive;
  }
  void fillCircle(kovra::DrawPoint centre, float radius, const kovra::Rgba& colour) override {
    add("circle", centre, radius, &colour);
  }
  void drawLine(kovra::DrawPoint p0, kovra::DrawPoint p1, float width, const kovra::Rgba& colour) override {
    SinkCall& c = add("line", p0, width, &colour);
    c.x1 = p1.x;
    c.y1 = p1.y;
  }
  void fillTriangle(kovra::DrawPoint p0, kovra::DrawPoint, kovra::DrawPoint, const kovra::Rgba& colour) override {
    add("triangle", p0, 0, &colour);
  }

  std::vector<SinkCall> sprites(int first, int last) const {
    std::vector<SinkCall> out;
    for (const SinkCall& c : calls) {
      if (c.op == "sprite" && c.index >= first && c.index <= last) out.push_back(c);
    }
    return out;
  }
  int count(const std::string& op) const {
    int n = 0;
    for (const SinkCall& c : calls) n += c.op == op;
    return n;
  }
  // Whether any call has this colour, alpha aside.
  bool hasColour(const kovra::Rgba& c) const {
    return std::any_of(calls.begin(), calls.end(), [&](const SinkCall& k) {
      return std::fabs(k.colour.r - c.r) < 1e-4f && std::fabs(k.colour.g - c.g) < 1e-4f &&
             std::fabs(k.colour.b - c.b) < 1e-4f;
    });
  }

 private:
  // A call at a point with a size; a colour also gives the call its opacity.
  SinkCall& add(const char* op, kovra::DrawPoint at, float size, const kovra::Rgba* colour = nullptr) {
    SinkCall c{op};
    c.x = at.x;
    c.y = at.y;
    c.w = size;
    if (colour) {
      c.colour = *colour;
      c.opacity = colour->a;
    }
    calls.push_back(c);
    return calls.back();
  }
};

}  // namespace worldtest
