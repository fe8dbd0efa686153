// The frequency-dependent operator update against plain triple-loop projections Phi^T A Phi.
// The generator's operators are linear in frequency, so interpolation between two generation
// frequencies equals the projection at the frame's; counting Generate calls proves caching.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynOperatorUpdate.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/host/QVADynGenerateOperators.h"
#include "platform/modeldb/QVASimCollection.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

// Operator slots of the generator: stiffness, viscous damping, structural damping.
enum Slot { kStiffness = 0, kViscous = 1, kStructural = 2 };

// ------------------------------------------------------------------ generator

struct GenerateCall {
  double frequency;
  bool flag;
  int code;
};

// What the test sees of its generator after the update has adopted it.
struct GeneratorRecord {
  std::vector<GenerateCall> calls;
  int destroyed = 0;
};

// Dense n x n operator of `slot` for domain `code` at `frequency`, in the
// modal system's solver-DOF numbering (of the rows the domain acts on); empty
// for an absent operator.
using OperatorFamily = std::function<std::vector<double>(int slot, int code, double frequency)>;

// A host generator over dense reference operators. `numbering`, when given,
// numbers the operators' rows differently from the modal system: row g of a
// generated operator is row numbering[g] of the family's operator; `dofs` is
// then the DOF definition of that numbering.
class TestGenerator : public QVADynGenerateOperators {
 public:
  TestGenerator(OperatorFamily family, GeneratorRecord& record,
                std::unique_ptr<QVAFsmSystemDofDefinition> dofs = nullptr,
                std::vector<int> numbering = {})
      : family_(std::move(family)),
        record_(record),
        dofs_(std::move(dofs)),
        numbering_(std::move(numbering)) {}
  ~TestGenerator() override { record_.destroyed += 1; }

  void Generate(double frequency, bool flag, QVAFsmSystemDofDefinition** dofs,
                int domainCode) override {
    record_.calls.push_back({frequency, flag, domainCode});
    frequency_ = frequency;
    code_ = domainCode;
    *dofs = dofs_.get();
  }
  QVASrvSparseMatrix* StiffnessOperator() override { return Make(kStiffness); }
  QVASrvSparseMatrix* ViscousDampingOperator() override { return Make(kViscous); }
  QVASrvSparseMatrix* StructuralDampingOperator() override { return Make(kStructural); }

 private:
  QVASrvSparseMatrix* Make(int slot) const {
    const std::vector<double> dense = family_(slot, code_, frequency_);
    if (dense.empty()) return new QVASrvSparseMatrix;
    const int n = static_cast<int>(std::lround(std::sqrt(static_cast<double>(dense.size()))));
    const auto row = [&](int g) { return numbering_.empty() ? g : numbering_[QVAIndex(g)]; };
    std::vector<int> rows;
    std::vector<int> columns;
    std::vector<double> values;
    for (int h = 0; h < n; ++h) {
      for (int g = 0; g < n; ++g) {
        const double value = dense[QVAColumnMajor(row(g), row(h), n)];
        if (value == 0.0) continue;
        rows.push_back(g);
        columns.push_back(h);
        values.push_back(value);
      }
    }
    auto* sparse = new QVASrvSparseMatrix(n, n);
    sparse->SetFromTriplets(static_cast<int>(values.size()), rows.data(), columns.data(),
                            values.data());
    return sparse;
  }

  OperatorFamily family_;
  GeneratorRecord& record_;
  std::unique_ptr<QVAFsmSystemDofDefinition> dofs_;
  std::vector<int> numbering_;
  double frequency_ = 0.0;
  int code_ = 0;
};

// A symmetric n x n matrix with a fixed sparsity pattern (about a third of
// the off-diagonal entries are zero) and entries in [-scale, scale], plus
// `diagonal` on the diagonal.
std::vector<double> SparseSymmetric(int n, std::uint64_t seed, double scale, double diagonal) {
  QVATestRandom random(seed);
  std::vector<double> matrix(QVAIndex(n) * n, 0.0);
  for (int column = 0; column < n; ++column) {
    for (int row = column; row < n; ++row) {
      if (row != column && (row + column) % 3 == 1) continue;
      const double value = random.Uniform(-scale, scale) + (row == column ? diagonal : 0.0);
      matrix[QVAColumnMajor(row, column, n)] = value;
      matrix[QVAColumnMajor(column, row, n)] = value;
    }
  }
  return matrix;
}

