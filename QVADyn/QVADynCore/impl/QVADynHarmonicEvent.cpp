#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "QVADynBlockedRecovery.h"
#include "QVADynBoundary.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

// Complex-number parts as members of the results' ComplexNumberPart collection.
constexpr int kRealMember = 4;
constexpr int kImaginaryMember = 0;

constexpr double kFourPiSquared = 39.47841760435743;

// Bytes of the store's cache hint for GU, per mode and frame.
constexpr std::int64_t kModalAmplitudeCacheBytes = 24;

// Raises QVABasError (kQVASrvIndexOutOfRange) unless 0 <= loadCase < cases.
void VerifyLoadCase(const char* operation, int loadCase, int cases) {
  QVA_VERIFY(loadCase >= 0 && loadCase < cases, kQVASrvIndexOutOfRange,
             operation << ": load case " << loadCase << " outside the " << cases
                       << " load cases; pass 0 ... " << cases - 1);
}

// Raises QVABasError (kQVASrvIndexOutOfRange) unless 0 <= frame < frames.
void VerifyFrame(const char* operation, int frame, int frames) {
  QVA_VERIFY(frame >= 0 && frame < frames, kQVASrvIndexOutOfRange,
             operation << ": frame " << frame << " outside the " << frames << " frames; pass 0 ... "
                       << frames - 1);
}

// The set {real, imaginary} over the results' ComplexNumberPart collection.
QVASimCSetID CreateComplexPartSet(const QVAFsmModalEventResults& results) {
  const int parts[] = {kRealMember, kImaginaryMember};
  return QVASimCollection(results.ComplexNumberPart()).CreateOCSet(parts, 2);
}

// A new [rows, Frames, complex part, Cases] result distribution.
QVASimDistributionID CreateComplexResult(const QVAFsmModalEventResults& results, int dataKind,
                                         const QVASimCSetID& rows, int rowBlock, int columnBlock) {
  const QVASimCSetID sets[] = {rows, results.Frames(), CreateComplexPartSet(results),
                               results.Cases()};
  const int blocks[] = {rowBlock, columnBlock, 1, 1};
  return QVASrvUtilities::CreateDistribution(results.MyPosition(), dataKind, 4, sets, blocks,
                                             false);
}

}  // namespace

QVADynHarmonicEvent::QVADynHarmonicEvent(const QVADynModalSystem& system,
                                         QVADynHarmonicSolver* solver,
                                         QVAFsmModalEventResults results) try
    : QVADynEvent(system, results), solver_(solver) {
} catch (...) {
  // The solver became the event's; an event that is not built deletes it.
  delete solver;
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::QVADynHarmonicEvent");
}

QVADynHarmonicEvent::~QVADynHarmonicEvent() { delete solver_; }

int QVADynHarmonicEvent::EventType() const { return 0; }

void QVADynHarmonicEvent::Solve(QVADynOperatorUpdate* update) try {
  QVA_VERIFY(solver_ != nullptr, kQVASrvInvalidState,
             "QVADynHarmonicEvent::Solve: the event was built without a solver");
  RunSolve(*solver_, update, 0,
           [this](const QVADynSolution& solution, const QVADynEnergy& /*energy*/) {
             StoreModalAmplitudes(solution);
           });
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::Solve");
}

void QVADynHarmonicEvent::StoreModalAmplitudes(const QVADynSolution& solution) {
  WriteCases();
  QVAFsmModalEventResults results = Results();
  const int m = NumberOfActiveModes();
  const int frames = NumberOfFrames();
  QVASimTransaction transaction(results.MyPosition().Context());
  const QVASimDistributionID amplitudes = CreateComplexResult(
      results, QVATypeIndex(QVADataKinds::kModalAmplitudes), results.ActiveModes(), m, frames);
  const std::int64_t partSize = std::int64_t{m} * frames;
  for (int loadCase = 0; loadCase < NumberOfCases(); ++loadCase) {
    if (loadCase == 0) {
      ResultView(amplitudes, kRealMember, 0).SetCacheSize(partSize * kModalAmplitudeCacheBytes);
    }
    double* realBlock = solution.Displacement() + 2 * partSize * loadCase;
    ResultSlice(amplitudes, kRealMember, loadCase)
        ->SetValues(0, m - 1, 0, frames - 1, QVASrvMatrix(m, frames, realBlock));
    ResultSlice(amplitudes, kImaginaryMember, loadCase)
        ->SetValues(0, m - 1, 0, frames - 1, QVASrvMatrix(m, frames, realBlock + partSize));
  }
  results.SetGU(transaction, amplitudes);
  transaction.Commit();
}

