#pragma once

// The embedded model database, in memory. The host (or a test) creates one,
// creates its systems and event results in it, and reads and writes
// distributions through plain column-major arrays; the component reaches it
// only through positions, collections, sets, distributions, transactions and
// the model objects.
//
//   QVASimDatabase database;
//   QVAFsmModalSystem modal =
//       database.CreateModalSystem(dofs.NumberOfDofs(), dofs.NumberOfNodes());
//   ... QVADynModalSystem writes or reads the basis ...
//   QVAFsmModalEventResults results = database.CreateModalEventResults(modal);
//   std::vector<double> u(database.NumberOfValues(results.U()));
//   database.ReadDistribution(results.U(), u.data());
//
// The store behind the database is an interface of its own; this class keeps
// the values in memory. Everything made in a database lives until the
// database is destroyed, which must happen after every handle and matrix over
// it is gone.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVAFsmModalEventResults.h"
#include "platform/modeldb/QVAFsmModalSystem.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVASimStore;
class QVASimTransaction;

class QVA_PLATFORM_EXPORT QVASimDatabase {
 public:
  QVASimDatabase();
  QVASimDatabase(const QVASimDatabase&) = delete;
  QVASimDatabase& operator=(const QVASimDatabase&) = delete;
  ~QVASimDatabase();

  // A collection of `kind` with `size` members (-1: open, grows as used).
  QVASimCollectionID CreateCollection(int kind, int size);
  // A symbol collection of `kind` whose members are the given symbols.
  QVASimCollectionID CreateSymbolCollection(int kind, const int* symbols, int count);

  // A modal system with its own DOF collection (numberOfDofs members), node
  // collection (numberOfNodes members), open modes collection, DOF-type and
  // complex-number-part symbol collections and frequency task.
  QVAFsmModalSystem CreateModalSystem(int numberOfDofs, int numberOfNodes);
  // Event results over `modal`'s modes, DOFs and complex-number parts, with
  // new open frame and load-case collections.
  QVAFsmModalEventResults CreateModalEventResults(const QVAFsmModalSystem& modal);

  // A zeroed dense distribution of `dataKind` owned by `owner`, over
  // numberOfSets (1 ... 4) sets with the given chunk sizes (already cut to the
  // set sizes, each at least 1). Needs an open transaction; undone when it
  // rolls back. QVASrvUtilities::CreateDistribution is the component's way in.
  QVASimDistributionID CreateDistribution(const QVASimPosition& owner, int dataKind,
                                          int numberOfSets, const QVASimCSetID* sets,
                                          const int* chunkSizes, bool scratch);
  // An empty sparse distribution over (rowSet, columnSet); as above.
  QVASimDistributionID CreateSparseDistribution(const QVASimPosition& owner, int dataKind,
                                                const QVASimCSetID& rowSet,
                                                const QVASimCSetID& columnSet);

  // Plain array access to a dense distribution, column-major over all its
  // dimensions (see QVASimDistribution).
  std::int64_t NumberOfValues(const QVASimDistributionID& distribution) const;
  void WriteDistribution(const QVASimDistributionID& distribution, const double* values);
  void ReadDistribution(const QVASimDistributionID& distribution, double* values) const;

  // Number of transactions open now (0 outside any transaction).
  int TransactionDepth() const;
  // Whether `transaction` is the innermost open transaction of this database,
  // the only one through which changes may be made.
  bool IsInnermostTransaction(const QVASimTransaction& transaction) const;

  // The store; for the database's own classes.
  QVASimStore& Store() const { return *store_; }

 private:
  friend class QVASimTransaction;
  // Bookkeeping of QVASimTransaction: opening returns the new depth; closing
  // commits or rolls back the innermost transaction.
  int OpenTransaction(const QVASimTransaction* transaction);
  void CommitInnermost();
  void RollbackInnermost() noexcept;

  std::unique_ptr<QVASimStore> store_;
  // The open transactions, outermost first.
  std::vector<const QVASimTransaction*> openTransactions_;
};
