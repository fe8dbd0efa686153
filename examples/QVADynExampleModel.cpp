#include "QVADynExampleModel.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "platform/base/QVABasException.h"

extern "C" {
// LAPACK (Fortran calling convention: arguments by address, one hidden length
// per character argument after the others).
void dsygvx_(const int* itype, const char* jobz, const char* range, const char* uplo, const int* n,
             double* a, const int* lda, double* b, const int* ldb, const double* vl,
             const double* vu, const int* il, const int* iu, const double* abstol, int* m,
             double* w, double* z, const int* ldz, double* work, const int* lwork, int* iwork,
             int* ifail, int* info, std::size_t jobzLength, std::size_t rangeLength,
             std::size_t uploLength);
}

namespace {

constexpr int kElementDofs = 2 * QVADynExampleModel::kPlaces;
// Element matrix over [node a places 0 ... 5, node b places 0 ... 5], row-major.
using ElementMatrix = std::array<double, kElementDofs * kElementDofs>;

constexpr int kUx = 0;
constexpr int kUy = 1;
constexpr int kUz = 2;
constexpr int kRx = 3;
constexpr int kRy = 4;
constexpr int kRz = 5;

constexpr QVADynExampleModeFamily kFamilyOfPlace[QVADynExampleModel::kPlaces] = {
    QVADynExampleModeFamily::kAxial,    QVADynExampleModeFamily::kBendingY,
    QVADynExampleModeFamily::kBendingZ, QVADynExampleModeFamily::kTorsion,
    QVADynExampleModeFamily::kBendingZ, QVADynExampleModeFamily::kBendingY};
constexpr int kFamilies = 4;

std::size_t At(int row, int column, int rows) {
  return static_cast<std::size_t>(column) * static_cast<std::size_t>(rows) +
         static_cast<std::size_t>(row);
}

// Two-node bar with linear shape functions on `place` of both nodes:
// stiffness/length [1 -1; -1 1] and consistent mass mass/6 [2 1; 1 2], where
// `axialStiffness` is EA (or GJ) and `massPerLength` rho A (or rho Ip).
void AddBar(int place, double axialStiffness, double massPerLength, double length,
            ElementMatrix& stiffness, ElementMatrix& mass) {
  const int first = place;
  const int second = QVADynExampleModel::kPlaces + place;
  const double spring = axialStiffness / length;
  const double elementMass = massPerLength * length;
  stiffness[first * kElementDofs + first] += spring;
  stiffness[second * kElementDofs + second] += spring;
  stiffness[first * kElementDofs + second] -= spring;
  stiffness[second * kElementDofs + first] -= spring;
  mass[first * kElementDofs + first] += elementMass / 3.0;
  mass[second * kElementDofs + second] += elementMass / 3.0;
  mass[first * kElementDofs + second] += elementMass / 6.0;
  mass[second * kElementDofs + first] += elementMass / 6.0;
}

// Hermite cubic bending in one plane over (deflection, rotation) of both
// nodes. The rotation is rotationSign * d(deflection)/dx: +1 for uy with rz,
// -1 for uz with ry (right-hand rule about the axis normal to the plane).
void AddPlaneBending(int deflectionPlace, int rotationPlace, double rotationSign,
                     double bendingStiffness, double massPerLength, double length,
                     ElementMatrix& stiffness, ElementMatrix& mass) {
  const double h = length;
  const double h2 = length * length;
  const double stiffnessTable[4][4] = {{12.0, 6.0 * h, -12.0, 6.0 * h},
                                       {6.0 * h, 4.0 * h2, -6.0 * h, 2.0 * h2},
                                       {-12.0, -6.0 * h, 12.0, -6.0 * h},
                                       {6.0 * h, 2.0 * h2, -6.0 * h, 4.0 * h2}};
  const double massTable[4][4] = {{156.0, 22.0 * h, 54.0, -13.0 * h},
                                  {22.0 * h, 4.0 * h2, 13.0 * h, -3.0 * h2},
                                  {54.0, 13.0 * h, 156.0, -22.0 * h},
                                  {-13.0 * h, -3.0 * h2, -22.0 * h, 4.0 * h2}};
  const int index[4] = {deflectionPlace, rotationPlace,
                        QVADynExampleModel::kPlaces + deflectionPlace,
                        QVADynExampleModel::kPlaces + rotationPlace};
  const double sign[4] = {1.0, rotationSign, 1.0, rotationSign};
  const double stiffnessScale = bendingStiffness / (h2 * h);
  const double massScale = massPerLength * h / 420.0;
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) {
      const double orientation = sign[a] * sign[b];
      stiffness[index[a] * kElementDofs + index[b]] +=
          orientation * stiffnessScale * stiffnessTable[a][b];
      mass[index[a] * kElementDofs + index[b]] += orientation * massScale * massTable[a][b];
    }
  }
}

