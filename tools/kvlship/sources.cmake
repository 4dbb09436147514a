# kvlship's sources, relative to the project's root: its own, and the
# engine's portable ones it shares (the data-file parser, the copy list, the
# LZ expansion, the stock module's settings), so that it reads a distribution
# by setup.exe's and the stock module's own rules. The LZ compression is its
# own: setup.exe has no use for it.
# One list per room, so that a room's files are listed in one place.
set(KVLSHIP_COMMON_SOURCES
  tools/kvlship/common/codepage.cpp
  tools/kvlship/common/digest.cpp
  tools/kvlship/common/hostfs.cpp
  tools/kvlship/common/diagnostics.cpp
  tools/kvlship/common/profile.cpp
  tools/kvlship/common/textout.cpp
  tools/kvlship/common/winpath.cpp)
set(KVLSHIP_FORMATS_SOURCES
  tools/kvlship/formats/engine.cpp
  tools/kvlship/formats/lzencode.cpp
  tools/kvlship/formats/package.cpp
  tools/kvlship/formats/pe.cpp
  tools/kvlship/formats/shelllink.cpp
  tools/kvlship/formats/signing.cpp
  tools/kvlship/formats/storedlist.cpp
  tools/kvlship/formats/unpack.cpp
  tools/kvlship/formats/winget.cpp)
set(KVLSHIP_CHECK_SOURCES check.cpp filelist.cpp folder.cpp licence.cpp listfull.cpp module.cpp
  names.cpp plan.cpp report.cpp shipped.cpp stockcheck.cpp storedfile.cpp)
list(TRANSFORM KVLSHIP_CHECK_SOURCES PREPEND tools/kvlship/check/)
set(KVLSHIP_BUILD_SOURCES
  # The driver; the manifest, its plan and the build record.
  tools/kvlship/build/build.cpp tools/kvlship/build/manifest.cpp tools/kvlship/build/lines.cpp
  tools/kvlship/build/plan.cpp tools/kvlship/build/buildrecord.cpp
  # The writers: the folder, its data file, the compression jobs, winget, the package.
  tools/kvlship/build/writers.cpp tools/kvlship/build/datafile.cpp
  tools/kvlship/build/compressjobs.cpp tools/kvlship/build/wingetout.cpp
  tools/kvlship/build/packageout.cpp
  # The new verb.
  tools/kvlship/build/new.cpp)
set(KVLSHIP_TRIAL_SOURCES
  tools/kvlship/trial/boxes.cpp
  tools/kvlship/trial/finish.cpp
  tools/kvlship/trial/installed.cpp
  tools/kvlship/trial/judge.cpp
  tools/kvlship/trial/launch.cpp
  tools/kvlship/trial/prefix.cpp
  tools/kvlship/trial/process.cpp
  tools/kvlship/trial/removal.cpp
  tools/kvlship/trial/sandbox.cpp
  tools/kvlship/trial/screens.cpp
  tools/kvlship/trial/trial.cpp
  tools/kvlship/trial/tryverb.cpp
  tools/kvlship/trial/verdict.cpp
  tools/kvlship/trial/windowlist.cpp
  tools/kvlship/trial/winlisttool.cpp)
set(KVLSHIP_CLI_SOURCES
  tools/kvlship/cli/arguments.cpp
  tools/kvlship/cli/verbflags.cpp
  tools/kvlship/cli/verbs.cpp)
# What kvlship shares with the engine.
set(KVLSHIP_ENGINE_SOURCES
  src/codec/szdd.cpp
  src/codec/sha256.cpp
  src/package/payload.cpp
  src/copy/copylist.cpp
  src/copy/fileline.cpp
  src/util/devicename.cpp
  src/util/paths.cpp
  src/util/text.cpp
  modules/stock/settings.cpp)
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
