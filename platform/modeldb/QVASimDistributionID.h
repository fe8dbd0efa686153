#pragma once

// Identifier of a distribution of the model database: array data over one to
// four sets (dense), or a sparse matrix over two sets. Cheap to copy; the
// default-constructed identifier is invalid. A distribution made inside a
// transaction that is rolled back becomes invalid.

#include "platform/base/QVAPlatformExport.h"

class QVASimDatabase;

class QVA_PLATFORM_EXPORT QVASimDistributionID {
 public:
  QVASimDistributionID() = default;
  QVASimDistributionID(QVASimDatabase* database, int index) : database_(database), index_(index) {}
  bool IsValid() const;
  QVASimDatabase* Database() const { return database_; }
  int Index() const { return index_; }
  friend bool operator==(const QVASimDistributionID& a, const QVASimDistributionID& b) {
    return a.database_ == b.database_ && a.index_ == b.index_;
  }

 private:
  QVASimDatabase* database_ = nullptr;
  int index_ = -1;
};
