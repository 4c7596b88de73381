#include "call_arguments.hpp"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "arguments.hpp"
#include "host/files/matfile.hpp"
#include "image_io.hpp"
#include "image_planes.hpp"

namespace ulvcli {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<double> parseMatrixRow(const std::string& row, const std::string& literal) {
  std::string spaced = row;
  std::replace(spaced.begin(), spaced.end(), ',', ' ');
  std::istringstream items(spaced);
  std::vector<double> values;
  std::string item;
  while (items >> item) {
    const std::optional<double> number = toNumber(item);
    if (!number) throw UsageError("\"" + item + "\" in " + literal + " is not a number");
    values.push_back(*number);
  }
  return values;
}

ulv::mxArray matFileVariable(const fs::path& file, const std::string& name) {
  const auto variables = ulv::loadAllVariables(file.string());
  if (name.empty()) {
    if (variables.size() == 1) return variables.front().second;
    throw UsageError("\"" + file.string() + "\" holds " + std::to_string(variables.size()) +
                     " variables: name one as " + file.string() + ":NAME");
  }
  for (const auto& [variable, value] : variables) {
    if (variable == name) return value;
  }
  throw UsageError("\"" + file.string() + "\" has no variable \"" + name + "\"");
}

Image loadNamedImage(const fs::path& file) {
  try {
    return loadImage(file);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error("\"" + file.string() + "\": " + error.what());
  }
}

ulv::mxArray grayImageMatrix(const fs::path& file) {
  const Image image = loadNamedImage(file);
  const std::size_t planes = colourPlaneCount(image, true);
  if (planes != 1) {
    throw UsageError("\"" + file.string() + "\" has " + std::to_string(planes) +
                     " colour channels; a call argument takes gray or RGB images");
  }
  return planeMatrix(image, 0, true);
}

bool quotedWith(const std::string& text, char quote) {
  return text.size() >= 2 && text.front() == quote && text.back() == quote;
}

}  // namespace

ulv::mxArray parseMatrixLiteral(const std::string& text) {
  const std::string inside = text.substr(1, text.size() - 2);
  std::vector<std::vector<double>> rows;
  std::istringstream lines(inside);
  std::string row;
  while (std::getline(lines, row, ';')) rows.push_back(parseMatrixRow(row, text));
  if (rows.size() == 1 && rows.front().empty()) rows.clear();
  const std::size_t cols = rows.empty() ? 0 : rows.front().size();
  for (const std::vector<double>& values : rows) {
    if (values.size() != cols) throw UsageError("the rows of " + text + " differ in length");
  }
  ulv::mxArray matrix = ulv::mxArray::zeros({rows.size(), cols});
  double* data = matrix.mutableData();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < cols; ++c) data[c * rows.size() + r] = rows[r][c];
  }
  return matrix;
}

CallArgument parseCallArgument(const std::string& text) {
  if (quotedWith(text, '\'') || quotedWith(text, '"')) {
    return {ulv::mxArray::string(text.substr(1, text.size() - 2)), {}};
  }
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    return {parseMatrixLiteral(text), {}};
  }
  if (const std::optional<double> number = toNumber(text))
    return {ulv::mxArray::scalar(*number), {}};
  const std::size_t suffix = lower(text).rfind(".mat:");
  if (suffix != std::string::npos) {
    const fs::path file = text.substr(0, suffix + 4);
    return {matFileVariable(file, text.substr(suffix + 5)), file};
  }
  // A word that names a data file must be one; quote it to pass the name as text.
  const bool matFile = lower(fs::path(text).extension().string()) == ".mat";
  if (!matFile && !hasImageExtension(text)) return {ulv::mxArray::string(text), {}};
  std::error_code error;
  if (!fs::is_regular_file(text, error)) {
    throw UsageError("\"" + text + "\" is not a file (quote it, as '" + text + "', to pass text)");
  }
  return {matFile ? matFileVariable(text, "") : grayImageMatrix(text), text};
}

}  // namespace ulvcli
