#include "QVADyn/QVADynCore/QVADynEvent.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModeNumberMismatch.h"
#include "QVADyn/QVADynCore/QVADynMultipleCallsException.h"
#include "QVADyn/QVADynCore/QVADynSolver.h"
#include "QVADyn/QVADynCore/QVADynUnknownEnergyType.h"
#include "QVADynBoundary.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDMember.h"
#include "platform/modeldb/QVASimDataRecord.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

// Source place reported with the event's exceptions.
constexpr const char* kSourcePath = "QVADyn/QVADynCore/impl/QVADynEvent";
// Line numbers fixed by the documented exception texts that hosts match, not lines of this file.
constexpr int kSetActiveModesLine = 97;
constexpr int kSetFrameValuesLine = 135;
constexpr int kSetDiagonalDampingLine = 190;
constexpr int kGetModalForceLine = 354;
constexpr int kModalEnergyLine = 438;
constexpr int kWholeModelEnergyLine = 460;

// Projected-damping request bits.
constexpr int kViscousBit = 1;
constexpr int kStructuralBit = 2;
constexpr int kAcousticViscousBit = 4;

template <class T>
T* CopyArray(const T* values, int n) {
  T* copy = mem_AllocArray<T>(QVAIndex(n));
  std::copy(values, values + n, copy);
  return copy;
}

bool IsModalKind(int kind) {
  return kind == QVADynEnergyKE || kind == QVADynEnergySE || kind == QVADynEnergyWork;
}

bool IsWholeModelKind(int kind) {
  return kind == QVADynEnergyAllKE || kind == QVADynEnergyAllSE || kind == QVADynEnergyAllWork;
}

// Raises QVABasError (kQVABasInvalidArgument) unless `results` is a results
// object of the modal system of `system`: in its database, over its modes and
// DOFs.
void VerifyResultsOfSystem(const QVADynModalSystem& system,
                           const QVAFsmModalEventResults& results) {
  const QVAFsmModalSystem& modal = system.ModalDatabaseObject();
  QVA_VERIFY(results.IsValid(), kQVABasInvalidArgument,
             "QVADynEvent: the results object is empty; create it with "
             "CreateModalEventResults over the modal system's database object");
  QVA_VERIFY(results.MyPosition().Database() == modal.MyPosition().Database(),
             kQVABasInvalidArgument,
             "QVADynEvent: the results object lies in another database than the modal system; "
             "create it with CreateModalEventResults of the modal system's database");
  QVA_VERIFY(results.Modes() == modal.ModesCollection() && results.Dofs() == modal.Dofs(),
             kQVABasInvalidArgument,
             "QVADynEvent: the results object belongs to another modal system (DOF collection of "
                 << QVASimCollection(results.Dofs()).Size() << " DOFs, the modal system's of "
                 << QVASimCollection(modal.Dofs()).Size()
                 << "); create it with CreateModalEventResults over this modal system's "
                    "database object");
}

// The name of field `field` (0 ... 3) of a diagonal damping record.
constexpr const char* kDampingFieldNames[] = {"structural damping factor",
                                              "critical damping fraction", "Rayleigh mass factor",
                                              "Rayleigh stiffness factor"};

}  // namespace

void QVADynEvent::ArrayRelease::operator()(void* values) const noexcept { mem_Free(values); }

QVADynEvent::QVADynEvent(const QVADynModalSystem& system, QVAFsmModalEventResults results) try
    : results_(results), system_(system), loadCases_(std::make_unique<QVADynLoadCaseList>()) {
  VerifyResultsOfSystem(system, results);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::QVADynEvent");
}

QVADynEvent::~QVADynEvent() {
  loadCases_.reset();
  for (std::unique_ptr<QVASrvDenseMatrix>& matrix : energyMatrices_) matrix.reset();
  activeModes_.reset();
  frameValues_.reset();
  diagonalDamping_.reset();
  QVADynWriteLogQuietly(system_.LogFile(), [this] {
    return cow_String(kQVADynLogReadingNodalDataTime)
        .AppendDouble(nodalReadSeconds_)
        .Append(kQVADynLogLineEnd);
  });
}

QVADynLogFile QVADynEvent::LogFile() const { return system_.LogFile(); }

