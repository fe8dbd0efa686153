#pragma once

// Checked passage from the identifiers of the model database to its store,
// shared by the handle classes. Every check raises QVABasError naming the
// caller, the identifier and the bound, before anything is changed:
//
//   QVASimStore& store = QVASimChecks::SetStore(id, "QVASimCSet::Size");
//   // raises kQVASimInvalidIdentifier "QVASimCSet::Size: set 7 does not exist
//   // (removed by a rollback or never made; 5 sets)"

#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDataRecord.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimPosition.h"
#include "platform/modeldb/QVASimStore.h"

class QVASimDatabase;
class QVASimTransaction;

namespace QVASimChecks {

// The store of the database of each identifier, when the identifier names an
// existing record.
QVASimStore& CollectionStore(const QVASimCollectionID& id, const char* caller);
QVASimStore& SetStore(const QVASimCSetID& id, const char* caller);
QVASimStore& DistributionStore(const QVASimDistributionID& id, const char* caller);
QVASimStore& PositionStore(const QVASimPosition& position, const char* caller);
QVASimStore& DataRecordStore(const QVASimDataRecord& record, const char* caller);

// Raises kQVASimInvalidIdentifier when `other` (an identifier's database) is
// not `database`.
void VerifySameDatabase(const QVASimDatabase* database, const QVASimDatabase* other,
                        const char* what, int index, const char* caller);

// Raises kQVASimInconsistent unless `transaction` is the innermost open
// transaction of `database`.
void VerifyTransaction(const QVASimTransaction& transaction, const QVASimDatabase& database,
                       const char* caller);

// Checks that `members` may form a set over `collection`: members of a fixed
// collection lie in 0 ... size - 1, members of an open one are not negative,
// members of a symbol collection are its symbols; with `refuseDuplicates` no
// member appears twice. Then grows an open collection to hold the largest
// member (undone with the open transaction). Linear, or n log n for members
// spread far apart.
void AdmitMembers(QVASimStore& store, int collection, const int* members, int count,
                  bool refuseDuplicates, const char* caller);

}  // namespace QVASimChecks
