// The registry file parser: DIR/registry.reg is a text anyone with the device's files can edit.
#include "advapi32/registry.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const advapi32::RegistryImage image = advapi32::ParseRegistryFile(std::string(reinterpret_cast<const char*>(data), size));
  // Every key's parents exist: walk them.
  for (const auto& [path, key] : image) {
    const size_t slash = path.rfind(u'\\');
    if (slash != std::u16string::npos && image.count(path.substr(0, slash)) == 0) __builtin_trap();
  }
  return 0;
}
