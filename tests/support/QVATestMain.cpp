// Test main of every test program. In Debug builds division by zero and
// invalid operations trap, so that a NaN or an infinity produced by mistake
// stops the test at its source; tests that produce them on purpose use
// QVAFloatingPointTrapsOff.

#include <gtest/gtest.h>

#include "tests/support/QVAFloatingPoint.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifndef NDEBUG
  QVAEnableFloatingPointTraps();
#endif
  return RUN_ALL_TESTS();
}
