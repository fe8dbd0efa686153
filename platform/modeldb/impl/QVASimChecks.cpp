#include "platform/modeldb/impl/QVASimChecks.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace QVASimChecks {

namespace {

QVASimStore& DatabaseStore(QVASimDatabase* database, const char* what, int index,
                           const char* caller) {
  QVA_VERIFY(database != nullptr, kQVASimInvalidIdentifier,
             caller << ": " << what << " " << index << " has no database (empty identifier)");
  return database->Store();
}

// Position of the first repeated member, or -1. Members lie in low ... high.
int FirstRepeat(const int* members, int count, int low, int high) {
  const std::int64_t range = std::int64_t{high} - low + 1;
  if (range <= 8 * std::int64_t{count} + 1024) {
    std::vector<bool> seen(QVAIndex(range), false);
    for (int i = 0; i < count; ++i) {
      const auto offset = QVAIndex(members[i] - low);
      if (seen[offset]) return i;
      seen[offset] = true;
    }
    return -1;
  }
  std::vector<int> sorted(members, members + count);
  std::sort(sorted.begin(), sorted.end());
  auto repeat = std::adjacent_find(sorted.begin(), sorted.end());
  if (repeat == sorted.end()) return -1;
  for (int i = 0, seenOnce = 0; i < count; ++i) {
    if (members[i] == *repeat && seenOnce++ == 1) return i;
  }
  return -1;
}

}  // namespace

QVASimStore& CollectionStore(const QVASimCollectionID& id, const char* caller) {
  QVASimStore& store = DatabaseStore(id.Database(), "collection", id.Index(), caller);
  QVA_VERIFY(id.Index() >= 0 && id.Index() < store.NumberOfCollections(), kQVASimInvalidIdentifier,
             caller << ": collection " << id.Index() << " does not exist (collections 0 ... "
                    << store.NumberOfCollections() - 1 << ")");
  return store;
}

QVASimStore& SetStore(const QVASimCSetID& id, const char* caller) {
  QVASimStore& store = DatabaseStore(id.Database(), "set", id.Index(), caller);
  QVA_VERIFY(
      store.SetExists(id.Index()), kQVASimInvalidIdentifier,
      caller << ": set " << id.Index() << " does not exist (never made, or removed by a rollback)");
  return store;
}

QVASimStore& DistributionStore(const QVASimDistributionID& id, const char* caller) {
  QVASimStore& store = DatabaseStore(id.Database(), "distribution", id.Index(), caller);
  QVA_VERIFY(store.DistributionExists(id.Index()), kQVASimInvalidIdentifier,
             caller << ": distribution " << id.Index()
                    << " does not exist (never made, or removed by a rollback)");
  return store;
}

QVASimStore& PositionStore(const QVASimPosition& position, const char* caller) {
  QVASimStore& store = DatabaseStore(position.Database(), "position", position.Object(), caller);
  QVA_VERIFY(position.Object() >= 0 && position.Object() < store.NumberOfObjects(),
             kQVASimInvalidIdentifier,
             caller << ": position " << position.Object() << " does not exist (positions 0 ... "
                    << store.NumberOfObjects() - 1 << ")");
  return store;
}

QVASimStore& DataRecordStore(const QVASimDataRecord& record, const char* caller) {
  QVASimStore& store = DatabaseStore(record.Database(), "data record", record.Index(), caller);
  QVA_VERIFY(store.DataRecordExists(record.Index()), kQVASimInvalidIdentifier,
             caller << ": data record " << record.Index()
                    << " does not exist (never made, or removed by a rollback)");
  return store;
}

void VerifySameDatabase(const QVASimDatabase* database, const QVASimDatabase* other,
                        const char* what, int index, const char* caller) {
  QVA_VERIFY(database == other, kQVASimInvalidIdentifier,
             caller << ": " << what << " " << index << " belongs to another database");
}

void VerifyTransaction(const QVASimTransaction& transaction, const QVASimDatabase& database,
                       const char* caller) {
  QVA_VERIFY(&transaction.Context() == &database, kQVASimInconsistent,
             caller << ": the transaction is open on another database");
  QVA_VERIFY(
      database.IsInnermostTransaction(transaction), kQVASimInconsistent,
      caller << ": the transaction is not the innermost open one ("
             << (transaction.IsCommitted() ? "committed" : "an inner one is open or it ended")
             << "; " << database.TransactionDepth() << " open)");
}

void AdmitMembers(QVASimStore& store, int collection, const int* members, int count,
                  bool refuseDuplicates, const char* caller) {
  QVA_VERIFY(count >= 0, kQVABasInvalidArgument,
             caller << ": negative number of members " << count);
  if (count == 0) return;
  QVA_VERIFY(members != nullptr, kQVABasInvalidArgument,
             caller << ": null member list for " << count << " members");
  const QVASimCollectionInfo info = store.Collection(collection);
  if (info.symbol) {
    const int* symbols = store.Symbols(collection);
    for (int i = 0; i < count; ++i) {
      QVA_VERIFY(std::find(symbols, symbols + info.size, members[i]) != symbols + info.size,
                 kQVASrvIndexOutOfRange,
                 caller << ": member " << members[i] << " at position " << i
                        << " is no symbol of symbol collection " << collection << " (" << info.size
                        << " symbols)");
    }
  }
  const auto [low, high] = std::minmax_element(members, members + count);
  if (!info.symbol) {
    const int position = static_cast<int>(low - members);
    QVA_VERIFY(*low >= 0, kQVASrvIndexOutOfRange,
               caller << ": member " << *low << " at position " << position
                      << " is negative (collection " << collection << ")");
    QVA_VERIFY(*high < std::numeric_limits<int>::max(), kQVASrvIndexOutOfRange,
               caller << ": member " << *high << " at position " << (high - members)
                      << " is the largest int; members stay below it");
    QVA_VERIFY(info.open || *high < info.size, kQVASrvIndexOutOfRange,
               caller << ": member " << *high << " at position " << (high - members)
                      << " outside fixed collection " << collection << " of " << info.size
                      << " members (0 ... " << info.size - 1 << ")");
  }
  if (refuseDuplicates) {
    const int repeat = FirstRepeat(members, count, *low, *high);
    QVA_VERIFY(repeat < 0, kQVABasInvalidArgument,
               caller << ": member " << members[repeat] << " at position " << repeat
                      << " appears twice in a set over collection " << collection);
  }
  if (info.open && !info.symbol && *high >= info.size)
    store.ResizeCollection(collection, *high + 1);
}

}  // namespace QVASimChecks
