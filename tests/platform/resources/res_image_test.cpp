// The .res reader on hand-made images: what it reads from a well-formed one, and the clear
// failure it gives for each kind of damage, never reading past the image (the suite runs under
// AddressSanitizer, and every image here is a buffer of exactly its own size).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel32/module.h"
#include "windows.h"

namespace {

using Bytes = std::vector<unsigned char>;

void PutWord(Bytes* b, uint32_t v) {
  b->push_back(static_cast<unsigned char>(v));
  b->push_back(static_cast<unsigned char>(v >> 8));
}
void PutDword(Bytes* b, uint32_t v) {
  PutWord(b, v & 0xFFFF);
  PutWord(b, v >> 16);
}

// A type or name: a number, or a string.
struct Key {
  std::u16string text;
  uint16_t id = 0;
};

// One record as rc writes it: header, data, padding to a DWORD.
Bytes Record(const Key& type, const Key& name, uint16_t language, const std::string& data) {
  Bytes keys;
  for (const Key* k : {&type, &name}) {
    if (k->text.empty()) {
      PutWord(&keys, 0xFFFF);
      PutWord(&keys, k->id);
    } else {
      for (char16_t c : k->text) PutWord(&keys, c);
      PutWord(&keys, 0);
    }
  }
  while (keys.size() % 4) keys.push_back(0);
  Bytes r;
  PutDword(&r, static_cast<uint32_t>(data.size()));
  PutDword(&r, static_cast<uint32_t>(8 + keys.size() + 16));
  r.insert(r.end(), keys.begin(), keys.end());
  PutDword(&r, 0);         // DataVersion
  PutWord(&r, 0x0030);     // MemoryFlags
  PutWord(&r, language);
  PutDword(&r, 0);         // Version
  PutDword(&r, 0);         // Characteristics
  r.insert(r.end(), data.begin(), data.end());
  while (r.size() % 4) r.push_back(0);
  return r;
}

Bytes EmptyRecord() { return Record(Key{u"", 0}, Key{u"", 0}, 0, ""); }

Bytes Image(std::initializer_list<Bytes> records) {
  Bytes image;
  for (const Bytes& r : records) image.insert(image.end(), r.begin(), r.end());
  return image;
}

TEST(ResImage, ReadsTypesNamesLanguagesAndData) {
  const Bytes image = Image({EmptyRecord(), Record(Key{u"GIF"}, Key{u"", 110}, 0x0409, "GIF89a"),
                             Record(Key{u"CEUX"}, Key{u"HI_RES_AWARE"}, 0x0409, std::string("\1\0", 2)),
                             Record(Key{u"", 6}, Key{u"", 1}, 0x0407, "abc")});
  std::string error;
  auto parsed = platform::ResImageModule::Parse("test", image, &error);
  ASSERT_NE(parsed, nullptr) << error;
  const platform::ResourceModule& m = parsed->module();
  ASSERT_EQ(m.count, 3u);
  EXPECT_EQ(std::u16string(m.entries[0].type.text), u"GIF");
  EXPECT_EQ(m.entries[0].name.text, nullptr);
  EXPECT_EQ(m.entries[0].name.id, 110);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.entries[0].data), m.entries[0].size), "GIF89a");
  EXPECT_EQ(std::u16string(m.entries[1].name.text), u"HI_RES_AWARE");
  EXPECT_EQ(m.entries[1].size, 2u);
  EXPECT_EQ(m.entries[2].type.id, 6);
  EXPECT_EQ(m.entries[2].language, 0x0407);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.entries[2].data), m.entries[2].size), "abc");

  // Registered, the module answers the Win32 resource functions.
  const HINSTANCE h = platform::RegisterModule(&m);
  HRSRC gif = FindResourceW(h, MAKEINTRESOURCEW(110), u"gif");
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(SizeofResource(h, gif), 6u);
  EXPECT_NE(FindResourceW(h, u"hi_res_aware", u"CEUX"), nullptr);
}

// Each kind of damage fails the whole image with a message that names the place; the image is
// never read outside its bytes.
TEST(ResImage, ADamagedImageFailsClearly) {
  const Bytes good = Record(Key{u"WAVE"}, Key{u"", 159}, 0x0409, "RIFF....");
  auto with = [](Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    return b;
  };
  Bytes unterminated = good;  // "WAVE" without its terminator runs up to the header's tail
  std::memset(&unterminated[16], 'X', 8);
  const Bytes noData = Record(Key{u"WAVE"}, Key{u"", 159}, 0x0409, "");
  struct Case {
    const char* name;
    Bytes image;
    const char* message;
  };
  const Case cases[] = {
      {"empty", {}, "the image is empty"},
      {"seven bytes", Bytes(7, 0), "offset 0x0: a record header is cut short"},
      {"no empty first record", Image({good}), "offset 0x0: not a 32-bit .res image"},
      {"header too small", Image({with(EmptyRecord(), 4, 24)}), "offset 0x0: header size 24 does not fit"},
      {"header past the end", Image({EmptyRecord(), with(good, 4, 4096)}), "offset 0x20: header size 4096 does not fit"},
      {"data past the end", Image({EmptyRecord(), with(good, 0, 4096)}), "offset 0x20: the data (4096 bytes) runs past"},
      {"huge data size", Image({EmptyRecord(), with(good, 0, 0xFFFFFFFF)}), "runs past the end of the image"},
      {"header cuts a numeric name", Image({EmptyRecord(), with(good, 4, 36)}), "the header ends inside a numeric"},
      {"header size off its fields", Image({EmptyRecord(), with(noData, 4, 44), Bytes(4, 0)}),
       "offset 0x20: header size 44 does not match its fields"},
      {"unterminated type", Image({EmptyRecord(), unterminated}), "offset 0x28: a type or name is not terminated"},
      {"trailing bytes", Image({EmptyRecord(), good, Bytes(5, 0)}), "offset 0x50: a record header is cut short"},
  };
  for (const Case& c : cases) {
    // Exactly the image's bytes on the heap, so that a read past them is caught.
    auto bytes = std::make_unique<unsigned char[]>(c.image.size() + (c.image.empty() ? 1 : 0));
    if (!c.image.empty()) std::memcpy(bytes.get(), c.image.data(), c.image.size());
    std::string error;
    auto parsed = platform::ResImageModule::Parse("bad", {bytes.get(), c.image.size()}, &error);
    EXPECT_EQ(parsed, nullptr) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
  }
}

}  // namespace
