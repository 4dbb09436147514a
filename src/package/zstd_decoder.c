/* zstd's decoder but for its sequences' loop (zstd_decoder_fast.c): the
 * frame, its headers, tables and literals, built small. xxHash inline, so
 * only the frame checksum's three functions remain. */
#include "zstd_settings.h"

#define XXH_INLINE_ALL
#include "common/entropy_common.c"
#include "common/error_private.c"
#include "common/fse_decompress.c"
#include "common/zstd_common.c"
#include "decompress/huf_decompress.c"
#include "decompress/zstd_ddict.c"
#include "decompress/zstd_decompress.c"
