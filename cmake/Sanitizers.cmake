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
