// Test-only driver of the GPU renderer's drawing: draws the sample scene (or
// a snowfall) through the renderer's DrawSink into an offscreen Direct2D
// bitmap, reads it back and writes a PNG; with --frames it also times the
// frames next to the CPU painter's frames of the same scene.
//
//   quillar-gpuscene <out.png> [--sprites DIR|none] [--opacity O] [--frames N]
//                    [--world W H] [--scale S]
#include <d2d1_1.h>
#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/win_util_win.h"
#include "render/gpu_renderer_win.h"
#include "render/png_read.h"
#include "render/png_write.h"
#include "render/soft_painter.h"
#include "render/sprites.h"
#include "render/sprites_win.h"
#include "tests/helper/sample_scene.h"
#include "world/scene.h"
#include "world/world.h"

namespace {

int loadPictures(const std::wstring& dir) {
  int loaded = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = toUtf8(entry.path().filename().wstring());
    if (entry.path().extension() != L".png" || name.size() < 4 || name[3] != '-') continue;
    const int slot = std::atoi(name.substr(0, 3).c_str()) - 400;
    if (slot < 0 || slot >= kovra::kPictureSlots) continue;
    const std::optional<kovra::PngPicture> pic = kovra::pngReadFile(toUtf8(entry.path().wstring()));
    if (pic && kovra::spritesInstallPicture(slot, pic->width, pic->height,
                                            reinterpret_cast<const uint8_t*>(pic->pixels.data())))
      ++loaded;
  }
  return loaded;
}

double seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillar-gpuscene <out.png> [--sprites DIR|none] [--opacity O] [--frames N] "
                         "[--world W H] [--scale S]\n");
    return 64;
  }
  const std::string out = toUtf8(argv[1]);
  std::wstring sprites;
  float opacity = 1.0f, scale = kovra::sample::kScale;
  int frames = 0, width = kovra::sample::kWidth, height = kovra::sample::kHeight;
  bool world = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--sprites" && i + 1 < argc) sprites = argv[++i];
    else if (a == L"--opacity" && i + 1 < argc) opacity = static_cast<float>(_wtof(argv[++i]));
    else if (a == L"--frames" && i + 1 < argc) frames = _wtoi(argv[++i]);
    else if (a == L"--scale" && i + 1 < argc) scale = static_cast<float>(_wtof(argv[++i]));
    else if (a == L"--world" && i + 2 < argc) {
      world = true;
      width = _wtoi(argv[++i]);
      height = _wtoi(argv[++i]);
    }
  }
  if (width < 16 || height < 16 || width > 8192 || height > 8192 || !(scale >= 0.5f && scale <= 4.0f)) return 64;
  const float heightDip = static_cast<float>(height) / scale;

  // The renderer's own log lines go to the console.
  const double opened = seconds();
  logAttach(stdout, {[opened] { return seconds() - opened; },
                     [](int& h, int& m, int& s) {
                       const std::time_t now = std::time(nullptr);
                       std::tm t{};
                       localtime_s(&t, &now);
                       h = t.tm_hour;
                       m = t.tm_min;
                       s = t.tm_sec;
                     }});
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (!sprites.empty() && sprites != L"none") std::printf("pictures: %d\n", loadPictures(sprites));

  std::unique_ptr<kovra::SnowWorld> snow;
  if (world) {
    snow = std::make_unique<kovra::SnowWorld>(static_cast<float>(width) / scale, heightDip, 7);
    kovra::WorldInput input;
    input.level = 2;
    input.santa = input.birds = input.stars = false;
    snow->prefill(input);
    for (int i = 0; i < 60; ++i) snow->stepWorld(1.0f / 30.0f, input, {}, i / 30.0);
  }
  const SceneDrawer draw = [&](kovra::DrawSink& sink) {
    if (snow) kovra::drawScene(*snow, sink);
    else kovra::sample::drawScene(sink);
  };

  int status = 0;
  {
    GpuRenderer gpu;
    if (!gpu.startDevice(false)) return 2;
    ID2D1DeviceContext* dc = gpu.context();
    D2D1_BITMAP_PROPERTIES1 props{};
    props.pixelFormat = {DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED};
    props.dpiX = props.dpiY = 96.0f;
    props.bitmapOptions = D2D1_BITMAP_OPTIONS_TARGET;
    ComPtr<ID2D1Bitmap1> target, readback;
    const D2D1_SIZE_U size{static_cast<UINT32>(width), static_cast<UINT32>(height)};
    if (FAILED(dc->CreateBitmap(size, nullptr, 0, &props, target.put()))) return 3;
    props.bitmapOptions = D2D1_BITMAP_OPTIONS_CPU_READ | D2D1_BITMAP_OPTIONS_CANNOT_DRAW;
    if (FAILED(dc->CreateBitmap(size, nullptr, 0, &props, readback.put()))) return 3;

    GpuDriftCache drifts;
    ComPtr<ID2D1Bitmap1> fade;
    GpuRenderer::Target t{target.get(), width, height, scale, heightDip, &drifts, &fade};
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    auto read = [&]() {
      if (FAILED(readback->CopyFromBitmap(nullptr, target.get(), nullptr))) return false;
      D2D1_MAPPED_RECT mapped{};
      if (FAILED(readback->Map(D2D1_MAP_OPTIONS_READ, &mapped))) return false;
      for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[static_cast<size_t>(y) * width], mapped.bits + static_cast<size_t>(y) * mapped.pitch,
                    static_cast<size_t>(width) * 4);
      readback->Unmap();
      return true;
    };
    HRESULT hr = gpu.drawTo(t, opacity, draw, false);
    if (FAILED(hr)) {
      std::printf("EndDraw failed (0x%08lx)\n", static_cast<unsigned long>(hr));
      return 4;
    }
    if (!read()) return 5;
    if (!kovra::pngWriteFile(out, pixels.data(), width, height, width)) return 6;
    std::printf("wrote %s (%dx%d)\n", out.c_str(), width, height);

    if (frames > 0) {
      // The GPU works behind the calls: the closing read waits for the last frame.
      const double g0 = seconds();
      for (int f = 0; f < frames; ++f)
        if (FAILED(gpu.drawTo(t, opacity, draw, false))) status = 7;
      read();
      const double gpuMs = (seconds() - g0) * 1000.0 / frames;
      std::vector<uint32_t> soft(static_cast<size_t>(width) * height);
      const double s0 = seconds();
      for (int f = 0; f < frames; ++f) {
        kovra::SoftPainter painter(soft.data(), width, height, width, scale, heightDip, loadSprites());
        painter.clear();
        draw(painter);
      }
      const double softMs = (seconds() - s0) * 1000.0 / frames;
      std::printf("frames: %d at %dx%d px; GPU sink %.3f ms per frame, CPU painter %.3f ms per frame\n", frames,
                  width, height, gpuMs, softMs);
    }
  }
  std::fflush(stdout);
  return status;
}
