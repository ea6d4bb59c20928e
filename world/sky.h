#pragma once
// The visitors of a world's sky and what they leave behind: Santa's flight
// and his gifts, the bullfinches, shooting stars, fireworks rockets and the
// sparks of both. The records live in SnowWorld; the steps that move them are
// its members (world/santa.cpp, world/birds.cpp, world/sky.cpp) and their
// drawing is in world/actor_drawing.h.

#include <array>
#include <string>
#include <vector>

namespace kovra {

// Santa's flight across the primary monitor; inactive most of the time.
struct SantaFlight {
  bool active = false;
  bool leftToRight = true;
  float speed = 0;          // pt/s along the path
  float length = 403.1f;    // the team's length that the path adds at both ends, pt
  float scale = 1.25f;      // 1.45 on worlds wider than 1700 pt
  float elapsed = 0;        // s since the start
  // Altitude profile: a smooth step from startY to endY with a bump and a
  // wave that both vanish at the ends.
  float startY = 0, endY = 0, bump = 0, waveAmp = 0, waveCycles = 0, wavePhase = 0;
  int giftsPlanned = 0, giftsDropped = 0;
  std::array<float, 3> dropAt{};  // progress fractions, ascending
  bool allDropped = false;
  float sparkleCarry = 0;   // sparkles owed to the trail
  float x = 0, y = 0;       // sleigh position, pt
  float heading = 0;        // drawn tilt, rad
  bool headingSet = false;
  float cheer = 0;          // 0..1, Santa waving
};

// Seconds from one flight's start to the next one's, drawn evenly between.
struct SantaInterval {
  float min = 1080, max = 1920;
};

// Length of a flight's path in pt, from its start off one side to its end
// off the other.
float santaPathLength(const SantaFlight& flight, float worldWidth);
// Altitude of the flight's profile after `distance` pt of its path.
float santaAltitude(const SantaFlight& flight, float worldWidth, float distance);

struct Gift {
  float x = 0, y = 0;
  float vx = 0, vy = 0;
  std::string driftKey;  // empty while airborne
  float offset = 0;      // from the drift's origin along it, pt
  float age = 0;         // s on the drift
  float tilt = 0, tiltTarget = 0;  // rad
  float alpha = 1;
  int picture = 10;      // sprite slot 10..12
  float sizeFactor = 1;  // 0.8..1.7
  bool covered = false;  // its spot lies under a window in front
};

// A spark of Santa's trail or of a firework burst.
struct Spark {
  float x = 0, y = 0, vx = 0, vy = 0;
  float age = 0, life = 1;  // s
  float size = 1;           // pt
  float shrinkRate = 0;     // per s, size *= 1 + rate * dt
  float brightness = 1;
  float fadeRate = 0;       // per s, added to brightness
  float gravity = 0;        // pt/s^2, added to vy
  int colour = 0;           // sprite slot it is drawn with
};

enum class BirdState { FlyingIn = 0, Perched = 1, FlyingAway = 2 };

struct Bird {
  BirdState state = BirdState::FlyingIn;
  float x = 0, y = 0, vx = 0, vy = 0;
  float driftOriginX = 0, driftOriginY = 0;  // where its drift was when it landed
  std::string driftKey;
  float offset = 0;       // spot along the drift from its origin, pt
  float age = 0;          // s; later birds of a flock start below 0
  float stay = 60;        // s it stays perched at most
  float nextAction = 1;   // s to the next peck, hop or turn
  float hop = 0;          // hop phase, counting down from 1
  float anim = 0;         // s, animation clock
  float peck = -1;        // -1 not pecking, else s into the peck
  bool facingRight = false;
};

struct Rocket {
  float x = 0, y = 0, vx = 0, vy = 0;
  float burstHeight = 0;
  float trailCarry = 0;
};

constexpr size_t kMaxGifts = 8;
constexpr size_t kMaxSparks = 2500;

}  // namespace kovra
