// Draws the Quillar window's page as an SVG picture, to look at it without
// Windows (turn it into a PNG with `rsvg-convert page.svg -o page.png`):
//
//   page_preview <output.svg> [options]
//
// Options:
//   --lang N        UI language 0..6 (default 1, English)
//   --state plain|full|paused|guide-less  what the model shows (default full:
//                   update offered, smart pause hiding, real weather, themes)
//   --scroll Y      scroll position in logical pixels (default 0)
//   --height H      logical window height (default 800); 0 draws the whole page
//   --scale S       pixels per logical pixel (default 1; 1.5 is 144 dpi)
//   --hover K[,A]   the hovered control kind and argument
//   --time T        the banner's clock in seconds (default 7)
//   --fonts DIR     where the DejaVu fonts are, for text widths
//                   (default /usr/share/fonts/truetype/dejavu)
//
// Text is measured with the advance widths of the DejaVu faces the SVG names,
// so the layout matches what the renderer draws; thumbnails are stand-ins.
// Run it from the source tree's root to get the program icon in the band.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/settings.h"
#include "ui/recording_painter.h"
#include "ui/settings_page.h"

using namespace kui;

namespace {

// ---------------------------------------------------- TrueType advances

struct Face {
  std::vector<uint8_t> data;
  int unitsPerEm = 2048;
  std::map<uint32_t, uint16_t> glyphOf;
  std::vector<uint16_t> advances;
  bool ok = false;

  uint16_t u16(size_t at) const { return at + 2 <= data.size() ? static_cast<uint16_t>(data[at] << 8 | data[at + 1]) : 0; }
  uint32_t u32(size_t at) const { return static_cast<uint32_t>(u16(at)) << 16 | u16(at + 2); }

  size_t table(const char* tag) const {
    const int n = u16(4);
    for (int i = 0; i < n; ++i) {
      const size_t rec = 12 + static_cast<size_t>(i) * 16;
      if (rec + 16 <= data.size() && std::memcmp(&data[rec], tag, 4) == 0) return u32(rec + 8);
    }
    return 0;
  }

  bool load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), {});
    const size_t head = table("head"), hhea = table("hhea"), hmtx = table("hmtx"), cmap = table("cmap");
    if (!head || !hhea || !hmtx || !cmap) return false;
    unitsPerEm = u16(head + 18);
    const int metrics = u16(hhea + 34);
    for (int i = 0; i < metrics; ++i) advances.push_back(u16(hmtx + static_cast<size_t>(i) * 4));
    // The Unicode BMP subtable (format 4).
    const int tables = u16(cmap + 2);
    for (int t = 0; t < tables; ++t) {
      const size_t sub = cmap + u32(cmap + 4 + static_cast<size_t>(t) * 8 + 4);
      if (u16(sub) != 4) continue;
      const int segs = u16(sub + 6) / 2;
      const size_t ends = sub + 14, starts = ends + segs * 2 + 2, deltas = starts + segs * 2, ranges = deltas + segs * 2;
      for (int s = 0; s < segs; ++s) {
        const uint16_t end = u16(ends + s * 2), start = u16(starts + s * 2);
        const int16_t delta = static_cast<int16_t>(u16(deltas + s * 2));
        const uint16_t range = u16(ranges + s * 2);
        for (uint32_t c = start; c <= end && c != 0xffff; ++c) {
          uint16_t g;
          if (range == 0) {
            g = static_cast<uint16_t>(c + delta);
          } else {
            const size_t at = ranges + s * 2 + range + (c - start) * 2;
            g = u16(at);
            if (g) g = static_cast<uint16_t>(g + delta);
          }
          if (g) glyphOf[c] = g;
        }
      }
      break;
    }
    ok = !advances.empty() && !glyphOf.empty();
    return ok;
  }

  float advance(uint32_t c) const {
    auto it = glyphOf.find(c);
    const uint16_t g = it == glyphOf.end() ? 0 : it->second;
    const uint16_t a = advances.empty() ? 0 : advances[std::min<size_t>(g, advances.size() - 1)];
    return static_cast<float>(a) / static_cast<float>(unitsPerEm);
  }
};

