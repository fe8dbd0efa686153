#pragma once

// The example host's own finite-element model, on which every example analysis
// runs: a straight cantilever of 3-D Euler-Bernoulli beam elements along the
// global x axis, clamped at the origin. Each element carries axial extension,
// torsion and bending in the x-y and x-z planes (no shear deformation, no
// rotary inertia of bending), with consistent mass. The model assembles its
// stiffness K and mass M over the free DOFs, solves its lowest modes and keeps
// them mass-normalized (Phi^T M Phi = I).
//
// Nodes and DOFs. Node i (0 ... NumberOfNodes()-1) lies at x = i * length /
// numberOfElements. Every node has six DOF places, labelled with the DOF-type
// symbols of the model database:
//
//   place   0   1   2   3   4   5
//           ux  uy  uz  rx  ry  rz      (m and rad)
//   label   2   3   4   9   10  11
//
// Node 0 is clamped and carries no DOF. The DOF of (node, place), node >= 1,
// is 6 * (node - 1) + place; system DOFs, solver DOFs and the rows of K, M and
// of the mode shapes all use this one numbering. With 4 elements: 5 nodes,
// 24 DOFs, the tip is node 4 and its uy is DOF 19.
//
//   const QVADynExampleModel model;                 // default steel bar, 30 modes
//   const double tipFrequency = model.Frequency(0);  // Hz
//   QVAFsmSystemDofDefinition* dofs = model.CreateDofDefinition();  // adopt it

#include <vector>

#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

// Geometry and material of the cantilever, SI units. The rectangular section
// is `depth` along y by `width` along z; the default is a 20 mm x 30 mm steel
// bar of 1 m in 100 elements.
struct QVADynExampleBeam {
  double length = 1.0;           // m
  double depth = 0.020;          // m, section extent along y
  double width = 0.030;          // m, section extent along z
  double youngsModulus = 210e9;  // Pa
  double poissonRatio = 0.3;
  double density = 7850.0;  // kg/m^3
  int numberOfElements = 100;
};

// What a mode of the straight cantilever does; families do not couple.
enum class QVADynExampleModeFamily {
  kBendingY,  // deflection along y: uy and rz, stiffness E * Iz
  kBendingZ,  // deflection along z: uz and ry, stiffness E * Iy
  kTorsion,   // rx, stiffness G * J
  kAxial,     // ux, stiffness E * A
};

// "bending y", "bending z", "torsion" or "axial".
const char* QVADynExampleModeFamilyName(QVADynExampleModeFamily family);

class QVADynExampleModel {
 public:
  static constexpr int kPlaces = 6;
  // DOF-type symbol of each place.
  static constexpr int kDofLabels[kPlaces] = {2, 3, 4, 9, 10, 11};

  // Builds the mesh, assembles K and M and solves the numberOfModes lowest
  // modes (LAPACK dsygvx on the pencil (M, K), for the largest eigenvalues
  // 1/omega^2: the reduction through the Cholesky factor of K keeps the error
  // of the lowest modes relative to their own size). Raises QVABasError
  // kQVABasInvalidArgument for non-positive dimensions or material values,
  // fewer than 1 element or a mode count outside 1 ... NumberOfDofs(), and
  // kQVASrvSingularMatrix when LAPACK fails or the modes are not
  // mass-orthonormal to 1e-10.
  explicit QVADynExampleModel(const QVADynExampleBeam& beam = {}, int numberOfModes = 30);

  const QVADynExampleBeam& Beam() const { return beam_; }

  // Section and material constants (m^2, m^4, Pa). Iy governs bending along
  // z, Iz bending along y; J is the Saint-Venant torsion constant of the
  // rectangle, PolarMoment() = Iy + Iz the rotary inertia of torsion per
  // unit density and length.
  double Area() const;
  double SecondMomentY() const;
  double SecondMomentZ() const;
  double TorsionConstant() const;
  double PolarMoment() const;
  double ShearModulus() const;
  // Total mass of the bar, kg.
  double TotalMass() const;

