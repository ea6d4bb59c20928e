#include "wallpaper/wallpaper_win.h"

#include <objbase.h>
#include <shobjidl.h>
#include <wincodec.h>
#include <windows.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "base/main_thread_win.h"
#include "base/settings_win.h"
#include "base/win_util_win.h"
#include "net/worker.h"
#include "wallpaper/catalog_win.h"
#include "wallpaper/wallpaper_rules.h"
#include "wallpaper/wallpaper_tick_win.h"
#include "weather/weather_win.h"

using kovra::CatalogRef;

namespace {

// Main thread.
int gChoice = -1;
bool gFollowTimes = true;
std::function<void()> gChanged;

// At most one apply run at a time; requests meanwhile fold into one more.
std::atomic<bool> gApplyRunning{false};
std::atomic<bool> gApplyPending{false};

constexpr DWORD kMissing = 0xFFFFFFFFu;
// Pictures larger than this are not blended (a 16K x 8K frame at most).
constexpr uint64_t kBlendPixelLimit = 16384ull * 8192ull;

std::optional<uint32_t> storedDword(const wchar_t* name) {
  DWORD v = quillarReadDword(name, kMissing);
  if (v == kMissing) return std::nullopt;
  return v;
}

// COM for one apply run on its own thread.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT hr_;
};

// ------------------------------------------------------------ pictures

bool decodePicture(IWICImagingFactory* wic, const std::string& path, kovra::Picture& out) {
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(wic->CreateDecoderFromFilename(toWide(path).c_str(), nullptr, GENERIC_READ,
                                            WICDecodeMetadataCacheOnDemand, decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(wic->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)))
    return false;
  UINT w = 0, h = 0;
  if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || static_cast<uint64_t>(w) * h > kBlendPixelLimit)
    return false;
  out.width = w;
  out.height = h;
  out.pixels.assign(static_cast<size_t>(w) * h * 4, 0);
  return SUCCEEDED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(out.pixels.size()), out.pixels.data()));
}

bool encodeJpeg(IWICImagingFactory* wic, const kovra::Picture& picture, const std::wstring& path) {
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  if (FAILED(wic->CreateStream(stream.put())) || FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
      FAILED(wic->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.put())) ||
      FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.put(), options.put())))
    return false;
  PROPBAG2 option{};
  option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
  VARIANT quality;
  VariantInit(&quality);
  quality.vt = VT_R4;
  quality.fltVal = 0.88f;
  options->Write(1, &option, &quality);
  if (FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(picture.width, picture.height))) return false;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  if (FAILED(frame->SetPixelFormat(&format))) return false;
  HRESULT hr;
  if (IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) {
    hr = frame->WritePixels(picture.height, picture.width * 4, static_cast<UINT>(picture.pixels.size()),
                            const_cast<BYTE*>(picture.pixels.data()));
  } else if (IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    std::vector<uint8_t> rows = kovra::bgrRows(picture);
    hr = frame->WritePixels(picture.height, picture.width * 3, static_cast<UINT>(rows.size()), rows.data());
  } else {
    return false;  // a format we do not write
  }
  return SUCCEEDED(hr) && SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

