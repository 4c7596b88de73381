// The one compilation of stb's image decoders and encoders. Only the formats
// the tool documents are built in, huge dimensions are refused before any
// allocation, and every allocation is bounded by what the file's declared
// size could need, so a hostile header or chunk cannot ask for gigabytes.
#include "decoder_memory.hpp"
#define STBI_MALLOC(bytes) ulvcli::decoderAllocate(bytes)
#define STBI_REALLOC(block, bytes) ulvcli::decoderReallocate(block, bytes)
#define STBI_FREE(block) ulvcli::decoderFree(block)
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_PNM
#define STBI_ONLY_TGA
#define STBI_MAX_DIMENSIONS (1 << 15)
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
