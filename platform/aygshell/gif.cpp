// GIF decoding with giflib, from memory through DGifOpen's read callback. Only the first frame
// is decoded, record by record, so that its declared size is checked before anything is
// allocated for it (DGifSlurp would allocate every frame first).
#include <gif_lib.h>

#include <cstring>
#include <memory>
#include <vector>

#include "aygshell/images.h"
#include "gdi32/handles.h"

namespace aygshell {
namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int ReadBytes(GifFileType* gif, GifByteType* buf, int len) {
  auto* r = static_cast<Reader*>(gif->UserData);
  if (len <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(len), r->size - r->pos);
  std::memcpy(buf, r->data + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int err = 0;
    DGifCloseFile(gif, &err);
  }
};

bool SideOk(int v) { return v > 0 && v <= kMaxImageSide; }

}  // namespace

bool DecodeGif(const uint8_t* data, size_t size, device::Surface* out) {
  if (!data || size < 6) return false;
  Reader reader{data, size, 0};
  int err = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadBytes, &err));
  if (!gif) return false;
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return false;
    if (type == TERMINATE_RECORD_TYPE) return false;  // no image at all
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR) return false;
      // Graphic control extension: flags, delay (2 bytes), transparent index.
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
      while (ext) {
        if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR) return false;
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return false;
    const GifImageDesc& desc = gif->Image;
    int width = gif->SWidth > 0 ? gif->SWidth : desc.Width;
    int height = gif->SHeight > 0 ? gif->SHeight : desc.Height;
    if (!SideOk(width) || !SideOk(height) || !SideOk(desc.Width) || !SideOk(desc.Height)) return false;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || !map->Colors) return false;

    device::Surface canvas(width, height, 0x00FFFFFF);
    std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
    // Interlaced frames arrive in four passes of rows.
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    auto putRow = [&](int y) {
      int cy = desc.Top + y;
      if (cy < 0 || cy >= height) return;
      uint32_t* row = canvas.row(cy);
      for (int x = 0; x < desc.Width; ++x) {
        int cx = desc.Left + x;
        int index = line[static_cast<size_t>(x)];
        if (cx < 0 || cx >= width || index == transparent) continue;
        if (index >= map->ColorCount) continue;  // out of the palette: left as background
        const GifColorType& c = map->Colors[index];
        row[cx] = (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
      }
    };
    if (desc.Interlace) {
      for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < desc.Height; y += kStep[pass]) {
          if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) return false;
          putRow(y);
        }
      }
    } else {
      for (int y = 0; y < desc.Height; ++y) {
        if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) return false;
        putRow(y);
      }
    }
    *out = std::move(canvas);
    return true;
  }
}

HBITMAP BitmapFromGif(const uint8_t* data, size_t size) {
  device::Surface s;
  if (!DecodeGif(data, size, &s)) return nullptr;
  return gdi::CreateBitmapFromSurface(std::move(s));
}

}  // namespace aygshell