void QVADynHarmonicEvent::SetReactionForces(const bool* nodes, int loadCase,
                                            const QVASrvMatrix& real,
                                            const QVASrvMatrix& imaginary) try {
  const QVAFsmSystemDofDefinition& dofs = ModalSystem().DofDefinition();
  RecoveryDofs selected;
  selected.Select(dofs, nodes);
  const int count = selected.Count();
  const int frames = NumberOfFrames();
  std::vector<int> systemDofs(QVAIndex(count));
  for (int k = 0; k < count; ++k) {
    systemDofs[QVAIndex(k)] = dofs.SystemDofFromSolverDof(selected.Dofs()[k]);
  }

  QVAFsmModalEventResults results = Results();
  QVASimTransaction transaction(results.MyPosition().Context());
  WriteCases();
  VerifyLoadCase("QVADynHarmonicEvent::SetReactionForces", loadCase, NumberOfCases());
  QVASimDistributionID reactions = results.RF();
  if (!reactions.IsValid()) {
    int rowBlock = count;
    int columnBlock = std::min(frames, QVADynUtilities::ResultsColBlocksize());
    QVASrvUtilities::LimitChunkSize2GB(rowBlock, columnBlock, count, frames);
    const QVASimCSetID dofSet =
        QVASimCollection(results.Dofs()).CreateOrderedCSet(systemDofs.data(), count);
    reactions = CreateComplexResult(results, QVATypeIndex(QVADataKinds::kNodalResults), dofSet,
                                    rowBlock, columnBlock);
    results.SetRF(transaction, reactions);
  } else {
    // RF keeps the DOFs of its first call; other nodes would land on its rows.
    const QVASimCSet rows(ResultView(reactions, kRealMember, loadCase).Set(0));
    QVA_VERIFY(rows.Size() == count &&
                   std::equal(systemDofs.begin(), systemDofs.end(), rows.OrderedMembers()),
               kQVABasInvalidArgument,
               "QVADynHarmonicEvent::SetReactionForces: the reaction forces are stored for "
                   << rows.Size() << " DOFs of the nodes of the first call; these nodes give "
                   << count << " other DOFs; pass the same nodes for every load case");
  }
  if (count > 0 && frames > 0) {
    ResultSlice(reactions, kRealMember, loadCase)->SetValues(0, count - 1, 0, frames - 1, real);
    ResultSlice(reactions, kImaginaryMember, loadCase)
        ->SetValues(0, count - 1, 0, frames - 1, imaginary);
  }
  transaction.Commit();
  recoveryDofs_.Swap(selected);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::SetReactionForces");
}

