// Each module's constants hold the values their names say: a table whose
// values were swapped or shifted against its names fails here.
#include "gateway/constants.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "auxiliary/gaussfit.hpp"
#include "auxiliary/lixo.hpp"
#include "auxiliary/touint.hpp"
#include "auxiliary/transfwav.hpp"
#include "denoise/ulvadern.hpp"
#include "transform/invmaltrans2d.hpp"
#include "transform/maltrans2d.hpp"
#include "ulvadern/descriptor.hpp"

namespace ulv {
namespace {

// A double row (0 x 0 when empty) or, with `text`, a character row.
struct Pinned {
  const char* name;
  std::vector<double> values;
  const char* text = nullptr;
};

struct Module {
  const char* name;
  const ModuleConstants& (*constants)();
  std::vector<Pinned> pinned;  // every constant but the count messages
};

const std::vector<Module>& modules() {
  static const std::vector<Module> all = {
      {"ulvadern",
       ulvadernConstants,
       {{"kDefaultLevels", {3}},
        {"kDefaultPot", {0.3}},
        {"kOne", {1}},
        {"kTwo", {2}},
        {"kZero", {0}},
        {"kMinusOne", {-1}},
        {"k255", {255}},
        {"kPerturbation", {0.001}},
        {"kAngleOffset", {1e-08}},
        {"kUnderflowGuard", {1e-20}},
        {"kSampleSize", {10000}},
        {"kWeightUpper", {0.98}},
        {"kSectorHalfWidth", {0.3927}},
        {"kDiagonalAngle", {0.785398}},
        {"kVerticalAngle", {1.178097}},
        {"kDefaultGains", {1, 1, 1, 1, 1}},
        {"kAdmissibleInputs", {1, 2, 3, 4, 5}},
        {"kStartPoint", {0.1, 0.7, 0.7}},
        {"kConstraintRow", {1, -0.5, 0}},
        {"kLowerBounds", {1e-10, 1e-10, 0.05}},
        {"kEmpty", {}},
        {"kName", {}, "ulvadern"},
        {"kStar", {}, "*"},
        {"kSampleFile", {}, "minimiza"},
        {"kObjective", {}, "gaussfit(x(1),x(2),x(3))"},
        {"kMaskFile", {}, "mascaras"},
        {"kSame", {}, "same"}}},
      {"gaussfit",
       gaussfitConstants,
       {{"kFloor", {1e-15}}, {"kTwo", {2}}, {"kOne", {1}}, {"kSampleFile", {}, "minimiza"}}},
      {"maltrans2d",
       maltrans2dConstants,
       {{"kLowPass", {0, 0.125, 0.375, 0.375, 0.125}},
        {"kHighPass", {0, -2, 2}},
        {"kOne", {1}},
        {"kTwo", {2}},
        {"kInputsWithoutType", {3}},
        {"kEmpty", {}}}},
      {"invmaltrans2d",
       invmaltrans2dConstants,
       {{"kLowPass", {0, 0.125, 0.375, 0.375, 0.125}},
        {"kLowRecon", {0.0078, 0.0469, 0.1172, 0.6563, 0.1172, 0.0469, 0.0078}},
        {"kHighRecon", {0.0078, 0.0547, 0.1719, -0.1719, -0.0547, -0.0078, 0}},
        {"kOne", {1}},
        {"kTwo", {2}},
        {"kInputsWithoutType", {4}},
        {"kMinusOne", {-1}},
        {"kEmpty", {}}}},
      {"lixo",
       lixoConstants,
       {{"kName", {}, "dwt"},
        {"kAdmissibleInputs", {2, 3}},
        {"kAdmissibleOutputs", {0, 1, 2}},
        {"kStar", {}, "*"},
        {"kDecomposition", {}, "d"},
        {"kCentral", {}, "c"},
        {"kOne", {1}},
        {"kMinusOne", {-1}},
        {"kFirstDimension", {1}}}},
      {"transfwav",
       transfwavConstants,
       {{"kName", {}, "dwt2"},
        {"kAdmissibleInputs", {2, 3}},
        {"kAdmissibleOutputs", {0, 1, 3}},
        {"kStar", {}, "*"},
        {"kDecomposition", {}, "d"},
        {"kMinusOne", {-1}},
        {"kOne", {1}}}},
      {"touint", touintConstants, {{"kZero", {0}}, {"k255", {255}}}},
  };
  return all;
}

bool isCountMessage(const std::string& name) {
  return name == "kOutputsMessage" || name == "kInputsMessage";
}

TEST(ModuleConstants, EachHoldsTheValueItsNameSays) {
  const LibraryDescriptor& d = *_mexLibrary();
  for (int i = 0; i < d.initTermCount; ++i) d.initTerm[i].initialize();
  for (const Module& module : modules()) {
    const ModuleConstants& constants = module.constants();
    for (const Pinned& p : module.pinned) {
      SCOPED_TRACE(std::string(module.name) + " " + p.name);
      const mxArray& value = constants.named(p.name);
      if (p.text != nullptr) {
        EXPECT_TRUE(value.isChar());
        EXPECT_EQ(value.toString(), p.text);
        continue;
      }
      ASSERT_EQ(value.classID(), mxDOUBLE_CLASS);
      const Dims expectedDims = p.values.empty() ? Dims{0, 0} : Dims{1, p.values.size()};
      ASSERT_EQ(value.dims(), expectedDims);
      for (std::size_t k = 0; k < p.values.size(); ++k) EXPECT_EQ(value.at(k), p.values[k]) << k;
    }
  }
  for (int i = 0; i < d.initTermCount; ++i) d.initTerm[i].terminate();
}

TEST(ModuleConstants, EveryConstantHasOneNameAndIsPinned) {
  for (const Module& module : modules()) {
    SCOPED_TRACE(module.name);
    std::set<std::string> names, pinned;
    for (const ConstantEntry& entry : module.constants().table()) {
      EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " named twice";
      if (!isCountMessage(entry.name)) pinned.insert(entry.name);
    }
    std::set<std::string> listed;
    for (const Pinned& p : module.pinned) listed.insert(p.name);
    EXPECT_EQ(listed, pinned);
  }
}

}  // namespace
}  // namespace ulv