// Operators linear in frequency, A(f) = A0 + f A1, different for every slot
// and domain code, on n(code) rows. Slots listed in `absent` give none.
OperatorFamily LinearFamily(std::function<int(int code)> size, std::vector<int> absent = {}) {
  return [size = std::move(size), absent = std::move(absent)](int slot, int code, double f) {
    for (int missing : absent) {
      if (missing == slot) return std::vector<double>();
    }
    const int n = size(code);
    const std::uint64_t seed =
        1000 + 10 * static_cast<std::uint64_t>(slot) + static_cast<std::uint64_t>(code + 2);
    const double scale = slot == kStiffness ? 50.0 : 2.0;
    std::vector<double> matrix = SparseSymmetric(n, seed, scale, slot == kStiffness ? 500.0 : 5.0);
    const std::vector<double> slope = SparseSymmetric(n, seed + 500, 0.1 * scale, 0.0);
    for (std::size_t i = 0; i < matrix.size(); ++i) matrix[i] += f * slope[i];
    return matrix;
  };
}

// ---------------------------------------------------------------- references

// Phi^T A Phi by plain loops, with the sum of the magnitudes of its terms per
// entry: the scale of the rounding error of any summation order.
struct Projection {
  int size = 0;
  std::vector<double> value;
  std::vector<double> magnitude;
};

// Mode shapes of modes firstMode ... firstMode + modes - 1 on basis rows
// firstRow ..., as many as `op` has rows.
Projection ProjectByLoops(const QVATestModalBasis& basis, int firstRow, int firstMode, int modes,
                          const std::vector<double>& op) {
  const int rows = static_cast<int>(std::lround(std::sqrt(static_cast<double>(op.size()))));
  Projection projection;
  projection.size = modes;
  projection.value.assign(QVAIndex(modes) * modes, 0.0);
  projection.magnitude.assign(projection.value.size(), 0.0);
  for (int j = 0; j < modes; ++j) {
    for (int i = 0; i < modes; ++i) {
      double sum = 0.0;
      double magnitude = 0.0;
      for (int s = 0; s < rows; ++s) {
        for (int r = 0; r < rows; ++r) {
          const double term = basis.ModeShape(firstRow + r, firstMode + i) *
                              op[QVAColumnMajor(r, s, rows)] *
                              basis.ModeShape(firstRow + s, firstMode + j);
          sum += term;
          magnitude += std::fabs(term);
        }
      }
      projection.value[QVAColumnMajor(i, j, modes)] = sum;
      projection.magnitude[QVAColumnMajor(i, j, modes)] = magnitude;
    }
  }
  return projection;
}

// Expects actual == expected + extra (an n x n matrix as the bundle holds it,
// or null for none) entry by entry. Tolerance: the projection sums rows^2
// terms in some order (error below rows^2 * eps * magnitude, usually far
// below: we allow 4 * rows * eps * magnitude) plus a few roundings of the sum
// with `extra`.
void ExpectEqualsProjection(const QVASrvMatrix& actual, const Projection& expected,
                            const QVASrvMatrix* extra, int rows, const std::string& what) {
  const int n = expected.size;
  ASSERT_EQ(actual.NumberOfRows(), n) << what;
  ASSERT_EQ(actual.NumberOfColumns(), n) << what;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const double added = extra == nullptr ? 0.0 : (*extra)(i, j);
      const double reference = expected.value[QVAColumnMajor(i, j, n)] + added;
      const double tolerance = 4.0 * rows * kQVAEps * expected.magnitude[QVAColumnMajor(i, j, n)] +
                               4.0 * kQVAEps * std::fabs(added);
      EXPECT_NEAR(actual(i, j), reference, tolerance) << what << " (" << i << ", " << j << ")";
    }
  }
}

// ---------------------------------------------------------------- set-up

int* FrameTable(std::initializer_list<int> entries) {
  int* table = mem_AllocArray<int>(entries.size());
  std::copy(entries.begin(), entries.end(), table);
  return table;
}

double* FrequencyTable(std::initializer_list<double> frequencies) {
  double* table = mem_AllocArray<double>(frequencies.size());
  std::copy(frequencies.begin(), frequencies.end(), table);
  return table;
}

std::vector<int> AllModes(int n) { return QVATestRange(0, n); }

// A copy of a bundle matrix as built, to compare with later.
QVASrvMatrix Copy(const QVASrvMatrix* matrix) { return *matrix; }

// Mass-weighted modal matrix M Phi diag(d) Phi^T M of every mode of `basis`
// on all solver DOFs: its projection onto the mass-orthonormal modes is diag(d).
std::vector<double> ModalOperator(const QVATestModalBasis& basis, const std::vector<double>& d) {
  const int rows = basis.NumberOfRows();
  const std::vector<double>& mass = basis.Mass();
  std::vector<double> matrix(QVAIndex(rows) * rows, 0.0);
  for (int s = 0; s < rows; ++s) {
    for (int r = 0; r < rows; ++r) {
      double sum = 0.0;
      for (int k = 0; k < basis.NumberOfModes(); ++k) {
        sum += basis.ModeShape(r, k) * d[QVAIndex(k)] * basis.ModeShape(s, k);
      }
      matrix[QVAColumnMajor(r, s, rows)] = mass[QVAIndex(r)] * sum * mass[QVAIndex(s)];
    }
  }
  return matrix;
}

