#pragma once
// The screensaver's rules that need no Windows: reading its command line,
// when input ends it, which picture it shows and when that changes, how a
// picture covers a screen, how the snow thickens, the frame pacing's fallback
// and the system values that make it the screensaver. The Win32 side
// (screensaver_win.cpp) samples the system and carries the answers out.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovra {

// ------------------------------------------------------------ command line

enum class SaverMode { None = 0, FullScreen = 1, Preview = 2, Configure = 3 };

struct SaverCommand {
  SaverMode mode = SaverMode::None;
  uint64_t parent = 0;  // preview: the window to draw in, as given
};

// `args` are the arguments after the program's own name. No argument: a
// program whose file name ends in ".scr" (five characters at least) is
// configured, anything else is no screensaver start. Otherwise the first
// argument must start with "-" or "/" and its next letter (any case) picks:
// "s" full screen, "c" configure, "p" or "l" preview with the parent window
// in decimal after a colon or as the next argument. A preview without a
// readable, nonzero parent is no screensaver start either.
SaverCommand saverCommand(const std::vector<std::string>& args, std::string_view exeName);

// A decimal window handle: digits only, nonzero, within 64 bits.
std::optional<uint64_t> parseWindowHandle(std::string_view text);

// ------------------------------------------------------------------- exit

enum class SaverInput { Key, Button, Wheel, Move, Deactivate, Close };

// Whether this input ends the screensaver. Full screen: keys, buttons and the
// wheel at once; a move only after 0.6 s and more than 6 px from where the
// cursor was at the start (either way); losing the activation only after 1 s.
// A close ends either mode; the preview ignores the rest (the parent owns it).
constexpr double kMoveGrace = 0.6;
constexpr long kMoveSlack = 6;
constexpr double kDeactivateGrace = 1.0;
bool saverInputQuits(SaverMode mode, SaverInput input, double sinceStart, long dx = 0, long dy = 0);

// ---------------------------------------------------------------- picture

// The picture of the whole run: the theme chosen in the program when it is
// valid and on disk ("kept"), else a random one among those on disk (`pick`
// in 0..1), which then changes every ten minutes. -1: no theme is on disk.
struct PictureChoice {
  int theme = -1;
  bool kept = false;
};
PictureChoice choosePicture(int appChoice, const std::vector<bool>& onDisk, double pick);

// The next theme on disk after `current`, in catalogue order and round the
// end; `current` itself when it is the only one, -1 when none is.
int nextPictureTheme(const std::vector<bool>& onDisk, int current);

constexpr double kPictureChangeInterval = 600.0;
constexpr double kPhaseCheckInterval = 60.0;

// What the frame loop does about the picture at `now`.
enum class PictureStep { None, NextTheme, PhaseCheck };
struct PictureSchedule {
  double nextChange = 0;     // a changing picture moves on then
  double nextPhaseCheck = 0; // the phase of the day is looked at again then
};
PictureSchedule pictureScheduleFrom(double start);
// Moves the schedule's clocks on for the step it returns.
PictureStep pictureStep(PictureSchedule& schedule, bool kept, double now);

// One screen's picture: a theme and two phases (indices into the phase
// names) blended by `blend`.
struct SlotKey {
  int theme = -1;
  int from = -1, to = -1;
  double blend = 0;
};
// A slot is built again when its theme or a phase differs, or the blend
// moved by 0.01 or more.
bool slotDiffers(const SlotKey& shown, const SlotKey& wanted);

// The cross-fade from a screen's previous picture to its current one.
struct CrossFade {
  float progress = 1;   // 0..1; 1 shows the current picture alone
  float duration = 1;   // s
  void start() { progress = 0, duration = 1.0f; }
  // True on the step that completes it (the previous picture can go).
  bool advance(float step);
};

// The part of a w x h picture that covers a screen of sw x sh: the largest
// rectangle of the screen's shape, centred.
struct CropRect {
  float x = 0, y = 0, width = 0, height = 0;
};
CropRect coverCrop(float width, float height, float screenWidth, float screenHeight);

