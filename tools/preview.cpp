// Renders a snow world over a made-up desktop into PNG frames, to look at the
// snow without Windows:
//
//   preview <output dir> <frames> <width> <height> <level> <scale>
//           [seconds between frames = 1/30] [seconds of snowfall first = 20]
//           [hours away = 0.15] [options]
//
// Width and height are pixels; the world covers them in points at `scale`.
// The desktop has three windows and a taskbar laid out the way the drift
// manager sees real ones, so the drifts settle where they would.
//
// Options (anywhere after the six numbers):
//   --sprites DIR      load the pictures NNN-*.png of DIR into slots NNN - 400
//                      (default: the artwork of this source tree; "none": no pictures)
//   --santa ltr|rtl|any  call Santa once the snowfall warm-up is over
//   --birds            call the bullfinches then
//   --fireworks S      start a fireworks show of S seconds then
//   --star             launch a shooting star then
//   --garland          the garland setting on
//   --paused           the snow is paused from then on (it fades; the garland stays)
//   --lead S           seconds of steps after those calls before the first frame
//   --cursor X,Y       the cursor at (X, Y) points, y up, during the frames
//   --crop X,Y,W,H     write only this pixel rectangle of each frame
//   --overlay          write the overlay's own picture (with its alpha), not
//                      the overlay over the made-up desktop
//   --seed N           the world's random seed
//   --windows N        only the N front-most of the three windows (0: a bare desktop)
//
// Or a recorded run (quillar.exe started with KOVRA_RECORD=<file>) stepped
// again through the same frame code, every monitor's snow drawn over the
// recorded windows:
//
//   preview --replay <recording> <output dir> [--every N] [--from N] [--to N] [--sprites DIR|none]
//
// writes frame-NNNNN-mK.png for every N-th frame (default 30) of monitor K.
//
// Or the fixed sample scene the GPU renderer's picture is compared with,
// optionally with the whole frame at an opacity (as the overlay fading in):
//
//   preview --sample <out.png> [--opacity O] [--sprites DIR|none]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "desktop/survey.h"
#include "render/png_read.h"
#include "render/png_write.h"
#include "render/soft_painter.h"
#include "render/sprites.h"
#include "shell/recording.h"
#include "tests/helper/sample_scene.h"
#include "world/scene.h"
#include "world/surfaces.h"
#include "world/world.h"

