# kvlship's sources, relative to the project's root: its own, and the
# engine's portable ones it shares (the data-file parser, the copy list, the
# LZ expansion, the stock module's settings), so that it reads a distribution
# by setup.exe's and the stock module's own rules. The LZ compression is its
# own: setup.exe has no use for it.
set(KVLSHIP_SOURCES
  tools/kvlship/main.cpp
  tools/kvlship/build.cpp
  tools/kvlship/check.cpp
  tools/kvlship/codepage.cpp
  tools/kvlship/digest.cpp
  tools/kvlship/engine.cpp
  tools/kvlship/hostfs.cpp
  tools/kvlship/lnkread.cpp
  tools/kvlship/pack.cpp
  tools/kvlship/package.cpp
  tools/kvlship/peinfo.cpp
  tools/kvlship/problems.cpp
  tools/kvlship/profile.cpp
  tools/kvlship/signing.cpp
  tools/kvlship/stockcheck.cpp
  tools/kvlship/storedlist.cpp
  tools/kvlship/szddencode.cpp
  tools/kvlship/textout.cpp
  tools/kvlship/trial.cpp
  tools/kvlship/trialjudge.cpp
  tools/kvlship/trialprefix.cpp
  tools/kvlship/trialproc.cpp
  tools/kvlship/tryrun.cpp
  tools/kvlship/verbs.cpp
  tools/kvlship/unpack.cpp
  tools/kvlship/winlistread.cpp
  tools/kvlship/winpath.cpp
  src/codec/szdd.cpp
  src/codec/sha256.cpp
  src/package/payload.cpp
  src/copy/copylist.cpp
  src/copy/fileline.cpp
  src/util/devicename.cpp
  src/util/paths.cpp
  src/util/text.cpp
  modules/stock/settings.cpp)

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
