#include "platform/modeldb/QVAFsmModalEventResults.h"

#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/impl/QVAFsmEntries.h"

namespace {

// Attaches a set over the collection of entry `collection`.
void PutSet(QVASimTransaction& transaction, const QVASimPosition& position, const char* name,
            const QVASimCSetID& set, const char* collection, const char* caller) {
  QVAFsmEntries::PutSet(transaction, position, name, set,
                        QVAFsmEntries::GetCollection(position, collection, caller), caller);
}

// Attaches a dense distribution whose first set is over the collection of
// entry `collection`.
void PutDistribution(QVASimTransaction& transaction, const QVASimPosition& position,
                     const char* name, const QVASimDistributionID& distribution,
                     const char* collection, const char* caller) {
  QVAFsmEntries::PutDistribution(
      transaction, position, name, distribution, QVAFsmEntries::Shape::kAnyDense,
      QVAFsmEntries::GetCollection(position, collection, caller), caller);
}

}  // namespace

QVAFsmModalEventResults::QVAFsmModalEventResults(const QVASimPosition& position)
    : position_(position) {
  QVAFsmEntries::VerifyObject(position, QVASimKind::ModalEventResults(), "QVAFsmModalEventResults");
}

QVASimCollectionID QVAFsmModalEventResults::Modes() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kModesCollection,
                                      "QVAFsmModalEventResults::Modes");
}

QVASimCollectionID QVAFsmModalEventResults::Dofs() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kDofs,
                                      "QVAFsmModalEventResults::Dofs");
}

QVASimCollectionID QVAFsmModalEventResults::ComplexNumberPart() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kComplexNumberPart,
                                      "QVAFsmModalEventResults::ComplexNumberPart");
}

QVASimCollectionID QVAFsmModalEventResults::FramesCollection() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kFramesCollection,
                                      "QVAFsmModalEventResults::FramesCollection");
}

QVASimCollectionID QVAFsmModalEventResults::CasesCollection() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kCasesCollection,
                                      "QVAFsmModalEventResults::CasesCollection");
}

int QVAFsmModalEventResults::ModeFrameGridType() const { return QVASimKind::ModeFrameGrid(); }

QVASimCSetID QVAFsmModalEventResults::Frames() const {
  return QVAFsmEntries::GetSet(position_, "Frames", "QVAFsmModalEventResults::Frames");
}

QVASimCSetID QVAFsmModalEventResults::Cases() const {
  return QVAFsmEntries::GetSet(position_, "Cases", "QVAFsmModalEventResults::Cases");
}

QVASimCSetID QVAFsmModalEventResults::ActiveModes() const {
  return QVAFsmEntries::GetSet(position_, "ActiveModes", "QVAFsmModalEventResults::ActiveModes");
}

void QVAFsmModalEventResults::SetFrames(QVASimTransaction& transaction, const QVASimCSetID& set) {
  PutSet(transaction, position_, "Frames", set, QVAFsmEntries::kFramesCollection,
         "QVAFsmModalEventResults::SetFrames");
}

void QVAFsmModalEventResults::SetCases(QVASimTransaction& transaction, const QVASimCSetID& set) {
  PutSet(transaction, position_, "Cases", set, QVAFsmEntries::kCasesCollection,
         "QVAFsmModalEventResults::SetCases");
}

void QVAFsmModalEventResults::SetActiveModes(QVASimTransaction& transaction,
                                             const QVASimCSetID& set) {
  PutSet(transaction, position_, "ActiveModes", set, QVAFsmEntries::kModesCollection,
         "QVAFsmModalEventResults::SetActiveModes");
}

QVASimDistributionID QVAFsmModalEventResults::GU() const {
  return QVAFsmEntries::GetDistribution(position_, "GU", "QVAFsmModalEventResults::GU");
}

QVASimDistributionID QVAFsmModalEventResults::GV() const {
  return QVAFsmEntries::GetDistribution(position_, "GV", "QVAFsmModalEventResults::GV");
}

QVASimDistributionID QVAFsmModalEventResults::GA() const {
  return QVAFsmEntries::GetDistribution(position_, "GA", "QVAFsmModalEventResults::GA");
}

QVASimDistributionID QVAFsmModalEventResults::U() const {
  return QVAFsmEntries::GetDistribution(position_, "U", "QVAFsmModalEventResults::U");
}

QVASimDistributionID QVAFsmModalEventResults::V() const {
  return QVAFsmEntries::GetDistribution(position_, "V", "QVAFsmModalEventResults::V");
}

