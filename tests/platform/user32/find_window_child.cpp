// The second process of the single-instance tests: on the device root given as its argument it
// looks for the recorder window and brings it forward, as the program's second copy does.
// Exit status: 0 found and brought forward, 3 not found, 4 SetForegroundWindow failed.
#include <windows.h>

#include "device/Device.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  device::options().root = argv[1];
  device::options().headless = true;
  HWND found = FindWindowW(TEXT("RECORDER"), TEXT("Recorder"));
  if (!found) return 3;
  return SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(found) | 1)) ? 0 : 4;
}
