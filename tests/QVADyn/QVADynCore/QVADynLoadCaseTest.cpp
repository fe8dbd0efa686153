// Load cases, modal forces and primary base motions: modal forces of several
// forces, parts, frames and amplitude tables against a plain-loop reference,
// the summation of base motions, ownership of adopted objects (the suite also
// runs under ASan), and the refusal of inputs that would read or write outside
// their arrays.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynColumnTotalException.h"
#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynLoadCase.h"
#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"
#include "QVADyn/QVADynCore/QVADynModeNumberMismatch.h"
#include "QVADyn/QVADynCore/QVADynPrimaryBaseMotion.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
// Written into output arrays before a call that must leave them unchanged.
constexpr double kSentinel = -777.25;

// A rows x columns matrix (allocated with new) of values in [-1, 1].
QVASrvMatrix* RandomMatrix(int rows, int columns, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  auto* matrix = new QVASrvMatrix(rows, columns);
  for (int column = 0; column < columns; ++column) {
    for (int row = 0; row < rows; ++row) (*matrix)(row, column) = value(generator);
  }
  return matrix;
}

std::vector<double> RandomValues(int count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  std::vector<double> values(static_cast<std::size_t>(count));
  for (double& v : values) v = value(generator);
  return values;
}

// What the test itself keeps of a force or motion handed to a load case: an
// independent copy of the data, read by the reference below.
struct ForceCopy {
  int loadCase;
  std::vector<double> values;  // column-major, rows x (nReal + nImag)
  int rows;
  std::vector<int> realAmplitudes;
  std::vector<int> imaginaryAmplitudes;
};

struct MotionCopy {
  int loadCase;
  std::vector<double> factors;
  QVADynNumberType part;
  std::vector<double> accelerations;
};

// Modal force of one load case, one part and one frame by plain loops over
// the copies, with the sum of the magnitudes of its terms for the tolerance.
struct Reference {
  std::vector<double> value;
  std::vector<double> magnitude;
  int terms = 0;
};

Reference ReferenceForce(int loadCase, int numberOfModes, const std::vector<ForceCopy>& forces,
                         const std::vector<MotionCopy>& motions, const QVASrvMatrix& table,
                         QVADynNumberType part, int frame) {
  Reference reference;
  reference.value.assign(static_cast<std::size_t>(numberOfModes), 0.0);
  reference.magnitude.assign(static_cast<std::size_t>(numberOfModes), 0.0);
  for (const ForceCopy& force : forces) {
    if (force.loadCase != loadCase) continue;
    const bool real = part == QVADynRealPart;
    const std::vector<int>& indices = real ? force.realAmplitudes : force.imaginaryAmplitudes;
    const int firstColumn = real ? 0 : static_cast<int>(force.realAmplitudes.size());
    for (std::size_t j = 0; j < indices.size(); ++j) {
      const double amplitude = table(indices[j], frame);
      for (int k = 0; k < numberOfModes; ++k) {
        const double term = force.values[static_cast<std::size_t>(
                                (firstColumn + static_cast<int>(j)) * force.rows + k)] *
                            amplitude;
        reference.value[static_cast<std::size_t>(k)] += term;
        reference.magnitude[static_cast<std::size_t>(k)] += std::fabs(term);
      }
      ++reference.terms;
    }
  }
  for (const MotionCopy& motion : motions) {
    if (motion.loadCase != loadCase || motion.part != part) continue;
    const double acceleration = motion.accelerations[static_cast<std::size_t>(frame)];
    for (std::size_t k = 0; k < motion.factors.size(); ++k) {
      reference.value[k] -= motion.factors[k] * acceleration;
      reference.magnitude[k] += std::fabs(motion.factors[k] * acceleration);
    }
    ++reference.terms;
  }
  return reference;
}

// Builds a force over a new random matrix, keeps its copy and hands it to the
// load case.
void AddRandomForce(QVADynLoadCaseList& list, int loadCase, int rows,
                    const std::vector<int>& realAmplitudes,
                    const std::vector<int>& imaginaryAmplitudes, unsigned seed,
                    std::vector<ForceCopy>& copies) {
  const int nReal = static_cast<int>(realAmplitudes.size());
  const int nImag = static_cast<int>(imaginaryAmplitudes.size());
  QVASrvMatrix* matrix = RandomMatrix(rows, nReal + nImag, seed);
  copies.push_back(
      {loadCase, std::vector<double>(matrix->Values(), matrix->Values() + rows * (nReal + nImag)),
       rows, realAmplitudes, imaginaryAmplitudes});
  list.LoadCase(loadCase).AdoptForce(
      new QVADynForce(matrix, realAmplitudes.data(), nReal, imaginaryAmplitudes.data(), nImag));
}

