#include "platform/modeldb/QVASimDatabase.h"

#include <algorithm>
#include <cstring>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimMemoryStore.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "platform/modeldb/impl/QVAFsmEntries.h"
#include "platform/modeldb/impl/QVASimChecks.h"

namespace {

constexpr int kNumberOfDofTypes = 12;

QVASimEntry CollectionEntry(const QVASimCollectionID& collection) {
  QVASimEntry entry;
  entry.type = QVASimEntry::Type::kCollection;
  entry.index = collection.Index();
  return entry;
}

// An open collection with `size` members to begin with, and its position.
int AddOpenCollection(QVASimStore& store, int kind, int size) {
  QVASimCollectionInfo info;
  info.kind = kind;
  info.size = size;
  info.open = true;
  info.object = store.AddObject(kind);
  return store.AddCollection(info, nullptr);
}

// Checks the owner and the sets of a new distribution and fills their part of
// `info`; the chunk sizes are cut to the set sizes (values below 1 and a null
// list mean whole dimensions).
QVASimDistributionInfo DescribeDistribution(const QVASimDatabase& database,
                                            const QVASimPosition& owner, int dataKind,
                                            int numberOfSets, const QVASimCSetID* sets,
                                            const int* chunkSizes, const char* caller) {
  QVASimChecks::PositionStore(owner, caller);
  QVASimChecks::VerifySameDatabase(&database, owner.Database(), "owner position", owner.Object(),
                                   caller);
  QVA_VERIFY(database.TransactionDepth() > 0, kQVASimInconsistent,
             caller << ": a distribution is made inside an open transaction; none is open");
  QVA_VERIFY(numberOfSets >= 1 && numberOfSets <= QVASimDistributionInfo::kMaximumDimensions,
             kQVABasInvalidArgument,
             caller << ": number of sets " << numberOfSets << " outside 1 ... "
                    << QVASimDistributionInfo::kMaximumDimensions);
  QVA_VERIFY(sets != nullptr, kQVABasInvalidArgument, caller << ": null set list");
  QVASimDistributionInfo info;
  info.dataKind = dataKind;
  info.owner = owner.Object();
  info.numberOfSets = numberOfSets;
  for (int d = 0; d < numberOfSets; ++d) {
    QVASimStore& store = QVASimChecks::SetStore(sets[d], caller);
    QVASimChecks::VerifySameDatabase(&database, sets[d].Database(), "set", sets[d].Index(), caller);
    const int size = store.Set(sets[d].Index()).size;
    const int whole = std::max(size, 1);
    const int chunk = chunkSizes != nullptr ? chunkSizes[d] : 0;
    info.sets[d] = sets[d].Index();
    info.sizes[d] = size;
    info.chunks[d] = chunk < 1 ? whole : std::min(chunk, whole);
  }
  return info;
}

}  // namespace

QVASimDatabase::QVASimDatabase() : store_(std::make_unique<QVASimMemoryStore>()) {}

QVASimDatabase::~QVASimDatabase() = default;

QVASimCollectionID QVASimDatabase::CreateCollection(int kind, int size) {
  QVA_VERIFY(size >= -1, kQVABasInvalidArgument,
             "QVASimDatabase::CreateCollection: size " << size << " below -1 (-1: open)");
  if (size == -1) return QVASimCollectionID(this, AddOpenCollection(*store_, kind, 0));
  QVASimCollectionInfo info;
  info.kind = kind;
  info.size = size;
  info.object = store_->AddObject(kind);
  return QVASimCollectionID(this, store_->AddCollection(info, nullptr));
}

