// The JPEG decoder behind SHLoadImageFile: valid pictures, and the failures album art from the
// network can bring (empty, truncated, random, huge declared size, too costly to decode).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "aygshell/images.h"
#include "gdi32/handles.h"
#include "support/JpegMaker.h"

using melodex_test::MakeJpeg;

namespace {

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

namespace {

// The picture's header (everything before its first scan), its scans, its last scan again
// `times` times, and the end marker.
std::vector<uint8_t> RepeatLastScan(const std::vector<uint8_t>& jpeg, int times) {
  std::vector<std::pair<size_t, size_t>> scans;
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xD9) {
    const size_t length = (size_t{jpeg[i + 2]} << 8) | jpeg[i + 3];
    size_t end = i + 2 + length;
    if (jpeg[i + 1] == 0xDA) {
      while (end + 1 < jpeg.size() && !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 && (jpeg[end + 1] & 0xF8) != 0xD0)) ++end;
      scans.emplace_back(i, end);
    }
    i = end;
  }
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(scans.back().second));
  const auto [begin, end] = scans.back();
  for (int k = 0; k < times; ++k)
    out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(begin), jpeg.begin() + static_cast<ptrdiff_t>(end));
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

// A valid progression that sends the AC coefficients one at a time: the DC scan, then one
// scan per coefficient of each listed component.
std::vector<jpeg_scan_info> OneCoefficientPerScan(std::initializer_list<int> components) {
  std::vector<jpeg_scan_info> scans;
  scans.push_back(jpeg_scan_info{3, {0, 1, 2, 0}, 0, 0, 0, 0});
  for (int c : {0, 1, 2}) {
    const bool split = std::find(components.begin(), components.end(), c) != components.end();
    if (!split) scans.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, 1, 63, 0, 0});
    for (int k = 1; split && k <= 63; ++k) scans.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, 0, 0});
  }
  return scans;
}

}  // namespace

TEST(DecodeJpeg, PicturesBeyondTheUiThreadsBudgetAreRefused) {
  device::Surface s;
  const auto few = OneCoefficientPerScan({1});  // 66 scans, 1 over 5 625 blocks each
  const std::vector<uint8_t> normal = MakeJpeg(1200, 1200, true, &few);
  ASSERT_TRUE(aygshell::DecodeJpeg(normal.data(), normal.size(), &s));
  const auto many = OneCoefficientPerScan({0, 1, 2});  // 190 scans
  const auto busy = OneCoefficientPerScan({0});  // 63 scans over 22 500 blocks each
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"more scans than allowed", MakeJpeg(320, 320, true, &many)},
      {"scans covering too many blocks", MakeJpeg(1200, 1200, true, &busy)},
      {"more pixels than allowed", MakeJpeg(1600, 1400)},
  };
  for (const Case& c : cases) {
    EXPECT_LT(c.bytes.size(), 100000u) << c.what;
    EXPECT_FALSE(aygshell::DecodeJpeg(c.bytes.data(), c.bytes.size(), &s)) << c.what;
  }
  // One scan sent again and again: the first warning ends it.
  const std::vector<uint8_t> repeated = RepeatLastScan(MakeJpeg(1200, 1200, true), 1200);
  EXPECT_FALSE(aygshell::DecodeJpeg(repeated.data(), repeated.size(), &s));
}
