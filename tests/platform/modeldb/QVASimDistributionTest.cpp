// Dense layout, whole and restricted views, chunk sizes and sparse storage of
// distributions, against values placed by the plain column-major formula.
// Every value compared is a small integer combination, exactly representable,
// so comparisons are exact.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDMember.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

// Value at (dof, frame, part position, case position): distinct for every place.
double Tag(int dof, int frame, int part, int loadCase) {
  return 1000.0 * dof + 100.0 * frame + 10.0 * part + loadCase;
}

// A recovered-results distribution U over [DOFs 1, 3, 4 | frames 0 ... 3 |
// parts {4, 0} | cases 0 ... 1], filled through the plain array interface.
class ResultDistribution : public ::testing::Test {
 protected:
  static constexpr int kDofs = 3;
  static constexpr int kFrames = 4;
  static constexpr int kParts = 2;
  static constexpr int kCases = 2;

  void SetUp() override {
    QVASimTransaction transaction(model.database);
    const int dofMembers[] = {1, 3, 4};
    dofSet = QVASimCollection(model.results.Dofs()).CreateOrderedCSet(dofMembers, kDofs);
    frameSet =
        QVASimCollection(model.results.FramesCollection()).CreateCSetStrided(0, kFrames, 1, 1);
    const int parts[] = {4, 0};
    partSet = QVASimCollection(model.results.ComplexNumberPart()).CreateOCSet(parts, kParts);
    caseSet = QVASimCollection(model.results.CasesCollection()).CreateCSetStrided(0, kCases, 1, 1);
    const QVASimCSetID sets[] = {dofSet, frameSet, partSet, caseSet};
    const int chunks[] = {2, 3, 1, 1};
    u = model.database.CreateDistribution(model.results.MyPosition(),
                                          QVATypeIndex(QVADataKinds::kNodalResults), 4, sets,
                                          chunks, false);
    model.results.SetU(transaction, u);
    transaction.Commit();

    std::vector<double> values(QVAIndex(kDofs * kFrames * kParts * kCases));
    for (int c = 0; c < kCases; ++c)
      for (int p = 0; p < kParts; ++p)
        for (int f = 0; f < kFrames; ++f)
          for (int d = 0; d < kDofs; ++d)
            values[QVAIndex(d + kDofs * (f + kFrames * (p + kParts * c)))] = Tag(d, f, p, c);
    model.database.WriteDistribution(u, values.data());
  }

  QVASimTestModel model;
  QVASimCSetID dofSet, frameSet, partSet, caseSet;
  QVASimDistributionID u;
};

// Every result slice (one part and case fixed) is DOFs x frames with the
// DOFs' leading dimension; a write through a view reaches the stored values.
TEST_F(ResultDistribution, ResultSliceIsDofsByFramesAtOnePartAndCase) {
  for (int c = 0; c < kCases; ++c) {
    for (int p = 0; p < kParts; ++p) {
      QVASimDMember slice(model.results.ComplexNumberPart(), p == 0 ? 4 : 0);
      slice.Add(model.results.CasesCollection(), QVASimCSet(caseSet)[c]);
      const QVASimDistribution view(model.results.U(), slice);
      ASSERT_EQ(view.Rows(), kDofs);
      ASSERT_EQ(view.Columns(), kFrames);
      ASSERT_EQ(view.LeadingDimension(), kDofs);
      EXPECT_EQ(view.RowChunk(), 2);
      EXPECT_EQ(view.ColumnChunk(), 3);
      EXPECT_EQ(view.RowSet(), dofSet);
      EXPECT_EQ(view.ColumnSet(), frameSet);
      for (int f = 0; f < kFrames; ++f)
        for (int d = 0; d < kDofs; ++d)
          EXPECT_EQ(view.Values()[d + f * view.LeadingDimension()], Tag(d, f, p, c));
    }
  }
  QVASimDMember slice(model.results.ComplexNumberPart(), 0);
  slice.Add(model.results.CasesCollection(), 1);
  QVASimDistribution(u, slice).Values()[2 + 3 * kDofs] = -7.0;
  std::vector<double> values(QVAIndex(model.database.NumberOfValues(u)));
  model.database.ReadDistribution(u, values.data());
  EXPECT_EQ(values[QVAIndex(2 + kDofs * (3 + kFrames * (1 + kParts * 1)))], -7.0);
}

