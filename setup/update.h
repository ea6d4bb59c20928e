#pragma once
// The rules of the update check and install that need no system: what the
// update service's answer must look like to be believed, when a check or a
// download may start, and what a finished check leads to. The answer comes
// from the network and names a file that gets started, so nothing in it is
// trusted beyond these rules.
#include <cstdint>
#include <string>
#include <string_view>

// Where the update service lives; "UpdateServer" may replace it.
inline constexpr char kUpdateServiceBase[] = "https://quillar.github.io";
inline constexpr char kUpdateCheckHeaders[] = "Accept: application/json\r\nCache-Control: no-cache\r\n";

// Where the process stands. The numbers are shared with the settings window.
enum UpdateState : int32_t {
  UpdateIdle = 0,         // no check yet in this run, or an automatic check failed
  UpdateChecking = 1,
  UpdateUpToDate = 2,
  UpdateAvailable = 3,
  UpdateDownloading = 4,
  UpdateInstalling = 5,   // the setup is being started
  UpdateFailed = 6,       // the error text says what failed
};

// Failure texts (source texts of the UI table).
inline constexpr char kUpdateErrorServer[] = "Сервер оновлень зараз недоступний.";
inline constexpr char kUpdateErrorOffline[] = "Немає підключення до інтернету.";
inline constexpr char kUpdateErrorDownload[] = "Не вдалося завантажити оновлення. Спробуйте ще раз.";
inline constexpr char kUpdateErrorStart[] = "Не вдалося запустити оновлення. Спробуйте ще раз.";
// The tray notice of a new version.
inline constexpr char kUpdateNoticeTitle[] = "Вийшов новий Quillar ❄";
inline constexpr char kUpdateNoticeText[] = "Версія %@ — відкрийте вікно Quillar і натисніть «Оновити».";

// Ages of the last check, in seconds of the wall clock.
inline constexpr int64_t kUpdateStaleAfter = 600;       // opening the settings window
inline constexpr int64_t kUpdatePeriodicAfter = 21540;  // the six-hour timer, less a minute of slack

// The setup file is read whole to check it; nothing larger is believed.
inline constexpr uint64_t kUpdateSetupLimit = 268435456;

// "/update/windows.json?v=<version>".
std::string updateCheckObject(std::string_view runningVersion);

enum class UpdateFault {
  None,
  NoAnswer,    // no 200, no JSON object, or "version" / "url" missing or not text
  BadVersion,  // a version that is not plain digits and dots
  BadUrl,      // not a URL the setup may come from
};

struct UpdateAnswer {
  UpdateFault fault = UpdateFault::NoAnswer;
  std::string version;
  std::string url;
  std::string sha256;  // as given; empty when absent or not text
  bool valid() const { return fault == UpdateFault::None; }
};

// Reads the service's answer. `completed` and `status` are what the request
// reported. The version becomes part of a file name, so it must be digits
// and dots (starting and ending with a digit, no empty part, at most 32
// characters); the URL must be https, or http to a loopback host.
UpdateAnswer updateAnswerRead(bool completed, int status, std::string_view body);

bool updateVersionAcceptable(std::string_view version);

// "Quillar-Setup-<version>.exe", the name of the download in the temporary folder.
std::string updateSetupFileName(std::string_view version);

// A check may start unless one runs or an update is on its way.
bool updateCheckAllowed(int state);
// Opening the settings window: a check unless one runs, an update is
// offered or on its way, or the last check is younger than 600 s.
// `lastCheck` 0 means never; a clock set back behind the last check counts
// as old.
bool updateStaleCheckWanted(int state, int64_t lastCheck, int64_t now);
// The six-hour timer: a check unless an update is offered, when the last one
// is older than 21540 s (or none was made).
bool updatePeriodicCheckWanted(int state, int64_t lastCheck, int64_t now);
// "Update" is taken while an update is offered or after a failure.
bool updateInstallAllowed(int state);

// What a finished check leads to.
struct UpdateCheckResult {
  int state = UpdateIdle;
  bool available = false;
  std::string error;  // source text; empty with a valid answer
};
UpdateCheckResult updateCheckResult(const UpdateAnswer& answer, int status, bool manual,
                                    std::string_view runningVersion);

// The tray notice comes once per version, and only for checks the user did
// not ask for (a user who asked sees the answer in the window).
bool updateNoticeWanted(bool available, bool manual, std::string_view told, std::string_view newest);

// received / announced, 0 when nothing is announced, at most 1.
float updateProgressFraction(uint64_t received, uint64_t announced);
// A repaint is posted when the progress grew by 0.01 since the last one, or
// reached 1.
bool updateProgressWorthPosting(float lastPosted, float now);

// The download's digest against the expected one: exactly, so an expected
// digest in upper case never matches.
bool updateChecksumMatches(std::string_view expected, std::string_view actualLowerHex);
