#include "platform/modeldb/QVASimDistribution.h"

#include <algorithm>

#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/impl/QVASimChecks.h"

namespace {

constexpr int kMaximumFreeDimensions = 2;

}  // namespace

QVASimDistribution::QVASimDistribution(const QVASimDistributionID& id)
    : QVASimDistribution(id, QVASimDMember()) {}

QVASimDistribution::QVASimDistribution(const QVASimDistributionID& id, const QVASimDMember& members)
    : id_(id) {
  const char* caller = "QVASimDistribution";
  QVASimStore& store = QVASimChecks::DistributionStore(id, caller);
  const QVASimDistributionInfo info = store.Distribution(id.Index());
  const int dimensions = info.numberOfSets;

  // Each pair fixes the first dimension not yet fixed whose set is over its
  // collection, at the position of its member in that set.
  bool fixed[QVASimDistributionInfo::kMaximumDimensions] = {};
  std::int64_t position[QVASimDistributionInfo::kMaximumDimensions] = {};
  for (int p = 0; p < members.Count(); ++p) {
    const QVASimCollectionID& collection = members.Collection(p);
    if (collection.Database() != id.Database()) continue;
    for (int d = 0; d < dimensions; ++d) {
      if (fixed[d] || store.Set(info.sets[d]).collection != collection.Index()) continue;
      QVA_VERIFY(!info.sparse, kQVABasInvalidArgument,
                 caller << ": distribution " << id.Index()
                        << " is sparse and cannot be restricted (collection " << collection.Index()
                        << ", member " << members.Member(p) << ")");
      const int found = store.SetPosition(info.sets[d], members.Member(p));
      QVA_VERIFY(found >= 0, kQVASrvIndexOutOfRange,
                 caller << ": member " << members.Member(p) << " of collection "
                        << collection.Index() << " is not in set " << info.sets[d]
                        << " of dimension " << d << " of distribution " << id.Index() << " ("
                        << info.sizes[d] << " members)");
      fixed[d] = true;
      position[d] = found;
      break;
    }
  }

  if (info.sparse) {
    rows_ = info.sizes[0];
    columns_ = info.sizes[1];
    rowChunk_ = info.chunks[0];
    columnChunk_ = info.chunks[1];
    rowSet_ = QVASimCSetID(id.Database(), info.sets[0]);
    columnSet_ = QVASimCSetID(id.Database(), info.sets[1]);
    return;
  }

  int free[QVASimDistributionInfo::kMaximumDimensions] = {};
  int numberOfFree = 0;
  std::int64_t stride[QVASimDistributionInfo::kMaximumDimensions] = {};
  std::int64_t offset = 0;
  std::int64_t distance = 1;
  for (int d = 0; d < dimensions; ++d) {
    stride[d] = distance;
    distance *= info.sizes[d];
    if (fixed[d]) {
      offset += position[d] * stride[d];
    } else {
      free[numberOfFree++] = d;
    }
  }
  QVA_VERIFY(numberOfFree <= kMaximumFreeDimensions, kQVABasInvalidArgument,
             caller << ": " << numberOfFree << " free dimensions of distribution " << id.Index()
                    << " (" << dimensions << " dimensions); a view has at most "
                    << kMaximumFreeDimensions << "; fix the others with QVASimDMember");
  values_ = store.DenseValues(id.Index()) + offset;
  rows_ = 1;
  columns_ = 1;
  leadingDimension_ = 1;
  rowChunk_ = 1;
  columnChunk_ = 1;
  if (numberOfFree == 0) return;

  const int first = free[0];
  if (numberOfFree == 1 && stride[first] != 1) {
    // Values apart from each other: one row.
    columns_ = info.sizes[first];
    leadingDimension_ = stride[first];
    columnChunk_ = info.chunks[first];
    columnSet_ = QVASimCSetID(id.Database(), info.sets[first]);
    return;
  }
  QVA_VERIFY(stride[first] == 1, kQVABasInvalidArgument,
             caller << ": dimension " << first << " of distribution " << id.Index()
                    << " has stride " << stride[first]
                    << " and cannot be the rows of a view with one leading dimension; fix "
                       "the dimensions before it");
  rows_ = info.sizes[first];
  rowChunk_ = info.chunks[first];
  rowSet_ = QVASimCSetID(id.Database(), info.sets[first]);
  leadingDimension_ = std::max<std::int64_t>(1, rows_);
  if (numberOfFree == 2) {
    const int second = free[1];
    columns_ = info.sizes[second];
    columnChunk_ = info.chunks[second];
    columnSet_ = QVASimCSetID(id.Database(), info.sets[second]);
    leadingDimension_ = std::max<std::int64_t>(1, stride[second]);
  }
}

int QVASimDistribution::DataKind() const {
  return QVASimChecks::DistributionStore(id_, "QVASimDistribution::DataKind")
      .Distribution(id_.Index())
      .dataKind;
}

bool QVASimDistribution::IsScratch() const {
  return QVASimChecks::DistributionStore(id_, "QVASimDistribution::IsScratch")
      .Distribution(id_.Index())
      .scratch;
}

