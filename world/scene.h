#pragma once
// Drawing a world onto a sink, back to front: drifts first, then what lies
// on them, then everything in the air. Positions are world points, y up.

#include "render/draw_sink.h"

namespace kovra {

class SnowWorld;
struct Drift;
struct Particle;

// The scene faded as a whole by the world's visibility: drawn directly when
// (almost) fully visible, not at all when (almost) gone, else through a fade.
void drawScene(const SnowWorld& world, DrawSink& sink);

// The scene in painter's order, without the fade.
void drawSceneBody(const SnowWorld& world, DrawSink& sink);

// A drift's outline as the sink takes it.
DriftDraw driftShape(const Drift& drift);

// One drift of the first layer; nothing when its outline has no run.
void drawDriftShape(DrawSink& sink, const DriftDraw& shape);

// One flake, crystal, star flake or clump; nothing when it is covered.
void drawParticle(DrawSink& sink, const Particle& particle);

}  // namespace kovra
