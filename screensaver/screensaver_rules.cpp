#include "screensaver/screensaver_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kovra {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithScr(std::string_view name) {
  if (name.size() < 5) return false;
  std::string_view tail = name.substr(name.size() - 4);
  return tail[0] == '.' && lower(tail[1]) == 's' && lower(tail[2]) == 'c' && lower(tail[3]) == 'r';
}

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
  out += name;
  return out;
}

}  // namespace

std::optional<uint64_t> parseWindowHandle(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (v > (std::numeric_limits<uint64_t>::max() - d) / 10) return std::nullopt;
    v = v * 10 + d;
  }
  if (v == 0) return std::nullopt;
  return v;
}

SaverCommand saverCommand(const std::vector<std::string>& args, std::string_view exeName) {
  SaverCommand out;
  if (args.empty()) {
    if (endsWithScr(exeName)) out.mode = SaverMode::Configure;
    return out;
  }
  const std::string& first = args[0];
  if (first.size() < 2 || (first[0] != '-' && first[0] != '/')) return out;
  switch (lower(first[1])) {
    case 's':
      out.mode = SaverMode::FullScreen;
      return out;
    case 'c':
      out.mode = SaverMode::Configure;
      return out;
    case 'p':
    case 'l': {
      std::string_view handle;
      const size_t colon = first.find(':');
      if (colon != std::string::npos) handle = std::string_view(first).substr(colon + 1);
      else if (args.size() > 1) handle = args[1];
      if (std::optional<uint64_t> h = parseWindowHandle(handle)) {
        out.mode = SaverMode::Preview;
        out.parent = *h;
      }
      return out;
    }
    default:
      return out;
  }
}

bool saverInputQuits(SaverMode mode, SaverInput input, double sinceStart, long dx, long dy) {
  if (input == SaverInput::Close) return true;
  if (mode != SaverMode::FullScreen) return false;
  switch (input) {
    case SaverInput::Key:
    case SaverInput::Button:
    case SaverInput::Wheel:
      return true;
    case SaverInput::Move:
      return sinceStart > kMoveGrace && (std::labs(dx) > kMoveSlack || std::labs(dy) > kMoveSlack);
    case SaverInput::Deactivate:
      return sinceStart > kDeactivateGrace;
    default:
      return false;
  }
}

PictureChoice choosePicture(int appChoice, const std::vector<bool>& onDisk, double pick) {
  const int n = static_cast<int>(onDisk.size());
  if (appChoice >= 0 && appChoice < n && onDisk[static_cast<size_t>(appChoice)]) return {appChoice, true};
  std::vector<int> present;
  for (int i = 0; i < n; ++i)
    if (onDisk[static_cast<size_t>(i)]) present.push_back(i);
  if (present.empty()) return {-1, false};
  const double p = std::clamp(pick, 0.0, 1.0);
  size_t k = static_cast<size_t>(p * static_cast<double>(present.size()));
  if (k >= present.size()) k = present.size() - 1;
  return {present[k], false};
}

int nextPictureTheme(const std::vector<bool>& onDisk, int current) {
  const int n = static_cast<int>(onDisk.size());
  if (n == 0) return -1;
  const int from = (current >= 0 && current < n) ? current : -1;
  for (int step = 1; step <= n; ++step) {
    const int i = ((from + step) % n + n) % n;
    if (onDisk[static_cast<size_t>(i)]) return i;
  }
  return -1;
}

PictureSchedule pictureScheduleFrom(double start) {
  return {start + kPictureChangeInterval, start + kPhaseCheckInterval};
}

PictureStep pictureStep(PictureSchedule& s, bool kept, double now) {
  if (!kept && now >= s.nextChange) {
    s.nextChange = now + kPictureChangeInterval;
    return PictureStep::NextTheme;
  }
  if (now >= s.nextPhaseCheck) {
    s.nextPhaseCheck = now + kPhaseCheckInterval;
    return PictureStep::PhaseCheck;
  }
  return PictureStep::None;
}

bool slotDiffers(const SlotKey& a, const SlotKey& b) {
  if (a.theme != b.theme || a.from != b.from || a.to != b.to) return true;
  return std::fabs(a.blend - b.blend) >= 0.01 - 1e-9;
}

bool CrossFade::advance(float step) {
  if (progress >= 1.0f) return false;
  progress = std::min(1.0f, progress + step / std::max(0.1f, duration));
  return progress >= 1.0f;
}

CropRect coverCrop(float w, float h, float sw, float sh) {
  if (!(w > 0) || !(h > 0) || !(sw > 0) || !(sh > 0)) return {0, 0, std::max(0.0f, w), std::max(0.0f, h)};
  const float screenAspect = sw / sh;
  if (w / h > screenAspect) {
    const float cw = h * screenAspect;  // wider than the screen: the sides go
    return {(w - cw) * 0.5f, 0, cw, h};
  }
  const float ch = w / screenAspect;  // taller: the top and bottom go
  return {0, (h - ch) * 0.5f, w, ch};
}

void layOver(uint32_t* dst, const uint32_t* src, size_t count, float opacity) {
  if (!(opacity > 0.003f)) return;
  const uint32_t o = static_cast<uint32_t>(std::lround(std::min(1.0f, opacity) * 256.0f));  // 0..256
  for (size_t i = 0; i < count; ++i) {
    const uint32_t s = src[i], d = dst[i];
    const uint32_t sa = ((s >> 24) * o) >> 8;
    const uint32_t keep = 255 - sa;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const uint32_t sc = (((s >> shift) & 0xFF) * o) >> 8;
      const uint32_t dc = (d >> shift) & 0xFF;
      out |= std::min<uint32_t>(255, sc + (dc * keep + 127) / 255) << shift;
    }
    dst[i] = out;
  }
}

