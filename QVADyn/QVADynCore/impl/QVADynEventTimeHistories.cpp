// The solve, recovery and read-back of the events whose results are time
// histories of real values (transient and response spectrum), built on the
// common solve driver and the blocked recovery.

#include <algorithm>
#include <memory>

#include "QVADyn/QVADynCore/QVADynEvent.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADynBlockedRecovery.h"
#include "QVADynBoundary.h"
#include "internal/QVADataKinds.h"
#include "platform/base/QVABasException.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

constexpr int kNumberOfQuantities = 3;
// Request bit of each quantity (QVADynRecoveryType 0, 1, 2) in Recover.
constexpr int kQuantityBits[kNumberOfQuantities] = {1, 2, 4};
constexpr const char* kQuantityNames[kNumberOfQuantities] = {
    kQVADynLogDisplacement, kQVADynLogVelocity, kQVADynLogAcceleration};

using Setter = void (QVAFsmModalEventResults::*)(QVASimTransaction&, const QVASimDistributionID&);
constexpr Setter kModalSetters[kNumberOfQuantities] = {&QVAFsmModalEventResults::SetGU,
                                                       &QVAFsmModalEventResults::SetGV,
                                                       &QVAFsmModalEventResults::SetGA};
constexpr Setter kPhysicalSetters[kNumberOfQuantities] = {
    &QVAFsmModalEventResults::SetU, &QVAFsmModalEventResults::SetV, &QVAFsmModalEventResults::SetA};

bool IsQuantity(QVADynRecoveryType type) {
  return type == QVADynRecoverDisplacement || type == QVADynRecoverVelocity ||
         type == QVADynRecoverAcceleration;
}

}  // namespace

void QVADynEvent::RunTimeHistorySolve(QVADynSolver& solver, QVADynOperatorUpdate* update,
                                      bool writeEnergies, TimeHistories& histories) {
  QVA_VERIFY(NumberOfCases() > 0, kQVASrvInvalidState,
             "QVADynEvent::Solve: the event has no load case; add one (LoadCase(0)), an empty "
             "one for a free vibration from initial conditions");
  RunSolve(solver, update, energyOutput_,
           [&](const QVADynSolution& solution, const QVADynEnergy& energy) {
             WriteCases();
             const double* arrays[kNumberOfQuantities] = {
                 solution.Displacement(), solution.Velocity(), solution.Acceleration()};
             for (const double* values : arrays) {
               QVA_VERIFY(values != nullptr, kQVASrvInvalidState,
                          "QVADynEvent::Solve: the solver handed back no displacement, velocity "
                          "and acceleration");
             }
             const QVASimPosition position = results_.MyPosition();
             QVASimTransaction transaction(position.Context());
             const QVASimCSetID modes = results_.ActiveModes();
             const QVASimCSetID frames = results_.Frames();
             const int m = numberOfActiveModes_;
             const int numberOfFrames = numberOfFrames_;
             std::unique_ptr<QVASrvDenseMatrix> stored[kNumberOfQuantities];
             for (int quantity = 0; quantity < kNumberOfQuantities; ++quantity) {
               stored[quantity] =
                   std::make_unique<QVASrvDenseMatrix>(QVASrvUtilities::Create2DDistribution(
                       position, QVATypeIndex(QVADataKinds::kModalHistory), modes, frames, -1, -1));
               // The matrix only reads the solver's values.
               double* values = const_cast<double*>(arrays[quantity]);
               stored[quantity]->SetValues(0, m - 1, 0, numberOfFrames - 1,
                                           QVASrvMatrix(m, numberOfFrames, values));
               (results_.*kModalSetters[quantity])(transaction, stored[quantity]->DistributionID());
             }
             transaction.Commit();
             if (writeEnergies) WriteEnergies(energy);
             for (int quantity = 0; quantity < kNumberOfQuantities; ++quantity) {
               histories.modal[quantity] = std::move(stored[quantity]);
             }
           });
}

