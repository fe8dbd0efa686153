// Load cases, forces and base motions: modal forces as exact sums, ownership of adopted objects,
// and refusal of inputs that would read or write outside their arrays.

#include <gtest/gtest.h>

#include <algorithm>
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
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

// Written into output arrays before a call that must leave them unchanged.
constexpr double kSentinel = -777.25;

// `count` values in [-scale, scale].
std::vector<double> RandomValues(int count, unsigned seed, double scale) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> value(-scale, scale);
  std::vector<double> values(QVAIndex(count));
  for (double& v : values) v = value(generator);
  return values;
}

// A rows x columns matrix (allocated with new) of values, column-major.
QVASrvMatrix* SmallMatrix(int rows, int columns, const std::vector<double>& values) {
  auto* matrix = new QVASrvMatrix(rows, columns);
  std::copy(values.begin(), values.end(), matrix->Values());
  return matrix;
}

// A rows x columns matrix (allocated with new) of values in [-1, 1].
QVASrvMatrix* RandomMatrix(int rows, int columns, unsigned seed) {
  return SmallMatrix(rows, columns, RandomValues(rows * columns, seed, 1.0));
}

void ExpectAll(const std::vector<double>& values, const std::vector<double>& expected,
               const char* what) {
  EXPECT_EQ(values, expected) << what;
}

// Modal forces

// Load cases come on demand without moving the existing ones; a case with
// nothing gives a zero column and needs no amplitude table.
TEST(QVADynLoadCaseList, LoadCasesComeOnDemandAndAnEmptyCaseGivesZeros) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(3);
  QVADynLoadCase& first = list.LoadCase(0);
  QVADynLoadCase& last = list.LoadCase(2);
  EXPECT_EQ(list.NumberOfCases(), 3);
  EXPECT_EQ(&list.LoadCase(0), &first);
  EXPECT_EQ(&last, &list.ConstLoadCase(2));
  list.LoadCase(1);
  EXPECT_EQ(list.NumberOfCases(), 3);
  EXPECT_EQ(last.NumberOfForces(), 0);
  std::vector<double> out(9, kSentinel);
  list.GetModalForces(out.data(), QVADynRealPart, 5);
  ExpectAll(out, std::vector<double>(9, 0.0), "no forces");
}

// Small integers and binary fractions: every product and sum below is exact.
TEST(QVADynForce, RealAndImaginaryColumnsScaleByTheirAmplitudes) {
  const int realAmplitudes[] = {1, 0};
  const QVADynForce real(SmallMatrix(3, 2, {1, 3, 5, 2, 4, 6}), realAmplitudes, 2, nullptr, 0);
  EXPECT_EQ(real.NumberOfModes(), 3);
  EXPECT_EQ(real.NumberOfAmplitudes(QVADynImaginaryPart), 0);
  QVASrvMatrix table(2, 2);
  table(0, 1) = 0.5;  // amplitude 0, frame 1
  table(1, 1) = 2.0;  // amplitude 1, frame 1
  std::vector<double> column = {10.0, 20.0, 30.0};
  real.AddModalForce(column.data(), &table, QVADynImaginaryPart, 1);  // no imaginary columns
  ExpectAll(column, {10.0, 20.0, 30.0}, "imaginary part");
  // Column 0 scaled by amplitude 1 (2.0), column 1 by amplitude 0 (0.5).
  real.AddModalForce(column.data(), &table, QVADynRealPart, 1);
  ExpectAll(column, {10.0 + 2.0 + 1.0, 20.0 + 6.0 + 2.0, 30.0 + 10.0 + 3.0}, "real part");

  // The imaginary block follows the real columns.
  const int imaginaryAmplitudes[] = {1, 1};
  const QVADynForce complex(SmallMatrix(2, 3, {1, 2, 10, 20, 100, 200}), realAmplitudes + 1, 1,
                            imaginaryAmplitudes, 2);
  table(0, 0) = 4.0;
  table(1, 0) = 0.25;
  std::vector<double> sum(2, 0.0);
  complex.AddModalForce(sum.data(), &table, QVADynImaginaryPart, 0);
  ExpectAll(sum, {(10.0 + 100.0) * 0.25, (20.0 + 200.0) * 0.25}, "imaginary block");
}

