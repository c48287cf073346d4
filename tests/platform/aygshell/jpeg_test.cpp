// The JPEG decoder behind SHLoadImageFile: a valid picture, and the failures album art from the
// network can bring (empty, truncated, random, huge declared size).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "aygshell/images.h"
#include "gdi32/handles.h"

namespace {

std::vector<uint8_t> MakeJpeg(int w, int h, bool progressive = false) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buf, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(w) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < w; ++x) {
      // Left half orange, right half link blue: flat areas survive compression.
      bool left = x < w / 2;
      row[static_cast<size_t>(x) * 3 + 0] = left ? 255 : 0;
      row[static_cast<size_t>(x) * 3 + 1] = left ? 155 : 120;
      row[static_cast<size_t>(x) * 3 + 2] = left ? 22 : 193;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buf, buf + size);
  jpeg_destroy_compress(&cinfo);
  free(buf);
  return out;
}

bool Near(uint32_t p, int r, int g, int b) {
  auto d = [](int a, int e) { return std::abs(a - e) <= 8; };
  return d(static_cast<int>(p >> 16 & 0xFF), r) && d(static_cast<int>(p >> 8 & 0xFF), g) &&
         d(static_cast<int>(p & 0xFF), b);
}

std::string TempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const char* dir = std::getenv("MELODEX_BINARY_DIR");
  std::string path = std::string(dir ? dir : "/tmp") + "/aygshell_" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

// Baseline and progressive pictures decode at their size with their colours.
TEST(DecodeJpeg, ValidPictures) {
  for (bool progressive : {false, true}) {
    auto bytes = MakeJpeg(113, 100, progressive);
    device::Surface s;
    ASSERT_TRUE(aygshell::DecodeJpeg(bytes.data(), bytes.size(), &s)) << progressive;
    EXPECT_EQ(s.width, 113);
    EXPECT_EQ(s.height, 100);
    EXPECT_TRUE(Near(s.at(10, 50), 255, 155, 22));
    EXPECT_TRUE(Near(s.at(100, 50), 0, 120, 193));
  }
  HBITMAP bmp = aygshell::BitmapFromHostFile(TempFile("valid.jpg", MakeJpeg(100, 90)));
  ASSERT_NE(bmp, nullptr);
  BITMAP bm{};
  GetObjectW(bmp, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 100);
  EXPECT_EQ(bm.bmHeight, 90);
  DeleteObject(bmp);
}

// What album art from the network can be: every broken file gives no bitmap, never a crash or
// an overread (the suite also runs under AddressSanitizer).
TEST(LoadImageFile, BrokenFilesGiveNull) {
  const auto good = MakeJpeg(120, 120);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {{"empty", {}}};
  for (size_t keep : {size_t{2}, size_t{20}, size_t{200}, good.size() / 2, good.size() - 2})
    files.push_back({"cut at " + std::to_string(keep), std::vector<uint8_t>(good.begin(), good.begin() + keep)});
  std::mt19937 rng(1234);
  for (int round = 0; round < 10; ++round) {
    std::vector<uint8_t> bytes(static_cast<size_t>(100 + round * 500));
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    if (round % 2) bytes[0] = 0xFF, bytes[1] = 0xD8;  // looks like a JPEG from the start
    files.push_back({"random " + std::to_string(round), bytes});
  }
  auto corrupted = good;
  for (size_t i = corrupted.size() / 3; i < corrupted.size() - 2; i += 7) corrupted[i] = static_cast<uint8_t>(rng());
  files.push_back({"corrupted body", corrupted});
  auto huge = MakeJpeg(16, 16);
  for (size_t i = 2; i + 9 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {  // SOF0: length(2) precision(1) height(2) width(2)
      huge[i + 5] = huge[i + 7] = 0xFD;            // 65000 x 65000
      huge[i + 6] = huge[i + 8] = 0xE8;
      break;
    }
  files.push_back({"65000 x 65000 declared", huge});
  for (const auto& [name, bytes] : files)
    EXPECT_EQ(aygshell::BitmapFromHostFile(TempFile("broken.jpg", bytes)), nullptr) << name;
  EXPECT_EQ(aygshell::BitmapFromHostFile("/nonexistent/melodex/7.jpg"), nullptr) << "missing";
}

// The loader decodes by content: a GIF file loads too.
TEST(LoadImageFile, GifFileToo) {
  const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                         ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, ';'};
  HBITMAP bmp = aygshell::BitmapFromHostFile(TempFile("one.gif", std::vector<uint8_t>(gif, gif + sizeof gif)));
  ASSERT_NE(bmp, nullptr);
  DeleteObject(bmp);
}

}  // namespace
