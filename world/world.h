#pragma once
// One monitor's snow: the falling flakes and loose clumps, the drifts they
// settle on, and the step that moves it all one frame on. Everything is in
// points of that monitor, x to the right, y up from its bottom edge.
//
// The step is a pure function of the world's state and its arguments: no
// clock is read and all chance comes from the world's own generators, so a
// world replays exactly from its seed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "world/balls.h"
#include "world/drift.h"
#include "world/profile.h"
#include "world/random.h"
#include "world/sky.h"
#include "world/surfaces.h"

namespace kovra {

// What became of a window whose drift vanished.

// The snow settings of one frame, built by the frame tick.
struct WorldInput {
  bool snowfall = true;   // new flakes are made
  int level = 1;          // 0, 1 or 2; anything else: no snowfall
  float density = 1.0f;   // scales the rate and the flake limit
  float wind = 0.14f;     // -1 .. 1, positive to the right
  bool onWindows = true, sweep = true, santa = true, birds = true, stars = true, garland = false;
};

// The cursor as this monitor sees it.
struct PointerInput {
  bool inside = false;   // the cursor lies on this monitor
  float x = 0, y = 0;    // points, y up
  bool pressed = false;  // any mouse button is down
  int grabMode = 0;      // 1 Alt alone, 2 Ctrl alone, else 0
};

struct Vec2 {
  float x = 0, y = 0;
};

// One flake or clump. The list is unordered.
struct Particle {
  float x = 0, y = 0;
  float vx = 0, vy = 0;        // flakes: a decaying push; clumps: the velocity
  float size = 1;              // pt
  float depth = 0;             // 0..1, larger is nearer, bigger, faster
  float phase = 0;             // sway phase, rad
  float swayRate = 1;          // rad/s
  bool clump = false;          // loose snow in ballistic flight
  float snow = 0;              // snow carried into a drift on landing, pt of column
  bool canLand = false;
  bool anyDrift = true;        // false: only taskbar and ground drifts
  float windowDeposit = 1;     // factor on `snow` when landing on a window drift
  float noLandTime = 0;        // s; while positive it passes through drifts
  float age = -1;              // -1 airborne, else seconds since landing
  float baseAlpha = 1, alpha = 1;
  bool star = false;
  bool starAlt = false;        // drawn with the second star picture
  float angle = 0;             // rad
  bool tumbling = false;
  float tumbleSpeed = 0;       // pt/s
  float swayWidth = 0;
  float phase2 = 0;            // rad
  float spin = 0;              // rad/s
  float flickerDepth = 0, flicker = 1;
  int shape = -1;              // -1 round, 0..2 crystal picture
  bool hero = false;           // large, faint foreground flake
  bool powder = false;         // made from blown-off powder
  std::string driftKey;        // drift it rests on; empty while airborne
  Drift* drift = nullptr;
  Vec2 offset;                 // landing point relative to the drift's origin
  bool covered = false;        // its resting place is under another window
};

// Powder blown off a drift, turned into flakes at the start of the next step.
struct PowderSeed {
  float x = 0, y = 0, vx = 0, vy = 0;
};

class SnowWorld {
 public:
  SnowWorld(float width, float height, uint64_t seed);
  SnowWorld(const SnowWorld&) = delete;
  SnowWorld& operator=(const SnowWorld&) = delete;

  // One frame. dt is clamped to [0.001, 0.05] s; now is the frame tick's clock.
  void stepWorld(float dt, const WorldInput& input, const PointerInput& pointer, double now);
  // Fills the screen at once (the screensaver's start).
  void prefill(const WorldInput& input);
  // One new flake, at height y when given, else just above the top edge.
  void spawnFlake(const WorldInput& input, std::optional<float> y = std::nullopt);
  // One loose clump; false when 600 clumps already fly.
  bool spawnClump(Vec2 position, Vec2 velocity, float snow, bool canLand, float noLandTime);
  // Empties the snow when it resumes after a pause; clock, visibility and
  // milestones stay.
  void reset();
  // Swap-with-last removal; the order of `particles` is not kept.
  void removeParticle(size_t i);
  // Current wind, pt/s, positive to the right.
  float windNow(const WorldInput& input) const;

