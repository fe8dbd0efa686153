#include "QVADyn/QVADynCore/QVADynMultipleCallsException.h"

#include "QVADynExceptionText.h"

QVADynMultipleCallsException::QVADynMultipleCallsException(const char* operationName)
    : operationName_(QVADynTranslatedOperationName(operationName)) {}

QVADynMultipleCallsException::~QVADynMultipleCallsException() = default;

atr_String QVADynMultipleCallsException::Message() const {
  return QVADynTranslatedMessage("Multiple calls to %s are not allowed!", operationName_);
}

void QVADynMultipleCallsException::Raise() const { throw *this; }

int QVADynMultipleCallsException::ErrorNumber() const { return 221; }
