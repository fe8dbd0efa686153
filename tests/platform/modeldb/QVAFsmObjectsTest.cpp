// Model objects of the database: the checks made when sets and distributions are attached,
// data records naming load cases, and a host round trip through plain arrays (exact values).

#include <gtest/gtest.h>

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

TEST(QVAFsmModalEventResults, AttachingChecksTheCollectionOfTheFirstSet) {
  QVASimTestModel model;
  QVASimTransaction transaction(model.database);
  const QVASimCSetID modes = QVASimCollection(model.results.Modes()).CreateCSetStrided(0, 3, 1, 1);
  const QVASimCSetID frames =
      QVASimCollection(model.results.FramesCollection()).CreateCSetStrided(0, 4, 1, 1);
  const QVASimCSetID dofs = QVASimCollection(model.results.Dofs()).CreateCSetStrided(0, 6, 1, 1);
  const QVASimPosition owner = model.results.MyPosition();
  const QVASimCSetID modeFrame[] = {modes, frames};
  const QVASimCSetID dofFrame[] = {dofs, frames};
  const QVASimDistributionID gu = model.database.CreateDistribution(
      owner, QVATypeIndex(QVADataKinds::kModalHistory), 2, modeFrame, nullptr, false);
  const QVASimDistributionID u = model.database.CreateDistribution(
      owner, QVATypeIndex(QVADataKinds::kPhysicalHistory), 2, dofFrame, nullptr, false);
  const QVASimDistributionID allKe = model.database.CreateDistribution(
      owner, model.results.ModeFrameGridType(), 1, &frames, nullptr, false);

  model.results.SetGU(transaction, gu);
  model.results.SetKE(transaction, gu);
  model.results.SetU(transaction, u);
  model.results.SetRF(transaction, u);
  model.results.SetAllKE(transaction, allKe);
  model.results.SetActiveModes(transaction, modes);
  model.results.SetFrames(transaction, frames);
  QVAExpectRaises([&] { model.results.SetGV(transaction, u); }, kQVASimWrongCollection,
                  {"QVAFsmModalEventResults::SetGV", "first set", "collection"});
  QVAExpectRaises([&] { model.results.SetV(transaction, gu); }, kQVASimWrongCollection, {"SetV"});
  QVAExpectRaises([&] { model.results.SetAllWork(transaction, u); }, kQVASimWrongCollection,
                  {"SetAllWork"});
  QVAExpectRaises([&] { model.results.SetCases(transaction, frames); }, kQVASimWrongCollection,
                  {"SetCases", "set"});
  QVAExpectRaises([&] { model.results.SetFrames(transaction, QVASimCSetID()); },
                  kQVASimInvalidIdentifier, {"set -1"});
  transaction.Commit();
  EXPECT_EQ(model.results.GU(), gu);
  EXPECT_EQ(model.results.KE(), gu);
  EXPECT_EQ(model.results.U(), u);
  EXPECT_EQ(model.results.RF(), u);
  EXPECT_EQ(model.results.AllKE(), allKe);
  EXPECT_FALSE(model.results.GV().IsValid());
  EXPECT_EQ(model.results.Frames(), frames);
}

