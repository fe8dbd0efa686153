#include "QVADynComplexEigenKernels.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVABlaModule.h"
#include "platform/matrix/QVASrvUtilities.h"

namespace {

using Complex = std::complex<double>;

// Work length for small state matrices.
constexpr int kSmallWorkLength = 100;
constexpr int kSmallOrder = 9;

// An uninitialised array from the platform allocator, freed with it.
template <class T>
struct PlatformArray {
  explicit PlatformArray(std::size_t count) : values(mem_AllocArray<T>(count)) {}
  PlatformArray(const PlatformArray&) = delete;
  PlatformArray& operator=(const PlatformArray&) = delete;
  ~PlatformArray() { mem_Free(values); }
  T* values;
};

// The buffers of one eigen solve of order N, sized for either routine: state
// matrix and eigenvectors N x N complex, eigenvalues N complex, work 2 L
// doubles, real work 2 N doubles. The routines write them before reading.
struct StateEigenWorkspace {
  explicit StateEigenWorkspace(int order)
      : stateMatrix(Square(order)),
        eigenvalues(QVAIndex(order)),
        eigenvectors(Square(order)),
        work(QVAIndex(QVADynComplexEigenWorkLength(order))),
        realWork(2 * QVAIndex(order)) {}

  static std::size_t Square(int order) { return QVAIndex(order) * QVAIndex(order); }
  // The buffers seen as doubles, for the real routine.
  double* RealStateMatrix() { return reinterpret_cast<double*>(stateMatrix.values); }
  double* RealEigenvectors() { return reinterpret_cast<double*>(eigenvectors.values); }
  double* RealWork() { return reinterpret_cast<double*>(work.values); }

  PlatformArray<Complex> stateMatrix;
  PlatformArray<Complex> eigenvalues;
  PlatformArray<Complex> eigenvectors;
  PlatformArray<Complex> work;
  PlatformArray<double> realWork;
};

// Fills the state matrix of order 2n (leading dimension 2n) column by column;
// T is double or std::complex<double>. The lower-left block is -K - i S (S
// only for the complex matrix), the upper right the identity, the lower right
// -V or zero.
template <class T>
void BuildStateMatrix(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
                      const QVASrvMatrix* structural, T* state) {
  const int n = stiffness.NumberOfRows();
  const int order = 2 * n;
  std::fill_n(state, QVAIndex(order) * QVAIndex(order), T{0.0});
  for (int column = 0; column < n; ++column) {
    for (int row = 0; row < n; ++row) {
      T entry = -stiffness(row, column);
      if constexpr (std::is_same_v<T, Complex>) {
        entry -= Complex(0.0, (*structural)(row, column));
      }
      state[QVAColumnMajor(n + row, column, order)] = entry;
    }
  }
  for (int column = 0; column < n; ++column) {
    state[QVAColumnMajor(column, n + column, order)] = T{1.0};
    if (viscous == nullptr) continue;
    for (int row = 0; row < n; ++row) {
      state[QVAColumnMajor(n + row, n + column, order)] = -(*viscous)(row, column);
    }
  }
}

int SolveComplex(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
                 const QVASrvMatrix& structural, QVASrvMatrix& eigenvalueReal,
                 QVASrvMatrix& eigenvalueImaginary, QVASrvMatrix& vectorReal,
                 QVASrvMatrix& vectorImaginary) {
  const int order = 2 * stiffness.NumberOfRows();
  StateEigenWorkspace workspace(order);
  BuildStateMatrix(stiffness, viscous, &structural, workspace.stateMatrix.values);

  const char noVectors = 'n';
  const char vectors = 'v';
  const int leadingDimension = std::max(1, order);
  const int one = 1;
  const int lwork = QVADynComplexEigenLwork(order, true);
  Complex dummyLeftVector;
  int status = 0;
  BLAC_ZGEEV(&noVectors, &vectors, &order, workspace.stateMatrix.values, &leadingDimension,
             workspace.eigenvalues.values, &dummyLeftVector, &one, workspace.eigenvectors.values,
             &leadingDimension, workspace.work.values, &lwork, workspace.realWork.values, &status,
             1, 1);
  if (status != 0) return status;

  for (int k = 0; k < order; ++k) {
    eigenvalueReal(k, 0) = workspace.eigenvalues.values[k].real();
    eigenvalueImaginary(k, 0) = workspace.eigenvalues.values[k].imag();
  }
  double* real = vectorReal.Values();
  double* imaginary = vectorImaginary.Values();
  const std::size_t entries = StateEigenWorkspace::Square(order);
  for (std::size_t i = 0; i < entries; ++i) {
    real[i] = workspace.eigenvectors.values[i].real();
    imaginary[i] = workspace.eigenvectors.values[i].imag();
  }
  return 0;
}

int SolveReal(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
              QVASrvMatrix& eigenvalueReal, QVASrvMatrix& eigenvalueImaginary,
              QVASrvMatrix& vectorReal, QVASrvMatrix& vectorImaginary) {
  const int order = 2 * stiffness.NumberOfRows();
  StateEigenWorkspace workspace(order);
  BuildStateMatrix(stiffness, viscous, nullptr, workspace.RealStateMatrix());

  const char noVectors = 'n';
  const char vectors = 'v';
  const int leadingDimension = std::max(1, order);
  const int one = 1;
  const int lwork = QVADynComplexEigenLwork(order, false);
  double dummyLeftVector = 0.0;
  int status = 0;
  BLAC_DGEEV(&noVectors, &vectors, &order, workspace.RealStateMatrix(), &leadingDimension,
             eigenvalueReal.Values(), eigenvalueImaginary.Values(), &dummyLeftVector, &one,
             workspace.RealEigenvectors(), &leadingDimension, workspace.RealWork(), &lwork, &status,
             1, 1);
  if (status != 0) return status;

  // A conjugate pair k, k+1 comes packed as VR(:, k) +- i VR(:, k+1).
  const double* packed = workspace.RealEigenvectors();
  const std::size_t length = QVAIndex(order);
  double* real = vectorReal.Values();
  double* imaginary = vectorImaginary.Values();
  for (int k = 0; k < order;) {
    const std::size_t column = QVAIndex(k) * length;
    if (eigenvalueImaginary(k, 0) == 0.0 || k + 1 == order) {
      std::copy_n(packed + column, length, real + column);
      std::fill_n(imaginary + column, length, 0.0);
      k += 1;
      continue;
    }
    const std::size_t next = column + length;
    std::copy_n(packed + column, length, real + column);
    std::copy_n(packed + column, length, real + next);
    std::copy_n(packed + next, length, imaginary + column);
    for (std::size_t i = 0; i < length; ++i) imaginary[next + i] = -packed[next + i];
    k += 2;
  }
  return 0;
}

}  // namespace