std::vector<uint32_t> decode(std::string_view s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    uint32_t cp = len == 1 ? c : c & (0x3f >> (len - 1));
    for (int k = 1; k < len && i + k < s.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3f);
    out.push_back(cp);
    i += len;
  }
  return out;
}

struct Fonts {
  Face faces[3][2];  // family (serif, sans, mono) x bold
  const Face& of(int style) const {
    const TextStyle& s = kTextStyles[std::clamp(style, 0, kStyleCount - 1)];
    return faces[s.family == 0 ? 0 : s.family == 2 ? 2 : 1][s.weight >= 600 ? 1 : 0];
  }
};

const char* familyName(int style) {
  const int f = kTextStyles[std::clamp(style, 0, kStyleCount - 1)].family;
  return f == 0 ? "DejaVu Serif" : f == 2 ? "DejaVu Sans Mono" : "DejaVu Sans";
}

float lineHeightOf(int style) { return std::ceil(kTextStyles[std::clamp(style, 0, kStyleCount - 1)].size * 1.17f); }

class FaceMeasurer final : public TextMeasurer {
 public:
  explicit FaceMeasurer(const Fonts& fonts) : fonts_(fonts) {}

  float width(std::string_view text, int style) const {
    const Face& f = fonts_.of(style);
    const float size = kTextStyles[std::clamp(style, 0, kStyleCount - 1)].size;
    float w = 0;
    for (uint32_t c : decode(text)) w += f.ok ? f.advance(c) * size : size * 0.55f;
    return w;
  }

  // Greedy lines at spaces, as the page's wrapped texts break.
  std::vector<std::string> lines(std::string_view text, int style, float maxWidth) const {
    std::vector<std::string> out;
    std::string line;
    size_t at = 0;
    while (at <= text.size()) {
      size_t end = text.find(' ', at);
      if (end == std::string_view::npos) end = text.size();
      const std::string word(text.substr(at, end - at));
      const std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && width(candidate, style) > maxWidth) {
        out.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
      at = end + 1;
    }
    out.push_back(line);
    return out;
  }

  float measure(std::string_view text, int style, bool wrap, bool wantHeight, float layoutWidth) override {
    if (!wrap) return wantHeight ? lineHeightOf(style) : width(text, style);
    const auto ls = lines(text, style, layoutWidth);
    if (wantHeight) return static_cast<float>(ls.size()) * lineHeightOf(style);
    float w = 0;
    for (const auto& l : ls) w = std::max(w, width(l, style));
    return w;
  }

 private:
  const Fonts& fonts_;
};

// ------------------------------------------------------------------ SVG

// The file as a data: address, so the SVG carries the picture itself.
std::string dataUrl(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  static const char* const digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out = "data:image/png;base64,";
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
    out += digits[v >> 18 & 63];
    out += digits[v >> 12 & 63];
    out += i + 1 < bytes.size() ? digits[v >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? digits[v & 63] : '=';
  }
  return out;
}

std::string esc(std::string_view s) {
  std::string o;
  for (char c : s) {
    if (c == '&') o += "&amp;";
    else if (c == '<') o += "&lt;";
    else if (c == '>') o += "&gt;";
    else if (c == '"') o += "&quot;";
    else o += c;
  }
  return o;
}

std::string paint(const Color& c) {
  char b[64];
  std::snprintf(b, sizeof b, "rgb(%d,%d,%d)", static_cast<int>(std::lround(c.r * 255)),
                static_cast<int>(std::lround(c.g * 255)), static_cast<int>(std::lround(c.b * 255)));
  return b;
}