QVASimCollectionID QVASimDatabase::CreateSymbolCollection(int kind, const int* symbols, int count) {
  const char* caller = "QVASimDatabase::CreateSymbolCollection";
  QVA_VERIFY(count >= 0 && (count == 0 || symbols != nullptr), kQVABasInvalidArgument,
             caller << ": " << count << " symbols from " << (symbols ? "a list" : "a null list"));
  for (int i = 0; i < count; ++i) {
    QVA_VERIFY(symbols[i] >= 0, kQVABasInvalidArgument,
               caller << ": symbol " << symbols[i] << " at position " << i << " is negative");
    QVA_VERIFY(std::find(symbols, symbols + i, symbols[i]) == symbols + i, kQVABasInvalidArgument,
               caller << ": symbol " << symbols[i] << " at position " << i << " appears twice");
  }
  QVASimCollectionInfo info;
  info.kind = kind;
  info.size = count;
  info.symbol = true;
  info.object = store_->AddObject(kind);
  return QVASimCollectionID(this, store_->AddCollection(info, symbols));
}

QVAFsmModalSystem QVASimDatabase::CreateModalSystem(int numberOfDofs, int numberOfNodes) {
  QVA_VERIFY(numberOfDofs >= 0 && numberOfNodes >= 0, kQVABasInvalidArgument,
             "QVASimDatabase::CreateModalSystem: " << numberOfDofs << " DOFs, " << numberOfNodes
                                                   << " nodes; neither may be negative");
  const QVASimCollectionID dofs(this, AddOpenCollection(*store_, QVASimKind::Dofs(), numberOfDofs));
  const QVASimCollectionID nodes(this,
                                 AddOpenCollection(*store_, QVASimKind::Nodes(), numberOfNodes));
  const QVASimCollectionID modes(this, AddOpenCollection(*store_, QVASimKind::Modes(), 0));
  int dofTypes[kNumberOfDofTypes];
  for (int i = 0; i < kNumberOfDofTypes; ++i) dofTypes[i] = i + 1;
  const QVASimCollectionID types =
      CreateSymbolCollection(QVASimKind::DofTypes(), dofTypes, kNumberOfDofTypes);
  const int parts[] = {0, 4};
  const QVASimCollectionID complexParts =
      CreateSymbolCollection(QVASimKind::ComplexNumberPart(), parts, 2);

  const int task = store_->AddObject(QVASimKind::FrequencyTask());
  store_->InitializeEntry(task, QVAFsmEntries::kNodes, CollectionEntry(nodes));

  const int modal = store_->AddObject(QVASimKind::ModalSystem());
  store_->InitializeEntry(modal, QVAFsmEntries::kDofs, CollectionEntry(dofs));
  store_->InitializeEntry(modal, QVAFsmEntries::kNodes, CollectionEntry(nodes));
  store_->InitializeEntry(modal, QVAFsmEntries::kModesCollection, CollectionEntry(modes));
  store_->InitializeEntry(modal, QVAFsmEntries::kDofTypes, CollectionEntry(types));
  store_->InitializeEntry(modal, QVAFsmEntries::kComplexNumberPart, CollectionEntry(complexParts));
  QVASimEntry taskEntry;
  taskEntry.type = QVASimEntry::Type::kObject;
  taskEntry.index = task;
  store_->InitializeEntry(modal, QVAFsmEntries::kTask, taskEntry);
  return QVAFsmModalSystem(QVASimPosition(this, modal));
}

QVAFsmModalEventResults QVASimDatabase::CreateModalEventResults(const QVAFsmModalSystem& modal) {
  const char* caller = "QVASimDatabase::CreateModalEventResults";
  QVASimChecks::PositionStore(modal.MyPosition(), caller);
  QVASimChecks::VerifySameDatabase(this, modal.MyPosition().Database(), "modal system",
                                   modal.MyPosition().Object(), caller);
  const QVASimCollectionID frames = CreateCollection(QVASimKind::Frames(), -1);
  const QVASimCollectionID cases = CreateCollection(QVASimKind::LoadCases(), -1);
  const int results = store_->AddObject(QVASimKind::ModalEventResults());
  store_->InitializeEntry(results, QVAFsmEntries::kModesCollection,
                          CollectionEntry(modal.ModesCollection()));
  store_->InitializeEntry(results, QVAFsmEntries::kDofs, CollectionEntry(modal.Dofs()));
  store_->InitializeEntry(results, QVAFsmEntries::kComplexNumberPart,
                          CollectionEntry(modal.ComplexNumberPart()));
  store_->InitializeEntry(results, QVAFsmEntries::kFramesCollection, CollectionEntry(frames));
  store_->InitializeEntry(results, QVAFsmEntries::kCasesCollection, CollectionEntry(cases));
  return QVAFsmModalEventResults(QVASimPosition(this, results));
}

