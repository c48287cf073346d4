// Conformance tests of the program's resources (res/melodex.rc as compiled by llvm-rc) and of
// the Win32 resource functions over them: every GIF id the screens use at its size (and decoded
// by SHLoadImageResource), the two sounds, the string table, LoadStringW's truncation rules, the
// icon, the CEUX flag and the absent accelerator table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel32/module.h"
#include "windows.h"
#include "aygshell.h"

extern const platform::ResourceModule g_programResources;

#include "support/ImageSizes.h"

namespace {

class Resources : public ::testing::Test {
 protected:
  void SetUp() override { hInst = platform::RegisterModule(&g_programResources); }
  HINSTANCE hInst = nullptr;

  // The bytes of a resource through the Win32 functions, as a client would read them.
  std::vector<unsigned char> bytes(LPCWSTR name, LPCWSTR type) {
    HRSRC r = FindResourceW(hInst, name, type);
    if (r == nullptr) return {};
    const auto* p = static_cast<const unsigned char*>(LockResource(LoadResource(hInst, r)));
    return std::vector<unsigned char>(p, p + SizeofResource(hInst, r));
  }
};

uint16_t Word(const std::vector<unsigned char>& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t Dword(const std::vector<unsigned char>& b, size_t at) { return Word(b, at) | (uint32_t(Word(b, at + 2)) << 16); }

using melodex_test::GifSize;
constexpr const auto& kGifs = melodex_test::kGifSizes;

class GifResource : public Resources, public ::testing::WithParamInterface<GifSize> {};

// The GIF header's logical screen size (bytes 6-9, little-endian), read from the resource.
TEST_P(GifResource, HasTheSizeTheScreensLayOut) {
  const GifSize g = GetParam();
  const auto b = bytes(MAKEINTRESOURCEW(g.id), u"GIF");
  ASSERT_GE(b.size(), 13u) << "GIF " << g.id << " is missing";
  EXPECT_TRUE(std::memcmp(b.data(), "GIF89a", 6) == 0 || std::memcmp(b.data(), "GIF87a", 6) == 0);
  EXPECT_EQ(Word(b, 6), g.width) << "GIF " << g.id;
  EXPECT_EQ(Word(b, 8), g.height) << "GIF " << g.id;
  EXPECT_EQ(b.back(), 0x3B) << "GIF " << g.id << " lacks its trailer";
}

INSTANTIATE_TEST_SUITE_P(EveryId, GifResource, ::testing::ValuesIn(kGifs),
                         [](const auto& info) { return "Gif" + std::to_string(info.param.id); });

TEST_F(Resources, NoOtherGifsThanTheScreensUse) {
  size_t gifs = 0;
  for (size_t i = 0; i < g_programResources.count; ++i) {
    const auto& e = g_programResources.entries[i];
    if (e.type.text != nullptr && std::u16string(e.type.text) == u"GIF") ++gifs;
  }
  EXPECT_EQ(gifs, std::size(kGifs));
}

// Ids the screens do not use are not found; custom types and string names compare without
// regard to case, "#110" is id 110 (PlaySoundW's "#159"), and a null module is the program's own.
TEST_F(Resources, FindResourceWReadsNamesAndTypesAsWin32) {
  for (int id : {0, 100, 111, 119, 121, 140, 167, 170, 179, 999})
    EXPECT_EQ(FindResourceW(hInst, MAKEINTRESOURCEW(id), u"GIF"), nullptr) << id;
  const HRSRC gif110 = FindResourceW(hInst, MAKEINTRESOURCEW(110), u"GIF");
  ASSERT_NE(gif110, nullptr);
  const struct {
    HMODULE module;
    LPCWSTR name, type;
    bool found;
  } cases[] = {{hInst, MAKEINTRESOURCEW(110), u"WAVE", false},    {hInst, MAKEINTRESOURCEW(110), RT_BITMAP, false},
               {hInst, u"NOSUCHNAME", u"CEUX", false},            {hInst, MAKEINTRESOURCEW(110), u"gif", true},
               {hInst, u"#159", u"WAVE", true},                   {hInst, u"hi_res_aware", u"ceux", true},
               {nullptr, MAKEINTRESOURCEW(113), u"GIF", true},    {hInst, MAKEINTRESOURCEW(2), RT_ACCELERATOR, false}};
  for (const auto& c : cases) EXPECT_EQ(FindResourceW(c.module, c.name, c.type) != nullptr, c.found) << (&c - cases);
  EXPECT_EQ(FindResourceW(hInst, u"#110", u"GIF"), gif110);
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(113), u"GIF"), FindResourceW(hInst, MAKEINTRESOURCEW(113), u"GIF"));
  EXPECT_NE(FindResourceExW(hInst, u"GIF", MAKEINTRESOURCEW(113), 0x0409), nullptr);
  EXPECT_EQ(LoadResource(hInst, nullptr), nullptr);
  EXPECT_EQ(SizeofResource(hInst, nullptr), 0u);
}

