#include "platform/modeldb/QVAFsmModalSystem.h"

#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/impl/QVAFsmEntries.h"

namespace {

// Sets of a modal system are over its modes collection.
void PutSet(QVASimTransaction& transaction, const QVASimPosition& position, const char* name,
            const QVASimCSetID& set, const char* caller) {
  QVAFsmEntries::PutSet(
      transaction, position, name, set,
      QVAFsmEntries::GetCollection(position, QVAFsmEntries::kModesCollection, caller), caller);
}

void PutDistribution(QVASimTransaction& transaction, const QVASimPosition& position,
                     const char* name, const QVASimDistributionID& distribution,
                     const char* caller) {
  QVAFsmEntries::PutDistribution(transaction, position, name, distribution,
                                 QVAFsmEntries::Shape::kAnyDense, QVASimCollectionID(), caller);
}

}  // namespace

QVAFsmModalSystem::QVAFsmModalSystem(const QVASimPosition& position) : QVAFsmSystem(position) {}

QVASimCollectionID QVAFsmModalSystem::ModesCollection() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kModesCollection,
                                      "QVAFsmModalSystem::ModesCollection");
}

QVASimCSetID QVAFsmModalSystem::Modes() const {
  return QVAFsmEntries::GetSet(position_, "Modes", "QVAFsmModalSystem::Modes");
}

QVASimCSetID QVAFsmModalSystem::StructuralModes() const {
  return QVAFsmEntries::GetSet(position_, "StructuralModes", "QVAFsmModalSystem::StructuralModes");
}

QVASimCSetID QVAFsmModalSystem::ResidualModes() const {
  return QVAFsmEntries::GetSet(position_, "ResidualModes", "QVAFsmModalSystem::ResidualModes");
}

QVASimCSetID QVAFsmModalSystem::AcousticModes() const {
  return QVAFsmEntries::GetSet(position_, "AcousticModes", "QVAFsmModalSystem::AcousticModes");
}

void QVAFsmModalSystem::SetModes(QVASimTransaction& transaction, const QVASimCSetID& set) {
  PutSet(transaction, position_, "Modes", set, "QVAFsmModalSystem::SetModes");
}

void QVAFsmModalSystem::SetStructuralModes(QVASimTransaction& transaction,
                                           const QVASimCSetID& set) {
  PutSet(transaction, position_, "StructuralModes", set, "QVAFsmModalSystem::SetStructuralModes");
}

void QVAFsmModalSystem::SetResidualModes(QVASimTransaction& transaction, const QVASimCSetID& set) {
  PutSet(transaction, position_, "ResidualModes", set, "QVAFsmModalSystem::SetResidualModes");
}

void QVAFsmModalSystem::SetAcousticModes(QVASimTransaction& transaction, const QVASimCSetID& set) {
  PutSet(transaction, position_, "AcousticModes", set, "QVAFsmModalSystem::SetAcousticModes");
}

QVASimDistributionID QVAFsmModalSystem::Eigenvalues() const {
  return QVAFsmEntries::GetDistribution(position_, "Eigenvalues", "QVAFsmModalSystem::Eigenvalues");
}

QVASimDistributionID QVAFsmModalSystem::ModeShapes() const {
  return QVAFsmEntries::GetDistribution(position_, "ModeShapes", "QVAFsmModalSystem::ModeShapes");
}

QVASimDistributionID QVAFsmModalSystem::ImaginaryModeShapes() const {
  return QVAFsmEntries::GetDistribution(position_, "ImaginaryModeShapes",
                                        "QVAFsmModalSystem::ImaginaryModeShapes");
}

QVASimDistributionID QVAFsmModalSystem::GeneralizedMass() const {
  return QVAFsmEntries::GetDistribution(position_, "GeneralizedMass",
                                        "QVAFsmModalSystem::GeneralizedMass");
}

QVASimDistributionID QVAFsmModalSystem::Stiffness() const {
  return QVAFsmEntries::GetDistribution(position_, "Stiffness", "QVAFsmModalSystem::Stiffness");
}

QVASimDistributionID QVAFsmModalSystem::ViscousDamping() const {
  return QVAFsmEntries::GetDistribution(position_, "ViscousDamping",
                                        "QVAFsmModalSystem::ViscousDamping");
}

QVASimDistributionID QVAFsmModalSystem::StructuralDamping() const {
  return QVAFsmEntries::GetDistribution(position_, "StructuralDamping",
                                        "QVAFsmModalSystem::StructuralDamping");
}

QVASimDistributionID QVAFsmModalSystem::AcousticViscousDamping() const {
  return QVAFsmEntries::GetDistribution(position_, "AcousticViscousDamping",
                                        "QVAFsmModalSystem::AcousticViscousDamping");
}

