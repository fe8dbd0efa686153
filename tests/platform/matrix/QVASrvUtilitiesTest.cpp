// Index-list and key-array helpers of the matrix services, the chunk-size
// limit and the abort routine.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvUtilities.h"

namespace {

// Boundaries and range count of QVASrvFindContiguousRanges, the array freed.
std::vector<int> Ranges(const std::vector<int>& list, int limit) {
  int numberOfRanges = -1;
  int* boundaries =
      QVASrvFindContiguousRanges(list.data(), static_cast<int>(list.size()), limit, numberOfRanges);
  std::vector<int> result(boundaries, boundaries + numberOfRanges + 1);
  mem_Free(boundaries);
  return result;
}

TEST(QVASrvFindContiguousRanges, RunsOfConsecutiveValuesCutAtTheLimit) {
  EXPECT_EQ(Ranges({1, 2, 3, 7, 8}, 10), (std::vector<int>{0, 3, 5}));
  EXPECT_EQ(Ranges({4, 5, 6, 10}, 10), (std::vector<int>{0, 3, 4}));
  // Descending or repeated values break a run.
  EXPECT_EQ(Ranges({3, 2, 2, 3}, 10), (std::vector<int>{0, 1, 2, 4}));
  // A limit cuts long runs.
  EXPECT_EQ(Ranges({0, 1, 2, 3, 4, 9}, 2), (std::vector<int>{0, 2, 4, 5, 6}));
  // Limit 1: every entry is a range of its own.
  EXPECT_EQ(Ranges({5, 6, 7}, 1), (std::vector<int>{0, 1, 2, 3}));
  // A limit of 0 or below sets no limit.
  EXPECT_EQ(Ranges({5, 6, 7, 8}, 0), (std::vector<int>{0, 4}));
  EXPECT_EQ(Ranges({5, 6, 7, 8}, -3), (std::vector<int>{0, 4}));
  // An empty list gives no range.
  EXPECT_EQ(Ranges({}, 10), (std::vector<int>{0}));
  const int maximum = std::numeric_limits<int>::max();
  // No overflow at the top of the integer range.
  EXPECT_EQ(Ranges({maximum - 1, maximum}, 0), (std::vector<int>{0, 2}));
  int numberOfRanges = 0;
  EXPECT_THROW(QVASrvFindContiguousRanges(nullptr, -1, 0, numberOfRanges), QVABasError);
}

TEST(QVASRVSORT13, SortsStablyCarryingBothArrays) {
  std::vector<double> keys = {3.0, -1.0, 3.0, 0.5, -1.0};
  std::vector<double> real = {30.0, 10.0, 31.0, 5.0, 11.0};
  std::vector<int> index = {0, 1, 2, 3, 4};
  const int ascending = 1;
  const int count = 5;
  const int option = 0;
  QVASRVSORT13(keys.data(), real.data(), index.data(), &ascending, &count, &option);
  EXPECT_EQ(keys, (std::vector<double>{-1.0, -1.0, 0.5, 3.0, 3.0}));
  EXPECT_EQ(index, (std::vector<int>{1, 4, 3, 0, 2}));  // equal keys keep their order
  EXPECT_EQ(real, (std::vector<double>{10.0, 11.0, 5.0, 30.0, 31.0}));

  const int descending = -1;
  QVASRVSORT13(keys.data(), nullptr, index.data(), &descending, &count, &option);
  EXPECT_EQ(keys, (std::vector<double>{3.0, 3.0, 0.5, -1.0, -1.0}));
  EXPECT_EQ(index, (std::vector<int>{0, 2, 3, 1, 4}));

  const int none = 0;
  QVASRVSORT13(nullptr, nullptr, nullptr, &ascending, &none, &option);
  const int badOption = 1;
  EXPECT_THROW(QVASRVSORT13(keys.data(), nullptr, nullptr, &ascending, &count, &badOption),
               QVABasError);
  const int badDirection = 0;
  EXPECT_THROW(QVASRVSORT13(keys.data(), nullptr, nullptr, &badDirection, &count, &option),
               QVABasError);
}

TEST(QVASrvUtilitiesChunks, LimitChunkSize2GBKeepsOneBlockBelowTheLimit) {
  int rowChunk = 100;
  int columnChunk = 5;
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, 30, 200);
  EXPECT_EQ(rowChunk, 30);  // cut to the dimension
  EXPECT_EQ(columnChunk, 5);

  rowChunk = -1;
  columnChunk = 0;
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, 1000, 7);
  EXPECT_EQ(rowChunk, 1000);  // below 1: the whole dimension
  EXPECT_EQ(columnChunk, 7);

  const int rows = 50000000;
  const int columns = 1000;
  rowChunk = -1;
  columnChunk = -1;
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, rows, columns);
  const std::int64_t bytes = std::int64_t{rowChunk} * columnChunk * 8;
  EXPECT_LT(bytes, std::int64_t{1} << 31);
  // Halving stops as soon as the block fits: doubling either chunk back exceeds it.
  EXPECT_GE(2 * bytes, std::int64_t{1} << 31);
  EXPECT_EQ(columnChunk, 1000);

  rowChunk = 5;
  columnChunk = 5;
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, 0, 0);
  EXPECT_EQ(rowChunk, 1);  // an empty dimension keeps a chunk of 1
  EXPECT_EQ(columnChunk, 1);
}

TEST(QVASrvUtilitiesDeathTest, ReportAndAbortNamesWhatIsMissing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      QVASrvUtilities::ReportAndAbort("force", "QVADyn/QVADynCore/impl/QVADynUtilities", 95),
      "\\*\\*\\*Fatal Error: force missing: QVADyn/QVADynCore/impl/QVADynUtilities: 95");
}

}  // namespace