std::string num(float v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

struct Svg {
  std::ostringstream defs, body;
  int gradients = 0;

  std::string gradient(Point a, Point b, const Color& ca, const Color& cb) {
    const std::string id = "g" + std::to_string(gradients++);
    defs << "<linearGradient id=\"" << id << "\" gradientUnits=\"userSpaceOnUse\" x1=\"" << num(a.x) << "\" y1=\""
         << num(a.y) << "\" x2=\"" << num(b.x) << "\" y2=\"" << num(b.y) << "\"><stop offset=\"0\" stop-color=\""
         << paint(ca) << "\" stop-opacity=\"" << num(ca.a) << "\"/><stop offset=\"1\" stop-color=\"" << paint(cb)
         << "\" stop-opacity=\"" << num(cb.a) << "\"/></linearGradient>\n";
    return "url(#" + id + ")";
  }
};

void rectAttrs(std::ostream& o, const Rect& r, float radius) {
  const float rr = std::min(radius, std::min(r.w, r.h) / 2);
  o << "x=\"" << num(r.x) << "\" y=\"" << num(r.y) << "\" width=\"" << num(std::max(0.0f, r.w)) << "\" height=\""
    << num(std::max(0.0f, r.h)) << "\"";
  if (rr > 0) o << " rx=\"" << num(rr) << "\"";
}

// A stand-in for a theme's thumbnail: a sky and hills in the theme's hues.
void thumbnail(Svg& svg, const Rect& r, int theme, float radius, float opacity) {
  static const unsigned skies[][2] = {{0x3b5aa8, 0xf3b27a}, {0x1c2f66, 0x6e8fd6}, {0x7ab6e8, 0xdcefff},
                                      {0x2a1f4d, 0xe07a5f}, {0x0f1a3a, 0x3d5a9e}, {0x9bc3e6, 0xfbe3c4}};
  const auto& s = skies[theme % 6];
  std::string clip = "c" + std::to_string(svg.gradients++);
  svg.defs << "<clipPath id=\"" << clip << "\"><rect ";
  rectAttrs(svg.defs, r, radius);
  svg.defs << "/></clipPath>\n";
  const std::string sky = svg.gradient({r.x, r.y}, {r.x, r.bottom()}, rgb(s[0]), rgb(s[1]));
  svg.body << "<g clip-path=\"url(#" << clip << ")\" opacity=\"" << num(opacity) << "\"><rect ";
  rectAttrs(svg.body, r, 0);
  svg.body << " fill=\"" << sky << "\"/>";
  svg.body << "<path d=\"M" << num(r.x) << " " << num(r.y + r.h * 0.72f) << " Q " << num(r.x + r.w * 0.3f) << " "
           << num(r.y + r.h * (0.45f + 0.05f * static_cast<float>(theme % 3))) << " " << num(r.x + r.w * 0.55f) << " "
           << num(r.y + r.h * 0.66f) << " T " << num(r.right()) << " " << num(r.y + r.h * 0.6f) << " L "
           << num(r.right()) << " " << num(r.bottom()) << " L " << num(r.x) << " " << num(r.bottom())
           << " Z\" fill=\"#e9f0fb\"/>";
  svg.body << "</g>\n";
}

void writeSvg(const RecordingPainter& rec, const FaceMeasurer& measure, float width, float height, float scale,
              const std::string& iconPath, const std::string& path) {
  Svg svg;
  for (const DrawCall& c : rec.calls) {
    std::ostream& o = svg.body;
    switch (c.op) {
      case Op::FillRect:
        o << "<rect ";
        rectAttrs(o, c.rect, c.radius);
        o << " fill=\"" << paint(c.colour) << "\" fill-opacity=\"" << num(c.colour.a) << "\"/>\n";
        break;
      case Op::StrokeRoundRect: {
        const float h = c.stroke / 2;
        o << "<rect ";
        rectAttrs(o, {c.rect.x + h, c.rect.y + h, c.rect.w - c.stroke, c.rect.h - c.stroke},
                  std::max(0.0f, c.radius - h));
        o << " fill=\"none\" stroke=\"" << paint(c.colour) << "\" stroke-opacity=\"" << num(c.colour.a)
          << "\" stroke-width=\"" << num(c.stroke) << "\"/>\n";
        break;
      }
      case Op::FillGradientRect: {
        const std::string g = svg.gradient({c.rect.x, c.rect.y}, {c.rect.x, c.rect.bottom()}, c.colour, c.colour2);
        o << "<rect ";
        rectAttrs(o, c.rect, c.radius);
        o << " fill=\"" << g << "\"/>\n";
        break;
      }
      case Op::FillCircle:
        o << "<circle cx=\"" << num(c.rect.x + c.radius) << "\" cy=\"" << num(c.rect.y + c.radius) << "\" r=\""
          << num(c.radius) << "\" fill=\"" << paint(c.colour) << "\" fill-opacity=\"" << num(c.colour.a) << "\"/>\n";
        break;
      case Op::Line:
        o << "<line x1=\"" << num(c.points[0].x) << "\" y1=\"" << num(c.points[0].y) << "\" x2=\""
          << num(c.points[1].x) << "\" y2=\"" << num(c.points[1].y) << "\" stroke=\"" << paint(c.colour)
          << "\" stroke-opacity=\"" << num(c.colour.a) << "\" stroke-width=\"" << num(c.stroke) << "\"/>\n";
        break;
      case Op::FillPolygon: {
        const size_t n = c.points.size() - 2;
        const Point g0 = c.points[n], g1 = c.points[n + 1];
        std::string fill;
        if (g0.x == g1.x && g0.y == g1.y) {
          fill = paint(c.colour) + "\" fill-opacity=\"" + num(c.colour.a);
        } else {
          fill = svg.gradient(g0, g1, c.colour, c.colour2);
        }
        o << "<polygon points=\"";
        for (size_t i = 0; i < n; ++i) o << num(c.points[i].x) << "," << num(c.points[i].y) << " ";
        o << "\" fill=\"" << fill << "\"/>\n";
        break;
      }
      case Op::Text: {
        const TextStyle& s = kTextStyles[std::clamp(c.style, 0, kStyleCount - 1)];
        const std::vector<std::string> lines =
            c.wrap ? measure.lines(c.text, c.style, c.rect.w) : std::vector<std::string>{c.text};
        const float lh = lineHeightOf(c.style);
        const char* anchor = c.align == kAlignCentre ? "middle" : c.align == kAlignTrailing ? "end" : "start";
        const float x = c.align == kAlignCentre ? c.rect.x + c.rect.w / 2 : c.align == kAlignTrailing ? c.rect.right() : c.rect.x;
        o << "<text font-family=\"" << familyName(c.style) << "\" font-weight=\"" << (s.weight >= 600 ? "bold" : "normal")
          << "\" font-size=\"" << num(s.size) << "\" fill=\"" << paint(c.colour) << "\" fill-opacity=\""
          << num(c.colour.a) << "\" text-anchor=\"" << anchor << "\">";
        for (size_t i = 0; i < lines.size(); ++i)
          o << "<tspan x=\"" << num(x) << "\" y=\"" << num(c.rect.y + static_cast<float>(i) * lh + s.size * 0.93f)
            << "\">" << esc(lines[i]) << "</tspan>";
        o << "</text>\n";
        break;
      }
      case Op::Image:
        if (c.image == kImageProgramIcon && !iconPath.empty()) {
          o << "<image href=\"" << iconPath << "\" x=\"" << num(c.rect.x) << "\" y=\"" << num(c.rect.y)
            << "\" width=\"" << num(c.rect.w) << "\" height=\"" << num(c.rect.h) << "\" opacity=\"" << num(c.opacity)
            << "\"/>\n";
        } else if (themeIndexOfImage(c.image) >= 0) {
          thumbnail(svg, c.rect, themeIndexOfImage(c.image), c.radius, c.opacity);
        }
        break;
    }
  }
  std::ofstream out(path);
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << static_cast<int>(std::lround(width * scale))
      << "\" height=\"" << static_cast<int>(std::lround(height * scale)) << "\">\n<defs>\n"
      << svg.defs.str() << "</defs>\n<g transform=\"scale(" << num(scale) << ")\">\n"
      << svg.body.str() << "</g>\n</svg>\n";
}

SettingsModel model(const std::string& state, int language) {
  SettingsModel m;
  m.version = "0.9.20";
  m.contactAddress = "support@quillar.app";
  m.newYearDays = daysUntilNewYear(2026, 12, 9);
  m.values.language = language;
  if (state == "plain") return m;
  if (state == "paused") {
    m.values.paused = true;
    return m;
  }
  m.values.realWeather = true;
  m.values.followTimes = true;
  m.values.wallpaperChoice = 2;
  m.weatherStatus = "Kyiv: light snow, -3°, wind 12 km/h";
  m.snowHiddenReason = "відео";
  m.updateState = kUpdateAvailable;
  m.updateVersion = "0.9.21";
  const char* titles[] = {"Carpathian morning", "Frozen lake", "Old town", "Pine forest", "Mountain hut",
                          "Northern lights", "Harbour", "Fields"};
  const int states[] = {0, 0, 0, 2, 1, 1, 3, 1};
  for (int i = 0; i < 8; ++i) m.themes.push_back({titles[i], states[i], 0.45f, 18 + 7 * i});
  m.visibleThemes = 7;
  m.missingMB = 120;
  m.downloadsPending = 1;
  m.anyDownloadFailed = true;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: page_preview <output.svg> [--lang N] [--state plain|full|paused] [--scroll Y]\n"
                         "       [--height H] [--scale S] [--hover K[,A]] [--time T] [--fonts DIR]\n");
    return 2;
  }
  std::string out = argv[1], state = "full", fontDir = "/usr/share/fonts/truetype/dejavu";
  int language = 1;
  PageView view;
  view.time = 7;
  float height = 800, scale = 1;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--lang") language = std::atoi(v.c_str());
    else if (k == "--state") state = v;
    else if (k == "--scroll") view.scroll = static_cast<float>(std::atof(v.c_str()));
    else if (k == "--height") height = static_cast<float>(std::atof(v.c_str()));
    else if (k == "--scale") scale = static_cast<float>(std::atof(v.c_str()));
    else if (k == "--time") view.time = std::atof(v.c_str());
    else if (k == "--fonts") fontDir = v;
    else if (k == "--hover") std::sscanf(v.c_str(), "%d,%d", &view.hoverKind, &view.hoverArg);
    else {
      std::fprintf(stderr, "page_preview: unknown option %s\n", k.c_str());
      return 2;
    }
  }
  setLanguageState(language, kLanguageEnglish);

  Fonts fonts;
  const char* files[3][2] = {{"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf"},
                             {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"},
                             {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"}};
  for (int f = 0; f < 3; ++f)
    for (int b = 0; b < 2; ++b)
      if (!fonts.faces[f][b].load(fontDir + "/" + files[f][b]))
        std::fprintf(stderr, "page_preview: %s/%s not read; widths are guessed\n", fontDir.c_str(), files[f][b]);
  FaceMeasurer measurer(fonts);

  SettingsModel m = model(state, language);
  // The first pass finds the page's height.
  RecordingPainter probe(&measurer);
  HitLists hits;
  view.viewHeight = 760;
  const PageResult r = paintSettingsWindow(probe, hits, m, view);
  if (height <= 0) height = r.contentHeight + kHeaderHeight;
  view.viewHeight = height - kHeaderHeight;
  ScrollState scroll;
  scroll.position = view.scroll;
  scroll.setHeights(r.contentHeight, view.viewHeight);
  view.scroll = scroll.position;

  RecordingPainter rec(&measurer);
  paintSettingsWindow(rec, hits, m, view);
  // The program icon from the source tree (run from its root), or $QUILLAR_ICON.
  const char* iconFile = std::getenv("QUILLAR_ICON");
  const std::string icon = dataUrl(iconFile ? iconFile : "assets/icon/snowflake-256.png");
  writeSvg(rec, measurer, kPageWidth, height, scale, icon, out);
  std::printf("page_preview: %s, content %.0f px, scroll %.0f of %.0f, %zu header and %zu content areas\n",
              out.c_str(), r.contentHeight, view.scroll, scroll.maxPosition(), hits.header.size(),
              hits.content.size());
  return 0;
}