// The blend of two phase pictures, written through "{T}.tmp" and moved into place.
bool makeBlend(IWICImagingFactory* wic, const std::string& fromPath, const std::string& toPath, double blend,
               const std::string& target) {
  kovra::Picture from, to, out;
  if (fromPath.empty() || toPath.empty() || !decodePicture(wic, fromPath, from) || !decodePicture(wic, toPath, to) ||
      !kovra::blendPictures(from, to, blend, out))
    return false;
  from = {};
  to = {};
  const std::wstring temporary = toWide(kovra::temporaryPictureName(target));
  bool ok = encodeJpeg(wic, out, temporary);  // the stream is closed on return
  ok = ok && MoveFileExW(temporary.c_str(), toWide(target).c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

// A copy of `source` at `target` unless one is there; the target when it exists afterwards.
std::string copiedPicture(const std::string& source, const std::string& target) {
  if (!fileExistsUtf8(target) && !source.empty()) CopyFileW(toWide(source).c_str(), toWide(target).c_str(), FALSE);
  return fileExistsUtf8(target) ? target : std::string();
}

std::string coverPicture(const kovra::Theme& theme) { return themePicturePath(theme, kovra::coverPhase(theme)); }

// The picture to show for the theme now; empty when there is none.
std::string targetPicture(IWICImagingFactory* wic, const kovra::Theme& theme, const kovra::WallpaperTarget& t,
                          const std::string& folder) {
  const std::string target = folder + "\\" + t.name;
  switch (t.kind) {
    case kovra::TargetKind::Fixed: {
      std::string made = copiedPicture(coverPicture(theme), target);
      return made.empty() ? coverPicture(theme) : made;
    }
    case kovra::TargetKind::Phase: {
      std::string made = copiedPicture(themePicturePath(theme, t.phase.from), target);
      return made.empty() ? coverPicture(theme) : made;
    }
    case kovra::TargetKind::Blend: {
      if (fileExistsUtf8(target)) return target;
      const std::string fromPath = themePicturePath(theme, t.phase.from);
      if (makeBlend(wic, fromPath, themePicturePath(theme, t.phase.to), t.phase.blend, target)) {
        logLine("wallpaper blend %s → %s %.2f made", t.phase.from.c_str(), t.phase.to.c_str(), t.phase.blend);
        return target;
      }
      logLine("wallpaper blend failed — using the picture as is");
      return fromPath.empty() ? coverPicture(theme) : fromPath;
    }
    default:
      return {};
  }
}

// ------------------------------------------------------------ monitors

// Before the first change of a run: Explorer is asked to fade the next
// wallpaper in (it starts its worker window on this message).
void prepareFade() {
  HWND progman = FindWindowW(L"Progman", nullptr);
  DWORD_PTR result = 0;
  bool answered = progman && SendMessageTimeoutW(progman, 0x052C, 0, 0, SMTO_NORMAL, 500, &result) != 0;
  static std::once_flag once;
  std::call_once(once, [answered] {
    BOOL animations = FALSE;
    SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &animations, 0);
    logLine("wallpaper fade: %s, Windows animations %s", answered ? "on" : "Explorer did not answer",
            animations ? "on" : "OFF (no fade then)");
  });
}

std::string desktopWallpaper() {
  wchar_t path[MAX_PATH + 1] = {};
  if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0)) return {};
  return toUtf8(path);
}

bool setDesktopWallpaper(const std::string& path) {
  std::wstring wide = toWide(path);
  return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, wide.data(), SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
}

// The pictures of every virtual desktop, which the shell keeps per desktop.
void virtualDesktopWallpapers(std::vector<std::string>& shown) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\VirtualDesktops\\Desktops",
                    0, KEY_READ, &raw) != ERROR_SUCCESS)
    return;
  UniqueHkey desktops(raw);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(desktops.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    wchar_t value[MAX_PATH * 4] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(desktops.get(), name, L"Wallpaper", RRF_RT_REG_SZ, nullptr, value, &bytes) == ERROR_SUCCESS)
      shown.push_back(toUtf8(value));
  }
}

