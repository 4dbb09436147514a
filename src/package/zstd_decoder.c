/* zstd's decoder as the package's payload reader uses it, one translation
 * unit for the stub, kvlship and the fuzzer alike, so all of them decode
 * with the same settings. Built for size: no legacy formats, no tracing, no
 * assembly, no error texts (the reader only asks whether a call failed), one
 * Huffman and one sequence decoder instead of two each. */
#define ZSTD_LEGACY_SUPPORT 0
#define ZSTD_TRACE 0
#define ZSTD_DISABLE_ASM 1
#define ZSTD_STRIP_ERROR_STRINGS 1
#define DYNAMIC_BMI2 0
#define HUF_FORCE_DECOMPRESS_X1 1
#define ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT 1

#include "common/entropy_common.c"
#include "common/error_private.c"
#include "common/fse_decompress.c"
#include "common/xxhash.c"
#include "common/zstd_common.c"
#include "decompress/huf_decompress.c"
#include "decompress/zstd_ddict.c"
#include "decompress/zstd_decompress.c"
#include "decompress/zstd_decompress_block.c"
