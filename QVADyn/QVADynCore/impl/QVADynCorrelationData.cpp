#include "QVADyn/QVADynCore/QVADynCorrelationData.h"

QVADynCorrelationData::QVADynCorrelationData(double first, double second, double third)
    : values_{first, second, third} {}

QVADynCorrelationData::~QVADynCorrelationData() = default;

void QVADynCorrelationData::AdoptLoadCase(QVADynLoadCase* loadCase) {
  if (loadCase == loadCase_.get()) return;
  loadCase_.reset(loadCase);
}
