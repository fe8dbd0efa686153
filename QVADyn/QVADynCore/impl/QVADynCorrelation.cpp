#include "QVADyn/QVADynCore/QVADynCorrelation.h"

#include "QVADynBoundary.h"
#include "platform/base/QVABasException.h"

namespace {

QVADynCorrelationData* Data(void* entry) { return static_cast<QVADynCorrelationData*>(entry); }

}  // namespace

QVADynCorrelation::QVADynCorrelation(QVADynCorrelationType type, bool userDefined, bool complex)
    : type_(type), userDefined_(userDefined), complex_(complex) {}

QVADynCorrelation::~QVADynCorrelation() {
  for (omi_IntTableIterator<void*> entry(dataList_); entry.More(); entry.Next()) {
    delete Data(entry.Value());
  }
  dataList_.Clear();
}

void QVADynCorrelation::SetPSD(QVADynPSD* spectrum) try {
  if (spectrum == spectrum_.get()) return;
  spectrum_.reset(spectrum);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynCorrelation::SetPSD");
}

void QVADynCorrelation::AdoptCorrelationData(int key, QVADynCorrelationData* data) try {
  QVA_VERIFY(data != nullptr, kQVABasInvalidArgument,
             "QVADynCorrelation::AdoptCorrelationData: null data for key " << key);
  for (omi_IntTableIterator<void*> entry(dataList_); entry.More(); entry.Next()) {
    QVA_VERIFY(entry.Value() != data, kQVABasInvalidArgument,
               "QVADynCorrelation::AdoptCorrelationData: the data offered for key "
                   << key << " is held already under key " << entry.Key());
  }
  if (void** held = dataList_.Find(key); held != nullptr) {
    delete Data(*held);
    *held = data;
    return;
  }
  dataList_.Insert(key, data);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynCorrelation::AdoptCorrelationData");
}
