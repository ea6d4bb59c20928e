#pragma once
// Drawing the sky's visitors: gifts on the drifts, bullfinches, Santa with
// his reindeer, the shooting star, sparks and the garland along the top edge.
// Positions are world points, y up; the scene painter calls these in its order.

#include <cstdint>

#include "render/draw_sink.h"
#include "world/sky.h"

namespace kovra {

class SnowWorld;

void drawGifts(const SnowWorld& world, DrawSink& sink);
void drawBirds(const SnowWorld& world, DrawSink& sink);
void drawSanta(const SnowWorld& world, DrawSink& sink);
void drawShootingStar(const SnowWorld& world, DrawSink& sink);
void drawSparks(const SnowWorld& world, DrawSink& sink);
// The fairy lights hanging from the top edge (below a taskbar there), at the
// world's garland level; nothing while the level is 0.01 or less.
void drawGarland(const SnowWorld& world, DrawSink& sink);

// The garland's pieces, for drawing and for checking it.
// A fixed pseudo-random value in [0, 1) of a bulb or span number and a salt.
float garlandHash(uint32_t i, uint32_t salt);
// Span lengths before they are stretched to the width, pt.
float garlandSpanLength(int span);
// How many spans cover `width`, and the factor that stretches them to it.
int garlandSpanCount(float width, float& stretch);
// The light of bulb i at time t: four patterns taking turns every 40 s.
float garlandBrightness(int bulb, float t);
// Sprite slot of a bird in its current pose.
int birdPose(const Bird& bird);

}  // namespace kovra
