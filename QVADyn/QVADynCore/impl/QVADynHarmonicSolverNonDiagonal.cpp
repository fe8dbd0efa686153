#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "platform/base/QVABasException.h"

void QVADynHarmonicSolver::SolveNonDiagonal(double* /*output*/, const QVADynModalOperators& ops,
                                            int /*numberOfFrames*/,
                                            const QVADynFrameValue* /*frames*/,
                                            const QVADynLoadCaseList& /*loads*/,
                                            const QVADynLogFile& /*log*/) {
  QVA_RAISE(kQVASrvInvalidState, "QVADynHarmonicSolver: the solve of "
                                     << ops.NumberOfActiveModes()
                                     << " modes with non-diagonal damping or an "
                                        "operator update is not available in this "
                                        "build; use diagonal damping");
}

void QVADynHarmonicSolver::SolveCoupledAcoustic(double* /*output*/, const QVADynModalOperators& ops,
                                                int /*numberOfFrames*/,
                                                const QVADynFrameValue* /*frames*/,
                                                const QVADynLoadCaseList& /*loads*/,
                                                const QVADynLogFile& /*log*/) {
  QVA_RAISE(kQVASrvInvalidState, "QVADynHarmonicSolver: the coupled structural-acoustic solve of "
                                     << ops.NumberOfActiveModes() << " modes ("
                                     << ops.NumberOfAcousticModes()
                                     << " acoustic) is not available in this build");
}