// Copies: the same values to the bit, whatever the storage.
void ExpectSameValues(const QVASrvMatrix& actual, const QVASrvMatrix& built,
                      const std::string& what) {
  ASSERT_EQ(actual.NumberOfRows(), built.NumberOfRows()) << what;
  ASSERT_EQ(actual.NumberOfColumns(), built.NumberOfColumns()) << what;
  for (int j = 0; j < built.NumberOfColumns(); ++j) {
    for (int i = 0; i < built.NumberOfRows(); ++i) {
      EXPECT_EQ(actual(i, j), built(i, j)) << what << " (" << i << ", " << j << ")";
    }
  }
}

// Left as built: the same storage and values.
void ExpectSameMatrix(const QVASrvMatrix& actual, const QVASrvMatrix& built,
                      const std::string& what) {
  EXPECT_EQ(actual.IsDiagonal(), built.IsDiagonal()) << what;
  EXPECT_EQ(actual.IsSymmetric(), built.IsSymmetric()) << what;
  ExpectSameValues(actual, built, what);
}

// A structural basis: 5 nodes of 3 DOFs, 6 modes, projected viscous damping.
QVATestModalBasisOptions StructuralOptions() {
  return {.numberOfNodes = 5, .numberOfModes = 6, .columnBlockSize = 4, .viscousDamping = true};
}

// A coupled basis: 4 structural nodes of 3 DOFs, 3 pressure nodes; 5
// structural and 2 acoustic modes; projected acoustic damping and coupling.
QVATestModalBasisOptions CoupledOptions() {
  return {.numberOfNodes = 7,
          .acousticNodes = 3,
          .numberOfModes = 7,
          .numberOfAcousticModes = 2,
          .acousticViscousDamping = true,
          .acousticCoupling = true};
}

// One damping record per mode: viscous and structural parts on every mode,
// so that every diagonal part is non-zero.
std::vector<QVADynDiagonalDamping> Records(int n) {
  std::vector<QVADynDiagonalDamping> records;
  for (int k = 0; k < n; ++k) records.push_back({0.01 + 0.002 * k, 0.02, 0.1, 0.0001});
  return records;
}

// The test basis opened, a generator of linear operators on the rows of
// each domain code, and the bundle of a solve over every mode.
class OperatorUpdateTest : public ::testing::Test {
 protected:
  void Open(const QVATestModalBasisOptions& options) {
    basis_ = std::make_unique<QVATestModalBasis>(options);
    modal_ = basis_->Open();
    records_ = Records(basis_->NumberOfModes());
  }

  int Rows(int code) const {
    if (code == QVADynAllDomains) return basis_->NumberOfSolverDofs();
    if (code == QVADynStructuralDomain) return basis_->NumberOfStructuralSolverDofs();
    return basis_->NumberOfSolverDofs() - basis_->NumberOfStructuralSolverDofs();
  }
  // The generator's operators: linear in frequency, none for the slots in absent_.
  OperatorFamily Family() const {
    return LinearFamily([this](int code) { return Rows(code); }, absent_);
  }

  // An update over a TestGenerator of Family(), owning the tables; the
  // generator gives no operator for the slots in `absent`.
  void MakeUpdate(QVADynDomainType domain, bool firstFlag, std::initializer_list<int> frames,
                  std::initializer_list<double> frequencies, std::vector<int> absent = {}) {
    absent_ = std::move(absent);
    update_ = std::make_unique<QVADynOperatorUpdate>(new TestGenerator(Family(), record_),
                                                     firstFlag, false, 0.0, FrameTable(frames),
                                                     FrequencyTable(frequencies), domain);
  }

  // A new bundle of every mode with the records and projected damping of the
  // basis, replacing the previous one.
  QVADynModalOperators& Build(int numberOfActiveModes = -1) {
    if (numberOfActiveModes < 0) numberOfActiveModes = basis_->NumberOfModes();
    ops_.reset();
    const QVADynModalDamping damping(records_.data(), static_cast<int>(records_.size()),
                                     modal_->ViscousDamping(), modal_->StructuralDamping(),
                                     modal_->AcousticViscousDamping());
    ops_ = std::make_unique<QVADynModalOperators>(*modal_, update_.get());
    const std::vector<int> modes = AllModes(numberOfActiveModes);
    ops_->Build(numberOfActiveModes, modes.data(), damping);
    return *ops_;
  }

  // The structural (acoustic) projection of operator `slot` at frequency f.
  Projection Structural(int slot, double f) const {
    const int code = modal_->AcousticCoupling() != nullptr ? -2 : 0;
    return ProjectByLoops(*basis_, 0, 0, basis_->NumberOfStructuralModes(),
                          Family()(slot, code, f));
  }
  Projection Acoustic(int slot, double f) const {
    return ProjectByLoops(*basis_, basis_->NumberOfStructuralSolverDofs(),
                          basis_->NumberOfStructuralModes(), basis_->NumberOfAcousticModes(),
                          Family()(slot, QVADynAcousticDomain, f));
  }