  int flakeCount() const { return static_cast<int>(particles.size()); }
  int driftCount() const { return static_cast<int>(drifts.size()); }
  int ballCount() const { return static_cast<int>(balls.size()); }
  int snowmanCount() const;  // balls with the head role
  float pointerSpeed() const;
  bool needsInput() const;
  bool busy() const;

  // Drifts. insertDrift replaces a drift of the same key in place, so
  // references to it stay valid; eraseDrift lets what rests on it fall.
  Drift& insertDrift(Drift drift);
  bool eraseDrift(const std::string& key);
  Drift* findDrift(const std::string& key);
  std::optional<Landing> findLanding(float x, float yFrom, float yTo, bool anyDrift);

  // The drift manager (world/surfaces.cpp). updateDrifts turns a new scene
  // into drifts: it builds, moves and limits them and retires those whose
  // window left. stepDrifts is the per-step settling, spill and outline
  // rebuild; stepWorld runs it last.
  void updateDrifts(const SurfaceScene& scene, const WorldInput& input, double now);
  void stepDrifts(double now);

  // Drift events (world/drift_events.cpp).
  // An existing drift whose geometry the scene just changed (already applied);
  // oldSpan is its ledge's width before. Without it the old width is taken
  // as oldColumns x 2.
  void onDriftMoved(Drift& drift, float oldX, float oldY, int oldColumns, float oldSpan, bool pressed, double now);
  void onDriftMoved(Drift& drift, float oldX, float oldY, int oldColumns, bool pressed, double now);
  // A drift whose key left the scene: its snow is remembered or crumbles,
  // then it is deleted. wholeScene: every window drift left at once.
  void retireDrift(Drift& drift, bool wholeScene);
  // A window yanked upwards that has stopped throws its snow up.
  void checkLifts(double now);
  // The three ways snow leaves a drift.
  void throwSnow(Drift& drift, float fraction, float pushX, float kickY);
  void crumble(Drift& drift);
  void crumbleClump(float x, float y, float height, float snow, float pushX);
  // Snow of `seconds` away from the screen added to the drifts at once; the
  // caller decides which gaps count as an absence. Returns the number of
  // drifts that received snow; lastAwayDeposit holds the height per column.
  int awayDeposit(double seconds, const WorldInput& input);
  // Clears every drift, the remembered ones too.
  void shovel();
  // The first-run guide's window: fills its drift, or pours flakes above it.
  bool fillWindowDrift(uint64_t window);
  bool snowShower(uint64_t window, int count);

  // Whether star flakes join the snowfall. Normally the presence of
  // KOVRA_TEST_STARS in the environment, read once per process.
  static bool testStars();
  static void setTestStarsForTesting(bool on);

  float width, height;
  std::function<Fate(uint64_t window, bool wholeScene)> fate;  // may be empty
  bool primary = false;
  uint32_t milestones = 0;     // bit set read by the first-run guide
  bool snowPaused = false;
  float lastAwayDeposit = 0;   // pt per column, for the log

  std::vector<Particle> particles;
  std::vector<PowderSeed> pendingPowder;
  int powderCount = 0;
  int clumpCount = 0;
  float spawnCarry = 0;
  float spreadPhase = 0;
  float clock = 0;
  float visibility = 1;
  float garlandLevel = 0;
  WorldRandom random;
  WorldRandom random2;

  // Pointer tracking; the stored position is far away while untracked.
  float pointerX = -100000, pointerY = -100000;
  float pvx = 0, pvy = 0;
  bool tracking = false;

