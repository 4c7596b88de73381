// Calling forms and the body frame, on touint and on a small body of the test.
#include "gateway/forms.hpp"

#include <gtest/gtest.h>

#include "auxiliary/touint.hpp"
#include "gateway/frame.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::hostErrorOf;

const LocalFunctionTable kProbeTable{0, nullptr};

// A body with three outputs of which it assigns only the first.
mxArray Mprobe(mxArray* second, mxArray* third, int nargout, const mxArray* a, const mxArray* b) {
  BodyFrame frame(kProbeTable);
  Var out1("first"), out2("second"), out3("third");
  Var in1 = Var::input("a", a);
  Var in2 = Var::input("b", b);
  out1 = mlfScalar(nargout);
  if (in2.isDefined()) out1 = *in2;
  checkOutputs(nargout, "probe", {&out1, &out2, &out3});
  storeOutput(second, out2);
  storeOutput(third, out3);
  (void)in1;
  return out1.release();
}

const mxArray kOutputsMessage = mxArray::string("too many outputs");
const mxArray kInputsMessage = mxArray::string("too many inputs");

void mexProbe(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  runHostForm<3, 2>(nlhs, plhs, nrhs, prhs, kOutputsMessage, kInputsMessage, Mprobe);
}

class FormsTest : public test::LibraryTest {};

TEST_F(FormsTest, CountChecksTestOutputsBeforeInputs) {
  const mxArray x = mlfScalar(1);
  const mxArray* prhs[] = {&x, &x};
  mxArray* plhs[2] = {nullptr, nullptr};
  EXPECT_EQ(hostErrorOf([&] { mexTouint(2, plhs, 2, prhs); }),
            "Run-time Error: File: touint Line: 1 Column: 1 The function \"touint\" was called "
            "with more than the declared number of outputs (1).");
  EXPECT_EQ(hostErrorOf([&] { mexTouint(1, plhs, 2, prhs); }),
            "Run-time Error: File: touint Line: 1 Column: 1 The function \"touint\" was called "
            "with more than the declared number of inputs (1).");
  EXPECT_EQ(plhs[0], nullptr) << "a failed call fills no output slot";
  EXPECT_EQ(mclContextDepth(), 0);
}

TEST_F(FormsTest, NoRequestedOutputStillFillsTheFirstSlot) {
  const mxArray x = mlfScalar(300);
  const mxArray* prhs[] = {&x};
  mxArray* plhs[1] = {nullptr};
  mexTouint(0, plhs, 1, prhs);
  ASSERT_NE(plhs[0], nullptr);
  EXPECT_EQ(plhs[0]->scalarValue(), 255);
  mxDestroyArray(plhs[0]);
}

TEST_F(FormsTest, AbsentInputReadIsAnErrorNamingIt) {
  mxArray* plhs[1] = {nullptr};
  EXPECT_EQ(hostErrorOf([&] { mexTouint(1, plhs, 0, nullptr); }),
            "Input argument \"x\" is undefined.");
  EXPECT_EQ(mclCurrentLocalFunctionTable(), nullptr) << "table restored on the error path";
}

TEST_F(FormsTest, PlaceholderReadWarnsAndUsesAnEmptyArray) {
  test::WarningCapture warnings;
  const mxArray placeholder;
  const mxArray result = mlfTouint(&placeholder);
  EXPECT_TRUE(result.isEmpty());
  EXPECT_EQ(result.classID(), mxUINT8_CLASS);
  ASSERT_EQ(warnings.messages().size(), 1u);
  EXPECT_NE(warnings.messages()[0].find("\"x\""), std::string::npos);
}

TEST_F(FormsTest, UnassignedRequestedOutputsAreReportedByNameAndFunction) {
  test::WarningCapture warnings;
  const mxArray a = mlfScalar(1);
  const mxArray* prhs[] = {&a};
  mxArray* plhs[3] = {nullptr, nullptr, nullptr};
  mexProbe(3, plhs, 1, prhs);
  ASSERT_EQ(warnings.messages().size(), 2u);
  EXPECT_NE(warnings.messages()[0].find("\"second\""), std::string::npos);
  EXPECT_NE(warnings.messages()[1].find("\"third\""), std::string::npos);
  EXPECT_NE(warnings.messages()[1].find("\"probe\""), std::string::npos);
  EXPECT_EQ(plhs[0]->scalarValue(), 3) << "nargout is nlhs";
  EXPECT_TRUE(plhs[1]->isPlaceholder());
  for (mxArray* out : plhs) mxDestroyArray(out);
}

TEST_F(FormsTest, HostFormReleasesOutputsNotRequested) {
  const mxArray a = mlfScalar(1);
  const mxArray* prhs[] = {&a};
  mxArray* plhs[3] = {nullptr, nullptr, nullptr};
  mexProbe(1, plhs, 1, prhs);
  EXPECT_NE(plhs[0], nullptr);
  EXPECT_EQ(plhs[1], nullptr);
  EXPECT_EQ(plhs[2], nullptr);
  mxDestroyArray(plhs[0]);
}

TEST_F(FormsTest, DirectFormCountsNonNullOutputPointers) {
  const mxArray a = mlfScalar(1);
  mxArray second;
  auto direct = [&](mxArray* out2, mxArray* out3) {
    const std::array<mxArray*, 2> slots{out2, out3};
    return runDirectForm<3, 2>(countRequested(slots), slots, {&a, nullptr}, Mprobe);
  };
  EXPECT_EQ(direct(nullptr, nullptr).scalarValue(), 1);
  test::WarningCapture warnings;
  EXPECT_EQ(direct(&second, nullptr).scalarValue(), 2);
  EXPECT_TRUE(second.isPlaceholder());
  EXPECT_EQ(warnings.messages().size(), 1u);
}

TEST_F(FormsTest, LocalFunctionTableIsRestoredAfterEveryCall) {
  const LocalFunctionTable outer{0, nullptr};
  const LocalFunctionTable* before = mclSetCurrentLocalFunctionTable(&outer);
  const mxArray a = mlfScalar(-3);
  mlfTouint(&a);
  EXPECT_EQ(mclCurrentLocalFunctionTable(), &outer);
  hostErrorOf([&] { mlfTouint(nullptr); });
  EXPECT_EQ(mclCurrentLocalFunctionTable(), &outer);
  mclSetCurrentLocalFunctionTable(before);
}

TEST_F(FormsTest, VararginCellOfANegativeCountIsEmpty) {
  const mxArray cell = mclCreateVararginCell(-1, nullptr);
  EXPECT_TRUE(cell.isCell());
  EXPECT_EQ(cell.numel(), 0u);
}

}  // namespace
}  // namespace ulv
