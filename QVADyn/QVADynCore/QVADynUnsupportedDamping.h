#pragma once

// A modal damping query for a damping kind that the modal damping does not
// handle.
// Error number 223. Thrown by value and caught as QVADynUnsupportedDamping,
// QVABasException, mem_AllocationOperators or std::exception:
//
//   QVADynUnsupportedDamping error;
//   error.Throw("QVADyn/QVADynCore/impl/QVADynModalDamping", 227);
//   // Message(): "Unsupported damping type requested"

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/QVABasException.h"

class QVADYN_EXPORT QVADynUnsupportedDamping : public QVABasException {
 public:
  QVADynUnsupportedDamping() = default;
  QVADynUnsupportedDamping(const QVADynUnsupportedDamping& other) = default;
  QVADynUnsupportedDamping& operator=(const QVADynUnsupportedDamping& other) = default;
  ~QVADynUnsupportedDamping() override;

  // "Unsupported damping type requested".
  atr_String Message() const override;
  [[noreturn]] void Raise() const override;
  // 223.
  int ErrorNumber() const override;
};
