// Text taken from files or the command line (paths, chunk names, variable
// names) may hold terminal control sequences; it is escaped before printing.
#pragma once

#include <string>
#include <string_view>

namespace ulv {

// The text with each control byte (below 0x20 except '\n' and '\t', 0x7f, and
// the two-byte C1 controls U+0080..U+009F) and each byte that is not part of
// valid UTF-8 written as \xNN. Everything else, backslashes included, is kept,
// so escaping twice gives the same text.
std::string printable(std::string_view text);

}  // namespace ulv
