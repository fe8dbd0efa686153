#include "tests/support/QVATestModalBasis.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimCSet.h"
#include "tests/support/QVATestEnvironment.h"

namespace {

// DOF-type symbols of the structural places 0 ... 5 (translations, rotations).
constexpr int kStructuralLabels[] = {2, 3, 4, 9, 10, 11};

int StructuralLabel(int place) {
  return place < 6 ? kStructuralLabels[place] : kStructuralLabels[0];
}

// Random symmetric matrix of size n with a dominant positive diagonal.
std::vector<double> RandomSymmetric(QVATestRandom& random, int n) {
  std::vector<double> values(QVAIndex(n) * n);
  for (int column = 0; column < n; ++column) {
    for (int row = 0; row <= column; ++row) {
      const double value = row == column ? random.Uniform(0.5, 1.5) : random.Uniform(-0.1, 0.1);
      values[QVAIndex(row) + QVAIndex(column) * n] = value;
      values[QVAIndex(column) + QVAIndex(row) * n] = value;
    }
  }
  return values;
}

}  // namespace

std::uint64_t QVATestRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double QVATestRandom::Uniform(double low, double high) {
  // 53 random bits give a double in [0, 1).
  const double unit = static_cast<double>(Next() >> 11) * 0x1.0p-53;
  return low + (high - low) * unit;
}

std::vector<int> QVATestSetMembers(const QVASimCSetID& set) {
  const QVASimCSet members(set);
  return std::vector<int>(members.OrderedMembers(), members.OrderedMembers() + members.Size());
}

std::vector<int> QVATestRange(int first, int count) {
  std::vector<int> values(QVAIndex(count));
  std::iota(values.begin(), values.end(), first);
  return values;
}

void QVATestFillDenseMatrix(QVASrvDenseMatrix& matrix, const std::vector<double>& values) {
  const int rows = matrix.NumberOfRows();
  const int columns = matrix.NumberOfColumns();
  std::vector<double> copy(values);
  matrix.SetValues(0, rows - 1, 0, columns - 1, QVASrvMatrix(rows, columns, copy.data()));
}

std::vector<double> QVATestReadDenseMatrix(const QVASrvDenseMatrix& matrix) {
  const int rows = matrix.NumberOfRows();
  const int columns = matrix.NumberOfColumns();
  std::vector<double> values(QVAIndex(rows) * columns);
  QVASrvMatrix block(rows, columns, values.data());
  matrix.GetValues(0, rows - 1, 0, columns - 1, block);
  return values;
}

QVATestModalBasis::QVATestModalBasis(const QVATestModalBasisOptions& options)
    : options_(options), database_(std::make_unique<QVASimDatabase>()) {
  BuildDofs();
  BuildBasis();
  modal_ = database_->CreateModalSystem(dofs_->NumberOfDofs(), dofs_->NumberOfNodes());
  Write();
}

QVATestModalBasis::~QVATestModalBasis() = default;

void QVATestModalBasis::BuildDofs() {
  const QVATestModalBasisOptions& o = options_;
  dofs_ = std::make_unique<QVAFsmSystemDofDefinition>(o.numberOfNodes, o.maxNodalDof);
  for (int node = 0; node < o.numberOfNodes; ++node) {
    if (node >= o.numberOfNodes - o.acousticNodes) {
      dofs_->AddDof(node, 0, QVAFsmSystemDofDefinition::kAcousticLabel);
      continue;
    }
    std::vector<int> places;
    if (!o.placesOfNode.empty()) {
      places = o.placesOfNode.at(QVAIndex(node));
    } else {
      for (int place = 0; place < o.placesPerNode; ++place) places.push_back(place);
    }
    for (int place : places) dofs_->AddDof(node, place, StructuralLabel(place));
  }
}

int QVATestModalBasis::NumberOfSolverDofs() const { return dofs_->NumberOfSolverDofs(); }

int QVATestModalBasis::NumberOfStructuralSolverDofs() const {
  return dofs_->NumberOfSolverDofs() - dofs_->NumberOfSolverAcousticDofs();
}

