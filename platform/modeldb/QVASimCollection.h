#pragma once

// Access to a collection of the model database and the sets made over it.
//
// Members of an ordinary collection are the integers 0 ... Size() - 1. An open
// collection (the ones the database makes for its model objects, or created
// with size -1) grows to hold every member that a set or a record names; a
// collection created with a fixed size refuses members outside it. The members
// of a symbol collection are its symbol numbers (the complex-number parts have
// the members 0 and 4).
//
//   QVASimCollection modes(modal.ModesCollection());
//   QVASimCSetID firstTen = modes.CreateCSetStrided(0, 10, 1, 1);      // 0 ... 9
//   QVASimCSetID chosen = modes.CreateOrderedCSet(list, 3);            // list order kept
//
// Sets made while a transaction is open on the collection's database vanish if
// that transaction rolls back.

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVA_PLATFORM_EXPORT QVASimCollection {
 public:
  // Raises when `id` is not a valid collection.
  explicit QVASimCollection(const QVASimCollectionID& id);

  QVASimCollectionID ID() const { return id_; }
  // Number of members (for a symbol collection, the number of symbols).
  int Size() const;
  bool IsOpen() const;
  bool IsSymbolCollection() const;
  // The collection's own position; its TypePosition() is the collection kind.
  QVASimPosition Position() const;
  int Kind() const;

  // Members first, first + stride, ... (count of them). `flag` is kept for the
  // interface's sake and has no effect.
  QVASimCSetID CreateCSetStrided(int first, int count, int stride, int flag) const;
  // The members as listed, in list order (duplicates refused).
  QVASimCSetID CreateOrderedCSet(const int* members, int count) const;
  // As CreateOrderedCSet; `flag` has no effect.
  QVASimCSetID CreateCSet(const int* members, int count, bool flag) const;
  // A temporary set, as CreateOrderedCSet.
  QVASimCSetID CreateVolatileCSet(const int* members, int count, bool flag) const;
  // An ordered set of symbols of a symbol collection.
  QVASimCSetID CreateOCSet(const int* symbols, int count) const;

  // The member of `symbol` in a symbol collection (raises when absent).
  int GetCMemberID(int symbol) const;

 private:
  QVASimCollectionID id_;
};

// The spelling used where a symbol collection is meant; the same class.
using QVASrvSymbolCollection = QVASimCollection;
