// Text taken from files and user input, made safe to print: a terminal must
// never receive control bytes (escape sequences) from a crafted file.
#pragma once

#include <string>
#include <string_view>

namespace ulv {

// `text` with every byte outside printable ASCII written as \xNN and the
// backslash as \\, so the result is plain ASCII and reads back unambiguously.
std::string printable(std::string_view text);

}  // namespace ulv
