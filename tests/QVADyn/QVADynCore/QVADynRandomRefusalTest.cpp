// Refusals of the random event: a pattern key the provider does not have is
// refused before the provider's arrays are read or a block is written.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynCorrelationData.h"
#include "QVADyn/QVADynCore/QVADynPSD.h"
#include "QVADyn/QVADynCore/QVADynRandomEvent.h"
#include "QVADynEventTestSupport.h"
#include "QVADynRandomTestProvider.h"

namespace {

constexpr int kPatterns = 2;
constexpr double kUntouched = -7.0;

// A provider that does not say how many patterns it has.
class UncountedProvider : public QVADynRandomTestProvider {
 public:
  using QVADynRandomTestProvider::QVADynRandomTestProvider;
  int NumberOfPatterns() const override { return QVADynRandomLoadProvider::NumberOfPatterns(); }
};

TEST(QVADynRandomRefusalTest, PatternKeysOutsideTheProvidersPatterns) {
  QVATestModalBasisOptions options{.numberOfNodes = 3, .numberOfModes = 3};
  QVATestModalBasis basis(options);
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  QVADynRandomTestProvider counted(3, options.maxNodalDof, kPatterns, 5);
  UncountedProvider uncounted(3, options.maxNodalDof, kPatterns, 5);
  const int modes[] = {1, 3};

  struct Row {
    const char* what;
    QVADynRandomTestProvider* provider;
    QVADynCorrelationType type;
    int key;
    std::vector<std::string> fragments;
  };
  const std::vector<Row> table{
      {"nodal key beyond the patterns",
       &counted,
       QVADynCorrelationCorrelated,
       3,
       {"QVADynRandomEvent::ComputeModalLoad: correlation 1 names load pattern 3",
        "the random load provider has 2 patterns", "pattern 1 ... 2"}},
      {"jet-noise key beyond the patterns",
       &counted,
       QVADynCorrelationJetNoise,
       5,
       {"QVADynRandomEvent::ComputeJetNoiseModalLoad: correlation 1 names load pattern 5",
        "has 2 patterns"}},
      {"key 0, patterns unknown",
       &uncounted,
       QVADynCorrelationUncorrelated,
       0,
       {"names load pattern 0", "numbered from 1"}},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.what);
    QVADynRandomEvent event(modal.get());
    event.SetLoadProvider(row.provider);
    event.SetActiveModes(modes, 2);
    auto* correlation = new QVADynCorrelation(row.type, false, false);
    correlation->SetPSD(new QVADynPSD(false, 1.0));
    correlation->AdoptCorrelationData(row.key, new QVADynCorrelationData(1.0, 0.5, 0.25));
    event.AdoptCorrelation(correlation);
    // One block of 2 x 2 complex values.
    std::vector<double> out(8, kUntouched);
    const bool jetNoise = row.type == QVADynCorrelationJetNoise;
    ExpectPlatformError(
        [&] {
          if (jetNoise) {
            event.ComputeJetNoiseModalLoad(out.data(), nullptr, 2.0);
          } else {
            event.ComputeModalLoad(out.data(), nullptr);
          }
        },
        kQVABasInvalidArgument, row.fragments);
    EXPECT_EQ(out, std::vector<double>(8, kUntouched));
    EXPECT_EQ(row.provider->Count().nodalLoads, 0);
  }
}

}  // namespace
