// Reading a module's resources from a .res image (module.h, ResImageModule): the file format
// rc, windres and llvm-rc write. Every length in the image is checked against the image's end
// before anything is read: the image is input like any other.
#include <cstdio>

#include "kernel32/module.h"

namespace platform {
namespace {

// DataSize, HeaderSize, the two shortest keys (0xFFFF and an id) and the fixed tail.
constexpr size_t kFixedTail = 16;  // DataVersion, MemoryFlags, LanguageId, Version, Characteristics
constexpr size_t kSmallestHeader = 8 + 4 + 4 + kFixedTail;

uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
size_t AlignToDword(size_t offset) { return (offset + 3) & ~size_t{3}; }

std::string At(size_t offset, const std::string& what) {
  char where[32];
  std::snprintf(where, sizeof where, "offset 0x%zx: ", offset);
  return where + what;
}

// A type or a name at image[*at], which must end before `limit`: 0xFFFF and a 16-bit id, or a
// zero-terminated UTF-16 string. Moves *at past it.
bool ReadKey(std::span<const unsigned char> image, size_t* at, size_t limit, bool* isId, uint16_t* id,
             std::u16string* text, std::string* error) {
  if (*at + 2 > limit) {
    *error = At(*at, "the header ends inside a type or name");
    return false;
  }
  if (Word(&image[*at]) == 0xFFFF) {
    if (*at + 4 > limit) {
      *error = At(*at, "the header ends inside a numeric type or name");
      return false;
    }
    *isId = true;
    *id = Word(&image[*at + 2]);
    *at += 4;
    return true;
  }
  *isId = false;
  text->clear();
  for (size_t p = *at; p + 2 <= limit; p += 2) {
    const uint16_t unit = Word(&image[p]);
    if (unit == 0) {
      *at = p + 2;
      return true;
    }
    text->push_back(static_cast<char16_t>(unit));
  }
  *error = At(*at, "a type or name is not terminated inside its header");
  return false;
}

}  // namespace

std::unique_ptr<ResImageModule> ResImageModule::Parse(const char* name, std::span<const unsigned char> image,
                                                      std::string* error) {
  auto module = std::unique_ptr<ResImageModule>(new ResImageModule());
  bool first = true;
  for (size_t offset = 0; offset < image.size();) {
    const size_t left = image.size() - offset;
    if (left < 8) {
      *error = At(offset, "a record header is cut short by the end of the image");
      return nullptr;
    }
    const size_t dataSize = Dword(&image[offset]);
    const size_t headerSize = Dword(&image[offset + 4]);
    if (headerSize < kSmallestHeader || headerSize > left) {
      *error = At(offset, "header size " + std::to_string(headerSize) + " does not fit the record");
      return nullptr;
    }
    if (dataSize > left - headerSize) {
      *error = At(offset, "the data (" + std::to_string(dataSize) + " bytes) runs past the end of the image");
      return nullptr;
    }
    const size_t headerEnd = offset + headerSize;
    size_t at = offset + 8;
    bool typeIsId = false, nameIsId = false;
    uint16_t typeId = 0, nameId = 0;
    std::u16string typeText, nameText;
    if (!ReadKey(image, &at, headerEnd - kFixedTail, &typeIsId, &typeId, &typeText, error) ||
        !ReadKey(image, &at, headerEnd - kFixedTail, &nameIsId, &nameId, &nameText, error)) {
      return nullptr;
    }
    if (AlignToDword(at) + kFixedTail != headerEnd) {
      *error = At(offset, "header size " + std::to_string(headerSize) + " does not match its fields");
      return nullptr;
    }
    const uint16_t language = Word(&image[headerEnd - kFixedTail + 6]);
    if (first) {
      // A 32-bit .res file opens with an empty record of type 0 and name 0.
      if (dataSize != 0 || !typeIsId || typeId != 0 || !nameIsId || nameId != 0) {
        *error = At(offset, "not a 32-bit .res image: it does not open with the empty record");
        return nullptr;
      }
      first = false;
    } else {
      ResourceEntry entry{{nullptr, typeId}, {nullptr, nameId}, language, image.data() + headerEnd,
                          static_cast<uint32_t>(dataSize)};
      if (!typeIsId) entry.type.text = module->names_.emplace_back(std::move(typeText)).c_str();
      if (!nameIsId) entry.name.text = module->names_.emplace_back(std::move(nameText)).c_str();
      module->entries_.push_back(entry);
    }
    offset = AlignToDword(headerEnd + dataSize);
  }
  if (first) {
    *error = "the image is empty";
    return nullptr;
  }
  module->module_ = ResourceModule{name, module->entries_.data(), module->entries_.size()};
  return module;
}

}  // namespace platform
