#include "platform/modeldb/QVASimMemoryStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>

#include "internal/QVAAssert.h"
#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"

namespace {

// Record `index` of `records`. Callers pass indices the store handed out;
// a wrong one is caught in debug builds.
template <class Record>
Record& At(const std::vector<std::unique_ptr<Record>>& records, int index) {
  QVA_ASSERT(index >= 0 && QVAIndex(index) < records.size(), index, records.size());
  return *records[QVAIndex(index)];
}

struct FreeDeleter {
  void operator()(double* values) const noexcept { std::free(values); }
};

// Number of values of a dense distribution; raises the allocator's exhaustion
// when the product does not fit.
std::size_t NumberOfDenseValues(const QVASimDistributionInfo& info) {
  std::size_t count = 1;
  for (int d = 0; d < info.numberOfSets; ++d) {
    const auto size = QVAIndex(info.sizes[d]);
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / sizeof(double) / size) {
      mem_ReportExhaustion(std::numeric_limits<std::size_t>::max());
    }
    count *= size;
  }
  return count;
}

}  // namespace

struct QVASimMemoryStore::ObjectRecord {
  int kind = 0;
  std::map<std::string, QVASimEntry> entries;
};

struct QVASimMemoryStore::CollectionRecord {
  QVASimCollectionInfo info;
  std::vector<int> symbols;
};

struct QVASimMemoryStore::SetRecord {
  int collection = -1;
  bool isVolatile = false;
  bool exists = true;
  std::vector<int> members;
  // Member -> position, built on the first lookup: a table over the member
  // range when the members are dense enough, a hash table otherwise.
  bool indexed = false;
  int firstMember = 0;
  std::vector<int> denseIndex;
  std::unordered_map<int, int> hashIndex;
};

struct QVASimMemoryStore::DistributionRecord {
  QVASimDistributionInfo info;
  bool exists = true;
  std::unique_ptr<double, FreeDeleter> values;
  std::vector<int> rowStarts;
  std::vector<int> columns;
  std::vector<double> sparseValues;
};

struct QVASimMemoryStore::DataRecordRecord {
  QVASimDataRecordInfo info;
  bool exists = true;
  std::map<int, std::string> strings;
  std::map<int, int> associations;
};

// One logged change. `hadOld` tells whether the entry, field or association
// existed before the change; the old value is kept in the matching member.
struct QVASimMemoryStore::UndoItem {
  UndoItemType type = UndoItemType::kEntry;
  int index = -1;
  int key = 0;
  bool hadOld = false;
  int oldNumber = 0;
  QVASimEntry oldEntry;
  std::string name;
  std::string oldText;
};

namespace {

// Notes in `item` whether `key` is in `map` and, if so, keeps its value in
// item.*oldValue, so that the change can be undone.
template <class Item, class Map, class Value>
void KeepOldValue(Item& item, const Map& map, const typename Map::key_type& key,
                  Value Item::*oldValue) {
  const auto found = map.find(key);
  item.hadOld = found != map.end();
  if (item.hadOld) item.*oldValue = found->second;
}

template <class Record>
bool Exists(const std::vector<std::unique_ptr<Record>>& records, int index) {
  return index >= 0 && index < static_cast<int>(records.size()) && records[QVAIndex(index)]->exists;
}

}  // namespace

// Adds `record` and, inside a transaction, logs its addition; the log has room
// before the record goes in, so a failure leaves neither behind.
template <class Record>
int QVASimMemoryStore::Append(std::vector<std::unique_ptr<Record>>& records,
                              std::unique_ptr<Record> record, UndoItemType type) {
  ReserveLog();
  records.push_back(std::move(record));
  const int index = static_cast<int>(records.size()) - 1;
  if (Logging()) {
    UndoItem item;
    item.type = type;
    item.index = index;
    log_.push_back(std::move(item));
  }
  return index;
}

QVASimStore::~QVASimStore() = default;

QVASimMemoryStore::QVASimMemoryStore() = default;
QVASimMemoryStore::~QVASimMemoryStore() = default;

int QVASimMemoryStore::AddObject(int kind) {
  auto record = std::make_unique<ObjectRecord>();
  record->kind = kind;
  objects_.push_back(std::move(record));
  return static_cast<int>(objects_.size()) - 1;
}

int QVASimMemoryStore::NumberOfObjects() const { return static_cast<int>(objects_.size()); }

int QVASimMemoryStore::ObjectKind(int object) const { return At(objects_, object).kind; }

QVASimEntry QVASimMemoryStore::Entry(int object, const std::string& name) const {
  const auto& entries = At(objects_, object).entries;
  auto found = entries.find(name);
  return found == entries.end() ? QVASimEntry() : found->second;
}

void QVASimMemoryStore::InitializeEntry(int object, const std::string& name,
                                        const QVASimEntry& entry) {
  At(objects_, object).entries[name] = entry;
}

