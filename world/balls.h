#pragma once
// Snow the user picks up: snowballs and heaps, the hand that carries them,
// and the shovel that turns up when the cursor scrapes the screen bottom.
// The records live in SnowWorld; the rules are SnowWorld members in
// world/balls.cpp (balls and the hand) and world/loose_snow.cpp (clumps,
// sweeping and the shovel).

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "world/drift.h"

namespace kovra {

constexpr int kMaxBalls = 40;
constexpr float kBallStartArea = 113.097336f;  // radius 6
constexpr float kBallMaxArea = 13273.229f;     // radius 65

// Snowman roles.
constexpr int kRoleNone = 0;
constexpr int kRoleHead = 1;
constexpr int kRoleBody = 2;

// max(4, sqrt(area / pi)).
float ballRadius(float area);

struct Snowball {
  float x = 0, y = 0;          // centre, pt
  float vx = 0, vy = 0;        // pt/s
  float radius = 6;
  float area = kBallStartArea; // snow in the ball, pt²
  bool heap = false;           // an armful made with Alt, not a rolled ball
  bool held = false;
  Drift* drift = nullptr;      // the drift it rests on
  Snowball* sitsOn = nullptr;  // the ball it rests on
  bool onGround = false;       // resting on the screen bottom
  bool shatter = false;        // bursts at the end of this step
  bool thrownHeap = false;     // a heap let go: it splats on its first landing
  bool splat = false;          // splats into a drift at the end of this step
  float impactVx = 0, impactVy = 0;
  float tilt = 0;              // lean of a flying heap, rad
  int role = kRoleNone;
  bool covered = false;        // hidden behind a window in front
  float coveredTime = 0;       // s covered while lying on the ground
  bool variant = false;        // drawing variant (the green scarf)
  float drawX = 0, drawY = 0;  // smoothed position for drawing
  bool drawValid = false;

  bool resting() const { return drift != nullptr || onGround || sitsOn != nullptr; }
};

// A ball put away with the drift it rested on while that drift's window is
// out of sight, at its offset from the drift's origin.
struct StoredBall {
  std::unique_ptr<Snowball> ball;
  float offsetX = 0, offsetY = 0;
};

struct PathSample {
  float x = 0, y = 0, t = 0;  // t: world clock
};

struct Hand {
  Snowball* ball = nullptr;          // the held ball
  float offsetX = 0, offsetY = 0;    // ball centre minus pointer at the grab
  float vx = 0, vy = 0;              // how fast the hand carries the ball, pt/s
  std::array<PathSample, 10> path{}; // newest last
  int pathCount = 0;
  float modifierTime = 0;            // s the grab modifier has been held
  bool modifierHold = false;         // the hold came from Alt or Ctrl
  bool buttonHold = false;           // the hold came from a mouse button
};

// The snow shovel that gathers what the cursor scrapes off the taskbar and
// the ground, and flings it off.
struct Shovel {
  float load = 0;              // 0..140
  float direction = 1;         // +1 right, -1 left
  float ledge = 0;             // height of the drift it scrapes
  float lastGather = -1.0e9f;  // world clock of the last gathering
  float x = 0, y = 0;
  float visibility = 0;        // 0..1
  float lean = 0;              // rad
  float kick = 0;              // 0..1, right after a fling
};

}  // namespace kovra
