// The tables the host reads from the library, laid out as the host expects
// (fields in order, counts as 32-bit integers, pointers native).
#pragma once

#include <cstdint>

#include "ulvadern/calls.hpp"

namespace ulv {

extern "C" {

struct FunctionTableEntry {
  const char* name;
  mxFunctionPtr hostForm;
  std::int32_t inputs;  // -(n+1): n named inputs followed by varargin
  std::int32_t outputs;
  const LocalFunctionTable* localFunctions;
};

struct GlobalTableEntry {
  const char* name;
  mxArray** slot;
};

struct InitTermEntry {
  void (*initialize)();
  void (*terminate)();
};

struct LibraryDescriptor {
  std::int32_t formatTag;
  std::int32_t functionCount;
  const FunctionTableEntry* functions;
  std::int32_t globalCount;
  const GlobalTableEntry* globals;
  std::int32_t furtherCount;
  const void* further;
  std::int32_t initTermCount;
  const InitTermEntry* initTerm;
};

}  // extern "C"

constexpr std::int32_t kDescriptorFormatTag = 1;

// The library's only exported entry point.
extern "C" const LibraryDescriptor* _mexLibrary();
using MexLibraryEntry = const LibraryDescriptor* (*)();

}  // namespace ulv
