#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"

QVADynUnsupportedDamping::~QVADynUnsupportedDamping() = default;

atr_String QVADynUnsupportedDamping::Message() const {
  return atr_translate("Unsupported damping type requested").Result();
}

void QVADynUnsupportedDamping::Raise() const { throw *this; }

int QVADynUnsupportedDamping::ErrorNumber() const { return 223; }