int QVADynComplexEigenWorkLength(int order) {
  return order <= kSmallOrder ? kSmallWorkLength : order * order;
}

int QVADynComplexEigenLwork(int order, bool complexMatrix) {
  return complexMatrix ? QVADynComplexEigenWorkLength(order)
                       : 2 * QVADynComplexEigenWorkLength(order);
}

int QVADynSolveStateEigenproblem(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
                                 const QVASrvMatrix* structural, QVASrvMatrix& eigenvalueReal,
                                 QVASrvMatrix& eigenvalueImaginary, QVASrvMatrix& vectorReal,
                                 QVASrvMatrix& vectorImaginary) {
  if (structural != nullptr) {
    return SolveComplex(stiffness, viscous, *structural, eigenvalueReal, eigenvalueImaginary,
                        vectorReal, vectorImaginary);
  }
  return SolveReal(stiffness, viscous, eigenvalueReal, eigenvalueImaginary, vectorReal,
                   vectorImaginary);
}

int QVADynSelectComplexEigenvalues(int order, const double* real, const double* imaginary,
                                   double lowerBound, double upperBound, int capacity,
                                   double* selectedReal, double* selectedImaginary,
                                   int* selectedIndex) {
  int count = 0;
  for (int k = 0; k < order && count < capacity; ++k) {
    const double x = imaginary[k];
    const double y = real[k];
    if (!(lowerBound < x && x < upperBound)) continue;
    const bool oscillating = x > 0.0;
    const bool acceptedReal = std::fabs(x) < kQVADynRealEigenvalueLimit &&
                              (y > 0.0 || std::fabs(y) >= kQVADynRealEigenvalueSkip);
    if (!oscillating && !acceptedReal) continue;
    selectedReal[count] = y;
    selectedImaginary[count] = x;
    selectedIndex[count] = k;
    ++count;
  }
  return count;
}

void QVADynOrderComplexEigenvalues(int count, double* real, double* imaginary, int* index) {
  const int ascending = 1;
  const int option = 0;
  QVASRVSORT13(imaginary, real, index, &ascending, &count, &option);
  for (int i = 0; i + 1 < count; ++i) {
    const bool nearlyEqual = std::fabs(imaginary[i + 1]) * kQVADynEqualFrequencyFraction >
                             std::fabs(imaginary[i + 1] - imaginary[i]);
    if (nearlyEqual && real[i] > real[i + 1]) {
      std::swap(real[i], real[i + 1]);
      std::swap(imaginary[i], imaginary[i + 1]);
      std::swap(index[i], index[i + 1]);
    }
  }
}

void QVADynNormalizeComplexVector(int length, double* re, double* im) {
  int largest = 0;
  double largestSquare = 0.0;
  for (int i = 0; i < length; ++i) {
    const double square = re[i] * re[i] + im[i] * im[i];
    if (square > largestSquare) {
      largestSquare = square;
      largest = i;
    }
  }
  if (length == 0) return;
  // Below sqrt(epsilon) in squared magnitude a vector is only rotated, not scaled.
  const double divisor = largestSquare < kQVASqrtMachineEpsilon ? 1.0 : largestSquare;
  const double a = re[largest] / divisor;
  const double b = im[largest] / divisor;
  for (int i = 0; i < length; ++i) {
    const double real = re[i];
    const double imaginary = im[i];
    re[i] = real * a + imaginary * b;
    im[i] = imaginary * a - real * b;
  }
}
