#include "QVADyn/QVADynCore/QVADynEnergy.h"

#include <limits>
#include <string>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

bool IsModalKind(int kind) { return kind >= QVADynEnergyKE && kind <= QVADynEnergyWork; }

bool IsKind(int kind) { return kind >= 0 && kind < QVADynEnergy::kNumberOfKinds; }

// a * b, raising QVABasOutOfMemory when the count does not fit a size_t.
std::size_t CountProduct(std::size_t a, std::size_t b) {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) {
    QVABasOutOfMemory(("QVADynEnergy: " + std::to_string(a) + " x " + std::to_string(b) +
                       " energy values exceed the address space")
                          .c_str())
        .Throw(__FILE__, __LINE__);
  }
  return a * b;
}

}  // namespace

void QVADynEnergy::ArrayRelease::operator()(double* values) const noexcept { mem_Free(values); }

QVADynEnergy::QVADynEnergy(int request, int numberOfModes, int numberOfCases,
                           int numberOfFrames) try
    : request_(request),
      numberOfModes_(numberOfModes),
      numberOfCases_(numberOfCases),
      numberOfFrames_(numberOfFrames) {
  QVA_VERIFY(
      numberOfModes >= 0 && numberOfCases >= 0 && numberOfFrames >= 0, kQVABasInvalidArgument,
      "QVADynEnergy: negative count among " << numberOfModes << " modes, " << numberOfCases
                                            << " load cases and " << numberOfFrames << " frames");
  for (int kind = 0; kind < kNumberOfKinds; ++kind) {
    if (!IsRequested(kind)) continue;
    const std::size_t length = Length(kind);
    arrays_[kind] = EnergyArray(IsModalKind(kind) ? mem_AllocArray<double>(length)
                                                  : mem_AllocZeroedArray<double>(length));
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEnergy::QVADynEnergy");
}

QVADynEnergy::~QVADynEnergy() = default;

double* QVADynEnergy::Array(int kind) { return IsKind(kind) ? arrays_[kind].get() : nullptr; }

const double* QVADynEnergy::Array(int kind) const {
  return IsKind(kind) ? arrays_[kind].get() : nullptr;
}

std::size_t QVADynEnergy::Length(int kind) const {
  if (!IsRequested(kind)) return 0;
  const std::size_t wholeModel = CountProduct(QVAIndex(numberOfCases_), QVAIndex(numberOfFrames_));
  if (!IsModalKind(kind)) return wholeModel;
  return CountProduct(wholeModel, QVAIndex(numberOfModes_));
}

bool QVADynEnergy::IsRequested(int kind) const {
  return IsKind(kind) && (request_ & (1 << kind)) != 0;
}

bool QVADynEnergy::WantsWork() const {
  return arrays_[QVADynEnergyWork] != nullptr || arrays_[QVADynEnergyAllWork] != nullptr;
}
