#include "QVADyn/QVADynCore/QVADynModeNumberMismatch.h"

#include "QVADynExceptionText.h"

QVADynModeNumberMismatch::QVADynModeNumberMismatch(const char* operationName)
    : operationName_(QVADynTranslatedOperationName(operationName)) {}

QVADynModeNumberMismatch::~QVADynModeNumberMismatch() = default;

atr_String QVADynModeNumberMismatch::Message() const {
  return QVADynTranslatedMessage("Number of modes != number of active modes in %s", operationName_);
}

void QVADynModeNumberMismatch::Raise() const { throw *this; }

int QVADynModeNumberMismatch::ErrorNumber() const { return 220; }
