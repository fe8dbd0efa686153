// Modal damping matrices of the four kinds from projected matrices and per-mode records.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"

namespace {

QVADynDiagonalDamping Record(double structural, double xi, double alpha, double beta) {
  QVADynDiagonalDamping record;
  record.structural = structural;
  record.criticalFraction = xi;
  record.massFactor = alpha;
  record.stiffnessFactor = beta;
  return record;
}

// A projected matrix with entry (i, j) = 10 i + j.
std::unique_ptr<QVASrvScratchDenseMatrix> Projected(int size) {
  auto matrix = std::make_unique<QVASrvScratchDenseMatrix>(size, size, size, size);
  QVASrvMatrix values(size, size);
  for (int column = 0; column < size; ++column) {
    for (int row = 0; row < size; ++row) values(row, column) = 10.0 * row + column;
  }
  matrix->SetValues(0, size - 1, 0, size - 1, values);
  return matrix;
}

void ExpectUnsupported(const std::function<void()>& call, int line) {
  try {
    call();
    ADD_FAILURE() << "no QVADynUnsupportedDamping raised";
  } catch (const QVADynUnsupportedDamping& error) {
    EXPECT_EQ(error.ErrorNumber(), 223);
    EXPECT_STREQ(error.File().Text(), "QVADyn/QVADynCore/impl/QVADynModalDamping");
    EXPECT_EQ(error.Line(), line);
  }
}

}  // namespace

