#include "QVADyn/QVADynCore/QVADynModalComponent.h"

#include <gtest/gtest.h>

#include "platform/base/QVABasModules.h"

// The first start starts every platform module and the core once; later starts
// only count; the balancing stop stops them all.
TEST(QVADynModalComponent, StartsAndStopsPlatformModulesOnce) {
  int modules = 0;
  QVADynModalComponent_initialize(modules);
  EXPECT_EQ(modules, 14);  // the component, twelve platform modules and the core
  EXPECT_EQ(QVABasModuleStartCount("QVABasAlloc"), 1);
  EXPECT_EQ(QVABasModuleStartCount("QVAMtxCoreModule"), 1);
  QVADynModalComponent_initialize(modules);
  EXPECT_EQ(modules, 14);
  EXPECT_EQ(QVABasModuleStartCount("QVASimInterface"), 1);

  QVADynModalComponent_finalize(modules);
  EXPECT_EQ(modules, 14);
  EXPECT_EQ(QVABasModuleStartCount("QVABasOrvia"), 1);
  QVADynModalComponent_finalize(modules);
  EXPECT_EQ(modules, 0);
  EXPECT_EQ(QVABasModuleStartCount("QVABasAlloc"), 0);
  EXPECT_EQ(QVABasModuleStartCount("QVAFsmShared"), 0);
}

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
