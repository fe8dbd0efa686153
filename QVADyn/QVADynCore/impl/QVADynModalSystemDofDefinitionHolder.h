#pragma once

// The counted holder of the DOF definition that a modal system adopts and
// shares with its active-mode subsets. Every source of QVADynModalSystem that
// creates, shares or releases a holder sees this one definition:
//
//   system:  holder {dofs = definition, holders = 1}
//   subset:  Share()   -> holders = 2
//   ~subset: Release() -> holders = 1;  ~system: Release() -> definition deleted

#include <memory>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

// The DOF definition shared by a modal system and its active-mode subsets; the
// last holder to release it deletes the definition.
struct QVADynModalSystem::DofDefinitionHolder {
  QVAFsmSystemDofDefinition* dofs = nullptr;
  int holders = 0;

  // A new holder of `adopted` with one holder.
  static DofDefinitionHolder* Adopt(QVAFsmSystemDofDefinition* adopted) {
    std::unique_ptr<QVAFsmSystemDofDefinition> owned(adopted);
    auto* holder = new DofDefinitionHolder;
    holder->dofs = owned.release();
    holder->holders = 1;
    return holder;
  }
  // One more holder.
  DofDefinitionHolder* Share() {
    ++holders;
    return this;
  }
  // One holder less; the last deletes the definition and the holder.
  void Release() {
    if (--holders > 0) return;
    delete dofs;
    delete this;
  }
};