TEST_F(Resources, InstanceHandleIsAValueNotThePointer) {
  EXPECT_NE(hInst, nullptr);
  EXPECT_NE(static_cast<const void*>(hInst), static_cast<const void*>(&g_programResources));
  EXPECT_EQ(platform::RegisterModule(&g_programResources), hInst);
  EXPECT_EQ(platform::ModuleFromHandle(hInst), &g_programResources);
  EXPECT_EQ(platform::ModuleFromHandle(reinterpret_cast<HMODULE>(uintptr_t{0x1234})), nullptr);
  EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(uintptr_t{0x1234}), MAKEINTRESOURCEW(110), u"GIF"), nullptr);
}

struct WaveFormat {
  int id;
  uint32_t dataBytes;  // 8000 samples a second, 2 bytes each
};

void PrintTo(const WaveFormat& w, std::ostream* os) { *os << "WAVE " << w.id; }

class WaveResource : public Resources, public ::testing::WithParamInterface<WaveFormat> {};

TEST_P(WaveResource, IsPcm8000Hz16BitMonoOfItsDuration) {
  const WaveFormat w = GetParam();
  const auto b = bytes(MAKEINTRESOURCEW(w.id), u"WAVE");
  ASSERT_GE(b.size(), 44u);
  ASSERT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
  ASSERT_EQ(std::memcmp(b.data() + 8, "WAVE", 4), 0);
  EXPECT_EQ(Dword(b, 4), b.size() - 8);
  bool sawFormat = false;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = Dword(b, at + 4);
    ASSERT_LE(at + 8 + size, b.size());
    if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
      sawFormat = true;
      // PCM, mono, 8000 samples and 16000 bytes a second, 2-byte blocks of 16 bits.
      EXPECT_EQ((std::vector<uint32_t>{Word(b, at + 8), Word(b, at + 10), Dword(b, at + 12), Dword(b, at + 16),
                                       Word(b, at + 20), Word(b, at + 22)}),
                (std::vector<uint32_t>{1, 1, 8000, 16000, 2, 16}));
    } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
      EXPECT_TRUE(sawFormat);
      EXPECT_EQ(size, w.dataBytes);
      // Faded in and out: no click at either end; loud enough to hear, never clipped.
      auto sample = [&](size_t k) { return static_cast<int16_t>(Word(b, at + 8 + 2 * k)); };
      const size_t n = size / 2;
      EXPECT_LT(std::abs(sample(0)), 200);
      EXPECT_LT(std::abs(sample(n - 1)), 200);
      int peak = 0;
      for (size_t k = 0; k < n; ++k) peak = std::max(peak, std::abs(int{sample(k)}));
      EXPECT_GT(peak, 8000);
      EXPECT_LT(peak, 32767);
      return;
    }
    at += 8 + size + (size & 1);
  }
  FAIL() << "no data chunk";
}

INSTANTIATE_TEST_SUITE_P(Sounds, WaveResource,
                         ::testing::Values(WaveFormat{159, 16000}, WaveFormat{160, 8000}),
                         [](const auto& info) { return "Wave" + std::to_string(info.param.id); });

std::u16string Load(HINSTANCE h, UINT id) {
  WCHAR buffer[1024];
  const int n = LoadStringW(h, id, buffer, 1024);
  return std::u16string(buffer, static_cast<size_t>(n));
}

