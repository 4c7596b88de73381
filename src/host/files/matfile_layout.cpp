#include "host/files/matfile_layout.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>

#include "host/files/matfile_reader.hpp"
#include "host/files/matfile_variable.hpp"
#include "host/runtime/printable.hpp"
#include "ulvadern/errors.hpp"

namespace ulv::matfile {

namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr u32 kLongestLevel4Name = 4096;

// A level 4 file starts with a matrix header: type code MOPT (M machine,
// O 0, P precision, T matrix type), rows, columns, imaginary flag, name length.
bool looksLikeLevel4(const unsigned char* b, std::size_t size) {
  if (size < 20) return false;
  for (const bool bigEndian : {false, true}) {
    const u32 mopt = word(b, bigEndian);
    const u32 imaginary = word(b + 12, bigEndian);
    const u32 nameLength = word(b + 16, bigEndian);
    if (mopt < 5000 && mopt / 100 % 10 == 0 && mopt / 10 % 10 <= 5 && mopt % 10 <= 2 &&
        imaginary <= 1 && nameLength >= 1 && nameLength <= kLongestLevel4Name &&
        static_cast<std::int32_t>(word(b + 4, bigEndian)) >= 0 &&
        static_cast<std::int32_t>(word(b + 8, bigEndian)) >= 0) {
      return true;
    }
  }
  return false;
}

// Whether the file's words are big-endian; a host error for anything but a
// level 5 MAT-file.
bool checkHeader(int fd, const std::string& path, u64 size) {
  unsigned char header[kHeaderBytes] = {};
  const std::size_t got = static_cast<std::size_t>(std::min<u64>(size, sizeof header));
  FileRange range(fd, 0, size);
  if (!range.read(header, got)) readFailure(path, range.failure());
  const bool little = header[126] == 'I' && header[127] == 'M';
  const bool big = header[126] == 'M' && header[127] == 'I';
  if (got < sizeof header || (!little && !big)) {
    if (size == 0) readFailure(path, "the file is empty");
    if (got < sizeof header && std::memcmp(header, "MATLAB", 6) == 0) {
      readFailure(path, "the file is truncated inside its header");
    }
    if (looksLikeLevel4(header, got)) {
      readFailure(path, "a level 4 MAT-file, which is not read (save it as level 5: -v6 or -v7)");
    }
    readFailure(path, "not a MAT-file");
  }
  const unsigned version = big ? header[124] << 8 | header[125] : header[125] << 8 | header[124];
  if (version == 0x0200) {
    readFailure(path, "a MATLAB 7.3 (HDF5) MAT-file, which is not read (save it with -v7 or -v6)");
  }
  if (version != 0x0100) readFailure(path, "not a level 5 MAT-file");
  return big;
}

// Checks one variable; host errors name it, or its position while its name
// is not known yet.
template <typename Check>
std::string checkVariable(const std::string& path, u64 position, VariableCheck& variable,
                          Check check) {
  try {
    check();
  } catch (const Damage& damage) {
    const std::string which = variable.name().empty()
                                  ? "the variable at byte " + std::to_string(position)
                                  : "variable '" + printable(variable.name()) + "'";
    readFailure(path, which + " is damaged (" + printable(damage.reason) + ")");
  } catch (const Unsupported& unsupported) {
    hostError("Unable to read variable '" + printable(variable.name()) + "' from file '" +
              printable(path) + "': " + unsupported.reason);
  }
  return variable.name();
}

}  // namespace

unsigned long long availableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  unsigned long long kib = 0;
  while (meminfo >> key >> kib) {
    if (key == "MemAvailable:") return kib * 1024;
    meminfo.ignore(64, '\n');
  }
  return static_cast<unsigned long long>(sysconf(_SC_AVPHYS_PAGES)) *
         static_cast<unsigned long long>(sysconf(_SC_PAGESIZE));
}

std::vector<std::string> checkedVariableNames(int fd, const std::string& path, bool weighMemory) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) readFailure(path, systemReason(errno));
  if (S_ISDIR(info.st_mode)) readFailure(path, systemReason(EISDIR));
  const u64 end = static_cast<u64>(info.st_size);
  const bool swap = checkHeader(fd, path, end);

  MemoryBudget budget;
  if (!weighMemory) budget.available = ~u64{0};
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (u64 position = kHeaderBytes; position < end;) {
    unsigned char tagBytes[8];
    FileRange tagRange(fd, position, end);
    if (!tagRange.read(tagBytes, sizeof tagBytes)) {
      readFailure(path, "the file is truncated or damaged (" + std::to_string(end - position) +
                            " stray bytes at its end)");
    }
    const u32 type = word(tagBytes, swap);
    const u64 size = word(tagBytes + 4, swap);
    const u64 begin = position + 8;
    FileRange content(fd, begin, std::min(end, begin + size));
    if (type == miMATRIX) {
      VariableCheck variable(content, swap, path, budget);
      names.push_back(checkVariable(path, position, variable, [&] { variable.matrix(size, 0); }));
      position = begin + size + (8 - size % 8) % 8;
    } else if (type == miCOMPRESSED) {
      InflatedRange inflated(content);
      VariableCheck variable(inflated, swap, path, budget);
      names.push_back(checkVariable(path, position, variable, [&] {
        variable.compressed(inflated);
        // zlib stops at the stream's end: what the tag claims beyond it must be there too.
        if (begin + size > end) throw Damage{"the file ends inside it"};
      }));
      position = begin + size;
    } else {
      readFailure(path, "the file is truncated or damaged (no variable at byte " +
                            std::to_string(position) + ")");
    }
    if (!seen.insert(names.back()).second) {
      readFailure(path, "it holds variable '" + printable(names.back()) + "' twice");
    }
  }
  return names;
}

}  // namespace ulv::matfile
