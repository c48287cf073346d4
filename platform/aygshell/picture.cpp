// Picture files: read (bounded) and decoded by their content.
#include <cstdio>
#include <memory>
#include <vector>

#include "aygshell/images.h"
#include "gdi32/handles.h"

namespace aygshell {

bool DecodePicture(const uint8_t* data, size_t size, device::Surface* out) {
  if (!data || size < 4) return false;
  if (data[0] == 0xFF && data[1] == 0xD8) return DecodeJpeg(data, size, out);
  if (data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && data[3] == '8') return DecodeGif(data, size, out);
  return false;
}

HBITMAP BitmapFromHostFile(const std::string& hostPath) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(hostPath.c_str(), "rb"), std::fclose);
  if (!file) return nullptr;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (;;) {
    size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
    if (n == 0) break;
    if (bytes.size() + n > kMaxImageFileBytes) return nullptr;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  if (std::ferror(file.get())) return nullptr;
  device::Surface s;
  if (!DecodePicture(bytes.data(), bytes.size(), &s)) return nullptr;
  return gdi::CreateBitmapFromSurface(std::move(s));
}

}  // namespace aygshell
