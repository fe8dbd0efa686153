#include "QVADyn/QVADynCore/QVADynForce.h"

#include <algorithm>

#include "QVADyn/QVADynCore/QVADynColumnTotalException.h"
#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVABlaModule.h"

namespace {

const char* PartName(QVADynNumberType part) {
  return part == QVADynRealPart ? "real" : "imaginary";
}

std::vector<int> CopyIndices(const int* indices, int count, const char* listName) {
  QVA_VERIFY(
      count == 0 || indices != nullptr, kQVABasInvalidArgument,
      "QVADynForce: the " << listName << " amplitude list is null but has " << count << " entries");
  return std::vector<int>(indices, indices + count);
}

}  // namespace

QVADynForce::QVADynForce(QVASrvMatrix* forces, const int* realAmplitudes, int nReal,
                         const int* imaginaryAmplitudes, int nImag) try {
  const int columns = forces != nullptr ? forces->NumberOfColumns() : 0;
  if (nReal < 0 || nImag < 0 || nReal + nImag != columns) {
    QVADynColumnTotalException().Throw("QVADyn/QVADynCore/impl/QVADynForce", 19);
  }
  imaginaryAmplitudes_ = CopyIndices(imaginaryAmplitudes, nImag, "imaginary");
  realAmplitudes_ = CopyIndices(realAmplitudes, nReal, "real");
  amplitudeScratch_.resize(QVAIndex(std::max(nReal, nImag)));
  forces_.reset(forces);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynForce::QVADynForce");
}

QVADynForce::~QVADynForce() = default;

int QVADynForce::NumberOfModes() const { return forces_ != nullptr ? forces_->NumberOfRows() : 0; }

const std::vector<int>& QVADynForce::IndicesOf(QVADynNumberType part) const {
  QVA_VERIFY(part == QVADynRealPart || part == QVADynImaginaryPart, kQVABasInvalidArgument,
             "QVADynForce: number part " << static_cast<int>(part) << " is neither "
                                         << static_cast<int>(QVADynImaginaryPart)
                                         << " (imaginary) nor " << static_cast<int>(QVADynRealPart)
                                         << " (real)");
  return part == QVADynRealPart ? realAmplitudes_ : imaginaryAmplitudes_;
}

int QVADynForce::NumberOfAmplitudes(QVADynNumberType part) const {
  return static_cast<int>(IndicesOf(part).size());
}

const int* QVADynForce::AmplitudeIndices(QVADynNumberType part) const {
  return IndicesOf(part).data();
}

void QVADynForce::VerifyModalForce(const QVASrvMatrix* amplitudes, QVADynNumberType part,
                                   int frame) const {
  const std::vector<int>& indices = IndicesOf(part);
  if (indices.empty()) return;
  QVA_VERIFY(amplitudes != nullptr, kQVASrvInvalidState,
             "QVADynForce::AddModalForce: the " << PartName(part) << " part scales "
                                                << indices.size()
                                                << " columns but the event has no amplitude "
                                                   "table; adopt one before the solve");
  const int rows = amplitudes->NumberOfRows();
  const int frames = amplitudes->NumberOfColumns();
  QVA_VERIFY(frame >= 0 && frame < frames, kQVASrvIndexOutOfRange,
             "QVADynForce::AddModalForce: frame " << frame << " outside the amplitude table's "
                                                  << frames << " columns [0, " << frames << ")");
  for (std::size_t j = 0; j < indices.size(); ++j) {
    QVA_VERIFY(indices[j] >= 0 && indices[j] < rows, kQVASrvIndexOutOfRange,
               "QVADynForce::AddModalForce: amplitude index "
                   << indices[j] << " of " << PartName(part) << " column " << j
                   << " outside the amplitude table's " << rows << " rows [0, " << rows << ")");
  }
}

void QVADynForce::AddModalForce(double* column, const QVASrvMatrix* amplitudes,
                                QVADynNumberType part, int frame) const {
  VerifyModalForce(amplitudes, part, frame);
  AddVerifiedModalForce(column, amplitudes, part, frame);
}

void QVADynForce::AddVerifiedModalForce(double* column, const QVASrvMatrix* amplitudes,
                                        QVADynNumberType part, int frame) const {
  const std::vector<int>& indices = IndicesOf(part);
  const int count = static_cast<int>(indices.size());
  const int numberOfModes = NumberOfModes();
  if (count == 0 || numberOfModes == 0) return;

  // Full and symmetric tables holding values are read in place.
  if (amplitudes->IsDiagonal() || amplitudes->State() != QVASrvMatrix::Content::kValues) {
    for (std::size_t j = 0; j < indices.size(); ++j) {
      amplitudeScratch_[j] = (*amplitudes)(indices[j], frame);
    }
  } else {
    const double* frameAmplitudes =
        amplitudes->Values() + static_cast<std::ptrdiff_t>(frame) * amplitudes->NumberOfRows();
    for (std::size_t j = 0; j < indices.size(); ++j) {
      amplitudeScratch_[j] = frameAmplitudes[indices[j]];
    }
  }

  const int firstColumn = part == QVADynRealPart ? 0 : NumberOfAmplitudes(QVADynRealPart);
  if (forces_->IsDiagonal()) {
    // Column k of a diagonal matrix holds its only value on row k.
    const double* diagonal = forces_->Values();
    for (std::size_t j = 0; j < indices.size(); ++j) {
      const std::size_t mode = QVAIndex(firstColumn) + j;
      column[mode] += diagonal[mode] * amplitudeScratch_[j];
    }
    return;
  }
  const char noTranspose = 'N';
  const double one = 1.0;
  const int unitIncrement = 1;
  const double* block =
      forces_->Values() + static_cast<std::ptrdiff_t>(firstColumn) * numberOfModes;
  BLAC_DGEMV(&noTranspose, &numberOfModes, &count, &one, block, &numberOfModes,
             amplitudeScratch_.data(), &unitIncrement, &one, column, &unitIncrement);
}
