#include "platform/modeldb/QVASimModules.h"

#include "platform/base/QVABasModules.h"

namespace {
QVABasModuleCounter gContainers("QVASimContainers");
QVABasModuleCounter gInterface("QVASimInterface");
QVABasModuleCounter gObjects("QVASimObjectsMod");
QVABasModuleCounter gSrvBasic("QVASrvBasic");
QVABasModuleCounter gFsmShared("QVAFsmShared");
}  // namespace

void QVASimContainers_initialize(int& moduleCount) { gContainers.Initialize(moduleCount); }
void QVASimContainers_finalize(int& moduleCount) { gContainers.Finalize(moduleCount); }
void QVASimInterface_initialize(int& moduleCount) { gInterface.Initialize(moduleCount); }
void QVASimInterface_finalize(int& moduleCount) { gInterface.Finalize(moduleCount); }
void QVASimObjectsMod_initialize(int& moduleCount) { gObjects.Initialize(moduleCount); }
void QVASimObjectsMod_finalize(int& moduleCount) { gObjects.Finalize(moduleCount); }
void QVASrvBasic_initialize(int& moduleCount) { gSrvBasic.Initialize(moduleCount); }
void QVASrvBasic_finalize(int& moduleCount) { gSrvBasic.Finalize(moduleCount); }
void QVAFsmShared_initialize(int& moduleCount) { gFsmShared.Initialize(moduleCount); }
void QVAFsmShared_finalize(int& moduleCount) { gFsmShared.Finalize(moduleCount); }
