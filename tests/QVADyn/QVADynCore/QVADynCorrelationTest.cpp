// Spectra, correlations and their entries: the bounded name copy, the table copy and the
// ownership of spectrum, entries and load cases. Values are copied, so comparisons are exact.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynCorrelationData.h"
#include "QVADyn/QVADynCore/QVADynPSD.h"
#include "QVADynEventTestSupport.h"
#include "platform/base/QVABasException.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define QVA_TEST_HAS_LEAK_CHECK 1
#endif

TEST(QVADynPSDTest, NameIsCutToEightCharactersAndZeroPadded) {
  QVADynPSD spectrum(false, 0.0);
  EXPECT_STREQ(spectrum.Name(), "");

  spectrum.setPSDName("PRESSURE_FIELD");
  const char cut[QVADynPSD::kNameLength + 1] = {'P', 'R', 'E', 'S', 'S', 'U', 'R', 'E', '\0'};
  EXPECT_EQ(std::memcmp(spectrum.Name(), cut, sizeof cut), 0);

  // A shorter name leaves no trace of the longer one: the rest is zeros.
  spectrum.setPSDName("WIND");
  const char padded[QVADynPSD::kNameLength + 1] = {'W',  'I',  'N',  'D', '\0',
                                                   '\0', '\0', '\0', '\0'};
  EXPECT_EQ(std::memcmp(spectrum.Name(), padded, sizeof padded), 0);

  spectrum.setPSDName("EXACTLY8");
  EXPECT_STREQ(spectrum.Name(), "EXACTLY8");
}

TEST(QVADynPSDTest, TableIsACopyThatReplacesThePreviousOne) {
  QVADynPSD spectrum(true, 9.81);
  EXPECT_EQ(spectrum.Table(), nullptr);

  std::vector<double> rows = {10.0, 1.0e-3, 0.0, 100.0, 2.0e-3, 0.5};
  spectrum.setPSDTable(rows.data(), 2);
  rows[4] = -1.0;
  ASSERT_EQ(spectrum.NumberOfTableRows(), 2);
  EXPECT_EQ(spectrum.Table()[4], 2.0e-3);
  EXPECT_EQ(spectrum.Table()[5], 0.5);

  const double single[] = {1.0, 2.0, 3.0};
  spectrum.setPSDTable(single, 1);
  ASSERT_EQ(spectrum.NumberOfTableRows(), 1);
  EXPECT_EQ(std::vector<double>(spectrum.Table(), spectrum.Table() + 3),
            std::vector<double>({1.0, 2.0, 3.0}));

  EXPECT_THROW(spectrum.setPSDTable(single, -1), QVABasError);
  EXPECT_EQ(spectrum.NumberOfTableRows(), 1);
}

// Any type other than 1 and 2 is fully correlated; the spectrum set again is
// kept, a new one deletes the old.
TEST(QVADynCorrelationTest, TypeFlagsAndSpectrum) {
  QVADynCorrelation five(static_cast<QVADynCorrelationType>(5), false, false);
  EXPECT_FALSE(five.IsJetNoise());
  EXPECT_FALSE(five.IsUncorrelated());

  EXPECT_EQ(five.GetPSD(), nullptr);
  auto* first = new QVADynPSD(false, 0.0);
  five.SetPSD(first);
  EXPECT_EQ(five.GetPSD(), first);
  five.SetPSD(first);  // the same spectrum again: kept, not deleted
  EXPECT_EQ(five.GetPSD(), first);
  five.SetPSD(new QVADynPSD(true, 2.0));  // the first one is deleted
  EXPECT_TRUE(five.GetPSD()->IsBaseMotion());
}

TEST(QVADynCorrelationTest, AdoptionRefusesNullAndDoubleAdoptionAndReplacesByKey) {
  QVADynCorrelation correlation(QVADynCorrelationCorrelated, false, false);
  const auto expectRefused = [&correlation](int key, QVADynCorrelationData* data) {
    ExpectPlatformError([&] { correlation.AdoptCorrelationData(key, data); },
                        kQVABasInvalidArgument, {});
  };
  expectRefused(1, nullptr);

  auto* data = new QVADynCorrelationData(1.0, 0.0, 0.0);
  correlation.AdoptCorrelationData(1, data);
  // The same object under another key would be deleted twice.
  expectRefused(2, data);
  expectRefused(1, data);
  EXPECT_EQ(correlation.GetCorrelationDataList().Size(), 1);

  // A second entry under a key replaces (and deletes) the first.
  correlation.AdoptCorrelationData(1, new QVADynCorrelationData(4.0, 0.0, 0.0));
  ASSERT_EQ(correlation.GetCorrelationDataList().Size(), 1);
  const void* held = *correlation.GetCorrelationDataList().Find(1);
  EXPECT_EQ(static_cast<const QVADynCorrelationData*>(held)->FirstValue(), 4.0);
}

TEST(QVADynCorrelationDataTest, ValuesAndLoadCase) {
  QVADynCorrelationData data(250.0, -3.0, 0.5);
  EXPECT_EQ(std::vector<double>(data.Values(), data.Values() + 3),
            (std::vector<double>{250.0, -3.0, 0.5}));
  EXPECT_EQ(data.LoadCase(), nullptr);
  auto* loadCase = new QVADynLoadCase();
  data.AdoptLoadCase(loadCase);
  data.AdoptLoadCase(loadCase);  // the same one again is kept
  EXPECT_EQ(data.LoadCase(), loadCase);
  data.AdoptLoadCase(new QVADynLoadCase());  // the first is deleted
  EXPECT_NE(data.LoadCase(), nullptr);
}

// A correlation deletes its spectrum and every entry it adopted, and an entry
// its load case; LeakSanitizer finds any of them left unreachable.
TEST(QVADynCorrelationTest, DestructionFreesSpectrumEntriesAndLoadCases) {
#ifndef QVA_TEST_HAS_LEAK_CHECK
  GTEST_SKIP() << "needs LeakSanitizer (sanitizer build)";
#else
  {
    auto* correlation = new QVADynCorrelation(QVADynCorrelationCorrelated, false, true);
    auto* spectrum = new QVADynPSD(false, 0.0);
    const double rows[] = {1.0, 1.0, 0.0};
    spectrum->setPSDTable(rows, 1);
    correlation->SetPSD(spectrum);
    for (int key : {1, 2, -3}) {
      auto* data = new QVADynCorrelationData(1.0, 0.5, 0.0);
      data->AdoptLoadCase(new QVADynLoadCase());
      correlation->AdoptCorrelationData(key, data);
    }
    delete correlation;
  }
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}
