#pragma once
// One entry per monitor: its rectangles, scale and snow world. The overlay
// window and renderer resources join this record with the visible-snow work.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "world/world.h"

struct MonitorOverlay {
  HMONITOR monitor = nullptr;
  std::wstring key;  // rectangle and scale: a rebuild finds the world by it
  RECT monitorRect{};
  RECT workRect{};
  float scale = 1.0f;  // DPI / 96
  float widthDip = 0, heightDip = 0;
  bool primary = false;
  HWND window = nullptr;
  // Compatible renderer resources: a memory DC with a top-down DIB section.
  HDC memDc = nullptr;
  HBITMAP dib = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  uint32_t* pixels = nullptr;
  std::unique_ptr<kovra::SnowWorld> world;
  bool fullScreenApp = false;
  bool shown = false;
  float opacity = 0.0f;
  bool takesClicks = false;
  bool grabbing = false;
  // A button went down while the overlay took clicks and is still held: its
  // press may not have reached the window yet (see pressTakenFrom).
  bool pressTaken = false;
  bool buttonDown = false;
  uint64_t seenGeneration = 0;
  bool dirty = true;
  double lastVisitWall = 0;
  double lastVisitPaused = 0;
};

std::vector<std::unique_ptr<MonitorOverlay>>& overlays();
// (Re)builds one entry per monitor; worlds are kept by monitor key.
void buildOverlays(bool retry);
void teardownOverlays();
void dropSavedWorlds();
void releaseRenderer();
// Switches WS_EX_TRANSPARENT off (the overlay takes clicks) or on.
void setTakesClicks(MonitorOverlay& overlay, bool on);
LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
