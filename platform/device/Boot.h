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

// Ends the process as a Windows process ends, whatever ends it (the runner's quit, the end of
// its script, a failed expectation, the emulator's window closed): every open C stream — the
// program's log among them — is flushed, then the process exits with status at once, other
// threads and all (no destructors run under a worker that is still busy).
[[noreturn]] void EndProcess(int status);

}  // namespace device
