// The GIF decoder behind SHLoadImageResource, on GIFs written by giflib's encoder in memory.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "aygshell/images.h"
#include "gdi32/handles.h"

namespace {

int WriteBytes(GifFileType* gif, const GifByteType* data, int len) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + len);
  return len;
}

// A w x h GIF whose pixel (x, y) has palette index (x + y) % 4; index `transparent` (or -1) is
// marked transparent; `interlace` writes it interlaced.
std::vector<uint8_t> MakeGif(int w, int h, int transparent = -1, bool interlace = false) {
  std::vector<uint8_t> out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, WriteBytes, &err);
  EXPECT_NE(gif, nullptr);
  GifColorType colors[4] = {{204, 0, 152}, {255, 155, 22}, {0, 120, 193}, {0, 0, 0}};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  EGifSetGifVersion(gif, true);
  EXPECT_EQ(EGifPutScreenDesc(gif, w, h, 2, 0, map), GIF_OK);
  if (transparent >= 0) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    gcb.TransparentColor = transparent;
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
  }
  EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, w, h, interlace, nullptr), GIF_OK);
  std::vector<GifPixelType> line(static_cast<size_t>(w));
  // giflib's encoder takes rows in the file's order: for an interlaced image, pass by pass.
  std::vector<int> order;
  if (interlace) {
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = start[p]; y < h; y += step[p]) order.push_back(y);
  } else {
    for (int y = 0; y < h; ++y) order.push_back(y);
  }
  for (int y : order) {
    for (int x = 0; x < w; ++x) line[static_cast<size_t>(x)] = static_cast<GifPixelType>((x + y) % 4);
    EXPECT_EQ(EGifPutLine(gif, line.data(), w), GIF_OK);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

const uint32_t kPalette[4] = {0x00CC0098, 0x00FF9B16, 0x000078C1, 0x00000000};

// Every pixel has its palette colour, rows interlaced or not, and the transparent index is the
// white of the screen behind.
TEST(DecodeGif, FirstFrameAtItsSizeInItsColours) {
  const struct {
    int width, height, transparent;
    bool interlace;
  } cases[] = {{165, 35, -1, false}, {20, 19, -1, true}, {8, 8, 3, false}};
  for (const auto& c : cases) {
    auto bytes = MakeGif(c.width, c.height, c.transparent, c.interlace);
    device::Surface s;
    ASSERT_TRUE(aygshell::DecodeGif(bytes.data(), bytes.size(), &s));
    ASSERT_EQ(s.width, c.width);
    ASSERT_EQ(s.height, c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        ASSERT_EQ(s.at(x, y), (x + y) % 4 == c.transparent ? 0x00FFFFFFu : kPalette[(x + y) % 4]) << x << "," << y;
  }
}

TEST(DecodeGif, BadInputGivesNothing) {
  device::Surface s;
  EXPECT_FALSE(aygshell::DecodeGif(nullptr, 0, &s));
  const uint8_t junk[] = "not a gif at all, just text";
  EXPECT_FALSE(aygshell::DecodeGif(junk, sizeof junk, &s));
  auto bytes = MakeGif(40, 40);
  for (size_t cut : {size_t{6}, size_t{13}, bytes.size() / 2, bytes.size() - 2})
    EXPECT_FALSE(aygshell::DecodeGif(bytes.data(), cut, &s)) << cut;
  EXPECT_EQ(aygshell::BitmapFromGif(bytes.data(), 10), nullptr);
  // A logical screen width (bytes 6-7, little-endian) of 60000 pixels is refused, not allocated.
  bytes[6] = 0x60;
  bytes[7] = 0xEA;
  EXPECT_FALSE(aygshell::DecodeGif(bytes.data(), bytes.size(), &s));
}

}  // namespace
