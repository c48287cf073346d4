// advapi32's private header: the registry as read from DIR/registry.reg, the text format of
// Windows' registry editor.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "windows.h"

namespace advapi32 {

struct RegValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;  // REG_SZ: UTF-16LE units with the terminator
};

struct RegKey {
  std::map<std::u16string, RegValue> values;  // by lower-cased name ("" = default value)
};

// Keys by full path, lower-cased, with the root spelled out ("hkey_local_machine\software\x").
using RegistryImage = std::map<std::u16string, RegKey>;

// Parses a .reg text (UTF-8, UTF-16LE with BOM, or Windows-1252). Every key's parents exist.
RegistryImage ParseRegistryFile(const std::string& bytes);
// Reads DIR/registry.reg now; an absent file is an empty registry.
RegistryImage LoadRegistry();
std::u16string FoldCase(std::u16string_view text);

}  // namespace advapi32
