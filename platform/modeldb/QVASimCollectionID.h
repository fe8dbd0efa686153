#pragma once

// Identifier of a collection of the model database (modes, frames, DOFs, load
// cases, or a symbol collection such as the complex-number parts). Cheap to
// copy; a default-constructed identifier is the empty identifier, for which
// IsValid() is false.

#include "platform/base/QVAPlatformExport.h"

class QVASimDatabase;

class QVA_PLATFORM_EXPORT QVASimCollectionID {
 public:
  QVASimCollectionID() = default;
  QVASimCollectionID(QVASimDatabase* database, int index) : database_(database), index_(index) {}
  bool IsValid() const;
  QVASimDatabase* Database() const { return database_; }
  int Index() const { return index_; }
  friend bool operator==(const QVASimCollectionID& a, const QVASimCollectionID& b) {
    return a.database_ == b.database_ && a.index_ == b.index_;
  }

 private:
  QVASimDatabase* database_ = nullptr;
  int index_ = -1;
};
