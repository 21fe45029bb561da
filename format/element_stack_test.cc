// The nesting check: every fault, in order, and the verdict.
#include "format/element_stack.h"

#include <gtest/gtest.h>

#include "format/format.h"

namespace tagfmt {

namespace {

constexpr int kTable = 0, kTr = 1, kTd = 3, kForm = 4;
constexpr FaultKind kMismatch = FaultKind::kMismatch;

TEST(ElementStack, FindsMismatchesAgainstTheTopEntry) {
  NestingFaults faults;
  ElementStack stack;
  stack.open(kTable, 1, 1, 0);
  stack.open(kTr, 2, 2, 10);
  stack.open(kTd, 3, 3, 20);
  EXPECT_EQ(stack.close(kTr, 3, 25, faults), 3);
  EXPECT_EQ(stack.close(kTable, 4, 30, faults), 2);
  EXPECT_EQ(stack.close(kForm, 5, 40, faults), 1);
  EXPECT_EQ(stack.close(kTd, 6, 50, faults), 0);
  EXPECT_FALSE(stack.finish(faults));
  const NestingFaults expected = {
      {kMismatch, kTr, kTd, 3, 3, 25, 20},
      {kMismatch, kTable, kTr, 4, 2, 30, 10},
      {kMismatch, kForm, kTable, 5, 1, 40, 0},
      {FaultKind::kUnexpected, kTd, -1, 6, 0, 50, 0},
  };
  EXPECT_EQ(faults, expected);
}

TEST(ElementStack, FindsWhatIsLeftOpenInnermostFirst) {
  NestingFaults faults;
  ElementStack stack;
  stack.open(kTable, 1, 5, 4);
  stack.open(kTr, 2, 6, 12);
  EXPECT_FALSE(stack.finish(faults));
  const NestingFaults expected = {
      {FaultKind::kMissing, -1, kTr, 6, 6, 12, 12},
      {FaultKind::kMissing, -1, kTable, 5, 5, 4, 4},
  };
  EXPECT_EQ(faults, expected);
}

TEST(ElementStack, SoundNestingFindsNothing) {
  NestingFaults faults;
  ElementStack stack;
  stack.open(kTable, 7, 1, 0);
  stack.open(kTd, 8, 1, 7);
  EXPECT_EQ(stack.close(kTd, 1, 11, faults), 8);
  EXPECT_EQ(stack.close(kTable, 2, 17, faults), 7);
  EXPECT_TRUE(stack.finish(faults));
  EXPECT_TRUE(faults.empty());
}

}  // namespace
}  // namespace tagfmt
