// Recording and replaying the host's random draws, so that a run can be
// reproduced bit for bit elsewhere. The file is a MAT-file with one variable
// per draw, numbered per generator in the order of the draws: randn_1,
// randn_2, ... for the normal generator and rand_1, rand_2, ... for the
// uniform one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ulvadern/random.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

// Records every draw while it lives.
class RandomRecording {
 public:
  RandomRecording();
  ~RandomRecording();
  RandomRecording(const RandomRecording&) = delete;
  RandomRecording& operator=(const RandomRecording&) = delete;

  std::size_t size() const { return draws_.size(); }
  // Writes the draws made so far (whole file, temporary + rename).
  void save(const fs::path& file) const;

 private:
  std::vector<ulv::RandomDraw> draws_;
};

// Supplies every draw from a recording while it lives. A draw the file lacks,
// or whose size differs from the one requested, is a host error.
class RandomReplay {
 public:
  explicit RandomReplay(const fs::path& file);
  ~RandomReplay();
  RandomReplay(const RandomReplay&) = delete;
  RandomReplay& operator=(const RandomReplay&) = delete;

  // Draws in the file that the run did not ask for.
  std::size_t unused() const;

 private:
  ulv::mxArray next(ulv::RandomKind kind, const ulv::Dims& dims);

  fs::path file_;
  std::map<std::string, ulv::mxArray> draws_;
  std::map<ulv::RandomKind, std::size_t> taken_;
};

}  // namespace ulvcli
