#pragma once

// A small, reproducible modal basis in an in-memory model database, written
// through QVADynModalSystem, with the reference values kept beside it, for the
// tests of the modal system and of everything built on it (events, subsets,
// participation factors, random and complex analyses).
//
// The model. NumberOfNodes() nodes with MaxNodalDof() DOF places each. Node p
// carries the places options.placesOfNode[p] when that list is given, else
// places 0 ... placesPerNode - 1; the last `acousticNodes` nodes carry instead
// one acoustic pressure DOF (label 8) at place 0. Structural places are
// labelled with the DOF-type symbols 2, 3, 4, 9, 10, 11 of places 0 ... 5.
// System DOFs are numbered node by node, place by place; solver DOFs are the
// structural system DOFs in that order followed by the acoustic ones.
//
// The basis. A diagonal (lumped) mass per solver DOF, in [0.5, 2]. The
// structural modes live on the structural rows and are mass-orthonormal there;
// the acoustic modes live on the acoustic rows, likewise; so Phi^T M Phi = I.
// Eigenvalues ascend within the structural and within the acoustic modes; the
// residual modes are the last structural modes. The mode-shape matrix has the
// first `modeShapeRows` solver DOFs as rows (all when -1). Projected damping
// and coupling matrices, when asked for, are random (damping symmetric).
//
// Example: 4 nodes, 6 places, places {0, 1, 2} each, 1 acoustic node, 5 modes
// of which 1 acoustic and 1 residual:
//   system DOFs 0 ... 8 structural (node 0: 0, 1, 2; node 1: 3, 4, 5; ...),
//   DOF 9 acoustic (node 3, place 0); solver DOFs = system DOFs;
//   modes 0 ... 3 structural (residual 3), mode 4 acoustic;
//   ModeShape(9, 4) != 0, ModeShape(9, 0) == 0, ModeShape(0, 4) == 0.
//
// Use:
//   QVATestModalBasis basis({.numberOfModes = 12, .viscousDamping = true});
//   std::unique_ptr<QVADynModalSystem> modal = basis.Open();   // fresh, opened
//   ... modal->ModeShapes(), basis.ModeShape(row, mode), basis.Eigenvalues() ...
//   modal.reset();                 // every modal system before the basis
//
// The basis owns the database: every modal system, event or matrix over it
// must be destroyed before the basis is.

#include <cstdint>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVAFsmModalSystem.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"
#include "platform/modeldb/QVASimDatabase.h"

// Reproducible pseudo-random numbers (SplitMix64), the same on every platform.
class QVATestRandom {
 public:
  explicit QVATestRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Uniform in [low, high).
  double Uniform(double low, double high);

 private:
  std::uint64_t state_;
};

struct QVATestModalBasisOptions {
  int numberOfNodes = 6;
  int maxNodalDof = 6;
  // Places of every structural node, unless placesOfNode gives them per node.
  int placesPerNode = 3;
  std::vector<std::vector<int>> placesOfNode = {};
  // The last acousticNodes nodes carry one acoustic DOF at place 0 instead.
  int acousticNodes = 0;
  int numberOfModes = 12;
  int numberOfAcousticModes = 0;
  int numberOfResidualModes = 0;
  // Rows of the mode-shape matrix: solver DOFs 0 ... modeShapeRows - 1; -1 all.
  int modeShapeRows = -1;
  // Chunk settings in force while the mode shapes are created.
  int rowBlockSize = 100;
  int columnBlockSize = 5;
  bool viscousDamping = false;
  bool structuralDamping = false;
  bool acousticViscousDamping = false;
  bool acousticCoupling = false;
  std::uint64_t seed = 1;
};

class QVATestModalBasis {
 public:
  // Builds the model and the basis and writes it into a new database with
  // SetEigenvalues, CreateModeShapes and the Create... operations asked for.
  explicit QVATestModalBasis(const QVATestModalBasisOptions& options = {});
  QVATestModalBasis(const QVATestModalBasis&) = delete;
  QVATestModalBasis& operator=(const QVATestModalBasis&) = delete;
  ~QVATestModalBasis();

