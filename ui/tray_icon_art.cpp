#include "ui/tray_icon_art.h"

#include <algorithm>
#include <cmath>

namespace {

struct Segment {
  double ax, ay, bx, by;
};

constexpr double kPi = 3.14159265358979323846;

double distanceToSegment(double px, double py, const Segment& s) {
  double dx = s.bx - s.ax, dy = s.by - s.ay;
  double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - s.ax) * dx + (py - s.ay) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  double qx = s.ax + t * dx - px, qy = s.ay + t * dy - py;
  return std::sqrt(qx * qx + qy * qy);
}

// Six arms from the centre, the first pointing up, each with side branches
// at 45 degrees: one pair on small icons, two on larger ones.
std::vector<Segment> flakeSegments(int n) {
  const double c = n / 2.0;
  const double arm = 0.46 * n;
  struct Pair {
    double at, length;
  };
  std::vector<Pair> pairs;
  if (n <= 20) pairs = {{0.58, 0.34}};
  else pairs = {{0.45, 0.30}, {0.72, 0.22}};

  std::vector<Segment> segs;
  for (int k = 0; k < 6; ++k) {
    double a = (k * 60.0 + 90.0) * kPi / 180.0;
    double ux = std::cos(a), uy = -std::sin(a);  // y grows downwards
    segs.push_back({c, c, c + arm * ux, c + arm * uy});
    for (const Pair& p : pairs) {
      double sx = c + p.at * arm * ux, sy = c + p.at * arm * uy;
      for (double turn : {-45.0, 45.0}) {
        double b = a + turn * kPi / 180.0;
        double len = p.length * arm;
        segs.push_back({sx, sy, sx + len * std::cos(b), sy - len * std::sin(b)});
      }
    }
  }
  return segs;
}

uint32_t channel(double v) {
  v = std::clamp(v, 0.0, 1.0);
  return static_cast<uint32_t>(v * 255.0 + 0.5);
}

}  // namespace

std::vector<uint32_t> traySnowflakePixels(int size, bool paused, IconAlpha alphaMode) {
  const int n = std::max(16, size);
  const std::vector<Segment> segs = flakeSegments(n);
  const double core = std::max(0.8, 0.045 * n);
  const double rim = core + std::max(0.85, 0.035 * n);

  std::vector<uint32_t> px(static_cast<size_t>(n) * n, 0);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      int coreHits = 0, rimHits = 0;
      for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
          double sx = x + (i + 0.5) / 4.0, sy = y + (j + 0.5) / 4.0;
          double d = rim + 1;
          for (const Segment& s : segs) d = std::min(d, distanceToSegment(sx, sy, s));
          if (d <= core) ++coreHits;
          else if (d <= rim) ++rimHits;
        }
      }
      const double coreW = coreHits / 16.0, rimW = rimHits / 16.0;
      double c, m, r, g, b;
      if (!paused) {
        c = coreW;
        m = 0.85 * rimW;
        if (c + m <= 0) continue;
        r = (c + 0.1 * m) / (c + m);
        g = (c + 0.17 * m) / (c + m);
        b = (c + 0.32 * m) / (c + m);
      } else {
        c = 0.8 * coreW;
        m = 0.55 * rimW;
        if (c + m <= 0) continue;
        r = (0.78 * c + 0.1 * m) / (c + m);
        g = (0.8 * c + 0.17 * m) / (c + m);
        b = (0.84 * c + 0.32 * m) / (c + m);
      }
      double a = std::min(1.0, c + m);
      if (alphaMode == IconAlpha::Premultiplied) {
        r *= a;
        g *= a;
        b *= a;
      }
      px[static_cast<size_t>(y) * n + x] = (channel(a) << 24) | (channel(r) << 16) | (channel(g) << 8) | channel(b);
    }
  }
  return px;
}