  // Expects the structural operators of the bundle to be the projections at f.
  void ExpectStructuralAt(double f, const std::string& what) {
    const QVADynModalOperators& ops = *ops_;
    const int rows = Rows(ops.HasAcousticCoupling() ? -2 : 0);
    ExpectEqualsProjection(*ops.Stiffness(), Structural(kStiffness, f), nullptr, rows,
                           what + ": stiffness");
    ExpectEqualsProjection(*ops.ViscousDamping(), Structural(kViscous, f),
                           ops.ViscousDampingDiagonal(), rows, what + ": viscous damping");
    ExpectEqualsProjection(*ops.StructuralDamping(), Structural(kStructural, f),
                           ops.StructuralDampingDiagonal(), rows, what + ": structural damping");
  }
  void ExpectAcousticAt(double f, const std::string& what) {
    const QVADynModalOperators& ops = *ops_;
    const int rows = Rows(QVADynAcousticDomain);
    ExpectEqualsProjection(*ops.AcousticStiffness(), Acoustic(kStiffness, f), nullptr, rows,
                           what + ": acoustic stiffness");
    ExpectEqualsProjection(*ops.AcousticViscousDamping(), Acoustic(kViscous, f),
                           ops.AcousticViscousDampingDiagonal(), rows, what + ": acoustic damping");
  }

  // Applies frame `frame` at frequency f, then expects the generator to have
  // been asked for `generated` so far and the structural operators to be the
  // projections at `projectedAt`.
  void Step(int frame, double f, const std::vector<double>& generated, double projectedAt) {
    ops_->ApplyUpdate(frame, f);
    EXPECT_EQ(GeneratedFrequencies(), generated) << "frame " << frame << " at " << f;
    ExpectStructuralAt(projectedAt, "frame " + std::to_string(frame) + " at " + std::to_string(f));
  }

  std::vector<double> GeneratedFrequencies() const {
    std::vector<double> frequencies;
    for (const GenerateCall& call : record_.calls) frequencies.push_back(call.frequency);
    return frequencies;
  }

  // Destruction order: bundle, update, modal system, basis.
  std::unique_ptr<QVATestModalBasis> basis_;
  std::unique_ptr<QVADynModalSystem> modal_;
  std::vector<QVADynDiagonalDamping> records_;
  std::vector<int> absent_;
  GeneratorRecord record_;
  std::unique_ptr<QVADynOperatorUpdate> update_;
  std::unique_ptr<QVADynModalOperators> ops_;

  void TearDown() override {
    ops_.reset();
    update_.reset();
    modal_.reset();
    basis_.reset();
  }
};

// ---------------------------------------------------------------- direct frames

TEST_F(OperatorUpdateTest, ADirectFrameWritesTheProjectionsWithTheDiagonalPartsOfTheDamping) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, true, {0, -1}, {12.5}, {kStructural});
  QVADynModalOperators& ops = Build();
  ops.ApplyUpdate(0, 12.5);

  ASSERT_EQ(record_.calls.size(), 1U);
  EXPECT_EQ(record_.calls[0].frequency, 12.5);
  EXPECT_FALSE(record_.calls[0].flag);  // the negation of the first flag
  EXPECT_EQ(record_.calls[0].code, QVADynAllDomains);
  ExpectStructuralAt(12.5, "frame 0");
  // The absent structural damping operator projects to zero: its diagonal
  // part alone remains, exactly.
  const QVADynModalOperators& built = ops;
  for (int i = 0; i < ops.NumberOfStructuralModes(); ++i) {
    EXPECT_EQ((*built.StructuralDamping())(i, i), (*built.StructuralDampingDiagonal())(i, i));
  }
  // Every matrix the update writes has the first flag as its first storage flag.
  EXPECT_TRUE(built.Stiffness()->IsSymmetric());
  EXPECT_FALSE(built.Stiffness()->IsDiagonal());
  EXPECT_EQ(built.SavedStiffness(), nullptr);
}

// ---------------------------------------------------------------- interpolation

// Outside the interval t is clamped: the operators of the nearer end. One
// generation per end of the interval, however many frames lie in it.
TEST_F(OperatorUpdateTest, LinearOperatorsInterpolateToTheProjectionAtTheFrameFrequency) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, false, {0, 1, 0, 1, 0, 1}, {10.0, 20.0});
  QVADynModalOperators& ops = Build();
  Step(0, 13.0, {10.0, 20.0}, 13.0);
  Step(1, 4.0, {10.0, 20.0}, 10.0);
  Step(2, 27.0, {10.0, 20.0}, 20.0);
  EXPECT_FALSE(ops.Stiffness()->IsSymmetric());
  EXPECT_FALSE(ops.Stiffness()->IsDiagonal());
}