// A base motion subtracts factor times acceleration from its own part only;
// fewer factors than modes load the leading modes (structural before acoustic).
TEST(QVADynPrimaryBaseMotion, MotionSubtractsFromItsPartAndLoadsTheLeadingModes) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(4);
  const double factors[] = {0.5, -2.0, 0.25};
  const double accelerations[] = {1.0, 4.0};
  list.LoadCase(0).AdoptPrimaryBase(
      new QVADynPrimaryBaseMotion(factors, 3, QVADynRealPart, 1, 2, accelerations));
  std::vector<double> out(4, kSentinel);
  list.GetModalForces(out.data(), QVADynRealPart, 1);
  ExpectAll(out, {-2.0, 8.0, -1.0, 0.0}, "real part");
  list.GetModalForces(out.data(), QVADynImaginaryPart, 1);
  ExpectAll(out, std::vector<double>(4, 0.0), "imaginary part");
  std::vector<double> column = {1.0, 2.0, 3.0, 4.0};
  list.ConstLoadCase(0).AddModalForce(column.data(), nullptr, QVADynImaginaryPart, 0);
  ExpectAll(column, {1.0, 2.0, 3.0, 4.0}, "the other part leaves a column alone");
}

// Two forces of one case add up: repeated amplitude indices, and a diagonal force matrix whose
// columns load one mode each. Small integers and binary fractions: exact.
TEST(QVADynLoadCaseList, ForcesOfACaseAddUpIncludingADiagonalMatrix) {
  QVADynLoadCaseList list;
  list.SetNumberOfActiveModes(3);
  auto* table = new QVASrvMatrix(2, 2);
  (*table)(0, 1) = 2.0;
  (*table)(1, 1) = 0.5;
  list.AdoptAmplitudeTable(table);
  const int repeated[] = {0, 0};
  list.LoadCase(0).AdoptForce(
      new QVADynForce(SmallMatrix(3, 2, {1, 2, 3, 4, 5, 6}), repeated, 2, nullptr, 0));
  auto* diagonal = new QVASrvMatrix(3, 3, nullptr, true, true);
  for (int k = 0; k < 3; ++k) diagonal->Values()[k] = 1.0 + k;
  const int real[] = {0, 1};
  const int imaginary[] = {1};
  list.LoadCase(0).AdoptForce(new QVADynForce(diagonal, real, 2, imaginary, 1));
  list.LoadCase(1);
  std::vector<double> out(6, kSentinel);
  list.GetModalForces(out.data(), QVADynRealPart, 1);
  ExpectAll(out, {10.0 + 2.0, 14.0 + 1.0, 18.0, 0.0, 0.0, 0.0}, "real part");
  list.GetModalForces(out.data(), QVADynImaginaryPart, 1);
  ExpectAll(out, {0.0, 0.0, 1.5, 0.0, 0.0, 0.0}, "imaginary part");
}

// Base motion per direction

// Accelerations sum over the motions of one part per direction;
// displacements and velocities sum over both parts.
TEST(QVADynLoadCase, BaseValuesSumTheMotionsPerDirection) {
  QVADynLoadCase loadCase;
  const double factors[] = {1.0};
  const double a1[] = {1.0, 0.5}, a2[] = {2.0, 0.25}, a3[] = {8.0, 16.0}, a4[] = {32.0, 64.0};
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 2, 2, a1));
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 2, 2, a2));
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynImaginaryPart, 2, 2, a3));
  loadCase.AdoptPrimaryBase(new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 5, 2, a4));
  std::vector<double> out(6);
  loadCase.GetBaseAcceleration(out.data(), 1, false);
  ExpectAll(out, {0.0, 0.75, 0.0, 0.0, 64.0, 0.0}, "real acceleration");
  loadCase.GetBaseAcceleration(out.data(), 1, true);
  ExpectAll(out, {0.0, 16.0, 0.0, 0.0, 0.0, 0.0}, "imaginary acceleration");

  QVADynLoadCase both;
  const double zeros[] = {0.0, 0.0};
  auto* real = new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 3, 2, zeros);
  auto* imaginary = new QVADynPrimaryBaseMotion(factors, 1, QVADynImaginaryPart, 3, 2, zeros);
  const double d1[] = {1.0, 2.0}, d2[] = {4.0, 8.0}, v1[] = {0.5, 0.125}, v2[] = {0.25, 0.0625};
  real->SetDisplacement(d1, 2);
  imaginary->SetDisplacement(d2, 2);
  real->SetVelocity(v1, 2);
  imaginary->SetVelocity(v2, 2);
  both.AdoptPrimaryBase(real);
  both.AdoptPrimaryBase(imaginary);
  both.GetBaseDisplacement(out.data(), 1);
  ExpectAll(out, {0.0, 0.0, 10.0, 0.0, 0.0, 0.0}, "displacement");
  both.GetBaseVelocity(out.data(), 0);
  ExpectAll(out, {0.0, 0.0, 0.75, 0.0, 0.0, 0.0}, "velocity");
}

// Ownership

