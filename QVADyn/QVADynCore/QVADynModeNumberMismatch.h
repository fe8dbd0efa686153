#pragma once

// A count of per-mode values (damping records, modal force entries) that does not
// match the number of active modes of an event.
// Error number 220. Thrown by value and caught as QVADynModeNumberMismatch,
// QVABasException, mem_AllocationOperators or std::exception:
//
//   QVADynModeNumberMismatch error("QVADynEvent::GetModalForce");
//   error.Throw("QVADyn/QVADynCore/impl/QVADynEvent", 354);
//   // Message(): "Number of modes != number of active modes in QVADynEvent::GetModalForce"

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/QVABasException.h"

class QVADYN_EXPORT QVADynModeNumberMismatch : public QVABasException {
 public:
  // `operationName` names the operation that failed; a null name reads as the
  // empty text. Copies share the name.
  explicit QVADynModeNumberMismatch(const char* operationName);
  QVADynModeNumberMismatch(const QVADynModeNumberMismatch& other) = default;
  QVADynModeNumberMismatch& operator=(const QVADynModeNumberMismatch& other) = default;
  ~QVADynModeNumberMismatch() override;

  // "Number of modes != number of active modes in %s" with the operation name for "%s".
  atr_String Message() const override;
  [[noreturn]] void Raise() const override;
  // 220.
  int ErrorNumber() const override;

 private:
  cow_String operationName_;
};
