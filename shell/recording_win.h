#pragma once
// The run's recording, when the environment variable "KOVRA_RECORD" names a
// file: every input of the application state is written there (shell/recording.h).
#include <cstddef>
#include <vector>

#include "shell/recording.h"

// Opens the file named by "KOVRA_RECORD" (nothing happens without it).
void recordingStart();
void recordingStop();
void recordMonitors(const std::vector<MonitorInfo>& infos);
void recordSettings(const Settings& settings);
void recordSettingsValues(const SettingsWindowValues& values, double now);
void recordCommand(Command command, const CommandContext& context);
void recordPointer(PointerEvent event, std::size_t monitor, kovra::Vec2 at, bool heap);
// Also writes the settings when they changed since the last record.
void recordFrame(const AppState& app, const FrameInput& input);
void recordFrameEnd(double workMs);
