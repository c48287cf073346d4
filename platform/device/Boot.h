// Starting the emulated phone around a program: its options and how it runs.
#pragma once

#include <windows.h>

#include <functional>

namespace device {

// Parses --root, --profile, --scale, --headless, --script, --mic, --net-map into options();
// prints the usage and exits on a bad option.
void ParseOptions(int argc, char** argv);

// Runs winMain(instance, SW_SHOW) on this thread. With a script the headless runner drives it
// under the virtual clock; otherwise it runs on the real clock with the chosen display.
int RunProgram(const std::function<int(HINSTANCE, int)>& winMain, HINSTANCE instance);

}  // namespace device