TEST(QVASimDataRecord, LoadCasesAreNamedThroughAssociatedRecords) {
  QVASimTestModel model;
  const QVASimPosition position = model.results.MyPosition();
  const int loadCaseKind = QVATypeIndex(QVADataKinds::kLoadCaseRecord);
  const int nameKind = QVATypeIndex(QVADataKinds::kLoadCaseName);
  const int namedBy = QVATypeIndex(QVADataKinds::kNameAssociation);
  std::vector<int> members;
  QVASimTransaction transaction(model.database);
  for (int i = 0; i < 3; ++i) {
    QVASimDataRecord loadCase =
        position.CreateDataRecord(transaction, loadCaseKind, model.results.CasesCollection());
    QVASimDataRecord name = position.CreateDataRecord(transaction, nameKind, QVASimCollectionID());
    name.SetStringField(0, cow_String("LoadCase #").AppendInt(i).Text());
    name.Associate(namedBy, loadCase);
    members.push_back(loadCase.Member());
    EXPECT_EQ(loadCase.Collection(), model.results.CasesCollection());
    EXPECT_EQ(loadCase.Kind(), loadCaseKind);
    EXPECT_FALSE(name.Collection().IsValid());
    EXPECT_EQ(loadCase.Associated(namedBy).StringField(0), cow_String("LoadCase #").AppendInt(i));
    EXPECT_EQ(name.Associated(namedBy).Index(), loadCase.Index());
  }
  EXPECT_EQ(members, (std::vector<int>{0, 1, 2}));
  const QVASimCSetID cases =
      QVASimCollection(model.results.CasesCollection())
          .CreateCSet(members.data(), static_cast<int>(members.size()), false);
  model.results.SetCases(transaction, cases);
  transaction.Commit();
  EXPECT_EQ(QVASimCSet(model.results.Cases()).Size(), 3);

  QVAExpectRaises(
      [&] {
        QVASimTransaction late(model.database);
        position.CreateDataRecord(late, loadCaseKind, model.modal.ComplexNumberPart());
      },
      kQVASimWrongCollection, {"symbol collection"});
  QVAExpectRaises([&] { QVASimDataRecord().StringField(0); }, kQVASimInvalidIdentifier,
                  {"data record -1"});
}

TEST(QVASimDataRecord, ReassociatingReleasesTheFormerPartner) {
  QVASimTestModel model;
  QVASimTransaction transaction(model.database);
  const QVASimPosition position = model.results.MyPosition();
  QVASimDataRecord a = position.CreateDataRecord(transaction, 1, QVASimCollectionID());
  QVASimDataRecord b = position.CreateDataRecord(transaction, 1, QVASimCollectionID());
  QVASimDataRecord c = position.CreateDataRecord(transaction, 1, QVASimCollectionID());
  a.Associate(7, b);
  a.Associate(7, c);
  EXPECT_EQ(a.Associated(7).Index(), c.Index());
  EXPECT_EQ(c.Associated(7).Index(), a.Index());
  EXPECT_FALSE(b.Associated(7).IsValid());
  EXPECT_FALSE(a.Associated(8).IsValid());
  transaction.Commit();
}

// The host's side: a basis written from plain arrays and read back the same way.
TEST(QVASimDatabase, HostRoundTripThroughPlainArrays) {
  QVASimDatabase database;
  QVAFsmModalSystem modal = database.CreateModalSystem(4, 2);
  QVASimTransaction transaction(modal.MyPosition().Context());
  const QVASimCSetID dofs = QVASimCollection(modal.Dofs()).CreateCSetStrided(0, 4, 1, 1);
  const QVASimCSetID modes =
      QVASimCollection(modal.ModesCollection()).CreateCSetStrided(0, 2, 1, 1);
  const QVASimCSetID sets[] = {dofs, modes};
  const int chunks[] = {3, 1};
  const QVASimDistributionID shapes = database.CreateDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kModeShapes), 2, sets, chunks, false);
  modal.SetModeShapes(transaction, shapes);
  transaction.Commit();
  const double phi[] = {1, 2, 3, 4, -1, -2, -3, -4};  // 4 x 2, column-major
  database.WriteDistribution(modal.ModeShapes(), phi);
  const QVASimDistribution view(modal.ModeShapes(), QVASimDMember(modal.ModesCollection(), 1));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(view.Values()[i], -(i + 1.0));
  std::vector<double> back(QVAIndex(database.NumberOfValues(shapes)));
  database.ReadDistribution(shapes, back.data());
  EXPECT_EQ(back, std::vector<double>(phi, phi + 8));
}

}  // namespace