void QVASimMemoryStore::SetEntry(int object, const std::string& name, const QVASimEntry& entry) {
  auto& entries = At(objects_, object).entries;
  if (Logging()) {
    UndoItem item;
    item.type = UndoItemType::kEntry;
    item.index = object;
    item.name = name;
    KeepOldValue(item, entries, name, &UndoItem::oldEntry);
    log_.push_back(std::move(item));
  }
  entries[name] = entry;
}

int QVASimMemoryStore::AddCollection(const QVASimCollectionInfo& info, const int* symbols) {
  auto record = std::make_unique<CollectionRecord>();
  record->info = info;
  if (info.symbol) record->symbols.assign(symbols, symbols + info.size);
  collections_.push_back(std::move(record));
  return static_cast<int>(collections_.size()) - 1;
}

int QVASimMemoryStore::NumberOfCollections() const { return static_cast<int>(collections_.size()); }

QVASimCollectionInfo QVASimMemoryStore::Collection(int collection) const {
  return At(collections_, collection).info;
}

const int* QVASimMemoryStore::Symbols(int collection) const {
  const CollectionRecord& record = At(collections_, collection);
  return record.info.symbol ? record.symbols.data() : nullptr;
}

void QVASimMemoryStore::ResizeCollection(int collection, int size) {
  QVASimCollectionInfo& info = At(collections_, collection).info;
  if (Logging()) {
    UndoItem item;
    item.type = UndoItemType::kCollectionSize;
    item.index = collection;
    item.oldNumber = info.size;
    log_.push_back(std::move(item));
  }
  info.size = size;
}

int QVASimMemoryStore::AddSet(int collection, const int* members, int count, bool isVolatile) {
  auto record = std::make_unique<SetRecord>();
  record->collection = collection;
  record->isVolatile = isVolatile;
  record->members.assign(members, members + count);
  return Append(sets_, std::move(record), UndoItemType::kSetAdded);
}

bool QVASimMemoryStore::SetExists(int set) const { return Exists(sets_, set); }

QVASimSetInfo QVASimMemoryStore::Set(int set) const {
  const SetRecord& record = At(sets_, set);
  QVASimSetInfo info;
  info.collection = record.collection;
  info.size = static_cast<int>(record.members.size());
  info.isVolatile = record.isVolatile;
  return info;
}

const int* QVASimMemoryStore::SetMembers(int set) const { return At(sets_, set).members.data(); }

int QVASimMemoryStore::SetPosition(int set, int member) {
  SetRecord& record = At(sets_, set);
  if (!record.indexed) {
    const std::vector<int>& members = record.members;
    if (!members.empty()) {
      const auto [low, high] = std::minmax_element(members.begin(), members.end());
      const std::int64_t range = std::int64_t{*high} - *low + 1;
      if (range <= 4 * static_cast<std::int64_t>(members.size()) + 1024) {
        record.firstMember = *low;
        record.denseIndex.assign(QVAIndex(range), -1);
        for (std::size_t i = 0; i < members.size(); ++i) {
          record.denseIndex[QVAIndex(members[i] - *low)] = static_cast<int>(i);
        }
      } else {
        record.hashIndex.reserve(members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
          record.hashIndex.emplace(members[i], static_cast<int>(i));
        }
      }
    }
    record.indexed = true;
  }
  if (!record.denseIndex.empty()) {
    const std::int64_t offset = std::int64_t{member} - record.firstMember;
    if (offset < 0 || offset >= static_cast<std::int64_t>(record.denseIndex.size())) return -1;
    return record.denseIndex[QVAIndex(offset)];
  }
  auto found = record.hashIndex.find(member);
  return found == record.hashIndex.end() ? -1 : found->second;
}

int QVASimMemoryStore::AddDistribution(const QVASimDistributionInfo& info) {
  auto record = std::make_unique<DistributionRecord>();
  record->info = info;
  if (info.sparse) {
    record->rowStarts.assign(QVAIndex(info.sizes[0]) + 1, 0);
  } else {
    const std::size_t count = NumberOfDenseValues(info);
    // calloc hands large arrays out as untouched zero pages: no fill pass.
    auto* values =
        static_cast<double*>(std::calloc(std::max<std::size_t>(count, 1), sizeof(double)));
    if (values == nullptr) mem_ReportExhaustion(count * sizeof(double));
    record->values.reset(values);
  }
  return Append(distributions_, std::move(record), UndoItemType::kDistributionAdded);
}

bool QVASimMemoryStore::DistributionExists(int distribution) const {
  return Exists(distributions_, distribution);
}

QVASimDistributionInfo QVASimMemoryStore::Distribution(int distribution) const {
  return At(distributions_, distribution).info;
}

double* QVASimMemoryStore::DenseValues(int distribution) {
  return At(distributions_, distribution).values.get();
}

void QVASimMemoryStore::SetCacheSize(int distribution, std::int64_t bytes) {
  At(distributions_, distribution).info.cacheBytes = bytes;
}

