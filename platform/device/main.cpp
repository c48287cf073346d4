// The process entry of a program built on the platform: parses the emulated phone's options,
// registers the program's resources as its module and runs its WinMain.
#include <windows.h>

#include "device/Boot.h"
#include "kernel32/module.h"

// res/melodex.rc as llvm-rc compiled it, read from the embedded .res image (melodex_resources).
extern const platform::ResourceModule g_programResources;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);

int main(int argc, char** argv) {
  device::ParseOptions(argc, argv);
  HINSTANCE instance = platform::RegisterModule(&g_programResources);
  // The command line is not read by the program (Overview: "Command line — none is read").
  static WCHAR emptyCommandLine[1] = {0};
  return device::RunProgram(
      [](HINSTANCE hInst, int show) { return WinMain(hInst, nullptr, emptyCommandLine, show); }, instance);
}
