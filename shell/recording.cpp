#include "shell/recording.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "base/utf.h"
#include "desktop/smart_pause.h"

namespace {

constexpr const char kHeader[] = "quillar-recording 1";

const char* const kReasons[] = {nullptr, kReasonLowBattery, kReasonCall, kReasonVideo};

int reasonIndex(const char* reason) {
  for (int i = 1; i < 4; ++i)
    if (reason == kReasons[i] || (reason && std::strcmp(reason, kReasons[i]) == 0)) return i;
  return 0;
}

// Bytes outside the printable ASCII range, spaces and '%' become %XX, so that
// a token never holds a space or a line break.
std::string escape(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = s.empty() ? "%" : "";  // "%" alone is the empty string
  for (unsigned char c : s) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string unescape(const std::string& s) {
  if (s == "%") return {};
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

void put(std::string& line, const PixelRect& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, " %" PRId32 " %" PRId32 " %" PRId32 " %" PRId32, r.left, r.top, r.right, r.bottom);
  line += buf;
}
void put(std::string& line, double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, " %.17g", v);
  line += buf;
}
// Appended in two steps: GCC 12 flags `" " + text` with a false -Wrestrict.
void put(std::string& line, long long v) {
  line += ' ';
  line += std::to_string(v);
}
void putU(std::string& line, uint64_t v) {
  line += ' ';
  line += std::to_string(v);
}
void put(std::string& line, const std::string& s) {
  line += ' ';
  line += escape(s);
}

// Reads the tokens of one line in order; a missing or malformed token sets `bad`.
class Tokens {
 public:
  explicit Tokens(const std::string& line) {
    std::istringstream in(line);
    std::string t;
    while (in >> t) items_.push_back(t);
  }
  std::string word() {
    if (at_ >= items_.size()) {
      bad = true;
      return {};
    }
    return items_[at_++];
  }
  double number() {
    std::string t = word();
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (t.empty() || *end) bad = true;
    return v;
  }
  long long integer() {
    std::string t = word();
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 10);
    if (t.empty() || *end) bad = true;
    return v;
  }
  uint64_t unsignedInteger() {
    std::string t = word();
    char* end = nullptr;
    unsigned long long v = std::strtoull(t.c_str(), &end, 10);
    if (t.empty() || *end) bad = true;
    return v;
  }
  bool flag() { return integer() != 0; }
  PixelRect rect() {
    PixelRect r;
    r.left = static_cast<int32_t>(integer());
    r.top = static_cast<int32_t>(integer());
    r.right = static_cast<int32_t>(integer());
    r.bottom = static_cast<int32_t>(integer());
    return r;
  }
  // A count that the rest of the line can hold.
  std::size_t count() {
    long long n = integer();
    if (n < 0 || static_cast<std::size_t>(n) > items_.size()) {
      bad = true;
      return 0;
    }
    return static_cast<std::size_t>(n);
  }
  bool bad = false;

 private:
  std::vector<std::string> items_;
  std::size_t at_ = 0;
};

class MapSource final : public SettingsSource {
 public:
  std::map<std::string, uint32_t> values;
  std::optional<uint32_t> readDword(const char* name) const override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
};

bool readLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF) {
    if (c == '\n') return true;
    line += static_cast<char>(c);
  }
  return !line.empty();
}

}  // namespace

Recorder::Recorder(std::FILE* out) : out_(out) {
  if (out_) std::fprintf(out_, "%s stars=%d\n", kHeader, kovra::SnowWorld::testStars() ? 1 : 0);
}

