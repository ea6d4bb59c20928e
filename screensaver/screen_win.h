#pragma once
// One screensaver window: a Direct2D window render target that the snow
// scene draws onto (the Screen is a DrawSink like the overlay's renderers),
// the world that snows on it and the picture under the snow.
#include <windows.h>

#include <d2d1.h>
#include <d2d1_1.h>
#include <wincodec.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/owners_win.h"
#include "render/draw_sink.h"
#include "screensaver/screensaver_rules.h"
#include "world/world.h"

// Pictures decoded from disk once per file and size, shared by every screen.
class PictureCache {
 public:
  explicit PictureCache(IWICImagingFactory* wic) : wic_(wic) {}
  // The picture at `path` decoded to premultiplied BGRA, shrunk with the Fant
  // filter where it is larger than covering a width x height screen needs.
  // Null when it cannot be read.
  IWICBitmap* get(const std::wstring& path, uint32_t width, uint32_t height);
  // The picture cropped to the screen's shape and scaled to exactly width x
  // height, as CPU pixels; null when it cannot be read.
  const std::vector<uint32_t>* screenPixels(const std::wstring& path, uint32_t width, uint32_t height);

 private:
  // The file's first frame and its size; null (logged) when it cannot be read.
  ComPtr<IWICBitmapFrameDecode> firstFrame(const std::wstring& path, UINT& w, UINT& h);

  IWICImagingFactory* wic_;
  std::map<std::wstring, ComPtr<IWICBitmap>> decoded_;
  std::map<std::wstring, std::unique_ptr<std::vector<uint32_t>>> pixels_;
};

// What a picture slot shows: its key and the bitmaps of its two phases.
struct PictureSlot {
  kovra::SlotKey key;
  bool shown = false;  // the slot has been filled (even without bitmaps)
  ComPtr<ID2D1Bitmap> first, second;
};

class Screen final : public kovra::DrawSink {
 public:
  Screen(HWND window, int width, int height, float scale, bool primary, uint64_t seed);
  ~Screen() override;
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // The render target and everything made on it; false when it cannot be made.
  bool ensureTarget(ID2D1Factory* factory);
  // Puts the pictures of `key` in the current slot: the theme's `first` and
  // `second` files (empty path: missing). Cross-fades from what was shown.
  void showPicture(const kovra::SlotKey& key, const std::wstring& first, const std::wstring& second,
                   PictureCache& cache);
  // One frame: the fade, the world's step, the drawing. False when the
  // target was lost (it is made again on the next frame).
  bool frame(ID2D1Factory* factory, float step, const kovra::WorldInput& input, double now);

  HWND window() const { return window_; }
  bool primary() const { return primary_; }
  const kovra::SlotKey& shownKey() const { return current_.key; }
  bool hasPicture() const { return current_.shown; }
  bool onCpu() const { return cpu_; }

  // DrawSink.
  void drawDrift(const kovra::DriftDraw& drift) override;
  void drawFlake(const kovra::FlakeDraw& flake) override;
  void drawSprite(const kovra::SpriteDraw& sprite) override;
  void fillCircle(kovra::DrawPoint centre, float radius, const kovra::Rgba& colour) override;
  void drawLine(kovra::DrawPoint p0, kovra::DrawPoint p1, float width, const kovra::Rgba& colour) override;
  void fillTriangle(kovra::DrawPoint p0, kovra::DrawPoint p1, kovra::DrawPoint p2, const kovra::Rgba& colour) override;

 private:
  D2D1_POINT_2F pixel(kovra::DrawPoint p) const { return {p.x * scale_, (heightDip_ - p.y) * scale_}; }
  void releaseTarget();
  void drawSlot(const PictureSlot& slot, float opacity);
  void drawCover(ID2D1Bitmap* bitmap, float opacity);
  ComPtr<ID2D1Bitmap> bitmapFrom(IWICBitmap* picture);
  void reloadPictures();
  void switchToCpu();
  void composeBackground(const kovra::SlotKey& key, const std::wstring& first, const std::wstring& second,
                         std::vector<uint32_t>& out);
  void drawOnCpu();

  HWND window_;
  int width_, height_;
  float scale_, widthDip_, heightDip_;
  bool primary_;
  std::unique_ptr<kovra::SnowWorld> world_;

  ID2D1Factory* factory_ = nullptr;
  ComPtr<ID2D1HwndRenderTarget> target_;
  ComPtr<ID2D1DeviceContext> context_;  // for additive sprites, where Direct2D 1.1 is there
  ComPtr<ID2D1SolidColorBrush> snow_, brush_;
  ComPtr<ID2D1StrokeStyle> round_;
  std::array<ComPtr<ID2D1Bitmap>, kovra::kSaverFlakeBitmaps> flakes_;
  std::vector<ComPtr<ID2D1Bitmap>> sprites_;
  struct DriftShape {
    const void* key = nullptr;
    uint64_t version = 0;
    ComPtr<ID2D1PathGeometry> body;
    bool used = false;
  };
  std::vector<DriftShape> drifts_;
  // Where Direct2D proved too slow, the whole frame is composed on the CPU
  // (the pictures once per change, the scene by the CPU painter) and put on
  // the window with GDI.
  bool cpu_ = false;
  int slowFrames_ = 0;
  std::vector<uint32_t> frame_, currentBg_, previousBg_;

  // The files behind the slots, to make their bitmaps again on a new target.
  struct SlotFiles {
    std::wstring first, second;
  };
  SlotFiles currentFiles_, previousFiles_;
  PictureCache* cache_ = nullptr;
  PictureSlot current_, previous_;
  kovra::CrossFade fade_;
};
