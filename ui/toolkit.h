#pragma once
// The toolkit under the drawn windows: cached text measurement, image ids
// and their cache, hit areas with their search order, sliders and scrolling.
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/painter.h"

namespace kui {

// ------------------------------------------------------------ measurement

// Lays text out and measures it; the Direct2D side does it with DirectWrite,
// tests with a fake. A negative result means no layout could be made.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The width (`wantHeight` false) or height of `text` in `style` laid out in
  // `layoutWidth` x 10000, wrapped at words when `wrap`.
  virtual float measure(std::string_view text, int style, bool wrap, bool wantHeight, float layoutWidth) = 0;
};

constexpr size_t kMeasureCacheLimit = 5000;
constexpr float kMeasureLayoutHeight = 10000;

// Every paint measures every label, so results are kept under
// "style|wrap|height|width|" + text; the whole cache is dropped once it holds
// more than kMeasureCacheLimit entries.
class TextMeasureCache {
 public:
  explicit TextMeasureCache(TextMeasurer* measurer = nullptr) : measurer_(measurer) {}

  void setMeasurer(TextMeasurer* measurer) {
    measurer_ = measurer;
    entries_.clear();
  }
  // One line; 7 x the byte length when nothing can measure.
  float width(std::string_view text, int style);
  // Wrapped in `width`, rounded up to a whole pixel.
  float height(std::string_view text, int style, float width);

  size_t size() const { return entries_.size(); }
  void clear() { entries_.clear(); }

  static std::string key(int style, bool wrap, bool wantHeight, float width, std::string_view text);

 private:
  float lookup(std::string_view text, int style, bool wrap, bool wantHeight, float width);

  TextMeasurer* measurer_;
  std::unordered_map<std::string, float> entries_;
};

// ----------------------------------------------------------------- images

constexpr int kImageProgramIcon = 0;  // icon resource 1 at 256 x 256
constexpr int kImageSpriteFirst = 1;  // built-in pictures: id 1 + (resource - 400)
constexpr int kImageThemeFirst = 100; // theme thumbnails: id 100 + theme index

constexpr int spriteImageId(int resource) { return kImageSpriteFirst + (resource - 400); }
constexpr int spriteResourceOfImage(int id) { return id >= kImageSpriteFirst && id < kImageThemeFirst ? id - kImageSpriteFirst + 400 : -1; }
constexpr int themeImageId(int themeIndex) { return kImageThemeFirst + themeIndex; }
// The theme index an image id names, -1 for the icon and sprites.
constexpr int themeIndexOfImage(int id) { return id >= kImageThemeFirst ? id - kImageThemeFirst : -1; }

// Decoded images by id, each decoded once and kept until the cache goes. A
// load that fails is remembered as missing (a tile then shows no picture)
// until `forget` or `clear`.
template <typename Image>
class ImageCache {
 public:
  using Loader = std::function<Image(int id)>;  // an empty Image for none
  explicit ImageCache(Loader loader) : loader_(std::move(loader)) {}

  // Null when the id has no picture.
  const Image* get(int id) {
    auto it = images_.find(id);
    if (it == images_.end()) it = images_.emplace(id, loader_ ? loader_(id) : Image{}).first;
    return present(it->second) ? &it->second : nullptr;
  }
  void forget(int id) { images_.erase(id); }
  static bool present(const Image& image) {
    if constexpr (requires { image.empty(); })
      return !image.empty();
    else
      return static_cast<bool>(image);
  }
  void clear() { images_.clear(); }
  size_t size() const { return images_.size(); }

 private:
  Loader loader_;
  std::map<int, Image> images_;
};

// -------------------------------------------------------------- hit areas

constexpr float kHeaderHeight = 40;

struct HitArea {
  float x = 0, y = 0, w = 0, h = 0;
  int kind = 0;  // the control's action code
  int arg = 0;
  bool contains(float px, float py) const { return px >= x && px < x + w && py >= y && py < y + h; }
  Rect rect() const { return {x, y, w, h}; }
};

// The header band's areas in window coordinates and the page's in content
// coordinates (before the scroll shift); both refilled by every paint.
struct HitLists {
  std::vector<HitArea> header, content;
  void clear() {
    header.clear();
    content.clear();
  }
  void addHeader(const Rect& r, int kind, int arg = 0) { header.push_back({r.x, r.y, r.w, r.h, kind, arg}); }
  void addContent(const Rect& r, int kind, int arg = 0) { content.push_back({r.x, r.y, r.w, r.h, kind, arg}); }
};

// The area under a window point: in the band (y < 40) the first header area
// that holds it; below it the last registered content area that holds the
// point at content y = y - 40 + scroll. Null for none.
const HitArea* hitTest(const HitLists& lists, float x, float y, float scroll);

// 0 outside the band, 2 over a header area, 1 elsewhere in the band (it drags
// the window).
int headerState(const HitLists& lists, float x, float y);

// The slider value a pointer x gives: 0 at 12 px inside the left end, 1 at
// 12 px inside the right end, clamped.
float sliderFraction(const HitArea& slider, float x);

// ------------------------------------------------------------- scrolling

struct ScrollState {
  float position = 0;
  float contentHeight = 0;
  float viewHeight = 0;

  float maxPosition() const;
  // Moves by `delta` and clamps; true when the position changed.
  bool scrollBy(float delta);
  bool scrollTo(float position);
  // New sizes keep the position inside the new range.
  bool setHeights(float content, float view);
};

}  // namespace kui
