// The library's callers of host functions by name: the real host functions
// through the direct forms, and the plumbing of counts and inputs through a
// recording stand-in.
#include "gateway/callers.hpp"

#include <string>
#include <vector>

#include "host/functions/functions.hpp"
#include "support/test_support.hpp"
#include "ulvadern/calls.hpp"

namespace ulv::test {
namespace {

class CallersTest : public ::testing::Test {
 protected:
  void SetUp() override { registerStandardHostFunctions(); }
  void TearDown() override { registerStandardHostFunctions(); }

  // Replaces `name` by a stand-in that records its calls and answers output
  // k with the number k.
  void recordCallsTo(const std::string& name) {
    registerHostFunction(name, [this](int nargout, const std::vector<mxArray>& inputs) {
      requested.push_back(nargout);
      received.push_back(inputs.size());
      std::vector<mxArray> outputs;
      for (int k = 1; k <= std::max(nargout, 1); ++k) outputs.push_back(mxArray::scalar(k));
      return outputs;
    });
  }

  std::vector<int> requested;
  std::vector<std::size_t> received;
};

TEST_F(CallersTest, DirectFormsReachTheHostFunctions) {
  const mxArray x = mxArray::row({1, 2, 3});
  const mxArray f = mxArray::row({1, 1});
  EXPECT_EQ(mlfConv(&x, &f).numel(), 4u);
  const mxArray two = mxArray::scalar(2);
  const mxArray centre = mxArray::string("c");
  EXPECT_EQ(mlfNWkeep(1, &x, {&two, &centre, nullptr}).at(0), 1);
  const mxArray n = mxArray::scalar(255);
  EXPECT_EQ(mlfGray(&n).dims(), (Dims{255, 3}));
  const mxArray fn = mxArray::string("dwt");
  const mxArray in = mxArray::scalar(2), out = mxArray::scalar(2);
  const mxArray okIn = mxArray::row({2, 3}), okOut = mxArray::row({0, 1, 2});
  EXPECT_EQ(mlfErrargn(&fn, &in, &okIn, &out, &okOut).at(0), 0);
}

TEST_F(CallersTest, WfiltersListFillsTheListedVariablesInOrder) {
  const mxArray name = mxArray::string("db3");
  mxArray lod, hid, lor, hir;
  mlfNWfilters(0, {&lod, &hid, &lor, &hir}, &name, nullptr);
  const hostfn::Outputs expected = hostfn::wfilters(4, {name});
  for (auto [got, want] : {std::pair{&lod, 0}, {&hid, 1}, {&lor, 2}, {&hir, 3}}) {
    ASSERT_EQ(got->numel(), 6u);
    EXPECT_TRUE(std::equal(got->data(), got->data() + 6, expected[want].data()));
  }
  recordCallsTo("wfilters");
  const mxArray option = mxArray::string("d");
  mlfNWfilters(0, {&lod, &hid, &lor, &hir}, &name, nullptr);
  mlfNWfilters(0, {&lod, &hid}, &name, &option);
  EXPECT_EQ(requested, (std::vector<int>{4, 2}));
  EXPECT_EQ(received, (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(hid.at(0), 2);
}

TEST_F(CallersTest, InputsEndAtTheFirstAbsentOneAndVararginIsSpread) {
  recordCallsTo("wkeep");
  const mxArray a = mxArray::scalar(1);
  mlfNWkeep(1, &a, {&a, &a, nullptr});
  EXPECT_EQ(received.back(), 3u);

  recordCallsTo("fmincon");
  mxArray second, third;
  std::array<const mxArray*, 10> inputs{};
  inputs.fill(&a);
  mxArray x = mlfNFmincon(3, {&second, &third, nullptr, nullptr, nullptr, nullptr}, inputs, {&a});
  EXPECT_EQ(received.back(), 11u);
  EXPECT_EQ(requested.back(), 3);
  EXPECT_EQ(x.at(0), 1);
  EXPECT_EQ(second.at(0), 2);
  EXPECT_EQ(third.at(0), 3);
  inputs[8] = inputs[9] = nullptr;  // how ulvadern calls it: two absent inputs
  mlfNFmincon(1, {}, inputs, {&a});
  EXPECT_EQ(received.back(), 8u);
}

TEST_F(CallersTest, UnknownOrFailingFunctionsAreHostErrors) {
  unregisterFunction("gray");
  const mxArray n = mxArray::scalar(3);
  EXPECT_EQ(hostErrorOf([&] { mlfGray(&n); }), "Undefined function or variable 'gray'.");
  const mxArray name = mxArray::string("nosuch");
  mxArray lod;
  EXPECT_EQ(hostErrorOf([&] { mlfNWfilters(0, {&lod}, &name, nullptr); }),
            "wfilters: unknown wavelet name 'nosuch'.");
  EXPECT_TRUE(lod.isPlaceholder());
  const mxArray db2 = mxArray::string("db2"), option = mxArray::string("d");
  mxArray hid, lor;
  EXPECT_EQ(hostErrorOf([&] {
              mlfNWfilters(0, {&lod, &hid, &lor}, &db2, &option);
            }),
            "Too many output arguments in the call to \"wfilters\".");
  EXPECT_EQ(mclContextDepth(), 0);
}

}  // namespace
}  // namespace ulv::test
