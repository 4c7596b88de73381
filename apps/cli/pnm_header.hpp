// Binary PGM/PPM headers are checked before the decoder reads them: it
// accumulates each number in an int, so a header with a number of ten or
// more digits would overflow it.
#pragma once

#include <cstdio>

namespace ulvcli {

// Throws std::runtime_error when `file` starts as a binary PGM/PPM ("P5" or
// "P6") whose width, height or maximum value has more than nine digits.
// Leaves the file at its start.
void checkPnmHeader(FILE* file);

}  // namespace ulvcli
