// --save-masks: the edge-probability masks of each denoised plane, as the
// library left them in "mascaras.mat", cut back to the image and saved for
// people (a PNG montage) and programs (a MAT-file).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ulvadern/array.hpp"

namespace ulvcli {

// Per denoised plane, maskh and maskv: H x W x levels, page k the mask of
// level k (the library's are (H + 2) x (W + 2) x levels, the image grown by
// its one-pixel border).
struct ImageMasks {
  std::vector<ulv::mxArray> maskh;
  std::vector<ulv::mxArray> maskv;
};

// Reads "mascaras.mat" of the current directory, as the last call wrote it.
void collectMasks(ImageMasks& masks, int width, int height);

// DIR/STEM_masks.mat (maskh, maskv: H x W x levels, or H x W x levels x C
// for C planes) and DIR/STEM_masks.png (one row per plane and orientation,
// maskh first, one column per level, finest first; white = edge). Each file
// is written whole or not at all.
void saveMasks(const std::filesystem::path& directory, const std::string& stem,
               const ImageMasks& masks);

// The two files saveMasks writes.
std::vector<std::filesystem::path> maskFiles(const std::filesystem::path& directory,
                                             const std::string& stem);

}  // namespace ulvcli
