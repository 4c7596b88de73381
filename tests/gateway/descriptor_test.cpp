// The library descriptor as the host reads it, its constants, and the loader.
#include "ulvadern/descriptor.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

#include "auxiliary/gaussfit.hpp"
#include "auxiliary/lixo.hpp"
#include "auxiliary/touint.hpp"
#include "auxiliary/transfwav.hpp"
#include "denoise/ulvadern.hpp"
#include "support/test_support.hpp"
#include "transform/invmaltrans2d.hpp"
#include "transform/maltrans2d.hpp"
#include "ulvadern/calls.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

struct Expected {
  const char* name;
  int inputs;
  int outputs;
  const ModuleConstants& (*constants)();
  std::size_t constantCount;
};

const Expected kExpected[] = {
    {"ulvadern", -2, 1, ulvadernConstants, 28},
    {"gaussfit", 3, 1, gaussfitConstants, 6},
    {"maltrans2d", 4, 3, maltrans2dConstants, 8},
    {"invmaltrans2d", 5, 1, invmaltrans2dConstants, 10},
    {"lixo", 3, 2, lixoConstants, 11},
    {"transfwav", 3, 3, transfwavConstants, 9},
    {"touint", 1, 1, touintConstants, 4},
};

TEST(Descriptor, ReturnsTheSameRecordAndStartsTheRuntimeEveryTime) {
  const int before = mclMexLibraryInitCount();
  const LibraryDescriptor* first = _mexLibrary();
  EXPECT_EQ(_mexLibrary(), first);
  EXPECT_EQ(mclMexLibraryInitCount(), before + 2);
}

TEST(Descriptor, PresentsTheFunctionGlobalAndPairTables) {
  const LibraryDescriptor& d = *_mexLibrary();
  EXPECT_EQ(d.formatTag, 1);
  ASSERT_EQ(d.functionCount, 7);
  for (int i = 0; i < 7; ++i) {
    const FunctionTableEntry& entry = d.functions[i];
    EXPECT_STREQ(entry.name, kExpected[i].name);
    EXPECT_EQ(entry.inputs, kExpected[i].inputs) << entry.name;
    EXPECT_EQ(entry.outputs, kExpected[i].outputs) << entry.name;
    EXPECT_NE(entry.hostForm, nullptr);
    EXPECT_EQ(entry.localFunctions->count, 0);
    EXPECT_EQ(entry.localFunctions->entries, nullptr);
  }
  ASSERT_EQ(d.globalCount, 1);
  EXPECT_STREQ(d.globals[0].name, "DWT_Ext_Mode");
  EXPECT_EQ(*d.globals[0].slot, nullptr);
  EXPECT_EQ(d.furtherCount, 0);
  EXPECT_EQ(d.further, nullptr);
  EXPECT_EQ(d.initTermCount, 7);
}

TEST(Descriptor, InitialisersBuildAndTerminatorsReleaseEveryConstant) {
  const LibraryDescriptor& d = *_mexLibrary();
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 7; ++i) d.initTerm[i].initialize();
    for (const Expected& e : kExpected) {
      const ModuleConstants& constants = e.constants();
      EXPECT_EQ(constants.built(), e.constantCount) << e.name;
      EXPECT_EQ(constants.declared(), e.constantCount) << e.name;
      EXPECT_EQ(constants[0].toString(), countErrorMessage(e.name, "outputs", e.outputs))
          << "the outputs message comes first";
    }
    for (int i = 0; i < 7; ++i) d.initTerm[i].terminate();
    for (const Expected& e : kExpected) EXPECT_EQ(e.constants().built(), 0u) << e.name;
  }
  EXPECT_NE(hostErrorOf([] { touintConstants()[0]; }).find("not initialised"), std::string::npos);
}

TEST(Loader, CallsFunctionsByNameAndReadsTheResources) {
  auto library = LoadedLibrary::open(ULV_LIBRARY_PATH);
  const auto outputs = library->call("touint", 1, {mxArray::row({-1, 7.5, 300})});
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0].classID(), mxUINT8_CLASS);
  EXPECT_EQ(outputs[0].at(1), 8);
  EXPECT_TRUE(isFunctionRegistered("touint"));

  const auto strings = library->resourceStrings();
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[0], std::make_pair(100, std::string("MATLAB R11 native")));
  EXPECT_EQ(strings[1], std::make_pair(101, std::string("not inlined")));

  library->terminate();
  EXPECT_FALSE(isFunctionRegistered("touint"));
  EXPECT_EQ(hostErrorOf([&] { library->call("touint", 1, {mlfScalar(1)}); }),
            "Cannot call \"touint\": the library has been terminated.");
}

TEST(Loader, RefusesWhatItCannotUse) {
  EXPECT_NE(hostErrorOf([] {
              LoadedLibrary::open("/nonexistent/libulvadern.so");
            }).find("Cannot load the library"),
            std::string::npos);
  EXPECT_NE(hostErrorOf([] { LoadedLibrary::open("libm.so.6"); }).find("_mexLibrary"),
            std::string::npos);
  auto library = LoadedLibrary::open(ULV_LIBRARY_PATH);
  EXPECT_EQ(hostErrorOf([&] { library->call("nosuch", 1, {}); }),
            "Undefined function \"nosuch\" in the library.");
}

TEST(Loader, LibraryExportsOnlyItsEntryPoint) {
  const std::string command = std::string("nm -D --defined-only ") + ULV_LIBRARY_PATH;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  std::array<char, 512> line{};
  while (fgets(line.data(), line.size(), pipe) != nullptr) {
    std::string text(line.data());
    const std::size_t space = text.find_last_of(' ');
    std::string name = text.substr(space + 1);
    if (!name.empty() && name.back() == '\n') name.pop_back();
    const char kind = space >= 1 ? text[space - 1] : '?';
    if (kind == 'T' || kind == 'D' || kind == 'B' || kind == 'R' || kind == 'W')
      symbols.insert(name);
  }
  pclose(pipe);
  EXPECT_EQ(symbols, std::set<std::string>{"_mexLibrary"});
}

}  // namespace
}  // namespace ulv