  const QVATestModalBasisOptions& Options() const { return options_; }
  QVASimDatabase& Database() { return *database_; }
  // The stored modal system (also the system owning the DOF, node and mode
  // collections).
  QVAFsmModalSystem& ModalObject() { return modal_; }
  // A handle without file; pass a QVATestLogCapture's handle to Open() to see
  // the log.
  QVADynLogFile& Log() { return log_; }

  // A new DOF definition of the model (default solver order), from the
  // platform allocator, for a QVADynModalSystem to adopt.
  QVAFsmSystemDofDefinition* CreateDofDefinition() const;
  // The reference definition (default solver order), for mapping in tests.
  const QVAFsmSystemDofDefinition& Dofs() const { return *dofs_; }

  // A new QVADynModalSystem over the stored basis, opened.
  std::unique_ptr<QVADynModalSystem> Open();
  std::unique_ptr<QVADynModalSystem> Open(QVADynLogFile& log);

  int NumberOfModes() const { return options_.numberOfModes; }
  int NumberOfAcousticModes() const { return options_.numberOfAcousticModes; }
  int NumberOfStructuralModes() const {
    return options_.numberOfModes - options_.numberOfAcousticModes;
  }
  int NumberOfResidualModes() const { return options_.numberOfResidualModes; }
  int NumberOfSolverDofs() const;
  int NumberOfStructuralSolverDofs() const;
  // Rows of the mode-shape matrix.
  int NumberOfRows() const { return rows_; }

  // omega^2 per mode.
  const std::vector<double>& Eigenvalues() const { return eigenvalues_; }
  // NumberOfRows() x NumberOfModes(), column-major, rows in solver-DOF order.
  const std::vector<double>& ModeShapes() const { return modeShapes_; }
  double ModeShape(int row, int mode) const {
    return modeShapes_[QVAIndex(mode) * QVAIndex(rows_) + QVAIndex(row)];
  }
  // The mode-shape value of `mode` at (node, place), 0 where the place has no
  // mode-shape row.
  double NodalModeShape(int mode, int node, int place) const;
  // Lumped mass per solver DOF.
  const std::vector<double>& Mass() const { return mass_; }

  // Column-major reference values of what was written (empty when not asked
  // for): structural x structural, structural x structural, acoustic x
  // acoustic, acoustic x structural.
  const std::vector<double>& ViscousDamping() const { return viscousDamping_; }
  const std::vector<double>& StructuralDamping() const { return structuralDamping_; }
  const std::vector<double>& AcousticViscousDamping() const { return acousticViscousDamping_; }
  const std::vector<double>& AcousticCoupling() const { return acousticCoupling_; }

 private:
  void BuildDofs();
  void BuildBasis();
  void Write();

  QVATestModalBasisOptions options_;
  std::unique_ptr<QVASimDatabase> database_;
  QVAFsmModalSystem modal_;
  QVADynLogFile log_;
  std::unique_ptr<QVAFsmSystemDofDefinition> dofs_;
  int rows_ = 0;
  std::vector<double> eigenvalues_;
  std::vector<double> modeShapes_;
  std::vector<double> mass_;
  std::vector<double> viscousDamping_;
  std::vector<double> structuralDamping_;
  std::vector<double> acousticViscousDamping_;
  std::vector<double> acousticCoupling_;
};

// The members of a database set, in order.
std::vector<int> QVATestSetMembers(const QVASimCSetID& set);
// first, first + 1, ..., first + count - 1: the members of a strided set.
std::vector<int> QVATestRange(int first, int count);

// Fills a stored dense matrix with column-major `values` (rows x columns of the
// matrix).
void QVATestFillDenseMatrix(QVASrvDenseMatrix& matrix, const std::vector<double>& values);
// Reads a stored dense matrix into column-major values.
std::vector<double> QVATestReadDenseMatrix(const QVASrvDenseMatrix& matrix);