void QVATestModalBasis::BuildBasis() {
  const QVATestModalBasisOptions& o = options_;
  QVATestRandom random(o.seed);
  const int solverDofs = NumberOfSolverDofs();
  rows_ = o.modeShapeRows < 0 ? solverDofs : o.modeShapeRows;
  const int structuralRows = std::min(NumberOfStructuralSolverDofs(), rows_);
  const int structuralModes = NumberOfStructuralModes();
  const int acousticModes = o.numberOfAcousticModes;
  if (structuralModes > structuralRows || acousticModes > rows_ - structuralRows ||
      o.numberOfResidualModes > structuralModes) {
    throw std::invalid_argument("QVATestModalBasis: " + std::to_string(structuralModes) +
                                " structural and " + std::to_string(acousticModes) +
                                " acoustic modes do not fit " + std::to_string(structuralRows) +
                                " structural and " + std::to_string(rows_ - structuralRows) +
                                " acoustic rows");
  }

  mass_.resize(QVAIndex(solverDofs));
  for (double& mass : mass_) mass = random.Uniform(0.5, 2.0);

  eigenvalues_.resize(QVAIndex(o.numberOfModes));
  double lambda = random.Uniform(50.0, 150.0);
  for (int mode = 0; mode < structuralModes; ++mode) {
    eigenvalues_[QVAIndex(mode)] = lambda;
    lambda *= random.Uniform(1.1, 1.6);
  }
  lambda = random.Uniform(200.0, 400.0);
  for (int mode = structuralModes; mode < o.numberOfModes; ++mode) {
    eigenvalues_[QVAIndex(mode)] = lambda;
    lambda *= random.Uniform(1.1, 1.6);
  }

  // Modified Gram-Schmidt in the mass inner product, twice per vector, on the
  // rows of the mode's own domain.
  modeShapes_.assign(QVAIndex(rows_) * o.numberOfModes, 0.0);
  const auto column = [&](int mode) {
    return modeShapes_.data() + QVAIndex(mode) * QVAIndex(rows_);
  };
  const auto massProduct = [&](const double* a, const double* b, int first, int last) {
    double sum = 0.0;
    for (int row = first; row < last; ++row) {
      sum += a[row] * mass_[QVAIndex(row)] * b[row];
    }
    return sum;
  };
  for (int mode = 0; mode < o.numberOfModes; ++mode) {
    const bool acoustic = mode >= structuralModes;
    const int first = acoustic ? structuralRows : 0;
    const int last = acoustic ? rows_ : structuralRows;
    const int firstOfDomain = acoustic ? structuralModes : 0;
    double* phi = column(mode);
    for (int row = first; row < last; ++row) phi[row] = random.Uniform(-1.0, 1.0);
    for (int pass = 0; pass < 2; ++pass) {
      for (int earlier = firstOfDomain; earlier < mode; ++earlier) {
        const double* other = column(earlier);
        const double projection = massProduct(other, phi, first, last);
        for (int row = first; row < last; ++row) phi[row] -= projection * other[row];
      }
    }
    const double norm = std::sqrt(massProduct(phi, phi, first, last));
    for (int row = first; row < last; ++row) phi[row] /= norm;
  }

  if (o.viscousDamping) viscousDamping_ = RandomSymmetric(random, structuralModes);
  if (o.structuralDamping) structuralDamping_ = RandomSymmetric(random, structuralModes);
  if (o.acousticViscousDamping) acousticViscousDamping_ = RandomSymmetric(random, acousticModes);
  if (o.acousticCoupling) {
    acousticCoupling_.resize(QVAIndex(acousticModes) * structuralModes);
    for (double& value : acousticCoupling_) value = random.Uniform(-1.0, 1.0);
  }
}

void QVATestModalBasis::Write() {
  const QVATestModalBasisOptions& o = options_;
  QVADynModalSystem writer(CreateDofDefinition(), modal_, log_);
  writer.SetEigenvalues(eigenvalues_.data(), o.numberOfModes, o.numberOfAcousticModes,
                        o.numberOfResidualModes);
  {
    const std::string rowBlock = std::to_string(o.rowBlockSize);
    const std::string columnBlock = std::to_string(o.columnBlockSize);
    const QVATestScopedEnvironment rows("TOR_DYN_MODESHAPE_ROW_BLOCKSIZE", rowBlock.c_str());
    const QVATestScopedEnvironment columns("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", columnBlock.c_str());
    QVATestFillDenseMatrix(writer.CreateModeShapes(rows_, false), modeShapes_);
  }
  if (o.viscousDamping) {
    QVATestFillDenseMatrix(writer.CreateDamping(QVADynViscousDamping, false), viscousDamping_);
  }
  if (o.structuralDamping) {
    QVATestFillDenseMatrix(writer.CreateDamping(QVADynStructuralDamping, false),
                           structuralDamping_);
  }
  if (o.acousticViscousDamping) {
    QVATestFillDenseMatrix(writer.CreateDamping(QVADynAcousticViscousDamping, false),
                           acousticViscousDamping_);
  }
  if (o.acousticCoupling) {
    QVATestFillDenseMatrix(writer.CreateAcousticCoupling(false), acousticCoupling_);
  }
}

QVAFsmSystemDofDefinition* QVATestModalBasis::CreateDofDefinition() const {
  return new QVAFsmSystemDofDefinition(*dofs_);
}

std::unique_ptr<QVADynModalSystem> QVATestModalBasis::Open() { return Open(log_); }

std::unique_ptr<QVADynModalSystem> QVATestModalBasis::Open(QVADynLogFile& log) {
  auto modal = std::make_unique<QVADynModalSystem>(CreateDofDefinition(), modal_, log);
  modal->Open();
  return modal;
}

double QVATestModalBasis::NodalModeShape(int mode, int node, int place) const {
  const int systemDof = dofs_->SystemDofFromNodeDof(QVAFsmNodeDof{node, place});
  if (systemDof < 0) return 0.0;
  const int solverDof = dofs_->SolverDofFromSystemDof(systemDof);
  if (solverDof < 0 || solverDof >= rows_) return 0.0;
  return ModeShape(solverDof, mode);
}
