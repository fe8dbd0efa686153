#pragma once

// The in-memory store of the model database (see QVASimStore). Records live in
// vectors indexed by their numbers; the values of a dense distribution are one
// zero-initialised column-major array taken from the system in one piece, so
// that a distribution costs its values plus a few hundred bytes of record.
//
//   QVASimMemoryStore store;
//   QVASimDistributionInfo info;          // 1000 x 20 over two sets
//   ... info.sizes = {1000, 20}, info.numberOfSets = 2 ...
//   double* values = store.DenseValues(store.AddDistribution(info));  // 20000 zeros

#include <memory>
#include <vector>

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimStore.h"

class QVA_PLATFORM_EXPORT QVASimMemoryStore : public QVASimStore {
 public:
  QVASimMemoryStore();
  ~QVASimMemoryStore() override;

  int AddObject(int kind) override;
  int NumberOfObjects() const override;
  int ObjectKind(int object) const override;
  QVASimEntry Entry(int object, const std::string& name) const override;
  void InitializeEntry(int object, const std::string& name, const QVASimEntry& entry) override;
  void SetEntry(int object, const std::string& name, const QVASimEntry& entry) override;

  int AddCollection(const QVASimCollectionInfo& info, const int* symbols) override;
  int NumberOfCollections() const override;
  QVASimCollectionInfo Collection(int collection) const override;
  const int* Symbols(int collection) const override;
  void ResizeCollection(int collection, int size) override;

  int AddSet(int collection, const int* members, int count, bool isVolatile) override;
  bool SetExists(int set) const override;
  QVASimSetInfo Set(int set) const override;
  const int* SetMembers(int set) const override;
  int SetPosition(int set, int member) override;

  int AddDistribution(const QVASimDistributionInfo& info) override;
  bool DistributionExists(int distribution) const override;
  QVASimDistributionInfo Distribution(int distribution) const override;
  double* DenseValues(int distribution) override;
  void SetCacheSize(int distribution, std::int64_t bytes) override;
  void WriteSparse(int distribution, const int* rowStarts, const int* columns,
                   const double* values) override;
  const int* SparseRowStarts(int distribution) const override;
  const int* SparseColumns(int distribution) const override;
  const double* SparseValues(int distribution) const override;

  int AddDataRecord(const QVASimDataRecordInfo& info) override;
  bool DataRecordExists(int record) const override;
  QVASimDataRecordInfo DataRecord(int record) const override;
  void SetStringField(int record, int field, const char* text) override;
  const char* StringField(int record, int field) const override;
  void SetAssociation(int record, int kind, int other) override;
  int Association(int record, int kind) const override;

  int BeginTransaction() override;
  void CommitTransaction() override;
  void RollbackTransaction() noexcept override;
  int TransactionDepth() const override;

 private:
  struct ObjectRecord;
  struct CollectionRecord;
  struct SetRecord;
  struct DistributionRecord;
  struct DataRecordRecord;
  struct UndoItem;

  enum class UndoItemType {
    kEntry,
    kCollectionSize,
    kSetAdded,
    kDistributionAdded,
    kDataRecordAdded,
    kStringField,
    kAssociation
  };

  bool Logging() const { return !marks_.empty(); }
  template <class Record>
  int Append(std::vector<std::unique_ptr<Record>>& records, std::unique_ptr<Record> record,
             UndoItemType type);
  void ReserveLog();
  void Undo(UndoItem& item) noexcept;

  std::vector<std::unique_ptr<ObjectRecord>> objects_;
  std::vector<std::unique_ptr<CollectionRecord>> collections_;
  std::vector<std::unique_ptr<SetRecord>> sets_;
  std::vector<std::unique_ptr<DistributionRecord>> distributions_;
  std::vector<std::unique_ptr<DataRecordRecord>> records_;
  std::vector<UndoItem> log_;
  // Length of the log when each open transaction began, outermost first.
  std::vector<std::size_t> marks_;
};