// Entries of one operator gathered element by element; SetFromTriplets and
// the dense fill both sum repeated places.
struct Triplets {
  std::vector<int> rows;
  std::vector<int> columns;
  std::vector<double> values;

  void Add(int row, int column, double value) {
    rows.push_back(row);
    columns.push_back(column);
    values.push_back(value);
  }
  void Fill(int order, std::vector<double>& dense, QVASrvSparseMatrix& sparse) const {
    dense.assign(static_cast<std::size_t>(order) * static_cast<std::size_t>(order), 0.0);
    for (std::size_t entry = 0; entry < values.size(); ++entry) {
      dense[At(rows[entry], columns[entry], order)] += values[entry];
    }
    sparse = QVASrvSparseMatrix(order, order);
    sparse.SetFromTriplets(static_cast<int>(values.size()), rows.data(), columns.data(),
                           values.data());
  }
};

// Saint-Venant torsion constant of a solid rectangle, long side `a`, short
// side `b`: J = a b^3 / 3 * (1 - 192 b / (pi^5 a) * sum over odd n of
// tanh(n pi a / (2 b)) / n^5); the series is summed until its terms fall
// below round-off.
double RectangleTorsionConstant(double sideOne, double sideTwo) {
  const double a = std::max(sideOne, sideTwo);
  const double b = std::min(sideOne, sideTwo);
  const double pi = std::numbers::pi;
  double series = 0.0;
  for (int n = 1;; n += 2) {
    const double n5 = std::pow(static_cast<double>(n), 5);
    const double term = std::tanh(n * pi * a / (2.0 * b)) / n5;
    series += term;
    if (term < 1e-18 * series) break;
  }
  return a * b * b * b / 3.0 * (1.0 - 192.0 * b / (std::pow(pi, 5) * a) * series);
}

}  // namespace

const char* QVADynExampleModeFamilyName(QVADynExampleModeFamily family) {
  switch (family) {
    case QVADynExampleModeFamily::kBendingY:
      return "bending y";
    case QVADynExampleModeFamily::kBendingZ:
      return "bending z";
    case QVADynExampleModeFamily::kTorsion:
      return "torsion";
    case QVADynExampleModeFamily::kAxial:
      return "axial";
  }
  return "unknown";
}

