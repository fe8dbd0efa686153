#pragma once

// Identifier of a set of the model database: an ordered list of members of one
// collection. Cheap to copy; the default-constructed identifier is invalid.
// A set made inside a transaction that is rolled back becomes invalid.

#include "platform/base/QVAPlatformExport.h"

class QVASimDatabase;

class QVA_PLATFORM_EXPORT QVASimCSetID {
 public:
  QVASimCSetID() = default;
  QVASimCSetID(QVASimDatabase* database, int index) : database_(database), index_(index) {}
  bool IsValid() const;
  QVASimDatabase* Database() const { return database_; }
  int Index() const { return index_; }
  friend bool operator==(const QVASimCSetID& a, const QVASimCSetID& b) {
    return a.database_ == b.database_ && a.index_ == b.index_;
  }

 private:
  QVASimDatabase* database_ = nullptr;
  int index_ = -1;
};