TEST_F(OperatorUpdateTest, MovingOnByOneIntervalGeneratesOnlyAtTheNewUpperEnd) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, true, {0, 1, 1, 2, 1, 2, 2, 3}, {10.0, 20.0, 40.0, 50.0});
  Build();
  Step(0, 15.0, {10.0, 20.0}, 15.0);
  Step(1, 30.0, {10.0, 20.0, 40.0}, 30.0);
  Step(2, 35.0, {10.0, 20.0, 40.0}, 35.0);
  Step(3, 45.0, {10.0, 20.0, 40.0, 50.0}, 45.0);
}

// Ends closer than a thousandth: a direct frame at the lower frequency.
TEST_F(OperatorUpdateTest, FrequenciesCloserThanAThousandthAreNotInterpolated) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, false, {0, 1, 0, -1}, {10.0, 10.0009});
  Build();
  Step(0, 10.0005, {10.0}, 10.0);
  Step(1, 10.0, {10.0}, 10.0);
}

// Direct again at index 0 after an interpolated frame: nothing is generated
// (the lower end holds its operators); once the interval has moved on, index
// 0 is generated anew. A second solve (new bundle) starts from the operators
// as built and takes those of the last direct index.
TEST_F(OperatorUpdateTest, InterpolatedFramesLeaveTheLastDirectIndexInPlace) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, false, {0, -1, 0, 1, 0, -1, 1, 2, 0, -1}, {10.0, 20.0, 30.0});
  Build();
  Step(0, 10.0, {10.0}, 10.0);
  Step(1, 16.0, {10.0, 10.0, 20.0}, 16.0);
  Step(2, 10.0, {10.0, 10.0, 20.0}, 10.0);
  Step(3, 25.0, {10.0, 10.0, 20.0, 30.0}, 25.0);
  Step(4, 10.0, {10.0, 10.0, 20.0, 30.0, 10.0}, 10.0);
  Build();
  Step(4, 10.0, {10.0, 10.0, 20.0, 30.0, 10.0, 10.0}, 10.0);
}

// ---------------------------------------------------------------- domains

TEST_F(OperatorUpdateTest, TheAcousticDomainLeavesTheStructuralOperatorsAsBuilt) {
  Open(CoupledOptions());
  MakeUpdate(QVADynAcousticDomain, true, {0, -1, 0, 1}, {10.0, 20.0});
  QVADynModalOperators& ops = Build();
  const QVASrvMatrix stiffness = Copy(ops.Stiffness());
  const QVASrvMatrix viscous = Copy(ops.ViscousDamping());
  const QVASrvMatrix structural = Copy(ops.StructuralDamping());
  ops.ApplyUpdate(0, 10.0);
  ExpectAcousticAt(10.0, "direct frame");
  ops.ApplyUpdate(1, 17.5);
  ExpectAcousticAt(17.5, "interpolated frame");
  for (const GenerateCall& call : record_.calls) EXPECT_EQ(call.code, QVADynAcousticDomain);
  EXPECT_EQ(record_.calls.size(), 3U);
  ExpectSameMatrix(*ops.Stiffness(), stiffness, "stiffness");
  ExpectSameMatrix(*ops.ViscousDamping(), viscous, "viscous damping");
  ExpectSameMatrix(*ops.StructuralDamping(), structural, "structural damping");
  EXPECT_TRUE(ops.AcousticStiffness()->IsSymmetric());
}

TEST_F(OperatorUpdateTest, AllDomainsUpdateTheStructureThenTheFluid) {
  Open(CoupledOptions());
  MakeUpdate(QVADynAllDomains, false, {0, 1}, {10.0, 20.0});
  QVADynModalOperators& ops = Build();
  const QVASrvMatrix coupling = Copy(ops.Coupling());
  ops.ApplyUpdate(0, 12.0);
  ExpectStructuralAt(12.0, "structure");
  ExpectAcousticAt(12.0, "fluid");
  ASSERT_EQ(record_.calls.size(), 4U);
  const int codes[] = {-2, -1, -2, -1};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(record_.calls[i].code, codes[i]);
  ExpectSameMatrix(*ops.Coupling(), coupling, "coupling");
}

// ---------------------------------------------------------------- difference mode

