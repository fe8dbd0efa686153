#include "platform/modeldb/QVASimTransaction.h"

#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimDatabase.h"

QVASimTransaction::QVASimTransaction(QVASimDatabase& context)
    : context_(context), level_(context.OpenTransaction(this)) {}

QVASimTransaction::~QVASimTransaction() {
  if (committed_) return;
  // Still open when this transaction sits at its level of the stack; then it
  // and every transaction still open inside it roll back.
  const auto& open = context_.openTransactions_;
  if (static_cast<int>(open.size()) < level_ || open[level_ - 1] != this) return;
  while (static_cast<int>(open.size()) >= level_) context_.RollbackInnermost();
}

void QVASimTransaction::Commit() {
  QVA_VERIFY(
      !committed_, kQVASimInconsistent,
      "QVASimTransaction::Commit: the transaction at level " << level_ << " is already committed");
  QVA_VERIFY(context_.IsInnermostTransaction(*this), kQVASimInconsistent,
             "QVASimTransaction::Commit: the transaction at level "
                 << level_ << " is not the innermost open one (" << context_.TransactionDepth()
                 << " open); inner transactions end first");
  context_.CommitInnermost();
  committed_ = true;
}