void AddRandomMotion(QVADynLoadCaseList& list, int loadCase, int nFactors, QVADynNumberType part,
                     int direction, int frames, unsigned seed, std::vector<MotionCopy>& copies) {
  const std::vector<double> factors = RandomValues(nFactors, seed);
  const std::vector<double> accelerations = RandomValues(frames, seed + 1000);
  copies.push_back({loadCase, factors, part, accelerations});
  list.LoadCase(loadCase).AdoptPrimaryBase(new QVADynPrimaryBaseMotion(
      factors.data(), nFactors, part, direction, frames, accelerations.data()));
}

// Compares every column of GetModalForces at every frame and part with the
// reference.
void ExpectModalForcesMatchReference(const QVADynLoadCaseList& list,
                                     const std::vector<ForceCopy>& forces,
                                     const std::vector<MotionCopy>& motions) {
  const int m = list.NumberOfActiveModes();
  const int cases = list.NumberOfCases();
  const QVASrvMatrix& table = *list.AmplitudeTable();
  for (QVADynNumberType part : {QVADynRealPart, QVADynImaginaryPart}) {
    for (int frame = 0; frame < table.NumberOfColumns(); ++frame) {
      std::vector<double> out(static_cast<std::size_t>(m * cases), kSentinel);
      list.GetModalForces(out.data(), part, frame);
      for (int c = 0; c < cases; ++c) {
        const Reference reference = ReferenceForce(c, m, forces, motions, table, part, frame);
        for (int k = 0; k < m; ++k) {
          // A sum of `terms` products in another order than dgemv's:
          // |error| <= terms * eps * sum |term| (each product and each addition
          // rounds once); twice that for margin.
          const double tolerance =
              2.0 * (reference.terms + 1) * kEps * reference.magnitude[static_cast<std::size_t>(k)];
          EXPECT_NEAR(out[static_cast<std::size_t>(c * m + k)],
                      reference.value[static_cast<std::size_t>(k)], tolerance)
              << "case " << c << " mode " << k << " frame " << frame << " part " << part;
        }
      }
    }
  }
}

// Runs `call`, which must raise QVABasError with `number`; returns its message.
template <class Call>
std::string PlatformError(Call call, int number) {
  try {
    call();
  } catch (const QVABasError& error) {
    EXPECT_EQ(error.ErrorNumber(), number) << error.what();
    return error.what();
  }
  ADD_FAILURE() << "no QVABasError raised";
  return {};
}

// ---------------------------------------------------------------------------
// Modal forces

TEST(QVADynLoadCaseList, LoadCaseWithNothingYieldsZeroColumn) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(3);
  QVADynLoadCase& last = list.LoadCase(2);
  EXPECT_EQ(list.NumberOfCases(), 3);
  EXPECT_EQ(&last, &list.ConstLoadCase(2));
  EXPECT_EQ(last.NumberOfForces(), 0);

  // No forces: no amplitude table is needed either.
  std::vector<double> out(9, kSentinel);
  list.GetModalForces(out.data(), QVADynRealPart, 5);
  for (double value : out) EXPECT_EQ(value, 0.0);
}

TEST(QVADynLoadCaseList, LoadCaseOnDemandKeepsExistingCases) {
  QVADynLoadCaseList list;
  QVADynLoadCase& first = list.LoadCase(0);
  list.LoadCase(3);
  EXPECT_EQ(list.NumberOfCases(), 4);
  EXPECT_EQ(&list.LoadCase(0), &first);  // growing the list does not move a case
  list.LoadCase(1);
  EXPECT_EQ(list.NumberOfCases(), 4);
}

