# The client's C run-time mapping: fopen and _wfopen in the client's own
# sources open device paths under the phone's root. melodex_client_target(target) forces
# platform/include/melodex_client_crt.h into every source of that target; the platform and the
# libraries it uses are compiled without it, so their fopen is the host's.
set(MELODEX_CLIENT_CRT_HEADER ${CMAKE_CURRENT_LIST_DIR}/../platform/include/melodex_client_crt.h)
get_filename_component(MELODEX_CLIENT_CRT_HEADER ${MELODEX_CLIENT_CRT_HEADER} ABSOLUTE)

function(melodex_client_target target)
  target_compile_options(${target} PRIVATE "SHELL:-include ${MELODEX_CLIENT_CRT_HEADER}")
endfunction()
