#include "QVADyn/QVADynCore/QVADynRespSpectrumEvent.h"

#include "platform/base/QVABasException.h"

QVADynRespSpectrumEvent::QVADynRespSpectrumEvent(const QVADynModalSystem& system,
                                                 QVADynRespSpectrumSolver* solver,
                                                 QVAFsmModalEventResults results)
    : QVADynEvent(system, results), solver_(solver) {}

QVADynRespSpectrumEvent::~QVADynRespSpectrumEvent() = default;

int QVADynRespSpectrumEvent::EventType() const { return 2; }

void QVADynRespSpectrumEvent::Solve(QVADynOperatorUpdate* update) {
  QVA_VERIFY(solver_ != nullptr, kQVASrvInvalidState,
             "QVADynRespSpectrumEvent::Solve: the event was built without a solver");
  RunTimeHistorySolve(*solver_, update, false, histories_);
}

void QVADynRespSpectrumEvent::SetReactionForces(const bool* /*nodes*/, int /*loadCase*/,
                                                const QVASrvMatrix& /*real*/,
                                                const QVASrvMatrix& /*imaginary*/) {}

void QVADynRespSpectrumEvent::GetModalAmplitudes(QVADynRecoveryType /*type*/,
                                                 QVADynNumberType /*part*/, int /*frame*/,
                                                 int /*loadCase*/, double* /*out*/) {}

void QVADynRespSpectrumEvent::Recover(const bool* nodes, int quantities) {
  RecoverTimeHistories(nodes, quantities, histories_);
}

void QVADynRespSpectrumEvent::GetNodalResults(const bool* /*nodes*/, int frame, int /*loadCase*/,
                                              double* out, QVADynRecoveryType type) {
  ReadNodalTimeHistory(histories_, frame, out, type);
}

void QVADynRespSpectrumEvent::GetImaginaryNodalResults(const bool* /*nodes*/, int /*frame*/,
                                                       int /*loadCase*/, double* /*out*/,
                                                       QVADynRecoveryType /*type*/) {}