// Other restrictions: frames and cases fixed give DOFs x parts with
// neighbours in a row kDofs * kFrames apart; all but frames fixed give a row;
// everything fixed gives one value, and a fifth pair is refused.
TEST_F(ResultDistribution, FixingOtherDimensionsGivesRowsColumnsAndLeadingDimension) {
  QVASimDMember framesAndCases(model.results.FramesCollection(), 2);
  framesAndCases.Add(model.results.CasesCollection(), 0);
  const QVASimDistribution dofsByParts(u, framesAndCases);
  ASSERT_EQ(dofsByParts.Rows(), kDofs);
  ASSERT_EQ(dofsByParts.Columns(), kParts);
  ASSERT_EQ(dofsByParts.LeadingDimension(), kDofs * kFrames);
  EXPECT_EQ(dofsByParts.ColumnSet(), partSet);
  for (int p = 0; p < kParts; ++p)
    for (int d = 0; d < kDofs; ++d)
      EXPECT_EQ(dofsByParts.Values()[d + p * dofsByParts.LeadingDimension()], Tag(d, 2, p, 0));

  QVASimDMember allButFrames(model.results.Dofs(), 3);
  allButFrames.Add(model.results.ComplexNumberPart(), 0);
  allButFrames.Add(model.results.CasesCollection(), 1);
  const QVASimDistribution row(u, allButFrames);
  ASSERT_EQ(row.Rows(), 1);
  ASSERT_EQ(row.Columns(), kFrames);
  ASSERT_EQ(row.LeadingDimension(), kDofs);
  EXPECT_FALSE(row.RowSet().IsValid());
  EXPECT_EQ(row.ColumnSet(), frameSet);
  EXPECT_EQ(row.ColumnChunk(), 3);
  for (int f = 0; f < kFrames; ++f)
    EXPECT_EQ(row.Values()[f * row.LeadingDimension()], Tag(1, f, 1, 1));

  QVASimDMember all(model.results.Dofs(), 4);
  all.Add(model.results.FramesCollection(), 3);
  all.Add(model.results.ComplexNumberPart(), 4);
  all.Add(model.results.CasesCollection(), 1);
  const QVASimDistribution value(u, all);
  EXPECT_EQ(value.Rows(), 1);
  EXPECT_EQ(value.Columns(), 1);
  EXPECT_EQ(value.Values()[0], Tag(2, 3, 0, 1));
  QVAExpectRaises([&] { all.Add(model.results.Dofs(), 1); }, kQVASrvIndexOutOfRange,
                  {"pair 4", "beyond 4 pairs"});
}

TEST_F(ResultDistribution, BadRestrictionsRaiseNamingMemberAndSet) {
  // Member 2 of the DOFs collection is not in the DOF set {1, 3, 4}.
  QVASimDMember outside(model.results.Dofs(), 2);
  outside.Add(model.results.CasesCollection(), 0);
  QVAExpectRaises([&] { QVASimDistribution view(u, outside); }, kQVASrvIndexOutOfRange,
                  {"member 2", "dimension 0", "3 members"});
  // Rows fixed, frames and parts free: frames are kDofs apart.
  QVASimDMember inner(model.results.Dofs(), 1);
  inner.Add(model.results.CasesCollection(), 0);
  QVAExpectRaises([&] { QVASimDistribution view(u, inner); }, kQVABasInvalidArgument,
                  {"dimension 1", "stride 3"});
  // A pair over a collection that no dimension uses is ignored: still 4 free.
  QVASimDMember unrelated(model.modal.ModesCollection(), 0);
  QVAExpectRaises([&] { QVASimDistribution view(u, unrelated); }, kQVABasInvalidArgument,
                  {"4 free dimensions"});
}

