#pragma once

// One modal load of a load case: a matrix of modal load patterns (one row per
// active mode, in the order of the event's active-mode list, one column per
// pattern) whose columns are scaled frame by frame by rows of the event's
// amplitude table. The first nReal columns form the real part of the load,
// the following nImag columns its imaginary part; column j of a part is scaled
// by the amplitude-table row named by entry j of that part's index list.
//
// Two active modes, one real and one imaginary pattern, scaled by amplitude
// rows 3 and 0:
//
//   forces = | 1.0  0.5 |     realAmplitudes = {3}   imaginaryAmplitudes = {0}
//            | 2.0  0.0 |
//
//   real part at frame f:       column += table(3, f) * {1.0, 2.0}
//   imaginary part at frame f:  column += table(0, f) * {0.5, 0.0}
//
// Forming a part costs one matrix-vector product; the gathered amplitudes go
// to a scratch array owned by the force, so nothing is allocated per frame.
// A force is used by one thread at a time.

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvMatrix.h"

class QVADYN_EXPORT QVADynForce : public mem_AllocationOperators {
 public:
  // Checks the column split, copies the two index lists (nReal and nImag
  // entries; a list may be null when its count is 0) and then takes ownership
  // of `forces` (allocated with new), which the force deletes.
  // A null `forces` stands for a matrix without columns (what
  // QVADynUtilities::ProjectForce returns for a load without columns); such a
  // force adds nothing.
  // Raises QVADynColumnTotalException (at "QVADyn/QVADynCore/impl/QVADynForce",
  // line 19) when nReal or nImag is negative or nReal + nImag differs from the
  // column count of `forces`, and QVABasError (kQVABasInvalidArgument) when an
  // index list is null although its count is not 0. Ownership passes only when
  // the constructor returns: whenever it raises (lack of memory included), the
  // caller still owns `forces` and must delete it.
  QVADynForce(QVASrvMatrix* forces, const int* realAmplitudes, int nReal,
              const int* imaginaryAmplitudes, int nImag);
  QVADynForce(const QVADynForce&) = delete;
  QVADynForce& operator=(const QVADynForce&) = delete;
  // Deletes the force matrix.
  ~QVADynForce();

  // The force matrix; null for a force without columns.
  const QVASrvMatrix* Forces() const { return forces_.get(); }
  // Rows of the force matrix (0 without a matrix): the number of modal-force
  // entries this force adds to.
  int NumberOfModes() const;
  // nReal or nImag, and the list of amplitude-table rows of that part.
  int NumberOfAmplitudes(QVADynNumberType part) const;
  const int* AmplitudeIndices(QVADynNumberType part) const;

  // Raises QVABasError unless AddModalForce(column, amplitudes, part, frame)
  // can read everything it needs: `part` must be QVADynRealPart or
  // QVADynImaginaryPart (kQVABasInvalidArgument); when the part has columns,
  // `amplitudes` must be given (kQVASrvInvalidState), every amplitude index
  // of the part must lie in [0, rows of the table) and `frame` in
  // [0, columns of the table) (kQVASrvIndexOutOfRange, naming index and bound).
  void VerifyModalForce(const QVASrvMatrix* amplitudes, QVADynNumberType part, int frame) const;

  // column <- A * x + column, where A is the part's column block of the force
  // matrix and x_j = amplitudes(L[j], frame) for the part's index list L; one
  // BLAC_DGEMV ('N', NumberOfModes() rows, lda = NumberOfModes()). A part
  // without columns adds nothing. `column` holds NumberOfModes() values.
  // Raises as VerifyModalForce before anything is written. Writes only the
  // force's scratch array besides `column`.
  void AddModalForce(double* column, const QVASrvMatrix* amplitudes, QVADynNumberType part,
                     int frame) const;

 private:
  // A load case verifies all its forces and motions before it adds any.
  friend class QVADynLoadCase;

  // AddModalForce without VerifyModalForce.
  void AddVerifiedModalForce(double* column, const QVASrvMatrix* amplitudes, QVADynNumberType part,
                             int frame) const;
  const std::vector<int>& IndicesOf(QVADynNumberType part) const;

  std::vector<int> imaginaryAmplitudes_;
  std::vector<int> realAmplitudes_;
  // max(nReal, nImag) gathered amplitudes of the part being formed.
  mutable std::vector<double> amplitudeScratch_;
  // Adopted last, so that nothing can raise once the force owns the matrix.
  std::unique_ptr<QVASrvMatrix> forces_;
};
