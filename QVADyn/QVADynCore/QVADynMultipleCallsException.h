#pragma once

// A set-once operation of an event (active modes, frame values) called a second
// time.
// Error number 221. Thrown by value and caught as QVADynMultipleCallsException,
// QVABasException, mem_AllocationOperators or std::exception:
//
//   QVADynMultipleCallsException error("QVADynEvent::SetFrameValues");
//   error.Throw("QVADyn/QVADynCore/impl/QVADynEvent", 135);
//   // Message(): "Multiple calls to QVADynEvent::SetFrameValues are not allowed!"

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/QVABasException.h"

class QVADYN_EXPORT QVADynMultipleCallsException : public QVABasException {
 public:
  // `operationName` names the operation that failed; a null name reads as the
  // empty text. Copies share the name.
  explicit QVADynMultipleCallsException(const char* operationName);
  QVADynMultipleCallsException(const QVADynMultipleCallsException& other) = default;
  QVADynMultipleCallsException& operator=(const QVADynMultipleCallsException& other) = default;
  ~QVADynMultipleCallsException() override;

  // "Multiple calls to %s are not allowed!" with the operation name for "%s".
  atr_String Message() const override;
  [[noreturn]] void Raise() const override;
  // 221.
  int ErrorNumber() const override;

 private:
  cow_String operationName_;
};
