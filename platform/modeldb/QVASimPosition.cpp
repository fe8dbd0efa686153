#include "platform/modeldb/QVASimPosition.h"

#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/impl/QVASimChecks.h"

bool QVASimPosition::IsValid() const {
  return database_ != nullptr && object_ >= 0 && object_ < database_->Store().NumberOfObjects();
}

QVASimDatabase& QVASimPosition::Context() const {
  QVASimChecks::PositionStore(*this, "QVASimPosition::Context");
  return *database_;
}

int QVASimPosition::TypePosition() const {
  return QVASimChecks::PositionStore(*this, "QVASimPosition::TypePosition").ObjectKind(object_);
}

QVASimDataRecord QVASimPosition::CreateDataRecord(QVASimTransaction& transaction, int kind,
                                                  const QVASimCollectionID& collection) const {
  const char* caller = "QVASimPosition::CreateDataRecord";
  QVASimStore& store = QVASimChecks::PositionStore(*this, caller);
  QVASimChecks::VerifyTransaction(transaction, *database_, caller);
  QVASimDataRecordInfo info;
  info.kind = kind;
  info.owner = object_;
  if (collection.Database() != nullptr) {
    QVASimChecks::CollectionStore(collection, caller);
    QVASimChecks::VerifySameDatabase(database_, collection.Database(), "collection",
                                     collection.Index(), caller);
    const QVASimCollectionInfo members = store.Collection(collection.Index());
    QVA_VERIFY(members.open && !members.symbol, kQVASimWrongCollection,
               caller << ": collection " << collection.Index() << " is "
                      << (members.symbol ? "a symbol collection" : "of fixed size")
                      << " and cannot take a record as a new member (" << members.size
                      << " members)");
    info.collection = collection.Index();
    info.member = members.size;
    store.ResizeCollection(collection.Index(), members.size + 1);
  }
  return QVASimDataRecord(database_, store.AddDataRecord(info));
}
