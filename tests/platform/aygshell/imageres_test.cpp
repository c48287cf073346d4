// SHLoadImageResource over the program's compiled resources (res/melodex.rc): every GIF id the
// screens use decodes to a bitmap of its size; a missing id gives null. Also composes the main menu
// with a soft-key bar through GDI and writes it out for a person to look at.
#include <gtest/gtest.h>
#include <windows.h>
#include <aygshell.h>

#include <cstdlib>
#include <string>

#include "device/Surface.h"
#include "gdi32/handles.h"
#include "kernel32/module.h"

extern const platform::ResourceModule g_programResources;

#include "support/ImageSizes.h"

namespace {

using melodex_test::GifSize;
constexpr const auto& kGifs = melodex_test::kGifSizes;

class ImageResource : public ::testing::TestWithParam<GifSize> {
 protected:
  void SetUp() override { hInst = platform::RegisterModule(&g_programResources); }
  HINSTANCE hInst = nullptr;
};

TEST_P(ImageResource, LoadsAtItsSize) {
  const GifSize g = GetParam();
  HBITMAP bmp = SHLoadImageResource(hInst, g.id);
  ASSERT_NE(bmp, nullptr) << "GIF " << g.id;
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, g.width) << "GIF " << g.id;
  EXPECT_EQ(bm.bmHeight, g.height) << "GIF " << g.id;
  EXPECT_TRUE(DeleteObject(bmp));
}

INSTANTIATE_TEST_SUITE_P(EveryId, ImageResource, ::testing::ValuesIn(kGifs),
                         [](const auto& info) { return "Gif" + std::to_string(info.param.id); });

TEST(SHLoadImageResource, MissingIdGivesNull) {
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  EXPECT_EQ(SHLoadImageResource(hInst, 999), nullptr);
  EXPECT_EQ(SHLoadImageResource(hInst, 159), nullptr);  // a WAVE resource, not a GIF
}

// The main menu (header 113, entries 114-117 with 171 highlighted) and the soft-key bar,
// composed as the screens do, at the two screen widths.
void Compose(HINSTANCE hInst, int width, const std::string& name) {
  HDC back = CreateCompatibleDC(nullptr), image = CreateCompatibleDC(nullptr);
  HBITMAP backBmp = CreateCompatibleBitmap(back, 320, 320);
  HGDIOBJ oldBack = SelectObject(back, backBmp);
  RECT client{0, 0, width, 320};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(back, &client, white);
  auto blit = [&](UINT id, int x, int y) {
    HBITMAP b = SHLoadImageResource(hInst, id);
    BITMAP bm{};
    GetObjectW(b, sizeof bm, &bm);
    HGDIOBJ old = SelectObject(image, b);
    BitBlt(back, x, y, bm.bmWidth, bm.bmHeight, image, 0, 0, SRCCOPY);
    SelectObject(image, old);
    DeleteObject(b);
    return bm;
  };
  BITMAP header = blit(113, width / 2 - 320 / 2, 0);
  const int h = 35, y0 = header.bmHeight + (320 - 34 - header.bmHeight) / 2 - (4 * h) / 2;
  blit(171, width / 2 - 165 / 2, y0);
  for (UINT k = 1; k < 4; ++k) blit(114 + k, width / 2 - 165 / 2, y0 + static_cast<int>(k) * h);
  RECT bar{0, 320 - 34, width, 320};
  HBRUSH blue = CreateSolidBrush(RGB(0, 119, 192));
  FillRect(back, &bar, blue);
  blit(161, 10, 320 - 34);
  BITMAP right = {};
  {
    HBITMAP b = SHLoadImageResource(hInst, 164);
    GetObjectW(b, sizeof right, &right);
    DeleteObject(b);
  }
  blit(164, width - 10 - right.bmWidth, 320 - 34);
  RECT text{0, y0 + 4 * h + 2, width, y0 + 4 * h + 20};
  DrawTextW(back, u"Melodex version 1.2.0", -1, &text, DT_CENTER | DT_VCENTER);

  device::Surface s;
  gdi::CopyBitmapSurface(backBmp, &s);
  device::Surface out(width, 320);
  for (int y = 0; y < 320; ++y)
    for (int x = 0; x < width; ++x) out.row(y)[x] = s.at(x, y);
  const char* dir = std::getenv("MELODEX_BINARY_DIR");
  EXPECT_TRUE(device::WritePng(out, std::string(dir ? dir : ".") + "/" + name));
  EXPECT_EQ(out.at(width / 2, 320 - 1), 0x000077C0u);  // the bar's colour at the bottom
  SelectObject(back, oldBack);
  DeleteObject(backBmp);
  DeleteObject(white);
  DeleteObject(blue);
  DeleteDC(back);
  DeleteDC(image);
}

TEST(SHLoadImageResource, SampleMainMenuScreens) {
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  Compose(hInst, 240, "sample_menu_240x320.png");
  Compose(hInst, 320, "sample_menu_320x320.png");
}

}  // namespace
