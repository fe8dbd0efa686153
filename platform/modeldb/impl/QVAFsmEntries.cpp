#include "platform/modeldb/impl/QVAFsmEntries.h"

#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/impl/QVASimChecks.h"

namespace QVAFsmEntries {

namespace {

QVASimEntry Read(const QVASimPosition& position, const char* name, QVASimEntry::Type type,
                 const char* caller) {
  QVASimStore& store = QVASimChecks::PositionStore(position, caller);
  const QVASimEntry entry = store.Entry(position.Object(), name);
  QVA_VERIFY(entry.type == QVASimEntry::Type::kNone || entry.type == type, kQVASimInconsistent,
             caller << ": entry '" << name << "' of position " << position.Object()
                    << " holds another type of value");
  return entry;
}

QVASimStore& WritableStore(QVASimTransaction& transaction, const QVASimPosition& position,
                           const char* caller) {
  QVASimStore& store = QVASimChecks::PositionStore(position, caller);
  QVASimChecks::VerifyTransaction(transaction, *position.Database(), caller);
  return store;
}

}  // namespace

void VerifyObject(const QVASimPosition& position, int kind, const char* className) {
  QVASimStore& store = QVASimChecks::PositionStore(position, className);
  const int actual = store.ObjectKind(position.Object());
  QVA_VERIFY(actual == kind, kQVASimWrongCollection,
             className << ": position " << position.Object() << " is of kind " << actual << ", not "
                       << kind);
}

QVASimCollectionID GetCollection(const QVASimPosition& position, const char* name,
                                 const char* caller) {
  const QVASimEntry entry = Read(position, name, QVASimEntry::Type::kCollection, caller);
  if (entry.type == QVASimEntry::Type::kNone) return QVASimCollectionID();
  return QVASimCollectionID(position.Database(), entry.index);
}

QVASimPosition GetObject(const QVASimPosition& position, const char* name, const char* caller) {
  const QVASimEntry entry = Read(position, name, QVASimEntry::Type::kObject, caller);
  if (entry.type == QVASimEntry::Type::kNone) return QVASimPosition();
  return QVASimPosition(position.Database(), entry.index);
}

QVASimCSetID GetSet(const QVASimPosition& position, const char* name, const char* caller) {
  const QVASimEntry entry = Read(position, name, QVASimEntry::Type::kSet, caller);
  if (entry.type == QVASimEntry::Type::kNone) return QVASimCSetID();
  return QVASimCSetID(position.Database(), entry.index);
}

QVASimDistributionID GetDistribution(const QVASimPosition& position, const char* name,
                                     const char* caller) {
  const QVASimEntry entry = Read(position, name, QVASimEntry::Type::kDistribution, caller);
  if (entry.type == QVASimEntry::Type::kNone) return QVASimDistributionID();
  return QVASimDistributionID(position.Database(), entry.index);
}

double GetNumber(const QVASimPosition& position, const char* name, double absent,
                 const char* caller) {
  const QVASimEntry entry = Read(position, name, QVASimEntry::Type::kNumber, caller);
  return entry.type == QVASimEntry::Type::kNone ? absent : entry.number;
}

void PutSet(QVASimTransaction& transaction, const QVASimPosition& position, const char* name,
            const QVASimCSetID& set, const QVASimCollectionID& collection, const char* caller) {
  QVASimStore& store = WritableStore(transaction, position, caller);
  QVASimChecks::SetStore(set, caller);
  QVASimChecks::VerifySameDatabase(position.Database(), set.Database(), "set", set.Index(), caller);
  const int actual = store.Set(set.Index()).collection;
  QVA_VERIFY(!collection.IsValid() || actual == collection.Index(), kQVASimWrongCollection,
             caller << ": set " << set.Index() << " is over collection " << actual << "; '" << name
                    << "' takes sets over collection " << collection.Index());
  QVASimEntry entry;
  entry.type = QVASimEntry::Type::kSet;
  entry.index = set.Index();
  store.SetEntry(position.Object(), name, entry);
}

void PutDistribution(QVASimTransaction& transaction, const QVASimPosition& position,
                     const char* name, const QVASimDistributionID& distribution, Shape shape,
                     const QVASimCollectionID& firstCollection, const char* caller) {
  QVASimStore& store = WritableStore(transaction, position, caller);
  QVASimChecks::DistributionStore(distribution, caller);
  QVASimChecks::VerifySameDatabase(position.Database(), distribution.Database(), "distribution",
                                   distribution.Index(), caller);
  const QVASimDistributionInfo info = store.Distribution(distribution.Index());
  QVA_VERIFY(shape == Shape::kAny || info.sparse == (shape == Shape::kSparse),
             kQVABasInvalidArgument,
             caller << ": distribution " << distribution.Index() << " is "
                    << (info.sparse ? "sparse" : "dense") << "; '" << name << "' takes a "
                    << (shape == Shape::kSparse ? "sparse" : "dense") << " one");
  if (firstCollection.IsValid()) {
    const int actual = store.Set(info.sets[0]).collection;
    QVA_VERIFY(actual == firstCollection.Index(), kQVASimWrongCollection,
               caller << ": the first set (" << info.sets[0] << ") of distribution "
                      << distribution.Index() << " is over collection " << actual << "; '" << name
                      << "' takes distributions over collection " << firstCollection.Index());
  }
  QVASimEntry entry;
  entry.type = QVASimEntry::Type::kDistribution;
  entry.index = distribution.Index();
  store.SetEntry(position.Object(), name, entry);
}

void PutNumber(QVASimTransaction& transaction, const QVASimPosition& position, const char* name,
               double value, const char* caller) {
  QVASimStore& store = WritableStore(transaction, position, caller);
  QVASimEntry entry;
  entry.type = QVASimEntry::Type::kNumber;
  entry.number = value;
  store.SetEntry(position.Object(), name, entry);
}

}  // namespace QVAFsmEntries