// Reverses the structural solver DOFs of `basis`: generator row g is the
// modal system's solver DOF (count - 1 - g). Returns the numbering and the
// DOF definition that carries it.
std::vector<int> ReversedNumbering(QVATestModalBasis& basis, int count,
                                   std::unique_ptr<QVAFsmSystemDofDefinition>& dofs) {
  dofs = std::make_unique<QVAFsmSystemDofDefinition>(basis.Dofs());
  std::vector<int> numbering(QVAIndex(count));
  std::vector<int> systemDofs(QVAIndex(count));
  for (int g = 0; g < count; ++g) {
    numbering[QVAIndex(g)] = count - 1 - g;
    systemDofs[QVAIndex(g)] = basis.Dofs().SystemDofFromSolverDof(count - 1 - g);
  }
  dofs->SetupSolverDofs(
      QVASimCollection(basis.ModalObject().Dofs()).CreateOrderedCSet(systemDofs.data(), count));
  return numbering;
}

TEST_F(OperatorUpdateTest, DifferenceModeAddsTheChangeSinceTheReferenceToTheBuiltOperators) {
  Open(StructuralOptions());
  const int rows = basis_->NumberOfSolverDofs();
  std::unique_ptr<QVAFsmSystemDofDefinition> dofs;
  std::vector<int> numbering = ReversedNumbering(*basis_, rows, dofs);
  const double reference = 5.0;
  update_ = std::make_unique<QVADynOperatorUpdate>(
      new TestGenerator(Family(), record_, std::move(dofs), std::move(numbering)), true, true,
      reference, FrameTable({0, -1, 0, 1}), FrequencyTable({10.0, 20.0}), QVADynAllDomains);
  // The reference operators are generated at construction.
  ASSERT_EQ(record_.calls.size(), 1U);
  EXPECT_EQ(record_.calls[0].frequency, reference);
  EXPECT_FALSE(record_.calls[0].flag);
  EXPECT_EQ(record_.calls[0].code, QVADynStructuralDomain);

  QVADynModalOperators& ops = Build();
  const QVADynModalOperators& built = ops;
  const QVASrvMatrix stiffness = Copy(built.Stiffness());
  const QVASrvMatrix viscous = Copy(built.ViscousDamping());  // without its diagonal part
  QVASrvMatrix fullViscous = viscous;
  fullViscous.Add(1.0, *built.ViscousDampingDiagonal());
  QVASrvMatrix fullStructural = Copy(built.StructuralDamping());
  fullStructural.Add(1.0, *built.StructuralDampingDiagonal());

  // Projections of A(f) - A(reference), in the modal system's numbering.
  const auto change = [&](int slot, double f) {
    // The reference operators are those of a coupled model's structure (code -2).
    std::vector<double> difference = Family()(slot, QVADynAllDomains, f);
    const std::vector<double> atReference = Family()(slot, QVADynStructuralDomain, reference);
    for (std::size_t i = 0; i < difference.size(); ++i) difference[i] -= atReference[i];
    return ProjectByLoops(*basis_, 0, 0, basis_->NumberOfModes(), difference);
  };
  const auto expectAt = [&](double f, const std::string& what) {
    ExpectEqualsProjection(*built.Stiffness(), change(kStiffness, f), &stiffness, rows,
                           what + ": stiffness");
    ExpectEqualsProjection(*built.ViscousDamping(), change(kViscous, f), &fullViscous, rows,
                           what + ": viscous damping");
    ExpectEqualsProjection(*built.StructuralDamping(), change(kStructural, f), &fullStructural,
                           rows, what + ": structural damping");
  };

  ops.ApplyUpdate(0, 10.0);
  EXPECT_EQ(record_.calls[1].code, QVADynAllDomains);
  EXPECT_FALSE(record_.calls[1].flag);
  expectAt(10.0, "direct frame");
  // The saved operators hold the values as built, in the update's storage.
  ASSERT_NE(built.SavedStiffness(), nullptr);
  ExpectSameValues(*built.SavedStiffness(), stiffness, "saved stiffness");
  ExpectSameValues(*built.SavedViscousDamping(), viscous, "saved viscous damping");
  EXPECT_TRUE(built.SavedStiffness()->IsSymmetric());
  EXPECT_FALSE(built.SavedStiffness()->IsDiagonal());
  ops.ApplyUpdate(1, 16.0);
  expectAt(16.0, "interpolated frame");
  EXPECT_EQ(record_.calls.size(), 4U);
}

// ---------------------------------------------------------------- harmonic solve

