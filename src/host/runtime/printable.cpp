#include "printable.hpp"

#include <cstddef>

namespace ulv {

namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xc0) == 0x80;
}

// The length of the well-formed UTF-8 sequence of two or more bytes that
// starts at `at`, or 0. Overlong forms, surrogates and code points above
// U+10FFFF are not well-formed.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!isContinuation(byte(at + k))) return 0;
  }
  return length;
}

bool isC1Control(std::string_view sequence) {
  return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xc2 &&
         static_cast<unsigned char>(sequence[1]) < 0xa0;
}

void appendEscaped(std::string& out, std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
  }
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      const bool control = (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7f;
      if (control) {
        appendEscaped(out, text.substr(at, 1));
      } else {
        out += text[at];
      }
      ++at;
      continue;
    }
    const std::size_t length = sequenceLength(text, at);
    const std::string_view sequence = text.substr(at, length == 0 ? 1 : length);
    if (length == 0 || isC1Control(sequence)) {
      appendEscaped(out, sequence);
    } else {
      out += sequence;
    }
    at += sequence.size();
  }
  return out;
}

}  // namespace ulv
