#pragma once

// A distribution of the model database, whole or restricted to members of
// some of its dimensions, seen as a column-major two-dimensional array.
//
// Dense values are stored column-major over all dimensions: for sets of sizes
// n0 ... n3 the value at positions (i0, i1, i2, i3) is at
// i0 + n0*(i1 + n1*(i2 + n2*i3)). A restriction fixes some dimensions; the
// remaining (free) dimensions, at most two, form the view:
//
//   // GU over [active modes (m), frames (F), complex part (2), cases (N)]
//   QVASimDMember slice(part, 4); slice.Add(casesCollection, caseMember);
//   QVASimDistribution view(results.GU(), slice);
//   view.Rows() == m; view.Columns() == F; view.LeadingDimension() == m;
//   view.Values()[i + j * view.LeadingDimension()]   // mode i, frame j
//
// A one-dimensional distribution is viewed as a single column. A view with
// one free dimension whose values are not adjacent (a frame row of GU at one
// mode) is one row: Rows() == 1, Columns() == n, LeadingDimension() the
// distance between neighbours, and the set is the column set. With no free
// dimension the view is 1 x 1. The values belong to the database; pointers
// stay valid while the database lives (a distribution removed by a rollback
// keeps its storage until then, but can no longer be reached by identifier).

#include <cstdint>

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimDMember.h"
#include "platform/modeldb/QVASimDistributionID.h"

class QVA_PLATFORM_EXPORT QVASimDistribution {
 public:
  // The whole distribution. Raises when `id` is invalid.
  explicit QVASimDistribution(const QVASimDistributionID& id);
  // The distribution restricted by `members`. Raises when a member is not in
  // the set of its dimension.
  QVASimDistribution(const QVASimDistributionID& id, const QVASimDMember& members);

  QVASimDistributionID ID() const { return id_; }
  int DataKind() const;
  bool IsScratch() const;
  bool IsSparse() const;

  // Dimensions of the whole distribution.
  int NumberOfDimensions() const;
  int Size(int dimension) const;
  int ChunkSize(int dimension) const;
  QVASimCSetID Set(int dimension) const;

  // The view over the free dimensions (dense only). Raises when more than two
  // dimensions are free or when the free dimensions cannot be viewed with one
  // leading dimension.
  int Rows() const { return rows_; }
  int Columns() const { return columns_; }
  std::int64_t LeadingDimension() const { return leadingDimension_; }
  double* Values() const { return values_; }
  // Chunk sizes and sets of the view's row and column dimensions (a
  // one-dimensional view has column chunk 1 and an invalid column set).
  int RowChunk() const { return rowChunk_; }
  int ColumnChunk() const { return columnChunk_; }
  QVASimCSetID RowSet() const { return rowSet_; }
  QVASimCSetID ColumnSet() const { return columnSet_; }

  // Hint for the store's cache, in bytes; kept, not otherwise used in memory.
  void SetCacheSize(std::int64_t bytes) const;
  // The hint last set (0 when never set).
  std::int64_t CacheSize() const;

  // Sparse distributions (rows x columns in compressed-row form).
  // Replaces the values: rowStarts has Rows() + 1 entries, columns and values
  // rowStarts[Rows()] entries each.
  void WriteSparse(const int* rowStarts, const int* columns, const double* values) const;
  int NumberOfNonZeros() const;
  const int* SparseRowStarts() const;
  const int* SparseColumns() const;
  const double* SparseValues() const;

 private:
  QVASimDistributionID id_;
  int rows_ = 0;
  int columns_ = 0;
  std::int64_t leadingDimension_ = 0;
  double* values_ = nullptr;
  int rowChunk_ = 0;
  int columnChunk_ = 0;
  QVASimCSetID rowSet_;
  QVASimCSetID columnSet_;
};
