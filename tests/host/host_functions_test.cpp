#include <cmath>
#include <string>
#include <vector>

#include "host/functions/functions.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv::test {
namespace {

mxArray column(std::vector<double> values) {
  const std::size_t n = values.size();
  return mxArray::fromVector({n, 1}, std::move(values));
}

std::vector<double> valuesOf(const mxArray& a) {
  return {a.data(), a.data() + a.numel()};
}

mxArray conv(const mxArray& a, const mxArray& b) {
  return hostfn::conv(1, {a, b})[0];
}

template <typename... A>
mxArray wkeep(const mxArray& x, A... rest) {
  return hostfn::wkeep(1, {x, rest...})[0];
}

TEST(HostConv, FullConvolutionOrientedLikeTheLongerOperand) {
  const mxArray c = conv(mxArray::row({1, 2, 3}), mxArray::row({1, -1}));
  EXPECT_EQ(valuesOf(c), (std::vector<double>{1, 1, 1, -3}));
  EXPECT_EQ(conv(column({1, 2, 3}), mxArray::row({1, 1})).dims(), (Dims{4, 1}));
  EXPECT_EQ(conv(column({1, 2}), mxArray::row({1, 1, 1})).dims(), (Dims{1, 4}));
  EXPECT_EQ(conv(mxArray::row({1, 1, 1}), column({1, 2})).dims(), (Dims{1, 4}));
  // Equal lengths: the second operand decides.
  EXPECT_EQ(conv(column({1, 2}), mxArray::row({1, 1})).dims(), (Dims{1, 3}));
  EXPECT_EQ(conv(mxArray::row({1, 2}), column({1, 1})).dims(), (Dims{3, 1}));
  EXPECT_EQ(conv(mxArray::scalar(2), mxArray::scalar(3)).at(0), 6);
}

TEST(HostConv, RefusesWhatIsNotAVector) {
  EXPECT_NE(hostErrorOf([] { conv(mxArray::zeros({2, 2}), mxArray::row({1})); }), "");
  EXPECT_NE(hostErrorOf([] { conv(mxArray::row({1}), mxArray::empty()); }), "");
  EXPECT_NE(hostErrorOf([] { conv(mxArray::cell({1, 1}), mxArray::row({1})); }), "");
  EXPECT_EQ(hostErrorOf([] { hostfn::conv(1, {mxArray::row({1})}); }),
            "conv: expected 2 inputs, got 1.");
}

TEST(HostWkeep, VectorsKeepTheCentreAndTheEndLosesAnOddExcess) {
  const mxArray x = mxArray::row({1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(valuesOf(wkeep(x, mxArray::scalar(3))), (std::vector<double>{3, 4, 5}));
  // Excess 3: one sample off the start, two off the end.
  EXPECT_EQ(valuesOf(wkeep(x, mxArray::scalar(4), mxArray::string("c"))),
            (std::vector<double>{2, 3, 4, 5}));
  EXPECT_EQ(valuesOf(wkeep(x, mxArray::scalar(2), mxArray::string("l"))),
            (std::vector<double>{1, 2}));
  EXPECT_EQ(valuesOf(wkeep(x, mxArray::scalar(2), mxArray::string("r"))),
            (std::vector<double>{6, 7}));
  EXPECT_EQ(valuesOf(wkeep(x, mxArray::scalar(2), mxArray::scalar(3))),
            (std::vector<double>{3, 4}));
  EXPECT_EQ(wkeep(column({1, 2, 3, 4}), mxArray::scalar(1)).dims(), (Dims{1, 1}));
  EXPECT_EQ(wkeep(column({1, 2, 3, 4}), mxArray::scalar(2)).dims(), (Dims{2, 1}));
}

TEST(HostWkeep, MatricesKeepTheCentralBlockInTheirClass) {
  const mxArray x = generate({5, 6}, [](std::size_t k) { return static_cast<double>(k); });
  const mxArray kept = wkeep(x.withClass(mxUINT8_CLASS), mxArray::row({2, 3}));
  ASSERT_EQ(kept.dims(), (Dims{2, 3}));
  EXPECT_EQ(kept.classID(), mxUINT8_CLASS);
  // Rows 2..3 and columns 2..4 (1-based): the odd excesses go to the end.
  EXPECT_EQ(at(kept, 1, 1), at(x, 2, 2));
  EXPECT_EQ(at(kept, 2, 3), at(x, 3, 4));
  EXPECT_EQ(at(wkeep(x, mxArray::row({2, 2}), mxArray::string("d")), 1, 1), at(x, 4, 5));
}

TEST(HostWkeep, RefusesSizesItCannotKeep) {
  const mxArray v = mxArray::row({1, 2, 3});
  const mxArray m = mxArray::zeros({3, 3});
  EXPECT_EQ(hostErrorOf([&] { wkeep(v, mxArray::scalar(4)); }),
            "wkeep: cannot keep 1x4 of a 1x3 array.");
  EXPECT_NE(hostErrorOf([&] { wkeep(v, mxArray::scalar(-1)); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(v, mxArray::scalar(1.5)); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(v, mxArray::scalar(std::nan(""))); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(m, mxArray::scalar(2)); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(m, mxArray::row({2, 2, 1})); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(m, mxArray::row({2, 4})); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(v, mxArray::scalar(2), mxArray::string("x")); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(v, mxArray::scalar(2), mxArray::scalar(3)); }), "");
  EXPECT_NE(hostErrorOf([&] { wkeep(mxArray::zeros({2, 2, 2}), mxArray::row({1, 1})); }), "");
}

TEST(HostGray, LinearRampFromBlackToWhite) {
  const mxArray map = hostfn::gray(1, {mxArray::scalar(255)})[0];
  ASSERT_EQ(map.dims(), (Dims{255, 3}));
  EXPECT_EQ(at(map, 1, 1), 0);
  EXPECT_EQ(at(map, 128, 2), 127.0 / 254.0);
  EXPECT_EQ(at(map, 255, 3), 1);
  EXPECT_EQ(valuesOf(hostfn::gray(1, {mxArray::scalar(1)})[0]), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(hostfn::gray(1, {mxArray::scalar(0)})[0].dims(), (Dims{0, 3}));
  EXPECT_NE(hostErrorOf([] { hostfn::gray(1, {mxArray::scalar(-2)}); }), "");
  EXPECT_NE(hostErrorOf([] { hostfn::gray(1, {mxArray::scalar(2.5)}); }), "");
  EXPECT_NE(hostErrorOf([] { hostfn::gray(1, {mxArray::row({2, 3})}); }), "");
}

struct ReportCapture {
  ReportCapture()
      : previous(setReportHandler([this](std::string_view m) { lines.emplace_back(m); })) {}
  ~ReportCapture() { setReportHandler(std::move(previous)); }
  std::vector<std::string> lines;
  ReportHandler previous;
};

bool errargn(double in, std::initializer_list<double> okIn, double out,
             std::initializer_list<double> okOut) {
  const mxArray answer =
      hostfn::errargn(1, {mxArray::string("dwt2"), mxArray::scalar(in), mxArray::row(okIn),
                          mxArray::scalar(out), mxArray::row(okOut)})[0];
  EXPECT_EQ(answer.classID(), mxLOGICAL_CLASS);
  return answer.at(0) != 0;
}

TEST(HostErrargn, AnswersAndReportsOnlyInadmissibleCounts) {
  ReportCapture reports;
  EXPECT_FALSE(errargn(2, {2, 3}, 3, {0, 1, 3}));
  EXPECT_TRUE(reports.lines.empty());
  EXPECT_TRUE(errargn(3, {2, 3}, 2, {0, 1, 3}));
  EXPECT_EQ(reports.lines,
            (std::vector<std::string>{
                "dwt2: invalid number of output arguments (2); expected 0, 1 or 3."}));
  reports.lines.clear();
  EXPECT_TRUE(errargn(1, {2, 3}, 4, {1}));
  EXPECT_EQ(reports.lines, (std::vector<std::string>{
                               "dwt2: invalid number of input arguments (1); expected 2 or 3.",
                               "dwt2: invalid number of output arguments (4); expected 1."}));
  EXPECT_NE(hostErrorOf([] { hostfn::errargn(1, {mxArray::scalar(1)}); }), "");
}

TEST(HostRegistry, StandardFunctionsAreCallableByName) {
  registerStandardHostFunctions();
  registerStandardHostFunctions();
  for (const char* name : {"conv", "wkeep", "wfilters", "gray", "errargn", "fmincon"}) {
    EXPECT_TRUE(isFunctionRegistered(name)) << name;
  }
  const mxArray n = mxArray::scalar(4);
  EXPECT_EQ(mclFevalCallMATLAB(1, "gray", {&n, nullptr})[0].dims(), (Dims{4, 3}));
  EXPECT_EQ(hostErrorOf([&] { mclFevalCallMATLAB(1, "nosuchfunction", {&n}); }),
            "Undefined function or variable 'nosuchfunction'.");
}

}  // namespace
}  // namespace ulv::test
