#include "shell/recording_win.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "base/log.h"
#include "base/win_util_win.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

std::unique_ptr<std::FILE, FileCloser> gFile;
std::unique_ptr<Recorder> gRecorder;
int gFramesSinceFlush = 0;

}  // namespace

void recordingStart() {
  wchar_t path[1024];
  DWORD n = GetEnvironmentVariableW(L"KOVRA_RECORD", path, 1024);
  if (n == 0 || n >= 1024) return;
  gFile.reset(_wfopen(path, L"wb"));
  if (!gFile) {
    logLine("recording: cannot open %s", toUtf8(path).c_str());
    return;
  }
  gRecorder = std::make_unique<Recorder>(gFile.get());
  logLine("recording frames to %s", toUtf8(path).c_str());
}

void recordingStop() {
  if (gRecorder) gRecorder->flush();
  gRecorder.reset();
  gFile.reset();
}

void recordMonitors(const std::vector<MonitorInfo>& infos) {
  if (gRecorder) gRecorder->monitors(infos);
}
void recordSettings(const Settings& settings) {
  if (gRecorder) gRecorder->settings(settings);
}
void recordSettingsValues(const SettingsWindowValues& values, double now) {
  if (gRecorder) gRecorder->settingsValues(values, now);
}
void recordCommand(Command command, const CommandContext& context) {
  if (gRecorder) gRecorder->command(command, context);
}
void recordPointer(PointerEvent event, std::size_t monitor, kovra::Vec2 at, bool heap) {
  if (gRecorder) gRecorder->pointer(event, monitor, at, heap);
}
void recordFrame(const AppState& app, const FrameInput& input) {
  if (!gRecorder) return;
  gRecorder->settings(app.settings);
  gRecorder->frame(input);
}
void recordFrameEnd(double workMs) {
  if (!gRecorder) return;
  gRecorder->frameEnd(workMs);
  // A run ended from outside still leaves a readable recording behind.
  if (++gFramesSinceFlush >= 30) {
    gFramesSinceFlush = 0;
    gRecorder->flush();
  }
}
