#include "QVADyn/QVADynCore/QVADynOperatorUpdate.h"

#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

QVADynOperatorUpdate::QVADynOperatorUpdate(QVADynGenerateOperators* generator, bool firstFlag,
                                           bool differenceMode, double referenceFrequency,
                                           int* frameTable, double* frequencyTable,
                                           QVADynDomainType domain)
    : generator_(generator),
      frequencyTable_(frequencyTable),
      frameTable_(frameTable),
      domain_(domain),
      referenceFrequency_(referenceFrequency),
      firstFlag_(firstFlag),
      differenceMode_(differenceMode) {}

QVADynOperatorUpdate::~QVADynOperatorUpdate() {
  delete generator_;
  delete structuralModeShapes_;
  delete acousticModeShapes_;
  delete structuralProducts_;
  delete acousticProducts_;
  delete referenceStiffness_;
  delete referenceViscousDamping_;
  delete referenceStructuralDamping_;
  for (int slot = 0; slot < kOperatorsPerSet; ++slot) {
    delete lowerSet_[slot];
    delete upperSet_[slot];
  }
  mem_Free(frameTable_);
  mem_Free(frequencyTable_);
}

void QVADynOperatorUpdate::Update(QVADynModalOperators& /*ops*/, int frame, double frequency) {
  QVA_RAISE(kQVASrvInvalidState,
            "QVADynOperatorUpdate::Update: frequency-dependent operators are not available in "
            "this build (frame "
                << frame << ", frequency " << frequency << "); solve without an operator update");
}
