#pragma once

// Start-up and shut-down of the modal-dynamics component. A host calls
// QVADynModalComponent_initialize once before it builds any modal system and
// QVADynModalComponent_finalize after the last object of the component is
// gone. Both are reference-counted: only the first start starts the platform
// modules and the core module, and only the stop that balances it stops them,
// in the reverse order. The int& argument is the caller's module count: every
// module that really starts adds 1 to it, every module that really stops
// subtracts 1.
//
//   int modules = 0;
//   QVADynModalComponent_initialize(modules);   // modules == 14
//   ...
//   QVADynModalComponent_finalize(modules);     // modules == 0

#include "QVADyn/QVADynCore/QVADynExport.h"

QVADYN_EXPORT void QVADynModalComponent_initialize(int& moduleCount);
QVADYN_EXPORT void QVADynModalComponent_finalize(int& moduleCount);

// The core module's own counting; called by the two functions above.
QVADYN_EXPORT void QVADynCore_initialize(int& moduleCount);
QVADYN_EXPORT void QVADynCore_finalize(int& moduleCount);
