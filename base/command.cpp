#include "base/command.h"

#include <utility>

namespace {

constexpr std::pair<Command, const char*> kNames[] = {
    {Command::None, "none"},
    {Command::TogglePause, "toggle-pause"},
    {Command::LightSnow, "light-snow"},
    {Command::SteadySnow, "steady-snow"},
    {Command::Blizzard, "blizzard"},
    {Command::ToggleOnWindows, "toggle-on-windows"},
    {Command::ToggleSweep, "toggle-sweep"},
    {Command::Shovel, "shovel"},
    {Command::ToggleAutostart, "toggle-autostart"},
    {Command::RendererGpu, "renderer-gpu"},
    {Command::RendererCompatible, "renderer-compatible"},
    {Command::OpenLog, "open-log"},
    {Command::Quit, "quit"},
    {Command::OpenSettings, "open-settings"},
    {Command::CallSanta, "call-santa"},
    {Command::CallBirds, "call-birds"},
    {Command::Fireworks, "fireworks"},
    {Command::UpdateInstallAndShow, "update-install-and-show"},
    {Command::Contact, "contact"},
    {Command::ShowAnyway, "show-anyway"},
    {Command::ApplyOnly, "apply"},
    {Command::ShovelFromSettings, "shovel-from-settings"},
    {Command::FindCity, "find-city"},
    {Command::GuideOpen, "guide-open"},
    {Command::GuideClose, "guide-close"},
    {Command::GuideMoreSnow, "guide-more-snow"},
    {Command::InstallScreensaver, "install-screensaver"},
    {Command::CheckUpdates, "check-updates"},
    {Command::UpdateInstall, "update-install"},
    {Command::DownloadTheme, "download-theme"},
    {Command::DownloadAll, "download-all"},
    {Command::SecondStart, "second-start"},
    {Command::FrameKeepAlive, "frame-keep-alive"},
    {Command::PeriodicUpdateCheck, "periodic-update-check"},
    {Command::MinuteCheck, "minute-check"},
    {Command::FirstUpdateCheck, "first-update-check"},
};

}  // namespace

std::optional<Command> menuCommandFrom(int id) {
  if (id < 100 || id > 129) return std::nullopt;
  Command c = static_cast<Command>(id);
  for (const auto& [known, name] : kNames)
    if (known == c && c != Command::None) return c;
  return std::nullopt;
}

std::optional<Command> settingsWindowCommandFrom(int number) {
  switch (number) {
    case 0: return Command::ApplyOnly;
    case 1: return Command::ShovelFromSettings;
    case 2: return Command::OpenLog;
    case 6: return Command::CallSanta;
    case 7: return Command::CallBirds;
    case 8: return Command::Fireworks;
    case 9: return Command::FindCity;
    case 11: return Command::GuideOpen;
    case 12: return Command::GuideClose;
    case 13: return Command::GuideMoreSnow;
    case 14: return Command::InstallScreensaver;
    case 15: return Command::CheckUpdates;
    case 16: return Command::UpdateInstall;
    case 17: return Command::ShowAnyway;
    case 18: return Command::DownloadTheme;
    case 19: return Command::DownloadAll;
    case 22: return Command::Contact;
    default: return std::nullopt;
  }
}

const char* commandName(Command c) {
  for (const auto& [known, name] : kNames)
    if (known == c) return name;
  return "unknown";
}
