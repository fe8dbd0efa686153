#pragma once

// The modal-system object of the model database: a real (or complex) modal
// basis. Its entries are sets over its modes collection and distributions:
//
//   Sets (over ModesCollection()): Modes, StructuralModes, ResidualModes,
//   AcousticModes.
//   Distributions: Eigenvalues [modes x complex part], ModeShapes [DOFs x modes]
//   (also the real part of complex mode shapes, see SetRealModeShapes),
//   ImaginaryModeShapes, GeneralizedMass [modes], Stiffness, ViscousDamping,
//   StructuralDamping, AcousticViscousDamping, AcousticCoupling,
//   ParticipationFactors [modes x DOF types], EffectiveMass,
//   ProjectedModeShapes, AcousticDofCoupling (sparse).
//
// Every getter returns an invalid identifier while nothing is attached; every
// setter needs an open transaction and is undone when it rolls back.
//
//   QVAFsmModalSystem modal = database.CreateModalSystem(numberOfDofs, numberOfNodes);
//   if (modal.ViscousDamping().IsValid()) ...

#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVAFsmSystem.h"
#include "platform/modeldb/QVASimCSetID.h"

class QVA_PLATFORM_EXPORT QVAFsmModalSystem : public QVAFsmSystem {
 public:
  QVAFsmModalSystem() = default;
  // The modal system at `position`; raises when it is not a modal system.
  explicit QVAFsmModalSystem(const QVASimPosition& position);

  // The open collection that numbers the modes (kind QVASimKind::Modes()).
  QVASimCollectionID ModesCollection() const;

  QVASimCSetID Modes() const;
  QVASimCSetID StructuralModes() const;
  QVASimCSetID ResidualModes() const;
  QVASimCSetID AcousticModes() const;
  void SetModes(QVASimTransaction& transaction, const QVASimCSetID& set);
  void SetStructuralModes(QVASimTransaction& transaction, const QVASimCSetID& set);
  void SetResidualModes(QVASimTransaction& transaction, const QVASimCSetID& set);
  void SetAcousticModes(QVASimTransaction& transaction, const QVASimCSetID& set);

  QVASimDistributionID Eigenvalues() const;
  QVASimDistributionID ModeShapes() const;
  QVASimDistributionID RealModeShapes() const;  // the ModeShapes entry
  QVASimDistributionID ImaginaryModeShapes() const;
  QVASimDistributionID GeneralizedMass() const;
  QVASimDistributionID Stiffness() const;
  QVASimDistributionID ViscousDamping() const;
  QVASimDistributionID StructuralDamping() const;
  QVASimDistributionID AcousticViscousDamping() const;
  QVASimDistributionID AcousticCoupling() const;
  QVASimDistributionID ParticipationFactors() const;
  QVASimDistributionID EffectiveMass() const;
  QVASimDistributionID ProjectedModeShapes() const;
  QVASimDistributionID AcousticDofCoupling() const;

  void SetEigenvalues(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetModeShapes(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  // The real parts of complex mode shapes are the ModeShapes entry.
  void SetRealModeShapes(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetImaginaryModeShapes(QVASimTransaction& transaction,
                              const QVASimDistributionID& distribution);
  void SetGeneralizedMass(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetStiffness(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetViscousDamping(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetStructuralDamping(QVASimTransaction& transaction,
                            const QVASimDistributionID& distribution);
  void SetAcousticViscousDamping(QVASimTransaction& transaction,
                                 const QVASimDistributionID& distribution);
  void SetAcousticCoupling(QVASimTransaction& transaction,
                           const QVASimDistributionID& distribution);
  void SetParticipationFactors(QVASimTransaction& transaction,
                               const QVASimDistributionID& distribution);
  void SetEffectiveMass(QVASimTransaction& transaction, const QVASimDistributionID& distribution);
  void SetProjectedModeShapes(QVASimTransaction& transaction,
                              const QVASimDistributionID& distribution);
  void SetAcousticDofCoupling(QVASimTransaction& transaction,
                              const QVASimDistributionID& distribution);
};
