#include "platform/matrix/QVAMtxModules.h"

#include "platform/base/QVABasModules.h"
#include "platform/matrix/QVABlaModule.h"

namespace {
QVABasModuleCounter gBla("QVABlaModule");
QVABasModuleCounter gMtxCore("QVAMtxCoreModule");
}  // namespace

void QVABlaModule_initialize(int& moduleCount) { gBla.Initialize(moduleCount); }
void QVABlaModule_finalize(int& moduleCount) { gBla.Finalize(moduleCount); }
void QVAMtxCoreModule_initialize(int& moduleCount) { gMtxCore.Initialize(moduleCount); }
void QVAMtxCoreModule_finalize(int& moduleCount) { gMtxCore.Finalize(moduleCount); }
