#include "QVADyn/QVADynCore/QVADynRespSpectrumSolver.h"

#include <cstddef>
#include <memory>

#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

namespace {

struct ArrayRelease {
  void operator()(double* values) const noexcept { mem_Free(values); }
};
using Array = std::unique_ptr<double[], ArrayRelease>;

}  // namespace

QVADynRespSpectrumSolver::~QVADynRespSpectrumSolver() = default;

QVADynSolution& QVADynRespSpectrumSolver::Solve(QVADynSolution& out,
                                                const QVADynModalOperators& ops, int numberOfFrames,
                                                const QVADynFrameValue* /*frames*/,
                                                QVADynEnergy* /*energy*/,
                                                const QVADynLoadCaseList& loads,
                                                QVADynLogFile /*log*/) try {
  QVA_VERIFY(numberOfFrames >= 0, kQVABasInvalidArgument,
             "QVADynRespSpectrumSolver::Solve: negative number of frames " << numberOfFrames);
  const std::size_t count = QVAIndex(ops.NumberOfActiveModes()) * QVAIndex(loads.NumberOfCases()) *
                            QVAIndex(numberOfFrames);
  Array displacement(mem_AllocZeroedArray<double>(count));
  Array velocity(mem_AllocZeroedArray<double>(count));
  Array acceleration(mem_AllocZeroedArray<double>(count));
  out.Adopt(displacement.release(), velocity.release(), acceleration.release());
  return out;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRespSpectrumSolver::Solve");
}
