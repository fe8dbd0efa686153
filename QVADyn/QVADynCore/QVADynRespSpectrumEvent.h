#pragma once

// The response-spectrum event. It shares the transient event's frame: active
// modes, frames, load cases, the stored modal time histories GU, GV, GA
// (active modes x frames) and their recovery to U, V, A at the nodes the host
// asks for. Its solver (QVADynRespSpectrumSolver) hands back zeros for every
// frame; no energies are written, whatever is requested.
//
//   QVADynRespSpectrumEvent event(system, new QVADynRespSpectrumSolver, results);
//   event.SetActiveModes(3, modes);
//   event.SetFrameValues(2, frames);
//   event.LoadCase(0);
//   event.Solve(nullptr);            // GU = GV = GA = 3 x 2 zeros
//   event.Recover(nodes, 1);         // U = DOFs x 2 zeros

#include <memory>

#include "QVADyn/QVADynCore/QVADynEvent.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynRespSpectrumSolver.h"

class QVADYN_EXPORT QVADynRespSpectrumEvent : public QVADynEvent {
 public:
  // Takes ownership of `solver` (allocated with new); deleted with the event.
  QVADynRespSpectrumEvent(const QVADynModalSystem& system, QVADynRespSpectrumSolver* solver,
                          QVAFsmModalEventResults results);
  ~QVADynRespSpectrumEvent() override;

  // 2.
  int EventType() const override;
  // The common solve; stores GU, GV, GA and no energies. Raises QVABasError
  // (kQVASrvInvalidState) without active modes, frames, load cases or solver.
  void Solve(QVADynOperatorUpdate* update) override;
  // Does nothing.
  void SetReactionForces(const bool* nodes, int loadCase, const QVASrvMatrix& real,
                         const QVASrvMatrix& imaginary) override;
  // Does nothing: `out` is left as it is.
  void GetModalAmplitudes(QVADynRecoveryType type, QVADynNumberType part, int frame, int loadCase,
                          double* out) override;
  // As QVADynTransientEvent::Recover.
  void Recover(const bool* nodes, int quantities) override;
  // As QVADynTransientEvent::GetNodalResults.
  void GetNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                       QVADynRecoveryType type) override;
  // Does nothing.
  void GetImaginaryNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                                QVADynRecoveryType type) override;

 private:
  std::unique_ptr<QVADynRespSpectrumSolver> solver_;
  TimeHistories histories_;
};