// The complex modal amplitudes of a harmonic event over every mode of the
// basis, one load case with force (1 + k) - i (0.5 k) on mode k, solved with
// `update` (may be null). Layout: frame by frame, mode by mode.
std::vector<std::complex<double>> SolveEvent(QVATestModalBasis& basis,
                                             const QVADynModalSystem& modal,
                                             const std::vector<QVADynDiagonalDamping>& records,
                                             const std::vector<double>& frequencies,
                                             QVADynOperatorUpdate* update) {
  const int modes = basis.NumberOfModes();
  const int frames = static_cast<int>(frequencies.size());
  QVADynHarmonicEvent event(modal, new QVADynHarmonicSolver,
                            basis.Database().CreateModalEventResults(basis.ModalObject()));
  const std::vector<int> active = AllModes(modes);
  event.SetActiveModes(modes, active.data());
  std::vector<QVADynFrameValue> values(frequencies.size());
  for (std::size_t j = 0; j < frequencies.size(); ++j) values[j].first = frequencies[j];
  event.SetFrameValues(frames, values.data());
  event.SetDiagonalDamping(modes, records.data());
  auto* table = new QVASrvMatrix(1, frames);
  *table = 1.0;
  event.AdoptAmplitudeTable(table);
  auto* pattern = new QVASrvMatrix(modes, 2);
  for (int k = 0; k < modes; ++k) {
    (*pattern)(k, 0) = 1.0 + k;
    (*pattern)(k, 1) = -0.5 * k;
  }
  const int row = 0;
  event.LoadCase(0).AdoptForce(new QVADynForce(pattern, &row, 1, &row, 1));
  event.Solve(update);

  std::vector<std::complex<double>> amplitudes;
  std::vector<double> real(QVAIndex(modes));
  std::vector<double> imaginary(QVAIndex(modes));
  for (int j = 0; j < frames; ++j) {
    event.GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, j, 0, real.data());
    event.GetModalAmplitudes(QVADynRecoverDisplacement, QVADynImaginaryPart, j, 0,
                             imaginary.data());
    for (int k = 0; k < modes; ++k) {
      amplitudes.emplace_back(real[QVAIndex(k)], imaginary[QVAIndex(k)]);
    }
  }
  return amplitudes;
}

TEST_F(OperatorUpdateTest, OperatorsThatProjectOntoTheModalMatricesReproduceThePlainSolve) {
  QVATestModalBasisOptions options{.numberOfNodes = 5, .numberOfModes = 6};
  Open(options);
  const int modes = basis_->NumberOfModes();
  const std::vector<double>& lambda = basis_->Eigenvalues();
  // Physical operators whose projections are diag(lambda), diag(gamma) and
  // diag(sigma lambda); the plain event carries gamma and sigma in its
  // records instead (Rayleigh mass factor and structural factor).
  std::vector<double> gamma;
  std::vector<double> hysteretic;
  std::vector<QVADynDiagonalDamping> plainRecords;
  std::vector<QVADynDiagonalDamping> updateRecords;
  for (int k = 0; k < modes; ++k) {
    const double sigma = 0.01 + 0.003 * k;
    gamma.push_back(0.2 + 0.05 * k);
    hysteretic.push_back(sigma * lambda[QVAIndex(k)]);
    updateRecords.push_back({0.005, 0.01 + 0.002 * k, 0.1, 0.0002});
    QVADynDiagonalDamping plain = updateRecords.back();
    plain.structural += sigma;
    plain.massFactor += gamma.back();
    plainRecords.push_back(plain);
  }
  const std::vector<std::vector<double>> operators = {ModalOperator(*basis_, lambda),
                                                      ModalOperator(*basis_, gamma),
                                                      ModalOperator(*basis_, hysteretic)};
  const OperatorFamily constant = [&operators](int slot, int, double) {
    return operators[QVAIndex(slot)];
  };
  // Direct frames at 0.5 and 3, interpolated frames between them.
  const std::vector<double> frequencies = {0.5, 1.0, 2.0, 3.0};
  update_ = std::make_unique<QVADynOperatorUpdate>(
      new TestGenerator(constant, record_), true, false, 0.0,
      FrameTable({0, -1, 0, 1, 0, 1, 1, -1}), FrequencyTable({0.5, 3.0}), QVADynAllDomains);

  const std::vector<std::complex<double>> plain =
      SolveEvent(*basis_, *modal_, plainRecords, frequencies, nullptr);
  const std::vector<std::complex<double>> updated =
      SolveEvent(*basis_, *modal_, updateRecords, frequencies, update_.get());
  // 0.5 direct; 0.5 and 3 for the interval; 3 direct.
  EXPECT_EQ(GeneratedFrequencies(), std::vector<double>({0.5, 0.5, 3.0, 3.0}));

  const double lambdaMax = *std::max_element(lambda.begin(), lambda.end());
  const int rows = basis_->NumberOfRows();
  for (std::size_t j = 0; j < frequencies.size(); ++j) {
    // Per-mode dynamic stiffness D_k = lambda - omega^2 + i (omega c + s).
    const double omega = kQVATwoPi * frequencies[j];
    double smallest = std::numeric_limits<double>::max();
    double largest = 0.0;
    double amplitude = 0.0;
    for (int k = 0; k < modes; ++k) {
      const QVADynDiagonalDamping& record = plainRecords[QVAIndex(k)];
      const double eigenvalue = lambda[QVAIndex(k)];
      const double viscous = 2.0 * record.criticalFraction * std::sqrt(eigenvalue) +
                             record.massFactor + record.stiffnessFactor * eigenvalue;
      const double magnitude = std::abs(std::complex<double>(
          eigenvalue - omega * omega, omega * viscous + record.structural * eigenvalue));
      smallest = std::min(smallest, magnitude);
      largest = std::max(largest, magnitude);
      amplitude = std::max(amplitude, std::abs(plain[j * modes + QVAIndex(k)]));
    }
    // The projected operators equal the diagonal ones up to the rounding of
    // sums over rows^2 terms (~ rows * eps * lambdaMax, as Phi^T M Phi = I
    // holds to rounding), and both solves are backward stable (~ eps * the
    // largest |D|); each perturbation is amplified by 1 / the smallest |D|.
    const double tolerance = 64.0 * kQVAEps * (rows * lambdaMax + largest) / smallest * amplitude;
    for (int k = 0; k < modes; ++k) {
      const std::size_t at = j * modes + QVAIndex(k);
      EXPECT_NEAR(updated[at].real(), plain[at].real(), tolerance)
          << "frame " << j << " mode " << k;
      EXPECT_NEAR(updated[at].imag(), plain[at].imag(), tolerance)
          << "frame " << j << " mode " << k;
    }
  }
}

