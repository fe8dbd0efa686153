#pragma once

// Generator of frequency-dependent physical operators, implemented by the
// host. The component's operator update asks it for the operators of one
// domain at a frequency and projects them onto the mode shapes:
//
//   generator->Generate(125.0, true, &dofs, -2);           // structure of a coupled model
//   QVASrvSparseMatrix* stiffness = generator->StiffnessOperator();   // caller deletes
//   if (!stiffness->IsNull()) { ... }                        // a null matrix: operator absent
//   delete stiffness;
//
// Domain codes: 0 a model without fluid, -2 the structural operators of a
// coupled model, -1 the acoustic operators (stiffness and damping of the fluid).
// The update that receives a generator owns it and deletes it through this
// class, so objects are allocated with the platform allocator.

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

class QVA_PLATFORM_EXPORT QVADynGenerateOperators : public mem_AllocationOperators {
 public:
  QVADynGenerateOperators() = default;
  QVADynGenerateOperators(const QVADynGenerateOperators&) = delete;
  QVADynGenerateOperators& operator=(const QVADynGenerateOperators&) = delete;
  virtual ~QVADynGenerateOperators() = default;

  // Builds the physical operators of domain `domainCode` at `frequency`
  // (cycles per unit time). `flag` is passed through from the update (the
  // negation of its first storage flag). *dofs receives the DOF definition
  // that numbers the rows and columns of the operators; it stays the host's.
  virtual void Generate(double frequency, bool flag, QVAFsmSystemDofDefinition** dofs,
                        int domainCode) = 0;

  // Not called by the component; it keeps the operations below in their
  // places for hosts built against this interface.
  virtual void ReservedOperation() {}

  // The operators of the last Generate, each a new matrix that the caller
  // deletes; a matrix whose IsNull() is true stands for an absent operator.
  // Stiffness (the fluid's stiffness for domain code -1).
  virtual QVASrvSparseMatrix* StiffnessOperator() = 0;
  // Viscous damping (the fluid's damping for domain code -1).
  virtual QVASrvSparseMatrix* ViscousDampingOperator() = 0;
  // Structural damping.
  virtual QVASrvSparseMatrix* StructuralDampingOperator() = 0;
};
