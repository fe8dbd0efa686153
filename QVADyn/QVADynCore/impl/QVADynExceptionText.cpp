#include "QVADynExceptionText.h"

cow_String QVADynTranslatedOperationName(const char* operationName) {
  atr_translate name("%s");
  atr_SubstituteFormat(name, 1, cow_String(operationName));
  return name.Result().String();
}

atr_String QVADynTranslatedMessage(const char* messageTemplate, const cow_String& operationName) {
  atr_translate message(messageTemplate);
  atr_SubstituteFormat(message, 1, operationName);
  return message.Result();
}