void QVADynHarmonicEvent::GetModalAmplitudes(QVADynRecoveryType type, QVADynNumberType part,
                                             int frame, int loadCase, double* out) try {
  QVA_VERIFY(part == QVADynRealPart || part == QVADynImaginaryPart, kQVABasInvalidArgument,
             "QVADynHarmonicEvent::GetModalAmplitudes: part "
                 << static_cast<int>(part) << " is neither QVADynImaginaryPart (0) nor "
                 << "QVADynRealPart (1)");
  const QVASimDistributionID amplitudes = Results().GU();
  QVA_VERIFY(amplitudes.IsValid(), kQVASrvInvalidState,
             "QVADynHarmonicEvent::GetModalAmplitudes: no modal amplitudes; Solve the event first");
  VerifyLoadCase("QVADynHarmonicEvent::GetModalAmplitudes", loadCase, NumberOfCases());
  const double frequency = FrameValue(frame).first;
  // Velocity i omega U: its real part comes from the imaginary displacement.
  const bool crossed = type == QVADynRecoverVelocity;
  const bool readReal = (part == QVADynRealPart) != crossed;
  const int m = NumberOfActiveModes();
  QVASrvMatrix column(m, 1, out);
  ResultSlice(amplitudes, readReal ? kRealMember : kImaginaryMember, loadCase)
      ->GetValues(0, m - 1, frame, frame, column);
  double scale = 1.0;
  if (type == QVADynRecoverVelocity) {
    scale = part == QVADynRealPart ? -kQVATwoPi * frequency : kQVATwoPi * frequency;
  } else if (type == QVADynRecoverAcceleration) {
    scale = -kFourPiSquared * frequency * frequency;
  }
  if (type == QVADynRecoverVelocity || type == QVADynRecoverAcceleration) {
    for (int k = 0; k < m; ++k) out[k] *= scale;
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::GetModalAmplitudes");
}

void QVADynHarmonicEvent::Recover(const bool* nodes, int /*quantities*/) try {
  QVAFsmModalEventResults results = Results();
  const QVASimDistributionID amplitudes = results.GU();
  QVA_VERIFY(amplitudes.IsValid(), kQVASrvInvalidState,
             "QVADynHarmonicEvent::Recover: no modal amplitudes; Solve the event first");
  RecoveryDofs selected;
  selected.Select(ModalSystem().DofDefinition(), nodes);
  QVADynLogFile log = LogFile();
  log.Write(cow_String(kQVADynLogRecoverHeading).Append(kQVADynLogRecoveringDisplacement));
  const int count = selected.Count();
  if (count == 0) {
    recoveryDofs_.Swap(selected);
    return;
  }

  omi_Timer timer;
  timer.Start();
  QVADynBlockedRecovery recovery(ModalSystem(), selected.Dofs(), count, NumberOfFrames());
  log.Write(recovery.RangeLines());
  QVASimTransaction transaction(results.MyPosition().Context());
  const QVASimDistributionID displacement = CreateComplexResult(
      results, QVATypeIndex(QVADataKinds::kNodalResults), recovery.CreateDofSet(results),
      recovery.RowBlock(), recovery.ColumnBlock());
  for (int loadCase = 0; loadCase < NumberOfCases(); ++loadCase) {
    for (const int part : {kRealMember, kImaginaryMember}) {
      const std::unique_ptr<QVASrvDenseMatrix> out = ResultSlice(displacement, part, loadCase);
      const std::unique_ptr<QVASrvDenseMatrix> stored = ResultSlice(amplitudes, part, loadCase);
      recovery.Multiply(*stored, ActiveModes(), *out);
    }
  }
  results.SetU(transaction, displacement);
  transaction.Commit();
  recoveryDofs_.Swap(selected);
  timer.Stop();
  QVADynWriteLogQuietly(log, [&timer] {
    return cow_String(kQVADynLogRecoverTime)
        .AppendDouble(timer.ElapsedSeconds())
        .Append(kQVADynLogLineEnd);
  });
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::Recover");
}

void QVADynHarmonicEvent::ReadNodal(int part, int frame, int loadCase, double* out,
                                    QVADynRecoveryType type) {
  QVAFsmModalEventResults results = Results();
  const QVASimDistributionID stored =
      type == QVADynRecoverReactionForce ? results.RF() : results.U();
  if (!stored.IsValid()) return;
  const char* operation = part == kRealMember ? "QVADynHarmonicEvent::GetNodalResults"
                                              : "QVADynHarmonicEvent::GetImaginaryNodalResults";
  VerifyLoadCase(operation, loadCase, NumberOfCases());
  VerifyFrame(operation, frame, NumberOfFrames());
  ReadNodalValues(*ResultSlice(stored, part, loadCase), recoveryDofs_, frame, out);
}

void QVADynHarmonicEvent::GetNodalResults(const bool* /*nodes*/, int frame, int loadCase,
                                          double* out, QVADynRecoveryType type) try {
  ReadNodal(kRealMember, frame, loadCase, out, type);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::GetNodalResults");
}

void QVADynHarmonicEvent::GetImaginaryNodalResults(const bool* /*nodes*/, int frame, int loadCase,
                                                   double* out, QVADynRecoveryType type) try {
  ReadNodal(kImaginaryMember, frame, loadCase, out, type);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicEvent::GetImaginaryNodalResults");
}
