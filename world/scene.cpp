#include "world/scene.h"

#include "render/sprites.h"
#include "world/actor_drawing.h"
#include "world/ball_drawing.h"
#include "world/world.h"

namespace kovra {

DriftDraw driftShape(const Drift& drift) {
  DriftDraw shape;
  shape.originX = drift.x;
  shape.baseY = drift.y;
  shape.runs = drift.outline;
  shape.version = static_cast<uint64_t>(static_cast<uint32_t>(drift.outlineVersion));
  return shape;
}

void drawDriftShape(DrawSink& sink, const DriftDraw& shape) {
  if (shape.runs.empty()) return;
  sink.drawDrift(shape);
}

void drawParticle(DrawSink& sink, const Particle& p) {
  if (p.covered) return;
  if (p.hero || p.shape >= 0) {
    // Large foreground flakes and crystals narrow as they turn edge-on.
    SpriteDraw s;
    s.index = p.hero ? kSpriteSoftDisc : kSpriteCrystal + p.shape;
    s.x = p.x;
    s.y = p.y;
    s.width = p.flicker * p.size;
    s.height = p.size;
    s.angle = p.angle;
    s.opacity = p.alpha;
    sink.drawSprite(s);
    return;
  }
  if (p.star) {
    SpriteDraw s;
    s.index = p.starAlt ? kSpriteGoldenStar : kSpriteStar;
    s.x = p.x;
    s.y = p.y;
    s.width = p.size;
    s.height = p.size;
    s.angle = p.angle;
    s.opacity = p.alpha;
    sink.drawSprite(s);
    return;
  }
  sink.drawFlake({p.x, p.y, p.size, p.alpha});
}

void drawSceneBody(const SnowWorld& world, DrawSink& sink) {
  for (const Drift* d : world.drifts) {
    if (d) drawDriftShape(sink, driftShape(*d));
  }
  // Gifts, balls and snowmen, and birds lie on the drifts.
  drawGifts(world, sink);
  drawBalls(world, sink);
  drawBirds(world, sink);
  for (const Particle& p : world.particles) drawParticle(sink, p);
  drawShootingStar(world, sink);
  drawSparks(world, sink);
  drawShovel(world, sink);
  drawSanta(world, sink);
}

void drawScene(const SnowWorld& world, DrawSink& sink) {
  const float v = world.visibility;
  if (v >= 0.999f) {
    drawSceneBody(world, sink);
  } else if (v > 0.001f) {
    FadeSink faded(sink, v);
    drawSceneBody(world, faded);
  }
  // The garland goes last, on the sink itself, so it never fades with the snow.
  drawGarland(world, sink);
}

}  // namespace kovra
