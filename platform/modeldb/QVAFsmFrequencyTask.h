#pragma once

// The frequency task of a system: the frequency at which frequency-dependent
// properties are evaluated, and the set of nodes for which results are to be
// recovered (over the system's Nodes() collection).
//
//   QVAFsmFrequencyTask task(modal.Task());
//   double f = task.PropertyEvaluation();          // 0.0 until set
//   if (task.RecoveryNodes().IsValid()) ...

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVASimTransaction;

class QVA_PLATFORM_EXPORT QVAFsmFrequencyTask {
 public:
  // The task at `position`; raises when it is not a task.
  explicit QVAFsmFrequencyTask(const QVASimPosition& position);

  double PropertyEvaluation() const;
  // Invalid when the task has no recovery-node set.
  QVASimCSetID RecoveryNodes() const;

  void SetPropertyEvaluation(QVASimTransaction& transaction, double frequency);
  void SetRecoveryNodes(QVASimTransaction& transaction, const QVASimCSetID& nodes);

 private:
  QVASimPosition position_;
};