void crossFadeInto(uint32_t* dst, const uint32_t* from, const uint32_t* to, size_t count, float t) {
  const uint32_t w = static_cast<uint32_t>(std::lround(std::clamp(t, 0.0f, 1.0f) * 256.0f));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t a = from[i], b = to[i];
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const uint32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
      out |= ((ca * (256 - w) + cb * w + 128) >> 8) << shift;
    }
    dst[i] = out;
  }
}

PixelRect32 coverClip(uint32_t w, uint32_t h, uint32_t sw, uint32_t sh) {
  const CropRect c = coverCrop(static_cast<float>(w), static_cast<float>(h), static_cast<float>(sw), static_cast<float>(sh));
  PixelRect32 r;
  r.width = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(c.width)), 1u, std::max(1u, w));
  r.height = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(c.height)), 1u, std::max(1u, h));
  r.x = std::min<uint32_t>(static_cast<uint32_t>(std::lround(c.x)), w > r.width ? w - r.width : 0);
  r.y = std::min<uint32_t>(static_cast<uint32_t>(std::lround(c.y)), h > r.height ? h - r.height : 0);
  return r;
}

PixelSize coverDecodeSize(uint32_t w, uint32_t h, uint32_t sw, uint32_t sh) {
  if (w == 0 || h == 0) return {w, h};
  const double s = std::max(static_cast<double>(sw) / w, static_cast<double>(sh) / h);
  if (s >= 1.0) return {w, h};
  auto side = [s](uint32_t v) {
    return std::clamp(static_cast<uint32_t>(std::ceil(v * s - 1e-6)), 1u, v);
  };
  return {side(w), side(h)};
}

int saverFlakeBitmapFor(float side) {
  for (int i = 0; i < kSaverFlakeBitmaps; ++i)
    if (static_cast<float>(kSaverFlakeSides[i]) >= side) return i;
  return kSaverFlakeBitmaps - 1;
}

namespace {

// Piecewise linear through (0, a), (0.6, b), (0.85, c), (1, 0); 0 beyond.
float flakeRamp(float t, float a, float b, float c) {
  if (t >= 1.0f) return 0.0f;
  if (t < 0.6f) return a + (b - a) * (t / 0.6f);
  if (t < 0.85f) return b + (c - b) * ((t - 0.6f) / 0.25f);
  return c * (1.0f - (t - 0.85f) / 0.15f);
}

uint32_t byteOf(float v) {
  return static_cast<uint32_t>(std::floor(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f));
}

}  // namespace

std::vector<uint32_t> saverFlakePixels(int side) {
  if (side <= 0) return {};
  std::vector<uint32_t> out(static_cast<size_t>(side) * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      float r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          const float u = (static_cast<float>(x) + (sx + 0.5f) / 4.0f) / static_cast<float>(side) - 0.5f;
          const float v = (static_cast<float>(y) + (sy + 0.5f) / 4.0f) / static_cast<float>(side) - 0.5f;
          const float h = flakeRamp(std::sqrt(u * u + v * v) / 0.4f, 1.0f, 0.95f, 0.5f);
          const float dv = v - 0.045f;
          const float s = flakeRamp(std::sqrt(u * u + dv * dv) / 0.45f, 0.36f, 0.24f, 0.07f) * (1.0f - h);
          r += 0.25f * s + h;
          g += 0.26f * s + h;
          b += 0.29f * s + h;
          a += s + h;
        }
      out[static_cast<size_t>(y) * side + x] =
          (byteOf(a / 16) << 24) | (byteOf(r / 16) << 16) | (byteOf(g / 16) << 8) | byteOf(b / 16);
    }
  return out;
}

float saverSnowAmount(double sinceStart) {
  const double f = std::clamp(sinceStart / 15.0, 0.0, 1.0);
  return static_cast<float>(0.8 + 1.2 * f);
}

float previewScale(int width) { return std::max(0.05f, static_cast<float>(width) / 640.0f); }

int flushesPerFrame(double period) {
  if (!(period > 0)) return 1;
  return std::max(1, static_cast<int>(std::lround(1.0 / (period * 60.0))));
}

bool FlushWatch::frame(bool flushOk, double since, double blocked) {
  if (gaveUp_) return false;
  if (!flushOk || since < kQuickSeconds || blocked < kNoWaitSeconds) ++quick_;
  else quick_ = 0;
  if (quick_ < kTooQuick) return false;
  gaveUp_ = true;
  return true;
}

std::string saverPrimaryPath(std::string_view exeFolder) { return joinPath(exeFolder, "Quillar.scr"); }

std::string saverFallbackPath(std::string_view localAppData, std::string_view exeFolder) {
  return joinPath(joinPath(localAppData.empty() ? exeFolder : localAppData, "Kovra"), "Quillar.scr");
}

bool saverTimeoutKept(const std::optional<std::string>& value) {
  if (!value) return false;
  std::string_view v = *value;
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  if (v.empty() || v.size() > 9) return false;
  long n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return n > 0;
}

bool saverSettingActive(const std::optional<std::string>& scrnsave, const std::optional<std::string>& active) {
  if (!scrnsave) return false;
  return !active || active->empty() || (*active)[0] != '0';
}

}  // namespace kovra
