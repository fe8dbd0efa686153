#pragma once

// Start-up and shut-down of the model database's modules (counted as the base
// modules are, see QVABasModules.h).

#include "platform/base/QVAPlatformExport.h"

QVA_PLATFORM_EXPORT void QVASimContainers_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASimContainers_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASimInterface_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASimInterface_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASimObjectsMod_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASimObjectsMod_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASrvBasic_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVASrvBasic_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVAFsmShared_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVAFsmShared_finalize(int& moduleCount);
