// The conformance probe on our platform: the emulated phone's options, then the probe.
#include "device/Boot.h"
#include "probe.h"

int main(int argc, char** argv) {
  device::ParseOptions(argc, argv);
  return device::RunProgram([](HINSTANCE instance, int) { return ProbeMain(instance); }, nullptr);
}
