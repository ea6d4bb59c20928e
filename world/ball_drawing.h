#pragma once
// Drawing what the user plays with: snowballs, heaps and snowmen with their
// faces, scarves, arms and buttons, and the snow shovel. Positions are world
// points, y up; the scene painter calls these in its order.

#include "render/draw_sink.h"

namespace kovra {

class SnowWorld;
struct Snowball;
struct Shovel;

// Every uncovered ball; heads come last so nothing hides their faces.
void drawBalls(const SnowWorld& world, DrawSink& sink);
// One ball at its drawing position, whatever its cover.
void drawBall(DrawSink& sink, const Snowball& ball);
// The shovel while it shows.
void drawShovel(const SnowWorld& world, DrawSink& sink);
void drawShovelShape(DrawSink& sink, const Shovel& shovel);

}  // namespace kovra
