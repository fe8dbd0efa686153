#pragma once

// The modal system of a complex eigenvalue extraction: a modal system whose
// modes are complex, built over a subspace of real modes that the host
// extracted before. The projected stiffness K and the projected viscous and
// structural damping V and S of that subspace (subspace size n, all n x n) are
// the input of the dense complex eigen solve (QVADynCFreqSolve); the complex
// modes found there are stored back here, first as coefficient vectors in the
// subspace (projected mode shapes, n x modes) and then as physical mode shapes
// (DOFs x modes), each as a real-part and an imaginary-part matrix.
//
// Roles of the base's members: the mode-shape matrix holds the real parts of
// the physical mode shapes, the eigenvalue array the real parts of the
// eigenvalues, the viscous and structural damping matrices the projected
// damping V and S; the number of modes counts the complex modes.
//
// Example, n = 2 real modes, one complex mode found, lambda = -0.5 + 9.99i:
//   Eigenvalues()          {-0.5}        ImaginaryEigenvalues() {9.99}
//   database Eigenvalues:  [modes {0}] x [complex part {4, 0}] = | -0.5  9.99 |
//   RealProjectedModeShapes()      2 x 1: | 1.0  |   Imaginary...: | 0.0   |
//                                         | 0.03 |                 | -0.01 |
//
// Use (the host):
//   QVADynComplexModalSystem complexModes(dofs, modalObject, log, n);
//   complexModes.Open();                                     // optional
//   complexModes.CreateStiffness(false).SetValues(0, n - 1, 0, n - 1, omegaSquared);
//   complexModes.CreateProjectedDamping(QVADynViscousDamping, false).SetValues(...);
//   QVADynCFreqSolve(complexModes, realModeShapes, maxModes, lower, upper, 0);
//
// Every operation that puts a new matrix or array into one of the roles above
// releases the one it replaces; matrix references returned earlier then no
// longer refer to anything. The object must outlive every matrix reference
// its Create... operations returned.

#include <memory>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"

class QVADYN_EXPORT QVADynComplexModalSystem : public QVADynModalSystem {
 public:
  // Constructs the base over the three arguments (adopting `dofs`, copying the
  // two handles) and keeps `subspaceSize`, the number of real modes spanning
  // the subspace; reads nothing.
  QVADynComplexModalSystem(QVAFsmSystemDofDefinition* dofs, QVAFsmModalSystem& modal,
                           QVADynLogFile& log, int subspaceSize);
  QVADynComplexModalSystem(const QVADynComplexModalSystem&) = delete;
  QVADynComplexModalSystem& operator=(const QVADynComplexModalSystem&) = delete;
  // Releases the complex matrices and the imaginary eigenvalues, then the base.
  ~QVADynComplexModalSystem();

  int SizeOfSubspace() const { return subspaceSize_; }

  // Opens the base over the stored basis (its mode shapes and eigenvalues must
  // be stored), then takes the real part (complex-number part 4) of the stored
  // mode shapes as the mode-shape matrix and the stored stiffness, when there
  // is one, as the projected stiffness. The number of modes is the number of
  // stored eigenvalues and the eigenvalue array their real parts; the
  // imaginary eigenvalues are not read (ImaginaryEigenvalues() stays null).
  void Open();

  // New real-part (the base's mode-shape matrix) and imaginary-part physical
  // mode-shape matrices, `rows` solver DOFs x NumberOfModes(), chunked by the
  // mode-shape block-size settings (limited to 2 GB per chunk and to 128
  // modes per column block, the most the mode-column map can address);
  // attached with SetRealModeShapes and SetImaginaryModeShapes unless
  // `scratch`. Rebuilds the mode-column map.
  void CreateModeShapes(int rows, bool scratch);

  // New projected mode shapes, SizeOfSubspace() x NumberOfModes(), real and
  // imaginary parts; each is attached with SetProjectedModeShapes unless
  // `scratch` (the database has one entry: after both calls it names the one
  // created last).
  QVASrvDenseMatrix& CreateRealProjectedModeShapes(bool scratch);
  QVASrvDenseMatrix& CreateImaginaryProjectedModeShapes(bool scratch);

  // New projected stiffness, SizeOfSubspace() squared; attached with
  // SetStiffness unless `scratch`.
  QVASrvDenseMatrix& CreateStiffness(bool scratch);

  // New projected damping, SizeOfSubspace() squared: QVADynViscousDamping is
  // attached with SetViscousDamping and held as the viscous damping matrix,
  // QVADynStructuralDamping with SetStructuralDamping as the structural damping
  // matrix (unless `scratch`). Other kinds have no projected matrix in a
  // complex extraction: they create and attach nothing and raise
  // QVADynUnsupportedDamping (223).
  QVASrvDenseMatrix& CreateProjectedDamping(QVADynDampingType kind, bool scratch);

  // Stores `count` complex eigenvalues (real[i] + i imaginary[i]): the number
  // of modes becomes `count`; in one transaction the modes 0 ... count-1 and
  // the structural modes 0 ... count-a-1 (a = NumberOfAcousticModes(), none
  // when count <= a) are attached with SetModes and SetStructuralModes, and
  // the eigenvalue distribution [modes] x [complex part {4, 0}] (real parts,
  // then imaginary parts) with SetEigenvalues. Keeps copies of both arrays.
  void SetEigenvalues(const double* real, const double* imaginary, int count);

  // --- read access for the component (no side effects; null until made) ----
  // Real parts of the physical mode shapes (the base's mode-shape matrix).
  QVASrvDenseMatrix* RealModeShapes() const { return ModeShapes(); }
  QVASrvDenseMatrix* ImaginaryModeShapes() const { return imaginaryModeShapes_.get(); }
  QVASrvDenseMatrix* RealProjectedModeShapes() const { return realProjectedModeShapes_.get(); }
  QVASrvDenseMatrix* ImaginaryProjectedModeShapes() const {
    return imaginaryProjectedModeShapes_.get();
  }
  QVASrvDenseMatrix* ProjectedStiffness() const { return projectedStiffness_.get(); }
  // Real parts (the base's eigenvalue array) and imaginary parts of the
  // eigenvalues, NumberOfModes() each; the imaginary parts only after
  // SetEigenvalues.
  const double* RealEigenvalues() const { return Eigenvalues(); }
  const double* ImaginaryEigenvalues() const { return imaginaryEigenvalues_.get(); }

 private:
  struct ArrayRelease {
    void operator()(double* values) const noexcept;
  };

  // The setter of the modal-database object that attaches a distribution.
  using Attach = void (QVAFsmModalSystem::*)(QVASimTransaction&, const QVASimDistributionID&);

  // A new projected matrix of data kind (6, 20) whose rows are the first
  // SizeOfSubspace() modes and whose columns are the same modes or, with
  // `modeColumns`, the first NumberOfModes() modes; attached through `attach`
  // unless `scratch`.
  std::unique_ptr<QVASrvDenseMatrix> CreateProjected(bool modeColumns, bool scratch, Attach attach);

  std::unique_ptr<QVASrvDenseMatrix> imaginaryModeShapes_;
  std::unique_ptr<QVASrvDenseMatrix> realProjectedModeShapes_;
  std::unique_ptr<QVASrvDenseMatrix> imaginaryProjectedModeShapes_;
  std::unique_ptr<QVASrvDenseMatrix> projectedStiffness_;
  std::unique_ptr<double[], ArrayRelease> imaginaryEigenvalues_;
  int subspaceSize_ = 0;
};
