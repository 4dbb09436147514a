/* How the package's payload reader builds zstd's decoder (src/package/
 * zstd_decoder*.c), the same for the stub, kvlship and the fuzzer. Built for
 * size: no legacy formats, no tracing, no assembly, no error texts (the
 * reader only asks whether a call failed), one Huffman and one sequence
 * decoder instead of two each. */
#define ZSTD_LEGACY_SUPPORT 0
#define ZSTD_TRACE 0
#define ZSTD_DISABLE_ASM 1
#define ZSTD_STRIP_ERROR_STRINGS 1
#define DYNAMIC_BMI2 0
#define HUF_FORCE_DECOMPRESS_X1 1
#define ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT 1
