#include "QVADyn/QVADynCore/QVADynRandomEvent.h"

#include <algorithm>
#include <cstddef>

#include "QVADynBoundary.h"
#include "QVADynRandomLoadForms.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

// Access type of the mode-shape matrix while the event reads node by node.
constexpr int kRowAccess = 2;
constexpr int kDefaultAccess = 0;
constexpr int kDirections = 6;

const QVADynCorrelation& Correlation(const omi_IntTableIterator<void*>& entry) {
  return *static_cast<const QVADynCorrelation*>(entry.Value());
}

const QVADynCorrelationData& Data(const omi_IntTableIterator<void*>& entry) {
  return *static_cast<const QVADynCorrelationData*>(entry.Value());
}

}  // namespace

QVADynRandomEvent::QVADynRandomEvent(QVADynModalSystem* system) try : modalSystem_(system) {
  modalSystem_->BeginNodalModeAccess(nullptr);
  if (modalSystem_->ModeShapes() != nullptr) modalSystem_->ModeShapes()->SetAccess(kRowAccess);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRandomEvent::QVADynRandomEvent");
}

QVADynRandomEvent::~QVADynRandomEvent() {
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    delete static_cast<QVADynCorrelation*>(entry.Value());
  }
  modalSystem_->EndNodalModeAccess();
  if (modalSystem_->ModeShapes() != nullptr) {
    modalSystem_->ModeShapes()->SetAccess(kDefaultAccess);
  }
  mem_Free(activeModes_);
}

void QVADynRandomEvent::SetActiveModes(const int* modes, const int& count) try {
  QVA_VERIFY(count >= 0, kQVABasInvalidArgument,
             "QVADynRandomEvent::SetActiveModes: " << count
                                                   << " active modes; the count must not be "
                                                      "negative");
  QVA_VERIFY(modes != nullptr || count == 0, kQVABasInvalidArgument,
             "QVADynRandomEvent::SetActiveModes: null mode list for " << count << " modes");
  const int totalModes = modalSystem_->NumberOfModes();
  for (int a = 0; a < count; ++a) {
    QVA_VERIFY(modes[a] >= 1 && modes[a] <= totalModes, kQVABasInvalidArgument,
               "QVADynRandomEvent::SetActiveModes: entry " << a << " is mode " << modes[a]
                                                           << ", outside 1 ... " << totalModes
                                                           << " of the modal system");
  }
  int* copy = mem_AllocArray<int>(QVAIndex(count));
  std::copy_n(modes, count, copy);
  mem_Free(activeModes_);
  activeModes_ = copy;
  numberOfActiveModes_ = count;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRandomEvent::SetActiveModes");
}

void QVADynRandomEvent::AdoptCorrelation(QVADynCorrelation* correlation) try {
  QVA_VERIFY(correlation != nullptr, kQVABasInvalidArgument,
             "QVADynRandomEvent::AdoptCorrelation: null correlation");
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    QVA_VERIFY(entry.Value() != correlation, kQVABasInvalidArgument,
               "QVADynRandomEvent::AdoptCorrelation: the correlation is held already as number "
                   << entry.Key());
  }
  correlations_.Insert(numberOfCorrelations_ + 1, correlation);
  ++numberOfCorrelations_;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRandomEvent::AdoptCorrelation");
}

void QVADynRandomEvent::AdoptBaseMotion(const int& patternKey, const int& direction) try {
  const int number = numberOfBaseMotions_ + 1;
  baseMotionDirections_.Insert(number, direction);
  baseMotionPatterns_.Insert(number, patternKey);
  numberOfBaseMotions_ = number;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRandomEvent::AdoptBaseMotion");
}

std::size_t QVADynRandomEvent::BlockSize() const {
  return 2 * QVAIndex(numberOfActiveModes_) * QVAIndex(numberOfActiveModes_);
}

int QVADynRandomEvent::NumberOfBlocks() const {
  int blocks = 0;
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    const QVADynCorrelation& correlation = Correlation(entry);
    blocks += correlation.IsJetNoise() ? correlation.GetCorrelationDataList().Size() : 1;
  }
  return blocks;
}

void QVADynRandomEvent::BaseMotionLevels(int key, double magnitude, double* levels) const {
  std::fill_n(levels, kDirections, 0.0);
  for (omi_IntTableIterator<int> motion(baseMotionPatterns_); motion.More(); motion.Next()) {
    if (motion.Value() != key) continue;
    const int direction = *baseMotionDirections_.Find(motion.Key());
    if (direction >= 1 && direction <= kDirections) levels[direction - 1] = magnitude;
  }
}

bool QVADynRandomEvent::DrivesBaseMotion(int key) const {
  double levels[kDirections];
  BaseMotionLevels(key, 1.0, levels);
  return std::any_of(levels, levels + kDirections, [](double level) { return level != 0.0; });
}

void QVADynRandomEvent::VerifyPatternKey(const char* operation, int correlation, int key) const {
  QVA_VERIFY(key >= 1, kQVABasInvalidArgument,
             operation << ": correlation " << correlation << " names load pattern " << key
                       << "; load patterns are numbered from 1: key the correlation data by a "
                          "pattern 1, 2, ... of the random load provider");
  const int patterns = provider_ != nullptr ? provider_->NumberOfPatterns() : -1;
  QVA_VERIFY(patterns < 0 || key <= patterns, kQVABasInvalidArgument,
             operation << ": correlation " << correlation << " names load pattern " << key
                       << ", but the random load provider has " << patterns
                       << " patterns; key the correlation data by a pattern 1 ... " << patterns);
}

