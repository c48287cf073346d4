// The JPEG decoder behind SHLoadImageFile: album art comes from the network.
#include "aygshell/images.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  device::Surface picture;
  if (aygshell::DecodeJpeg(data, size, &picture) &&
      uint64_t(picture.width) * uint64_t(picture.height) > aygshell::kMaxJpegPixels)
    __builtin_trap();
  return 0;
}