QVADynExampleModel::QVADynExampleModel(const QVADynExampleBeam& beam, int numberOfModes)
    : beam_(beam) {
  QVA_VERIFY(beam.length > 0.0 && beam.depth > 0.0 && beam.width > 0.0 &&
                 beam.youngsModulus > 0.0 && beam.density > 0.0 && beam.poissonRatio > -1.0 &&
                 beam.poissonRatio < 0.5,
             kQVABasInvalidArgument,
             "QVADynExampleModel: length "
                 << beam.length << ", section " << beam.depth << " x " << beam.width << ", E "
                 << beam.youngsModulus << ", rho " << beam.density << ", nu " << beam.poissonRatio
                 << ": lengths, E and rho must be positive and nu in (-1, 0.5)");
  QVA_VERIFY(beam.numberOfElements >= 1, kQVABasInvalidArgument,
             "QVADynExampleModel: " << beam.numberOfElements << " elements; at least 1 needed");
  QVA_VERIFY(numberOfModes >= 1 && numberOfModes <= NumberOfDofs(), kQVABasInvalidArgument,
             "QVADynExampleModel: " << numberOfModes << " modes asked of a model of "
                                    << NumberOfDofs() << " DOFs; 1 ... " << NumberOfDofs()
                                    << " possible");
  coordinates_.assign(3 * static_cast<std::size_t>(NumberOfNodes()), 0.0);
  for (int node = 0; node < NumberOfNodes(); ++node) {
    coordinates_[3 * static_cast<std::size_t>(node)] = beam.length * node / beam.numberOfElements;
  }
  Assemble();
  SolveModes(numberOfModes);
  ClassifyModes();
}

double QVADynExampleModel::Area() const { return beam_.depth * beam_.width; }

double QVADynExampleModel::SecondMomentY() const {
  return beam_.depth * beam_.width * beam_.width * beam_.width / 12.0;
}

double QVADynExampleModel::SecondMomentZ() const {
  return beam_.width * beam_.depth * beam_.depth * beam_.depth / 12.0;
}

double QVADynExampleModel::TorsionConstant() const {
  return RectangleTorsionConstant(beam_.depth, beam_.width);
}

double QVADynExampleModel::PolarMoment() const { return SecondMomentY() + SecondMomentZ(); }

double QVADynExampleModel::ShearModulus() const {
  return beam_.youngsModulus / (2.0 * (1.0 + beam_.poissonRatio));
}

double QVADynExampleModel::TotalMass() const { return beam_.density * Area() * beam_.length; }

const double* QVADynExampleModel::Coordinates(int node) const {
  QVA_VERIFY(
      node >= 0 && node < NumberOfNodes(), kQVASrvIndexOutOfRange,
      "QVADynExampleModel::Coordinates: node " << node << " outside 0 ... " << NumberOfNodes() - 1);
  return coordinates_.data() + 3 * static_cast<std::size_t>(node);
}

int QVADynExampleModel::Dof(int node, int place) const {
  QVA_VERIFY(
      node >= 0 && node < NumberOfNodes() && place >= 0 && place < kPlaces, kQVASrvIndexOutOfRange,
      "QVADynExampleModel::Dof: node " << node << ", place " << place << " outside nodes 0 ... "
                                       << NumberOfNodes() - 1 << ", places 0 ... " << kPlaces - 1);
  return node == RootNode() ? -1 : kPlaces * (node - 1) + place;
}

QVAFsmSystemDofDefinition* QVADynExampleModel::CreateDofDefinition() const {
  auto* dofs = new QVAFsmSystemDofDefinition(NumberOfNodes(), kPlaces);
  for (int node = 1; node < NumberOfNodes(); ++node) {
    for (int place = 0; place < kPlaces; ++place) dofs->AddDof(node, place, kDofLabels[place]);
  }
  return dofs;
}

QVASrvMatrix QVADynExampleModel::CreateRigidBodyModes(const double reference[3]) const {
  QVASrvMatrix rigidBody(NumberOfDofs(), 6);
  for (int node = 1; node < NumberOfNodes(); ++node) {
    const double* point = Coordinates(node);
    const double offset[3] = {point[0] - reference[0], point[1] - reference[1],
                              point[2] - reference[2]};
    for (int axis = 0; axis < 3; ++axis) {
      rigidBody(Dof(node, axis), axis) = 1.0;
      // Rotation about `axis`: u = e_axis x offset, and a unit rotation about it.
      const int next = (axis + 1) % 3;
      const int last = (axis + 2) % 3;
      rigidBody(Dof(node, next), 3 + axis) = -offset[last];
      rigidBody(Dof(node, last), 3 + axis) = offset[next];
      rigidBody(Dof(node, kRx + axis), 3 + axis) = 1.0;
    }
  }
  return rigidBody;
}

