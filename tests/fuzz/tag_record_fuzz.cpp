// The history record loader: .dat files live in a folder other programs on the phone can write.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "device/TestDriver.h"
#include "store/TagRecord.h"

namespace {
std::unique_ptr<device::TestDriver> g_driver;
std::string g_file;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_driver = std::make_unique<device::TestDriver>();
  const std::string folder = g_driver->root() + "/Application Data/Melodex";
  std::filesystem::create_directories(folder);
  g_file = folder + "/7.dat";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TagRecord record;
  if (record.load(u"7.dat") && record.number != 7) __builtin_trap();
  return 0;
}
