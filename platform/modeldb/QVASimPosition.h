#pragma once

// The place of an object in the model database: a model object (system,
// modal system, event results, task) or a collection. A position gives the
// context (the database) on which transactions are opened, and the object's
// kind.
//
//   QVASimTransaction transaction(results.MyPosition().Context());

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDataRecord.h"

class QVASimDatabase;
class QVASimTransaction;

class QVA_PLATFORM_EXPORT QVASimPosition {
 public:
  QVASimPosition() = default;
  QVASimPosition(QVASimDatabase* database, int object) : database_(database), object_(object) {}
  bool IsValid() const;
  // The database of this position. Raises when the position is invalid.
  QVASimDatabase& Context() const;
  // The kind (CoreFragmentTypeIndex) of the object at this position.
  int TypePosition() const;
  int Object() const { return object_; }
  // The database, null for an empty position.
  QVASimDatabase* Database() const { return database_; }

  // A new data record of `kind` owned by this position. With a valid
  // `collection` the record becomes a new member of it (the collection grows
  // by one; Member() is the new member). Undone when `transaction` rolls back.
  QVASimDataRecord CreateDataRecord(QVASimTransaction& transaction, int kind,
                                    const QVASimCollectionID& collection) const;

  friend bool operator==(const QVASimPosition& a, const QVASimPosition& b) {
    return a.database_ == b.database_ && a.object_ == b.object_;
  }

 private:
  QVASimDatabase* database_ = nullptr;
  int object_ = -1;
};
