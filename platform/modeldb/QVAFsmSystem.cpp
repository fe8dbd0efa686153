#include "platform/modeldb/QVAFsmSystem.h"

#include <string>

#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/impl/QVAFsmEntries.h"

namespace {

std::string UserMatrixEntry(const KRNString& name) {
  return std::string("UserMatrix:") + name.Text();
}

std::string NumberedEntry(int index) { return "Distribution:" + std::to_string(index); }

}  // namespace

QVAFsmSystem::QVAFsmSystem(const QVASimPosition& position) : position_(position) {
  QVAFsmEntries::VerifyObject(position, QVASimKind::ModalSystem(), "QVAFsmSystem");
}

QVASimCollectionID QVAFsmSystem::Dofs() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kDofs, "QVAFsmSystem::Dofs");
}

QVASimCollectionID QVAFsmSystem::Nodes() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kNodes, "QVAFsmSystem::Nodes");
}

QVASimCollectionID QVAFsmSystem::DofTypes() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kDofTypes,
                                      "QVAFsmSystem::DofTypes");
}

QVASimCollectionID QVAFsmSystem::ComplexNumberPart() const {
  return QVAFsmEntries::GetCollection(position_, QVAFsmEntries::kComplexNumberPart,
                                      "QVAFsmSystem::ComplexNumberPart");
}

QVASimPosition QVAFsmSystem::Task() const {
  return QVAFsmEntries::GetObject(position_, QVAFsmEntries::kTask, "QVAFsmSystem::Task");
}

void QVAFsmSystem::SetUserMatrix(QVASimTransaction& transaction, const KRNString& name,
                                 const QVASimDistributionID& distribution) {
  QVAFsmEntries::PutDistribution(transaction, position_, UserMatrixEntry(name).c_str(),
                                 distribution, QVAFsmEntries::Shape::kAny, QVASimCollectionID(),
                                 "QVAFsmSystem::SetUserMatrix");
}

QVASimDistributionID QVAFsmSystem::UserMatrix(const KRNString& name) const {
  return QVAFsmEntries::GetDistribution(position_, UserMatrixEntry(name).c_str(),
                                        "QVAFsmSystem::UserMatrix");
}

void QVAFsmSystem::SetDistribution(QVASimTransaction& transaction, int index,
                                   const QVASimDistributionID& distribution) {
  QVAFsmEntries::PutDistribution(transaction, position_, NumberedEntry(index).c_str(), distribution,
                                 QVAFsmEntries::Shape::kAny, QVASimCollectionID(),
                                 "QVAFsmSystem::SetDistribution");
}

QVASimDistributionID QVAFsmSystem::Distribution(int index) const {
  return QVAFsmEntries::GetDistribution(position_, NumberedEntry(index).c_str(),
                                        "QVAFsmSystem::Distribution");
}
