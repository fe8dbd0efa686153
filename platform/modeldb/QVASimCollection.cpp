#include "platform/modeldb/QVASimCollection.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/impl/QVASimChecks.h"

namespace {

QVASimCSetID AddSet(const QVASimCollectionID& id, const int* members, int count, bool isVolatile,
                    bool refuseDuplicates, const char* caller) {
  QVASimStore& store = QVASimChecks::CollectionStore(id, caller);
  QVASimChecks::AdmitMembers(store, id.Index(), members, count, refuseDuplicates, caller);
  return QVASimCSetID(id.Database(), store.AddSet(id.Index(), members, count, isVolatile));
}

}  // namespace

QVASimCollection::QVASimCollection(const QVASimCollectionID& id) : id_(id) {
  QVASimChecks::CollectionStore(id, "QVASimCollection");
}

int QVASimCollection::Size() const {
  return QVASimChecks::CollectionStore(id_, "QVASimCollection::Size").Collection(id_.Index()).size;
}

bool QVASimCollection::IsOpen() const {
  return QVASimChecks::CollectionStore(id_, "QVASimCollection::IsOpen")
      .Collection(id_.Index())
      .open;
}

bool QVASimCollection::IsSymbolCollection() const {
  return QVASimChecks::CollectionStore(id_, "QVASimCollection::IsSymbolCollection")
      .Collection(id_.Index())
      .symbol;
}

QVASimPosition QVASimCollection::Position() const {
  const int object = QVASimChecks::CollectionStore(id_, "QVASimCollection::Position")
                         .Collection(id_.Index())
                         .object;
  return QVASimPosition(id_.Database(), object);
}

int QVASimCollection::Kind() const {
  return QVASimChecks::CollectionStore(id_, "QVASimCollection::Kind").Collection(id_.Index()).kind;
}

QVASimCSetID QVASimCollection::CreateCSetStrided(int first, int count, int stride,
                                                 int /*flag*/) const {
  const char* caller = "QVASimCollection::CreateCSetStrided";
  QVA_VERIFY(count >= 0, kQVABasInvalidArgument,
             caller << ": negative count " << count << " (collection " << id_.Index() << ")");
  if (count > 0) {
    const std::int64_t last = std::int64_t{first} + std::int64_t{count - 1} * stride;
    QVA_VERIFY(last >= std::numeric_limits<int>::min() && last <= std::numeric_limits<int>::max(),
               kQVASrvIndexOutOfRange,
               caller << ": last member " << last << " of " << count << " from " << first << " by "
                      << stride << " does not fit an int");
  }
  std::vector<int> members(QVAIndex(count));
  for (int i = 0; i < count; ++i) {
    members[QVAIndex(i)] =
        static_cast<int>(first + std::int64_t{i} * stride);  // between first and last
  }
  // Distinct unless the stride is 0.
  return AddSet(id_, members.data(), count, false, stride == 0, caller);
}

QVASimCSetID QVASimCollection::CreateOrderedCSet(const int* members, int count) const {
  return AddSet(id_, members, count, false, true, "QVASimCollection::CreateOrderedCSet");
}

QVASimCSetID QVASimCollection::CreateCSet(const int* members, int count, bool /*flag*/) const {
  return AddSet(id_, members, count, false, true, "QVASimCollection::CreateCSet");
}

QVASimCSetID QVASimCollection::CreateVolatileCSet(const int* members, int count,
                                                  bool /*flag*/) const {
  return AddSet(id_, members, count, true, true, "QVASimCollection::CreateVolatileCSet");
}

QVASimCSetID QVASimCollection::CreateOCSet(const int* symbols, int count) const {
  const char* caller = "QVASimCollection::CreateOCSet";
  QVA_VERIFY(IsSymbolCollection(), kQVASimWrongCollection,
             caller << ": collection " << id_.Index() << " is no symbol collection");
  return AddSet(id_, symbols, count, false, true, caller);
}

int QVASimCollection::GetCMemberID(int symbol) const {
  const char* caller = "QVASimCollection::GetCMemberID";
  QVASimStore& store = QVASimChecks::CollectionStore(id_, caller);
  const QVASimCollectionInfo info = store.Collection(id_.Index());
  QVA_VERIFY(info.symbol, kQVASimWrongCollection,
             caller << ": collection " << id_.Index() << " is no symbol collection");
  const int* symbols = store.Symbols(id_.Index());
  QVA_VERIFY(std::find(symbols, symbols + info.size, symbol) != symbols + info.size,
             kQVASrvIndexOutOfRange,
             caller << ": symbol " << symbol << " is not in symbol collection " << id_.Index()
                    << " (" << info.size << " symbols)");
  return symbol;
}
