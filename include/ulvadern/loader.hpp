// The host's loader: opens the library, reads its descriptor, runs the
// initialisers before the first call and the terminators after the last, and
// makes its functions callable by name (from users and from fmincon).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ulvadern/array.hpp"
#include "ulvadern/descriptor.hpp"

namespace ulv {

class LoadedLibrary {
 public:
  // dlopen()s the shared library and reads its descriptor.
  static std::unique_ptr<LoadedLibrary> open(const std::string& path);
  // Uses a library already linked into the process.
  static std::unique_ptr<LoadedLibrary> attach(MexLibraryEntry entry);
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  const LibraryDescriptor& descriptor() const { return *descriptor_; }
  const FunctionTableEntry* find(const std::string& name) const;

  // Calls a function by name through its host form; returns max(nargout, 1)
  // outputs. Host errors propagate as HostError. From its first MAT-file save
  // or load on, the call holds its work directory's lock until it returns.
  std::vector<mxArray> call(const std::string& name, int nargout,
                            const std::vector<mxArray>& inputs);

  // Runs the terminators; afterwards every call is refused.
  void terminate();
  bool terminated() const { return terminated_; }

  // The string resources (ID, text) stored in the library's file.
  std::vector<std::pair<int, std::string>> resourceStrings() const;
  const std::string& path() const { return path_; }

 private:
  LoadedLibrary(void* handle, const LibraryDescriptor* descriptor, std::string path);
  void initialize();

  void* handle_;
  const LibraryDescriptor* descriptor_;
  std::string path_;
  bool terminated_ = false;
};

// Reads the "ID=text" records of the ".ulvadern.strings" section of an ELF file.
std::vector<std::pair<int, std::string>> readStringResources(const std::string& path);

}  // namespace ulv
