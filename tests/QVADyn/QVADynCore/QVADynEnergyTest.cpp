// The energy accumulator: arrays and lengths per request (every value written, checked under
// ASan), zeroed whole-model arrays, and the work flag.

#include <gtest/gtest.h>

#include <cstddef>

#include "QVADyn/QVADynCore/QVADynEnergy.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

// Work of either kind (bits 2 and 5) asks for work; an empty request and
// unknown kinds give no array, and bits above kind 5 are ignored.
TEST(QVADynEnergy, RequestsWorkAndArraysByKind) {
  EXPECT_TRUE(QVADynEnergy(4, 2, 1, 3).WantsWork());
  EXPECT_TRUE(QVADynEnergy(32, 2, 1, 3).WantsWork());
  EXPECT_FALSE(QVADynEnergy(1 | 2 | 8 | 16, 2, 1, 3).WantsWork());
  const QVADynEnergy none(0, 4, 2, 5);
  for (int kind = -1; kind <= QVADynEnergy::kNumberOfKinds; ++kind) {
    EXPECT_EQ(none.Array(kind), nullptr) << "kind " << kind;
  }
  QVADynEnergy all(63 | 64 | 128, 1, 1, 2);
  EXPECT_NE(all.Array(QVADynEnergyAllWork), nullptr);
  EXPECT_EQ(all.Array(6), nullptr);
  EXPECT_FALSE(all.IsRequested(6));
}

TEST(QVADynEnergy, WholeModelArraysAreZeroedModalArraysFilledBySolver) {
  const int m = 5;
  const int cases = 3;
  const int frames = 7;
  QVADynEnergy energy(63, m, cases, frames);
  for (int kind = QVADynEnergyAllKE; kind <= QVADynEnergyAllWork; ++kind) {
    const double* values = energy.Array(kind);
    ASSERT_EQ(energy.Length(kind), QVAIndex(cases * frames));
    for (int i = 0; i < cases * frames; ++i) EXPECT_EQ(values[i], 0.0) << "kind " << kind;
  }
  for (int kind = QVADynEnergyKE; kind <= QVADynEnergyWork; ++kind) {
    ASSERT_EQ(energy.Length(kind), QVAIndex(m * cases * frames));
    double* values = energy.Array(kind);
    for (int i = 0; i < m * cases * frames; ++i) values[i] = kind + i;
    EXPECT_EQ(values[m * cases * frames - 1], kind + m * cases * frames - 1.0);
  }
}

TEST(QVADynEnergy, NegativeCountsAreRefusedAndEmptyDimensionsGiveEmptyArrays) {
  EXPECT_EQ(RaisedMessage<QVABasError>([] { QVADynEnergy(1, 2, -1, 3); },
                                       [](const QVABasError& error) {
                                         EXPECT_EQ(error.ErrorNumber(), kQVABasInvalidArgument);
                                       }),
            "QVADynEnergy: negative count among 2 modes, -1 load cases and 3 frames");
  const QVADynEnergy energy(63, 0, 2, 3);
  EXPECT_EQ(energy.Length(QVADynEnergySE), 0u);
  EXPECT_EQ(energy.Length(QVADynEnergyAllSE), 6u);
}

}  // namespace
