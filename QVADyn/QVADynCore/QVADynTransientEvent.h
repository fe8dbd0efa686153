#pragma once

// The modal transient event: the response in time to loads that vary over the
// frames (time points) and to initial conditions. Its solver integrates every
// mode exactly for loads varying linearly between frames
// (QVADynTransientSolver); the event stores the modal time histories and
// recovers the physical ones at the nodes the host asks for.
//
// Stored results (results object of the event):
//   GU, GV, GA  modal displacement, velocity, acceleration   active modes x frames  (Solve)
//   U, V, A     nodal displacement, velocity, acceleration   recovered DOFs x frames (Recover)
//   KE, SE, Work, AllKE, AllSE, AllWork  as requested (RequestEnergyOutput)
//
// Frames are time points; frame f's third value is the increment to frame
// f + 1 (its second where the third is 0.0):
//
//   QVADynTransientEvent event(system, new QVADynTransientSolver, results);
//   event.SetActiveModes(3, modes);
//   const QVADynFrameValue frames[] = {{0, 0, 0.01}, {0, 0, 0.01}, {0, 0, 0.01}};
//   event.SetFrameValues(3, frames);                  // t = 0, 0.01, 0.02
//   event.LoadCase(0).AdoptForce(force);              // amplitudes per frame
//   event.AdoptAmplitudeTable(table);
//   event.SetInitialCondition(QVADynRecoverVelocity, velocities);   // 3 x 1
//   event.Solve(nullptr);
//   event.Recover(nodes, 1 | 4);                      // displacement and acceleration
//   event.GetNodalResults(nodes, 2, 0, out, QVADynRecoverAcceleration);   // t = 0.02
//
// The stored modal matrices have one column per frame: the event is meant
// for one load case.

#include <memory>

#include "QVADyn/QVADynCore/QVADynEvent.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"

class QVADYN_EXPORT QVADynTransientEvent : public QVADynEvent {
 public:
  // Takes ownership of `solver` (allocated with new); deleted with the event.
  QVADynTransientEvent(const QVADynModalSystem& system, QVADynTransientSolver* solver,
                       QVAFsmModalEventResults results);
  ~QVADynTransientEvent() override;

  // Hands the solver a copy of `values` (one value per active mode and load
  // case, modes fastest: rows x columns values in column order) as the
  // initial displacement, velocity or acceleration. Raises QVABasError
  // (kQVASrvInvalidState) when the event has no solver.
  void SetInitialCondition(QVADynRecoveryType type, const QVASrvMatrix& values);

  // 1.
  int EventType() const override;
  // The common solve with the event's energy request; stores GU, GV, GA and
  // then the requested energies. Raises QVABasError (kQVASrvInvalidState)
  // without active modes, frames, load cases or solver, and as the solver.
  void Solve(QVADynOperatorUpdate* update) override;
  // Does nothing: a transient event keeps no reaction forces.
  void SetReactionForces(const bool* nodes, int loadCase, const QVASrvMatrix& real,
                         const QVASrvMatrix& imaginary) override;
  // Column NumberOfCases() * frame + loadCase of GU, GV or GA (type 0, 1, 2)
  // into out; zeros for the imaginary part and other types. Raises
  // QVABasError (kQVASrvInvalidState) before a solve.
  void GetModalAmplitudes(QVADynRecoveryType type, QVADynNumberType part, int frame, int loadCase,
                          double* out) override;
  // Recovers the quantities asked for (bit 1 displacement, 2 velocity, 4
  // acceleration) at the flagged nodes (null: all) and stores them as U, V,
  // A. Raises QVABasError (kQVASrvInvalidState) before a solve.
  void Recover(const bool* nodes, int quantities) override;
  // Frame `frame` of the recovered displacement, velocity or acceleration
  // into out[node * MaxNodalDof + place] at the DOFs of the last Recover;
  // zeros there for a quantity not recovered and for other types. `nodes`
  // and `loadCase` are not read.
  void GetNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                       QVADynRecoveryType type) override;
  // Does nothing: transient results are real.
  void GetImaginaryNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                                QVADynRecoveryType type) override;

 private:
  std::unique_ptr<QVADynTransientSolver> solver_;
  TimeHistories histories_;
};