// Small integers and binary fractions: every product and sum below is exact.
TEST(QVADynForce, WithoutImaginaryColumnsAddsOnlyToRealPart) {
  const int realAmplitudes[] = {1, 0};
  auto* matrix = new QVASrvMatrix(3, 2);
  const double values[] = {1, 3, 5, 2, 4, 6};  // | 1 2 | 3 4 | 5 6 | by rows
  for (int i = 0; i < 6; ++i) matrix->Values()[i] = values[i];
  const QVADynForce force(matrix, realAmplitudes, 2, nullptr, 0);
  EXPECT_EQ(force.NumberOfModes(), 3);
  EXPECT_EQ(force.NumberOfAmplitudes(QVADynImaginaryPart), 0);

  QVASrvMatrix table(2, 2);
  table(0, 1) = 0.5;  // amplitude 0, frame 1
  table(1, 1) = 2.0;  // amplitude 1, frame 1

  double column[3] = {10.0, 20.0, 30.0};
  force.AddModalForce(column, &table, QVADynImaginaryPart, 1);
  EXPECT_EQ(column[0], 10.0);
  EXPECT_EQ(column[1], 20.0);
  EXPECT_EQ(column[2], 30.0);

  // Column 0 scaled by amplitude 1 (2.0), column 1 by amplitude 0 (0.5).
  force.AddModalForce(column, &table, QVADynRealPart, 1);
  EXPECT_EQ(column[0], 10.0 + 1 * 2.0 + 2 * 0.5);
  EXPECT_EQ(column[1], 20.0 + 3 * 2.0 + 4 * 0.5);
  EXPECT_EQ(column[2], 30.0 + 5 * 2.0 + 6 * 0.5);
}

TEST(QVADynForce, ImaginaryBlockFollowsTheRealColumns) {
  const int realAmplitudes[] = {0};
  const int imaginaryAmplitudes[] = {1, 1};
  auto* matrix = new QVASrvMatrix(2, 3);
  const double values[] = {1, 2, 10, 20, 100, 200};
  for (int i = 0; i < 6; ++i) matrix->Values()[i] = values[i];
  const QVADynForce force(matrix, realAmplitudes, 1, imaginaryAmplitudes, 2);

  QVASrvMatrix table(2, 1);
  table(0, 0) = 4.0;
  table(1, 0) = 0.25;
  double column[2] = {0.0, 0.0};
  force.AddModalForce(column, &table, QVADynImaginaryPart, 0);
  EXPECT_EQ(column[0], (10.0 + 100.0) * 0.25);
  EXPECT_EQ(column[1], (20.0 + 200.0) * 0.25);
}

TEST(QVADynPrimaryBaseMotion, RealMotionSubtractsFromRealPartOnly) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(3);
  const double factors[] = {0.5, -2.0, 0.25};
  const double accelerations[] = {1.0, 4.0};
  list.LoadCase(0).AdoptPrimaryBase(
      new QVADynPrimaryBaseMotion(factors, 3, QVADynRealPart, 1, 2, accelerations));

  std::vector<double> out(3, kSentinel);
  list.GetModalForces(out.data(), QVADynRealPart, 1);
  EXPECT_EQ(out[0], -2.0);
  EXPECT_EQ(out[1], 8.0);
  EXPECT_EQ(out[2], -1.0);

  list.GetModalForces(out.data(), QVADynImaginaryPart, 1);
  for (double value : out) EXPECT_EQ(value, 0.0);

  // Directly on a column: the other part leaves it as it was.
  double column[3] = {1.0, 2.0, 3.0};
  list.ConstLoadCase(0).AddModalForce(column, nullptr, QVADynImaginaryPart, 0);
  EXPECT_EQ(column[0], 1.0);
  EXPECT_EQ(column[1], 2.0);
  EXPECT_EQ(column[2], 3.0);
}

TEST(QVADynPrimaryBaseMotion, FewerFactorsThanModesLoadTheLeadingModes) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(4);  // e.g. two structural and two acoustic modes
  const double factors[] = {1.0, 3.0};
  const double accelerations[] = {2.0};
  list.LoadCase(0).AdoptPrimaryBase(
      new QVADynPrimaryBaseMotion(factors, 2, QVADynRealPart, 3, 1, accelerations));
  std::vector<double> out(4, kSentinel);
  list.GetModalForces(out.data(), QVADynRealPart, 0);
  EXPECT_EQ(out[0], -2.0);
  EXPECT_EQ(out[1], -6.0);
  EXPECT_EQ(out[2], 0.0);
  EXPECT_EQ(out[3], 0.0);
}