QVASimDistributionID QVAFsmModalSystem::AcousticCoupling() const {
  return QVAFsmEntries::GetDistribution(position_, "AcousticCoupling",
                                        "QVAFsmModalSystem::AcousticCoupling");
}

QVASimDistributionID QVAFsmModalSystem::ParticipationFactors() const {
  return QVAFsmEntries::GetDistribution(position_, "ParticipationFactors",
                                        "QVAFsmModalSystem::ParticipationFactors");
}

QVASimDistributionID QVAFsmModalSystem::EffectiveMass() const {
  return QVAFsmEntries::GetDistribution(position_, "EffectiveMass",
                                        "QVAFsmModalSystem::EffectiveMass");
}

QVASimDistributionID QVAFsmModalSystem::ProjectedModeShapes() const {
  return QVAFsmEntries::GetDistribution(position_, "ProjectedModeShapes",
                                        "QVAFsmModalSystem::ProjectedModeShapes");
}

QVASimDistributionID QVAFsmModalSystem::AcousticDofCoupling() const {
  return QVAFsmEntries::GetDistribution(position_, "AcousticDofCoupling",
                                        "QVAFsmModalSystem::AcousticDofCoupling");
}

QVASimDistributionID QVAFsmModalSystem::RealModeShapes() const { return ModeShapes(); }

void QVAFsmModalSystem::SetEigenvalues(QVASimTransaction& transaction,
                                       const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "Eigenvalues", distribution,
                  "QVAFsmModalSystem::SetEigenvalues");
}

void QVAFsmModalSystem::SetModeShapes(QVASimTransaction& transaction,
                                      const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "ModeShapes", distribution,
                  "QVAFsmModalSystem::SetModeShapes");
}

void QVAFsmModalSystem::SetImaginaryModeShapes(QVASimTransaction& transaction,
                                               const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "ImaginaryModeShapes", distribution,
                  "QVAFsmModalSystem::SetImaginaryModeShapes");
}

void QVAFsmModalSystem::SetGeneralizedMass(QVASimTransaction& transaction,
                                           const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "GeneralizedMass", distribution,
                  "QVAFsmModalSystem::SetGeneralizedMass");
}

void QVAFsmModalSystem::SetStiffness(QVASimTransaction& transaction,
                                     const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "Stiffness", distribution,
                  "QVAFsmModalSystem::SetStiffness");
}

void QVAFsmModalSystem::SetViscousDamping(QVASimTransaction& transaction,
                                          const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "ViscousDamping", distribution,
                  "QVAFsmModalSystem::SetViscousDamping");
}

void QVAFsmModalSystem::SetStructuralDamping(QVASimTransaction& transaction,
                                             const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "StructuralDamping", distribution,
                  "QVAFsmModalSystem::SetStructuralDamping");
}

void QVAFsmModalSystem::SetAcousticViscousDamping(QVASimTransaction& transaction,
                                                  const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "AcousticViscousDamping", distribution,
                  "QVAFsmModalSystem::SetAcousticViscousDamping");
}

void QVAFsmModalSystem::SetAcousticCoupling(QVASimTransaction& transaction,
                                            const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "AcousticCoupling", distribution,
                  "QVAFsmModalSystem::SetAcousticCoupling");
}

void QVAFsmModalSystem::SetParticipationFactors(QVASimTransaction& transaction,
                                                const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "ParticipationFactors", distribution,
                  "QVAFsmModalSystem::SetParticipationFactors");
}

void QVAFsmModalSystem::SetEffectiveMass(QVASimTransaction& transaction,
                                         const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "EffectiveMass", distribution,
                  "QVAFsmModalSystem::SetEffectiveMass");
}

void QVAFsmModalSystem::SetProjectedModeShapes(QVASimTransaction& transaction,
                                               const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "ProjectedModeShapes", distribution,
                  "QVAFsmModalSystem::SetProjectedModeShapes");
}

void QVAFsmModalSystem::SetAcousticDofCoupling(QVASimTransaction& transaction,
                                               const QVASimDistributionID& distribution) {
  QVAFsmEntries::PutDistribution(transaction, position_, "AcousticDofCoupling", distribution,
                                 QVAFsmEntries::Shape::kSparse, QVASimCollectionID(),
                                 "QVAFsmModalSystem::SetAcousticDofCoupling");
}

void QVAFsmModalSystem::SetRealModeShapes(QVASimTransaction& transaction,
                                          const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "ModeShapes", distribution,
                  "QVAFsmModalSystem::SetRealModeShapes");
}