// The title and the class name; the help topics' texts whole (what the help screen shows is
// checked against them there), the unsubscribe topic with its address between its sentences.
TEST_F(Resources, StringTableEntriesOneToFive) {
  EXPECT_EQ(Load(hInst, 1), u"Melodex");
  EXPECT_EQ(Load(hInst, 2), u"MELODEX");
  EXPECT_EQ(Load(hInst, 3).size(), 262u);
  EXPECT_EQ(Load(hInst, 4).size(), 347u);
  const std::u16string five = Load(hInst, 5);
  const std::u16string before = u"please visit the following website:  ", after = u".  Enter the appropriate";
  const size_t start = five.find(before) + before.size(), end = five.find(after);
  ASSERT_EQ(five.size(), 281u);
  ASSERT_LT(start, end);
  EXPECT_EQ(five.substr(start, 7), u"http://");
  EXPECT_EQ(five.substr(start, end - start).find(u' '), std::u16string::npos);
}

// At most cchBufferMax - 1 units and a terminator; a missing id, a missing block or a bad
// argument gives 0 (an empty text where there is a buffer); a size of 0 gives a read-only pointer
// to the unterminated text.
TEST_F(Resources, LoadStringTruncatesAsWin32) {
  const struct {
    UINT id;
    int size;
    int length;
    std::u16string text;  // the buffer's first units, the unit after them untouched (when given)
  } cases[] = {{1, 4, 3, std::u16string(u"Mel\0", 4)}, {1, 8, 7, std::u16string(u"Melodex\0", 8)},
               {1, 7, 6, std::u16string(u"Melode\0", 7)}, {1, 1, 0, std::u16string(1, u'\0')},
               {6, 8, 0, std::u16string(1, u'\0')}, {0, 8, 0, u""}, {100, 8, 0, u""}, {1, -1, 0, u""}};
  for (const auto& c : cases) {
    WCHAR buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(hInst, c.id, buffer, c.size), c.length) << c.id << " in " << c.size;
    EXPECT_EQ(std::u16string(buffer, c.text.size()), c.text) << c.id << " in " << c.size;
    if (!c.text.empty()) {
      EXPECT_EQ(buffer[c.text.size()], u'#') << "nothing written past the buffer";
    }
  }
  EXPECT_EQ(LoadStringW(hInst, 1, nullptr, 8), 0);
  const WCHAR* text = nullptr;
  ASSERT_EQ(LoadStringW(hInst, 2, reinterpret_cast<LPWSTR>(&text), 0), 7);
  EXPECT_EQ(std::u16string(text, 7), u"MELODEX");
}

// SHLoadImageResource decodes a GIF id at its size; a missing id, or one of another type, gives null.
TEST_F(Resources, SHLoadImageResourceLoadsOnlyGifs) {
  HBITMAP bmp = SHLoadImageResource(hInst, 125);
  ASSERT_NE(bmp, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 220);
  EXPECT_EQ(bm.bmHeight, 100);
  EXPECT_TRUE(DeleteObject(bmp));
  EXPECT_EQ(SHLoadImageResource(hInst, 999), nullptr);
  EXPECT_EQ(SHLoadImageResource(hInst, 159), nullptr);  // a WAVE resource, not a GIF
}

TEST_F(Resources, HiResAwareIsTheWordOne) {
  const auto b = bytes(u"HI_RES_AWARE", u"CEUX");
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(Word(b, 0), 1);
}

TEST_F(Resources, Icon101IsOne44By44Image24Bit) {
  const auto group = bytes(MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_EQ(group.size(), 6u + 14u);
  // Reserved, icons, one image of 44 x 44 at 24 bits.
  EXPECT_EQ((std::vector<uint32_t>{Word(group, 0), Word(group, 2), Word(group, 4), group[6], group[7], Word(group, 12)}),
            (std::vector<uint32_t>{0, 1, 1, 44, 44, 24}));
  const uint16_t imageId = Word(group, 6 + 12);
  const auto image = bytes(MAKEINTRESOURCEW(imageId), RT_ICON);
  ASSERT_GE(image.size(), 40u);
  // A BITMAPINFOHEADER 44 wide, 88 high (colour rows and mask rows), 24 bits.
  EXPECT_EQ((std::vector<uint32_t>{Dword(image, 0), Dword(image, 4), Dword(image, 8), Word(image, 14)}),
            (std::vector<uint32_t>{40, 44, 88, 24}));
  EXPECT_EQ(Dword(group, 6 + 8), image.size());

  const HICON icon = LoadIconW(hInst, MAKEINTRESOURCEW(101));
  ASSERT_NE(icon, nullptr);
  platform::IconPixels pixels;
  ASSERT_TRUE(platform::GetIconPixels(icon, &pixels));
  EXPECT_EQ(pixels.width, 44);
  EXPECT_EQ(pixels.height, 44);
  EXPECT_EQ(pixels.bitsPerPixel, 24);
  EXPECT_FALSE(pixels.opaque[0]);  // rounded corner
  EXPECT_TRUE(pixels.opaque[22 * 44 + 22]);
  EXPECT_EQ(pixels.pixels[3 * 44 + 22], 0xCC0098u);  // the magenta of the identity, top middle
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_EQ(LoadIconW(hInst, MAKEINTRESOURCEW(102)), nullptr);
  EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), nullptr);
}

