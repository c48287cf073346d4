// melodex-demo: the demo program on the emulated phone (with the same options as melodex).
#include "demo.h"
#include "device/Boot.h"

int main(int argc, char** argv) {
  device::ParseOptions(argc, argv);
  return device::RunProgram(DemoWinMain, nullptr);
}
