// module.h — the program's modules and their resources, inside the platform (not for the client).
//
// On Windows the resources of an executable live in its image and an HINSTANCE names the image.
// Here llvm-rc compiles res/melodex.rc into a .res image that the build embeds in the program;
// ResImageModule reads it into one ResourceModule (g_programResources), the process entry
// registers that with RegisterModule and hands the returned HINSTANCE to WinMain. The handle is
// a value that names a slot of the module table, never a pointer the client could dereference.
//
// Resources are kept as Win32 keeps them after rc: string tables in blocks of 16 length-prefixed
// UTF-16 strings (RT_STRING, block id = string id / 16 + 1), an icon as RT_GROUP_ICON plus one
// RT_ICON per image, custom types (GIF, WAVE, CEUX) and names as upper-case strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "windef.h"

namespace platform {

// A resource type or name: an integer id when text is null, else an upper-case string
// (rc stores string names upper-cased; lookups compare without regard to case, as Win32 does).
struct ResourceKey {
  const char16_t* text;
  uint16_t id;
};

// One resource of a module: its bytes exactly as Win32's resource section would hold them.
struct ResourceEntry {
  ResourceKey type;
  ResourceKey name;
  uint16_t language;  // MAKELANGID value from the script's LANGUAGE statement, 0 when none
  const unsigned char* data;
  uint32_t size;
};

// A module's resource set: a constant table, never freed once registered.
struct ResourceModule {
  const char* name;  // for traces, e.g. "melodex"
  const ResourceEntry* entries;
  size_t count;
};

// A module's resources read from a .res image, the file rc, windres and llvm-rc write: after an
// empty first record, one RESOURCEHEADER record per resource — DataSize, HeaderSize, the type and
// the name (0xFFFF and a 16-bit id, or a zero-terminated UTF-16 string), padding to a DWORD,
// DataVersion, MemoryFlags, LanguageId, Version, Characteristics — followed by its data, the
// next record starting at the next DWORD.
class ResImageModule {
 public:
  // The module of `image`, named `name` in traces; its entries point into the image, which must
  // outlive it. Null, with *error saying where and what, when the image is not a well-formed
  // .res file; nothing outside the image is ever read.
  static std::unique_ptr<ResImageModule> Parse(const char* name, std::span<const unsigned char> image,
                                               std::string* error);
  const ResourceModule& module() const { return module_; }

 private:
  ResImageModule() = default;
  std::deque<std::u16string> names_;  // growing a deque never moves the strings entries name
  std::vector<ResourceEntry> entries_;
  ResourceModule module_{};
};

// Makes the module's resources reachable through the Win32 resource functions and returns its
// instance handle; registering the same module again returns the same handle. The first module
// registered is the program's own, which a null module handle means (as a null HMODULE means
// the executable on Windows). Null when the table is full (it holds 15 modules).
HINSTANCE RegisterModule(const ResourceModule* module);

// The module a handle names; a null handle names the program's module. Null when unknown.
const ResourceModule* ModuleFromHandle(HMODULE handle);

// The first module registered, or null before any registration.
HMODULE ProgramModule();

// A resource name or type for trace lines: its number, or its text in quotes.
std::string DescribeResourceName(LPCWSTR value);

// Looks a resource up in the module a handle names, with Win32's rules for type and name:
// MAKEINTRESOURCEW ids, "#123" meaning id 123, other strings case-insensitive. language 0 takes
// the first entry of any language. Null when the module or the resource does not exist.
const ResourceEntry* FindResourceEntry(HMODULE handle, LPCWSTR name, LPCWSTR type,
                                       uint16_t language = 0);

// The bytes of a resource, or an empty span when it does not exist: the short road for the
// platform's own loaders (GIF images for SHLoadImageResource, WAVE sounds for PlaySoundW).
std::span<const unsigned char> FindResourceBytes(HMODULE handle, LPCWSTR name, LPCWSTR type);

// Handle values for resource-backed objects (HRSRC, HICON, HACCEL): a kind tag, the module's
// slot and the entry's index, so a handle can be checked and never dereferenced.
enum class ResourceHandleKind : uint32_t { Resource = 1, Icon = 2, Accelerators = 3 };
uintptr_t MakeResourceHandle(ResourceHandleKind kind, const ResourceEntry* entry);
const ResourceEntry* ResourceFromHandle(ResourceHandleKind kind, uintptr_t handle);

// An icon's pixels as LoadIconW found them (implemented in platform/user32/resource.cpp, for the
// emulated shell's home screen and the class icon): 0x00RRGGBB rows top to bottom; alpha comes
// from the icon's AND mask (false for transparent pixels).
struct IconPixels {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<uint32_t> pixels;
  std::vector<bool> opaque;
};
bool GetIconPixels(HICON icon, IconPixels* out);

}  // namespace platform
