// The energy accumulator: which arrays a request creates, their lengths, the
// zeroed whole-model arrays, and the work flag the transient solver reads.
// Writing every value of every array checks the lengths under ASan.

#include <gtest/gtest.h>

#include <cstddef>

#include "QVADyn/QVADynCore/QVADynEnergy.h"
#include "platform/base/QVABasException.h"

namespace {

TEST(QVADynEnergy, RequestNineMakesModalAndWholeModelKineticEnergyOnly) {
  const int m = 3;
  const int cases = 2;
  const int frames = 4;
  QVADynEnergy energy(9, m, cases, frames);
  EXPECT_EQ(energy.Request(), 9);
  EXPECT_EQ(energy.NumberOfModes(), m);
  EXPECT_EQ(energy.NumberOfCases(), cases);
  EXPECT_EQ(energy.NumberOfFrames(), frames);
  EXPECT_FALSE(energy.WantsWork());

  for (int kind = 0; kind < QVADynEnergy::kNumberOfKinds; ++kind) {
    const bool requested = kind == QVADynEnergyKE || kind == QVADynEnergyAllKE;
    EXPECT_EQ(energy.IsRequested(kind), requested) << "kind " << kind;
    EXPECT_EQ(energy.Array(kind) != nullptr, requested) << "kind " << kind;
  }
  ASSERT_EQ(energy.Length(QVADynEnergyKE), static_cast<std::size_t>(m * cases * frames));
  ASSERT_EQ(energy.Length(QVADynEnergyAllKE), static_cast<std::size_t>(cases * frames));
  EXPECT_EQ(energy.Length(QVADynEnergySE), 0u);

  // Whole-model sums start at zero; the modal array takes every value the
  // solver writes, frame-major: (j * N + c) * m + k.
  const double* allKE = energy.Array(QVADynEnergyAllKE);
  for (int i = 0; i < cases * frames; ++i) EXPECT_EQ(allKE[i], 0.0);
  double* ke = energy.Array(QVADynEnergyKE);
  for (int j = 0; j < frames; ++j) {
    for (int c = 0; c < cases; ++c) {
      for (int k = 0; k < m; ++k) ke[(j * cases + c) * m + k] = 100.0 * j + 10.0 * c + k;
    }
  }
  const QVADynEnergy& constEnergy = energy;
  EXPECT_EQ(constEnergy.Array(QVADynEnergyKE)[(3 * cases + 1) * m + 2], 312.0);
}

TEST(QVADynEnergy, WorkOfEitherKindSetsWantsWork) {
  EXPECT_TRUE(QVADynEnergy(4, 2, 1, 3).WantsWork());
  EXPECT_TRUE(QVADynEnergy(32, 2, 1, 3).WantsWork());
  EXPECT_FALSE(QVADynEnergy(1 | 2 | 8 | 16, 2, 1, 3).WantsWork());
}

TEST(QVADynEnergy, EmptyRequestAndUnknownKindsGiveNoArray) {
  const QVADynEnergy none(0, 4, 2, 5);
  for (int kind = -1; kind <= QVADynEnergy::kNumberOfKinds; ++kind) {
    EXPECT_EQ(none.Array(kind), nullptr) << "kind " << kind;
  }
  QVADynEnergy all(63 | 64 | 128, 1, 1, 2);  // bits above kind 5 are ignored
  EXPECT_NE(all.Array(QVADynEnergyAllWork), nullptr);
  EXPECT_EQ(all.Array(6), nullptr);
  EXPECT_EQ(all.Array(-1), nullptr);
  EXPECT_FALSE(all.IsRequested(6));
}

TEST(QVADynEnergy, WholeModelArraysAreZeroedModalArraysFilledBySolver) {
  const int m = 5;
  const int cases = 3;
  const int frames = 7;
  QVADynEnergy energy(63, m, cases, frames);
  for (int kind = QVADynEnergyAllKE; kind <= QVADynEnergyAllWork; ++kind) {
    const double* values = energy.Array(kind);
    ASSERT_EQ(energy.Length(kind), static_cast<std::size_t>(cases * frames));
    for (int i = 0; i < cases * frames; ++i) EXPECT_EQ(values[i], 0.0) << "kind " << kind;
  }
  for (int kind = QVADynEnergyKE; kind <= QVADynEnergyWork; ++kind) {
    ASSERT_EQ(energy.Length(kind), static_cast<std::size_t>(m * cases * frames));
    double* values = energy.Array(kind);
    for (int i = 0; i < m * cases * frames; ++i) values[i] = kind + i;
    EXPECT_EQ(values[m * cases * frames - 1], kind + m * cases * frames - 1.0);
  }
}

TEST(QVADynEnergy, NegativeCountsAreRefused) {
  try {
    QVADynEnergy energy(1, 2, -1, 3);
    ADD_FAILURE() << "no exception";
  } catch (const QVABasError& error) {
    EXPECT_EQ(error.ErrorNumber(), kQVABasInvalidArgument);
    EXPECT_STREQ(error.what(),
                 "QVADynEnergy: negative count among 2 modes, -1 load cases and 3 frames");
  }
}

TEST(QVADynEnergy, EmptyDimensionsGiveEmptyArrays) {
  const QVADynEnergy energy(63, 0, 2, 3);
  EXPECT_EQ(energy.Length(QVADynEnergySE), 0u);
  EXPECT_EQ(energy.Length(QVADynEnergyAllSE), 6u);
  EXPECT_TRUE(energy.WantsWork());
}

}  // namespace
