// The structure check of a MAT-file before libmatio reads it. libmatio trusts
// the sizes a file declares: it allocates what the dimensions ask for and
// reads whatever bytes follow, so a damaged or crafted file would give arrays
// of uninitialised memory, or ask for gigabytes from a few hundred bytes.
// Here every variable's stored data must match its dimensions and class
// (compressed variables are inflated on the fly, never held whole), and what
// the variables would take in memory is weighed against the memory the
// machine has available before anything is allocated.
#pragma once

#include <string>
#include <vector>

namespace ulv::matfile {

// The variable names of the level 5 MAT-file open as `fd`, in file order,
// once its whole structure is checked; otherwise a host error that names
// `path` (and the variable) and says what is wrong. `weighMemory` false
// leaves out the memory budget: for a file this process has just written
// from arrays it holds.
std::vector<std::string> checkedVariableNames(int fd, const std::string& path,
                                              bool weighMemory = true);

// The bytes of memory available to the process now.
unsigned long long availableMemory();

}  // namespace ulv::matfile