// Five active modes, four load cases (one empty), forces with real and
// imaginary blocks, repeated amplitude indices, base motions of both parts and
// a diagonal force matrix; every frame and part against the plain loops, then
// again after a second amplitude table replaces the first.
TEST(QVADynLoadCaseList, ModalForcesMatchDenseReference) {
  const int m = 5;
  const int frames = 6;
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(m);
  list.AdoptAmplitudeTable(RandomMatrix(4, frames, 11));
  std::vector<ForceCopy> forces;
  std::vector<MotionCopy> motions;

  AddRandomForce(list, 0, m, {0, 3}, {2}, 21, forces);
  AddRandomForce(list, 0, m, {1}, {3, 0, 3}, 22, forces);
  AddRandomForce(list, 1, m, {2, 2, 1, 0}, {}, 23, forces);
  AddRandomMotion(list, 1, m, QVADynRealPart, 2, frames, 31, motions);
  AddRandomMotion(list, 1, m, QVADynImaginaryPart, 2, frames, 32, motions);
  AddRandomMotion(list, 3, m, QVADynRealPart, 6, frames, 33, motions);
  AddRandomForce(list, 3, m, {}, {1, 2}, 24, forces);
  ASSERT_EQ(list.NumberOfCases(), 4);  // case 2 is empty

  // A diagonal force matrix: mode k loaded by its own pattern.
  {
    auto* diagonal = new QVASrvMatrix(m, m, nullptr, true, true);
    std::vector<double> dense(static_cast<std::size_t>(m * m), 0.0);
    for (int k = 0; k < m; ++k) {
      diagonal->Values()[k] = 0.5 + k;
      dense[static_cast<std::size_t>(k * m + k)] = 0.5 + k;
    }
    const std::vector<int> real = {0, 1, 2};
    const std::vector<int> imaginary = {3, 0};
    forces.push_back({3, dense, m, real, imaginary});
    list.LoadCase(3).AdoptForce(new QVADynForce(diagonal, real.data(), 3, imaginary.data(), 2));
  }
  ExpectModalForcesMatchReference(list, forces, motions);

  list.AdoptAmplitudeTable(RandomMatrix(4, frames, 12));
  ExpectModalForcesMatchReference(list, forces, motions);
}

// The same sums through the force and load case directly, with a column that
// already holds values: both add, neither clears.
TEST(QVADynLoadCase, AddModalForceAddsToTheColumn) {
  const int m = 4;
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(m);
  list.AdoptAmplitudeTable(RandomMatrix(3, 2, 41));
  std::vector<ForceCopy> forces;
  std::vector<MotionCopy> motions;
  AddRandomForce(list, 0, m, {2, 0}, {1}, 42, forces);
  AddRandomMotion(list, 0, m, QVADynRealPart, 4, 2, 43, motions);

  const std::vector<double> start = RandomValues(m, 44);
  std::vector<double> column = start;
  list.ConstLoadCase(0).AddModalForce(column.data(), list.AmplitudeTable(), QVADynRealPart, 1);
  const Reference reference =
      ReferenceForce(0, m, forces, motions, *list.AmplitudeTable(), QVADynRealPart, 1);
  for (int k = 0; k < m; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    // As in ExpectModalForcesMatchReference, plus the start value's rounding.
    const double tolerance =
        2.0 * (reference.terms + 2) * kEps * (reference.magnitude[i] + std::fabs(start[i]));
    EXPECT_NEAR(column[i], start[i] + reference.value[i], tolerance) << "mode " << k;
  }
}

// ---------------------------------------------------------------------------
// Base motion per direction

TEST(QVADynLoadCase, BaseAccelerationSumsMotionsOfOnePart) {
  QVADynLoadCase loadCase;
  const double factors[] = {1.0};
  const double a1[] = {1.0, 0.5};
  const double a2[] = {2.0, 0.25};
  const double a3[] = {8.0, 16.0};
  const double a4[] = {32.0, 64.0};
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 2, 2, a1));
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 2, 2, a2));
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynImaginaryPart, 2, 2, a3));
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 5, 2, a4));

  double out[6];
  loadCase.GetBaseAcceleration(out, 1, false);
  const double real[6] = {0.0, 0.75, 0.0, 0.0, 64.0, 0.0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], real[i]) << "component " << i + 1;

  loadCase.GetBaseAcceleration(out, 1, true);
  const double imaginary[6] = {0.0, 16.0, 0.0, 0.0, 0.0, 0.0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], imaginary[i]) << "component " << i + 1;
}

