#pragma once
// A sink that keeps every call, for the tests of the sky's drawing.
#include <string>
#include <vector>

#include "render/draw_sink.h"

namespace skytest {

struct SinkCall {
  std::string op;  // "drift", "flake", "sprite", "circle", "line", "triangle"
  int index = -1;
  float x = 0, y = 0, w = 0, h = 0, angle = 0, opacity = 0;
  float x1 = 0, y1 = 0;  // a line's other end
  bool mirrored = false, additive = false;
  kovra::Rgba colour;
};

struct Recorder final : kovra::DrawSink {
  std::vector<SinkCall> calls;

  void drawDrift(const kovra::DriftDraw& d) override {
    SinkCall c{"drift"};
    c.x = d.originX;
    c.y = d.baseY;
    calls.push_back(c);
  }
  void drawFlake(const kovra::FlakeDraw& f) override {
    SinkCall c{"flake"};
    c.x = f.x;
    c.y = f.y;
    c.w = f.size;
    c.opacity = f.opacity;
    calls.push_back(c);
  }
  void drawSprite(const kovra::SpriteDraw& s) override {
    SinkCall c{"sprite"};
    c.index = s.index;
    c.x = s.x;
    c.y = s.y;
    c.w = s.width;
    c.h = s.height;
    c.angle = s.angle;
    c.opacity = s.opacity;
    c.mirrored = s.mirrored;
    c.additive = s.additive;
    calls.push_back(c);
  }
  void fillCircle(kovra::DrawPoint centre, float radius, const kovra::Rgba& colour) override {
    SinkCall c{"circle"};
    c.x = centre.x;
    c.y = centre.y;
    c.w = radius;
    c.colour = colour;
    c.opacity = colour.a;
    calls.push_back(c);
  }
  void drawLine(kovra::DrawPoint p0, kovra::DrawPoint p1, float width, const kovra::Rgba& colour) override {
    SinkCall c{"line"};
    c.x = p0.x;
    c.y = p0.y;
    c.x1 = p1.x;
    c.y1 = p1.y;
    c.w = width;
    c.colour = colour;
    c.opacity = colour.a;
    calls.push_back(c);
  }
  void fillTriangle(kovra::DrawPoint p0, kovra::DrawPoint, kovra::DrawPoint, const kovra::Rgba& colour) override {
    SinkCall c{"triangle"};
    c.x = p0.x;
    c.y = p0.y;
    c.colour = colour;
    c.opacity = colour.a;
    calls.push_back(c);
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
};

}  // namespace skytest
