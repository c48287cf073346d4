// The .res reader behind the program's resources (ResImageModule), and the resource functions
// over what it accepts: every entry it hands out must lie inside the image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel32/module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  auto module = platform::ResImageModule::Parse("fuzz", {data, size}, &error);
  if (!module) return 0;
  const platform::ResourceModule& m = module->module();
  for (size_t i = 0; i < m.count; ++i) {
    const platform::ResourceEntry& e = m.entries[i];
    if (e.data < data || e.data + e.size > data + size) __builtin_trap();
  }
  return 0;
}
