// The stopwatch: a new timer reads zero, readings never decrease while it runs,
// a stopped timer keeps its total, and Reset returns to zero. No duration is
// asserted beyond "not less than before": the machine may be loaded.

#include <gtest/gtest.h>

#include "platform/base/omi_Timer.h"

TEST(omi_Timer, ReadingsAreMonotonic) {
  omi_Timer timer;
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(timer.ElapsedSeconds(), 0.0);
  timer.Stop();  // stopping a stopped timer changes nothing
  EXPECT_EQ(timer.ElapsedSeconds(), 0.0);

  timer.Start();
  EXPECT_TRUE(timer.IsRunning());
  double previous = timer.ElapsedSeconds();
  EXPECT_GE(previous, 0.0);
  for (int i = 0; i < 1000; ++i) {
    const double now = timer.ElapsedSeconds();
    ASSERT_GE(now, previous);
    previous = now;
  }
  timer.Stop();
  const double total = timer.ElapsedSeconds();
  EXPECT_GE(total, previous);
  EXPECT_EQ(timer.ElapsedSeconds(), total);  // a stopped timer does not move

  timer.Start();
  timer.Stop();
  EXPECT_GE(timer.ElapsedSeconds(), total);  // runs add up

  timer.Reset();
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(timer.ElapsedSeconds(), 0.0);
  timer.Restart();
  EXPECT_TRUE(timer.IsRunning());
  EXPECT_GE(timer.ElapsedSeconds(), 0.0);
}