QVASimDistributionID QVAFsmModalEventResults::A() const {
  return QVAFsmEntries::GetDistribution(position_, "A", "QVAFsmModalEventResults::A");
}

QVASimDistributionID QVAFsmModalEventResults::RF() const {
  return QVAFsmEntries::GetDistribution(position_, "RF", "QVAFsmModalEventResults::RF");
}

QVASimDistributionID QVAFsmModalEventResults::KE() const {
  return QVAFsmEntries::GetDistribution(position_, "KE", "QVAFsmModalEventResults::KE");
}

QVASimDistributionID QVAFsmModalEventResults::SE() const {
  return QVAFsmEntries::GetDistribution(position_, "SE", "QVAFsmModalEventResults::SE");
}

QVASimDistributionID QVAFsmModalEventResults::Work() const {
  return QVAFsmEntries::GetDistribution(position_, "Work", "QVAFsmModalEventResults::Work");
}

QVASimDistributionID QVAFsmModalEventResults::AllKE() const {
  return QVAFsmEntries::GetDistribution(position_, "AllKE", "QVAFsmModalEventResults::AllKE");
}

QVASimDistributionID QVAFsmModalEventResults::AllSE() const {
  return QVAFsmEntries::GetDistribution(position_, "AllSE", "QVAFsmModalEventResults::AllSE");
}

QVASimDistributionID QVAFsmModalEventResults::AllWork() const {
  return QVAFsmEntries::GetDistribution(position_, "AllWork", "QVAFsmModalEventResults::AllWork");
}

void QVAFsmModalEventResults::SetGU(QVASimTransaction& transaction,
                                    const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "GU", distribution, QVAFsmEntries::kModesCollection,
                  "QVAFsmModalEventResults::SetGU");
}

void QVAFsmModalEventResults::SetGV(QVASimTransaction& transaction,
                                    const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "GV", distribution, QVAFsmEntries::kModesCollection,
                  "QVAFsmModalEventResults::SetGV");
}

void QVAFsmModalEventResults::SetGA(QVASimTransaction& transaction,
                                    const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "GA", distribution, QVAFsmEntries::kModesCollection,
                  "QVAFsmModalEventResults::SetGA");
}

void QVAFsmModalEventResults::SetU(QVASimTransaction& transaction,
                                   const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "U", distribution, QVAFsmEntries::kDofs,
                  "QVAFsmModalEventResults::SetU");
}

void QVAFsmModalEventResults::SetV(QVASimTransaction& transaction,
                                   const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "V", distribution, QVAFsmEntries::kDofs,
                  "QVAFsmModalEventResults::SetV");
}

void QVAFsmModalEventResults::SetA(QVASimTransaction& transaction,
                                   const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "A", distribution, QVAFsmEntries::kDofs,
                  "QVAFsmModalEventResults::SetA");
}

void QVAFsmModalEventResults::SetRF(QVASimTransaction& transaction,
                                    const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "RF", distribution, QVAFsmEntries::kDofs,
                  "QVAFsmModalEventResults::SetRF");
}

void QVAFsmModalEventResults::SetKE(QVASimTransaction& transaction,
                                    const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "KE", distribution, QVAFsmEntries::kModesCollection,
                  "QVAFsmModalEventResults::SetKE");
}

void QVAFsmModalEventResults::SetSE(QVASimTransaction& transaction,
                                    const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "SE", distribution, QVAFsmEntries::kModesCollection,
                  "QVAFsmModalEventResults::SetSE");
}

void QVAFsmModalEventResults::SetWork(QVASimTransaction& transaction,
                                      const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "Work", distribution, QVAFsmEntries::kModesCollection,
                  "QVAFsmModalEventResults::SetWork");
}

void QVAFsmModalEventResults::SetAllKE(QVASimTransaction& transaction,
                                       const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "AllKE", distribution, QVAFsmEntries::kFramesCollection,
                  "QVAFsmModalEventResults::SetAllKE");
}

void QVAFsmModalEventResults::SetAllSE(QVASimTransaction& transaction,
                                       const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "AllSE", distribution, QVAFsmEntries::kFramesCollection,
                  "QVAFsmModalEventResults::SetAllSE");
}

void QVAFsmModalEventResults::SetAllWork(QVASimTransaction& transaction,
                                         const QVASimDistributionID& distribution) {
  PutDistribution(transaction, position_, "AllWork", distribution, QVAFsmEntries::kFramesCollection,
                  "QVAFsmModalEventResults::SetAllWork");
}
