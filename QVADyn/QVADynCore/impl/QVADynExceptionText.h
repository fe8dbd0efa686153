#pragma once

// Texts of the component's exceptions, passed through the platform's message
// translation. An exception stores the translation of "%s" with its operation
// name substituted (which is the name itself while no catalogue is installed),
// and builds its message from its template with that name for placeholder 1:
//
//   QVADynTranslatedMessage("Unknown energy type in %s", "QVADynEvent::ModalEnergy")
//   // "Unknown energy type in QVADynEvent::ModalEnergy"

#include "platform/base/atr_String.h"
#include "platform/base/cow_String.h"

// The translated operation name; a null name gives the empty text.
cow_String QVADynTranslatedOperationName(const char* operationName);

// The translation of `messageTemplate` with `operationName` substituted for
// its first "%s"; a name without buffer is substituted as the empty text.
atr_String QVADynTranslatedMessage(const char* messageTemplate, const cow_String& operationName);
