/* zstd's sequences' loop: most of the expansion's time is spent here, so
 * this part is built for speed. */
#include "zstd_settings.h"

#include "decompress/zstd_decompress_block.c"
