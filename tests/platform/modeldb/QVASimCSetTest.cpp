// Collections and sets: members admitted by each kind of collection, order
// kept, positions found by IndexOf against a plain linear search, and
// intersections against a naive double loop.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

int LinearIndexOf(const std::vector<int>& members, int member) {
  auto found = std::find(members.begin(), members.end(), member);
  return found == members.end() ? -1 : static_cast<int>(found - members.begin());
}

std::vector<int> MembersOf(const QVASimCSet& set) {
  return std::vector<int>(set.OrderedMembers(), set.OrderedMembers() + set.Size());
}

TEST(QVASimCollection, FixedCollectionRefusesMembersOutsideIt) {
  QVASimDatabase database;
  const QVASimCollection fixed(
      database.CreateCollection(QVATypeIndex(QVADataKinds::kLoadCases), 5));
  EXPECT_FALSE(fixed.IsOpen());
  EXPECT_EQ(fixed.Size(), 5);
  EXPECT_EQ(fixed.Kind(), QVATypeIndex(QVADataKinds::kLoadCases));
  EXPECT_EQ(fixed.Position().TypePosition(), QVATypeIndex(QVADataKinds::kLoadCases));
  const int members[] = {4, 0, 5};
  QVAExpectRaises([&] { fixed.CreateOrderedCSet(members, 3); }, kQVASrvIndexOutOfRange,
                  {"member 5", "position 2", "5 members", "0 ... 4"});
  QVAExpectRaises([&] { fixed.CreateCSetStrided(3, 3, 1, 1); }, kQVASrvIndexOutOfRange,
                  {"member 5", "0 ... 4"});
  const int negative[] = {1, -2};
  QVAExpectRaises([&] { fixed.CreateCSet(negative, 2, false); }, kQVASrvIndexOutOfRange,
                  {"member -2", "negative"});
  EXPECT_EQ(fixed.Size(), 5);
  const QVASimCSet set(fixed.CreateOrderedCSet(members, 2));
  EXPECT_EQ(MembersOf(set), (std::vector<int>{4, 0}));
  EXPECT_EQ(set.Collection(), fixed.ID());
}

TEST(QVASimCollection, OpenCollectionGrowsToItsLargestMember) {
  QVASimDatabase database;
  const QVASimCollection open(database.CreateCollection(QVASimKind::Frames(), -1));
  EXPECT_TRUE(open.IsOpen());
  EXPECT_EQ(open.Size(), 0);
  const QVASimCSet frames(open.CreateCSetStrided(0, 4, 3, 1));  // 0 3 6 9
  EXPECT_EQ(MembersOf(frames), (std::vector<int>{0, 3, 6, 9}));
  EXPECT_EQ(open.Size(), 10);
  const int few[] = {2, 1};
  open.CreateOrderedCSet(few, 2);
  EXPECT_EQ(open.Size(), 10);                                        // never shrinks
  const QVASimCSet backwards(open.CreateCSetStrided(12, 3, -2, 1));  // 12 10 8
  EXPECT_EQ(MembersOf(backwards), (std::vector<int>{12, 10, 8}));
  EXPECT_EQ(open.Size(), 13);
}

TEST(QVASimCollection, DuplicatesAreRefusedAndNothingChanges) {
  QVASimDatabase database;
  const QVASimCollection open(database.CreateCollection(QVASimKind::Modes(), -1));
  const int repeated[] = {3, 7, 1, 7};
  QVAExpectRaises([&] { open.CreateOrderedCSet(repeated, 4); }, kQVABasInvalidArgument,
                  {"member 7", "position 3", "twice"});
  // Members spread far apart take the sorting path of the check.
  const int spread[] = {5, 2000000000, 40, 2000000000};
  QVAExpectRaises([&] { open.CreateVolatileCSet(spread, 4, false); }, kQVABasInvalidArgument,
                  {"member 2000000000", "position 3"});
  QVAExpectRaises([&] { open.CreateCSetStrided(4, 2, 0, 1); }, kQVABasInvalidArgument,
                  {"member 4", "twice"});
  EXPECT_EQ(open.Size(), 0);
  EXPECT_EQ(QVASimCSet(open.CreateCSetStrided(4, 1, 0, 1)).Size(), 1);
  QVAExpectRaises([&] { open.CreateCSetStrided(0, -1, 1, 1); }, kQVABasInvalidArgument,
                  {"negative count -1"});
}