double QVADynExampleModel::Frequency(int mode) const {
  QVA_VERIFY(
      mode >= 0 && mode < NumberOfModes(), kQVASrvIndexOutOfRange,
      "QVADynExampleModel::Frequency: mode " << mode << " outside 0 ... " << NumberOfModes() - 1);
  return std::sqrt(eigenvalues_[static_cast<std::size_t>(mode)]) / (2.0 * std::numbers::pi);
}

QVADynExampleModeFamily QVADynExampleModel::Family(int mode) const {
  QVA_VERIFY(
      mode >= 0 && mode < NumberOfModes(), kQVASrvIndexOutOfRange,
      "QVADynExampleModel::Family: mode " << mode << " outside 0 ... " << NumberOfModes() - 1);
  return families_[static_cast<std::size_t>(mode)];
}

int QVADynExampleModel::OrderInFamily(int mode) const {
  QVA_VERIFY(mode >= 0 && mode < NumberOfModes(), kQVASrvIndexOutOfRange,
             "QVADynExampleModel::OrderInFamily: mode " << mode << " outside 0 ... "
                                                        << NumberOfModes() - 1);
  return ordersInFamily_[static_cast<std::size_t>(mode)];
}

double QVADynExampleModel::ClosedFormFrequency(QVADynExampleModeFamily family, int order) const {
  QVA_VERIFY(order >= 1, kQVABasInvalidArgument,
             "QVADynExampleModel::ClosedFormFrequency: order " << order << "; orders start at 1");
  const double pi = std::numbers::pi;
  const double length = beam_.length;
  const double rhoA = beam_.density * Area();
  const double quarterWaves = (2.0 * order - 1.0) / (4.0 * length);
  switch (family) {
    case QVADynExampleModeFamily::kBendingY:
    case QVADynExampleModeFamily::kBendingZ: {
      const double inertia =
          family == QVADynExampleModeFamily::kBendingY ? SecondMomentZ() : SecondMomentY();
      const double betaL = CantileverBendingRoot(order);
      return betaL * betaL / (2.0 * pi * length * length) *
             std::sqrt(beam_.youngsModulus * inertia / rhoA);
    }
    case QVADynExampleModeFamily::kTorsion:
      return quarterWaves *
             std::sqrt(ShearModulus() * TorsionConstant() / (beam_.density * PolarMoment()));
    case QVADynExampleModeFamily::kAxial:
      return quarterWaves * std::sqrt(beam_.youngsModulus / beam_.density);
  }
  return 0.0;
}

double QVADynExampleModel::CantileverBendingRoot(int order) {
  QVA_VERIFY(order >= 1, kQVABasInvalidArgument,
             "QVADynExampleModel::CantileverBendingRoot: order " << order << "; orders start at 1");
  // Newton on cos(x) + 1/cosh(x) = 0, the same roots scaled to stay finite;
  // the n-th root lies just beyond (2n - 1) pi / 2.
  double root = order == 1 ? 1.875 : (2.0 * order - 1.0) * std::numbers::pi / 2.0;
  for (int iteration = 0; iteration < 50; ++iteration) {
    const double sech = 1.0 / std::cosh(root);
    const double residual = std::cos(root) + sech;
    const double slope = -std::sin(root) - sech * std::tanh(root);
    const double step = residual / slope;
    root -= step;
    if (std::fabs(step) <= 4.0 * DBL_EPSILON * root) break;
  }
  return root;
}

