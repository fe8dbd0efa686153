#include "QVADyn/QVADynCore/QVADynTransientEvent.h"

#include "QVADynBoundary.h"
#include "platform/base/QVABasException.h"

QVADynTransientEvent::QVADynTransientEvent(const QVADynModalSystem& system,
                                           QVADynTransientSolver* solver,
                                           QVAFsmModalEventResults results) try
    : QVADynEvent(system, results), solver_(solver) {
} catch (...) {
  // The solver became the event's; an event that is not built deletes it.
  delete solver;
  QVABasRaiseAtBoundary("QVADynTransientEvent::QVADynTransientEvent");
}

QVADynTransientEvent::~QVADynTransientEvent() = default;

void QVADynTransientEvent::SetInitialCondition(QVADynRecoveryType type,
                                               const QVASrvMatrix& values) try {
  QVA_VERIFY(solver_ != nullptr, kQVASrvInvalidState,
             "QVADynTransientEvent::SetInitialCondition: the event was built without a solver");
  const int count = values.NumberOfRows() * values.NumberOfColumns();
  if (values.IsDiagonal()) {
    // Diagonal storage keeps only the diagonal; the solver reads every value.
    QVASrvMatrix full(values.NumberOfRows(), values.NumberOfColumns());
    full.Add(1.0, values);
    solver_->SetInitialCondition(type, count, full.Values());
    return;
  }
  solver_->SetInitialCondition(type, count, values.Values());
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientEvent::SetInitialCondition");
}

int QVADynTransientEvent::EventType() const { return 1; }

void QVADynTransientEvent::Solve(QVADynOperatorUpdate* update) try {
  QVA_VERIFY(solver_ != nullptr, kQVASrvInvalidState,
             "QVADynTransientEvent::Solve: the event was built without a solver");
  RunTimeHistorySolve(*solver_, update, true, histories_);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientEvent::Solve");
}

void QVADynTransientEvent::SetReactionForces(const bool* /*nodes*/, int /*loadCase*/,
                                             const QVASrvMatrix& /*real*/,
                                             const QVASrvMatrix& /*imaginary*/) {}

void QVADynTransientEvent::GetModalAmplitudes(QVADynRecoveryType type, QVADynNumberType part,
                                              int frame, int loadCase, double* out) try {
  ReadModalTimeHistory(histories_, type, part, frame, loadCase, out);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientEvent::GetModalAmplitudes");
}

void QVADynTransientEvent::Recover(const bool* nodes, int quantities) try {
  RecoverTimeHistories(nodes, quantities, histories_);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientEvent::Recover");
}

void QVADynTransientEvent::GetNodalResults(const bool* /*nodes*/, int frame, int /*loadCase*/,
                                           double* out, QVADynRecoveryType type) try {
  ReadNodalTimeHistory(histories_, frame, out, type);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientEvent::GetNodalResults");
}

void QVADynTransientEvent::GetImaginaryNodalResults(const bool* /*nodes*/, int /*frame*/,
                                                    int /*loadCase*/, double* /*out*/,
                                                    QVADynRecoveryType /*type*/) {}