TEST(QVADynLoadCase, BaseDisplacementAndVelocitySumEveryPart) {
  QVADynLoadCase loadCase;
  const double factors[] = {1.0};
  const double accelerations[] = {0.0, 0.0};
  auto* real = new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 3, 2, accelerations);
  auto* imaginary =
      new QVADynPrimaryBaseMotion(factors, 1, QVADynImaginaryPart, 3, 2, accelerations);
  const double d1[] = {1.0, 2.0};
  const double d2[] = {4.0, 8.0};
  const double v1[] = {0.5, 0.125};
  const double v2[] = {0.25, 0.0625};
  real->SetDisplacement(d1, 2);
  imaginary->SetDisplacement(d2, 2);
  real->SetVelocity(v1, 2);
  imaginary->SetVelocity(v2, 2);
  loadCase.AdoptPrimaryBase(real);
  loadCase.AdoptPrimaryBase(imaginary);

  double out[6];
  loadCase.GetBaseDisplacement(out, 1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], i == 2 ? 10.0 : 0.0);
  loadCase.GetBaseVelocity(out, 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], i == 2 ? 0.75 : 0.0);
}

// ---------------------------------------------------------------------------
// Ownership

// The 5-column matrix split 2 + 2 is refused before the force takes it: the
// caller still owns it, uses it and deletes it (ASan reports a use after free
// or a double free otherwise).
TEST(QVADynForce, ColumnTotalMismatchRaisesAndCallerKeepsTheMatrix) {
  QVASrvMatrix* matrix = RandomMatrix(3, 5, 51);
  const int real[] = {0, 1};
  const int imaginary[] = {0, 1};
  try {
    QVADynForce force(matrix, real, 2, imaginary, 2);
    ADD_FAILURE() << "no exception";
  } catch (const QVADynColumnTotalException& error) {
    EXPECT_EQ(error.ErrorNumber(), 224);
    EXPECT_STREQ(error.File().Text(), "QVADyn/QVADynCore/impl/QVADynForce");
    EXPECT_EQ(error.Line(), 19);
  }
  (*matrix)(2, 4) = 1.5;
  EXPECT_EQ((*matrix)(2, 4), 1.5);

  // A negative count cannot make the total match.
  const int six[] = {0, 0, 0, 0, 0, 0};
  EXPECT_THROW(QVADynForce(matrix, nullptr, -1, six, 6), QVADynColumnTotalException);
  EXPECT_EQ(matrix->NumberOfColumns(), 5);
  delete matrix;
}

// A load without columns projects to no matrix; the force over it adds nothing.
TEST(QVADynForce, NullMatrixStandsForNoColumns) {
  const QVADynForce empty(nullptr, nullptr, 0, nullptr, 0);
  EXPECT_EQ(empty.NumberOfModes(), 0);
  double column[2] = {1.0, 2.0};
  empty.AddModalForce(column, nullptr, QVADynRealPart, 0);
  EXPECT_EQ(column[0], 1.0);
  EXPECT_EQ(column[1], 2.0);

  const int real[] = {0};
  EXPECT_THROW(QVADynForce(nullptr, real, 1, nullptr, 0), QVADynColumnTotalException);
}

TEST(QVADynLoadCase, AdoptionRefusesNullAndRepeatsAndTheCallerKeepsTheObject) {
  QVADynLoadCase loadCase;
  auto* force = new QVADynForce(RandomMatrix(2, 1, 61), std::vector<int>{0}.data(), 1, nullptr, 0);
  loadCase.AdoptForce(force);
  PlatformError([&] { loadCase.AdoptForce(force); }, kQVABasInvalidArgument);
  PlatformError([&] { loadCase.AdoptForce(nullptr); }, kQVABasInvalidArgument);
  EXPECT_EQ(loadCase.NumberOfForces(), 1);
  EXPECT_EQ(&loadCase.Force(0), force);

  const double factors[] = {1.0};
  auto* motion = new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 1, 1, factors);
  loadCase.AdoptPrimaryBase(motion);
  PlatformError([&] { loadCase.AdoptPrimaryBase(motion); }, kQVABasInvalidArgument);
  EXPECT_EQ(loadCase.NumberOfPrimaryBases(), 1);
  // Both are deleted once, with the load case.
}

