# add_setup_module(NAME SOURCES...): a setup module built right the first
# time: a 32-bit DLL named NAME.dll, its hooks exported undecorated (InitModule,
# not InitModule@16), the compiler's runtime linked in so that it needs no DLL
# beyond the system's, and the contract header on its include path. Use it
# with the project's MinGW-w64 i686 toolchain file (cmake/mingw-i686.cmake).
function(add_setup_module name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".dll")
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../include)
  target_link_options(${name} PRIVATE -static -s -Wl,--kill-at)
endfunction()