// --- active modes and frames -------------------------------------------------

QVADynFrameValue QVADynEvent::FrameValue(int i) const {
  QVA_VERIFY(i >= 0 && i < numberOfFrames_, kQVASrvIndexOutOfRange,
             "QVADynEvent::FrameValue: frame " << i << " outside the " << numberOfFrames_
                                               << " frames [0, " << numberOfFrames_ << ")");
  return frameValues_[QVAIndex(i)];
}

void QVADynEvent::VerifyActiveModes(int n, const int* modes) const {
  QVA_VERIFY(n >= 0, kQVABasInvalidArgument,
             "QVADynEvent::SetActiveModes: negative number of active modes " << n);
  QVA_VERIFY(n == 0 || modes != nullptr, kQVABasInvalidArgument,
             "QVADynEvent::SetActiveModes: no list for " << n << " active modes");
  const int numberOfModes = system_.NumberOfModes();
  std::vector<bool> seen(QVAIndex(std::max(numberOfModes, 0)), false);
  for (int i = 0; i < n; ++i) {
    const int mode = modes[i];
    QVA_VERIFY(mode >= 0 && mode < numberOfModes, kQVABasInvalidArgument,
               "QVADynEvent::SetActiveModes: entry " << i << " is mode " << mode << ", outside the "
                                                     << numberOfModes << " modes [0, "
                                                     << numberOfModes << ") of the modal system");
    QVA_VERIFY(
        !seen[QVAIndex(mode)], kQVABasInvalidArgument,
        "QVADynEvent::SetActiveModes: mode " << mode << " is listed twice (entry " << i << ")");
    seen[QVAIndex(mode)] = true;
  }
  // A subset of a system with acoustic modes carries all of them, last.
  const int acoustic = system_.NumberOfAcousticModes();
  if (acoustic == 0 || n == 0 || n == numberOfModes) return;
  const int firstAcousticMode = numberOfModes - acoustic;
  bool split = n >= acoustic;
  for (int i = 0; split && i < n; ++i) {
    split = (modes[i] >= firstAcousticMode) == (i >= n - acoustic);
  }
  QVA_VERIFY(split, kQVABasInvalidArgument,
             "QVADynEvent::SetActiveModes: the modal system has "
                 << acoustic << " acoustic modes (" << firstAcousticMode << " ... "
                 << numberOfModes - 1
                 << "); they must be the last entries of the active-mode list, after the "
                    "structural ones");
}

void QVADynEvent::SetActiveModes(int n, const int* modes) try {
  if (numberOfActiveModes_ != 0) {
    QVADynMultipleCallsException("QVADynEvent::SetActiveModes")
        .Throw(kSourcePath, kSetActiveModesLine);
  }
  VerifyActiveModes(n, modes);
  std::unique_ptr<int[], ArrayRelease> copy(CopyArray(modes, n));
  // With every mode active the amplitudes run in mode order.
  if (n == system_.NumberOfModes()) {
    for (int i = 0; i < n; ++i) copy[QVAIndex(i)] = i;
  }
  WriteActiveModes(n, modes);
  activeModes_ = std::move(copy);
  numberOfActiveModes_ = n;
  numberOfActiveAcousticModes_ = system_.NumberOfAcousticModes();
  loadCases_->SetNumberOfActiveModes(n);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::SetActiveModes");
}

void QVADynEvent::WriteActiveModes(int n, const int* modes) {
  QVASimTransaction transaction(results_.MyPosition().Context());
  const QVASimCollectionID collection = results_.Modes();
  results_.SetActiveModes(transaction, QVASimCollection(collection).CreateCSet(modes, n, false));
  transaction.Commit();
}