TEST(QVADynLoadCaseList, AmplitudeTableIsOwnedAndReplaced) {
  QVADynLoadCaseList list;
  EXPECT_EQ(list.AmplitudeTable(), nullptr);
  QVASrvMatrix* first = RandomMatrix(2, 2, 71);
  list.AdoptAmplitudeTable(first);
  list.AdoptAmplitudeTable(first);  // the held table again: kept, not deleted
  EXPECT_EQ(list.AmplitudeTable(), first);
  (*list.AmplitudeTable())(1, 1) = 3.0;
  list.AdoptAmplitudeTable(RandomMatrix(3, 1, 72));  // deletes the first
  EXPECT_EQ(list.AmplitudeTable()->NumberOfRows(), 3);
  list.AdoptAmplitudeTable(nullptr);
  EXPECT_EQ(list.AmplitudeTable(), nullptr);
}

// ---------------------------------------------------------------------------
// Inputs that would read or write outside their arrays

// Forces with more or fewer rows than active modes are refused before any
// column is written; the guard entries after the output stay untouched.
TEST(QVADynLoadCaseList, ForceRowsOtherThanActiveModesAreRefused) {
  for (int rows : {3, 5}) {
    QVADynLoadCaseList list;
    list.SetNumberOfActiveModes(4);
    list.AdoptAmplitudeTable(RandomMatrix(1, 1, 81));
    const int amplitude[] = {0};
    list.LoadCase(1).AdoptForce(
        new QVADynForce(RandomMatrix(rows, 1, 82), amplitude, 1, nullptr, 0));
    std::vector<double> out(2 * 4 + 8, kSentinel);
    try {
      list.GetModalForces(out.data(), QVADynRealPart, 0);
      ADD_FAILURE() << "no exception for " << rows << " rows";
    } catch (const QVADynModeNumberMismatch& error) {
      EXPECT_STREQ(error.what(),
                   "Number of modes != number of active modes in "
                   "QVADynLoadCaseList::GetModalForces");
      EXPECT_STREQ(error.File().Text(), "QVADyn/QVADynCore/impl/QVADynLoadCaseList");
    }
    for (double value : out) EXPECT_EQ(value, kSentinel);
  }
}

TEST(QVADynLoadCaseList, BaseMotionWithMoreFactorsThanModesIsRefused) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(2);
  const double factors[] = {1.0, 1.0, 1.0};
  list.LoadCase(0).AdoptPrimaryBase(
      new QVADynPrimaryBaseMotion(factors, 3, QVADynImaginaryPart, 1, 1, factors));
  std::vector<double> out(2 + 4, kSentinel);
  EXPECT_THROW(list.GetModalForces(out.data(), QVADynRealPart, 0), QVADynModeNumberMismatch);
  for (double value : out) EXPECT_EQ(value, kSentinel);
}

TEST(QVADynLoadCaseList, LoadCaseIndicesOutsideTheListAreRefused) {
  QVADynLoadCaseList list;
  list.LoadCase(2);
  const std::string negative = PlatformError([&] { list.LoadCase(-1); }, kQVASrvIndexOutOfRange);
  EXPECT_NE(negative.find("-1"), std::string::npos) << negative;
  const std::string beyond = PlatformError([&] { list.ConstLoadCase(3); }, kQVASrvIndexOutOfRange);
  EXPECT_NE(beyond.find("load case 3 outside the 3 load cases [0, 3)"), std::string::npos)
      << beyond;
  PlatformError([&] { list.ConstLoadCase(-1); }, kQVASrvIndexOutOfRange);
  EXPECT_EQ(list.NumberOfCases(), 3);
}