namespace {

struct Colour {
  float r, g, b;
};

Colour mix(Colour a, Colour b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

uint32_t opaque(Colour c) {
  auto byte = [](float v) { return static_cast<uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
  return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

struct Desktop {
  int width, height;
  std::vector<uint32_t> px;

  Desktop(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h) {}

  void blend(int x, int y, Colour c, float a) {
    if (x < 0 || y < 0 || x >= width || y >= height || a <= 0) return;
    uint32_t& d = px[static_cast<size_t>(y) * width + x];
    const float r = ((d >> 16) & 255) / 255.0f, g = ((d >> 8) & 255) / 255.0f, b = (d & 255) / 255.0f;
    d = opaque({r + (c.r - r) * a, g + (c.g - g) * a, b + (c.b - b) * a});
  }
  void rect(int l, int t, int r, int b, Colour c, float a = 1.0f) {
    for (int y = std::max(t, 0); y < std::min(b, height); ++y)
      for (int x = std::max(l, 0); x < std::min(r, width); ++x) blend(x, y, c, a);
  }
};

// A calm evening: deep blue overhead, a warm glow low down, two rows of hills.
void paintWallpaper(Desktop& d) {
  const Colour top{0.07f, 0.10f, 0.24f}, mid{0.22f, 0.30f, 0.52f}, low{0.78f, 0.58f, 0.56f};
  const Colour farHill{0.20f, 0.24f, 0.40f}, nearHill{0.11f, 0.14f, 0.26f};
  for (int y = 0; y < d.height; ++y) {
    const float t = static_cast<float>(y) / static_cast<float>(d.height);
    const Colour sky = t < 0.55f ? mix(top, mid, t / 0.55f) : mix(mid, low, (t - 0.55f) / 0.45f);
    for (int x = 0; x < d.width; ++x) d.px[static_cast<size_t>(y) * d.width + x] = opaque(sky);
  }
  for (int x = 0; x < d.width; ++x) {
    const float u = static_cast<float>(x) / static_cast<float>(d.width);
    const float farTop = d.height * (0.70f - 0.05f * std::sin(u * 7.1f + 0.6f) - 0.03f * std::sin(u * 17.0f));
    const float nearTop = d.height * (0.80f - 0.06f * std::sin(u * 4.3f + 2.0f) - 0.02f * std::sin(u * 23.0f + 1.0f));
    for (int y = static_cast<int>(farTop); y < d.height; ++y) d.blend(x, y, farHill, 0.9f);
    for (int y = static_cast<int>(nearTop); y < d.height; ++y) d.blend(x, y, nearHill, 0.95f);
  }
}

void paintWindow(Desktop& d, const PixelRect& r, float scale, Colour accent) {
  const int s = std::max(1, static_cast<int>(std::lround(scale)));
  for (int k = 1; k <= 12 * s; ++k)  // a soft shadow
    d.rect(r.left - k + 4 * s, r.top - k + 8 * s, r.right + k + 4 * s, r.bottom + k + 8 * s, {0, 0, 0},
           0.03f * (1.0f - static_cast<float>(k) / (12.0f * s)));
  d.rect(r.left - 1, r.top - 1, r.right + 1, r.bottom + 1, {0.35f, 0.38f, 0.45f});
  d.rect(r.left, r.top, r.right, r.bottom, {0.96f, 0.965f, 0.975f});
  const int bar = 32 * s;
  d.rect(r.left, r.top, r.right, r.top + bar, {0.88f, 0.90f, 0.94f});
  d.rect(r.left + 10 * s, r.top + 10 * s, r.left + 22 * s, r.top + 22 * s, accent);
  d.rect(r.left + 30 * s, r.top + 13 * s, r.left + 130 * s, r.top + 19 * s, {0.55f, 0.58f, 0.64f});
  for (int b = 0; b < 3; ++b) {
    const int x = r.right - (16 + 30 * b) * s;
    d.rect(x - 6 * s, r.top + 15 * s, x + 6 * s, r.top + 17 * s, {0.35f, 0.38f, 0.45f});
  }
  // A few lines of "text".
  int y = r.top + bar + 20 * s;
  for (int line = 0; y + 8 * s < r.bottom - 16 * s; ++line, y += 22 * s) {
    const int len = (r.right - r.left - 40 * s) * (line % 4 == 3 ? 5 : (line % 3 == 1 ? 8 : 9)) / 10;
    d.rect(r.left + 20 * s, y, r.left + 20 * s + len, y + 8 * s, line == 0 ? accent : Colour{0.78f, 0.80f, 0.85f});
  }
}

void paintTaskbar(Desktop& d, const PixelRect& r, float scale) {
  const int s = std::max(1, static_cast<int>(std::lround(scale)));
  d.rect(r.left, r.top, r.right, r.bottom, {0.12f, 0.13f, 0.18f}, 0.88f);
  d.rect(r.left, r.top, r.right, r.top + 1, {0.45f, 0.48f, 0.58f}, 0.6f);
  const int mid = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  for (int i = -3; i <= 3; ++i) {
    const int x = mid + i * 44 * s;
    d.rect(x - 12 * s, cy - 12 * s, x + 12 * s, cy + 12 * s, i == 0 ? Colour{0.35f, 0.62f, 0.95f} : Colour{0.55f, 0.58f, 0.66f},
           0.9f);
  }
}

// The overlay (premultiplied) over the opaque desktop.
void composite(const std::vector<uint32_t>& overlay, const Desktop& d, std::vector<uint32_t>& out) {
  out.resize(d.px.size());
  for (size_t i = 0; i < d.px.size(); ++i) {
    const uint32_t o = overlay[i], b = d.px[i];
    const uint32_t k = 255u - (o >> 24);
    auto ch = [&](int shift) {
      const uint32_t v = ((o >> shift) & 255u) + (((b >> shift) & 255u) * k + 127u) / 255u;
      return std::min(v, 255u) << shift;
    };
    out[i] = 0xFF000000u | ch(16) | ch(8) | ch(0);
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: preview <output dir> <frames> <width> <height> <level 0..2> <scale> "
               "[seconds between frames] [seconds of snowfall first] [hours away]\n"
               "       [--sprites DIR|none] [--santa ltr|rtl|any] [--birds] [--fireworks S] [--star]\n"
               "       [--garland] [--paused] [--lead S] [--cursor X,Y] [--crop X,Y,W,H] [--seed N]\n"
               "       [--windows 0..3]\n"
               "       preview --replay <recording> <output dir> [--every N] [--from N] [--to N] [--sprites DIR|none]\n"
               "       preview --sample <out.png> [--opacity O] [--sprites DIR|none]\n");
  return 2;
}

struct Options {
  std::string sprites = (std::filesystem::path(__FILE__).parent_path().parent_path() / "assets" / "sprites").string();
  std::string santa;  // empty: not called
  bool birds = false, star = false, garland = false, paused = false, overlayOnly = false;
  float fireworks = 0;
  double lead = 0;
  bool cursor = false;
  float cursorX = 0, cursorY = 0;
  int cropX = 0, cropY = 0, cropW = 0, cropH = 0;  // cropW 0: the whole frame
  uint64_t seed = 0x5EED1234u;
  int windows = 3;
};

// Options after the positional numbers; false on anything unknown.
bool parseOptions(int first, int argc, char** argv, Options& o, int& positional) {
  positional = first;
  for (int i = first; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a.rfind("--", 0) != 0) {
      if (positional != i) return false;  // numbers come before the options
      ++positional;
      continue;
    }
    const char* v = nullptr;
    if (a == "--birds") {
      o.birds = true;
    } else if (a == "--star") {
      o.star = true;
    } else if (a == "--garland") {
      o.garland = true;
    } else if (a == "--paused") {
      o.paused = true;
    } else if (a == "--overlay") {
      o.overlayOnly = true;
    } else if (a == "--sprites" && (v = value())) {
      o.sprites = v;
    } else if (a == "--santa" && (v = value())) {
      o.santa = v;
      if (o.santa != "ltr" && o.santa != "rtl" && o.santa != "any") return false;
    } else if (a == "--fireworks" && (v = value())) {
      o.fireworks = static_cast<float>(std::atof(v));
    } else if (a == "--windows" && (v = value())) {
      o.windows = std::atoi(v);
      if (o.windows < 0 || o.windows > 3) return false;
    } else if (a == "--seed" && (v = value())) {
      o.seed = std::strtoull(v, nullptr, 0);
    } else if (a == "--lead" && (v = value())) {
      o.lead = std::atof(v);
    } else if (a == "--cursor" && (v = value())) {
      if (std::sscanf(v, "%f,%f", &o.cursorX, &o.cursorY) != 2) return false;
      o.cursor = true;
    } else if (a == "--crop" && (v = value())) {
      if (std::sscanf(v, "%d,%d,%d,%d", &o.cropX, &o.cropY, &o.cropW, &o.cropH) != 4) return false;
    } else {
      return false;
    }
  }
  return true;
}

// The artwork files "NNN-name.png" of a folder into slots NNN - 400.
int loadPictures(const std::string& dir) {
  int loaded = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".png" || name.size() < 4 || name[3] != '-') continue;
    const int slot = std::atoi(name.substr(0, 3).c_str()) - 400;
    if (slot < 0 || slot >= kovra::kPictureSlots) continue;
    const std::optional<kovra::PngPicture> pic = kovra::pngReadFile(entry.path().string());
    if (!pic) {
      std::fprintf(stderr, "preview: cannot read %s\n", entry.path().string().c_str());
      continue;
    }
    if (kovra::spritesInstallPicture(slot, pic->width, pic->height,
                                     reinterpret_cast<const uint8_t*>(pic->pixels.data())))
      ++loaded;
  }
  return loaded;
}

// The recorded desktop of one monitor, in its own pixels.
void paintRecordedDesktop(Desktop& d, const MonitorState& m, const DesktopSurvey& survey) {
  paintWallpaper(d);
  const Colour accents[3] = {{0.85f, 0.35f, 0.30f}, {0.30f, 0.62f, 0.40f}, {0.32f, 0.50f, 0.90f}};
  auto local = [&](const PixelRect& r) {
    return PixelRect{r.left - m.monitorRect.left, r.top - m.monitorRect.top, r.right - m.monitorRect.left,
                     r.bottom - m.monitorRect.top};
  };
  for (std::size_t i = survey.windows.size(); i-- > 0;)
    paintWindow(d, local(survey.windows[i].visible), m.scale, accents[i % 3]);
  for (const PixelRect& bar : survey.taskbars) paintTaskbar(d, local(bar), m.scale);
}

int replay(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string file = argv[2], dir = argv[3];
  int every = 30, from = 0, to = 1 << 30;
  std::string spritesDir = Options{}.sprites;
  for (int i = 4; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--every") every = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--from") from = std::atoi(argv[i + 1]);
    else if (a == "--to") to = std::atoi(argv[i + 1]);
    else if (a == "--sprites") spritesDir = argv[i + 1];
    else return usage();
  }
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "preview: cannot open %s\n", file.c_str());
    return 1;
  }
  if (spritesDir != "none") loadPictures(spritesDir);
  kovra::spritesCompleteDrawn();
  AppState app;
  int written = 0;
  std::vector<uint32_t> overlay, out;
  ReplayResult r = replayRecording(in, app, [&](int frame, AppState& a, const FrameInput& fi, const FrameOutput& fo) {
    for (const std::string& line : fo.log) std::printf("frame %d: %s\n", frame, line.c_str());
    if (frame < from || frame > to || (frame - from) % every != 0) return;
    for (std::size_t k = 0; k < a.monitors.size() && k < fo.monitors.size(); ++k) {
      const MonitorState& m = a.monitors[k];
      if (!fo.monitors[k].draw || !m.world) continue;
      const int w = m.monitorRect.right - m.monitorRect.left, h = m.monitorRect.bottom - m.monitorRect.top;
      if (w <= 0 || h <= 0 || w > 8192 || h > 8192) continue;
      overlay.assign(static_cast<size_t>(w) * h, 0u);
      kovra::SoftPainter painter(overlay.data(), w, h, w, m.scale, m.heightDip, kovra::spriteSetStorage());
      kovra::FadeSink fade(painter, fo.monitors[k].opacity);
      kovra::drawScene(*m.world, fade);
      Desktop desk(w, h);
      static const DesktopSurvey kNone;
      paintRecordedDesktop(desk, m, fi.survey ? *fi.survey : kNone);
      composite(overlay, desk, out);
      char name[64];
      std::snprintf(name, sizeof name, "/frame-%05d-m%zu.png", frame, k);
      if (kovra::pngWriteFile(dir + name, out.data(), w, h, w)) ++written;
    }
  });
  std::fclose(in);
  for (const std::string& line : r.stats) std::printf("replay %s\n", line.c_str());
  std::printf("preview: replayed %d frames, wrote %d pictures\n", r.frames, written);
  if (!r.error.empty()) {
    std::fprintf(stderr, "preview: %s: %s\n", file.c_str(), r.error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int sample(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string file = argv[2];
  std::string spritesDir = Options{}.sprites;
  float opacity = 1.0f;
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--opacity") opacity = static_cast<float>(std::atof(argv[i + 1]));
    else if (a == "--sprites") spritesDir = argv[i + 1];
    else return usage();
  }
  if (spritesDir != "none") loadPictures(spritesDir);
  kovra::spritesCompleteDrawn();
  using namespace kovra::sample;
  std::vector<uint32_t> px(static_cast<size_t>(kWidth) * kHeight);
  kovra::SoftPainter painter(px.data(), kWidth, kHeight, kWidth, kScale, kHeightDip, kovra::spriteSetStorage());
  painter.clear();
  drawScene(painter);
  // The compatible renderer fades the whole frame with the layered window's
  // constant alpha, which scales every premultiplied channel.
  const uint32_t k = opacity >= 1.0f ? 255u : opacity <= 0.0f ? 0u : static_cast<uint32_t>(opacity * 255.0f + 0.5f);
  if (k < 255)
    for (uint32_t& p : px) {
      uint32_t o = 0;
      for (int shift = 0; shift < 32; shift += 8) o |= (((p >> shift) & 255u) * k + 127u) / 255u << shift;
      p = o;
    }
  if (!kovra::pngWriteFile(file, px.data(), kWidth, kHeight, kWidth)) {
    std::fprintf(stderr, "preview: cannot write %s\n", file.c_str());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--replay") == 0) return replay(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "--sample") == 0) return sample(argc, argv);
  if (argc < 7) return usage();
  Options opt;
  int positional = 0;
  if (!parseOptions(7, argc, argv, opt, positional)) return usage();
  const std::string dir = argv[1];
  const int frames = std::atoi(argv[2]);
  const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
  const int level = std::atoi(argv[5]);
  const float scale = static_cast<float>(std::atof(argv[6]));
  const double interval = positional > 7 ? std::atof(argv[7]) : 1.0 / 30.0;
  const double warmup = positional > 8 ? std::atof(argv[8]) : 20.0;
  const double awayHours = positional > 9 ? std::atof(argv[9]) : 0.15;
  if (frames < 0 || width < 64 || height < 64 || width > 8192 || height > 8192 || !(scale >= 0.5f && scale <= 4.0f) ||
      !(interval >= 0.0) || positional > 10)
    return usage();
  if (opt.cropW > 0 && (opt.cropX < 0 || opt.cropY < 0 || opt.cropH <= 0 || opt.cropX + opt.cropW > width ||
                        opt.cropY + opt.cropH > height))
    return usage();

  const float widthDip = static_cast<float>(width) / scale, heightDip = static_cast<float>(height) / scale;
  kovra::SnowWorld world(widthDip, heightDip, opt.seed);
  world.primary = true;
  kovra::WorldInput input;
  input.level = level;
  input.wind = level == 0 ? 0.06f : (level == 1 ? 0.14f : 0.7f);
  // Visitors come only when asked for, so the frames show what was asked.
  input.santa = input.birds = input.stars = false;
  input.garland = opt.garland;

  // The desktop in pixels, front-most window first.
  auto px = [&](float fx, float fy) {
    return std::pair<int32_t, int32_t>{static_cast<int32_t>(fx * width), static_cast<int32_t>(fy * height)};
  };
  auto rectOf = [&](float l, float t, float r, float b) {
    const auto [x0, y0] = px(l, t);
    const auto [x1, y1] = px(r, b);
    return PixelRect{x0, y0, x1, y1};
  };
  const int32_t taskbarPx = static_cast<int32_t>(std::lround(48.0f * scale));
  const PixelRect taskbar{0, height - taskbarPx, width, height};
  std::vector<SurveyedWindow> windows(3);
  windows[0].window = 0x30;
  windows[0].visible = rectOf(0.61f, 0.15f, 0.90f, 0.43f);
  windows[1].window = 0x20;
  windows[1].visible = rectOf(0.36f, 0.37f, 0.78f, 0.84f);
  windows[2].window = 0x10;
  windows[2].visible = rectOf(0.07f, 0.23f, 0.45f, 0.70f);
  for (auto& w : windows) {
    w.frame = w.visible;
    w.hasCaption = true;
  }
  windows.resize(static_cast<size_t>(opt.windows));

  Desktop desk(width, height);
  paintWallpaper(desk);
  const Colour accents[3] = {{0.85f, 0.35f, 0.30f}, {0.30f, 0.62f, 0.40f}, {0.32f, 0.50f, 0.90f}};
  for (int i = opt.windows - 1; i >= 0; --i) paintWindow(desk, windows[static_cast<size_t>(i)].visible, scale, accents[i]);
  paintTaskbar(desk, taskbar, scale);

  kovra::MonitorArea area;
  area.monitor = {0, 0, width, height};
  area.work = {0, 0, width, height - taskbarPx};
  area.scale = scale;
  area.heightDip = heightDip;
  const kovra::SurfaceScene scene = kovra::layoutScene(area, windows, {taskbar}, kovra::Foreground{}, false);
  world.updateDrifts(scene, input, 0.0);
  std::printf("preview: %d drifts on %.0f x %.0f pt\n", world.driftCount(), widthDip, heightDip);

  constexpr float kStep = 1.0f / 60.0f;
  const kovra::PointerInput away;
  double now = 0;
  if (awayHours > 0) world.awayDeposit(awayHours * 3600.0, input);
  world.prefill(input);
  for (int i = 0; i < static_cast<int>(warmup / kStep); ++i) {
    now += kStep;
    world.stepWorld(kStep, input, away, now);
  }

  // The visitors asked for arrive now.
  if (!opt.santa.empty()) {
    // The direction is the flight's own choice; call again until it matches.
    for (int tries = 0; tries < 64; ++tries) {
      world.callSanta();
      if (opt.santa == "any" || world.santa.leftToRight == (opt.santa == "ltr")) break;
    }
  }
  if (opt.birds && !world.callBirds()) std::printf("preview: no drift for the birds\n");
  if (opt.fireworks > 0) world.startFireworks(opt.fireworks);
  if (opt.star) world.launchStar();
  world.snowPaused = opt.paused;
  kovra::PointerInput pointer;
  if (opt.cursor) {
    pointer.inside = true;
    pointer.x = opt.cursorX;
    pointer.y = opt.cursorY;
  }
  for (int i = 0; i < static_cast<int>(opt.lead / kStep); ++i) {
    now += kStep;
    world.stepWorld(kStep, input, away, now);
  }

  kovra::SpriteSet& sprites = kovra::spriteSetStorage();
  if (opt.sprites != "none") std::printf("preview: %d pictures from %s\n", loadPictures(opt.sprites), opt.sprites.c_str());
  kovra::spritesCompleteDrawn();
  std::vector<uint32_t> overlay(static_cast<size_t>(width) * height), out;
  kovra::SoftPainter painter(overlay.data(), width, height, width, scale, heightDip, sprites);
  const int stepsPerFrame = std::max(0, static_cast<int>(std::lround(interval / kStep)));
  for (int f = 0; f < frames; ++f) {
    if (f > 0) {
      for (int i = 0; i < stepsPerFrame; ++i) {
        now += kStep;
        world.stepWorld(kStep, input, pointer, now);
      }
    }
    painter.clear();
    kovra::drawScene(world, painter);
    if (opt.overlayOnly) {
      out = overlay;
    } else {
      composite(overlay, desk, out);
    }
    const uint32_t* first = out.data();
    int outW = width, outH = height;
    if (opt.cropW > 0) {
      first += static_cast<size_t>(opt.cropY) * width + opt.cropX;
      outW = opt.cropW;
      outH = opt.cropH;
    }
    char name[64];
    std::snprintf(name, sizeof name, "/frame-%04d.png", f);
    if (!kovra::pngWriteFile(dir + name, first, outW, outH, width)) {
      std::fprintf(stderr, "preview: cannot write %s%s\n", dir.c_str(), name);
      return 1;
    }
  }
  std::printf("preview: %d frames, %d particles at the end\n", frames, world.flakeCount());
  if (world.santa.active)
    std::printf("preview: Santa at (%.0f, %.0f) pt, %.1f s into the flight, cheer %.2f\n", world.santa.x,
                world.santa.y, world.santa.elapsed, world.santa.cheer);
  std::printf("preview: %zu gifts, %zu birds, %zu sparks, %zu rockets\n", world.gifts.size(), world.birds.size(),
              world.sparks.size(), world.rockets.size());
  for (const kovra::Gift& g : world.gifts)
    std::printf("preview: gift at (%.0f, %.0f) pt on \"%s\"%s\n", g.x, g.y, g.driftKey.c_str(),
                g.covered ? ", covered" : "");
  for (const kovra::Bird& b : world.birds)
    std::printf("preview: bird %d at (%.0f, %.0f) pt\n", static_cast<int>(b.state), b.x, b.y);
  return 0;
}