  // The drift map owns the drifts; the list holds them sorted by kind, then
  // by scene position, the order of the landing search and of the painter.
  std::unordered_map<std::string, Drift> driftMap;
  std::vector<Drift*> drifts;
  // The last scene's windows on this monitor and its taskbar; balls use them
  // to know what covers them.
  std::vector<Rect> occluders;
  bool taskbarPresent = false;
  Rect taskbarRect;
  // Snow of drifts whose windows are out of sight (their balls wait in
  // storedBalls).
  DriftMemory driftMemory;

  // ---- Visitors in the sky (world/santa.cpp, world/birds.cpp, world/sky.cpp).
  // Step 9 of the world step: sparks, Santa, gifts, birds, fireworks, the
  // shooting star and the garland's level, in this order.
  void updateSky(float dt, const WorldInput& input, const PointerInput& pointer);
  // Santa flies on the primary world only. callSanta is the command: it ends
  // a flight under way and starts a new one at once; false on other worlds.
  void updateSanta(float dt, const WorldInput& input);
  void startSanta();
  bool callSanta();
  void updateGifts(float dt);
  // Ignored once kMaxSparks sparks exist.
  void spawnSpark(Vec2 position, Vec2 velocity, float life, float size, float fadeRate, float shrinkRate,
                  float gravity, int colour, float brightness);
  void updateSparks(float dt);
  // A flock of one to three bullfinches heading for a snowy drift; false when
  // no drift can take them. callBirds is the command and does the same.
  void updateBirds(float dt, const WorldInput& input, const PointerInput& pointer);
  bool birdsArrive();
  bool callBirds() { return birdsArrive(); }
  // Sends a bird off, away from the threat's side, kicking up a little snow.
  void birdLeaves(Bird& bird, Vec2 threat);
  void launchStar();
  // A show of `seconds`; nothing while one runs.
  void startFireworks(float seconds);
  void updateFireworks(float dt);
  void updateGarlandLevel(float dt, const WorldInput& input);
  // Ends every visitor (the world's reset); the schedules stay.
  void resetSky();
  // Something in the sky moves: Santa, a show, a star, sparks, a bird not
  // sitting still, a falling gift.
  bool skyBusy() const;

  float topInset = 0;  // pt from the monitor's top to its work area's top (a taskbar along the top)
  float nextSanta = 0;  // world clock; 0 = not yet scheduled
  SantaInterval santaInterval;  // s between flights; the screensaver shortens it
  SantaFlight santa;
  std::vector<Gift> gifts;
  std::vector<Spark> sparks;
  float nextBirds = 0;  // world clock; 0 = not yet scheduled
  std::vector<Bird> birds;
  float nextStar = 0;   // world clock; 0 = not yet scheduled
  bool starActive = false;
  float starElapsed = 0;
  Vec2 starStart, starDir;
  float starDistance = 0;
  bool showActive = false;
  float showTime = 0;   // s left
  float launchTimer = 0;
  std::vector<Rocket> rockets;

  // ---- Loose snow, the shovel, snowballs and the hand (world/loose_snow.cpp,
  // world/balls.cpp).
  // Step 4: pointer tracking, sweeping drifts and blowing flakes aside.
  void trackPointer(float dt, const WorldInput& input, const PointerInput& pointer);
  void sweep(Vec2 position);
  // Step 6: the shovel, then the hand (modifier grabs and carrying).
  void updateShovel(float dt);
  void flingLoad();
  void updateHand(float dt, const PointerInput& pointer);
  // Step 8: balls in motion, then what covers them.
  void stepBalls(float dt);
  void moveBalls(float dt);
  void rollBalls(float dt);
  void supportCheck();
  // Step 10: every 0.25 s of steps the stacks are looked at for snowmen.
  void detectSnowmenEvery(float dt);
  void detectSnowmen();

  // What the overlay asks. hoverTest (hasGrabbableAt) decides whether the
  // overlay takes clicks at all; grabWithButton comes with the primary
  // button's press, letGo with its release or a lost capture, burstAt with a
  // double click or the right button. dropHeld lets go when the overlay hides.
  bool hoverTest(Vec2 position) const;
  bool hasGrabbableAt(float x, float y) const { return hoverTest(Vec2{x, y}); }
  bool grabWithButton(Vec2 position, bool heap);
  void letGo();
  void dropHeld() { letGo(); }
  bool burstAt(Vec2 position);
  bool holding() const { return hand.ball != nullptr; }
  const Snowball* heldBall() const { return hand.ball; }

