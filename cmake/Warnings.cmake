# Warnings for the project's own targets: melodex_warnings(target).
function(melodex_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(MELODEX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
