# zstd's C library, as scripts/common.sh (ensure_zstd) unpacks it: the
# package's payload is zstd. The stub and kvlship's reader compile the
# decoder through src/package/zstd_decoder*.c, kvlship adds the encoder.
set(ZSTD_LIB_DIR /var/cache/kvl-deps/zstd-napi-0.0.13/deps/zstd/lib
    CACHE PATH "zstd's C library (its lib folder)")
if(NOT EXISTS ${ZSTD_LIB_DIR}/zstd.h)
  message(FATAL_ERROR "zstd's sources are not at ${ZSTD_LIB_DIR}: run scripts/test.sh "
                      "or source scripts/common.sh and call ensure_deps")
endif()
get_filename_component(ZSTD_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/package ABSOLUTE)
set(ZSTD_DECODER_SMALL ${ZSTD_PACKAGE_DIR}/zstd_decoder.c)
set(ZSTD_DECODER_FAST ${ZSTD_PACKAGE_DIR}/zstd_decoder_fast.c)
set(ZSTD_DECODER_SOURCE ${ZSTD_DECODER_SMALL} ${ZSTD_DECODER_FAST})
file(GLOB ZSTD_ENCODER_SOURCES ${ZSTD_LIB_DIR}/compress/*.c)
