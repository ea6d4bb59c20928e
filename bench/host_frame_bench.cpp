#include <benchmark/benchmark.h>

#include "shell/host_frame.h"

namespace {

// One frame of the whole program over two full-HD monitors in a blizzard, with
// ten windows: the frame's own bookkeeping on top of the two world steps.
void BM_HostFrameTwoMonitorsBlizzard(benchmark::State& state) {
  AppState app;
  appSetMonitors(app, {MonitorInfo{"a", {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0f, true, 1},
                       MonitorInfo{"b", {1920, 0, 3840, 1080}, {1920, 0, 3840, 1080}, 1.0f, false, 2}});
  app.settings.weather = 2;
  DesktopSurvey survey;
  survey.generation = 1;
  for (int i = 0; i < 10; ++i) {
    SurveyedWindow w;
    w.window = 100 + static_cast<uint64_t>(i);
    w.visible = w.frame = {100 + 300 * i, 200 + 40 * i, 700 + 300 * i, 800};
    w.hasCaption = true;
    survey.windows.push_back(w);
  }
  survey.taskbars = {{0, 1040, 1920, 1080}};
  FrameInput in;
  in.survey = &survey;
  in.cursorX = 900;
  in.cursorY = 500;
  in.probes.started = true;
  double t = 1;
  for (int i = 0; i < 600; ++i, t += 1.0 / 30) {  // the snow comes down first
    in.t = t;
    in.wall = 13e9 + t;
    hostFrame(app, in);
  }
  for (auto _ : state) {
    in.t = t;
    in.wall = 13e9 + t;
    FrameOutput out = hostFrame(app, in);
    benchmark::DoNotOptimize(out);
    t += 1.0 / 30;
  }
}
BENCHMARK(BM_HostFrameTwoMonitorsBlizzard);

}  // namespace
