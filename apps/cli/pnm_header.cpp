#include "pnm_header.hpp"

#include <stdexcept>

namespace ulvcli {

namespace {

constexpr int kMostDigits = 9;  // every 9-digit number fits an int

bool isPnmSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whitespace and '#' comments up to the end of their line, as the decoder skips them.
int skipSpaceAndComments(FILE* file, int c) {
  while (true) {
    while (c != EOF && isPnmSpace(c)) c = std::fgetc(file);
    if (c != '#') return c;
    while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(file);
  }
}

void checkNumbers(FILE* file) {
  static const char* const kNames[] = {"width", "height", "maximum value"};
  int c = std::fgetc(file);
  for (const char* name : kNames) {
    c = skipSpaceAndComments(file, c);
    int digits = 0;
    for (; c >= '0' && c <= '9'; c = std::fgetc(file)) {
      if (++digits > kMostDigits) {
        throw std::runtime_error(std::string("corrupt: the PGM/PPM header's ") + name +
                                 " has more than 9 digits");
      }
    }
  }
}

}  // namespace

void checkPnmHeader(FILE* file) {
  const int p = std::fgetc(file);
  const int kind = std::fgetc(file);
  try {
    if (p == 'P' && (kind == '5' || kind == '6')) checkNumbers(file);
  } catch (...) {
    std::rewind(file);
    throw;
  }
  std::rewind(file);
}

}  // namespace ulvcli
