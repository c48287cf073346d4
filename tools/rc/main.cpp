// melodex-rc: compiles a Win32 resource script (res/melodex.rc) into a C++ source that defines
// the program's resource module (platform/kernel32/module.h), as rc or windres would compile
// it into a Windows executable.
//
//   melodex-rc SCRIPT.rc -o OUT.cpp [--symbol NAME] [--module NAME] [--depfile OUT.d] [-I DIR]…
//
// Errors name the file and line ("res/melodex.rc:12: error: …") and end with exit status 1.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "Script.h"

namespace {

int Usage() {
  std::cerr << "usage: melodex-rc SCRIPT.rc -o OUT.cpp [--symbol NAME] [--module NAME] "
               "[--depfile OUT.d] [-I DIR]...\n";
  return 2;
}

// Writes through a temporary file so an interrupted build never leaves half a source behind.
bool WriteFile(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out || !(out << text)) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script, output, depfile;
  std::string symbol = "g_programResources";
  std::string module = "melodex";
  rc::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "-o" && hasValue) output = argv[++i];
    else if (arg == "--symbol" && hasValue) symbol = argv[++i];
    else if (arg == "--module" && hasValue) module = argv[++i];
    else if (arg == "--depfile" && hasValue) depfile = argv[++i];
    else if (arg == "-I" && hasValue) options.includeDirs.emplace_back(argv[++i]);
    else if (!arg.empty() && arg[0] != '-' && script.empty()) script = arg;
    else return Usage();
  }
  if (script.empty() || output.empty()) return Usage();
  try {
    const rc::Script compiled = rc::Compile(script, options);
    if (!WriteFile(output, rc::EmitCpp(compiled, symbol, module))) {
      std::cerr << output << ": error: cannot write: " << std::strerror(errno) << "\n";
      return 1;
    }
    if (!depfile.empty() && !WriteFile(depfile, rc::EmitDepfile(compiled, output))) {
      std::cerr << depfile << ": error: cannot write: " << std::strerror(errno) << "\n";
      return 1;
    }
  } catch (const rc::CompileError& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
