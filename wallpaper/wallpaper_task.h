#pragma once
// The scheduled task that keeps the wallpaper moving while the program is
// not running: its definition, the scheduler's command lines and the
// decisions around it. The Win32 side writes the file and runs the tool.
#include <string>
#include <string_view>

namespace kovra {

inline constexpr char kWallpaperTaskName[] = "Quillar Wallpaper";
inline constexpr char kWallpaperTaskFile[] = "quillar-wallpaper-task.xml";
inline constexpr char kWallpaperTickSwitch[] = "--wallpaper-tick";

// "&", "<" and ">" as entities; everything else as it is.
std::string xmlEscaped(std::string_view text);

// The task definition (UTF-8, CRLF line ends, a final CRLF) that starts
// `exePath` with the tick switch every ten minutes.
std::string wallpaperTaskXml(std::string_view exePath);

// The bytes of the file: UTF-16 little-endian with a byte-order mark. Bytes
// that are no valid UTF-8 become U+FFFD.
std::string utf16leWithBom(std::string_view utf8);

// The arguments after the scheduler's program path.
std::string schedulerCreateArguments(std::string_view xmlPath);
std::string schedulerDeleteArguments();
// The whole command line: the quoted program path, a space and the arguments.
std::string schedulerCommandLine(std::string_view schedulerPath, std::string_view arguments);

enum class TaskAction { None, Create, Delete };

// The task exists while a theme is chosen and follows the time of day, and
// it points at the executable that registered it (`registered`, empty when
// none): create when wanted and registered for another path (letter case
// counts), delete when not wanted and one is registered.
TaskAction wallpaperTaskAction(int choice, bool followTimes, std::string_view exePath, std::string_view registered);

// The tick run applies the wallpaper only for a theme of the catalogue
// that follows the time of day.
bool wallpaperTickApplies(int choice, int themeCount, bool followTimes);

}  // namespace kovra