uint64_t fileTime(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Deletes generated pictures that nothing shows and that are old enough.
void tidy(const std::string& folder, const std::string& target, std::vector<std::string> shown) {
  virtualDesktopWallpapers(shown);
  const std::set<std::string> inUse = kovra::wallpapersInUse(target, shown);
  std::vector<kovra::FolderEntry> entries;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(toWide(folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = toUtf8(found.cFileName);
    if (name == "." || name == "..") continue;
    kovra::FolderEntry e;
    e.name = name;
    e.path = folder + "\\" + name;
    e.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.created = fileTime(found.ftCreationTime);
    e.written = fileTime(found.ftLastWriteTime);
    e.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entries.push_back(std::move(e));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  FILETIME nowTime;
  GetSystemTimeAsFileTime(&nowTime);
  const kovra::TidyPlan plan = kovra::tidyPlan(entries, inUse, fileTime(nowTime));
  int deleted = 0;
  uint64_t bytes = 0;
  for (const std::string& path : plan.remove) {
    if (!DeleteFileW(toWide(path).c_str())) continue;
    ++deleted;
    for (const kovra::FolderEntry& e : entries)
      if (e.path == path) bytes += e.size;
  }
  if (deleted > 0)
    logLine("wallpapers: tidied %d old pictures (%.1f MB), %d in use", deleted, static_cast<double>(bytes) / 1e6,
            static_cast<int>(inUse.size()));
}

// Sets `target` on every monitor (empty: the user's own pictures back) and
// returns what the monitors show afterwards.
std::vector<std::string> applyToMonitors(const std::string& target, const std::string& folder,
                                         kovra::Originals& originals, bool& originalsChanged) {
  std::vector<std::string> shown;
  ComPtr<IDesktopWallpaper> desktop;
  HRESULT made = CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_IDesktopWallpaper, desktop.putVoid());
  if (SUCCEEDED(made) && desktop) {
    UINT count = 0;
    if (FAILED(desktop->GetMonitorDevicePathCount(&count))) count = 0;
    bool changedOne = false;
    for (UINT i = 0; i < count; ++i) {
      LPWSTR monitor = nullptr;
      if (FAILED(desktop->GetMonitorDevicePathAt(i, &monitor)) || !monitor) continue;
      std::wstring monitorWide = monitor;
      CoTaskMemFree(monitor);
      LPWSTR current = nullptr;
      std::string now;
      if (SUCCEEDED(desktop->GetWallpaper(monitorWide.c_str(), &current)) && current) now = toUtf8(current);
      if (current) CoTaskMemFree(current);
      kovra::MonitorChange change = kovra::monitorChange(toUtf8(monitorWide), now, target, folder, originals,
                                                         originalsChanged, fileExistsUtf8);
      if (change.ownUnknown) {
        logLine("wallpaper on monitor %u: the user's own picture is unknown or gone — left as is", i);
      } else if (change.set && change.restored) {
        desktop->SetWallpaper(monitorWide.c_str(), toWide(change.picture).c_str());
        logLine("wallpaper on monitor %u back to the user's own", i);
        now = change.picture;
      } else if (change.set) {
        if (!changedOne) {
          prepareFade();
          desktop->SetPosition(DWPOS_FILL);
          changedOne = true;
        }
        HRESULT hr = desktop->SetWallpaper(monitorWide.c_str(), toWide(change.picture).c_str());
        logLine("wallpaper set on monitor %u: %s (0x%08lx)", i, change.picture.c_str(), static_cast<unsigned long>(hr));
        if (SUCCEEDED(hr)) now = change.picture;
      }
      shown.push_back(now);
    }
    return shown;
  }

  // Without the per-monitor interface (older systems, Wine): the one desktop wallpaper.
  std::string now = desktopWallpaper();
  kovra::MonitorChange change =
      kovra::monitorChange(kovra::kWholeDesktop, now, target, folder, originals, originalsChanged, fileExistsUtf8);
  if (change.ownUnknown) {
    logLine("wallpaper on monitor %u: the user's own picture is unknown or gone — left as is", 0u);
  } else if (change.set) {
    if (!change.restored) prepareFade();
    if (setDesktopWallpaper(change.picture)) now = change.picture;
    if (change.restored) logLine("wallpaper on monitor %u back to the user's own", 0u);
  }
  // Said once per run that changed something, and at the first run of a process.
  static std::atomic<bool> told{false};
  if (change.set || !told.exchange(true))
    logLine("wallpaper: IDesktopWallpaper unavailable (0x%08lx), used SystemParametersInfo",
            static_cast<unsigned long>(made));
  shown.push_back(now);
  return shown;
}

// ------------------------------------------------------------ main thread

void applyAsync();
void applyWith(const CatalogRef& catalog, int choice, bool followTimes, PhaseLocation where);

void applyFinished() {
  gApplyRunning = false;
  if (gApplyPending.exchange(false)) applyAsync();
}

PhaseLocation locationNow() {
  double lat = 0, lon = 0;
  if (!cityLocation(lat, lon)) lat = lon = 0;
  return phaseLocation(lat, lon, localUtcOffset(std::time(nullptr)));
}

void applyAsync() {
  if (gApplyRunning.exchange(true)) {
    gApplyPending = true;
    return;
  }
  const int choice = gChoice;
  const bool follow = gFollowTimes;
  const PhaseLocation where = locationNow();
  // The index means a theme of this catalogue; a newer one may list others.
  CatalogRef catalog = currentCatalog();
  runWorker([catalog, choice, follow, where] {
    applyWith(catalog, choice, follow, where);
    // The flags are settled on the main thread, so no request slips between
    // this run's end and the check for one more.
    postToMain(applyFinished);
  });
}

void saveWallpaperChoice(int choice) {
  CatalogRef catalog = currentCatalog();
  kovra::StoredChoice stored = kovra::storedChoice(*catalog, choice);
  quillarWriteString(L"WallpaperFile", stored.wallpaperFile);
  quillarWriteDword(L"Wallpaper", stored.wallpaper);
}

// A fetched catalogue replaces the current one: the chosen theme keeps its id.
void catalogArrived(CatalogRef catalog) {
  const std::string chosen = themeId(gChoice);
  installCatalog(catalog);
  gChoice = chosen.empty() ? -1 : kovra::catalogFind(*catalog, chosen);
  if (gChanged) gChanged();
}

}  // namespace

int wallpaperChoiceStored() {
  CatalogRef catalog = currentCatalog();
  kovra::ChoiceResolution r =
      kovra::resolveWallpaperChoice(quillarReadString(L"WallpaperFile"), storedDword(L"Wallpaper"), *catalog);
  if (r.writeFile) quillarWriteString(L"WallpaperFile", *r.writeFile);
  if (r.writeWallpaper) quillarWriteDword(L"Wallpaper", *r.writeWallpaper);
  return r.choice;
}

bool wallpaperTimesStored() { return kovra::followTimesFromStored(storedDword(L"WallpaperTimes")); }

void applyNow(int choice, bool followTimes, PhaseLocation where) {
  applyWith(currentCatalog(), choice, followTimes, where);
}

namespace {

void applyWith(const CatalogRef& catalog, int choice, bool followTimes, PhaseLocation where) {
  ComApartment apartment;
  ComPtr<IWICImagingFactory> wic;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, wic.putVoid());

  const bool inRange = choice >= 0 && choice < static_cast<int>(catalog->themes.size());
  DayPhase phase;
  if (inRange && followTimes) {
    const double now = static_cast<double>(std::time(nullptr));
    phase = dayPhaseAt(now, where.latitude, where.longitude, localUtcOffset(static_cast<std::time_t>(now)));
  }
  const kovra::WallpaperTarget t = kovra::wallpaperTarget(choice, followTimes, *catalog,
                                                          inRange && themeAvailable(catalog->themes[static_cast<size_t>(choice)]),
                                                          wic.get() != nullptr, phase);
  if (t.kind == kovra::TargetKind::Leave) return;
  if (t.kind == kovra::TargetKind::Download) {
    if (!wallpaperTickRun()) postToMain([choice] { requestThemeDownload(choice, false); });
    return;
  }
  const std::string data = wallpaperDataFolder();
  if (data.empty()) {
    logLine("wallpaper: no data folder");
    return;
  }
  const std::string folder = kovra::generatedFolder(data);
  CreateDirectoryW(toWide(folder).c_str(), nullptr);

  std::string target;
  if (t.kind != kovra::TargetKind::Restore) {
    target = targetPicture(wic.get(), catalog->themes[static_cast<size_t>(choice)], t, folder);
    if (target.empty()) {
      logLine("wallpaper: no picture of %s to show", catalog->themes[static_cast<size_t>(choice)].id.c_str());
      return;
    }
  }
  const std::string originalsFile = kovra::originalsPath(data);
  kovra::Originals originals = kovra::readOriginals(readFileUtf8(originalsFile, 1u << 20));
  bool originalsChanged = false;
  std::vector<std::string> shown = applyToMonitors(target, folder, originals, originalsChanged);
  tidy(folder, target, std::move(shown));
  if (originalsChanged && !writeFileReplacing(originalsFile, kovra::writeOriginals(originals)))
    logLine("wallpaper: %s not written (%lu)", kovra::kOriginalsFileName, GetLastError());
}

}  // namespace