  // --- mesh and DOFs ----------------------------------------------------------
  int NumberOfElements() const { return beam_.numberOfElements; }
  int NumberOfNodes() const { return beam_.numberOfElements + 1; }
  int RootNode() const { return 0; }
  int TipNode() const { return beam_.numberOfElements; }
  // x, y, z of `node` in m.
  const double* Coordinates(int node) const;
  int NumberOfDofs() const { return kPlaces * beam_.numberOfElements; }
  // DOF of (node, place), -1 for the clamped root. Raises kQVASrvIndexOutOfRange
  // for a node or place outside the model.
  int Dof(int node, int place) const;
  // A new DOF definition of NumberOfNodes() nodes with kPlaces places, the
  // DOFs added in DOF order with their labels. Allocated with new through the
  // platform allocator; the caller owns it (a QVADynModalSystem adopts it).
  QVAFsmSystemDofDefinition* CreateDofDefinition() const;

  // --- operators --------------------------------------------------------------
  // Dense K and M, NumberOfDofs() squared, column-major; symmetric, positive
  // definite. Units N/m, N, N m/rad and kg, kg m, kg m^2 by DOF pair.
  const std::vector<double>& Stiffness() const { return stiffness_; }
  const std::vector<double>& Mass() const { return mass_; }
  // The same operators in compressed rows.
  const QVASrvSparseMatrix& SparseStiffness() const { return sparseStiffness_; }
  const QVASrvSparseMatrix& SparseMass() const { return sparseMass_; }
  // The six rigid-body motions over the DOFs (NumberOfDofs() x 6): unit
  // translations along x, y, z, then unit rotations about x, y, z through
  // `reference` (m). Column 3 at a node at offset d from the reference holds
  // u = e_x cross d and rx = 1.
  QVASrvMatrix CreateRigidBodyModes(const double reference[3]) const;

  // --- modes ------------------------------------------------------------------
  int NumberOfModes() const { return static_cast<int>(eigenvalues_.size()); }
  // omega^2 in rad^2/s^2, ascending.
  const std::vector<double>& Eigenvalues() const { return eigenvalues_; }
  // Natural frequency of `mode` in Hz.
  double Frequency(int mode) const;
  // NumberOfDofs() x NumberOfModes(), column-major, Phi^T M Phi = I.
  const std::vector<double>& ModeShapes() const { return modeShapes_; }
  // max |Phi^T M Phi - I| over all entries, measured after the solve.
  double MassNormalizationError() const { return massNormalizationError_; }
  // The family of `mode`: the one holding most of its kinetic energy.
  QVADynExampleModeFamily Family(int mode) const;
  // 1 for the lowest mode of its family among the solved modes, 2 for the next...
  int OrderInFamily(int mode) const;

  // --- closed-form reference --------------------------------------------------
  // Natural frequency (Hz) of mode `order` (1, 2, ...) of `family` of the
  // continuous clamped-free bar: bending (beta_n L)^2 / (2 pi L^2) *
  // sqrt(E I / (rho A)); torsion and axial (2n - 1) / (4 L) * sqrt(G J /
  // (rho Ip)) and sqrt(E / rho).
  double ClosedFormFrequency(QVADynExampleModeFamily family, int order) const;
  // beta_n L, the n-th positive root of 1 + cos(x) cosh(x) = 0 (n >= 1):
  // 1.8751, 4.6941, 7.8548, 10.9955, ...; to round-off.
  static double CantileverBendingRoot(int order);

 private:
  void Assemble();
  void SolveModes(int numberOfModes);
  void ClassifyModes();

  QVADynExampleBeam beam_;
  std::vector<double> coordinates_;  // 3 per node
  std::vector<double> stiffness_;
  std::vector<double> mass_;
  QVASrvSparseMatrix sparseStiffness_;
  QVASrvSparseMatrix sparseMass_;
  std::vector<double> eigenvalues_;
  std::vector<double> modeShapes_;
  std::vector<QVADynExampleModeFamily> families_;
  std::vector<int> ordersInFamily_;
  double massNormalizationError_ = 0.0;
};