void QVADynExampleModel::Assemble() {
  const double length = beam_.length / beam_.numberOfElements;
  const double rho = beam_.density;
  Triplets stiffness;
  Triplets mass;
  for (int element = 0; element < beam_.numberOfElements; ++element) {
    ElementMatrix elementStiffness{};
    ElementMatrix elementMass{};
    AddBar(kUx, beam_.youngsModulus * Area(), rho * Area(), length, elementStiffness, elementMass);
    AddBar(kRx, ShearModulus() * TorsionConstant(), rho * PolarMoment(), length, elementStiffness,
           elementMass);
    AddPlaneBending(kUy, kRz, 1.0, beam_.youngsModulus * SecondMomentZ(), rho * Area(), length,
                    elementStiffness, elementMass);
    AddPlaneBending(kUz, kRy, -1.0, beam_.youngsModulus * SecondMomentY(), rho * Area(), length,
                    elementStiffness, elementMass);
    int dofs[kElementDofs];
    for (int place = 0; place < kPlaces; ++place) {
      dofs[place] = Dof(element, place);
      dofs[kPlaces + place] = Dof(element + 1, place);
    }
    for (int a = 0; a < kElementDofs; ++a) {
      if (dofs[a] < 0) continue;
      for (int b = 0; b < kElementDofs; ++b) {
        if (dofs[b] < 0) continue;
        const std::size_t entry = static_cast<std::size_t>(a * kElementDofs + b);
        if (elementStiffness[entry] != 0.0)
          stiffness.Add(dofs[a], dofs[b], elementStiffness[entry]);
        if (elementMass[entry] != 0.0) mass.Add(dofs[a], dofs[b], elementMass[entry]);
      }
    }
  }
  stiffness.Fill(NumberOfDofs(), stiffness_, sparseStiffness_);
  mass.Fill(NumberOfDofs(), mass_, sparseMass_);
}

