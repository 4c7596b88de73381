#include "mask_files.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "host/files/matfile.hpp"
#include "image_io.hpp"
#include "output_file.hpp"
#include "ulvadern/errors.hpp"

namespace ulvcli {

namespace {

// Gap between the montage's tiles, in white pixels.
constexpr std::size_t kGap = 4;

const ulv::mxArray& variableNamed(const std::vector<std::pair<std::string, ulv::mxArray>>& file,
                                  const std::string& name) {
  for (const auto& [found, value] : file) {
    if (found == name) return value;
  }
  throw std::runtime_error("\"mascaras.mat\" holds no variable \"" + name + "\"");
}

// The library's mask of the bordered image, without the border.
ulv::mxArray cropped(const ulv::mxArray& mask, std::size_t rows, std::size_t cols) {
  const ulv::Dims& dims = mask.dims();
  if (mask.classID() != ulv::mxDOUBLE_CLASS || dims.size() > 3 || dims[0] != rows + 2 ||
      dims[1] != cols + 2) {
    throw std::runtime_error("\"mascaras.mat\" holds a " + ulv::dimsText(dims) + " mask where a (" +
                             std::to_string(rows + 2) + " x " + std::to_string(cols + 2) +
                             " x levels) double one was expected");
  }
  const std::size_t levels = dims.size() == 3 ? dims[2] : 1;
  std::vector<double> values;
  values.reserve(rows * cols * levels);
  const double* page = mask.data();
  for (std::size_t k = 0; k < levels; ++k, page += (rows + 2) * (cols + 2)) {
    for (std::size_t c = 1; c <= cols; ++c) {
      const double* column = page + c * (rows + 2) + 1;
      values.insert(values.end(), column, column + rows);
    }
  }
  return ulv::mxArray::fromVector({rows, cols, levels}, std::move(values));
}

// The planes' masks one after another: H x W x levels x planes.
ulv::mxArray stacked(const std::vector<ulv::mxArray>& masks) {
  if (masks.size() == 1) return masks.front();
  ulv::Dims dims = masks.front().dims();
  dims.resize(3, 1);
  dims.push_back(masks.size());
  std::vector<double> values;
  for (const ulv::mxArray& mask : masks)
    values.insert(values.end(), mask.data(), mask.data() + mask.numel());
  return ulv::mxArray::fromVector(dims, std::move(values));
}

// Tiles of rows x cols: per plane a row of maskh's levels, then maskv's.
Image montage(const ImageMasks& masks) {
  const ulv::Dims& dims = masks.maskh.front().dims();
  const std::size_t rows = dims[0], cols = dims[1], levels = dims.size() == 3 ? dims[2] : 1;
  std::vector<const ulv::mxArray*> tileRows;
  for (std::size_t p = 0; p < masks.maskh.size(); ++p) {
    tileRows.push_back(&masks.maskh[p]);
    tileRows.push_back(&masks.maskv[p]);
  }
  Image image;
  image.channels = 1;
  image.type = SampleType::U8;
  image.width = static_cast<int>(levels * cols + (levels - 1) * kGap);
  image.height = static_cast<int>(tileRows.size() * rows + (tileRows.size() - 1) * kGap);
  image.samples.assign(static_cast<std::size_t>(image.width) * image.height, 255);
  for (std::size_t t = 0; t < tileRows.size(); ++t) {
    const double* page = tileRows[t]->data();
    for (std::size_t k = 0; k < levels; ++k, page += rows * cols) {
      for (std::size_t r = 0; r < rows; ++r) {
        double* out =
            image.samples.data() + (t * (rows + kGap) + r) * image.width + k * (cols + kGap);
        for (std::size_t c = 0; c < cols; ++c) {
          out[c] = std::round(std::clamp(page[r + c * rows], 0.0, 1.0) * 255);
        }
      }
    }
  }
  return image;
}

}  // namespace

void collectMasks(ImageMasks& masks, int width, int height) {
  const auto file = ulv::loadAllVariables("mascaras.mat");
  const auto rows = static_cast<std::size_t>(height), cols = static_cast<std::size_t>(width);
  masks.maskh.push_back(cropped(variableNamed(file, "maskh"), rows, cols));
  masks.maskv.push_back(cropped(variableNamed(file, "maskv"), rows, cols));
}

std::vector<std::filesystem::path> maskFiles(const std::filesystem::path& directory,
                                             const std::string& stem) {
  return {directory / (stem + "_masks.mat"), directory / (stem + "_masks.png")};
}

void saveMasks(const std::filesystem::path& directory, const std::string& stem,
               const ImageMasks& masks) {
  const std::vector<std::filesystem::path> files = maskFiles(directory, stem);
  writeMatFileWhole(files[0], {{"maskh", stacked(masks.maskh)}, {"maskv", stacked(masks.maskv)}});
  saveImage(files[1], montage(masks), ImageFormat::Png);
}

}  // namespace ulvcli
