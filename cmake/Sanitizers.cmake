# Sanitizer builds apply to everything the project compiles (libraries it links come from
# Debian and are not instrumented).
if(MELODEX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(MELODEX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT MELODEX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "MELODEX_SANITIZE must be empty, 'address' or 'thread'")
endif()

# Fuzzing builds (tools/fuzz.sh, clang only): every library is instrumented for libFuzzer's
# coverage; the fuzz targets in tests/fuzz link libFuzzer's main.
option(MELODEX_FUZZ "Build the libFuzzer targets of tests/fuzz (clang)" OFF)
if(MELODEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MELODEX_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
