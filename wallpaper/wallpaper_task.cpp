#include "wallpaper/wallpaper_task.h"

#include "base/utf8.h"

namespace kovra {

std::string xmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string wallpaperTaskXml(std::string_view exePath) {
  const char* const lines[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>",
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">",
      "  <RegistrationInfo><Description>Quillar: the wallpaper follows the time of day</Description>"
      "</RegistrationInfo>",
      "  <Triggers><TimeTrigger><StartBoundary>2026-01-01T00:00:00</StartBoundary><Enabled>true</Enabled>"
      "<Repetition><Interval>PT10M</Interval><StopAtDurationEnd>false</StopAtDurationEnd></Repetition>"
      "</TimeTrigger></Triggers>",
      "  <Principals><Principal id=\"Author\"><LogonType>InteractiveToken</LogonType>"
      "<RunLevel>LeastPrivilege</RunLevel></Principal></Principals>",
      "  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
      "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
      "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><StartWhenAvailable>true</StartWhenAvailable>"
      "<ExecutionTimeLimit>PT2M</ExecutionTimeLimit><Enabled>true</Enabled></Settings>",
      nullptr,  // the action, with the path
      "</Task>",
  };
  std::string out;
  for (const char* line : lines) {
    if (line) {
      out += line;
    } else {
      out += "  <Actions Context=\"Author\"><Exec><Command>";
      out += xmlEscaped(exePath);
      out += "</Command><Arguments>";
      out += kWallpaperTickSwitch;
      out += "</Arguments></Exec></Actions>";
    }
    out += "\r\n";
  }
  return out;
}

std::string utf16leWithBom(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  auto unit = [&out](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  for (size_t at = 0; at < utf8.size();) {
    Utf8Step step = utf8Step(utf8, at);
    at += step.size;
    const char32_t c = step.valid ? step.codePoint : kReplacementCharacter;
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return out;
}

namespace {

// `text` in double quotes.
void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += '"';
}

}  // namespace

std::string schedulerCreateArguments(std::string_view xmlPath) {
  std::string out = "/Create /F /TN ";
  appendQuoted(out, kWallpaperTaskName);
  out += " /XML ";
  appendQuoted(out, xmlPath);
  return out;
}

std::string schedulerDeleteArguments() {
  std::string out = "/Delete /F /TN ";
  appendQuoted(out, kWallpaperTaskName);
  return out;
}

std::string schedulerCommandLine(std::string_view schedulerPath, std::string_view arguments) {
  std::string out;
  appendQuoted(out, schedulerPath);
  out += ' ';
  out += arguments;
  return out;
}

TaskAction wallpaperTaskAction(int choice, bool followTimes, std::string_view exePath, std::string_view registered) {
  const bool wanted = choice >= 0 && followTimes;
  if (wanted) return registered == exePath ? TaskAction::None : TaskAction::Create;
  return registered.empty() ? TaskAction::None : TaskAction::Delete;
}

bool wallpaperTickApplies(int choice, int themeCount, bool followTimes) {
  return choice >= 0 && choice < themeCount && followTimes;
}

}  // namespace kovra
