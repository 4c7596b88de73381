#include "random_tape.hpp"

#include <utility>

#include "host/files/matfile.hpp"
#include "output_file.hpp"
#include "ulvadern/errors.hpp"

namespace ulvcli {

namespace {

std::string drawName(ulv::RandomKind kind, std::size_t number) {
  return (kind == ulv::RandomKind::Normal ? "randn_" : "rand_") + std::to_string(number);
}

const char* generatorName(ulv::RandomKind kind) {
  return kind == ulv::RandomKind::Normal ? "normal" : "uniform";
}

}  // namespace

RandomRecording::RandomRecording() {
  ulv::setRandomRecorder([this](const ulv::RandomDraw& draw) { draws_.push_back(draw); });
}

RandomRecording::~RandomRecording() {
  ulv::setRandomRecorder(nullptr);
}

void RandomRecording::save(const fs::path& file) const {
  std::vector<std::pair<std::string, ulv::mxArray>> variables;
  std::map<ulv::RandomKind, std::size_t> counts;
  for (const ulv::RandomDraw& draw : draws_) {
    variables.emplace_back(drawName(draw.kind, ++counts[draw.kind]), draw.values);
  }
  writeMatFileWhole(file, variables);
}

RandomReplay::RandomReplay(const fs::path& file) : file_(file) {
  for (auto& [name, value] : ulv::loadAllVariables(file.string())) draws_[name] = std::move(value);
  ulv::setRandomReplayer(
      [this](ulv::RandomKind kind, const ulv::Dims& dims) { return next(kind, dims); });
}

RandomReplay::~RandomReplay() {
  ulv::setRandomReplayer(nullptr);
}

std::size_t RandomReplay::unused() const {
  std::size_t used = 0;
  for (const auto& [kind, count] : taken_) used += count;
  return draws_.size() > used ? draws_.size() - used : 0;
}

ulv::mxArray RandomReplay::next(ulv::RandomKind kind, const ulv::Dims& dims) {
  const std::size_t number = ++taken_[kind];
  const std::string name = drawName(kind, number);
  const std::string wanted = ulv::dimsText(ulv::normalizeDims(dims));
  const auto found = draws_.find(name);
  if (found == draws_.end()) {
    ulv::hostError("Cannot replay the random draws: \"" + file_.string() + "\" has no variable \"" +
                   name + "\" for draw " + std::to_string(number) + " of the " +
                   generatorName(kind) + " generator (size " + wanted + ").");
  }
  const ulv::mxArray& values = found->second;
  if (values.classID() != ulv::mxDOUBLE_CLASS || values.dims() != ulv::normalizeDims(dims)) {
    ulv::hostError(
        "Cannot replay the random draws: variable \"" + name + "\" of \"" + file_.string() +
        "\" is a " + ulv::dimsText(values.dims()) +
        (values.classID() == ulv::mxDOUBLE_CLASS ? " double array" : " non-double array") +
        ", but the call asks for a " + wanted + " double array.");
  }
  return values;
}

}  // namespace ulvcli