// Indices outside the amplitude table or a base motion's arrays raise naming
// the index and the bound, before any column of the list is written.
TEST(QVADynLoadCaseList, IndicesOutsideTableAndMotionsAreRefused) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(2);
  const int good[] = {0, 3};
  const int bad[] = {4};
  list.LoadCase(0).AdoptForce(new QVADynForce(RandomMatrix(2, 2, 91), good, 2, nullptr, 0));
  list.LoadCase(1).AdoptForce(new QVADynForce(RandomMatrix(2, 1, 92), nullptr, 0, bad, 1));
  const double factors[] = {1.0, 1.0};
  const double accelerations[] = {1.0, 2.0};
  list.LoadCase(1).AdoptPrimaryBase(
      new QVADynPrimaryBaseMotion(factors, 2, QVADynRealPart, 1, 2, accelerations));
  std::vector<double> out(4, kSentinel);

  const std::string noTable = PlatformError(
      [&] { list.GetModalForces(out.data(), QVADynRealPart, 0); }, kQVASrvInvalidState);
  EXPECT_NE(noTable.find("no amplitude table"), std::string::npos) << noTable;

  list.AdoptAmplitudeTable(RandomMatrix(4, 3, 93));
  const std::string amplitude = PlatformError(
      [&] { list.GetModalForces(out.data(), QVADynImaginaryPart, 0); }, kQVASrvIndexOutOfRange);
  EXPECT_NE(amplitude.find("amplitude index 4 of imaginary column 0 outside the amplitude "
                           "table's 4 rows"),
            std::string::npos)
      << amplitude;

  const std::string frame = PlatformError(
      [&] { list.GetModalForces(out.data(), QVADynRealPart, 3); }, kQVASrvIndexOutOfRange);
  EXPECT_NE(frame.find("frame 3 outside the amplitude table's 3 columns"), std::string::npos)
      << frame;
  PlatformError([&] { list.GetModalForces(out.data(), QVADynRealPart, -1); },
                kQVASrvIndexOutOfRange);

  // Frame 2 lies in the table but beyond the motion's two accelerations.
  const std::string motion = PlatformError(
      [&] { list.GetModalForces(out.data(), QVADynRealPart, 2); }, kQVASrvIndexOutOfRange);
  EXPECT_NE(motion.find("frame 2 outside the 2 base acceleration values [0, 2)"), std::string::npos)
      << motion;
  for (double value : out) EXPECT_EQ(value, kSentinel);

  // A number part that is neither real nor imaginary.
  PlatformError([&] { list.GetModalForces(out.data(), static_cast<QVADynNumberType>(2), 0); },
                kQVABasInvalidArgument);
}

TEST(QVADynLoadCase, BaseValuesOutsideTheirArraysAreRefused) {
  QVADynLoadCase loadCase;
  const double factors[] = {1.0};
  const double values[] = {1.0, 2.0};
  auto* motion = new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 4, 2, values);
  loadCase.AdoptPrimaryBase(motion);
  double out[6] = {kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel};

  const std::string unset =
      PlatformError([&] { loadCase.GetBaseDisplacement(out, 0); }, kQVASrvInvalidState);
  EXPECT_NE(unset.find("call SetDisplacement first"), std::string::npos) << unset;
  PlatformError([&] { loadCase.GetBaseVelocity(out, 0); }, kQVASrvInvalidState);
  motion->SetDisplacement(values, 1);
  const std::string beyond =
      PlatformError([&] { loadCase.GetBaseDisplacement(out, 1); }, kQVASrvIndexOutOfRange);
  EXPECT_NE(beyond.find("frame 1 outside the 1 base displacement values [0, 1)"), std::string::npos)
      << beyond;
  PlatformError([&] { loadCase.GetBaseAcceleration(out, 2, false); }, kQVASrvIndexOutOfRange);
  for (double value : out) EXPECT_EQ(value, kSentinel);

  // An imaginary request reads no real motion, so any frame is fine.
  loadCase.GetBaseAcceleration(out, 7, true);
  for (double value : out) EXPECT_EQ(value, 0.0);
}

TEST(QVADynPrimaryBaseMotion, ConstructionRefusesUnsafeArguments) {
  const double values[] = {1.0};
  for (int direction : {0, 7}) {
    const std::string message = PlatformError(
        [&] { QVADynPrimaryBaseMotion(values, 1, QVADynRealPart, direction, 1, values); },
        kQVABasInvalidArgument);
    EXPECT_NE(message.find("direction " + std::to_string(direction) + " outside 1 ... 6"),
              std::string::npos)
        << message;
  }
  PlatformError(
      [&] { QVADynPrimaryBaseMotion(values, 1, static_cast<QVADynNumberType>(3), 1, 1, values); },
      kQVABasInvalidArgument);
  PlatformError([&] { QVADynPrimaryBaseMotion(values, -1, QVADynRealPart, 1, 1, values); },
                kQVABasInvalidArgument);
  PlatformError([&] { QVADynPrimaryBaseMotion(nullptr, 2, QVADynRealPart, 1, 1, values); },
                kQVABasInvalidArgument);
  QVADynPrimaryBaseMotion motion(values, 1, QVADynRealPart, 6, 1, values);
  PlatformError([&] { motion.SetVelocity(nullptr, 1); }, kQVABasInvalidArgument);
  EXPECT_FALSE(motion.HasVelocity());
}

}  // namespace
