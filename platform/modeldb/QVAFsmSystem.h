#pragma once

// A system object of the model database: the owner of a model's DOF, node,
// DOF-type and complex-number-part collections, of its frequency task and of
// user matrices. QVAFsmModalSystem derives from it. A QVAFsmSystem is a cheap
// handle; copies refer to the same object.
//
//   QVAFsmSystem system = database.CreateModalSystem(numberOfDofs, numberOfNodes);
//   QVASimTransaction transaction(system.MyPosition().Context());
//   system.SetUserMatrix(transaction, KRNString("MASS_CHANGE"), distribution);
//   transaction.Commit();

#include "platform/base/KRNString.h"
#include "platform/base/QVAPlatformExport.h"
#include "platform/modeldb/QVASimCollectionID.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimPosition.h"

class QVASimTransaction;

class QVA_PLATFORM_EXPORT QVAFsmSystem {
 public:
  QVAFsmSystem() = default;
  // The system object at `position`; raises when it is not a system.
  explicit QVAFsmSystem(const QVASimPosition& position);

  bool IsValid() const { return position_.IsValid(); }
  QVASimPosition MyPosition() const { return position_; }

  // One member per system DOF (open collection of kind QVASimKind::Dofs()).
  QVASimCollectionID Dofs() const;
  // One member per node (kind QVASimKind::Nodes()).
  QVASimCollectionID Nodes() const;
  // Symbol collection of DOF types, symbols 1 ... 12 (kind (21, 3)).
  QVASimCollectionID DofTypes() const;
  // Symbol collection of complex-number parts: 0 imaginary, 4 real (kind (7, 4)).
  QVASimCollectionID ComplexNumberPart() const;
  // Position of the system's frequency task (see QVAFsmFrequencyTask).
  QVASimPosition Task() const;

  // User matrices by name and distributions by number; the getters return an
  // invalid identifier when nothing is attached.
  void SetUserMatrix(QVASimTransaction& transaction, const KRNString& name,
                     const QVASimDistributionID& distribution);
  QVASimDistributionID UserMatrix(const KRNString& name) const;
  void SetDistribution(QVASimTransaction& transaction, int index,
                       const QVASimDistributionID& distribution);
  QVASimDistributionID Distribution(int index) const;

 protected:
  QVASimPosition position_;
};
