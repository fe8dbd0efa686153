#pragma once

// A small record of the model database: a kind, an optional member of a
// collection, string fields, and associations to other records by kind. The
// event results name their load cases this way:
//
//   QVASimDataRecord loadCase =
//       position.CreateDataRecord(transaction, CoreFragmentTypeIndex(19, 0), cases);
//   QVASimDataRecord name =
//       position.CreateDataRecord(transaction, CoreFragmentTypeIndex(23, 1), {});
//   name.SetStringField(0, "LoadCase #0");
//   name.Associate(CoreFragmentTypeIndex(17, 5), loadCase);
//   // loadCase.Associated(CoreFragmentTypeIndex(17, 5)).StringField(0) == "LoadCase #0"

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/cow_String.h"
#include "platform/modeldb/QVASimCollectionID.h"

class QVASimDatabase;

class QVA_PLATFORM_EXPORT QVASimDataRecord {
 public:
  QVASimDataRecord() = default;
  QVASimDataRecord(QVASimDatabase* database, int index) : database_(database), index_(index) {}
  bool IsValid() const;
  int Kind() const;
  // The collection the record is a member of (invalid when none) and its member.
  QVASimCollectionID Collection() const;
  int Member() const;

  void SetStringField(int field, const char* text);
  // The text of string field `field`; a string without buffer when never set.
  cow_String StringField(int field) const;

  // Associates this record with `other` under `kind`, in both directions: each
  // is then found from the other with Associated(kind).
  void Associate(int kind, const QVASimDataRecord& other);
  // The record associated under `kind`; invalid when none.
  QVASimDataRecord Associated(int kind) const;

  int Index() const { return index_; }
  QVASimDatabase* Database() const { return database_; }

 private:
  QVASimDatabase* database_ = nullptr;
  int index_ = -1;
};
