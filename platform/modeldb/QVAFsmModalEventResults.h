#pragma once

// The results object of one modal event in the model database. It shares the
// modes, DOF and complex-number-part collections of its modal system and has
// frame and load-case collections of its own. Its entries:
//
//   Sets: Frames (over FramesCollection()), Cases (over CasesCollection()),
//   ActiveModes (over Modes()).
//   Distributions: GU, GV, GA (modal displacement, velocity, acceleration),
//   U, V, A (nodal), RF (reaction forces), KE, SE, Work (per mode), AllKE,
//   AllSE, AllWork (whole model).
//
// Getters return an invalid identifier while nothing is attached; setters need
// an open transaction and are undone when it rolls back. Attaching a
// distribution whose first set is not over the expected collection (modes for
// GU, GV, GA, KE, SE, Work; DOFs for U, V, A, RF; frames for AllKE, AllSE,
// AllWork) raises.
//
//   QVAFsmModalEventResults results = database.CreateModalEventResults(modal);
//   QVADynHarmonicEvent event(system, new QVADynHarmonicSolver, results);

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVASimTransaction;

class QVA_PLATFORM_EXPORT QVAFsmModalEventResults {
 public:
  QVAFsmModalEventResults() = default;
  // The results object at `position`; raises when it is not one.
  explicit QVAFsmModalEventResults(const QVASimPosition& position);

  bool IsValid() const { return position_.IsValid(); }
  QVASimPosition MyPosition() const { return position_; }

  QVASimCollectionID Modes() const;
  QVASimCollectionID Dofs() const;
  QVASimCollectionID ComplexNumberPart() const;
  QVASimCollectionID FramesCollection() const;
  QVASimCollectionID CasesCollection() const;
  // Data kind of the per-mode energy distributions over [active modes, frames].
  int ModeFrameGridType() const;

  QVASimCSetID Frames() const;
  QVASimCSetID Cases() const;
  QVASimCSetID ActiveModes() const;
  void SetFrames(QVASimTransaction& transaction, const QVASimCSetID& set);
  void SetCases(QVASimTransaction& transaction, const QVASimCSetID& set);
  void SetActiveModes(QVASimTransaction& transaction, const QVASimCSetID& set);

  QVASimDistributionID GU() const;
  QVASimDistributionID GV() const;
  QVASimDistributionID GA() const;
  QVASimDistributionID U() const;
  QVASimDistributionID V() const;
  QVASimDistributionID A() const;
  QVASimDistributionID RF() const;
  QVASimDistributionID KE() const;
  QVASimDistributionID SE() const;
  QVASimDistributionID Work() const;
  QVASimDistributionID AllKE() const;
  QVASimDistributionID AllSE() const;
  QVASimDistributionID AllWork() const;
  void SetGU(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetGV(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetGA(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetU(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetV(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetA(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetRF(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetKE(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetSE(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetWork(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetAllKE(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetAllSE(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetAllWork(QVASimTransaction& transaction, const QVASimDistributionID& distribution);

 private:
  QVASimPosition position_;
};
