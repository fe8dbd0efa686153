#pragma once

// A unit of change of the model database. Every attachment of a set or a
// distribution to a model object, and every set, distribution or data record
// made, goes through an open transaction. Commit() makes the changes final;
// a transaction destroyed without Commit() (for example while an exception
// passes) puts every entry of every model object back as it was when the
// transaction began and removes what it made, so half-written results are
// never visible. Transactions nest: an inner commit hands its changes to the
// outer transaction, an outer rollback undoes them too.
//
//   QVASimTransaction transaction(results.MyPosition().Context());
//   ... create sets and distributions, results.SetGU(transaction, gu) ...
//   transaction.Commit();
//
// Values written into a distribution are not part of the transaction: they
// are written in place.

#include "platform/base/QVAPlatformExport.h"

class QVASimDatabase;

class QVA_PLATFORM_EXPORT QVASimTransaction {
 public:
  explicit QVASimTransaction(QVASimDatabase& context);
  QVASimTransaction(const QVASimTransaction&) = delete;
  QVASimTransaction& operator=(const QVASimTransaction&) = delete;
  // Rolls back unless committed. Transactions end in reverse order of opening.
  ~QVASimTransaction();

  // Makes the changes final. Raises when called twice or out of order.
  void Commit();
  bool IsCommitted() const { return committed_; }
  QVASimDatabase& Context() const { return context_; }

 private:
  QVASimDatabase& context_;
  int level_;
  bool committed_ = false;
};