void QVADynEvent::SetFrameValues(int n, const QVADynFrameValue* values) try {
  if (numberOfFrames_ != 0) {
    QVADynMultipleCallsException("QVADynEvent::SetFrameValues")
        .Throw(kSourcePath, kSetFrameValuesLine);
  }
  QVA_VERIFY(n >= 0, kQVABasInvalidArgument,
             "QVADynEvent::SetFrameValues: negative number of frames " << n);
  QVA_VERIFY(n == 0 || values != nullptr, kQVABasInvalidArgument,
             "QVADynEvent::SetFrameValues: no values for " << n << " frames");
  std::unique_ptr<QVADynFrameValue[], ArrayRelease> copy(CopyArray(values, n));
  const int earlierCount = numberOfFrames_;
  frameValues_.swap(copy);
  numberOfFrames_ = n;
  try {
    WriteFrames();
  } catch (...) {
    frameValues_.swap(copy);
    numberOfFrames_ = earlierCount;
    throw;
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::SetFrameValues");
}

void QVADynEvent::WriteFrames() {
  QVASimTransaction transaction(results_.MyPosition().Context());
  const QVASimCollectionID collection = results_.FramesCollection();
  results_.SetFrames(transaction,
                     QVASimCollection(collection).CreateCSetStrided(0, numberOfFrames_, 1, 1));
  transaction.Commit();
}

// --- loading ------------------------------------------------------------------

QVADynLoadCase& QVADynEvent::LoadCase(int i) try { return loadCases_->LoadCase(i); } catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::LoadCase");
}

const QVADynLoadCase& QVADynEvent::ConstLoadCase(int i) const {
  return loadCases_->ConstLoadCase(i);
}

int QVADynEvent::NumberOfCases() const { return loadCases_->NumberOfCases(); }

void QVADynEvent::AdoptAmplitudeTable(QVASrvMatrix* table) {
  loadCases_->AdoptAmplitudeTable(table);
}

QVASrvMatrix* QVADynEvent::AmplitudeTable() { return loadCases_->AmplitudeTable(); }

void QVADynEvent::GetModalForce(QVADynNumberType part, int frame, double* out,
                                int leadingDimension) const try {
  if (leadingDimension < numberOfActiveModes_) {
    QVADynModeNumberMismatch("QVADynEvent::GetModalForce").Throw(kSourcePath, kGetModalForceLine);
  }
  loadCases_->GetModalForces(out, part, frame);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::GetModalForce");
}

void QVADynEvent::WriteCases() {
  const QVASimCSetID existing = results_.Cases();
  if (existing.IsValid() && QVASimCSet(existing).Size() > 0) return;
  const QVASimPosition position = results_.MyPosition();
  const QVASimCollectionID cases = results_.CasesCollection();
  QVASimTransaction transaction(position.Context());
  const int count = NumberOfCases();
  std::vector<int> members(QVAIndex(count));
  for (int i = 0; i < count; ++i) {
    const QVASimDataRecord loadCase =
        position.CreateDataRecord(transaction, QVATypeIndex(QVADataKinds::kLoadCaseRecord), cases);
    QVASimDataRecord name = position.CreateDataRecord(
        transaction, QVATypeIndex(QVADataKinds::kLoadCaseName), QVASimCollectionID());
    name.SetStringField(0, cow_String("LoadCase #").AppendInt(i).Text());
    name.Associate(QVATypeIndex(QVADataKinds::kNameAssociation), loadCase);
    members[QVAIndex(i)] = loadCase.Member();
  }
  results_.SetCases(transaction, QVASimCollection(cases).CreateCSet(members.data(), count, false));
  transaction.Commit();
}

// --- damping ------------------------------------------------------------------

void QVADynEvent::SetDiagonalDamping(int n, const QVADynDiagonalDamping* records) try {
  if (n != numberOfActiveModes_) {
    QVADynModeNumberMismatch("QVADynEvent::SetModalDamping!")
        .Throw(kSourcePath, kSetDiagonalDampingLine);
  }
  QVA_VERIFY(n == 0 || records != nullptr, kQVABasInvalidArgument,
             "QVADynEvent::SetDiagonalDamping: no records for " << n << " active modes");
  for (int i = 0; i < n; ++i) {
    const double fields[] = {records[i].structural, records[i].criticalFraction,
                             records[i].massFactor, records[i].stiffnessFactor};
    for (int field = 0; field < 4; ++field) {
      QVA_VERIFY(std::isfinite(fields[field]), kQVABasInvalidArgument,
                 "QVADynEvent::SetDiagonalDamping: record "
                     << i << " (active mode " << activeModes_[QVAIndex(i)] << ") has the "
                     << kDampingFieldNames[field] << " " << fields[field]
                     << "; pass a finite number (0.0 for none)");
    }
  }
  diagonalDamping_.reset(CopyArray(records, n));
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::SetDiagonalDamping");
}

