#include "QVADyn/QVADynCore/QVADynCFreqSolve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADynBoundary.h"
#include "QVADynComplexEigenKernels.h"
#include "QVADynComplexRealPart.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/cow_String.h"
#include "platform/base/mem_Alloc.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

// Rows 0 ... n-1, columns 0 ... n-1 of `matrix` in core, or null without matrix.
std::unique_ptr<QVASrvMatrix> ReadSquare(const QVASrvDenseMatrix* matrix, int n) {
  if (matrix == nullptr) return nullptr;
  auto values = std::make_unique<QVASrvMatrix>(n, n);
  if (n > 0) matrix->GetValues(0, n - 1, 0, n - 1, *values);
  return values;
}

// An in-core matrix over uninitialised memory from the platform allocator,
// for the eigenvector outputs, which the eigen solve writes whole before
// anything reads them.
class UninitializedMatrix {
 public:
  UninitializedMatrix(int rows, int columns)
      : values_(mem_AllocArray<double>(QVAIndex(rows) * QVAIndex(columns))),
        matrix_(rows, columns, values_.get()) {}
  QVASrvMatrix& Matrix() { return matrix_; }

 private:
  struct Release {
    void operator()(double* values) const noexcept { mem_Free(values); }
  };
  std::unique_ptr<double[], Release> values_;
  QVASrvMatrix matrix_;
};

// Seconds of a timer run in single precision, the precision of the timing lines.
float StopSeconds(omi_Timer& timer) {
  timer.Stop();
  return static_cast<float>(timer.ElapsedSeconds());
}

// The selected eigenpairs: eigenvalue parts and the index of each in the
// eigen routine's output, capacity n.
struct Selection {
  explicit Selection(int capacity)
      : real(QVAIndex(capacity)), imaginary(QVAIndex(capacity)), index(QVAIndex(capacity)) {}
  std::vector<double> real;
  std::vector<double> imaginary;
  std::vector<int> index;
  int count = 0;
};

// Puts the displacement half (rows 0 ... n-1) of eigenvector selection.index[c]
// into column c of the n x count parts, normalized.
void GatherProjectedShapes(const Selection& selection, const QVASrvMatrix& vectorReal,
                           const QVASrvMatrix& vectorImaginary, QVASrvMatrix& projectedReal,
                           QVASrvMatrix& projectedImaginary) {
  const int n = projectedReal.NumberOfRows();
  const std::size_t order = QVAIndex(vectorReal.NumberOfRows());
  const std::size_t length = QVAIndex(n);
  for (int c = 0; c < selection.count; ++c) {
    const std::size_t source = QVAIndex(selection.index[QVAIndex(c)]) * order;
    double* re = projectedReal.Values() + QVAIndex(c) * length;
    double* im = projectedImaginary.Values() + QVAIndex(c) * length;
    std::copy_n(vectorReal.Values() + source, length, re);
    std::copy_n(vectorImaginary.Values() + source, length, im);
    QVADynNormalizeComplexVector(n, re, im);
  }
}

// Normalizes every column of the physical shapes, one column block at a time.
void NormalizeColumns(QVASrvDenseMatrix& real, QVASrvDenseMatrix& imaginary) {
  const int rows = real.NumberOfRows();
  const std::size_t length = QVAIndex(rows);
  for (int block = 0; block < real.NumberOfColumnBlocks(); ++block) {
    const int first = real.FirstColumnInBlock(block);
    const int columns = real.NumberOfColumnsInBlock(block);
    const int last = first + columns - 1;
    QVASrvMatrix re(rows, columns);
    QVASrvMatrix im(rows, columns);
    real.GetValues(0, rows - 1, first, last, re);
    imaginary.GetValues(0, rows - 1, first, last, im);
    for (int column = 0; column < columns; ++column) {
      const std::size_t offset = QVAIndex(column) * length;
      QVADynNormalizeComplexVector(rows, re.Values() + offset, im.Values() + offset);
    }
    real.SetValues(0, rows - 1, first, last, re);
    imaginary.SetValues(0, rows - 1, first, last, im);
  }
}