TEST(QVADynModalDampingTest, NothingGivenYieldsDiagonalZerosAndUnsupportedKindsRaise) {
  const QVADynModalDamping damping(nullptr, 0, nullptr, nullptr, nullptr);
  for (const QVADynDampingType kind :
       {QVADynViscousDamping, QVADynStructuralDamping, QVADynAcousticViscousDamping}) {
    EXPECT_FALSE(damping.HasDamping(kind)) << kind;
  }
  const double stiffness[] = {400.0, 900.0, 1600.0};
  for (const QVADynDampingType kind :
       {QVADynViscousDamping, QVADynStructuralDamping, QVADynAcousticViscousDamping,
        QVADynAcousticStructuralDamping}) {
    std::unique_ptr<QVASrvMatrix> matrix(
        damping.GetModalDamping(kind, false, 3, nullptr, stiffness, 0));
    EXPECT_TRUE(matrix->IsDiagonal()) << kind;
    EXPECT_EQ(matrix->NumberOfRows(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ((*matrix)(i, i), 0.0);
  }
  // Kind 3 has a matrix but no HasDamping; kind 4 is none.
  ExpectUnsupported([&] { damping.HasDamping(QVADynAcousticStructuralDamping); }, 62);
  ExpectUnsupported(
      [&] {
        delete damping.GetModalDamping(static_cast<QVADynDampingType>(4), false, 3, nullptr,
                                       stiffness, 0);
      },
      227);
}

// Worked values: xi = 0.05 at lambda = 400 gives 2 * 20 * 0.05 = 2.0, s = 0.02
// at lambda = 400 gives 8.0. Two or three roundings of numbers of order 1:
// EXPECT_DOUBLE_EQ (4 ulp) holds them.
TEST(QVADynModalDampingTest, WorkedValuesOfTheFormulas) {
  const QVADynDiagonalDamping records[] = {Record(0.02, 0.05, 0.0, 0.0),
                                           Record(0.0, 0.0, 0.3, 0.001)};
  const QVADynModalDamping damping(records, 2, nullptr, nullptr, nullptr);
  const double stiffness[] = {400.0, 2500.0};
  const int modes[] = {0, 1};

  std::unique_ptr<QVASrvMatrix> viscous(
      damping.GetModalDamping(QVADynViscousDamping, false, 2, modes, stiffness, 0));
  EXPECT_DOUBLE_EQ((*viscous)(0, 0), 2.0);
  EXPECT_DOUBLE_EQ((*viscous)(1, 1), 0.3 + 0.001 * 2500.0);  // alpha + beta lambda

  std::unique_ptr<QVASrvMatrix> structural(
      damping.GetModalDamping(QVADynStructuralDamping, false, 2, modes, stiffness, 0));
  EXPECT_DOUBLE_EQ((*structural)(0, 0), 8.0);
  EXPECT_EQ((*structural)(1, 1), 0.0);

  // The acoustic kinds read the records from the offset on: one acoustic mode
  // whose record is record 1.
  const double acousticStiffness[] = {100.0};
  std::unique_ptr<QVASrvMatrix> acoustic(
      damping.GetModalDamping(QVADynAcousticViscousDamping, false, 1, modes, acousticStiffness, 1));
  EXPECT_DOUBLE_EQ((*acoustic)(0, 0), 0.3 + 0.001 * 100.0);
  std::unique_ptr<QVASrvMatrix> acousticStructural(damping.GetModalDamping(
      QVADynAcousticStructuralDamping, false, 1, modes, acousticStiffness, 0));
  EXPECT_DOUBLE_EQ((*acousticStructural)(0, 0), 0.02 * 100.0);
}

// Kind 0 takes |lambda| < sqrt(2.22e-16) = 1.48997e-08 (the literal, not machine epsilon) as 0;
// kind 2 does not. lambda = 1.49e-08 lies between the two roots and counts in full.
TEST(QVADynModalDampingTest, SmallEigenvalueThresholdOfViscousDamping) {
  const double xi = 0.05;
  const double alpha = 0.5;
  const double beta = 3.0;
  const QVADynDiagonalDamping records[] = {
      Record(0.0, xi, alpha, beta), Record(0.0, xi, alpha, beta), Record(0.0, xi, alpha, beta)};
  const QVADynModalDamping damping(records, 3, nullptr, nullptr, nullptr);
  const double stiffness[] = {1e-9, 1.49e-8, -1e-9};

  std::unique_ptr<QVASrvMatrix> viscous(
      damping.GetModalDamping(QVADynViscousDamping, false, 3, nullptr, stiffness, 0));
  EXPECT_EQ((*viscous)(0, 0), alpha);  // both lambda terms vanish exactly
  EXPECT_EQ((*viscous)(2, 2), alpha);
  // One root, three products and two sums rounded once each: below 6 eps ~ 1.3e-15 relative.
  const double aboveBound = 2.0 * xi * std::sqrt(1.49e-8) + alpha + beta * 1.49e-8;
  EXPECT_NEAR((*viscous)(1, 1), aboveBound, 1.5e-15 * aboveBound);
  EXPECT_NE((*viscous)(1, 1), alpha);

  std::unique_ptr<QVASrvMatrix> acoustic(
      damping.GetModalDamping(QVADynAcousticViscousDamping, false, 3, nullptr, stiffness, 0));
  const double inFull = 2.0 * xi * std::sqrt(1e-9) + alpha + beta * 1e-9;
  EXPECT_NEAR((*acoustic)(0, 0), inFull, 1.5e-15 * inFull);
  // lambda <= 0 adds no xi term, but beta * lambda in full (no threshold).
  EXPECT_DOUBLE_EQ((*acoustic)(2, 2), alpha + beta * -1e-9);
}

TEST(QVADynModalDampingTest, ProjectedMatrixOfExactlyNRowsIsTakenAsItStands) {
  const std::unique_ptr<QVASrvScratchDenseMatrix> projected = Projected(3);
  const QVADynModalDamping damping(nullptr, 0, projected.get(), nullptr, nullptr);
  const int modes[] = {2, 0, 1};  // not used for a matrix of exactly n rows
  const double stiffness[] = {1.0, 1.0, 1.0};
  std::unique_ptr<QVASrvMatrix> matrix(
      damping.GetModalDamping(QVADynViscousDamping, false, 3, modes, stiffness, 0));
  EXPECT_TRUE(matrix->IsSymmetric());
  EXPECT_FALSE(matrix->IsDiagonal());
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ((*matrix)(i, j), 10.0 * i + j);
  }
}

TEST(QVADynModalDampingTest, LargerProjectedMatrixIsSelectedByModes) {
  const std::unique_ptr<QVASrvScratchDenseMatrix> projected = Projected(5);
  const QVADynDiagonalDamping records[] = {Record(0.5, 0.0, 0.0, 0.0), Record(0.25, 0.0, 0.0, 0.0)};
  const QVADynModalDamping damping(records, 2, nullptr, projected.get(), nullptr);
  const int modes[] = {4, 1};
  const double stiffness[] = {2.0, 4.0};
  std::unique_ptr<QVASrvMatrix> matrix(
      damping.GetModalDamping(QVADynStructuralDamping, false, 2, modes, stiffness, 0));
  // Projected entries plus s * lambda on the diagonal; all exact in binary.
  EXPECT_EQ((*matrix)(0, 0), 44.0 + 1.0);
  EXPECT_EQ((*matrix)(0, 1), 41.0);
  EXPECT_EQ((*matrix)(1, 0), 14.0);
  EXPECT_EQ((*matrix)(1, 1), 11.0 + 1.0);

  // Diagonal only: as if there were no projected matrix.
  std::unique_ptr<QVASrvMatrix> diagonal(
      damping.GetModalDamping(QVADynStructuralDamping, true, 2, modes, stiffness, 0));
  EXPECT_TRUE(diagonal->IsDiagonal());
  EXPECT_EQ((*diagonal)(0, 0), 1.0);
  EXPECT_EQ((*diagonal)(1, 1), 1.0);
  const QVASrvMatrix& readOnly = *diagonal;
  EXPECT_EQ(readOnly(0, 1), 0.0);
}

TEST(QVADynModalDampingTest, WhichKindsOfDampingExist) {
  const std::unique_ptr<QVASrvScratchDenseMatrix> projected = Projected(2);
  const QVADynDiagonalDamping none[] = {Record(0.0, 0.0, 0.0, 0.0), Record(0.0, 0.0, -1.0, 0.0)};
  const QVADynDiagonalDamping xiOnly[] = {Record(0.0, 0.0, 0.0, 0.0), Record(0.0, 0.01, 0.0, 0.0)};
  const QVADynDiagonalDamping structuralOnly[] = {Record(0.0, 0.0, 0.0, 0.0),
                                                  Record(0.01, 0.0, 0.0, 0.0)};

  // Zero and negative values count as no damping.
  EXPECT_FALSE(
      QVADynModalDamping(none, 2, nullptr, nullptr, nullptr).HasDamping(QVADynViscousDamping));
  EXPECT_FALSE(
      QVADynModalDamping(none, 2, nullptr, nullptr, nullptr).HasDamping(QVADynStructuralDamping));
  EXPECT_TRUE(
      QVADynModalDamping(xiOnly, 2, nullptr, nullptr, nullptr).HasDamping(QVADynViscousDamping));
  EXPECT_FALSE(
      QVADynModalDamping(xiOnly, 2, nullptr, nullptr, nullptr).HasDamping(QVADynStructuralDamping));
  EXPECT_TRUE(QVADynModalDamping(structuralOnly, 2, nullptr, nullptr, nullptr)
                  .HasDamping(QVADynStructuralDamping));
  // Records given with a count of 0 are not read.
  EXPECT_FALSE(
      QVADynModalDamping(xiOnly, 0, nullptr, nullptr, nullptr).HasDamping(QVADynViscousDamping));
  // The acoustic kind looks at its matrix only.
  EXPECT_FALSE(QVADynModalDamping(xiOnly, 2, nullptr, nullptr, nullptr)
                   .HasDamping(QVADynAcousticViscousDamping));
  // A projected matrix is damping of its kind.
  EXPECT_TRUE(QVADynModalDamping(nullptr, 0, projected.get(), nullptr, nullptr)
                  .HasDamping(QVADynViscousDamping));
  EXPECT_TRUE(QVADynModalDamping(nullptr, 0, nullptr, nullptr, projected.get())
                  .HasDamping(QVADynAcousticViscousDamping));
}