// Creation refuses bad arguments; one dimension is a column and empty sets
// give empty views.
TEST(QVASimDistribution, CreationChecksItsArgumentsAndEmptySetsGiveEmptyViews) {
  QVASimTestModel model;
  QVASimCollection modes(model.modal.ModesCollection());
  const QVASimCSetID five = modes.CreateCSetStrided(0, 5, 1, 1);
  const QVASimPosition owner = model.modal.MyPosition();
  const int kind = QVATypeIndex(QVADataKinds::kProjectedMatrix);
  QVAExpectRaises([&] { model.database.CreateDistribution(owner, kind, 1, &five, nullptr, false); },
                  kQVASimInconsistent, {"open transaction"});
  QVASimTransaction transaction(model.database);
  QVAExpectRaises([&] { model.database.CreateDistribution(owner, kind, 5, &five, nullptr, false); },
                  kQVABasInvalidArgument, {"number of sets 5", "1 ... 4"});
  const QVASimCSetID missing(&model.database, 99);
  QVAExpectRaises(
      [&] { model.database.CreateDistribution(owner, kind, 1, &missing, nullptr, false); },
      kQVASimInvalidIdentifier, {"set 99"});
  QVASimDatabase other;
  QVAExpectRaises(
      [&] {
        model.database.CreateDistribution(QVASimPosition(&other, 0), kind, 1, &five, nullptr,
                                          false);
      },
      kQVASimInvalidIdentifier, {"position 0"});
  QVAExpectRaises([&] { QVASimDistribution view{QVASimDistributionID()}; },
                  kQVASimInvalidIdentifier, {"distribution -1", "no database"});

  const QVASimDistribution mass(model.database.CreateDistribution(
      owner, QVATypeIndex(QVADataKinds::kGeneralizedMass), 1, &five, nullptr, false));
  EXPECT_EQ(mass.Rows(), 5);
  EXPECT_EQ(mass.Columns(), 1);
  EXPECT_EQ(mass.ColumnChunk(), 1);
  EXPECT_FALSE(mass.ColumnSet().IsValid());
  const QVASimCSetID none = modes.CreateCSetStrided(0, 0, 1, 1);
  const QVASimCSetID sets[] = {none, five};
  const QVASimDistribution empty(model.database.CreateDistribution(
      owner, QVATypeIndex(QVADataKinds::kEigenvalues), 2, sets, nullptr, false));
  EXPECT_EQ(empty.Rows(), 0);
  EXPECT_EQ(empty.Columns(), 5);
  EXPECT_EQ(empty.LeadingDimension(), 1);  // BLAS needs a leading dimension >= 1
  EXPECT_EQ(empty.ChunkSize(0), 1);
  EXPECT_EQ(model.database.NumberOfValues(empty.ID()), 0);
  transaction.Commit();
}

TEST(QVASimDistribution, SparseDistributionKeepsCompressedRows) {
  QVASimTestModel model(10, 5);
  QVASimTransaction transaction(model.database);
  QVASimCollection dofs(model.modal.Dofs());
  const int acoustic[] = {8, 9};
  const int structural[] = {5, 6, 7};
  const QVASimCSetID rows = dofs.CreateOrderedCSet(acoustic, 2);
  const QVASimCSetID columns = dofs.CreateOrderedCSet(structural, 3);
  const QVASimDistributionID coupling = model.database.CreateSparseDistribution(
      model.modal.MyPosition(), QVATypeIndex(QVADataKinds::kSparseCoupling), rows, columns);
  model.modal.SetAcousticDofCoupling(transaction, coupling);
  const QVASimDistribution view(coupling);
  EXPECT_TRUE(view.IsSparse());
  EXPECT_EQ(view.Rows(), 2);
  EXPECT_EQ(view.Columns(), 3);
  EXPECT_EQ(view.NumberOfNonZeros(), 0);
  EXPECT_EQ(view.SparseRowStarts()[2], 0);

  // [[1.5, 0, -2], [0, 0.25, 0]]
  const int rowStarts[] = {0, 2, 3};
  const int columnIndex[] = {0, 2, 1};
  const double values[] = {1.5, -2.0, 0.25};
  view.WriteSparse(rowStarts, columnIndex, values);
  ASSERT_EQ(view.NumberOfNonZeros(), 3);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(view.SparseColumns()[k], columnIndex[k]);
    EXPECT_EQ(view.SparseValues()[k], values[k]);
  }
  EXPECT_EQ(view.SparseRowStarts()[1], 2);

  const int badColumns[] = {0, 3, 1};
  QVAExpectRaises([&] { view.WriteSparse(rowStarts, badColumns, values); }, kQVASrvIndexOutOfRange,
                  {"column 3", "entry 1", "0 ... 2"});
  const int badStarts[] = {0, 2, 1};
  QVAExpectRaises([&] { view.WriteSparse(badStarts, columnIndex, values); }, kQVABasInvalidArgument,
                  {"row 1", "before its start 2"});
  EXPECT_EQ(view.NumberOfNonZeros(), 3);  // unchanged by the refused writes
  QVAExpectRaises([&] { QVASimDistribution slice(coupling, QVASimDMember(model.modal.Dofs(), 8)); },
                  kQVABasInvalidArgument, {"sparse"});
  QVAExpectRaises([&] { model.database.NumberOfValues(coupling); }, kQVABasInvalidArgument,
                  {"sparse"});
  // Dense entries refuse it.
  QVAExpectRaises([&] { model.modal.SetStiffness(transaction, coupling); }, kQVABasInvalidArgument,
                  {"sparse", "Stiffness"});
  transaction.Commit();
  EXPECT_EQ(model.modal.AcousticDofCoupling(), coupling);
}

}  // namespace