void wallpaperInit(std::function<void()> changed, std::function<void()> repaint) {
  gChanged = changed;
  downloadsSetHooks(std::move(repaint), std::move(changed));
  gChoice = wallpaperChoiceStored();
  gFollowTimes = wallpaperTimesStored();
  if (themeCount() == 0) logLine("wallpapers: no theme catalog (%s\\themes.json missing)", installedWallpapersFolderNow().c_str());
  wallpaperRefreshCatalog(catalogArrived);
  if (gChoice >= 0) applyAsync();
  wallpaperScheduleSync(gChoice, gFollowTimes);
}

void wallpaperMinuteCheck() {
  if (gChoice >= 0 && gFollowTimes) applyAsync();
}

int wallpaperChoiceNow() { return gChoice; }
bool wallpaperFollowsTimes() { return gFollowTimes; }

void setWallpaperChoice(int choice, bool followTimes) {
  if (choice == gChoice && followTimes == gFollowTimes) return;
  if (choice >= themeCount()) choice = -1;
  // A theme whose pictures are not here yet is fetched first and chosen when done.
  if (choice >= 0 && choice != gChoice && !themeAvailable(choice)) {
    requestThemeDownload(choice, true);
    return;
  }
  if (choice != gChoice) downloadsForgetSelection();
  const int old = gChoice;
  gChoice = choice;
  gFollowTimes = followTimes;
  saveWallpaperChoice(choice);
  quillarWriteDword(L"WallpaperTimes", followTimes ? 1 : 0);
  logLine("wallpaper choice %d, times %d", choice, followTimes ? 1 : 0);
  if (old >= 0 || choice >= 0) applyAsync();
  wallpaperScheduleSync(choice, followTimes);
}

void wallpaperApplyAgain() { applyAsync(); }

void restoreOwnWallpaper() {
  gChoice = -1;
  saveWallpaperChoice(-1);
  applyNow(-1, false, {});
}