void QVADynEvent::RecoverTimeHistories(const bool* nodes, int quantities,
                                       TimeHistories& histories) {
  for (int quantity = 0; quantity < kNumberOfQuantities; ++quantity) {
    QVA_VERIFY(
        (quantities & kQuantityBits[quantity]) == 0 || histories.modal[quantity],
        kQVASrvInvalidState,
        "QVADynEvent::Recover: no modal " << kQuantityNames[quantity] << "; Solve the event first");
  }
  const QVAFsmSystemDofDefinition& dofDefinition = system_.DofDefinition();
  RecoveryDofs selected;
  selected.Select(dofDefinition, nodes);
  QVADynLogFile log = LogFile();
  cow_String block(kQVADynLogRecoverHeading);
  block.Append(kQVADynLogRecoveringDataFor);
  for (int quantity = 0; quantity < kNumberOfQuantities; ++quantity) {
    if ((quantities & kQuantityBits[quantity]) != 0) {
      block.Append(kQuantityNames[quantity]).Append(kQVADynLogLineEnd);
    }
  }
  log.Write(block);

  omi_Timer timer;
  timer.Start();
  const int count = selected.Count();
  std::unique_ptr<QVASrvDenseMatrix> recovered[kNumberOfQuantities];
  if (count > 0) {
    QVADynBlockedRecovery recovery(system_, selected.Dofs(), count, numberOfFrames_);
    log.Write(recovery.RangeLines());
    const QVASimPosition position = results_.MyPosition();
    QVASimTransaction transaction(position.Context());
    const QVASimCSetID dofSet = recovery.CreateDofSet(results_);
    const QVASimCSetID frames = results_.Frames();
    for (int quantity = 0; quantity < kNumberOfQuantities; ++quantity) {
      if ((quantities & kQuantityBits[quantity]) == 0) continue;
      recovered[quantity] =
          std::make_unique<QVASrvDenseMatrix>(QVASrvUtilities::Create2DDistribution(
              position, QVATypeIndex(QVADataKinds::kPhysicalHistory), dofSet, frames,
              recovery.RowBlock(), recovery.ColumnBlock()));
      recovery.Multiply(*histories.modal[quantity], ActiveModes(), *recovered[quantity]);
      (results_.*kPhysicalSetters[quantity])(transaction, recovered[quantity]->DistributionID());
    }
    transaction.Commit();
  }
  histories.recoveryDofs.Swap(selected);
  for (int quantity = 0; quantity < kNumberOfQuantities; ++quantity) {
    if (recovered[quantity]) histories.physical[quantity] = std::move(recovered[quantity]);
  }
  timer.Stop();
  QVADynWriteLogQuietly(log, [&timer] {
    return cow_String(kQVADynLogRecoverTime)
        .AppendDouble(timer.ElapsedSeconds())
        .Append(kQVADynLogLineEnd);
  });
}

void QVADynEvent::ReadModalTimeHistory(const TimeHistories& histories, QVADynRecoveryType type,
                                       QVADynNumberType part, int frame, int loadCase,
                                       double* out) const {
  const int m = numberOfActiveModes_;
  if (part != QVADynRealPart || !IsQuantity(type)) {
    std::fill_n(out, m, 0.0);
    return;
  }
  const QVASrvDenseMatrix* amplitudes = histories.modal[type].get();
  QVA_VERIFY(amplitudes != nullptr, kQVASrvInvalidState,
             "QVADynEvent::GetModalAmplitudes: no modal amplitudes; Solve the event first");
  QVA_VERIFY(loadCase >= 0 && loadCase < NumberOfCases(), kQVASrvIndexOutOfRange,
             "QVADynEvent::GetModalAmplitudes: load case "
                 << loadCase << " outside the " << NumberOfCases() << " load cases; pass 0 ... "
                 << NumberOfCases() - 1);
  QVA_VERIFY(frame >= 0 && frame < numberOfFrames_, kQVASrvIndexOutOfRange,
             "QVADynEvent::GetModalAmplitudes: frame " << frame << " outside the "
                                                       << numberOfFrames_ << " frames; pass 0 ... "
                                                       << numberOfFrames_ - 1);
  const int column = NumberOfCases() * frame + loadCase;
  QVASrvMatrix values(m, 1, out);
  amplitudes->GetValues(0, m - 1, column, column, values);
}

void QVADynEvent::ReadNodalTimeHistory(const TimeHistories& histories, int frame, double* out,
                                       QVADynRecoveryType type) {
  QVA_VERIFY(frame >= 0 && frame < numberOfFrames_, kQVASrvIndexOutOfRange,
             "QVADynEvent::GetNodalResults: frame " << frame << " outside the " << numberOfFrames_
                                                    << " frames; pass 0 ... "
                                                    << numberOfFrames_ - 1);
  const RecoveryDofs& dofs = histories.recoveryDofs;
  const QVASrvDenseMatrix* recovered = IsQuantity(type) ? histories.physical[type].get() : nullptr;
  if (recovered != nullptr) {
    ReadNodalValues(*recovered, dofs, frame, out);
    return;
  }
  for (const RecoveryDofs::PlaceRun& run : dofs.PlaceRuns()) {
    std::fill_n(out + run.place, run.length, 0.0);
  }
}
