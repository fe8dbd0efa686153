#include "QVADyn/QVADynCore/QVADynRespSpectrumEvent.h"

#include "QVADynBoundary.h"
#include "platform/base/QVABasException.h"

QVADynRespSpectrumEvent::QVADynRespSpectrumEvent(const QVADynModalSystem& system,
                                                 QVADynRespSpectrumSolver* solver,
                                                 QVAFsmModalEventResults results) try
    : QVADynEvent(system, results), solver_(solver) {
} catch (...) {
  // The solver became the event's; an event that is not built deletes it.
  delete solver;
  QVABasRaiseAtBoundary("QVADynRespSpectrumEvent::QVADynRespSpectrumEvent");
}

QVADynRespSpectrumEvent::~QVADynRespSpectrumEvent() = default;

int QVADynRespSpectrumEvent::EventType() const { return 2; }

void QVADynRespSpectrumEvent::Solve(QVADynOperatorUpdate* update) try {
  QVA_VERIFY(solver_ != nullptr, kQVASrvInvalidState,
             "QVADynRespSpectrumEvent::Solve: the event was built without a solver");
  RunTimeHistorySolve(*solver_, update, false, histories_);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRespSpectrumEvent::Solve");
}

void QVADynRespSpectrumEvent::SetReactionForces(const bool* /*nodes*/, int /*loadCase*/,
                                                const QVASrvMatrix& /*real*/,
                                                const QVASrvMatrix& /*imaginary*/) {}

void QVADynRespSpectrumEvent::GetModalAmplitudes(QVADynRecoveryType /*type*/,
                                                 QVADynNumberType /*part*/, int /*frame*/,
                                                 int /*loadCase*/, double* /*out*/) {}

void QVADynRespSpectrumEvent::Recover(const bool* nodes, int quantities) try {
  RecoverTimeHistories(nodes, quantities, histories_);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRespSpectrumEvent::Recover");
}

void QVADynRespSpectrumEvent::GetNodalResults(const bool* /*nodes*/, int frame, int /*loadCase*/,
                                              double* out, QVADynRecoveryType type) try {
  ReadNodalTimeHistory(histories_, frame, out, type);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRespSpectrumEvent::GetNodalResults");
}

void QVADynRespSpectrumEvent::GetImaginaryNodalResults(const bool* /*nodes*/, int /*frame*/,
                                                       int /*loadCase*/, double* /*out*/,
                                                       QVADynRecoveryType /*type*/) {}
