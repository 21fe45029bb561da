// The nesting check: every fault, in order, and the verdict.
#include <gtest/gtest.h>

#include "format/format.h"

namespace tagfmt {

namespace {

constexpr int kTable = 0, kTr = 1, kTd = 3, kForm = 4;
constexpr FaultKind kMismatch = FaultKind::kMismatch;

TEST(ElementStack, FindsMismatchesAgainstTheTopEntry) {
  NestingFaults faults;
  ElementStack stack;
  stack.open(kTable, 1, 1);
  stack.open(kTr, 2, 2);
  stack.open(kTd, 3, 3);
  EXPECT_EQ(stack.close(kTr, 3, faults), 3);
  EXPECT_EQ(stack.close(kTable, 4, faults), 2);
  EXPECT_EQ(stack.close(kForm, 5, faults), 1);
  EXPECT_EQ(stack.close(kTd, 6, faults), 0);
  EXPECT_FALSE(stack.finish(faults));
  const NestingFaults expected = {
      {kMismatch, kTr, kTd, 3, 3},
      {kMismatch, kTable, kTr, 4, 2},
      {kMismatch, kForm, kTable, 5, 1},
      {FaultKind::kUnexpected, kTd, -1, 6, 0},
  };
  EXPECT_EQ(faults, expected);
}

TEST(ElementStack, FindsWhatIsLeftOpenInnermostFirst) {
  NestingFaults faults;
  ElementStack stack;
  stack.open(kTable, 1, 5);
  stack.open(kTr, 2, 6);
  EXPECT_FALSE(stack.finish(faults));
  const NestingFaults expected = {
      {FaultKind::kMissing, -1, kTr, 6, 6},
      {FaultKind::kMissing, -1, kTable, 5, 5},
  };
  EXPECT_EQ(faults, expected);
}

TEST(ElementStack, SoundNestingFindsNothing) {
  NestingFaults faults;
  ElementStack stack;
  stack.open(kTable, 7, 1);
  stack.open(kTd, 8, 1);
  EXPECT_EQ(stack.close(kTd, 1, faults), 8);
  EXPECT_EQ(stack.close(kTable, 2, faults), 7);
  EXPECT_TRUE(stack.finish(faults));
  EXPECT_TRUE(faults.empty());
}

}  // namespace
}  // namespace tagfmt
