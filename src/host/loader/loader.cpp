#include "ulvadern/loader.hpp"

#include <dlfcn.h>
#include <elf.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ulvadern/calls.hpp"
#include "ulvadern/errors.hpp"
#include "ulvadern/work_directory_lock.hpp"

namespace ulv {

namespace {

std::string dlErrorText() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

}  // namespace

std::unique_ptr<LoadedLibrary> LoadedLibrary::open(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) hostError("Cannot load the library \"" + path + "\": " + dlErrorText());
  auto entry = reinterpret_cast<MexLibraryEntry>(dlsym(handle, "_mexLibrary"));
  if (entry == nullptr) {
    dlclose(handle);
    hostError("\"" + path + "\" is not a function library: it has no entry point _mexLibrary.");
  }
  const LibraryDescriptor* descriptor = entry();
  if (descriptor == nullptr || descriptor->formatTag != kDescriptorFormatTag) {
    dlclose(handle);
    hostError("\"" + path + "\" has a library descriptor of an unknown format.");
  }
  std::unique_ptr<LoadedLibrary> library(new LoadedLibrary(handle, descriptor, path));
  library->initialize();
  return library;
}

std::unique_ptr<LoadedLibrary> LoadedLibrary::attach(MexLibraryEntry entry) {
  const LibraryDescriptor* descriptor = entry();
  if (descriptor == nullptr || descriptor->formatTag != kDescriptorFormatTag) {
    hostError("The library descriptor has an unknown format.");
  }
  Dl_info info{};
  std::string path;
  if (dladdr(reinterpret_cast<void*>(entry), &info) != 0 && info.dli_fname != nullptr) {
    path = info.dli_fname;
  }
  std::unique_ptr<LoadedLibrary> library(new LoadedLibrary(nullptr, descriptor, path));
  library->initialize();
  return library;
}

LoadedLibrary::LoadedLibrary(void* handle, const LibraryDescriptor* descriptor, std::string path)
    : handle_(handle), descriptor_(descriptor), path_(std::move(path)) {}

void LoadedLibrary::initialize() {
  registerStandardHostFunctions();
  for (int i = 0; i < descriptor_->initTermCount; ++i) descriptor_->initTerm[i].initialize();
  for (int i = 0; i < descriptor_->functionCount; ++i) {
    const FunctionTableEntry& entry = descriptor_->functions[i];
    registerLibraryFunction(entry.name, entry.hostForm);
  }
}

void LoadedLibrary::terminate() {
  if (terminated_) return;
  terminated_ = true;
  for (int i = 0; i < descriptor_->functionCount; ++i) {
    unregisterFunction(descriptor_->functions[i].name);
  }
  for (int i = 0; i < descriptor_->initTermCount; ++i) descriptor_->initTerm[i].terminate();
}

LoadedLibrary::~LoadedLibrary() {
  terminate();
  if (handle_ != nullptr) dlclose(handle_);
}

const FunctionTableEntry* LoadedLibrary::find(const std::string& name) const {
  for (int i = 0; i < descriptor_->functionCount; ++i) {
    if (name == descriptor_->functions[i].name) return &descriptor_->functions[i];
  }
  return nullptr;
}

std::vector<mxArray> LoadedLibrary::call(const std::string& name, int nargout,
                                         const std::vector<mxArray>& inputs) {
  if (terminated_) {
    hostError("Cannot call \"" + name + "\": the library has been terminated.");
  }
  const FunctionTableEntry* entry = find(name);
  if (entry == nullptr) hostError("Undefined function \"" + name + "\" in the library.");
  std::vector<const mxArray*> handles;
  handles.reserve(inputs.size());
  for (const mxArray& input : inputs) handles.push_back(&input);
  const WorkDirectoryCall oneCallPerDirectory;
  return mclFeval(entry->hostForm, nargout, handles);
}

std::vector<std::pair<int, std::string>> LoadedLibrary::resourceStrings() const {
  return readStringResources(path_);
}

std::vector<std::pair<int, std::string>> readStringResources(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) hostError("Cannot read \"" + path + "\".");
  const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto fits = [&image](std::size_t offset, std::size_t size) {
    return offset <= image.size() && size <= image.size() - offset;
  };
  Elf64_Ehdr header;
  if (!fits(0, sizeof header)) hostError("\"" + path + "\" is not an ELF file.");
  std::memcpy(&header, image.data(), sizeof header);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_shentsize != sizeof(Elf64_Shdr)) {
    hostError("\"" + path + "\" is not a 64-bit ELF file.");
  }
  auto section = [&](std::size_t k) {
    Elf64_Shdr s;
    const std::size_t offset = header.e_shoff + k * sizeof(Elf64_Shdr);
    if (!fits(offset, sizeof s)) hostError("\"" + path + "\" has a damaged section table.");
    std::memcpy(&s, image.data() + offset, sizeof s);
    return s;
  };
  const Elf64_Shdr names = section(header.e_shstrndx);
  std::vector<std::pair<int, std::string>> strings;
  for (std::size_t k = 0; k < header.e_shnum; ++k) {
    const Elf64_Shdr s = section(k);
    if (!fits(names.sh_offset + s.sh_name, 1)) continue;
    const char* name = image.data() + names.sh_offset + s.sh_name;
    if (std::strncmp(name, ".ulvadern.strings", 18) != 0 || !fits(s.sh_offset, s.sh_size)) continue;
    std::string_view records(image.data() + s.sh_offset, s.sh_size);
    while (!records.empty()) {
      const std::size_t end = std::min(records.find('\0'), records.size());
      const std::string_view record = records.substr(0, end);
      // A record without a numeric ID is skipped, not fatal: the strings are informative.
      const std::size_t equals = std::min(record.find('='), record.size());
      const char* idEnd = record.data() + equals;
      int id = 0;
      const auto parsed = std::from_chars(record.data(), idEnd, id);
      if (equals < record.size() && parsed.ec == std::errc() && parsed.ptr == idEnd) {
        strings.emplace_back(id, std::string(record.substr(equals + 1)));
      }
      records.remove_prefix(std::min(end + 1, records.size()));
    }
  }
  return strings;
}

}  // namespace ulv
