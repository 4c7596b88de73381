#include <cmath>

#include "host/runtime/ops.hpp"
#include "support/test_support.hpp"

namespace ulv {
namespace {

using test::at;
using test::hostErrorOf;
using test::matrix;

const mxArray kColon = mlfCreateColonIndex();
mxArray num(double v) {
  return mxArray::scalar(v);
}

TEST(OpsIndex, RangesIncludingEmptyAndFractional) {
  EXPECT_EQ(colonRange(1, 0).dims(), (Dims{1, 0}));
  EXPECT_EQ(colonRange(3, -1, 1).numel(), 3u);
  EXPECT_EQ(colonRange(3, -1, 1).at(2), 1);
  EXPECT_EQ(colonRange(1, -1, 3).dims(), (Dims{1, 0}));
  EXPECT_EQ(colonRange(0, 0.1, 1).numel(), 11u);
  mxArray r = mlfColon(num(1.5), num(4));
  ASSERT_EQ(r.numel(), 3u);
  EXPECT_EQ(r.at(2), 3.5);
  EXPECT_EQ(mlfColon(num(1), num(0), nullptr).numel(), 0u);
  EXPECT_EQ(colonRange(1, 0, 5).numel(), 0u);
}

TEST(OpsIndex, LinearReferenceShapes) {
  const mxArray row = mxArray::row({10, 20, 30, 40});
  const mxArray column = row.reshaped({4, 1});
  const mxArray m = matrix(2, 2, {1, 2, 3, 4});
  const mxArray columnIndex = mxArray::row({1, 3}).reshaped({2, 1});
  EXPECT_EQ(mclArrayRef1(row, columnIndex).dims(), (Dims{1, 2}));
  EXPECT_EQ(mclArrayRef1(column, mxArray::row({1, 3})).dims(), (Dims{2, 1}));
  EXPECT_EQ(mclArrayRef1(m, mxArray::row({1, 2})).dims(), (Dims{1, 2}));
  EXPECT_EQ(mclArrayRef1(m, kColon).dims(), (Dims{4, 1}));
  EXPECT_EQ(mclArrayRef1(num(7), matrix(2, 2, {1, 1, 1, 1})).dims(), (Dims{2, 2}));
  EXPECT_EQ(mclIntArrayRef1(m, 2).at(0), 3);
}

TEST(OpsIndex, LogicalMasks) {
  const mxArray m = matrix(2, 2, {1, -2, -3, 4});
  const mxArray mask = mclLt(m, num(0));
  const mxArray picked = mclArrayRef1(m, mask);
  EXPECT_EQ(picked.dims(), (Dims{2, 1}));
  EXPECT_EQ(picked.at(0), -3);
  EXPECT_EQ(picked.at(1), -2);
  mxArray target = m;
  mclArrayAssign1(target, num(0), mask);
  EXPECT_EQ(target.at(1), 0);
  EXPECT_EQ(target.at(2), 0);
  EXPECT_EQ(target.at(3), 4);
  EXPECT_EQ(m.at(1), -3) << "the source of the copy must not change";
}

TEST(OpsIndex, SubscriptsAndPages) {
  mxArray cube = test::generate({2, 3, 2}, [](std::size_t k) { return double(k + 1); });
  const mxArray two = num(2);
  mxArray page = mlfIndexRef(cube, "(?,?,?)", {&kColon, &kColon, &two});
  EXPECT_EQ(page.dims(), (Dims{2, 3}));
  EXPECT_EQ(page.at(0), 7);
  mxArray folded = mclArrayRef2(cube, num(2), num(6));
  EXPECT_EQ(folded.at(0), 12);
  const mxArray rows = colonRange(2, -1, 1);
  mxArray flipped = mclArrayRef2(matrix(2, 2, {1, 2, 3, 4}), rows, kColon);
  EXPECT_EQ(at(flipped, 1, 1), 3);
  EXPECT_EQ(at(flipped, 2, 2), 2);
}

TEST(OpsIndex, ReferenceErrors) {
  const mxArray m = matrix(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(hostErrorOf([&] { mclArrayRef1(m, num(5)); }), "Index exceeds matrix dimensions.");
  EXPECT_EQ(hostErrorOf([&] { mclArrayRef2(m, num(1), num(3)); }),
            "Index exceeds matrix dimensions.");
  const std::string bad = "Subscript indices must either be real positive integers or logicals.";
  EXPECT_EQ(hostErrorOf([&] { mclArrayRef1(m, num(0)); }), bad);
  EXPECT_EQ(hostErrorOf([&] { mclArrayRef1(m, num(-1)); }), bad);
  EXPECT_EQ(hostErrorOf([&] { mclArrayRef1(m, num(1.5)); }), bad);
  EXPECT_EQ(hostErrorOf([&] { mclArrayRef1(m, num(NAN)); }), bad);
  EXPECT_NE(hostErrorOf([&] { mlfIndexRef(m, "{?}", {&kColon}); }), "");
  EXPECT_NE(hostErrorOf([&] { mlfIndexRef(m, "(?,?)", {&kColon}); }), "");
}

TEST(OpsIndex, AssignmentGrowsWithZeroFill) {
  mxArray row = mxArray::row({1, 2});
  mclIntArrayAssign1(row, num(5), 4);
  EXPECT_EQ(row.dims(), (Dims{1, 4}));
  EXPECT_EQ(row.at(2), 0);
  mxArray column = mxArray::row({1, 2}).reshaped({2, 1});
  mclIntArrayAssign1(column, num(5), 3);
  EXPECT_EQ(column.dims(), (Dims{3, 1}));
  mxArray m = matrix(2, 2, {1, 2, 3, 4});
  mclArrayAssign2(m, num(9), num(3), num(3));
  EXPECT_EQ(m.dims(), (Dims{3, 3}));
  EXPECT_EQ(at(m, 1, 2), 2);
  EXPECT_EQ(at(m, 3, 3), 9);
  EXPECT_EQ(at(m, 3, 1), 0);
  EXPECT_NE(hostErrorOf([&] { mclIntArrayAssign1(m, num(1), 20); }), "");

  // Pages appended keep every element where it was; skipped pages are zeros.
  mxArray stack = matrix(2, 3, {1, 2, 3, 4, 5, 6});
  const mxArray three = num(3), two = num(2);
  mlfIndexAssign(stack, "(?,?,?)", matrix(2, 3, {7, 7, 7, 7, 7, 7}), {&kColon, &kColon, &three});
  EXPECT_EQ(stack.dims(), (Dims{2, 3, 3}));
  EXPECT_EQ(at(stack, 2, 3, 1), 6);
  EXPECT_EQ(at(stack, 1, 1, 2), 0);
  EXPECT_EQ(at(stack, 2, 2, 3), 7);
  mxArray wider = matrix(2, 2, {1, 2, 3, 4});
  mlfIndexAssign(wider, "(?,?,?)", num(8), {&two, &three, &two});
  EXPECT_EQ(wider.dims(), (Dims{2, 3, 2}));
  EXPECT_EQ(at(wider, 2, 2, 1), 4);
  EXPECT_EQ(at(wider, 2, 3, 1), 0);
  EXPECT_EQ(at(wider, 2, 3, 2), 8);
  mxArray bytes = mlfUint8(matrix(1, 2, {1, 2}));
  mclIntArrayAssign1(bytes, num(300), 4);
  EXPECT_EQ(bytes.classID(), mxUINT8_CLASS);
  EXPECT_EQ(bytes.at(2), 0);
  EXPECT_EQ(bytes.at(3), 255);
}

TEST(OpsIndex, AssignmentIntoPlaceholder) {
  mxArray pages;
  const mxArray two = num(2);
  mlfIndexAssign(pages, "(?,?,?)", matrix(2, 2, {1, 2, 3, 4}), {&kColon, &kColon, &two});
  EXPECT_EQ(pages.dims(), (Dims{2, 2, 2}));
  EXPECT_EQ(pages.classID(), mxDOUBLE_CLASS);
  EXPECT_EQ(at(pages, 1, 1, 1), 0);
  EXPECT_EQ(at(pages, 1, 2, 2), 2);
  mxArray text;
  mclIntArrayAssign1(text, mxArray::string("a"), 2);
  EXPECT_EQ(text.classID(), mxCHAR_CLASS);
  EXPECT_EQ(text.dims(), (Dims{1, 2}));
  mxArray cells;
  mlfIndexAssign(cells, "{?}", num(4), {&two});
  ASSERT_TRUE(cells.isCell());
  EXPECT_EQ(mlfIndexRef(cells, "{?}", {&two}).at(0), 4);
}

TEST(OpsIndex, AssignmentExpandsScalarsAndChecksSizes) {
  mxArray m = mxArray::zeros({2, 3});
  mclArrayAssign2(m, num(7), kColon, mxArray::row({1, 3}));
  EXPECT_EQ(at(m, 2, 3), 7);
  EXPECT_EQ(at(m, 2, 2), 0);
  mclArrayAssign2(m, mxArray::row({4, 5}), kColon, num(2));  // row into a column
  EXPECT_EQ(at(m, 2, 2), 5);
  EXPECT_EQ(hostErrorOf([&] {
              mclArrayAssign2(m, mxArray::row({1, 2, 3}), kColon, num(1));
            }),
            "Subscripted assignment dimension mismatch.");
  EXPECT_EQ(hostErrorOf([&] {
              mclArrayAssign1(m, mxArray::row({1, 2}), mxArray::row({1, 2, 3}));
            }),
            "In an assignment  A(I) = B, the number of elements in B and I must be the same.");
  mxArray bytes = mxArray::zeros({1, 2}, mxUINT8_CLASS);
  mclIntArrayAssign1(bytes, num(300.4), 1);
  EXPECT_EQ(bytes.at(0), 255);
  EXPECT_EQ(bytes.classID(), mxUINT8_CLASS);
}

TEST(OpsIndex, CopiesShareStorageUntilWritten) {
  const mxArray original = matrix(2, 2, {1, 2, 3, 4});
  mxArray copy = original;
  EXPECT_TRUE(copy.sharesStorageWith(original));
  mclIntArrayAssign1(copy, num(0), 1);
  EXPECT_FALSE(copy.sharesStorageWith(original));
  EXPECT_EQ(original.at(0), 1);
  EXPECT_EQ(copy.at(0), 0);
  mxArray self = mxArray::row({1, 2});
  mclArrayAssign2(self, self, num(2), kColon);  // the source is the target itself
  EXPECT_EQ(self.dims(), (Dims{2, 2}));
  EXPECT_EQ(at(self, 2, 2), 2);
  mclArrayAssign1(self, num(7), self);  // and the index too
  EXPECT_EQ(at(self, 2, 1), 7);         // positions 1 and 2 only
  EXPECT_EQ(at(self, 1, 2), 2);
}

TEST(OpsIndex, Concatenation) {
  const mxArray a = matrix(2, 1, {1, 2});
  const mxArray h = mlfHorzcat({mxArray::empty(), a, matrix(2, 2, {3, 4, 5, 6})});
  EXPECT_EQ(h.dims(), (Dims{2, 3}));
  EXPECT_EQ(at(h, 2, 3), 6);
  const mxArray v = mlfVertcat({mxArray::row({1, 2}), mxArray::empty(), mxArray::row({3, 4})});
  EXPECT_EQ(v.dims(), (Dims{2, 2}));
  EXPECT_EQ(at(v, 2, 1), 3);
  EXPECT_EQ(hostErrorOf([&] {
              mlfHorzcat({a, mxArray::row({1, 2})});
            }),
            "All matrices on a row in the bracketed expression must have the same number of rows.");
  EXPECT_EQ(hostErrorOf([&] {
              mlfVertcat({a, mxArray::row({1, 2})});
            }),
            "All rows in the bracketed expression must have the same number of columns.");
  EXPECT_EQ(mlfHorzcat({mxArray::string("ab"), num(67)}).classID(), mxCHAR_CLASS);
  EXPECT_EQ(mlfHorzcat({mxArray::scalar(1, mxUINT8_CLASS), num(2.6)}).at(1), 3);
  EXPECT_EQ(mlfHorzcat({mxArray::logicalScalar(true), num(2)}).classID(), mxDOUBLE_CLASS);
  EXPECT_EQ(mlfHorzcat({mxArray::logicalScalar(true)}).classID(), mxLOGICAL_CLASS);
  const mxArray pages = mlfHorzcat({mxArray::zeros({2, 1, 2}), mxArray::zeros({2, 2, 2})});
  EXPECT_EQ(pages.dims(), (Dims{2, 3, 2}));
}

}  // namespace
}  // namespace ulv
