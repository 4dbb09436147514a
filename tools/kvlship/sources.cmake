# kvlship's sources, relative to the project's root: its own, and the
# engine's portable ones it shares (the data-file parser, the copy list, the
# LZ expansion, the stock module's settings), so that it reads a distribution
# by setup.exe's and the stock module's own rules. The LZ compression is its
# own: setup.exe has no use for it.
# One list per room, each file named within its room's folder.
function(kvlship_room variable room)
  list(TRANSFORM ARGN PREPEND tools/kvlship/${room}/)
  set(${variable} ${ARGN} PARENT_SCOPE)
endfunction()
kvlship_room(KVLSHIP_COMMON_SOURCES common codepage.cpp diagnostics.cpp digest.cpp hostfs.cpp lines.cpp
  profile.cpp textout.cpp winpath.cpp)
kvlship_room(KVLSHIP_FORMATS_SOURCES formats engine.cpp lzencode.cpp package.cpp pe.cpp
  shelllink.cpp signing.cpp storedlist.cpp unpack.cpp winget.cpp)
kvlship_room(KVLSHIP_CHECK_SOURCES check check.cpp filelist.cpp folder.cpp licence.cpp listfull.cpp
  module.cpp names.cpp plan.cpp report.cpp shipped.cpp stockcheck.cpp storedfile.cpp)
# The driver; the manifest, its plan and the build record; the writers (the
# folder, its data file, the compression jobs, winget, the package); new.
kvlship_room(KVLSHIP_BUILD_SOURCES build build.cpp manifest.cpp plan.cpp buildrecord.cpp
  writers.cpp datafile.cpp compressjobs.cpp wingetout.cpp packageout.cpp new.cpp)
kvlship_room(KVLSHIP_TRIAL_SOURCES trial boxes.cpp finish.cpp installed.cpp judge.cpp launch.cpp
  prefix.cpp process.cpp removal.cpp sandbox.cpp screens.cpp trial.cpp tryverb.cpp verdict.cpp
  windowlist.cpp winlisttool.cpp)
kvlship_room(KVLSHIP_CLI_SOURCES cli arguments.cpp verbflags.cpp verbs.cpp)
# What kvlship shares with the engine.
set(KVLSHIP_ENGINE_SOURCES src/codec/szdd.cpp src/codec/sha256.cpp src/package/payload.cpp
  src/copy/copylist.cpp src/copy/fileline.cpp src/util/devicename.cpp src/util/paths.cpp
  src/util/text.cpp modules/stock/settings.cpp)
# Everything but main.cpp: the unit tests link the same parts.
set(KVLSHIP_PART_SOURCES ${KVLSHIP_COMMON_SOURCES} ${KVLSHIP_FORMATS_SOURCES}
  ${KVLSHIP_CHECK_SOURCES} ${KVLSHIP_BUILD_SOURCES} ${KVLSHIP_TRIAL_SOURCES}
  ${KVLSHIP_CLI_SOURCES} ${KVLSHIP_ENGINE_SOURCES})
set(KVLSHIP_SOURCES tools/kvlship/main.cpp ${KVLSHIP_PART_SOURCES})

# The single-file package's zstd: the encoder, and the decoder the payload's
# reader shares with the stub. The encoder has its worker threads
# (ZSTD_MULTITHREAD: pthreads on Linux, zstd's own layer over the Windows
# threads in kvlship.exe); the package is cut into jobs the same way for any
# number of workers, so it is the same bytes on every run. No tracing hooks,
# no assembly.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/zstd.cmake)
# The decoder keeps xxHash to itself (inline); the encoder wants it linked,
# and its workers the thread pool.
list(APPEND ZSTD_ENCODER_SOURCES ${ZSTD_LIB_DIR}/common/xxhash.c ${ZSTD_LIB_DIR}/common/pool.c
  ${ZSTD_LIB_DIR}/common/threading.c)
set(KVLSHIP_ZSTD_SOURCES ${ZSTD_DECODER_SOURCE} ${ZSTD_ENCODER_SOURCES})
set_source_files_properties(${ZSTD_ENCODER_SOURCES} PROPERTIES
  COMPILE_DEFINITIONS "ZSTD_TRACE=0;ZSTD_DISABLE_ASM=1;ZSTD_MULTITHREAD=1")
