#pragma once

// The unit of the tests' floating-point tolerances. Every tolerance is a
// multiple of machine epsilon scaled by the size of what is compared, stated
// and justified where it is used:
//
//   // Backward-stable solve of order n: error ~ n eps |x|.
//   EXPECT_NEAR(x, exact, 8 * n * kQVAEps * std::fabs(exact));

#include <limits>

// Machine epsilon of double, 2^-52 (not the 2.22e-16 that the library's
// thresholds write).
inline constexpr double kQVAEps = std::numeric_limits<double>::epsilon();
