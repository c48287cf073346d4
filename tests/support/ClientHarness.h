// Boots the Melodex client inside a test process through the platform's TestDriver (virtual
// clock, headless display) and reads back what it did: the application state, the log file,
// the trace, the screen's pixels and the resource bitmaps the screens draw from.
#pragma once

#include <windows.h>

#include <aygshell.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "device/Screen.h"
#include "device/TestDriver.h"
#include "device/Trace.h"
#include "kernel32/module.h"

// res/melodex.rc as llvm-rc compiled it (library melodex_resources).
extern const platform::ResourceModule g_programResources;

namespace melodex_test {

inline device::TestDriver::Config MakeConfig(const std::string& profile = "qvga", const std::string& root = "") {
  device::TestDriver::Config config;
  config.profile = profile;
  config.root = root;
  return config;
}

class Client {
 public:
  explicit Client(const device::TestDriver::Config& config = MakeConfig()) : driver(config) {}

  // Registers the program's resources and runs InitInstance with SW_SHOW, then the messages due at
  // time 0.
  BOOL boot() {
    hInstance = platform::RegisterModule(&g_programResources);
    return driver.boot(InitInstance, hInstance);
  }

  // The log file as written so far. The program never flushes it; the test does.
  std::string log() {
    if (g_logFile != nullptr) fflush(g_logFile);
    return driver.readDeviceFile("\\Application Data\\Melodex\\log.txt");
  }

  // How many times the log holds the text.
  size_t countLog(const std::string& text) {
    std::string written = log();
    size_t n = 0;
    for (size_t at = written.find(text); at != std::string::npos; at = written.find(text, at + 1)) n++;
    return n;
  }

  // How many trace lines recorded so far contain the text.
  size_t countTrace(const std::string& text) const {
    size_t n = 0;
    for (const std::string& line : driver.trace())
      if (line.find(text) != std::string::npos) n++;
    return n;
  }

  // The main window's client area on the phone's screen.
  RECT clientOnScreen() const {
    RECT rc = {0, 0, 0, 0};
    device::WindowClientOnScreen(g_hWnd, &rc);
    return rc;
  }
  RECT clientRect() const {
    RECT rc;
    GetClientRect(g_hWnd, &rc);
    return rc;
  }
  // A pixel of the client area (client coordinates), 0x00RRGGBB.
  uint32_t clientPixel(int x, int y) const {
    RECT on = clientOnScreen();
    return driver.pixel(on.left + x, on.top + y);
  }

  // Writes the screen as a PNG for a person to look at, into MELODEX_SNAP_DIR when set, else the
  // working folder.
  bool snap(const std::string& name) {
    const char* dir = std::getenv("MELODEX_SNAP_DIR");
    return driver.snap(std::string(dir != nullptr ? dir : ".") + "/" + name);
  }

  device::TestDriver driver;
  HINSTANCE hInstance = nullptr;
};

// A bitmap's pixels as 0x00RRGGBB, read through a memory device context.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline uint32_t ColorrefToRgb(COLORREF c) {
  return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

// Decodes GIF resource id with the same loader the screens use.
inline Picture LoadResourcePicture(HINSTANCE hInst, int id) {
  Picture picture;
  HBITMAP bitmap = SHLoadImageResource(hInst, id);
  if (bitmap == nullptr) return picture;
  BITMAP size;
  GetObjectW(bitmap, sizeof size, &size);
  picture.width = size.bmWidth;
  picture.height = size.bmHeight;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  for (int y = 0; y < picture.height; y++)
    for (int x = 0; x < picture.width; x++) picture.pixels.push_back(ColorrefToRgb(GetPixel(dc, x, y)));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return picture;
}

// How many pixels of picture, placed at (x, y) in client coordinates, differ from the screen.
// Pixels outside the client area, and inside `covered` (client coordinates: something drawn
// later over the picture), are not compared. -1 when the picture is empty.
inline long CountDifferences(const Client& client, const Picture& picture, int x, int y,
                             const RECT& covered = RECT{0, 0, 0, 0}) {
  if (picture.pixels.empty()) return -1;
  RECT rc = client.clientRect();
  long differences = 0;
  for (int j = 0; j < picture.height; j++) {
    for (int i = 0; i < picture.width; i++) {
      if (x + i < 0 || y + j < 0 || x + i >= rc.right || y + j >= rc.bottom) continue;
      if (x + i >= covered.left && x + i < covered.right && y + j >= covered.top && y + j < covered.bottom) continue;
      if (client.clientPixel(x + i, y + j) != picture.at(i, j)) differences++;
    }
  }
  return differences;
}

// Whether GIF resource id is on the screen at (x, y) of the client area, every pixel of it
// outside `covered`.
inline bool Shows(const Client& client, int id, int x, int y, const RECT& covered = RECT{0, 0, 0, 0}) {
  static std::map<int, Picture> pictures;
  if (pictures.count(id) == 0) pictures[id] = LoadResourcePicture(g_hInst, id);
  return CountDifferences(client, pictures[id], x, y, covered) == 0;
}

}  // namespace melodex_test