int QVADynEvent::RequestProjectedDamping(int flags) {
  int grant = 0;
  if ((flags & kViscousBit) != 0 && system_.ViscousDamping() != nullptr) grant |= kViscousBit;
  if ((flags & kStructuralBit) != 0 && system_.StructuralDamping() != nullptr) {
    grant |= kStructuralBit;
  }
  if ((flags & kAcousticViscousBit) != 0 && system_.AcousticViscousDamping() != nullptr) {
    grant |= kAcousticViscousBit;
  }
  grantedProjectedDamping_ = grant;
  return grant;
}

QVADynModalDamping* QVADynEvent::getDamping() const try {
  const int grant = grantedProjectedDamping_;
  return new QVADynModalDamping(
      DiagonalDamping(), numberOfActiveModes_,
      (grant & kViscousBit) != 0 ? system_.ViscousDamping() : nullptr,
      (grant & kStructuralBit) != 0 ? system_.StructuralDamping() : nullptr,
      (grant & kAcousticViscousBit) != 0 ? system_.AcousticViscousDamping() : nullptr);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynEvent::getDamping");
}

// --- the common solve ---------------------------------------------------------

void QVADynEvent::RunSolve(QVADynSolver& solver, QVADynOperatorUpdate* update, int energyRequest,
                           const SolutionStore& store) {
  QVA_VERIFY(numberOfActiveModes_ > 0 && numberOfFrames_ > 0, kQVASrvInvalidState,
             "QVADynEvent::Solve: " << numberOfActiveModes_ << " active modes and "
                                    << numberOfFrames_
                                    << " frames; set both (SetActiveModes, SetFrameValues) "
                                       "before the solve");
  QVADynLogFile log = LogFile();
  cow_String heading(kQVADynLogSolveHeading);
  heading.Append(kQVADynLogPhysicalDofs)
      .AppendInt(system_.DofDefinition().NumberOfDofs())
      .Append(kQVADynLogLineEnd);
  heading.Append(kQVADynLogActiveModalDofs)
      .AppendInt(numberOfActiveModes_)
      .Append(kQVADynLogLineEnd);
  heading.Append(kQVADynLogFrequencyPoints).AppendInt(numberOfFrames_).Append(kQVADynLogLineEnd);
  heading.Append(kQVADynLogLineEnd);
  log.Write(heading);

  omi_Timer timer;
  timer.Start();
  QVADynModalOperators operators(system_, update);
  {
    const std::unique_ptr<QVADynModalDamping> damping(getDamping());
    operators.Build(numberOfActiveModes_, ActiveModes(), *damping);
  }
  QVADynEnergy energy(energyRequest, numberOfActiveModes_, NumberOfCases(), numberOfFrames_);
  QVADynSolution solution;
  solver.Solve(solution, operators, numberOfFrames_, FrameValues(), &energy, *loadCases_, log);
  // Everything the store step writes (load cases, amplitudes, energies)
  // becomes visible together or not at all.
  QVASimTransaction transaction(results_.MyPosition().Context());
  store(solution, energy);
  transaction.Commit();
  solution.Release();
  timer.Stop();
  QVADynWriteLogQuietly(log, [&timer] {
    return cow_String(kQVADynLogSolveTime)
        .AppendDouble(timer.ElapsedSeconds())
        .Append(kQVADynLogLineEnd);
  });
}

QVASimDistribution QVADynEvent::ResultView(const QVASimDistributionID& distribution, int part,
                                           int loadCase) const {
  const QVASimCollectionID parts = results_.ComplexNumberPart();
  QVASimDMember members(parts, QVASimCollection(parts).GetCMemberID(part));
  members.Add(results_.CasesCollection(), QVASimCSet(results_.Cases())[loadCase]);
  return QVASimDistribution(distribution, members);
}

std::unique_ptr<QVASrvDenseMatrix> QVADynEvent::ResultSlice(
    const QVASimDistributionID& distribution, int part, int loadCase) const {
  return std::make_unique<QVASrvDenseMatrix>(ResultView(distribution, part, loadCase));
}

// --- read-back ----------------------------------------------------------------

