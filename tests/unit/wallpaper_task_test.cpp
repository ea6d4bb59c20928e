#include <gtest/gtest.h>

#include <string>

#include "wallpaper/wallpaper_task.h"

using namespace kovra;

namespace {

TEST(WallpaperTask, TheDefinitionStartsTheTickEveryTenMinutes) {
  const std::string xml = wallpaperTaskXml("C:\\Users\\Tom & Jerry\\<Apps>\\quillar.exe");
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
      "  <RegistrationInfo><Description>Quillar: the wallpaper follows the time of day</Description>"
      "</RegistrationInfo>\r\n"
      "  <Triggers><TimeTrigger><StartBoundary>2026-01-01T00:00:00</StartBoundary><Enabled>true</Enabled>"
      "<Repetition><Interval>PT10M</Interval><StopAtDurationEnd>false</StopAtDurationEnd></Repetition>"
      "</TimeTrigger></Triggers>\r\n"
      "  <Principals><Principal id=\"Author\"><LogonType>InteractiveToken</LogonType>"
      "<RunLevel>LeastPrivilege</RunLevel></Principal></Principals>\r\n"
      "  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
      "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
      "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><StartWhenAvailable>true</StartWhenAvailable>"
      "<ExecutionTimeLimit>PT2M</ExecutionTimeLimit><Enabled>true</Enabled></Settings>\r\n"
      "  <Actions Context=\"Author\"><Exec><Command>C:\\Users\\Tom &amp; Jerry\\&lt;Apps&gt;\\quillar.exe</Command>"
      "<Arguments>--wallpaper-tick</Arguments></Exec></Actions>\r\n"
      "</Task>\r\n";
  EXPECT_EQ(xml, expected);
}

TEST(WallpaperTask, XmlEscapingTouchesOnlyTheThreeMarkupCharacters) {
  EXPECT_EQ(xmlEscaped("a&b<c>d\"e'f&amp;"), "a&amp;b&lt;c&gt;d\"e'f&amp;amp;");
  EXPECT_EQ(xmlEscaped(""), "");
}

TEST(WallpaperTask, TheFileIsUtf16LittleEndianWithAByteOrderMark) {
  struct Case {
    std::string utf8;
    std::string bytes;
  };
  const Case cases[] = {
      {"", std::string("\xFF\xFE", 2)},
      {"A<", std::string("\xFF\xFE" "A\0<\0", 6)},
      {"\xC3\xA9", std::string("\xFF\xFE\xE9\0", 4)},                    // é
      {"\xD0\x96", std::string("\xFF\xFE\x16\x04", 4)},                  // Ж
      {"\xF0\x9F\x98\x80", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)},  // a surrogate pair
      {"\xFF" "a", std::string("\xFF\xFE\xFD\xFF" "a\0", 6)},            // a stray byte
  };
  for (const Case& c : cases) EXPECT_EQ(utf16leWithBom(c.utf8), c.bytes) << c.utf8;
}

TEST(WallpaperTask, SchedulerCommandLines) {
  EXPECT_EQ(schedulerCreateArguments("C:\\T\\quillar-wallpaper-task.xml"),
            "/Create /F /TN \"Quillar Wallpaper\" /XML \"C:\\T\\quillar-wallpaper-task.xml\"");
  EXPECT_EQ(schedulerDeleteArguments(), "/Delete /F /TN \"Quillar Wallpaper\"");
  EXPECT_EQ(schedulerCommandLine("C:\\windows\\system32\\schtasks.exe", schedulerDeleteArguments()),
            "\"C:\\windows\\system32\\schtasks.exe\" /Delete /F /TN \"Quillar Wallpaper\"");
}

TEST(WallpaperTask, ExistsWhileAThemeFollowsTheTimeOfDayForThisExecutable) {
  const std::string exe = "C:\\Q\\quillar.exe";
  struct Case {
    int choice;
    bool follow;
    const char* registered;
    TaskAction action;
  };
  const Case cases[] = {
      {0, true, "", TaskAction::Create},
      {0, true, "C:\\Q\\quillar.exe", TaskAction::None},
      {0, true, "C:\\q\\QUILLAR.EXE", TaskAction::Create},  // exactly this path, letter case too
      {0, true, "D:\\old\\quillar.exe", TaskAction::Create},  // moved: registered again
      {3, false, "", TaskAction::None},  // following off registers nothing
      {3, false, "C:\\Q\\quillar.exe", TaskAction::Delete},
      {-1, true, "C:\\Q\\quillar.exe", TaskAction::Delete},
      {-1, true, "D:\\old\\quillar.exe", TaskAction::Delete},
      {-1, false, "", TaskAction::None},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wallpaperTaskAction(c.choice, c.follow, exe, c.registered), c.action)
        << c.choice << " " << c.follow << " " << c.registered;
}

TEST(WallpaperTask, TheTickAppliesOnlyAListedThemeThatFollowsTheTime) {
  EXPECT_TRUE(wallpaperTickApplies(0, 4, true));
  EXPECT_TRUE(wallpaperTickApplies(3, 4, true));
  EXPECT_FALSE(wallpaperTickApplies(4, 4, true));
  EXPECT_FALSE(wallpaperTickApplies(-1, 4, true));
  EXPECT_FALSE(wallpaperTickApplies(1, 4, false));
  EXPECT_FALSE(wallpaperTickApplies(0, 0, true));
}

}  // namespace
