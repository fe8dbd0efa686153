#pragma once

// Start-up and shut-down of the matrix services module (counted as the base
// modules are, see QVABasModules.h). The BLAS/LAPACK module's entry points
// are declared in QVABlaModule.h.

#include "platform/base/QVAPlatformExport.h"

QVA_PLATFORM_EXPORT void QVAMtxCoreModule_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVAMtxCoreModule_finalize(int& moduleCount);
