// The arguments of `ulvadern call`, written as a host user would, turned into
// host arrays:
//   file.mat:var        a variable of a MAT-file
//   file.mat            the only variable of a MAT-file
//   image.png           an image file, as a double matrix of gray levels
//   3, -1.5e-3, inf     a double scalar
//   [1 2 3], [1 2; 3 4] a double matrix (commas or blanks between elements)
//   'text', or a word that is not a number: a character row
#pragma once

#include <filesystem>
#include <string>

#include "ulvadern/array.hpp"

namespace ulvcli {

struct CallArgument {
  ulv::mxArray value;
  std::filesystem::path file;  // the file it was read from, if any
};

// Throws UsageError for malformed literals and std::runtime_error or HostError
// for files that cannot be read.
CallArgument parseCallArgument(const std::string& text);

// [1 2; 3 4] -> 2x2 double. Throws UsageError.
ulv::mxArray parseMatrixLiteral(const std::string& text);

}  // namespace ulvcli