// A column-count mismatch is refused before the force takes the matrix: the caller still owns
// it (ASan catches a double free). A null matrix stands for no columns.
TEST(QVADynForce, ColumnTotalMismatchRaisesAndCallerKeepsTheMatrix) {
  QVASrvMatrix* matrix = RandomMatrix(3, 5, 51);
  const int two[] = {0, 1};
  try {
    QVADynForce force(matrix, two, 2, two, 2);
    ADD_FAILURE() << "no exception";
  } catch (const QVADynColumnTotalException& error) {
    EXPECT_EQ(error.ErrorNumber(), 224);
    EXPECT_STREQ(error.File().Text(), "QVADyn/QVADynCore/impl/QVADynForce");
    EXPECT_EQ(error.Line(), 19);
  }
  // A negative count cannot make the total match.
  const int six[] = {0, 0, 0, 0, 0, 0};
  EXPECT_THROW(QVADynForce(matrix, nullptr, -1, six, 6), QVADynColumnTotalException);
  (*matrix)(2, 4) = 1.5;
  EXPECT_EQ(matrix->NumberOfColumns(), 5);
  delete matrix;

  const QVADynForce empty(nullptr, nullptr, 0, nullptr, 0);
  EXPECT_EQ(empty.NumberOfModes(), 0);
  std::vector<double> column = {1.0, 2.0};
  empty.AddModalForce(column.data(), nullptr, QVADynRealPart, 0);
  ExpectAll(column, {1.0, 2.0}, "empty force");
  EXPECT_THROW(QVADynForce(nullptr, two, 1, nullptr, 0), QVADynColumnTotalException);
}

// Null and repeated adoptions are refused (each object deleted once); the held amplitude table
// adopted again is kept, not deleted.
TEST(QVADynLoadCase, AdoptionsOwnOnceAndRefuseNullAndRepeats) {
  QVADynLoadCase loadCase;
  auto* force = new QVADynForce(RandomMatrix(2, 1, 61), std::vector<int>{0}.data(), 1, nullptr, 0);
  loadCase.AdoptForce(force);
  const double factors[] = {1.0};
  auto* motion = new QVADynPrimaryBaseMotion(factors, 1, QVADynRealPart, 1, 1, factors);
  loadCase.AdoptPrimaryBase(motion);
  ExpectRefusals({
      {"force again", [&] { loadCase.AdoptForce(force); }, kQVABasInvalidArgument},
      {"null force", [&] { loadCase.AdoptForce(nullptr); }, kQVABasInvalidArgument},
      {"motion again", [&] { loadCase.AdoptPrimaryBase(motion); }, kQVABasInvalidArgument},
  });
  EXPECT_EQ(loadCase.NumberOfForces(), 1);
  EXPECT_EQ(&loadCase.Force(0), force);
  EXPECT_EQ(loadCase.NumberOfPrimaryBases(), 1);

  QVADynLoadCaseList list;
  EXPECT_EQ(list.AmplitudeTable(), nullptr);
  QVASrvMatrix* first = RandomMatrix(2, 2, 71);
  list.AdoptAmplitudeTable(first);
  list.AdoptAmplitudeTable(first);
  EXPECT_EQ(list.AmplitudeTable(), first);
  (*list.AmplitudeTable())(1, 1) = 3.0;
  list.AdoptAmplitudeTable(RandomMatrix(3, 1, 72));  // deletes the first
  EXPECT_EQ(list.AmplitudeTable()->NumberOfRows(), 3);
  list.AdoptAmplitudeTable(nullptr);
  EXPECT_EQ(list.AmplitudeTable(), nullptr);
}

// Inputs that would read or write outside their arrays

// Patterns with more or fewer rows than active modes are refused before any column is written.
TEST(QVADynLoadCaseList, PatternsOfAnotherModeCountAreRefused) {
  // 3 or 5 rows of a force; 0: a base motion of 5 factors.
  for (int rows : {3, 5, 0}) {
    QVADynLoadCaseList list;
    list.SetNumberOfActiveModes(4);
    list.AdoptAmplitudeTable(RandomMatrix(1, 1, 81));
    const int amplitude[] = {0};
    if (rows > 0) {
      list.LoadCase(1).AdoptForce(
          new QVADynForce(RandomMatrix(rows, 1, 82), amplitude, 1, nullptr, 0));
    } else {
      const std::vector<double> factors(5, 1.0);
      list.LoadCase(1).AdoptPrimaryBase(new QVADynPrimaryBaseMotion(
          factors.data(), 5, QVADynImaginaryPart, 1, 1, factors.data()));
    }
    std::vector<double> out(2 * 4 + 8, kSentinel);
    const std::string message = RaisedMessage<QVADynModeNumberMismatch>(
        [&] { list.GetModalForces(out.data(), QVADynRealPart, 0); },
        [](const QVADynModeNumberMismatch& error) {
          EXPECT_STREQ(error.File().Text(), "QVADyn/QVADynCore/impl/QVADynLoadCaseList");
        });
    EXPECT_EQ(message,
              "Number of modes != number of active modes in QVADynLoadCaseList::GetModalForces");
    ExpectAll(out, std::vector<double>(out.size(), kSentinel), "guard");
  }
}

