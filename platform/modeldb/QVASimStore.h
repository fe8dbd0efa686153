#pragma once

// The storage behind a QVASimDatabase: plain records addressed by index, and
// the undo log of the open transactions. The database and its handle classes
// check every argument and build the meaning (collections, sets, views, model
// objects) on top; a store only keeps records and undoes them. The database
// uses QVASimMemoryStore; a store over a file would implement the same class.
//
// Records, each numbered from 0 in the order of creation:
//   objects        - model objects and the positions of collections: a kind and
//                    named entries (a set, a distribution, a collection, an
//                    object or a number);
//   collections    - kind, size, open or fixed, symbols of a symbol collection;
//   sets           - a collection and its members in order;
//   distributions  - data kind, owner, 1 ... 4 sets with their sizes and chunk
//                    sizes; dense values in one zeroed column-major array, or
//                    a sparse matrix in compressed-row form;
//   data records   - kind, owner, member of a collection, string fields and
//                    associations by kind.
//
// Undo: while a transaction is open (TransactionDepth() > 0) every change to an
// entry, a collection size, a string field or an association, and every set,
// distribution or data record added, is logged; RollbackTransaction() undoes
// the changes of the innermost transaction in reverse order and marks the
// records it added as removed. A removed record keeps its storage until the
// store is destroyed, so pointers handed out before never dangle; it is no
// longer found (the *Exists() queries answer false). Objects and collections
// are never removed.
//
//   store.BeginTransaction();                     // depth 1
//   int set = store.AddSet(modes, members, 3, false);
//   store.RollbackTransaction();                  // SetExists(set) == false

#include <cstdint>
#include <string>

#include "platform/base/QVAPlatformExport.h"

// The value of one named entry of an object.
struct QVASimEntry {
  enum class Type { kNone, kSet, kDistribution, kCollection, kObject, kNumber };
  Type type = Type::kNone;
  int index = -1;       // set, distribution, collection or object index
  double number = 0.0;  // for kNumber
};

struct QVASimCollectionInfo {
  int kind = 0;
  int size = 0;         // members; for a symbol collection the number of symbols
  bool open = false;    // grows to hold the members that sets and records name
  bool symbol = false;  // members are the symbols
  int object = -1;      // the collection's own position
};

struct QVASimSetInfo {
  int collection = -1;
  int size = 0;
  bool isVolatile = false;
};

struct QVASimDistributionInfo {
  static constexpr int kMaximumDimensions = 4;
  int dataKind = 0;
  int owner = -1;  // object
  bool scratch = false;
  bool sparse = false;
  int numberOfSets = 0;
  int sets[kMaximumDimensions] = {-1, -1, -1, -1};
  int sizes[kMaximumDimensions] = {0, 0, 0, 0};
  int chunks[kMaximumDimensions] = {1, 1, 1, 1};
  std::int64_t cacheBytes = 0;
};

struct QVASimDataRecordInfo {
  int kind = 0;
  int owner = -1;       // object
  int collection = -1;  // -1 when the record is no member of a collection
  int member = -1;
};

// Indices passed to a store must name records that exist (the database checks
// them before it calls).
class QVA_PLATFORM_EXPORT QVASimStore {
 public:
  QVASimStore() = default;
  QVASimStore(const QVASimStore&) = delete;
  QVASimStore& operator=(const QVASimStore&) = delete;
  virtual ~QVASimStore();

  // Objects. AddObject is not undone; an entry never set reads as kNone.
  // InitializeEntry sets an entry of an object being built, without logging.
  virtual int AddObject(int kind) = 0;
  virtual int NumberOfObjects() const = 0;
  virtual int ObjectKind(int object) const = 0;
  virtual QVASimEntry Entry(int object, const std::string& name) const = 0;
  virtual void InitializeEntry(int object, const std::string& name, const QVASimEntry& entry) = 0;
  virtual void SetEntry(int object, const std::string& name, const QVASimEntry& entry) = 0;

  // Collections. AddCollection is not undone; ResizeCollection is.
  virtual int AddCollection(const QVASimCollectionInfo& info, const int* symbols) = 0;
  virtual int NumberOfCollections() const = 0;
  virtual QVASimCollectionInfo Collection(int collection) const = 0;
  // The symbols of a symbol collection in creation order (null otherwise).
  virtual const int* Symbols(int collection) const = 0;
  virtual void ResizeCollection(int collection, int size) = 0;

  // Sets. Members are copied.
  virtual int AddSet(int collection, const int* members, int count, bool isVolatile) = 0;
  virtual bool SetExists(int set) const = 0;
  virtual QVASimSetInfo Set(int set) const = 0;
  virtual const int* SetMembers(int set) const = 0;
  // Position of `member` in the set or -1; constant time once the set's index
  // is built (on the first call).
  virtual int SetPosition(int set, int member) = 0;

  // Distributions: dense ones start zeroed, sparse ones empty.
  virtual int AddDistribution(const QVASimDistributionInfo& info) = 0;
  virtual bool DistributionExists(int distribution) const = 0;
  virtual QVASimDistributionInfo Distribution(int distribution) const = 0;
  // The dense values, column-major over all dimensions.
  virtual double* DenseValues(int distribution) = 0;
  virtual void SetCacheSize(int distribution, std::int64_t bytes) = 0;
  // Replaces the sparse values: rowStarts has sizes[0] + 1 entries.
  virtual void WriteSparse(int distribution, const int* rowStarts, const int* columns,
                           const double* values) = 0;
  virtual const int* SparseRowStarts(int distribution) const = 0;
  virtual const int* SparseColumns(int distribution) const = 0;
  virtual const double* SparseValues(int distribution) const = 0;

  // Data records.
  virtual int AddDataRecord(const QVASimDataRecordInfo& info) = 0;
  virtual bool DataRecordExists(int record) const = 0;
  virtual QVASimDataRecordInfo DataRecord(int record) const = 0;
  virtual void SetStringField(int record, int field, const char* text) = 0;
  // The text of a field, or null when it was never set; valid until the
  // field changes.
  virtual const char* StringField(int record, int field) const = 0;
  // Sets (other >= 0) or clears (other == -1) the association of `record`
  // under `kind`; one direction only.
  virtual void SetAssociation(int record, int kind, int other) = 0;
  // The associated record or -1.
  virtual int Association(int record, int kind) const = 0;

  // Undo log. Begin returns the new depth; Commit hands the innermost
  // transaction's changes to the enclosing one (or makes them final at depth
  // 1); Rollback undoes them. Commit and Rollback need depth > 0.
  virtual int BeginTransaction() = 0;
  virtual void CommitTransaction() = 0;
  virtual void RollbackTransaction() noexcept = 0;
  virtual int TransactionDepth() const = 0;
};