QVASimDistributionID QVASimDatabase::CreateDistribution(const QVASimPosition& owner, int dataKind,
                                                        int numberOfSets, const QVASimCSetID* sets,
                                                        const int* chunkSizes, bool scratch) {
  QVASimDistributionInfo info = DescribeDistribution(
      *this, owner, dataKind, numberOfSets, sets, chunkSizes, "QVASimDatabase::CreateDistribution");
  info.scratch = scratch;
  return QVASimDistributionID(this, store_->AddDistribution(info));
}

QVASimDistributionID QVASimDatabase::CreateSparseDistribution(const QVASimPosition& owner,
                                                              int dataKind,
                                                              const QVASimCSetID& rowSet,
                                                              const QVASimCSetID& columnSet) {
  const QVASimCSetID sets[] = {rowSet, columnSet};
  QVASimDistributionInfo info = DescribeDistribution(*this, owner, dataKind, 2, sets, nullptr,
                                                     "QVASimDatabase::CreateSparseDistribution");
  info.sparse = true;
  return QVASimDistributionID(this, store_->AddDistribution(info));
}

std::int64_t QVASimDatabase::NumberOfValues(const QVASimDistributionID& distribution) const {
  const char* caller = "QVASimDatabase::NumberOfValues";
  QVASimChecks::DistributionStore(distribution, caller);
  QVASimChecks::VerifySameDatabase(this, distribution.Database(), "distribution",
                                   distribution.Index(), caller);
  const QVASimDistributionInfo info = store_->Distribution(distribution.Index());
  QVA_VERIFY(!info.sparse, kQVABasInvalidArgument,
             caller << ": distribution " << distribution.Index()
                    << " is sparse; read it through QVASimDistribution");
  std::int64_t count = 1;
  for (int d = 0; d < info.numberOfSets; ++d) count *= info.sizes[d];
  return count;
}

void QVASimDatabase::WriteDistribution(const QVASimDistributionID& distribution,
                                       const double* values) {
  const std::int64_t count = NumberOfValues(distribution);
  QVA_VERIFY(count == 0 || values != nullptr, kQVABasInvalidArgument,
             "QVASimDatabase::WriteDistribution: null values for distribution "
                 << distribution.Index() << " of " << count << " values");
  if (count > 0) {
    std::memcpy(store_->DenseValues(distribution.Index()), values,
                QVAIndex(count) * sizeof(double));
  }
}

void QVASimDatabase::ReadDistribution(const QVASimDistributionID& distribution,
                                      double* values) const {
  const std::int64_t count = NumberOfValues(distribution);
  QVA_VERIFY(count == 0 || values != nullptr, kQVABasInvalidArgument,
             "QVASimDatabase::ReadDistribution: null buffer for distribution "
                 << distribution.Index() << " of " << count << " values");
  if (count > 0) {
    std::memcpy(values, store_->DenseValues(distribution.Index()),
                QVAIndex(count) * sizeof(double));
  }
}

int QVASimDatabase::TransactionDepth() const { return static_cast<int>(openTransactions_.size()); }

bool QVASimDatabase::IsInnermostTransaction(const QVASimTransaction& transaction) const {
  return !openTransactions_.empty() && openTransactions_.back() == &transaction;
}

int QVASimDatabase::OpenTransaction(const QVASimTransaction* transaction) {
  openTransactions_.reserve(openTransactions_.size() + 1);
  store_->BeginTransaction();
  openTransactions_.push_back(transaction);
  return static_cast<int>(openTransactions_.size());
}

void QVASimDatabase::CommitInnermost() {
  store_->CommitTransaction();
  openTransactions_.pop_back();
}

void QVASimDatabase::RollbackInnermost() noexcept {
  store_->RollbackTransaction();
  openTransactions_.pop_back();
}