  // The nearest uncovered ball within its radius + 3 pt of the position.
  Snowball* ballAt(Vec2 position) const;
  // Enough snow at the position to scoop a ball from.
  bool snowUnder(Vec2 position) const;
  // A new ball scooped at the position, or null without snow there.
  Snowball* makeBall(Vec2 position, bool heap);
  void hold(Snowball& ball, Vec2 pointer);
  // Cuts the drift snow below the ball's lower outline into the ball.
  void packSnow(Snowball& ball);
  // Into clumps (landing: they may settle again); the ball is removed.
  void burst(Snowball& ball, bool landing);
  // A thrown heap landing, or a ball lost behind a window on the ground: most
  // of its snow is laid into the drift under it, the rest sprays.
  void splat(Snowball& ball);
  void removeBall(Snowball& ball);

  // Hooks of the drift events.
  void moveBallsWith(const Drift& drift, float dx, float dy);
  // Sends a ball flying off its support; with `stack`, the balls stacked on
  // it go too at a scattered share of that velocity.
  void knockBall(Snowball& ball, Vec2 velocity, bool stack);
  // A window dragged at sideways speed p and vertical speed q (down > 0
  // when falling fast); a window yanked up that stopped.
  void knockBallsOnMove(const Drift& drift, float p, float q, float down);
  void knockBallsOnYank(const Drift& drift, float liftSpeed);
  void knockBallsAtLaunchColumns(const Drift& drift);
  void storeBalls(const Drift& drift);
  void restoreBalls();
  void releaseBallsOn(const Drift* drift);
  void burstAllBalls(bool landing);
  void resetBalls();
  bool ballsNeedInput() const;

  std::vector<std::unique_ptr<Snowball>> balls;  // oldest first, at most kMaxBalls
  std::unordered_map<std::string, std::vector<StoredBall>> storedBalls;
  Hand hand;
  float handVx = 0;  // smoothed horizontal pointer speed
  Shovel snowShovel;
  float snowmanTimer = 0;

 private:
  void spawnFrom(WorldRandom& rng, const WorldInput& input, std::optional<float> y);
  void setUpTumbling(Particle& p, WorldRandom& rng, const SnowfallProfile& prof, float left, float right,
                     bool heightGiven);
  void releasePowder(const WorldInput& input);
  void moveParticles(float dt, const WorldInput& input);
  bool moveFlake(Particle& p, float dt, float wind, const SnowfallProfile& prof, float decay);
  bool restFlake(Particle& p, float dt, float wind, const SnowfallProfile& prof, float decay);
  bool moveClump(Particle& p, float dt, float wind);
  void sortDrifts();
  Drift& placeDrift(const std::string& key, DriftKind kind, float left, float right, float top,
                    const std::vector<Rect>& occluders, int zRank, int sceneIndex, bool pressed, double now);
  void relayColumns(Drift& drift, float left, float top, int columns);
  void releaseCrumbleEvents(Drift& drift);
  void yank(Drift& drift);
  // Powder blown off drifts is limited to 150 puffs queued or live.
  bool powderRoom() const;
  int fallingFlakes() const { return static_cast<int>(particles.size()) - clumpCount - powderCount; }

  // Bands 0..9 handed out in shuffled order so tumbling flakes cover the
  // width evenly.
  std::array<int, 10> bands_{};
  int bandsLeft_ = 0;

  // Scratch lists of the scene update, kept to avoid allocating per scene.
  std::vector<Rect> running_;
  std::vector<Rect> barCover_;
  std::vector<float> limitsBefore_;
  std::vector<Drift*> placed_;
  std::vector<std::string> leaving_;
};

}  // namespace kovra
