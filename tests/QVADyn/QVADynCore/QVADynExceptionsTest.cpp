// The component's exception classes and its assertion text: numbers, exact messages, copies
// that outlive the original, the place of the throw and the handlers that catch them.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "QVADyn/QVADynCore/QVADynColumnTotalException.h"
#include "QVADyn/QVADynCore/QVADynModeNumberMismatch.h"
#include "QVADyn/QVADynCore/QVADynMultipleCallsException.h"
#include "QVADyn/QVADynCore/QVADynUnknownEnergyType.h"
#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADynAssertion.h"

TEST(QVADynExceptions, NumbersAndMessages) {
  const QVADynModeNumberMismatch mismatch("QVADynEvent::SetModalDamping!");
  const QVADynMultipleCallsException multiple("QVADynEvent::SetFrameValues");
  const QVADynUnknownEnergyType energy("QVADynEvent::WholeModelEnergy");
  const QVADynUnsupportedDamping damping;
  const QVADynColumnTotalException columns;

  EXPECT_EQ(mismatch.ErrorNumber(), 220);
  EXPECT_EQ(multiple.ErrorNumber(), 221);
  EXPECT_EQ(energy.ErrorNumber(), 222);
  EXPECT_EQ(damping.ErrorNumber(), 223);
  EXPECT_EQ(columns.ErrorNumber(), 224);

  EXPECT_STREQ(mismatch.Message().Text(),
               "Number of modes != number of active modes in QVADynEvent::SetModalDamping!");
  EXPECT_STREQ(multiple.Message().Text(),
               "Multiple calls to QVADynEvent::SetFrameValues are not allowed!");
  EXPECT_STREQ(energy.Message().Text(), "Unknown energy type in QVADynEvent::WholeModelEnergy");
  EXPECT_STREQ(damping.Message().Text(), "Unsupported damping type requested");
  EXPECT_STREQ(columns.Message().Text(),
               "Sum of real and imaginary columns != total number of colunms in "
               "QVADynSecondaryBaseMotion::SetupForce!");
  EXPECT_STREQ(columns.what(), columns.Message().Text());
  EXPECT_STREQ(multiple.UserReport().Text(),
               "Error 221: Multiple calls to QVADynEvent::SetFrameValues are not allowed!");
}

TEST(QVADynExceptions, NameWithoutBufferIsEmptyAndPlaceholdersInNamesStayText) {
  EXPECT_STREQ(QVADynUnknownEnergyType(nullptr).Message().Text(), "Unknown energy type in ");
  EXPECT_STREQ(QVADynMultipleCallsException("%s").Message().Text(),
               "Multiple calls to %s are not allowed!");
}

// The copy made before the original is destroyed still holds the name and the
// place of the throw; the original is freed through the allocation mix-in.
TEST(QVADynExceptions, CopyOutlivesTheOriginal) {
  auto* original = new QVADynModeNumberMismatch("QVADynEvent::GetModalForce");
  try {
    original->Throw("QVADyn/QVADynCore/impl/QVADynEvent", 354);
  } catch (const QVADynModeNumberMismatch& thrown) {
    EXPECT_EQ(original->Line(), 354);
    delete original;
    const QVADynModeNumberMismatch copy(thrown);
    EXPECT_STREQ(copy.Message().Text(),
                 "Number of modes != number of active modes in QVADynEvent::GetModalForce");
    EXPECT_STREQ(copy.File().Text(), "QVADyn/QVADynCore/impl/QVADynEvent");
    EXPECT_EQ(copy.Line(), 354);
  }

  QVADynUnknownEnergyType* heap = nullptr;
  {
    const QVADynUnknownEnergyType local("QVADynEvent::ModalEnergy");
    heap = new QVADynUnknownEnergyType(local);
  }
  EXPECT_STREQ(heap->what(), "Unknown energy type in QVADynEvent::ModalEnergy");
  QVABasException* base = heap;
  delete base;  // virtual destructor releases the shared name
}

TEST(QVADynExceptions, ThrowRecordsThePlaceAndRaiseKeepsTheClass) {
  try {
    QVADynMultipleCallsException("QVADynEvent::SetActiveModes")
        .Throw("QVADyn/QVADynCore/impl/QVADynEvent", 97);
  } catch (const QVADynMultipleCallsException& caught) {
    EXPECT_STREQ(caught.File().Text(), "QVADyn/QVADynCore/impl/QVADynEvent");
    EXPECT_EQ(caught.Line(), 97);
    EXPECT_STREQ(caught.DeveloperReport().Text(),
                 "Error 221 at QVADyn/QVADynCore/impl/QVADynEvent:97: "
                 "Multiple calls to QVADynEvent::SetActiveModes are not allowed!");
  }

  const QVADynUnsupportedDamping damping;
  EXPECT_THROW(damping.Raise(), QVADynUnsupportedDamping);

  // Raised through the base: the handler still sees the concrete class.
  const QVADynUnknownEnergyType energy("QVADynEvent::ModalEnergy");
  const QVABasException& asBase = energy;
  try {
    asBase.Raise();
  } catch (const QVADynUnknownEnergyType& caught) {
    EXPECT_EQ(caught.ErrorNumber(), 222);
    EXPECT_EQ(caught.Line(), 0);  // raised without Throw: no place recorded
  }
}

TEST(QVADynAssertion, SubsetAssertionIsOneFixedTextThrownAsCharPointer) {
  EXPECT_STREQ(
      kQVADynActiveModeSubsetAssertion,
      "***Fatal Error: Assertion Failed: numActiveModes > 0 && numActiveModes < "
      "numOrigModes && activeModes != NULL: QVADyn/QVADynCore/impl/QVADynModalSystem: 125");
  try {
    QVADynAssertionFailure(kQVADynActiveModeSubsetAssertion);
  } catch (char* text) {
    EXPECT_EQ(text, kQVADynActiveModeSubsetAssertion);  // the constant itself, not a copy
  }
}
