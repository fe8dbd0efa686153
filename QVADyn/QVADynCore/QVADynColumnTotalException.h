#pragma once

// A force whose real and imaginary column counts do not add up to the column
// count of its load matrix.
// Error number 224. Thrown by value and caught as QVADynColumnTotalException,
// QVABasException, mem_AllocationOperators or std::exception:
//
//   QVADynColumnTotalException error;
//   error.Throw("QVADyn/QVADynCore/impl/QVADynForce", 19);
//   // Message(): "Sum of real and imaginary columns != total number of colunms in "
//   //            "QVADynSecondaryBaseMotion::SetupForce!"
//
// The message is a fixed text that hosts match as it stands, misspelt
// "colunms" included.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/QVABasException.h"

class QVADYN_EXPORT QVADynColumnTotalException : public QVABasException {
 public:
  QVADynColumnTotalException() = default;
  QVADynColumnTotalException(const QVADynColumnTotalException& other) = default;
  QVADynColumnTotalException& operator=(const QVADynColumnTotalException& other) = default;
  ~QVADynColumnTotalException() override;

  // The fixed text shown above.
  atr_String Message() const override;
  [[noreturn]] void Raise() const override;
  // 224.
  int ErrorNumber() const override;
};
