#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"

#include <algorithm>

#include "QVADyn/QVADynCore/QVADynModeNumberMismatch.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

const char* const kSource = "QVADyn/QVADynCore/impl/QVADynLoadCaseList";

// True when every force of `loadCase` has `numberOfModes` rows and no base
// motion has more factors than that, so that nothing is added past a column.
bool FitsColumn(const QVADynLoadCase& loadCase, int numberOfModes) {
  for (int i = 0; i < loadCase.NumberOfForces(); ++i) {
    const QVADynForce& force = loadCase.Force(i);
    if (force.Forces() != nullptr && force.NumberOfModes() != numberOfModes) return false;
  }
  for (int i = 0; i < loadCase.NumberOfPrimaryBases(); ++i) {
    if (loadCase.PrimaryBase(i).NumberOfFactors() > numberOfModes) return false;
  }
  return true;
}

}  // namespace

QVADynLoadCaseList::QVADynLoadCaseList() = default;

QVADynLoadCaseList::~QVADynLoadCaseList() = default;

void QVADynLoadCaseList::SetNumberOfActiveModes(int numberOfActiveModes) {
  QVA_VERIFY(numberOfActiveModes >= 0, kQVABasInvalidArgument,
             "QVADynLoadCaseList::SetNumberOfActiveModes: negative count " << numberOfActiveModes);
  numberOfActiveModes_ = numberOfActiveModes;
}

void QVADynLoadCaseList::AdoptAmplitudeTable(QVASrvMatrix* table) {
  if (table != amplitudeTable_.get()) amplitudeTable_.reset(table);
}

QVADynLoadCase& QVADynLoadCaseList::LoadCase(int i) {
  QVA_VERIFY(i >= 0, kQVASrvIndexOutOfRange,
             "QVADynLoadCaseList::LoadCase: negative load case index " << i);
  const std::size_t count = QVAIndex(i) + 1;
  if (cases_.size() < count) {
    cases_.reserve(count);
    while (cases_.size() < count) cases_.push_back(std::make_unique<QVADynLoadCase>());
  }
  return *cases_[QVAIndex(i)];
}

const QVADynLoadCase& QVADynLoadCaseList::ConstLoadCase(int i) const {
  const int count = NumberOfCases();
  QVA_VERIFY(i >= 0 && i < count, kQVASrvIndexOutOfRange,
             "QVADynLoadCaseList::ConstLoadCase: load case " << i << " outside the " << count
                                                             << " load cases [0, " << count << ")");
  return *cases_[QVAIndex(i)];
}

void QVADynLoadCaseList::GetModalForces(double* out, QVADynNumberType part, int frame) const {
  const int numberOfModes = numberOfActiveModes_;
  const QVASrvMatrix* amplitudes = amplitudeTable_.get();
  for (const std::unique_ptr<QVADynLoadCase>& loadCase : cases_) {
    if (!FitsColumn(*loadCase, numberOfModes)) {
      QVADynModeNumberMismatch("QVADynLoadCaseList::GetModalForces").Throw(kSource, __LINE__);
    }
    loadCase->VerifyModalForce(amplitudes, part, frame);
  }
  double* column = out;
  for (const std::unique_ptr<QVADynLoadCase>& loadCase : cases_) {
    std::fill(column, column + numberOfModes, 0.0);
    loadCase->AddVerifiedModalForce(column, amplitudes, part, frame);
    column += numberOfModes;
  }
}