TEST_F(OperatorUpdateTest, DifferenceModeRefusesGeneratorDofsThatAreNoStructuralRows) {
  // The generator numbers every solver DOF of a coupled model, the pressure
  // DOFs included; the structural mode shapes have no rows for those.
  Open(CoupledOptions());
  auto dofs = std::make_unique<QVAFsmSystemDofDefinition>(basis_->Dofs());
  const int structuralRows = basis_->NumberOfStructuralSolverDofs();
  update_ = std::make_unique<QVADynOperatorUpdate>(
      new TestGenerator(Family(), record_, std::move(dofs)), false, true, 0.0, FrameTable({0, -1}),
      FrequencyTable({10.0}), QVADynStructuralDomain);
  QVADynModalOperators& ops = Build();
  ExpectPlatformError(
      [&] { ops.ApplyUpdate(0, 10.0); }, kQVABasInvalidArgument,
      {"solver DOF " + std::to_string(structuralRows),
       "is not among the " + std::to_string(structuralRows) + " structural mode-shape rows"});
}

// ---------------------------------------------------------------- misuse

TEST_F(OperatorUpdateTest, AnEventThatLeavesModesInactiveIsRefusedBeforeAnythingIsGenerated) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, false, {0, -1}, {10.0});
  QVADynModalOperators& ops = Build(4);
  ExpectPlatformError(
      [&] { ops.ApplyUpdate(0, 10.0); }, kQVABasInvalidArgument,
      {"the event has 4 structural and 0 acoustic active modes",
       "all 6 structural and 0 acoustic modes", "activates every mode in stored order"});
  EXPECT_TRUE(record_.calls.empty());
}

TEST_F(OperatorUpdateTest, IndicesOutsideTheTablesAreRefused) {
  Open(StructuralOptions());
  MakeUpdate(QVADynAllDomains, false, {-1, -1, 0, -2}, {10.0});
  QVADynModalOperators& ops = Build();
  ExpectPlatformError([&] { ops.ApplyUpdate(0, 10.0); }, kQVABasInvalidArgument,
                      {"frame 0 names frequency indices -1 and -1"});
  ExpectPlatformError([&] { ops.ApplyUpdate(1, 10.0); }, kQVABasInvalidArgument,
                      {"frame 1 names frequency indices 0 and -2"});
  ExpectPlatformError([&] { ops.ApplyUpdate(-1, 10.0); }, kQVABasInvalidArgument,
                      {"frame -1 is negative"});
  EXPECT_TRUE(record_.calls.empty());
}

TEST_F(OperatorUpdateTest, TheGeneratorAndTablesAreReleasedAlsoWhenTheReferenceFails) {
  // A generator without operators for the reference: the family throws, and
  // the host receives it as a QVABasError naming the operation.
  GeneratorRecord record;
  const OperatorFamily failing = [](int, int, double) -> std::vector<double> {
    throw std::runtime_error("no reference operators");
  };
  ExpectPlatformError(
      [&] {
        QVADynOperatorUpdate(new TestGenerator(failing, record), false, true, 1.0,
                             FrameTable({0, -1}), FrequencyTable({1.0}), QVADynAllDomains);
      },
      kQVASrvInvalidState, {"QVADynOperatorUpdate::QVADynOperatorUpdate: no reference operators"});
  EXPECT_EQ(record.destroyed, 1);
  {
    const QVADynOperatorUpdate update(new TestGenerator(failing, record), false, false, 0.0,
                                      FrameTable({0, -1}), FrequencyTable({1.0}), QVADynAllDomains);
    EXPECT_EQ(record.destroyed, 1);
  }
  EXPECT_EQ(record.destroyed, 2);
}

}  // namespace