void QVADynExampleModel::SolveModes(int numberOfModes) {
  const int order = NumberOfDofs();
  // M z = mu K z: the lowest modes are the largest mu = 1/omega^2. Reduced
  // through the Cholesky factor of K their errors scale with mu_max = 1 /
  // omega_1^2, while the reduction through M (K z = omega^2 M z) would scale
  // them with the highest omega^2 of the mesh (1e-7 instead of 1e-9 on the
  // first mode of the default bar). dsygvx returns them ascending, z^T K z = 1.
  std::vector<double> massCopy = mass_;
  std::vector<double> stiffnessCopy = stiffness_;
  const int problemType = 1;
  const char wantVectors = 'V';
  const char byIndex = 'I';
  const char lower = 'L';
  const double unusedBound = 0.0;
  const int firstIndex = order - numberOfModes + 1;
  const int lastIndex = order;
  const double absoluteTolerance = 2.0 * DBL_MIN;
  int found = 0;
  std::vector<double> inverseEigenvalues(static_cast<std::size_t>(order));
  std::vector<double> vectors(static_cast<std::size_t>(order) *
                              static_cast<std::size_t>(numberOfModes));
  std::vector<int> integerWork(5 * static_cast<std::size_t>(order));
  std::vector<int> failed(static_cast<std::size_t>(order));
  int info = 0;
  double workSize = 0.0;
  int workQuery = -1;
  dsygvx_(&problemType, &wantVectors, &byIndex, &lower, &order, massCopy.data(), &order,
          stiffnessCopy.data(), &order, &unusedBound, &unusedBound, &firstIndex, &lastIndex,
          &absoluteTolerance, &found, inverseEigenvalues.data(), vectors.data(), &order, &workSize,
          &workQuery, integerWork.data(), failed.data(), &info, 1, 1, 1);
  int workLength = static_cast<int>(workSize);
  std::vector<double> work(static_cast<std::size_t>(workLength));
  dsygvx_(&problemType, &wantVectors, &byIndex, &lower, &order, massCopy.data(), &order,
          stiffnessCopy.data(), &order, &unusedBound, &unusedBound, &firstIndex, &lastIndex,
          &absoluteTolerance, &found, inverseEigenvalues.data(), vectors.data(), &order,
          work.data(), &workLength, integerWork.data(), failed.data(), &info, 1, 1, 1);
  QVA_VERIFY(info == 0 && found == numberOfModes, kQVASrvSingularMatrix,
             "QVADynExampleModel: dsygvx info " << info << ", " << found << " of " << numberOfModes
                                                << " modes; info > " << order
                                                << " means the stiffness is not positive definite"
                                                   " (check the clamping)");

  eigenvalues_.resize(static_cast<std::size_t>(numberOfModes));
  modeShapes_.resize(vectors.size());
  std::vector<double> massTimesMode(static_cast<std::size_t>(order));
  for (int mode = 0; mode < numberOfModes; ++mode) {
    const int column = numberOfModes - 1 - mode;
    eigenvalues_[static_cast<std::size_t>(mode)] =
        1.0 / inverseEigenvalues[static_cast<std::size_t>(column)];
    const double* source = vectors.data() + At(0, column, order);
    double* shape = modeShapes_.data() + At(0, mode, order);
    std::copy(source, source + order, shape);
    // Mass-normalize, with the largest component positive.
    sparseMass_.Multiply(shape, 1, massTimesMode.data(), false);
    double generalizedMass = 0.0;
    for (int dof = 0; dof < order; ++dof)
      generalizedMass += shape[dof] * massTimesMode[static_cast<std::size_t>(dof)];
    const double* largest = std::max_element(shape, shape + order, [](double left, double right) {
      return std::fabs(left) < std::fabs(right);
    });
    const double scale = std::copysign(1.0 / std::sqrt(generalizedMass), *largest);
    for (int dof = 0; dof < order; ++dof) shape[dof] *= scale;
  }

  std::vector<double> massTimesModes(modeShapes_.size());
  sparseMass_.Multiply(modeShapes_.data(), numberOfModes, massTimesModes.data(), false);
  massNormalizationError_ = 0.0;
  for (int row = 0; row < numberOfModes; ++row) {
    for (int column = 0; column < numberOfModes; ++column) {
      double product = 0.0;
      for (int dof = 0; dof < order; ++dof) {
        product += modeShapes_[At(dof, row, order)] * massTimesModes[At(dof, column, order)];
      }
      const double identity = row == column ? 1.0 : 0.0;
      massNormalizationError_ = std::max(massNormalizationError_, std::fabs(product - identity));
    }
  }
  QVA_VERIFY(massNormalizationError_ <= 1e-10, kQVASrvSingularMatrix,
             "QVADynExampleModel: modes are mass-orthonormal only to " << massNormalizationError_
                                                                       << " (bound 1e-10)");
}

void QVADynExampleModel::ClassifyModes() {
  const int order = NumberOfDofs();
  families_.resize(eigenvalues_.size());
  ordersInFamily_.resize(eigenvalues_.size());
  int modesSoFar[kFamilies] = {0, 0, 0, 0};
  std::vector<double> massTimesMode(static_cast<std::size_t>(order));
  for (int mode = 0; mode < NumberOfModes(); ++mode) {
    const double* shape = modeShapes_.data() + At(0, mode, order);
    sparseMass_.Multiply(shape, 1, massTimesMode.data(), false);
    // M couples only DOFs of one family, so phi_i (M phi)_i splits the unit
    // kinetic energy of the mode among the families.
    double energy[kFamilies] = {0.0, 0.0, 0.0, 0.0};
    for (int dof = 0; dof < order; ++dof) {
      energy[static_cast<int>(kFamilyOfPlace[dof % kPlaces])] +=
          shape[dof] * massTimesMode[static_cast<std::size_t>(dof)];
    }
    const int family = static_cast<int>(std::max_element(energy, energy + kFamilies) - energy);
    families_[static_cast<std::size_t>(mode)] = static_cast<QVADynExampleModeFamily>(family);
    ordersInFamily_[static_cast<std::size_t>(mode)] = ++modesSoFar[family];
  }
}
