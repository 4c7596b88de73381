// The one compilation of stb's image decoders and encoders. Only the formats
// the tool documents are built in, and huge dimensions are refused before any
// allocation, so a hostile header cannot ask for gigabytes.
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