// Indices outside the list, the amplitude table or a base motion's arrays
// raise naming the index and the bound, before anything is written.
TEST(QVADynLoadCaseList, IndicesOutsideListTableAndMotionsAreRefused) {
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
  const auto forces = [&](int part, int frame) {
    return [&list, &out, part, frame] {
      list.GetModalForces(out.data(), static_cast<QVADynNumberType>(part), frame);
    };
  };
  ExpectPlatformError(forces(QVADynRealPart, 0), kQVASrvInvalidState, {"no amplitude table"});
  list.AdoptAmplitudeTable(RandomMatrix(4, 3, 93));
  ExpectRefusals({
      {"case -1", [&] { list.LoadCase(-1); }, kQVASrvIndexOutOfRange, "-1"},
      {"case 2", [&] { list.ConstLoadCase(2); }, kQVASrvIndexOutOfRange,
       "load case 2 outside the 2 load cases [0, 2)"},
      {"amplitude", forces(QVADynImaginaryPart, 0), kQVASrvIndexOutOfRange,
       "amplitude index 4 of imaginary column 0 outside the amplitude table's 4 rows"},
      {"frame 3", forces(QVADynRealPart, 3), kQVASrvIndexOutOfRange,
       "frame 3 outside the amplitude table's 3 columns"},
      // Frame 2 lies in the table but beyond the motion's two accelerations.
      {"motion", forces(QVADynRealPart, 2), kQVASrvIndexOutOfRange,
       "frame 2 outside the 2 base acceleration values [0, 2)"},
      {"part", forces(2, 0), kQVABasInvalidArgument},
  });
  EXPECT_EQ(list.NumberOfCases(), 2);
  ExpectAll(out, std::vector<double>(4, kSentinel), "untouched");
}

// Base values unset or beyond their arrays, and unsafe motion arguments, are refused.
TEST(QVADynPrimaryBaseMotion, UnsafeArgumentsAndReadsAreRefused) {
  QVADynLoadCase loadCase;
  const double values[] = {1.0, 2.0};
  auto* motion = new QVADynPrimaryBaseMotion(values, 1, QVADynRealPart, 4, 2, values);
  loadCase.AdoptPrimaryBase(motion);
  std::vector<double> out(6, kSentinel);
  ExpectRefusals({
      {"displacement unset", [&] { loadCase.GetBaseDisplacement(out.data(), 0); },
       kQVASrvInvalidState, "call SetDisplacement first"},
  });
  motion->SetDisplacement(values, 1);
  ExpectRefusals({
      {"displacement frame 1", [&] { loadCase.GetBaseDisplacement(out.data(), 1); },
       kQVASrvIndexOutOfRange, "frame 1 outside the 1 base displacement values [0, 1)"},
      {"acceleration frame 2", [&] { loadCase.GetBaseAcceleration(out.data(), 2, false); },
       kQVASrvIndexOutOfRange},
  });
  ExpectAll(out, std::vector<double>(6, kSentinel), "untouched");
  // An imaginary request reads no real motion, so any frame is fine.
  loadCase.GetBaseAcceleration(out.data(), 7, true);
  ExpectAll(out, std::vector<double>(6, 0.0), "imaginary");

  const auto make = [&](const double* factors, int count, int part, int direction) {
    return [=] {
      QVADynPrimaryBaseMotion(factors, count, static_cast<QVADynNumberType>(part), direction, 1,
                              values);
    };
  };
  QVADynPrimaryBaseMotion valid(values, 1, QVADynRealPart, 6, 1, values);
  ExpectRefusals({
      {"direction 0", make(values, 1, QVADynRealPart, 0), kQVABasInvalidArgument,
       "direction 0 outside 1 ... 6"},
      {"part 3", make(values, 1, 3, 1), kQVABasInvalidArgument},
      {"count -1", make(values, -1, QVADynRealPart, 1), kQVABasInvalidArgument},
      {"no factors", make(nullptr, 2, QVADynRealPart, 1), kQVABasInvalidArgument},
      {"no velocities", [&] { valid.SetVelocity(nullptr, 1); }, kQVABasInvalidArgument},
  });
  EXPECT_FALSE(valid.HasVelocity());
}

}  // namespace