void QVASimMemoryStore::WriteSparse(int distribution, const int* rowStarts, const int* columns,
                                    const double* values) {
  DistributionRecord& record = At(distributions_, distribution);
  const std::size_t rows = QVAIndex(record.info.sizes[0]);
  const std::size_t nonZeros = QVAIndex(rowStarts[rows]);
  std::vector<int> newRowStarts(rowStarts, rowStarts + rows + 1);
  std::vector<int> newColumns(columns, columns + nonZeros);
  std::vector<double> newValues(values, values + nonZeros);
  record.rowStarts.swap(newRowStarts);
  record.columns.swap(newColumns);
  record.sparseValues.swap(newValues);
}

const int* QVASimMemoryStore::SparseRowStarts(int distribution) const {
  return At(distributions_, distribution).rowStarts.data();
}

const int* QVASimMemoryStore::SparseColumns(int distribution) const {
  return At(distributions_, distribution).columns.data();
}

const double* QVASimMemoryStore::SparseValues(int distribution) const {
  return At(distributions_, distribution).sparseValues.data();
}

int QVASimMemoryStore::AddDataRecord(const QVASimDataRecordInfo& info) {
  auto record = std::make_unique<DataRecordRecord>();
  record->info = info;
  return Append(records_, std::move(record), UndoItemType::kDataRecordAdded);
}

bool QVASimMemoryStore::DataRecordExists(int record) const { return Exists(records_, record); }

QVASimDataRecordInfo QVASimMemoryStore::DataRecord(int record) const {
  return At(records_, record).info;
}

void QVASimMemoryStore::SetStringField(int record, int field, const char* text) {
  auto& strings = At(records_, record).strings;
  std::string newText(text != nullptr ? text : "");
  if (Logging()) {
    UndoItem item;
    item.type = UndoItemType::kStringField;
    item.index = record;
    item.key = field;
    KeepOldValue(item, strings, field, &UndoItem::oldText);
    log_.push_back(std::move(item));
  }
  strings[field].swap(newText);
}

const char* QVASimMemoryStore::StringField(int record, int field) const {
  const auto& strings = At(records_, record).strings;
  auto found = strings.find(field);
  return found == strings.end() ? nullptr : found->second.c_str();
}

void QVASimMemoryStore::SetAssociation(int record, int kind, int other) {
  auto& associations = At(records_, record).associations;
  if (Logging()) {
    UndoItem item;
    item.type = UndoItemType::kAssociation;
    item.index = record;
    item.key = kind;
    KeepOldValue(item, associations, kind, &UndoItem::oldNumber);
    log_.push_back(std::move(item));
  }
  associations[kind] = other < 0 ? -1 : other;
}

int QVASimMemoryStore::Association(int record, int kind) const {
  const auto& associations = At(records_, record).associations;
  auto found = associations.find(kind);
  return found == associations.end() ? -1 : found->second;
}

// Makes room for one more log item, so that logging the record just added
// cannot fail after the record is in place.
void QVASimMemoryStore::ReserveLog() {
  if (Logging() && log_.size() == log_.capacity()) log_.reserve(2 * log_.capacity() + 16);
}

int QVASimMemoryStore::BeginTransaction() {
  marks_.push_back(log_.size());
  return static_cast<int>(marks_.size());
}

void QVASimMemoryStore::CommitTransaction() {
  marks_.pop_back();
  if (marks_.empty()) log_.clear();
}

void QVASimMemoryStore::RollbackTransaction() noexcept {
  const std::size_t mark = marks_.back();
  while (log_.size() > mark) {
    Undo(log_.back());
    log_.pop_back();
  }
  marks_.pop_back();
}

int QVASimMemoryStore::TransactionDepth() const { return static_cast<int>(marks_.size()); }

// Restores what `item` changed. Every restore assigns to a key that the change
// created or kept, or erases it, so nothing here allocates.
void QVASimMemoryStore::Undo(UndoItem& item) noexcept {
  switch (item.type) {
    case UndoItemType::kEntry: {
      auto& entries = At(objects_, item.index).entries;
      if (item.hadOld) {
        entries.find(item.name)->second = item.oldEntry;
      } else {
        entries.erase(item.name);
      }
      break;
    }
    case UndoItemType::kCollectionSize:
      At(collections_, item.index).info.size = item.oldNumber;
      break;
    case UndoItemType::kSetAdded:
      At(sets_, item.index).exists = false;
      break;
    case UndoItemType::kDistributionAdded:
      At(distributions_, item.index).exists = false;
      break;
    case UndoItemType::kDataRecordAdded:
      At(records_, item.index).exists = false;
      break;
    case UndoItemType::kStringField: {
      auto& strings = At(records_, item.index).strings;
      if (item.hadOld) {
        strings.find(item.key)->second.swap(item.oldText);
      } else {
        strings.erase(item.key);
      }
      break;
    }
    case UndoItemType::kAssociation: {
      auto& associations = At(records_, item.index).associations;
      if (item.hadOld) {
        associations.find(item.key)->second = item.oldNumber;
      } else {
        associations.erase(item.key);
      }
      break;
    }
  }
}
