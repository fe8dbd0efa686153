// QVA_ASSERT: compiled out under NDEBUG (its condition is not evaluated);
// otherwise a false condition aborts after printing the condition, the place
// and the named values.

#include <gtest/gtest.h>

#include "internal/QVAAssert.h"

namespace {

int CountedTrue(int& evaluations) {
  ++evaluations;
  return 1;
}

TEST(QVAAssertTest, EvaluatesItsConditionOnlyInDebugBuilds) {
  int evaluations = 0;
  QVA_ASSERT(CountedTrue(evaluations) == 1, evaluations);
#ifdef NDEBUG
  EXPECT_EQ(evaluations, 0);
#else
  EXPECT_EQ(evaluations, 1);
#endif
}

#ifndef NDEBUG
TEST(QVAAssertDeathTest, PrintsConditionPlaceAndValues) {
  const int row = 7;
  const int rows = 7;
  EXPECT_DEATH(QVA_ASSERT(row < rows, row, rows),
               "QVA_ASSERT failed: row < rows\n  at .*QVAAssertTest\\.cpp:[0-9]+\n"
               "  with row, rows = 7, 7");
  EXPECT_DEATH(QVA_ASSERT(rows == 0), "QVA_ASSERT failed: rows == 0\n  at ");
}
#endif

}  // namespace
