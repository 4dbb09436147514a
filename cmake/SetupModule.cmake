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

# The registration kit (include/setupkit.h): a static library `setupkit` that a
# module links to make its product removable:
#   add_setup_module(atlas atlas.cpp)
#   target_link_libraries(atlas PRIVATE setupkit)
# Made once, whoever includes this file first.
#
# In the engine's tree both kits are compiled from its sources; in the
# module kit that `cmake --install` lays out (include/, lib/, cmake/) they
# are its prebuilt libraries, and nothing of the engine's sources is needed.
set(SETUP_ENGINE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
if(NOT EXISTS ${SETUP_ENGINE_ROOT}/src/record/record.cpp)
  foreach(kit setupkit stockkit)
    if(NOT TARGET ${kit})
      add_library(${kit} STATIC IMPORTED)
      set_target_properties(${kit} PROPERTIES
        IMPORTED_LOCATION ${SETUP_ENGINE_ROOT}/lib/lib${kit}.a
        INTERFACE_INCLUDE_DIRECTORIES ${SETUP_ENGINE_ROOT}/include)
    endif()
  endforeach()
  set_target_properties(setupkit PROPERTIES INTERFACE_LINK_LIBRARIES "advapi32;user32;shell32")
  set_target_properties(stockkit PROPERTIES
    INTERFACE_LINK_LIBRARIES "setupkit;shell32;shlwapi;ole32;uuid;advapi32;user32")
endif()
if(NOT TARGET setupkit)
  add_library(setupkit STATIC
    ${SETUP_ENGINE_ROOT}/modules/kit/setupkit.cpp
    ${SETUP_ENGINE_ROOT}/modules/kit/destination.cpp
    ${SETUP_ENGINE_ROOT}/src/record/record.cpp
    ${SETUP_ENGINE_ROOT}/src/record/recordfile.cpp
    ${SETUP_ENGINE_ROOT}/src/record/bounds.cpp
    ${SETUP_ENGINE_ROOT}/src/record/registration.cpp
    ${SETUP_ENGINE_ROOT}/src/codec/sha256.cpp
    ${SETUP_ENGINE_ROOT}/src/util/text.cpp
    ${SETUP_ENGINE_ROOT}/src/util/devicename.cpp
    ${SETUP_ENGINE_ROOT}/src/util/paths.cpp
    ${SETUP_ENGINE_ROOT}/src/util/registry.cpp)
  target_include_directories(setupkit PUBLIC ${SETUP_ENGINE_ROOT}/include
                             PRIVATE ${SETUP_ENGINE_ROOT}/src)
  target_compile_options(setupkit PRIVATE -fno-exceptions -fno-rtti -Os)
  target_link_libraries(setupkit PUBLIC advapi32 user32 shell32)
endif()

# The stock kit (include/stockkit.h): the stock module's behaviour as a static
# library `stockkit`, for a module that adds a little of its own to it:
#   add_setup_module(orbit orbit.cpp)
#   target_link_libraries(orbit PRIVATE stockkit)
# Its rules (modules/stock/settings.cpp) are also what kvlship check reads by.
if(NOT TARGET stockkit)
  add_library(stockkit STATIC
    ${SETUP_ENGINE_ROOT}/modules/stock/stockkit.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/stored.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/replacebox.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/boxtemplate.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/desktopbox.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/stockregistry.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/settings.cpp
    ${SETUP_ENGINE_ROOT}/modules/stock/askfolder.cpp)
  target_include_directories(stockkit PUBLIC ${SETUP_ENGINE_ROOT}/include
                             PRIVATE ${SETUP_ENGINE_ROOT}/modules/stock ${SETUP_ENGINE_ROOT}/src)
  target_compile_options(stockkit PRIVATE -fno-exceptions -fno-rtti -Os)
  target_link_libraries(stockkit PUBLIC setupkit shell32 shlwapi ole32 uuid advapi32 user32)
endif()