void Recorder::monitors(const std::vector<MonitorInfo>& infos) {
  if (!out_) return;
  std::string line = "M";
  put(line, static_cast<long long>(infos.size()));
  for (const MonitorInfo& m : infos) {
    put(line, m.key);
    put(line, m.monitor);
    put(line, m.work);
    put(line, static_cast<double>(m.scale));
    put(line, static_cast<long long>(m.primary));
    putU(line, m.seed);
  }
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::settings(const Settings& s) {
  if (!out_ || (lastSettings_ && *lastSettings_ == s)) return;
  lastSettings_ = s;
  std::string line = "S";
  for (const auto& [name, value] : settingsToValues(s)) {
    line += ' ';
    line += name;
    line += '=';
    line += std::to_string(value);
  }
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::command(Command c, const CommandContext& ctx) {
  if (!out_) return;
  std::string line = "C";
  put(line, static_cast<long long>(c));
  put(line, ctx.now);
  put(line, static_cast<long long>(ctx.cursorX.has_value() && ctx.cursorY.has_value()));
  put(line, static_cast<long long>(ctx.cursorX.value_or(0)));
  put(line, static_cast<long long>(ctx.cursorY.value_or(0)));
  putU(line, ctx.settingsWindow);
  put(line, static_cast<long long>(ctx.theme));
  put(line, ctx.city);
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::settingsValues(const SettingsWindowValues& v, double now) {
  if (!out_) return;
  std::string line = "V";
  put(line, now);
  for (long long x : {static_cast<long long>(v.paused), static_cast<long long>(v.weather)}) put(line, x);
  put(line, static_cast<double>(v.amount));
  put(line, static_cast<double>(v.wind));
  for (bool b : {v.onWindows, v.sweep, v.snowfall, v.santa, v.birds, v.stars, v.garland}) put(line, static_cast<long long>(b));
  put(line, static_cast<long long>(v.fpsMode));
  put(line, static_cast<long long>(v.smartPause));
  put(line, static_cast<long long>(v.realWeather));
  put(line, static_cast<long long>(v.wallpaperChoice));
  put(line, static_cast<long long>(v.followTimes));
  put(line, static_cast<long long>(v.autostart));
  put(line, static_cast<long long>(v.renderMode));
  put(line, static_cast<long long>(v.language));
  put(line, v.city);
  put(line, static_cast<long long>(v.selectedTheme));
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::pointer(PointerEvent e, std::size_t monitor, kovra::Vec2 at, bool heap) {
  if (!out_) return;
  std::string line = "P";
  put(line, static_cast<long long>(e));
  put(line, static_cast<long long>(monitor));
  put(line, static_cast<double>(at.x));
  put(line, static_cast<double>(at.y));
  put(line, static_cast<long long>(heap));
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::frame(const FrameInput& in) {
  if (!out_) return;
  if (in.survey && (!lastGeneration_ || *lastGeneration_ != in.survey->generation)) {
    const DesktopSurvey& sv = *in.survey;
    lastGeneration_ = sv.generation;
    std::string line = "W";
    putU(line, sv.generation);
    put(line, sv.lastChange);
    put(line, static_cast<long long>(sv.taskbars.size()));
    for (const PixelRect& r : sv.taskbars) put(line, r);
    put(line, static_cast<long long>(sv.windows.size()));
    std::fprintf(out_, "%s\n", line.c_str());
    for (const SurveyedWindow& w : sv.windows) {
      std::string wl = "w";
      putU(wl, w.window);
      put(wl, w.visible);
      put(wl, w.frame);
      put(wl, static_cast<long long>(w.hasCaption));
      put(wl, static_cast<long long>(w.topmost));
      put(wl, static_cast<long long>(w.maximized));
      put(wl, static_cast<long long>(w.layered));
      put(wl, utf8FromWide(w.className));
      std::fprintf(out_, "%s\n", wl.c_str());
    }
  }
  std::string line = "F";
  put(line, in.t);
  put(line, in.wall);
  for (int v : {in.local.year, in.local.month, in.local.day, in.local.hour, in.local.minute})
    put(line, static_cast<long long>(v));
  putU(line, in.foreground);
  putU(line, in.foregroundRootOwner);
  put(line, static_cast<long long>(in.cursorX));
  put(line, static_cast<long long>(in.cursorY));
  put(line, static_cast<long long>(in.anyButton));
  put(line, static_cast<long long>(in.primaryDown));
  put(line, static_cast<long long>(in.grabMode));
  put(line, static_cast<long long>(in.probes.started));
  put(line, static_cast<long long>(in.probes.fullScreen));
  put(line, static_cast<long long>(reasonIndex(in.probes.reason)));
  put(line, static_cast<long long>(in.workAreas.size()));
  for (const PixelRect& r : in.workAreas) put(line, r);
  put(line, static_cast<long long>(in.fates.size()));
  for (const FateAnswer& f : in.fates) {
    putU(line, f.window);
    put(line, static_cast<long long>(f.whole));
    put(line, static_cast<long long>(f.partial));
  }
  put(line, static_cast<long long>(in.weather.active));
  put(line, static_cast<long long>(in.weather.level));
  put(line, static_cast<double>(in.weather.wind));
  put(line, static_cast<long long>(in.weather.snowing));
  putU(line, in.settingsWindow);
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::frameEnd(double workMs) {
  if (!out_) return;
  std::string line = "E";
  put(line, workMs);
  std::fprintf(out_, "%s\n", line.c_str());
}

void Recorder::flush() {
  if (out_) std::fflush(out_);
}

ReplayResult replayRecording(std::FILE* in, AppState& app,
                             const std::function<void(int, AppState&, const FrameInput&, const FrameOutput&)>& onFrame) {
  ReplayResult result;
  QuietServices quiet;
  DesktopSurvey survey;
  std::size_t windowsLeft = 0;
  double lastT = 0;
  std::string line;
  int lineNo = 0;
  auto fail = [&](const char* what) {
    result.error = "line " + std::to_string(lineNo) + ": " + what;
    return result;
  };
  if (!in || !readLine(in, line) || line.rfind(kHeader, 0) != 0) return fail("not a recording");
  ++lineNo;
  kovra::SnowWorld::setTestStarsForTesting(line.find("stars=1") != std::string::npos);

  while (readLine(in, line)) {
    ++lineNo;
    if (line.empty()) continue;
    Tokens tk(line);
    std::string kind = tk.word();
    if (windowsLeft > 0 && kind != "w") return fail("window list cut short");
    if (kind == "M") {
      std::size_t n = tk.count();
      std::vector<MonitorInfo> infos(n);
      for (MonitorInfo& m : infos) {
        m.key = unescape(tk.word());
        m.monitor = tk.rect();
        m.work = tk.rect();
        m.scale = static_cast<float>(tk.number());
        m.primary = tk.flag();
        m.seed = tk.unsignedInteger();
      }
      if (tk.bad) return fail("bad monitors");
      appSetMonitors(app, infos);
    } else if (kind == "S") {
      MapSource src;
      for (std::string t = tk.word(); !tk.bad; t = tk.word()) {
        std::size_t eq = t.find('=');
        if (eq == std::string::npos) return fail("bad setting");
        src.values[t.substr(0, eq)] = static_cast<uint32_t>(std::strtoul(t.c_str() + eq + 1, nullptr, 10));
      }
      app.settings = settingsFromSource(src);
    } else if (kind == "C") {
      Command c = static_cast<Command>(tk.integer());
      CommandContext ctx;
      ctx.now = tk.number();
      bool hasCursor = tk.flag();
      long x = static_cast<long>(tk.integer()), y = static_cast<long>(tk.integer());
      if (hasCursor) {
        ctx.cursorX = x;
        ctx.cursorY = y;
      }
      ctx.settingsWindow = tk.unsignedInteger();
      ctx.theme = static_cast<int>(tk.integer());
      ctx.city = unescape(tk.word());
      if (tk.bad) return fail("bad command");
      applyCommand(app, c, quiet, ctx);
    } else if (kind == "V") {
      SettingsWindowValues v;
      double now = tk.number();
      v.paused = tk.flag();
      v.weather = static_cast<int>(tk.integer());
      v.amount = static_cast<float>(tk.number());
      v.wind = static_cast<float>(tk.number());
      for (bool* b : {&v.onWindows, &v.sweep, &v.snowfall, &v.santa, &v.birds, &v.stars, &v.garland}) *b = tk.flag();
      v.fpsMode = static_cast<int>(tk.integer());
      v.smartPause = tk.flag();
      v.realWeather = tk.flag();
      v.wallpaperChoice = static_cast<int>(tk.integer());
      v.followTimes = tk.flag();
      v.autostart = tk.flag();
      v.renderMode = static_cast<int>(tk.integer());
      v.language = static_cast<int>(tk.integer());
      v.city = unescape(tk.word());
      v.selectedTheme = static_cast<int>(tk.integer());
      if (tk.bad) return fail("bad settings values");
      v.language = uiLanguage();  // a language change touches no snow
      applySettingsValues(app, v, quiet, now);
    } else if (kind == "P") {
      int e = static_cast<int>(tk.integer());
      std::size_t monitor = static_cast<std::size_t>(tk.integer());
      kovra::Vec2 at{static_cast<float>(tk.number()), static_cast<float>(tk.number())};
      bool heap = tk.flag();
      if (tk.bad) return fail("bad pointer event");
      if (e == static_cast<int>(PointerEvent::Press)) appPointerPress(app, monitor, at, heap);
      else if (e == static_cast<int>(PointerEvent::Release)) appPointerRelease(app, monitor);
      else appPointerBurst(app, monitor, at);
    } else if (kind == "W") {
      survey = DesktopSurvey{};
      survey.generation = tk.unsignedInteger();
      survey.lastChange = tk.number();
      std::size_t bars = tk.count();
      for (std::size_t i = 0; i < bars; ++i) survey.taskbars.push_back(tk.rect());
      windowsLeft = tk.count();
      if (tk.bad) return fail("bad survey");
    } else if (kind == "w") {
      if (windowsLeft == 0) return fail("window outside a survey");
      --windowsLeft;
      SurveyedWindow w;
      w.window = tk.unsignedInteger();
      w.visible = tk.rect();
      w.frame = tk.rect();
      w.hasCaption = tk.flag();
      w.topmost = tk.flag();
      w.maximized = tk.flag();
      w.layered = tk.flag();
      w.className = wideFromUtf8(unescape(tk.word()));
      if (tk.bad) return fail("bad window");
      survey.windows.push_back(std::move(w));
    } else if (kind == "F") {
      FrameInput f;
      f.t = tk.number();
      f.wall = tk.number();
      f.local.year = static_cast<int>(tk.integer());
      f.local.month = static_cast<int>(tk.integer());
      f.local.day = static_cast<int>(tk.integer());
      f.local.hour = static_cast<int>(tk.integer());
      f.local.minute = static_cast<int>(tk.integer());
      f.survey = &survey;
      f.foreground = tk.unsignedInteger();
      f.foregroundRootOwner = tk.unsignedInteger();
      f.cursorX = static_cast<long>(tk.integer());
      f.cursorY = static_cast<long>(tk.integer());
      f.anyButton = tk.flag();
      f.primaryDown = tk.flag();
      f.grabMode = static_cast<int>(tk.integer());
      f.probes.started = tk.flag();
      f.probes.fullScreen = tk.flag();
      long long reason = tk.integer();
      f.probes.reason = reason > 0 && reason < 4 ? kReasons[reason] : nullptr;
      std::size_t works = tk.count();
      for (std::size_t i = 0; i < works; ++i) f.workAreas.push_back(tk.rect());
      std::size_t fates = tk.count();
      for (std::size_t i = 0; i < fates; ++i) {
        FateAnswer a;
        a.window = tk.unsignedInteger();
        a.whole = static_cast<kovra::Fate>(tk.integer() != 0);
        a.partial = static_cast<kovra::Fate>(tk.integer() != 0);
        f.fates.push_back(a);
      }
      f.weather.active = tk.flag();
      f.weather.level = static_cast<int>(tk.integer());
      f.weather.wind = static_cast<float>(tk.number());
      f.weather.snowing = tk.flag();
      f.settingsWindow = tk.unsignedInteger();
      if (tk.bad) return fail("bad frame");
      lastT = f.t;
      FrameOutput out = hostFrame(app, f);
      if (onFrame) onFrame(result.frames, app, f, out);
      ++result.frames;
    } else if (kind == "E") {
      FrameCost cost;
      cost.workMs = tk.number();
      if (tk.bad) return fail("bad frame end");
      if (std::optional<std::string> line = hostFrameDone(app, lastT, cost)) result.stats.push_back(*line);
    } else {
      return fail("unknown record");
    }
  }
  return result;
}
