// The GIF decoder behind SHLoadImageResource.
#include "aygshell/images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  device::Surface picture;
  if (aygshell::DecodeGif(data, size, &picture) && (picture.width <= 0 || picture.height <= 0)) __builtin_trap();
  return 0;
}
