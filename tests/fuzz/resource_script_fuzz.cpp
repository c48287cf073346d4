// The resource compiler's reading of a script (preprocessor, lexer, parser), from memory.
#include "../../tools/rc/Script.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  rc::Options options;
  // Only the script itself exists: includes and data files are absent.
  options.reader = [&script](const std::filesystem::path& path) -> std::optional<std::string> {
    if (path == "fuzz.rc") return script;
    return std::nullopt;
  };
  try {
    rc::Compile("fuzz.rc", options);
  } catch (const std::runtime_error&) {
  }
  return 0;
}
