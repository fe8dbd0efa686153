#include "QVADyn/QVADynCore/QVADynColumnTotalException.h"

QVADynColumnTotalException::~QVADynColumnTotalException() = default;

atr_String QVADynColumnTotalException::Message() const {
  return atr_translate(
             "Sum of real and imaginary columns != total number of colunms in "
             "QVADynSecondaryBaseMotion::SetupForce!")
      .Result();
}

void QVADynColumnTotalException::Raise() const { throw *this; }

int QVADynColumnTotalException::ErrorNumber() const { return 224; }