// Raises QVABasError (kQVABasInvalidArgument) for a value of `matrix` (n x n,
// null: absent) that is not finite, naming the entry.
void VerifyFinite(const QVASrvMatrix* matrix, const char* name) {
  if (matrix == nullptr) return;
  const int n = matrix->NumberOfRows();
  for (int column = 0; column < n; ++column) {
    for (int row = 0; row < n; ++row) {
      QVA_VERIFY(std::isfinite((*matrix)(row, column)), kQVABasInvalidArgument,
                 "QVADynCFreqSolve: the projected " << name << " holds " << (*matrix)(row, column)
                                                    << " at (" << row << ", " << column
                                                    << "); store finite values");
    }
  }
}

}  // namespace

void QVADynCFreqSolve(QVADynComplexModalSystem& system, const QVASrvDenseMatrix& realModeShapes,
                      int maxModes, double lowerBound, double upperBound, int solveOnly) try {
  const int n = system.SizeOfSubspace();
  const int order = 2 * n;
  QVA_VERIFY(system.ProjectedStiffness() != nullptr, kQVASrvInvalidState,
             "QVADynCFreqSolve: the complex modal system has no projected stiffness; create it "
             "with CreateStiffness or store it before Open");
  QVA_VERIFY(realModeShapes.NumberOfColumns() >= n, kQVASrvSizeMismatch,
             "QVADynCFreqSolve: the real mode shapes have " << realModeShapes.NumberOfColumns()
                                                            << " columns, fewer than the " << n
                                                            << " modes of the subspace");
  QVA_VERIFY(maxModes >= 0, kQVABasInvalidArgument,
             "QVADynCFreqSolve: maxModes is "
                 << maxModes << "; pass the largest number of complex modes to keep, 0 or more");
  QVA_VERIFY(!std::isnan(lowerBound) && !std::isnan(upperBound) && lowerBound <= upperBound,
             kQVABasInvalidArgument,
             "QVADynCFreqSolve: the band (" << lowerBound << ", " << upperBound
                                            << ") is not a band; pass lowerBound <= upperBound");
  const std::unique_ptr<QVASrvMatrix> stiffness = ReadSquare(system.ProjectedStiffness(), n);
  std::unique_ptr<QVASrvMatrix> viscous = ReadSquare(system.ViscousDamping(), n);
  std::unique_ptr<QVASrvMatrix> structural = ReadSquare(system.StructuralDamping(), n);
  VerifyFinite(stiffness.get(), "stiffness");
  VerifyFinite(viscous.get(), "viscous damping");
  VerifyFinite(structural.get(), "structural damping");

  const int numberOfNodes = system.DofDefinition().NumberOfNodes();
  const QVADynLogFile log = system.LogFile();
  cow_String header(kQVADynLogComplexEigenHeading);
  header.Append(kQVADynLogNumberOfModes).AppendInt(n).Append(kQVADynLogLineEnd);
  header.Append(kQVADynLogNumberOfNodes).AppendInt(numberOfNodes).Append(kQVADynLogLineEnd);
  log.Write(header);

  // The state-space eigen solve.
  const bool complexMatrix = system.StructuralDamping() != nullptr;
  QVASrvMatrix eigenvalueReal(order, 1);
  QVASrvMatrix eigenvalueImaginary(order, 1);
  auto vectorReal = std::make_unique<UninitializedMatrix>(order, order);
  auto vectorImaginary = std::make_unique<UninitializedMatrix>(order, order);
  omi_Timer timer;
  int status = 0;
  timer.Restart();
  status = QVADynSolveStateEigenproblem(*stiffness, viscous.get(), structural.get(), eigenvalueReal,
                                        eigenvalueImaginary, vectorReal->Matrix(),
                                        vectorImaginary->Matrix());
  viscous.reset();
  structural.reset();
  const float solveSeconds = StopSeconds(timer);
  cow_String solveLine(complexMatrix ? kQVADynLogComplexZgeevTime : kQVADynLogComplexDgeevTime);
  solveLine.AppendFloat(solveSeconds).Append(kQVADynLogLineEnd);
  if (status != 0) {
    solveLine.Append(complexMatrix ? kQVADynLogComplexZgeevFailed : kQVADynLogComplexDgeevFailed)
        .AppendInt(status)
        .Append(kQVADynLogComplexNoModesStored);
  }
  log.Write(solveLine);
  if (solveOnly != 0) return;

  // Selection, ordering and storing; a failed solve selects nothing, so that
  // zero modes replace whatever an earlier solve stored.
  timer.Restart();
  Selection selection(n);
  if (status == 0) {
    selection.count = QVADynSelectComplexEigenvalues(
        order, eigenvalueReal.Values(), eigenvalueImaginary.Values(), lowerBound, upperBound, n,
        selection.real.data(), selection.imaginary.data(), selection.index.data());
  }
  QVADynOrderComplexEigenvalues(selection.count, selection.real.data(), selection.imaginary.data(),
                                selection.index.data());
  const int count = std::min(selection.count, std::max(0, maxModes));
  selection.count = count;

  system.SetEigenvalues(selection.real.data(), selection.imaginary.data(), count);
  QVASrvMatrix projectedReal(n, count);
  QVASrvMatrix projectedImaginary(n, count);
  GatherProjectedShapes(selection, vectorReal->Matrix(), vectorImaginary->Matrix(), projectedReal,
                        projectedImaginary);
  vectorReal.reset();
  vectorImaginary.reset();
  QVASrvDenseMatrix& storedReal = system.CreateRealProjectedModeShapes(false);
  QVASrvDenseMatrix& storedImaginary = system.CreateImaginaryProjectedModeShapes(false);
  if (n > 0 && count > 0) {
    storedReal.SetValues(0, n - 1, 0, count - 1, projectedReal);
    storedImaginary.SetValues(0, n - 1, 0, count - 1, projectedImaginary);
  }
  const float storeSeconds = StopSeconds(timer);

  // Physical shapes Phi q, one product per part. The real mode shapes may be
  // the system's own mode-shape matrix, which CreateModeShapes replaces: the
  // products then read the same stored values through a matrix of their own.
  timer.Restart();
  const int rows = realModeShapes.NumberOfRows();
  const QVASrvDenseMatrix* basis = &realModeShapes;
  std::unique_ptr<QVASrvDenseMatrix> ownBasis;
  std::unique_ptr<QVASrvDenseMatrix> subspaceColumns;
  if (count > 0) {
    if (basis == system.ModeShapes()) {
      ownBasis = QVADynWrapRealPart(system.ModalDatabaseObject(), basis->DistributionID());
      basis = ownBasis.get();
    }
    if (basis->NumberOfColumns() > n) {
      subspaceColumns.reset(basis->CreateSubMatrix(0, rows - 1, 0, n - 1));
      basis = subspaceColumns.get();
    }
  }
  system.CreateModeShapes(rows, false);
  if (count > 0) {
    basis->Multiply(projectedReal, *system.RealModeShapes());
    basis->Multiply(projectedImaginary, *system.ImaginaryModeShapes());
    NormalizeColumns(*system.RealModeShapes(), *system.ImaginaryModeShapes());
  }
  const float recoverSeconds = StopSeconds(timer);

  cow_String timing(kQVADynLogComplexRecoverTime);
  timing.AppendFloat(recoverSeconds).Append(kQVADynLogLineEnd);
  timing.Append(kQVADynLogComplexTotalTime)
      .AppendFloat(solveSeconds + storeSeconds + recoverSeconds)
      .Append(kQVADynLogLineEnd);
  log.Write(timing);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynCFreqSolve");
}
