#include "platform/modeldb/QVAFsmFrequencyTask.h"

#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/impl/QVAFsmEntries.h"

namespace {
constexpr const char* kPropertyEvaluation = "PropertyEvaluation";
constexpr const char* kRecoveryNodes = "RecoveryNodes";
}  // namespace

QVAFsmFrequencyTask::QVAFsmFrequencyTask(const QVASimPosition& position) : position_(position) {
  QVAFsmEntries::VerifyObject(position, QVASimKind::FrequencyTask(), "QVAFsmFrequencyTask");
}

double QVAFsmFrequencyTask::PropertyEvaluation() const {
  return QVAFsmEntries::GetNumber(position_, kPropertyEvaluation, 0.0,
                                  "QVAFsmFrequencyTask::PropertyEvaluation");
}

QVASimCSetID QVAFsmFrequencyTask::RecoveryNodes() const {
  return QVAFsmEntries::GetSet(position_, kRecoveryNodes, "QVAFsmFrequencyTask::RecoveryNodes");
}

void QVAFsmFrequencyTask::SetPropertyEvaluation(QVASimTransaction& transaction, double frequency) {
  QVAFsmEntries::PutNumber(transaction, position_, kPropertyEvaluation, frequency,
                           "QVAFsmFrequencyTask::SetPropertyEvaluation");
}

void QVAFsmFrequencyTask::SetRecoveryNodes(QVASimTransaction& transaction,
                                           const QVASimCSetID& nodes) {
  const char* caller = "QVAFsmFrequencyTask::SetRecoveryNodes";
  QVAFsmEntries::PutSet(transaction, position_, kRecoveryNodes, nodes,
                        QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kNodes, caller),
                        caller);
}