// A hand-made module: what the resource functions do with resources melodex.rc lacks.
const unsigned char kAccel[] = {0x01, 0, 0x70, 0, 0x10, 0, 0, 0,   // VK_F1 -> 16
                                0x81, 0, 0x0D, 0, 0x11, 0, 0, 0};  // VK_RETURN -> 17, last
const unsigned char kEnglish[] = {'e', 'n'};
const unsigned char kGerman[] = {'d', 'e'};
// Block 1 with only string 3, "Hi".
const unsigned char kStrings[] = {0, 0, 0, 0, 0, 0, 2, 0, 'H', 0, 'i', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const char16_t kData[] = u"DATA";
const platform::ResourceEntry kEntries[] = {
    {{nullptr, 9}, {nullptr, 2}, 0, kAccel, sizeof kAccel},
    {{kData, 0}, {nullptr, 7}, 0x0409, kEnglish, 2},
    {{kData, 0}, {nullptr, 7}, 0x0407, kGerman, 2},
    {{nullptr, 6}, {nullptr, 1}, 0, kStrings, sizeof kStrings},
};
const platform::ResourceModule kModule = {"handmade", kEntries, std::size(kEntries)};

TEST_F(Resources, AcceleratorTableWhenOneExists) {
  const HINSTANCE other = platform::RegisterModule(&kModule);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, hInst);
  const HACCEL table = LoadAcceleratorsW(other, MAKEINTRESOURCEW(2));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(CopyAcceleratorTableW(table, nullptr, 0), 2);
  ACCEL entries[4] = {};
  EXPECT_EQ(CopyAcceleratorTableW(table, entries, 4), 2);
  EXPECT_EQ(entries[0].fVirt, FVIRTKEY);
  EXPECT_EQ(entries[0].key, 0x70);
  EXPECT_EQ(entries[0].cmd, 16);
  EXPECT_EQ(entries[1].key, 0x0D);
  EXPECT_EQ(entries[1].cmd, 17);
  EXPECT_TRUE(DestroyAcceleratorTable(table));
  EXPECT_EQ(LoadAcceleratorsW(other, MAKEINTRESOURCEW(3)), nullptr);
  EXPECT_EQ(LoadAcceleratorsW(hInst, MAKEINTRESOURCEW(2)), nullptr);  // the program has none
  EXPECT_EQ(CopyAcceleratorTableW(nullptr, nullptr, 0), 0);
}

// The language asked for; neutral, or one the module lacks, gives the first one listed.
TEST_F(Resources, FindResourceExChoosesTheLanguage) {
  const HINSTANCE other = platform::RegisterModule(&kModule);
  for (const auto& [language, first] : {std::pair<WORD, char>{0x0407, 'd'}, {0x0409, 'e'}, {0, 'e'}, {0x040C, 'e'}}) {
    HRSRC r = FindResourceExW(other, u"data", MAKEINTRESOURCEW(7), language);
    ASSERT_NE(r, nullptr) << language;
    EXPECT_EQ(static_cast<const char*>(LockResource(LoadResource(other, r)))[0], first) << language;
  }
}

TEST_F(Resources, LoadStringFromAnotherModule) {
  const HINSTANCE other = platform::RegisterModule(&kModule);
  EXPECT_EQ(Load(other, 3), u"Hi");
  EXPECT_EQ(Load(other, 2), u"");  // a block that exists, without this string
  EXPECT_EQ(Load(hInst, 3).substr(0, 6), u"Select");  // the program's own is unaffected
}

}  // namespace
