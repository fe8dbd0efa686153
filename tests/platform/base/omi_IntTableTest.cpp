// Integer-keyed tables, the copy-on-write list and the framework string.

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <vector>

#include "platform/base/KRNString.h"
#include "platform/base/cow_List.h"
#include "platform/base/omi_IntTable.h"

TEST(omi_IntTable, NegativeKeysAreKeptApartFromTheirMagnitudes) {
  omi_IntTable<int> table;
  EXPECT_TRUE(table.Insert(3, 30));
  EXPECT_TRUE(table.Insert(-3, -30));
  EXPECT_FALSE(table.Insert(3, 99));  // present already: unchanged
  EXPECT_EQ(table.Size(), 2);
  const int* positive = table.Find(3);
  ASSERT_NE(positive, nullptr);
  EXPECT_EQ(*positive, 30);
  int* negative = table.Find(-3);
  ASSERT_NE(negative, nullptr);
  EXPECT_EQ(*negative, -30);
  EXPECT_EQ(table.Find(4), nullptr);
  *negative = -31;
  const int* changed = static_cast<const omi_IntTable<int>&>(table).Find(-3);
  ASSERT_NE(changed, nullptr);
  EXPECT_EQ(*changed, -31);
  EXPECT_TRUE(table.Remove(-3));
  EXPECT_FALSE(table.Remove(-3));
  EXPECT_NE(table.Find(3), nullptr);
  table.Clear();
  EXPECT_EQ(table.Size(), 0);
}

// Every entry, including INT_MIN and INT_MAX, is visited exactly once, in the
// documented order; the reference is an ordinary map of the same entries.
TEST(omi_IntTable, IterationVisitsEveryEntryOnce) {
  const int keys[] = {5, -1, 0, INT_MIN, 2, -7, INT_MAX, -2};
  omi_IntTable<int> table;
  std::map<int, int> expected;
  for (int key : keys) {
    table.Insert(key, key / 2);
    expected[key] = key / 2;
  }
  std::map<int, int> visits;
  std::vector<int> order;
  for (omi_IntTableIterator<int> it(table); it.More(); it.Next()) {
    ++visits[it.Key()];
    EXPECT_EQ(it.Value(), expected[it.Key()]);
    order.push_back(it.Key());
  }
  EXPECT_EQ(visits.size(), expected.size());
  for (const auto& [key, count] : visits) EXPECT_EQ(count, 1) << "key " << key;
  EXPECT_EQ(order, (std::vector<int>{0, 2, 5, INT_MAX, -1, -2, -7, INT_MIN}));
}

TEST(omi_IntTable, IteratorOverEmptyOrOneSidedTables) {
  omi_IntTable<double> table;
  EXPECT_FALSE(omi_IntTableIterator<double>(table).More());
  table.Insert(-4, 0.5);
  omi_IntTableIterator<double> onlyNegative(table);
  ASSERT_TRUE(onlyNegative.More());
  EXPECT_EQ(onlyNegative.Key(), -4);
  onlyNegative.Next();
  EXPECT_FALSE(onlyNegative.More());
}

TEST(cow_List, CopiesShareUntilOneIsChanged) {
  cow_List<int> modes;
  EXPECT_EQ(modes.Size(), 0);
  modes.Append(3);
  modes.Append(7);
  cow_List<int> copy = modes;
  copy.At(0) = 4;
  copy.Append(9);
  EXPECT_EQ(modes.Size(), 2);
  EXPECT_EQ(modes[0], 3);
  EXPECT_EQ(copy.Size(), 3);
  EXPECT_EQ(copy[0], 4);
  modes.Clear();
  EXPECT_EQ(modes.Size(), 0);
  EXPECT_EQ(copy[2], 9);
}

TEST(KRNString, NullIsEmptyAndNamesCompare) {
  EXPECT_STREQ(KRNString(nullptr).Text(), "");
  EXPECT_EQ(KRNString("STIFFNESS_CHANGE").Length(), 16);
  EXPECT_TRUE(KRNString("A") == KRNString("A"));
  EXPECT_TRUE(KRNString("A") < KRNString("B"));
}
