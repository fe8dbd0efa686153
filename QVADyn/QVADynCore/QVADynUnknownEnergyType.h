#pragma once

// An energy output request naming a kind of energy the event does not know.
// Error number 222. Thrown by value and caught as QVADynUnknownEnergyType,
// QVABasException, mem_AllocationOperators or std::exception:
//
//   QVADynUnknownEnergyType error("QVADynEvent::ModalEnergy");
//   error.Throw("QVADyn/QVADynCore/impl/QVADynEvent", 438);
//   // Message(): "Unknown energy type in QVADynEvent::ModalEnergy"

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/QVABasException.h"

class QVADYN_EXPORT QVADynUnknownEnergyType : public QVABasException {
 public:
  // `operationName` names the operation that failed; a null name reads as the
  // empty text. Copies share the name.
  explicit QVADynUnknownEnergyType(const char* operationName);
  QVADynUnknownEnergyType(const QVADynUnknownEnergyType& other) = default;
  QVADynUnknownEnergyType& operator=(const QVADynUnknownEnergyType& other) = default;
  ~QVADynUnknownEnergyType() override;

  // "Unknown energy type in %s" with the operation name for "%s".
  atr_String Message() const override;
  [[noreturn]] void Raise() const override;
  // 222.
  int ErrorNumber() const override;

 private:
  cow_String operationName_;
};