bool QVASimDistribution::IsSparse() const {
  return QVASimChecks::DistributionStore(id_, "QVASimDistribution::IsSparse")
      .Distribution(id_.Index())
      .sparse;
}

int QVASimDistribution::NumberOfDimensions() const {
  return QVASimChecks::DistributionStore(id_, "QVASimDistribution::NumberOfDimensions")
      .Distribution(id_.Index())
      .numberOfSets;
}

namespace {

QVASimDistributionInfo DimensionInfo(const QVASimDistributionID& id, int dimension,
                                     const char* caller) {
  const QVASimDistributionInfo info =
      QVASimChecks::DistributionStore(id, caller).Distribution(id.Index());
  QVA_VERIFY(dimension >= 0 && dimension < info.numberOfSets, kQVASrvIndexOutOfRange,
             caller << ": dimension " << dimension << " outside distribution " << id.Index()
                    << " of " << info.numberOfSets << " dimensions (0 ... " << info.numberOfSets - 1
                    << ")");
  return info;
}

}  // namespace

int QVASimDistribution::Size(int dimension) const {
  return DimensionInfo(id_, dimension, "QVASimDistribution::Size").sizes[dimension];
}

int QVASimDistribution::ChunkSize(int dimension) const {
  return DimensionInfo(id_, dimension, "QVASimDistribution::ChunkSize").chunks[dimension];
}

QVASimCSetID QVASimDistribution::Set(int dimension) const {
  return QVASimCSetID(id_.Database(),
                      DimensionInfo(id_, dimension, "QVASimDistribution::Set").sets[dimension]);
}

void QVASimDistribution::SetCacheSize(std::int64_t bytes) const {
  const char* caller = "QVASimDistribution::SetCacheSize";
  QVASimStore& store = QVASimChecks::DistributionStore(id_, caller);
  QVA_VERIFY(bytes >= 0, kQVABasInvalidArgument,
             caller << ": negative cache size " << bytes << " for distribution " << id_.Index());
  store.SetCacheSize(id_.Index(), bytes);
}

std::int64_t QVASimDistribution::CacheSize() const {
  return QVASimChecks::DistributionStore(id_, "QVASimDistribution::CacheSize")
      .Distribution(id_.Index())
      .cacheBytes;
}

namespace {

QVASimStore& SparseStore(const QVASimDistributionID& id, const char* caller) {
  QVASimStore& store = QVASimChecks::DistributionStore(id, caller);
  QVA_VERIFY(store.Distribution(id.Index()).sparse, kQVABasInvalidArgument,
             caller << ": distribution " << id.Index() << " is dense");
  return store;
}

}  // namespace

void QVASimDistribution::WriteSparse(const int* rowStarts, const int* columns,
                                     const double* values) const {
  const char* caller = "QVASimDistribution::WriteSparse";
  QVASimStore& store = SparseStore(id_, caller);
  QVA_VERIFY(rowStarts != nullptr, kQVABasInvalidArgument, caller << ": null row starts");
  QVA_VERIFY(rowStarts[0] == 0, kQVABasInvalidArgument,
             caller << ": row starts of distribution " << id_.Index() << " begin at "
                    << rowStarts[0] << ", not 0");
  for (int row = 0; row < rows_; ++row) {
    QVA_VERIFY(rowStarts[row + 1] >= rowStarts[row], kQVABasInvalidArgument,
               caller << ": row " << row << " of distribution " << id_.Index() << " ends at "
                      << rowStarts[row + 1] << " before its start " << rowStarts[row]);
  }
  const int nonZeros = rowStarts[rows_];
  QVA_VERIFY(nonZeros == 0 || (columns != nullptr && values != nullptr), kQVABasInvalidArgument,
             caller << ": null column or value list for " << nonZeros << " entries");
  for (int k = 0; k < nonZeros; ++k) {
    QVA_VERIFY(columns[k] >= 0 && columns[k] < columns_, kQVASrvIndexOutOfRange,
               caller << ": column " << columns[k] << " of entry " << k << " outside distribution "
                      << id_.Index() << " of " << columns_ << " columns (0 ... " << columns_ - 1
                      << ")");
  }
  store.WriteSparse(id_.Index(), rowStarts, columns, values);
}

int QVASimDistribution::NumberOfNonZeros() const {
  return SparseStore(id_, "QVASimDistribution::NumberOfNonZeros")
      .SparseRowStarts(id_.Index())[rows_];
}

const int* QVASimDistribution::SparseRowStarts() const {
  return SparseStore(id_, "QVASimDistribution::SparseRowStarts").SparseRowStarts(id_.Index());
}

const int* QVASimDistribution::SparseColumns() const {
  return SparseStore(id_, "QVASimDistribution::SparseColumns").SparseColumns(id_.Index());
}

const double* QVASimDistribution::SparseValues() const {
  return SparseStore(id_, "QVASimDistribution::SparseValues").SparseValues(id_.Index());
}
