#include "QVADyn/QVADynCore/QVADynUnknownEnergyType.h"

#include "QVADynExceptionText.h"

QVADynUnknownEnergyType::QVADynUnknownEnergyType(const char* operationName)
    : operationName_(QVADynTranslatedOperationName(operationName)) {}

QVADynUnknownEnergyType::~QVADynUnknownEnergyType() = default;

atr_String QVADynUnknownEnergyType::Message() const {
  return QVADynTranslatedMessage("Unknown energy type in %s", operationName_);
}

void QVADynUnknownEnergyType::Raise() const { throw *this; }

int QVADynUnknownEnergyType::ErrorNumber() const { return 222; }