// The size to decode a w x h picture at for covering a screen of sw x sh:
// shrunk (never enlarged) so that it still covers it, at least 1 x 1.
struct PixelSize {
  uint32_t width = 0, height = 0;
};
PixelSize coverDecodeSize(uint32_t width, uint32_t height, uint32_t screenWidth, uint32_t screenHeight);

// Composing the pictures on the CPU (where Direct2D is too slow): pixels are
// 32-bit premultiplied BGRA, alpha in the top byte.
constexpr uint32_t kSaverBackground = 0xFF090E21;  // (0.035, 0.055, 0.13) as bytes
// Lays `src` over `dst` at `opacity` (source-over); nothing at 0.003 or less.
void layOver(uint32_t* dst, const uint32_t* src, size_t count, float opacity);
// dst = from x (1 - t) + to x t, per channel, rounded.
void crossFadeInto(uint32_t* dst, const uint32_t* from, const uint32_t* to, size_t count, float t);
// The whole-pixel rectangle of coverCrop, inside the picture and at least 1 x 1.
struct PixelRect32 {
  uint32_t x = 0, y = 0, width = 1, height = 1;
};
PixelRect32 coverClip(uint32_t width, uint32_t height, uint32_t screenWidth, uint32_t screenHeight);

// ------------------------------------------------------------- the frame

// Sides in pixels of the pre-drawn flake bitmaps, smallest first, and the
// one drawn for a flake of `side` px: the smallest at least that wide, the
// largest when none is.
constexpr int kSaverFlakeSides[] = {6, 9, 13, 18, 26, 36, 52};
constexpr int kSaverFlakeBitmaps = 7;
int saverFlakeBitmapFor(float side);
// The flake picture in a side x side premultiplied BGRA bitmap (alpha in the
// top byte), every pixel the mean of 4 x 4 samples.
std::vector<uint32_t> saverFlakePixels(int side);

// The snowfall density: it thickens from 0.8 to 2 over the first 15 s.
float saverSnowAmount(double sinceStart);
// Longest frame step the world is given, s.
constexpr double kMaxFrameStep = 0.1;

// The preview's scale: its width over 640, at least 0.05.
float previewScale(int width);

// How many DwmFlush calls one frame waits for: about 60 frames a second.
int flushesPerFrame(double period);

// DwmFlush pacing until it proves not to wait: 31 frames in a row whose
// flush failed or came back less than 5 ms after the previous frame. A
// flush that blocked for less than 0.2 ms counts too: where drawing alone
// takes over 5 ms, the first rule would never see a flush that does not wait,
// and the loop would spin at full speed.
class FlushWatch {
 public:
  static constexpr int kTooQuick = 31;
  static constexpr double kQuickSeconds = 0.005;
  static constexpr double kNoWaitSeconds = 0.0002;
  // One frame's flush; true once (the frame on which to give up on it).
  bool frame(bool flushOk, double sincePreviousFrame, double blocked = 1.0);
  bool gaveUp() const { return gaveUp_; }

 private:
  int quick_ = 0;
  bool gaveUp_ = false;
};

// ----------------------------------------------------------- installation

// Where the copy "Quillar.scr" goes: beside the executable, or when that
// cannot be written, in {LOCALAPPDATA}\Kovra (the executable's folder again
// when the variable is not set). Paths with backslashes; a folder given with
// a trailing separator is not doubled.
std::string saverPrimaryPath(std::string_view exeFolder);
std::string saverFallbackPath(std::string_view localAppData, std::string_view exeFolder);

// "ScreenSaveTimeOut" is replaced by "600" unless it holds a positive number.
constexpr const char* kDefaultSaverTimeout = "600";
bool saverTimeoutKept(const std::optional<std::string>& value);

// The system's screensaver counts as on when "SCRNSAVE.EXE" could be read and
// "ScreenSaveActive" is missing or does not start with "0".
bool saverSettingActive(const std::optional<std::string>& scrnsave, const std::optional<std::string>& active);

}  // namespace kovra