void QVADynEvent::RecoveryDofs::Select(const QVAFsmSystemDofDefinition& dofs, const bool* nodes) {
  int count = 0;
  int* selected = dofs.SolverDofsFromNodes(nodes, count);
  std::vector<PlaceRun> runs;
  try {
    const int maxNodalDof = dofs.MaxNodalDof();
    for (int k = 0; k < count; ++k) {
      const QVAFsmNodeDof nodeDof = dofs.NodeDofFromSolverDof(selected[k]);
      const std::int64_t place =
          static_cast<std::int64_t>(nodeDof.node) * maxNodalDof + nodeDof.dof;
      if (!runs.empty() && runs.back().place + runs.back().length == place) {
        ++runs.back().length;
      } else {
        runs.push_back(PlaceRun{k, 1, place});
      }
    }
  } catch (...) {
    mem_Free(selected);
    throw;
  }
  mem_Free(dofs_);
  dofs_ = selected;
  count_ = count;
  placeRuns_.swap(runs);
  checkedRowSets_.clear();
}

void QVADynEvent::RecoveryDofs::Swap(RecoveryDofs& other) noexcept {
  std::swap(dofs_, other.dofs_);
  std::swap(count_, other.count_);
  placeRuns_.swap(other.placeRuns_);
  checkedRowSets_.swap(other.checkedRowSets_);
}

bool QVADynEvent::RecoveryDofs::WasChecked(const QVASimCSetID& rowSet) const {
  return std::find(checkedRowSets_.begin(), checkedRowSets_.end(), rowSet) != checkedRowSets_.end();
}

void QVADynEvent::RecoveryDofs::NoteChecked(const QVASimCSetID& rowSet) const {
  checkedRowSets_.push_back(rowSet);
}

QVADynEvent::RecoveryDofs::~RecoveryDofs() { mem_Free(dofs_); }

void QVADynEvent::ReadNodalValues(const QVASrvDenseMatrix& matrix, const RecoveryDofs& dofs,
                                  int frame, double* out) {
  omi_Timer timer;
  timer.Start();
  const int count = dofs.Count();
  if (count != 0) {
    QVA_VERIFY(matrix.NumberOfRows() >= count, kQVASrvInvalidState,
               "QVADynEvent::ReadNodalValues: the result holds "
                   << matrix.NumberOfRows() << " DOFs, the last recovery selected " << count
                   << "; read results back after a recovery of the same nodes");
    // Rows of a result over a DOF set name their system DOFs.
    const QVASimCSetID rowSet = matrix.RowSet();
    if (rowSet.IsValid() && !dofs.WasChecked(rowSet)) {
      const QVAFsmSystemDofDefinition& dofDefinition = system_.DofDefinition();
      const int* solverDofs = dofs.Dofs();
      // A matrix with a row for every member of its set has them in set order.
      const QVASimCSet rows(rowSet);
      const int* members = rows.Size() == matrix.NumberOfRows() ? rows.OrderedMembers() : nullptr;
      for (int k = 0; k < count; ++k) {
        const int systemDof = dofDefinition.SystemDofFromSolverDof(solverDofs[k]);
        const int member = members != nullptr ? members[k] : matrix.RowMember(k);
        QVA_VERIFY(member == systemDof, kQVASrvInvalidState,
                   "QVADynEvent::ReadNodalValues: row "
                       << k << " of the result is system DOF " << member
                       << ", the last recovery selected system DOF " << systemDof
                       << "; read results back after a recovery of the same nodes");
      }
      dofs.NoteChecked(rowSet);
    }
    const std::unique_ptr<const QVASrvDenseMatrix> column(
        matrix.CreateSubMatrix(0, count - 1, frame, frame));
    const double* values = column->Values();
    for (const RecoveryDofs::PlaceRun& run : dofs.PlaceRuns()) {
      std::copy_n(values + run.first, run.length, out + run.place);
    }
  }
  timer.Stop();
  nodalReadSeconds_ += timer.ElapsedSeconds();
}

// --- energy output ------------------------------------------------------------

