// The resource compiler's model of a compiled script: resources as Win32's resource section
// holds them (type, name, language, bytes), after string tables were cut into 16-string blocks
// and icon files split into RT_ICON images and an RT_GROUP_ICON directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rc {

// A type or a name: an integer id, or an upper-case string (as rc stores names).
struct Key {
  std::u16string text;  // empty for an integer id
  uint16_t id = 0;

  static Key Id(uint16_t value) { return Key{{}, value}; }
  static Key Text(std::u16string value) { return Key{std::move(value), 0}; }
  bool isText() const { return !text.empty(); }
  bool operator==(const Key&) const = default;
};

// Win32's predefined type ids (winuser.h).
enum : uint16_t {
  kRtCursor = 1,
  kRtBitmap = 2,
  kRtIcon = 3,
  kRtString = 6,
  kRtAccelerator = 9,
  kRtRcdata = 10,
  kRtGroupIcon = 14,
};

struct Resource {
  Key type;
  Key name;
  uint16_t language = 0;
  std::vector<uint8_t> data;
  std::string origin;  // "file:line" of the statement that made it, for messages
};

struct Script {
  std::vector<Resource> resources;
  std::vector<std::filesystem::path> dependencies;  // every file read: the script, includes, data
};

// A script error, always naming the file and line: "res/melodex.rc:12: expected …".
class CompileError : public std::runtime_error {
 public:
  CompileError(const std::string& file, int line, const std::string& message)
      : std::runtime_error(file + ":" + std::to_string(line) + ": error: " + message),
        file_(file),
        line_(line) {}
  const std::string& file() const { return file_; }
  int line() const { return line_; }

 private:
  std::string file_;
  int line_;
};

// Reads a file's bytes; nullopt when it cannot be read. Tests substitute an in-memory one.
using FileReader = std::function<std::optional<std::string>(const std::filesystem::path&)>;
FileReader DiskReader();

struct Options {
  std::vector<std::filesystem::path> includeDirs;  // searched after the including file's folder
  FileReader reader = DiskReader();
};

// Compiles the script at path: preprocessing, parsing and building every resource.
// Throws CompileError on the first error.
Script Compile(const std::filesystem::path& path, const Options& options = {});

// Writes the C++ source that defines `extern const platform::ResourceModule <symbol>`.
std::string EmitCpp(const Script& script, const std::string& symbol, const std::string& moduleName);

// A Make-style dependency file naming every file the script read, for the build's DEPFILE.
std::string EmitDepfile(const Script& script, const std::string& target);

}  // namespace rc