void QVADynRandomEvent::VerifyModalLoadInputs() const {
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    const QVADynCorrelation& correlation = Correlation(entry);
    if (correlation.IsJetNoise()) continue;
    QVA_VERIFY(
        correlation.GetPSD() != nullptr, kQVABasInvalidArgument,
        "QVADynRandomEvent::ComputeModalLoad: correlation " << entry.Key() << " has no spectrum");
    if (correlation.GetPSD()->IsBaseMotion() && modalSystem_->ParticipationFactors(0) == nullptr) {
      for (omi_IntTableIterator<void*> item(correlation.GetCorrelationDataList()); item.More();
           item.Next()) {
        QVA_VERIFY(!DrivesBaseMotion(item.Key()), kQVASrvInvalidState,
                   "QVADynRandomEvent::ComputeModalLoad: correlation "
                       << entry.Key() << ", key " << item.Key()
                       << " drives base motion, but the modal system has no participation "
                          "factors in slot 0; store them with the modal basis first");
      }
    }
    const bool needsProvider = !correlation.GetPSD()->IsBaseMotion() || correlation.IsUserDefined();
    QVA_VERIFY(
        provider_ != nullptr || !needsProvider || correlation.GetCorrelationDataList().Size() == 0,
        kQVASrvInvalidState,
        "QVADynRandomEvent::ComputeModalLoad: correlation "
            << entry.Key() << " needs the random load provider; install it first");
    if (correlation.GetPSD()->IsBaseMotion()) continue;
    for (omi_IntTableIterator<void*> item(correlation.GetCorrelationDataList()); item.More();
         item.Next()) {
      VerifyPatternKey("QVADynRandomEvent::ComputeModalLoad", entry.Key(), item.Key());
    }
  }
}

void QVADynRandomEvent::VerifyJetNoiseInputs() const {
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    const QVADynCorrelation& correlation = Correlation(entry);
    if (!correlation.IsJetNoise()) continue;
    const omi_IntTable<void*>& dataList = correlation.GetCorrelationDataList();
    QVA_VERIFY(provider_ != nullptr || dataList.Size() == 0, kQVASrvInvalidState,
               "QVADynRandomEvent::ComputeJetNoiseModalLoad: correlation "
                   << entry.Key() << " needs the random load provider; install it first");
    for (omi_IntTableIterator<void*> item(dataList); item.More(); item.Next()) {
      VerifyPatternKey("QVADynRandomEvent::ComputeJetNoiseModalLoad", entry.Key(), item.Key());
      const QVADynCorrelationData& data = Data(item);
      QVA_VERIFY(data.FirstValue() != 0.0 || data.SecondValue() != 0.0 || data.ThirdValue() != 0.0,
                 kQVABasInvalidArgument,
                 "QVADynRandomEvent::ComputeJetNoiseModalLoad: correlation "
                     << entry.Key() << ", key " << item.Key()
                     << ": the convection velocity is zero; a jet-noise entry needs a "
                        "direction of convection");
    }
  }
}

void QVADynRandomEvent::ComputeModalLoad(double* out, const int* nodeActive) try {
  VerifyModalLoadInputs();
  const QVADynRandomLoadInput input{*modalSystem_, provider_, activeModes_, numberOfActiveModes_,
                                    nodeActive};
  const std::size_t blockSize = BlockSize();
  double* block = out;
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    const QVADynCorrelation& correlation = Correlation(entry);
    const omi_IntTable<void*>& dataList = correlation.GetCorrelationDataList();
    if (correlation.IsJetNoise()) {
      block += blockSize * QVAIndex(dataList.Size());
      continue;
    }
    std::fill_n(block, blockSize, 0.0);
    const QVADynPSD& spectrum = *correlation.GetPSD();
    for (omi_IntTableIterator<void*> item(dataList); item.More(); item.Next()) {
      const QVADynCorrelationData& data = Data(item);
      if (spectrum.IsBaseMotion()) {
        double levels[kDirections];
        BaseMotionLevels(item.Key(), spectrum.Magnitude(), levels);
        QVADynAddBaseMotionLoad(input, block, item.Key(), data.FirstValue(), data.SecondValue(),
                                correlation, levels, modalSystem_->ParticipationFactors(0),
                                modalSystem_->NumberOfModes());
      } else {
        QVADynAddNodalLoad(input, block, item.Key(), data.FirstValue(), data.SecondValue(),
                           correlation);
      }
    }
    block += blockSize;
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRandomEvent::ComputeModalLoad");
}

void QVADynRandomEvent::ComputeJetNoiseModalLoad(double* out, const int* nodeActive,
                                                 double omega) try {
  VerifyJetNoiseInputs();
  const QVADynRandomLoadInput input{*modalSystem_, provider_, activeModes_, numberOfActiveModes_,
                                    nodeActive};
  const std::size_t blockSize = BlockSize();
  double* block = out;
  for (omi_IntTableIterator<void*> entry(correlations_); entry.More(); entry.Next()) {
    const QVADynCorrelation& correlation = Correlation(entry);
    if (!correlation.IsJetNoise()) {
      block += blockSize;
      continue;
    }
    for (omi_IntTableIterator<void*> item(correlation.GetCorrelationDataList()); item.More();
         item.Next()) {
      std::fill_n(block, blockSize, 0.0);
      QVADynAddJetNoiseLoad(input, block, item.Key(), Data(item).Values(), omega);
      block += blockSize;
    }
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynRandomEvent::ComputeJetNoiseModalLoad");
}