void QVADynEvent::WriteEnergies(const QVADynEnergy& energy) {
  const int request = energyOutput_;
  if (request == 0) return;
  const QVASimPosition position = results_.MyPosition();
  QVASimTransaction transaction(position.Context());
  const QVASimCSetID modes = results_.ActiveModes();
  const QVASimCSetID frames = results_.Frames();
  const int gridType = results_.ModeFrameGridType();
  const int m = numberOfActiveModes_;
  const int numberOfFrames = numberOfFrames_;
  std::unique_ptr<QVASrvDenseMatrix> written[QVADynEnergy::kNumberOfKinds];
  for (int kind = 0; kind < QVADynEnergy::kNumberOfKinds; ++kind) {
    if ((request & (1 << kind)) == 0) continue;
    const bool modal = IsModalKind(kind);
    const std::size_t needed = QVAIndex(modal ? m : 1) * QVAIndex(numberOfFrames);
    QVA_VERIFY(energy.Length(kind) >= needed, kQVASrvInvalidState,
               "QVADynEvent::WriteEnergies: energy kind "
                   << kind << " is requested, the accumulator holds " << energy.Length(kind)
                   << " values of " << needed);
    // The accumulator keeps its arrays; the matrices only read them.
    double* values = const_cast<double*>(energy.Array(kind));
    if (modal) {
      written[kind] = std::make_unique<QVASrvDenseMatrix>(
          QVASrvUtilities::Create2DDistribution(position, gridType, modes, frames, -1, -1));
      written[kind]->SetValues(0, m - 1, 0, numberOfFrames - 1,
                               QVASrvMatrix(m, numberOfFrames, values));
    } else {
      written[kind] = std::make_unique<QVASrvDenseMatrix>(
          QVASrvUtilities::Create1DDistribution(position, gridType, frames, -1));
      written[kind]->SetColumns(0, 0, QVASrvMatrix(numberOfFrames, 1, values));
    }
  }
  using Setter = void (QVAFsmModalEventResults::*)(QVASimTransaction&, const QVASimDistributionID&);
  const Setter setters[QVADynEnergy::kNumberOfKinds] = {
      &QVAFsmModalEventResults::SetKE,    &QVAFsmModalEventResults::SetSE,
      &QVAFsmModalEventResults::SetWork,  &QVAFsmModalEventResults::SetAllKE,
      &QVAFsmModalEventResults::SetAllSE, &QVAFsmModalEventResults::SetAllWork};
  for (int kind = 0; kind < QVADynEnergy::kNumberOfKinds; ++kind) {
    if (written[kind]) (results_.*setters[kind])(transaction, written[kind]->DistributionID());
  }
  transaction.Commit();
  for (int kind = 0; kind < QVADynEnergy::kNumberOfKinds; ++kind) {
    if (written[kind]) energyMatrices_[kind] = std::move(written[kind]);
  }
}

const QVASrvDenseMatrix& QVADynEvent::WrittenEnergy(int kind, const char* operation) const {
  const QVASrvDenseMatrix* matrix = energyMatrices_[kind].get();
  QVA_VERIFY(matrix != nullptr, kQVASrvInvalidState,
             operation << ": energy kind " << kind
                       << " was not written; request it (RequestEnergyOutput) before the solve");
  return *matrix;
}

void QVADynEvent::ModalEnergy(int kind, int frame, int /*loadCase*/, double* out) const {
  if (!IsModalKind(kind)) {
    QVADynUnknownEnergyType("QVADynEvent::ModalEnergy").Throw(kSourcePath, kModalEnergyLine);
  }
  const QVASrvDenseMatrix& matrix = WrittenEnergy(kind, "QVADynEvent::ModalEnergy");
  QVASrvMatrix column(matrix.NumberOfRows(), 1, out);
  matrix.GetColumns(frame, frame, column);
}

void QVADynEvent::WholeModelEnergy(int kind, double* out) const {
  if (!IsWholeModelKind(kind)) {
    QVADynUnknownEnergyType("QVADynEvent::WholeModelEnergy")
        .Throw(kSourcePath, kWholeModelEnergyLine);
  }
  const QVASrvDenseMatrix& matrix = WrittenEnergy(kind, "QVADynEvent::WholeModelEnergy");
  QVASrvMatrix column(matrix.NumberOfRows(), 1, out);
  matrix.GetColumns(0, 0, column);
}
