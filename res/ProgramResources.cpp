// The program's resources: the .res image llvm-rc made of melodex.rc, embedded by the build
// (melodex_res.cpp), read once into the module the process entry registers.
#include <cstdio>
#include <cstdlib>

#include "kernel32/module.h"

extern const unsigned char g_programResImage[];
extern const std::size_t g_programResImage_size;

namespace {

const platform::ResourceModule& Load() {
  static std::unique_ptr<platform::ResImageModule> image = [] {
    std::string error;
    auto parsed = platform::ResImageModule::Parse("melodex", {g_programResImage, g_programResImage_size}, &error);
    if (!parsed) {
      // The image is made by the build; a damaged one is a build fault, reported as such.
      std::fprintf(stderr, "melodex: the embedded melodex.res is damaged: %s\n", error.c_str());
      std::abort();
    }
    return parsed;
  }();
  return image->module();
}

}  // namespace

extern const platform::ResourceModule g_programResources = Load();
