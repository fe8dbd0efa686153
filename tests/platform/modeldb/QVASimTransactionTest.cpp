// Transactions: a rollback puts every entry of every model object back, removes
// the sets, distributions and records made in it and undoes collection growth,
// string fields and associations; nesting hands changes outwards; misuse
// raises and leaves the database consistent. Values compared are exact.

#include <gtest/gtest.h>

#include <stdexcept>

#include "internal/QVADataKinds.h"
#include "platform/modeldb/QVAFsmFrequencyTask.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

QVASimDistributionID MakeEigenvalues(QVASimTestModel& model, const QVASimCSetID& modes) {
  const QVASimDistributionID eigenvalues = model.database.CreateDistribution(
      model.modal.MyPosition(), QVATypeIndex(QVADataKinds::kEigenvalues), 1, &modes, nullptr,
      false);
  return eigenvalues;
}

TEST(QVASimTransaction, RollbackRestoresEntriesAndRemovesWhatItMade) {
  QVASimTestModel model;
  QVASimCollection modes(model.modal.ModesCollection());
  QVASimCSetID committedModes;
  QVASimDistributionID committedValues;
  {
    QVASimTransaction transaction(model.database);
    committedModes = modes.CreateCSetStrided(0, 3, 1, 1);
    committedValues = MakeEigenvalues(model, committedModes);
    model.modal.SetModes(transaction, committedModes);
    model.modal.SetEigenvalues(transaction, committedValues);
    transaction.Commit();
  }
  EXPECT_EQ(model.database.TransactionDepth(), 0);

  QVASimCSetID madeSet;
  QVASimDistributionID madeValues;
  double* storage = nullptr;
  try {
    QVASimTransaction transaction(model.database);
    madeSet = modes.CreateCSetStrided(0, 8, 1, 1);
    madeValues = MakeEigenvalues(model, madeSet);
    storage = QVASimDistribution(madeValues).Values();
    storage[7] = 49.0;
    model.modal.SetModes(transaction, madeSet);  // replaces an entry
    model.modal.SetEigenvalues(transaction, madeValues);
    model.modal.SetStructuralModes(transaction, madeSet);  // a new entry
    model.results.SetActiveModes(transaction, madeSet);
    EXPECT_EQ(modes.Size(), 8);
    throw std::runtime_error("failure while writing");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(model.database.TransactionDepth(), 0);
  EXPECT_EQ(model.modal.Modes(), committedModes);
  EXPECT_EQ(model.modal.Eigenvalues(), committedValues);
  EXPECT_FALSE(model.modal.StructuralModes().IsValid());
  EXPECT_FALSE(model.results.ActiveModes().IsValid());
  EXPECT_EQ(modes.Size(), 3);
  EXPECT_FALSE(madeSet.IsValid());
  EXPECT_FALSE(madeValues.IsValid());
  EXPECT_TRUE(committedModes.IsValid());
  // Storage taken before the rollback stays readable (no dangling pointer).
  EXPECT_EQ(storage[7], 49.0);
  QVAExpectRaises([&] { QVASimDistribution stale(madeValues); }, kQVASimInvalidIdentifier,
                  {"distribution 1", "rollback"});
  QVAExpectRaises([&] { QVASimCSet stale(madeSet); }, kQVASimInvalidIdentifier,
                  {"set 1", "rollback"});
  QVAExpectRaises([&] { model.database.ReadDistribution(madeValues, storage); },
                  kQVASimInvalidIdentifier, {"distribution 1"});
}

TEST(QVASimTransaction, NestedCommitsBelongToTheOuterTransaction) {
  QVASimTestModel model;
  QVASimCollection modes(model.modal.ModesCollection());
  QVASimCSetID innerSet;
  QVASimCSetID keptSet;
  {
    QVASimTransaction outer(model.database);
    {
      QVASimTransaction inner(model.database);
      EXPECT_EQ(model.database.TransactionDepth(), 2);
      innerSet = modes.CreateCSetStrided(0, 2, 1, 1);
      model.modal.SetModes(inner, innerSet);
      inner.Commit();
    }
    {
      QVASimTransaction rolledBack(model.database);
      keptSet = modes.CreateCSetStrided(0, 4, 1, 1);
      model.modal.SetModes(rolledBack, keptSet);
    }
    // The inner rollback undid only its own change.
    EXPECT_EQ(model.modal.Modes(), innerSet);
    EXPECT_FALSE(keptSet.IsValid());
    EXPECT_TRUE(innerSet.IsValid());
    EXPECT_EQ(modes.Size(), 2);
  }
  // The outer rollback undid the committed inner change as well.
  EXPECT_FALSE(model.modal.Modes().IsValid());
  EXPECT_FALSE(innerSet.IsValid());
  EXPECT_EQ(modes.Size(), 0);
}

TEST(QVASimTransaction, MisuseRaisesAndKeepsTheDatabaseConsistent) {
  QVASimTestModel model;
  const QVASimCSetID modes =
      QVASimCollection(model.modal.ModesCollection()).CreateCSetStrided(0, 2, 1, 1);
  QVASimTransaction outer(model.database);
  {
    QVASimTransaction inner(model.database);
    QVAExpectRaises([&] { outer.Commit(); }, kQVASimInconsistent,
                    {"level 1", "not the innermost", "2 open"});
    QVAExpectRaises([&] { model.modal.SetModes(outer, modes); }, kQVASimInconsistent,
                    {"QVAFsmModalSystem::SetModes", "innermost"});
    inner.Commit();
    QVAExpectRaises([&] { inner.Commit(); }, kQVASimInconsistent, {"already committed"});
    QVAExpectRaises([&] { model.modal.SetModes(inner, modes); }, kQVASimInconsistent,
                    {"committed"});
  }
  QVASimDatabase other;
  QVASimTransaction foreign(other);
  QVAExpectRaises([&] { model.modal.SetModes(foreign, modes); }, kQVASimInconsistent,
                  {"another database"});
  foreign.Commit();
  model.modal.SetModes(outer, modes);
  outer.Commit();
  EXPECT_EQ(model.modal.Modes(), modes);
  EXPECT_EQ(model.database.TransactionDepth(), 0);
}

TEST(QVASimTransaction, OuterEndingFirstRollsBackTheInnerToo) {
  QVASimTestModel model;
  auto outer = std::make_unique<QVASimTransaction>(model.database);
  auto inner = std::make_unique<QVASimTransaction>(model.database);
  const QVASimCSetID set =
      QVASimCollection(model.modal.ModesCollection()).CreateCSetStrided(0, 2, 1, 1);
  outer.reset();  // out of order: everything from its level down rolls back
  EXPECT_EQ(model.database.TransactionDepth(), 0);
  EXPECT_FALSE(set.IsValid());
  QVAExpectRaises([&] { inner->Commit(); }, kQVASimInconsistent, {"level 2"});
  // Two new transactions take the levels of the two rolled back; destroying
  // the stale inner one leaves the new one at its level alone.
  QVASimTransaction later(model.database);
  QVASimTransaction laterInner(model.database);
  const QVASimCSetID kept =
      QVASimCollection(model.modal.ModesCollection()).CreateCSetStrided(0, 1, 1, 1);
  inner.reset();
  EXPECT_EQ(model.database.TransactionDepth(), 2);
  EXPECT_TRUE(kept.IsValid());
  laterInner.Commit();
  later.Commit();
  EXPECT_TRUE(kept.IsValid());
}

TEST(QVASimTransaction, TaskEntriesAndRecordsAreUndone) {
  QVASimTestModel model(6, 4);
  QVAFsmFrequencyTask task(model.modal.Task());
  QVASimDataRecord loadCase;
  {
    QVASimTransaction transaction(model.database);
    task.SetPropertyEvaluation(transaction, 12.5);
    loadCase = model.results.MyPosition().CreateDataRecord(
        transaction, QVATypeIndex(QVADataKinds::kLoadCaseRecord), model.results.CasesCollection());
    loadCase.SetStringField(0, "first");
    transaction.Commit();
  }
  QVASimDataRecord name;
  {
    QVASimTransaction transaction(model.database);
    task.SetPropertyEvaluation(transaction, 30.0);
    const int nodes[] = {3, 1};
    task.SetRecoveryNodes(transaction,
                          QVASimCollection(model.modal.Nodes()).CreateOrderedCSet(nodes, 2));
    loadCase.SetStringField(0, "renamed");
    loadCase.SetStringField(1, "added");
    name = model.results.MyPosition().CreateDataRecord(
        transaction, QVATypeIndex(QVADataKinds::kLoadCaseName), QVASimCollectionID());
    name.Associate(QVATypeIndex(QVADataKinds::kNameAssociation), loadCase);
    model.results.MyPosition().CreateDataRecord(
        transaction, QVATypeIndex(QVADataKinds::kLoadCaseRecord), model.results.CasesCollection());
    EXPECT_EQ(QVASimCollection(model.results.CasesCollection()).Size(), 2);
  }
  EXPECT_EQ(task.PropertyEvaluation(), 12.5);
  EXPECT_FALSE(task.RecoveryNodes().IsValid());
  EXPECT_EQ(QVASimCollection(model.results.CasesCollection()).Size(), 1);
  EXPECT_TRUE(loadCase.IsValid());
  EXPECT_FALSE(name.IsValid());
  EXPECT_EQ(loadCase.StringField(0), "first");
  EXPECT_EQ(loadCase.StringField(1).Buffer(), nullptr);
  EXPECT_FALSE(loadCase.Associated(QVATypeIndex(QVADataKinds::kNameAssociation)).IsValid());
}

}  // namespace
