#pragma once

// Creation of distributions in the model database, chunk-size limits, the
// abort routine, and two free helpers on index lists and key arrays.
//
//   QVASimCSetID sets[] = {dofSet, results.Frames(), parts, results.Cases()};
//   int chunks[] = {rowBlock, columnBlock, 1, 1};
//   QVASimDistributionID u = QVASrvUtilities::CreateDistribution(
//       results.MyPosition(), CoreFragmentTypeIndex(6, 5), 4, sets, chunks, false);
//
// A chunk size of -1 (or any value below 1) means the whole dimension; a chunk
// larger than its dimension is cut to it.

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVA_PLATFORM_EXPORT QVASrvUtilities {
 public:
  // A zeroed dense distribution of `dataKind` owned by `position`, over
  // numberOfSets (1 ... 4) sets with the given chunk sizes. Needs an open
  // transaction on the position's database. `scratch` marks a distribution
  // that its maker does not attach to a model object.
  static QVASimDistributionID CreateDistribution(const QVASimPosition& position, int dataKind,
                                                 int numberOfSets, const QVASimCSetID* sets,
                                                 const int* chunkSizes, bool scratch);
  static QVASimDistributionID Create1DDistribution(const QVASimPosition& position, int dataKind,
                                                   const QVASimCSetID& set, int chunkSize);
  static QVASimDistributionID Create2DDistribution(const QVASimPosition& position, int dataKind,
                                                   const QVASimCSetID& rowSet,
                                                   const QVASimCSetID& columnSet, int rowChunk,
                                                   int columnChunk);
  // An empty sparse distribution over (rowSet, columnSet).
  static QVASimDistributionID CreateSparseDistribution(const QVASimPosition& position, int dataKind,
                                                       const QVASimCSetID& rowSet,
                                                       const QVASimCSetID& columnSet);

  // Cuts both chunk sizes to their dimensions (values below 1 become the whole
  // dimension), then halves the larger one until one block of
  // rowChunk x columnChunk doubles stays below 2 GiB.
  static void LimitChunkSize2GB(int& rowChunk, int& columnChunk, int rows, int columns);

  // Writes "***Fatal Error: <what> missing: <file>: <line>" to standard error
  // and ends the process with abort().
  [[noreturn]] static void ReportAndAbort(const char* what, const char* file, int line);
};

// Cuts `list` (count entries) into runs of consecutive values, none longer than
// `limit` entries; a limit of 0 or less means no limit. Returns a new array
// (mem_Malloc, freed by the caller with mem_Free) of numberOfRanges + 1
// boundaries: run r holds list entries boundary[r] ... boundary[r + 1] - 1.
//
//   list {1, 2, 3, 7, 8}, limit 10 -> boundaries {0, 3, 5}, numberOfRanges 2.
QVA_PLATFORM_EXPORT int* QVASrvFindContiguousRanges(const int* list, int count, int limit,
                                                    int& numberOfRanges);

// Sorts keys[0 ... *count - 1] stably, carrying carriedDoubles and carriedInts
// along (either may be null). *direction 1 sorts ascending, -1 descending;
// *option is reserved and must be 0.
QVA_PLATFORM_EXPORT void QVASRVSORT13(double* keys, double* carriedDoubles, int* carriedInts,
                                      const int* direction, const int* count, const int* option);
