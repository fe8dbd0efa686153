#include <gtest/gtest.h>

#include "QVADyn/QVADynCore/QVADynModalComponent.h"
#include "platform/base/QVABasModules.h"

// A surplus stop only moves the count below zero; the next start is again not
// a first start until the count is back at zero.
TEST(QVADynModalComponent, SurplusFinalizeOnlyMovesTheCount) {
  int modules = 0;
  QVADynModalComponent_finalize(modules);
  EXPECT_EQ(modules, 0);
  QVADynModalComponent_initialize(modules);
  EXPECT_EQ(modules, 0);
  EXPECT_EQ(QVABasModuleStartCount("QVABasAlloc"), 0);
  QVADynModalComponent_initialize(modules);
  EXPECT_EQ(modules, 14);
  QVADynModalComponent_finalize(modules);
  EXPECT_EQ(modules, 0);
}

// Every platform module the component rests on runs exactly once while the
// component is started, whatever module count the caller brings along, and the
// count is back at its starting value after the balancing stop.
TEST(QVADynModalComponent, StartsEveryPlatformModuleAndRestoresTheCallersCount) {
  const char* platformModules[] = {"QVABasAlloc",     "QVABasCoreUtils",  "QVABasGenericsLib",
                                   "QVABasShared",    "QVABasOrvia",      "QVASimContainers",
                                   "QVASimInterface", "QVASimObjectsMod", "QVASrvBasic",
                                   "QVAFsmShared",    "QVABlaModule",     "QVAMtxCoreModule"};
  int modules = 5;  // modules the caller started before
  QVADynModalComponent_initialize(modules);
  EXPECT_EQ(modules, 5 + 14);
  for (const char* name : platformModules) EXPECT_EQ(QVABasModuleStartCount(name), 1) << name;
  QVADynModalComponent_finalize(modules);
  EXPECT_EQ(modules, 5);
  for (const char* name : platformModules) EXPECT_EQ(QVABasModuleStartCount(name), 0) << name;
}

// The core module counts on its own: only its first start and its balancing
// stop move the caller's module count, and it starts nothing else.
TEST(QVADynModalComponent, CoreModuleOnlyCounts) {
  int modules = 0;
  QVADynCore_initialize(modules);
  QVADynCore_initialize(modules);
  EXPECT_EQ(modules, 1);
  EXPECT_EQ(QVABasModuleStartCount("QVABasAlloc"), 0);
  QVADynCore_finalize(modules);
  EXPECT_EQ(modules, 1);
  QVADynCore_finalize(modules);
  EXPECT_EQ(modules, 0);
  QVADynCore_finalize(modules);  // surplus stop: count below zero, nothing changes
  EXPECT_EQ(modules, 0);
  QVADynCore_initialize(modules);  // back to zero, not a first start
  EXPECT_EQ(modules, 0);
}
