// Sample types and their conversions.
#pragma once

#include <cstdint>
#include <vector>

#include "image.hpp"

namespace ulvimage {

// 255, 65535 or 1: the value of full intensity.
double fullScale(SampleType type);
// The image with samples of `type`, rescaled, clipped to its range and, for
// integer types, rounded (NaN becomes 0).
Image convertedTo(const Image& image, SampleType type);

// The image with `channels` (1 or 3) channels per pixel: alpha dropped,
// gray repeated into three.
Image withColourChannels(const Image& image, int channels);

// Samples of an image of that type, as stored in memory (no rescaling).
std::vector<std::uint8_t> bytesOf(const Image& image);
std::vector<std::uint16_t> wordsOf(const Image& image);
// Appends 16-bit samples most significant byte first.
void appendBigEndian(std::vector<std::uint8_t>& out, const std::vector<std::uint16_t>& words);
// Reads `count` 16-bit most-significant-first samples at `data`.
void readBigEndian(const std::uint8_t* data, std::size_t count, std::vector<double>& out);

}  // namespace ulvimage
