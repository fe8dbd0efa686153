#include "platform/matrix/QVASrvUtilities.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <type_traits>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

// A chunk below 1 stands for the whole dimension; a chunk is cut to its
// dimension and is at least 1.
int NormalizedChunk(int chunk, int size) {
  if (chunk < 1 || chunk > size) chunk = size;
  return std::max(chunk, 1);
}

// Largest number of bytes of one block.
constexpr std::int64_t kBlockLimitBytes = std::int64_t{2} * 1024 * 1024 * 1024;

}  // namespace

QVASimDistributionID QVASrvUtilities::CreateDistribution(const QVASimPosition& position,
                                                         int dataKind, int numberOfSets,
                                                         const QVASimCSetID* sets,
                                                         const int* chunkSizes, bool scratch) {
  QVA_VERIFY(numberOfSets >= 1 && numberOfSets <= 4, kQVABasInvalidArgument,
             "QVASrvUtilities::CreateDistribution: " << numberOfSets
                                                     << " sets, a distribution has 1 ... 4");
  int chunks[4] = {};
  for (int dimension = 0; dimension < numberOfSets; ++dimension) {
    chunks[dimension] = NormalizedChunk(chunkSizes[dimension], QVASimCSet(sets[dimension]).Size());
  }
  return position.Context().CreateDistribution(position, dataKind, numberOfSets, sets, chunks,
                                               scratch);
}

QVASimDistributionID QVASrvUtilities::Create1DDistribution(const QVASimPosition& position,
                                                           int dataKind, const QVASimCSetID& set,
                                                           int chunkSize) {
  return CreateDistribution(position, dataKind, 1, &set, &chunkSize, false);
}

QVASimDistributionID QVASrvUtilities::Create2DDistribution(const QVASimPosition& position,
                                                           int dataKind, const QVASimCSetID& rowSet,
                                                           const QVASimCSetID& columnSet,
                                                           int rowChunk, int columnChunk) {
  const QVASimCSetID sets[] = {rowSet, columnSet};
  const int chunks[] = {rowChunk, columnChunk};
  return CreateDistribution(position, dataKind, 2, sets, chunks, false);
}

QVASimDistributionID QVASrvUtilities::CreateSparseDistribution(const QVASimPosition& position,
                                                               int dataKind,
                                                               const QVASimCSetID& rowSet,
                                                               const QVASimCSetID& columnSet) {
  return position.Context().CreateSparseDistribution(position, dataKind, rowSet, columnSet);
}

void QVASrvUtilities::LimitChunkSize2GB(int& rowChunk, int& columnChunk, int rows, int columns) {
  rowChunk = NormalizedChunk(rowChunk, rows);
  columnChunk = NormalizedChunk(columnChunk, columns);
  const auto blockBytes = [&] {
    return static_cast<std::int64_t>(rowChunk) * columnChunk *
           static_cast<std::int64_t>(sizeof(double));
  };
  while (blockBytes() >= kBlockLimitBytes) {
    int& larger = rowChunk >= columnChunk ? rowChunk : columnChunk;
    larger = (larger + 1) / 2;
  }
}

void QVASrvUtilities::ReportAndAbort(const char* what, const char* file, int line) {
  std::fprintf(stderr, "***Fatal Error: %s missing: %s: %d\n", what != nullptr ? what : "",
               file != nullptr ? file : "", line);
  std::fflush(stderr);
  std::abort();
}

int* QVASrvFindContiguousRanges(const int* list, int count, int limit, int& numberOfRanges) {
  QVA_VERIFY(count >= 0, kQVABasInvalidArgument,
             "QVASrvFindContiguousRanges: list of " << count << " entries");
  // At most one range per entry, plus the closing boundary.
  int* boundaries = mem_AllocArray<int>(QVAIndex(count) + 1);
  numberOfRanges = 0;
  boundaries[0] = 0;
  for (int entry = 1; entry <= count; ++entry) {
    const bool runEnds =
        entry == count ||
        static_cast<std::int64_t>(list[entry]) != list[entry - 1] + std::int64_t{1} ||
        (limit > 0 && entry - boundaries[numberOfRanges] >= limit);
    if (runEnds) boundaries[++numberOfRanges] = entry;
  }
  return boundaries;
}

void QVASRVSORT13(double* keys, double* carriedDoubles, int* carriedInts, const int* direction,
                  const int* count, const int* option) {
  QVA_VERIFY(*direction == 1 || *direction == -1, kQVABasInvalidArgument,
             "QVASRVSORT13: direction " << *direction << ", expected 1 or -1");
  QVA_VERIFY(*option == 0, kQVABasInvalidArgument,
             "QVASRVSORT13: option " << *option << ", expected 0");
  QVA_VERIFY(*count >= 0, kQVABasInvalidArgument, "QVASRVSORT13: count " << *count);
  const std::size_t n = QVAIndex(*count);
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  // NaN keys go last in either direction, so that the order stays strict and weak.
  const bool ascending = *direction == 1;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const double keyA = keys[a];
    const double keyB = keys[b];
    if (std::isnan(keyA) || std::isnan(keyB)) return !std::isnan(keyA) && std::isnan(keyB);
    return ascending ? keyA < keyB : keyA > keyB;
  });
  const auto permute = [&](auto* values) {
    if (values == nullptr) return;
    using Value = std::remove_pointer_t<decltype(values)>;
    std::vector<Value> sorted(n);
    for (std::size_t i = 0; i < n; ++i) sorted[i] = values[order[i]];
    std::copy(sorted.begin(), sorted.end(), values);
  };
  permute(keys);
  permute(carriedDoubles);
  permute(carriedInts);
}
