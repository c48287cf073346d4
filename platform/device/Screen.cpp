// The phone's display surface and the shell drawn on it: the status bar, always, and while no
// window is shown the home screen with its own soft-key menu bar. Under a shown window the shell
// leaves the menu bar out: the bar belongs to an application that creates one, and the program
// creates none. The shell has no fonts of its own; it draws simple shapes.
#include "device/Screen.h"

#include "device/Device.h"
#include "device/Display.h"
#include "device/Shell.h"
#include "kernel32/module.h"
#include "user32/host.h"

namespace device {
namespace {

void Fill(Surface& s, int left, int top, int right, int bottom, uint32_t colour) {
  for (int y = std::max(top, 0); y < std::min(bottom, s.height); ++y)
    for (int x = std::max(left, 0); x < std::min(right, s.width); ++x) s.row(y)[x] = colour;
}

uint32_t Mix(uint32_t a, uint32_t b, int num, int den) {
  auto ch = [&](int shift) {
    int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
    return static_cast<uint32_t>(ca + (cb - ca) * num / den) << shift;
  };
  return ch(16) | ch(8) | ch(0);
}

// Status bar: a dark band with signal bars on the left and a battery on the right.
void DrawStatusBar(Surface& s) {
  for (int y = 0; y < kStatusBarHeight; ++y)
    Fill(s, 0, y, s.width, y + 1, Mix(0x2B3A55, 0x0E1626, y, kStatusBarHeight));
  for (int i = 0; i < 4; ++i) Fill(s, 6 + i * 5, 18 - i * 3, 9 + i * 5, 20, 0xFFFFFF);
  Fill(s, s.width - 30, 8, s.width - 8, 18, 0xFFFFFF);
  Fill(s, s.width - 29, 9, s.width - 9, 17, 0x1B2740);
  Fill(s, s.width - 27, 11, s.width - 13, 15, 0x7CD66B);
  Fill(s, s.width - 8, 11, s.width - 6, 15, 0xFFFFFF);
}

// The home screen's soft-key menu bar.
void DrawMenuBar(Surface& s) {
  int top = s.height - kMenuBarHeight;
  for (int y = top; y < s.height; ++y) Fill(s, 0, y, s.width, y + 1, Mix(0x3C4A63, 0x1A2336, y - top, kMenuBarHeight));
  Fill(s, s.width / 2 - 1, top + 5, s.width / 2 + 1, s.height - 5, 0x5A6884);
}

// The backdrop below the status bar, under every window.
void DrawBackdrop(Surface& s) {
  int top = kStatusBarHeight;
  for (int y = top; y < s.height; ++y) Fill(s, 0, y, s.width, y + 1, Mix(0x3A77C2, 0x0B2A55, y - top, s.height - top));
}

// Home screen: a Melodex tile (magenta with a white note) to start it from, above the menu bar.
void DrawHome(Surface& s) {
  int top = kStatusBarHeight, bottom = s.height - kMenuBarHeight;
  int cx = s.width / 2, cy = top + (bottom - top) / 2;
  // The program's own icon (resource 101) when it has one.
  platform::IconPixels icon;
  HMODULE program = platform::ProgramModule();
  if (program && platform::GetIconPixels(LoadIconW(program, MAKEINTRESOURCEW(101)), &icon)) {
    for (int y = 0; y < icon.height; ++y)
      for (int x = 0; x < icon.width; ++x) {
        size_t i = static_cast<size_t>(y) * static_cast<size_t>(icon.width) + static_cast<size_t>(x);
        int px = cx - icon.width / 2 + x, py = cy - icon.height / 2 + y;
        if (icon.opaque[i] && px >= 0 && py >= 0 && px < s.width && py < s.height) s.row(py)[px] = icon.pixels[i];
      }
    return;
  }
  Fill(s, cx - 22, cy - 22, cx + 22, cy + 22, 0xCC0098);
  Fill(s, cx + 2, cy - 14, cx + 5, cy + 8, 0xFFFFFF);
  Fill(s, cx - 6, cy + 4, cx + 5, cy + 12, 0xFFFFFF);
  Fill(s, cx + 5, cy - 14, cx + 12, cy - 10, 0xFFFFFF);
}

void DrawShell(Surface& s) {
  DrawStatusBar(s);
  DrawBackdrop(s);
  if (user32::host::AnyWindowVisible()) return;
  DrawHome(s);
  DrawMenuBar(s);
}

}  // namespace

Surface& screen() {
  static Surface* s = nullptr;
  if (!s) {
    const Profile& p = options().profile;
    s = new Surface(p.width, p.height);
    DrawShell(*s);
  }
  return *s;
}

void ScreenChanged() { display().present(screen()); }

void LayoutChanged() {
  DrawShell(screen());
  user32::host::RepaintVisibleWindows();
  ScreenChanged();
}

}  // namespace device
