#include "host/files/matio_functions.hpp"

#include <dlfcn.h>

#include <string>

#include "ulvadern/errors.hpp"

namespace ulv::matio {

namespace {

struct Functions {
  decltype(&Mat_Open) open;
  decltype(&Mat_CreateVer) createVer;
  decltype(&Mat_Close) close;
  decltype(&Mat_GetVersion) getVersion;
  decltype(&Mat_GetDir) getDir;
  decltype(&Mat_VarRead) varRead;
  decltype(&Mat_VarWrite) varWrite;
  decltype(&Mat_VarCreate) varCreate;
  decltype(&Mat_VarFree) varFree;
  decltype(&Mat_SizeOf) sizeOf;
  decltype(&Mat_LogInitFunc) logInitFunc;
};

template <class Function>
void resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  if (function == nullptr) {
    hostError(std::string("The MAT-file library " ULV_MATIO_SONAME " has no ") + name + ".");
  }
}

Functions load() {
  void* library = dlopen(ULV_MATIO_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    hostError(std::string("Cannot load the MAT-file library: ") +
              (reason != nullptr ? reason : ULV_MATIO_SONAME) + ".");
  }
  Functions f{};
  resolve(library, "Mat_Open", f.open);
  resolve(library, "Mat_CreateVer", f.createVer);
  resolve(library, "Mat_Close", f.close);
  resolve(library, "Mat_GetVersion", f.getVersion);
  resolve(library, "Mat_GetDir", f.getDir);
  resolve(library, "Mat_VarRead", f.varRead);
  resolve(library, "Mat_VarWrite", f.varWrite);
  resolve(library, "Mat_VarCreate", f.varCreate);
  resolve(library, "Mat_VarFree", f.varFree);
  resolve(library, "Mat_SizeOf", f.sizeOf);
  resolve(library, "Mat_LogInitFunc", f.logInitFunc);
  return f;
}

// Opened once; a failed opening is tried again at the next use.
const Functions& functions() {
  static const Functions loaded = load();
  return loaded;
}

}  // namespace

mat_t* open(const char* name, int mode) {
  return functions().open(name, mode);
}
mat_t* createVer(const char* name, const char* header, mat_ft version) {
  return functions().createVer(name, header, version);
}
int close(mat_t* mat) {
  return functions().close(mat);
}
mat_ft getVersion(mat_t* mat) {
  return functions().getVersion(mat);
}
char** getDir(mat_t* mat, std::size_t* count) {
  return functions().getDir(mat, count);
}
matvar_t* varRead(mat_t* mat, const char* name) {
  return functions().varRead(mat, name);
}
int varWrite(mat_t* mat, matvar_t* var, matio_compression compression) {
  return functions().varWrite(mat, var, compression);
}
matvar_t* varCreate(const char* name, matio_classes cls, matio_types type, int rank,
                    std::size_t* dims, void* data, int options) {
  return functions().varCreate(name, cls, type, rank, dims, data, options);
}
void varFree(matvar_t* var) {
  functions().varFree(var);
}
std::size_t sizeOf(matio_types type) {
  return functions().sizeOf(type);
}
int logInitFunc(const char* program, void (*log)(int level, char* message)) {
  return functions().logInitFunc(program, log);
}

}  // namespace ulv::matio
