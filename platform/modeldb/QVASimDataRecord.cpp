#include "platform/modeldb/QVASimDataRecord.h"

#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/impl/QVASimChecks.h"

bool QVASimDataRecord::IsValid() const {
  return database_ != nullptr && database_->Store().DataRecordExists(index_);
}

int QVASimDataRecord::Kind() const {
  return QVASimChecks::DataRecordStore(*this, "QVASimDataRecord::Kind").DataRecord(index_).kind;
}

QVASimCollectionID QVASimDataRecord::Collection() const {
  const QVASimDataRecordInfo info =
      QVASimChecks::DataRecordStore(*this, "QVASimDataRecord::Collection").DataRecord(index_);
  return info.collection < 0 ? QVASimCollectionID()
                             : QVASimCollectionID(database_, info.collection);
}

int QVASimDataRecord::Member() const {
  return QVASimChecks::DataRecordStore(*this, "QVASimDataRecord::Member").DataRecord(index_).member;
}

void QVASimDataRecord::SetStringField(int field, const char* text) {
  const char* caller = "QVASimDataRecord::SetStringField";
  QVASimStore& store = QVASimChecks::DataRecordStore(*this, caller);
  QVA_VERIFY(field >= 0, kQVASrvIndexOutOfRange,
             caller << ": field " << field << " of data record " << index_ << " is negative");
  store.SetStringField(index_, field, text);
}

cow_String QVASimDataRecord::StringField(int field) const {
  const char* caller = "QVASimDataRecord::StringField";
  QVASimStore& store = QVASimChecks::DataRecordStore(*this, caller);
  QVA_VERIFY(field >= 0, kQVASrvIndexOutOfRange,
             caller << ": field " << field << " of data record " << index_ << " is negative");
  return cow_String(store.StringField(index_, field));
}

void QVASimDataRecord::Associate(int kind, const QVASimDataRecord& other) {
  const char* caller = "QVASimDataRecord::Associate";
  QVASimStore& store = QVASimChecks::DataRecordStore(*this, caller);
  QVASimChecks::DataRecordStore(other, caller);
  QVASimChecks::VerifySameDatabase(database_, other.database_, "data record", other.index_, caller);
  // Keeps the association symmetric: former partners under `kind` let go.
  const int formerOfThis = store.Association(index_, kind);
  if (formerOfThis >= 0 && store.Association(formerOfThis, kind) == index_) {
    store.SetAssociation(formerOfThis, kind, -1);
  }
  const int formerOfOther = store.Association(other.index_, kind);
  if (formerOfOther >= 0 && store.Association(formerOfOther, kind) == other.index_) {
    store.SetAssociation(formerOfOther, kind, -1);
  }
  store.SetAssociation(index_, kind, other.index_);
  store.SetAssociation(other.index_, kind, index_);
}

QVASimDataRecord QVASimDataRecord::Associated(int kind) const {
  QVASimStore& store = QVASimChecks::DataRecordStore(*this, "QVASimDataRecord::Associated");
  const int other = store.Association(index_, kind);
  if (other < 0 || !store.DataRecordExists(other)) return QVASimDataRecord();
  return QVASimDataRecord(database_, other);
}
