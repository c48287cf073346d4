// The service's upload decoder, sound files decoded in this process (the service runs the
// same decode in a child).
#include "audio/UploadDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const melodex::audio::UploadDecoder decoder({30.0, 1.0});
  const auto d = decoder.decode(std::string_view(reinterpret_cast<const char*>(data), size));
  if (d.status == 0 && (d.samples.empty() || d.samples.size() > 30 * 8000)) __builtin_trap();
  if (d.status != 0 && !d.samples.empty()) __builtin_trap();
  return 0;
}