TEST(QVASimCollection, SymbolCollectionMembersAreItsSymbols) {
  QVASimTestModel model;
  const QVASrvSymbolCollection parts(model.modal.ComplexNumberPart());
  EXPECT_TRUE(parts.IsSymbolCollection());
  EXPECT_EQ(parts.Kind(), QVASimKind::ComplexNumberPart());
  EXPECT_EQ(parts.Size(), 2);
  EXPECT_EQ(parts.GetCMemberID(4), 4);
  EXPECT_EQ(parts.GetCMemberID(0), 0);
  QVAExpectRaises([&] { parts.GetCMemberID(1); }, kQVASrvIndexOutOfRange,
                  {"symbol 1", "2 symbols"});
  const int realThenImaginary[] = {4, 0};
  EXPECT_EQ(MembersOf(QVASimCSet(parts.CreateOCSet(realThenImaginary, 2))),
            (std::vector<int>{4, 0}));
  const int wrong[] = {4, 2};
  QVAExpectRaises([&] { parts.CreateOrderedCSet(wrong, 2); }, kQVASrvIndexOutOfRange,
                  {"member 2", "no symbol"});

  const QVASimCollection types(model.modal.DofTypes());
  EXPECT_EQ(types.Size(), 12);
  const int rigidBody[] = {2, 3, 4, 9, 10, 11};
  const QVASimCSet directions(types.CreateOCSet(rigidBody, 6));
  EXPECT_EQ(directions.IndexOf(9), 3);
  const QVASimCollection modes(model.modal.ModesCollection());
  QVAExpectRaises([&] { modes.CreateOCSet(rigidBody, 6); }, kQVASimWrongCollection,
                  {"no symbol collection"});
  QVAExpectRaises([&] { modes.GetCMemberID(2); }, kQVASimWrongCollection, {"no symbol collection"});
  const int twice[] = {3, 3};
  QVAExpectRaises([&] { model.database.CreateSymbolCollection(1, twice, 2); },
                  kQVABasInvalidArgument, {"symbol 3", "twice"});
}

TEST(QVASimCSet, PositionsMatchALinearSearch) {
  QVASimDatabase database;
  const QVASimCollection dofs(database.CreateCollection(QVASimKind::Dofs(), -1));
  std::mt19937 generator(11);
  // A dense permutation (table index) and a spread-out set (hash index).
  std::vector<int> dense(300);
  for (int i = 0; i < 300; ++i) dense[QVAIndex(i)] = i;
  std::shuffle(dense.begin(), dense.end(), generator);
  std::vector<int> spread;
  for (int i = 0; i < 50; ++i) spread.push_back(i * 1000003 + (i % 7));
  std::shuffle(spread.begin(), spread.end(), generator);
  for (const std::vector<int>& members : {dense, spread}) {
    const QVASimCSet set(dofs.CreateOrderedCSet(members.data(), static_cast<int>(members.size())));
    ASSERT_EQ(MembersOf(set), members);
    for (int i = 0; i < static_cast<int>(members.size()); ++i) {
      EXPECT_EQ(set[i], members[QVAIndex(i)]);
    }
    const int largest = *std::max_element(members.begin(), members.end());
    for (const int probe : {-1, 0, 1, 299, 300, 1000003, 1000004, largest, largest + 1}) {
      EXPECT_EQ(set.IndexOf(probe), LinearIndexOf(members, probe)) << "member " << probe;
    }
  }
}

TEST(QVASimCSet, ReadingOutsideRaisesNamingPositionAndBound) {
  QVASimDatabase database;
  const QVASimCollection frames(database.CreateCollection(QVASimKind::Frames(), -1));
  const QVASimCSet set(frames.CreateCSetStrided(10, 5, 1, 1));
  QVAExpectRaises([&] { set[7]; }, kQVASrvIndexOutOfRange, {"position 7", "5 members", "0 ... 4"});
  QVAExpectRaises([&] { set[-1]; }, kQVASrvIndexOutOfRange, {"position -1"});
  QVAExpectRaises([&] { QVASimCSet none{QVASimCSetID(&database, 4)}; }, kQVASimInvalidIdentifier,
                  {"set 4", "does not exist"});
  EXPECT_FALSE(QVASimCSetID().IsValid());
  EXPECT_FALSE(QVASimCollectionID().IsValid());
  QVAExpectRaises([&] { QVASimCollection none{QVASimCollectionID(&database, 3)}; },
                  kQVASimInvalidIdentifier, {"collection 3", "0 ... 0"});
}

TEST(QVASimCSet, IntersectionKeepsThisSetsOrder) {
  QVASimTestModel model(20, 5);
  const QVASimCollection modes(model.modal.ModesCollection());
  const int active[] = {9, 2, 7, 5, 3};
  const QVASimCSet activeSet(modes.CreateVolatileCSet(active, 5, false));
  const QVASimCSet residual(modes.CreateCSetStrided(5, 3, 1, 1));  // 5 6 7
  const QVASimCSet common(activeSet.Intersection(residual));
  std::vector<int> expected;
  for (const int mode : active) {
    for (int k = 0; k < residual.Size(); ++k) {
      if (residual[k] == mode) expected.push_back(mode);
    }
  }
  EXPECT_EQ(MembersOf(common), expected);  // {7, 5}
  EXPECT_EQ(common.Collection(), modes.ID());
  EXPECT_EQ(
      QVASimCSet(residual.Intersection(QVASimCSet(modes.CreateCSetStrided(0, 0, 1, 1)))).Size(), 0);
  const QVASimCSet dofs(QVASimCollection(model.modal.Dofs()).CreateCSetStrided(0, 3, 1, 1));
  QVAExpectRaises([&] { activeSet.Intersection(dofs); }, kQVASimWrongCollection,
                  {"over collection"});
}

}  // namespace
