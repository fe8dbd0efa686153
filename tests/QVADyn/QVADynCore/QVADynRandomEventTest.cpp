// The random event's modal load blocks against the literal pairwise sums for every form,
// a dense projection Phi^T S Phi, closed forms, the provider's call sequence and ownership.
//
// Tolerances: the event and the literal loops sum the same n terms in different orders, so
// they differ by at most (n + 8) eps times the sum of the terms' magnitudes; n is bounded by
// the P (P + 1) / 2 pairs of P loaded node-DOFs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynRandomEvent.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "internal/QVADataKinds.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/QVADyn/QVADynCore/QVADynRandomLiteralSums.h"
#include "tests/QVADyn/QVADynCore/QVADynRandomTestProvider.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

constexpr double kSentinel = -777.0;
constexpr int kPlaces = 6;
constexpr int kNodes = 7;
constexpr int kModes = 10;
constexpr int kPatterns = 3;

// Nodes with all, some or one of the six places, so that mode shapes have
// holes; 10 modes in column blocks of 4.
QVATestModalBasisOptions SmallModel() {
  QVATestModalBasisOptions options;
  options.numberOfNodes = kNodes;
  options.maxNodalDof = kPlaces;
  options.placesOfNode = {{0, 1, 2, 3, 4, 5}, {0, 1, 2}, {1, 3, 5}, {0, 1, 2, 3, 4, 5}, {2},
                          {0, 1, 2, 3, 4, 5}, {0, 4}};
  options.numberOfModes = kModes;
  options.columnBlockSize = 4;
  options.seed = 5;
  return options;
}

// Stores participation factors (modes x 6, column by column) as the basis's
// ParticipationFactors distribution, for Open() to read into slot 0.
void StoreParticipationFactors(QVATestModalBasis& basis, const std::vector<double>& factors) {
  QVAFsmModalSystem& modal = basis.ModalObject();
  QVASimTransaction transaction(modal.MyPosition().Context());
  const int directionSymbols[] = {2, 3, 4, 9, 10, 11};
  const QVASimCSetID directions =
      QVASimCollection(modal.DofTypes()).CreateOCSet(directionSymbols, 6);
  const QVASimCSetID sets[] = {modal.Modes(), directions};
  const int wholeDimensions[] = {-1, -1};
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kParticipation), 2, sets, wholeDimensions,
      false);
  modal.SetParticipationFactors(transaction, distribution);
  std::vector<double> copy(factors);
  QVASrvDenseMatrix(distribution)
      .SetValues(0, basis.NumberOfModes() - 1, 0, 5,
                 QVASrvMatrix(basis.NumberOfModes(), 6, copy.data()));
  transaction.Commit();
}

std::vector<double> RandomFactors(int modes, std::uint64_t seed) {
  QVATestRandom random(seed);
  std::vector<double> factors(static_cast<std::size_t>(modes) * 6);
  for (double& factor : factors) factor = random.Uniform(-2.0, 2.0);
  return factors;
}

// Largest |actual - expected| / ((terms + 8) eps * scale) over all entries;
// at most 1 where the two agree to round-off. Entries whose scale is 0 must
// match exactly.
double RoundOffRatio(const std::vector<double>& actual, const std::vector<double>& expected,
                     const std::vector<double>& scale, double terms) {
  double worst = 0.0;
  for (std::size_t k = 0; k < actual.size(); ++k) {
    const double difference = std::fabs(actual[k] - expected[k]);
    if (scale[k] == 0.0) {
      worst = std::max(worst, difference == 0.0 ? 0.0 : std::numeric_limits<double>::infinity());
    } else {
      worst = std::max(worst, difference / ((terms + 8.0) * kQVAEps * scale[k]));
    }
  }
  return worst;
}

// A correlation with a named spectrum and the given entries (key, R, I, third).
struct Entry {
  int key;
  double first;
  double second;
  double third;
};

QVADynCorrelation* MakeCorrelation(int type, bool userDefined, bool complex, bool baseMotion,
                                   const std::vector<Entry>& entries, double magnitude = 0.0) {
  auto* correlation =
      new QVADynCorrelation(static_cast<QVADynCorrelationType>(type), userDefined, complex);
  auto* spectrum = new QVADynPSD(baseMotion, magnitude);
  spectrum->setPSDName("RANDOMLD");
  correlation->SetPSD(spectrum);
  for (const Entry& entry : entries) {
    correlation->AdoptCorrelationData(
        entry.key, new QVADynCorrelationData(entry.first, entry.second, entry.third));
  }
  return correlation;
}

class QVADynRandomEventTest : public ::testing::Test {
 protected:
  QVADynRandomEventTest() : basis_(SmallModel()), provider_(kNodes, kPlaces, kPatterns, 23) {
    factors_ = RandomFactors(kModes, 41);
    StoreParticipationFactors(basis_, factors_);
    modal_ = basis_.Open(capture_.Log());
    event_ = std::make_unique<QVADynRandomEvent>(modal_.get());
    event_->SetLoadProvider(&provider_);
    provider_.ExpectSpectrumName("RANDOMLD");
    SetActiveModes({3, 1, 7, 10, 5});
  }
  ~QVADynRandomEventTest() override {
    event_.reset();
    modal_.reset();
  }

  void SetActiveModes(const std::vector<int>& modes) {
    const int count = static_cast<int>(modes.size());
    event_->SetActiveModes(modes.data(), count);
    literal_.activeModes = modes;
  }
  QVADynCorrelation* Adopt(QVADynCorrelation* correlation) {
    event_->AdoptCorrelation(correlation);
    literal_.correlations.push_back(correlation);
    return correlation;
  }
  void AdoptBaseMotion(int key, int direction) {
    event_->AdoptBaseMotion(key, direction);
    literal_.baseMotions.emplace_back(key, direction);
  }
  int Modes() const { return static_cast<int>(literal_.activeModes.size()); }
  std::size_t OutputSize() const {
    return static_cast<std::size_t>(event_->NumberOfBlocks()) * 2 * Modes() * Modes();
  }

  std::vector<double> Fast(bool jetNoise, double omega = 0.0) {
    std::vector<double> out(OutputSize(), kSentinel);
    if (jetNoise) {
      event_->ComputeJetNoiseModalLoad(out.data(), nodeActive_.data(), omega);
    } else {
      event_->ComputeModalLoad(out.data(), nodeActive_.data());
    }
    return out;
  }
  std::vector<double> Literal(bool jetNoise, bool absolute, double omega = 0.0) {
    literal_.modal = modal_.get();
    literal_.provider = &provider_;
    std::vector<double> out(OutputSize(), kSentinel);
    if (jetNoise) {
      QVADynLiteralJetNoiseModalLoad(literal_, out.data(), nodeActive_.data(), omega, absolute);
    } else {
      QVADynLiteralModalLoad(literal_, out.data(), nodeActive_.data(), absolute);
    }
    return out;
  }
  // Pairs of loaded node-DOFs of the active nodes: bounds the number of terms
  // of any entry's sum.
  double Terms() const {
    const double nodeDofs = 6.0 * kNodes;
    return nodeDofs * (nodeDofs + 1.0) / 2.0;
  }
  // Both operations agree with the literal loops to round-off, and leave the
  // other operation's blocks untouched.
  void ExpectAgreementWithLiteralSums(double omega) {
    for (bool jetNoise : {false, true}) {
      const std::vector<double> fast = Fast(jetNoise, omega);
      const std::vector<double> reference = Literal(jetNoise, false, omega);
      const std::vector<double> scale = Literal(jetNoise, true, omega);
      const double ratio = RoundOffRatio(fast, reference, scale, Terms());
      EXPECT_LE(ratio, 1.0) << (jetNoise ? "jet noise" : "modal load");
      RecordProperty(jetNoise ? "jetNoiseRoundOffRatio" : "modalLoadRoundOffRatio",
                     std::to_string(ratio));
    }
  }

  QVATestLogCapture capture_;
  QVATestModalBasis basis_;
  std::vector<double> factors_;
  std::unique_ptr<QVADynModalSystem> modal_;
  QVADynRandomTestProvider provider_;
  std::unique_ptr<QVADynRandomEvent> event_;
  QVADynRandomLiteralCase literal_{};
  // Node 2 is inactive; non-zero flags other than 1 count as active.
  std::vector<int> nodeActive_ = {1, 3, 0, 1, -1, 1, 1};
};

// ---------------------------------------------------------------- literal sums

struct FormCase {
  const char* name;
  int type;
  bool userDefined;
  bool complex;
  bool baseMotion;
};

class QVADynRandomFormTest : public QVADynRandomEventTest,
                             public ::testing::WithParamInterface<FormCase> {};

TEST_P(QVADynRandomFormTest, AgreesWithTheLiteralSums) {
  const FormCase& form = GetParam();
  // A jet-noise correlation first, so that the blocks under test sit behind
  // blocks that belong to the other operation.
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false,
                        {{2, 3.0, -1.0, 0.5}, {1, 0.0, 0.0, 2.0}}));
  Adopt(MakeCorrelation(form.type, form.userDefined, form.complex, form.baseMotion,
                        {{1, 0.8, 0.3, 0.0}, {3, -0.4, 0.9, 0.0}, {2, 1.1, -0.6, 0.0}}, 1.7));
  if (form.baseMotion) {
    // Key 3 has no base motion; the motion of key 7 has no entry.
    AdoptBaseMotion(1, 2);
    AdoptBaseMotion(1, 6);
    AdoptBaseMotion(2, 4);
    AdoptBaseMotion(2, 4);
    AdoptBaseMotion(7, 3);
  }
  ExpectAgreementWithLiteralSums(4.5);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, QVADynRandomFormTest,
    ::testing::Values(FormCase{"CorrelatedReal", 0, false, false, false},
                      FormCase{"CorrelatedComplex", 0, false, true, false},
                      FormCase{"UncorrelatedReal", 1, false, false, false},
                      FormCase{"UncorrelatedComplex", 1, false, true, false},
                      FormCase{"UserDefinedCorrelated", 0, true, true, false},
                      FormCase{"UserDefinedUncorrelated", 1, true, true, false},
                      FormCase{"UserDefinedReal", 0, true, false, false},
                      FormCase{"TypeFive", 5, false, true, false},
                      FormCase{"BaseMotionCorrelated", 0, false, true, true},
                      FormCase{"BaseMotionUncorrelated", 1, false, true, true},
                      FormCase{"BaseMotionUserDefined", 0, true, true, true}),
    [](const ::testing::TestParamInfo<FormCase>& form) { return std::string(form.param.name); });

TEST_F(QVADynRandomEventTest, ManyNodesFillSeveralPanels) {
  // 60 nodes with all six places loaded: 360 node-DOF columns, more than one
  // panel of rank-one updates.
  QVATestModalBasisOptions options;
  options.numberOfNodes = 60;
  options.placesPerNode = 6;
  options.numberOfModes = 8;
  QVATestModalBasis basis(options);
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  QVADynRandomTestProvider provider(60, 6, 1, 3);
  for (int node = 0; node < 60; ++node) {
    for (int place = 0; place < 6; ++place) provider.Load(node, 1, place) = 1.0 + 0.01 * place;
  }
  std::vector<int> nodeActive(60, 1);
  {
    QVADynRandomEvent event(modal.get());
    event.SetLoadProvider(&provider);
    QVADynRandomLiteralCase literal{modal.get(), &provider, {1, 2, 3, 4, 5, 6, 7, 8}, {}, {}};
    const int count = 8;
    event.SetActiveModes(literal.activeModes.data(), count);
    for (QVADynCorrelation* correlation :
         {MakeCorrelation(0, false, true, false, {{1, 0.6, 0.4, 0.0}}),
          MakeCorrelation(QVADynCorrelationJetNoise, false, false, false, {{1, 1.0, 0.5, 0.0}})}) {
      event.AdoptCorrelation(correlation);
      literal.correlations.push_back(correlation);
    }
    const std::size_t size = 2 * 2 * 8 * 8;
    const double nodeDofs = 360.0;
    for (bool jetNoise : {false, true}) {
      std::vector<double> fast(size, kSentinel);
      std::vector<double> reference(size, kSentinel);
      std::vector<double> scale(size, kSentinel);
      if (jetNoise) {
        event.ComputeJetNoiseModalLoad(fast.data(), nodeActive.data(), 3.0);
        QVADynLiteralJetNoiseModalLoad(literal, reference.data(), nodeActive.data(), 3.0, false);
        QVADynLiteralJetNoiseModalLoad(literal, scale.data(), nodeActive.data(), 3.0, true);
      } else {
        event.ComputeModalLoad(fast.data(), nodeActive.data());
        QVADynLiteralModalLoad(literal, reference.data(), nodeActive.data(), false);
        QVADynLiteralModalLoad(literal, scale.data(), nodeActive.data(), true);
      }
      EXPECT_LE(RoundOffRatio(fast, reference, scale, nodeDofs * (nodeDofs + 1.0) / 2.0), 1.0);
    }
  }
}

// ---------------------------------------------------------------- dense reference

// The Hermitian node-DOF cross-spectral matrix S of one entry, built whole,
// projected with the mode shapes of the reference basis (not read through the
// modal system): Phi^T S Phi equals the block plus its conjugate transpose,
// since the block holds the pairs j >= i with the diagonal halved.
class DenseReference {
 public:
  // `coefficient(alpha, beta)` gives the coefficient of node-DOF alpha before
  // beta (alpha <= beta in node-major order) as the event defines it.
  template <class Coefficient>
  DenseReference(const QVATestModalBasis& basis, QVADynRandomTestProvider& provider,
                 const std::vector<int>& nodeActive, const std::vector<int>& activeModes, int key,
                 Coefficient coefficient) {
    const int nodeDofs = kNodes * kPlaces;
    const int m = static_cast<int>(activeModes.size());
    std::vector<long double> load(static_cast<std::size_t>(nodeDofs));
    std::vector<long double> phi(static_cast<std::size_t>(nodeDofs) * m);
    for (int alpha = 0; alpha < nodeDofs; ++alpha) {
      const int node = alpha / kPlaces;
      const int place = alpha % kPlaces;
      load[static_cast<std::size_t>(alpha)] =
          nodeActive[static_cast<std::size_t>(node)] != 0 ? provider.Load(node, key, place) : 0.0;
      for (int a = 0; a < m; ++a) {
        phi[static_cast<std::size_t>(alpha) * m + a] =
            basis.NodalModeShape(activeModes[static_cast<std::size_t>(a)] - 1, node, place);
      }
    }
    projection_.assign(static_cast<std::size_t>(m) * m, 0.0L);
    scale_.assign(static_cast<std::size_t>(m) * m, 0.0L);
    for (int beta = 0; beta < nodeDofs; ++beta) {
      for (int alpha = 0; alpha < nodeDofs; ++alpha) {
        // S(beta, alpha) = L_beta K(alpha, beta) L_alpha, K Hermitian.
        std::complex<long double> k;
        if (alpha == beta) {
          k = coefficient(alpha, beta).real();
        } else if (alpha < beta) {
          k = coefficient(alpha, beta);
        } else {
          k = std::conj(coefficient(beta, alpha));
        }
        const std::complex<long double> s =
            load[static_cast<std::size_t>(beta)] * k * load[static_cast<std::size_t>(alpha)];
        if (s == std::complex<long double>(0.0L, 0.0L)) continue;
        for (int a = 0; a < m; ++a) {
          for (int b = 0; b < m; ++b) {
            const long double left = phi[static_cast<std::size_t>(beta) * m + a];
            const long double right = phi[static_cast<std::size_t>(alpha) * m + b];
            projection_[static_cast<std::size_t>(a) * m + b] += left * s * right;
            scale_[static_cast<std::size_t>(a) * m + b] += std::fabs(left * right) * std::abs(s);
          }
        }
      }
    }
    m_ = m;
  }

  // Largest deviation of block + block^H from Phi^T S Phi, relative to the
  // round-off bound (terms + 8) eps * (sum of absolute terms), per entry.
  double RoundOffRatio(const double* block, double terms) const {
    double worst = 0.0;
    const std::size_t mm = static_cast<std::size_t>(m_) * m_;
    for (int a = 0; a < m_; ++a) {
      for (int b = 0; b < m_; ++b) {
        const std::size_t ab = static_cast<std::size_t>(a) * m_ + b;
        const std::size_t ba = static_cast<std::size_t>(b) * m_ + a;
        const std::complex<long double> whole(block[ab] + block[ba],
                                              block[mm + ab] - block[mm + ba]);
        const long double bound =
            (terms + 8.0L) * static_cast<long double>(kQVAEps) * scale_[ab] + 1e-300L;
        worst = std::max(worst, static_cast<double>(std::abs(whole - projection_[ab]) / bound));
      }
    }
    return worst;
  }

 private:
  int m_ = 0;
  std::vector<std::complex<long double>> projection_;
  std::vector<long double> scale_;
};

// The sign the imaginary part of a pair takes: negative when the earlier
// node-DOF's place is after the later one's.
long double PlaceSign(int alpha, int beta) {
  return alpha % kPlaces > beta % kPlaces ? -1.0L : 1.0L;
}

TEST_F(QVADynRandomEventTest, BlockPlusConjugateTransposeIsTheProjectedCrossSpectrum) {
  const double real = 0.7;
  const double imaginary = 0.4;
  Adopt(MakeCorrelation(0, false, true, false, {{2, real, imaginary, 0.0}}));
  Adopt(MakeCorrelation(1, false, true, false, {{2, real, imaginary, 0.0}}));
  const double velocity[3] = {3.0, 1.0, -2.0};
  const double omega = 5.0;
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false,
                        {{2, velocity[0], velocity[1], velocity[2]}}));
  const std::vector<double> nodal = Fast(false);
  const std::vector<double> jet = Fast(true, omega);
  const std::size_t blockSize = 2 * static_cast<std::size_t>(Modes()) * Modes();

  const DenseReference correlated(
      basis_, provider_, nodeActive_, literal_.activeModes, 2, [&](int alpha, int beta) {
        return std::complex<long double>(real, imaginary * PlaceSign(alpha, beta));
      });
  EXPECT_LE(correlated.RoundOffRatio(nodal.data(), Terms()), 1.0);

  const DenseReference uncorrelated(
      basis_, provider_, nodeActive_, literal_.activeModes, 2, [&](int alpha, int beta) {
        return std::complex<long double>(alpha == beta ? real : 0.0, 0.0);
      });
  EXPECT_LE(uncorrelated.RoundOffRatio(nodal.data() + blockSize, Terms()), 1.0);

  // Phase of node n: its position along the velocity, times omega / |v|^2.
  const auto phase = [&](int node) {
    const double* x = provider_.Coordinates(node);
    return static_cast<long double>(x[0] * velocity[0] + x[1] * velocity[1] + x[2] * velocity[2]) *
           omega / 14.0L;
  };
  const DenseReference convected(
      basis_, provider_, nodeActive_, literal_.activeModes, 2, [&](int alpha, int beta) {
        const long double difference = phase(beta / kPlaces) - phase(alpha / kPlaces);
        return std::complex<long double>(std::cos(difference),
                                         PlaceSign(alpha, beta) * std::sin(difference));
      });
  EXPECT_LE(convected.RoundOffRatio(jet.data() + 2 * blockSize, Terms()), 1.0);
}

// ---------------------------------------------------------------- closed forms

TEST_F(QVADynRandomEventTest, BaseMotionOfOneDirectionIsHalfTheSquaredFactorProduct) {
  // Direction 3 excited by two base motions of pattern 1 (level g once), a
  // base motion of pattern 7, which has no entry, and an entry of key 5
  // without base motions: R(a, b) = g^2 R / 2 * Gamma(3, a) Gamma(3, b).
  const double g = 2.5;
  const double real = 0.8;
  Adopt(MakeCorrelation(0, false, true, true, {{1, real, 0.6, 0.0}, {5, 3.0, 1.0, 0.0}}, g));
  AdoptBaseMotion(1, 3);
  AdoptBaseMotion(1, 3);
  AdoptBaseMotion(7, 1);
  const std::vector<double> block = Fast(false);
  const int m = Modes();
  for (int a = 0; a < m; ++a) {
    for (int b = 0; b < m; ++b) {
      const double gammaA =
          factors_[2 * static_cast<std::size_t>(kModes) + literal_.activeModes[a] - 1];
      const double gammaB =
          factors_[2 * static_cast<std::size_t>(kModes) + literal_.activeModes[b] - 1];
      const double expected = 0.5 * g * g * real * gammaA * gammaB;
      // One non-zero term formed with five roundings.
      EXPECT_NEAR(block[static_cast<std::size_t>(a) * m + b], expected,
                  8.0 * kQVAEps * std::fabs(expected));
      // p = q: the imaginary term is halved and not negated; it stays.
      EXPECT_NEAR(block[static_cast<std::size_t>(m) * m + a * m + b], expected * 0.6 / real,
                  8.0 * kQVAEps * std::fabs(expected));
    }
  }
}

TEST_F(QVADynRandomEventTest, BaseMotionKeyMinusThreeIsVisited) {
  const double g = 1.5;
  Adopt(MakeCorrelation(0, false, false, true, {{-3, 1.0, 0.0, 0.0}}, g));
  AdoptBaseMotion(-3, 1);
  const std::vector<double> block = Fast(false);
  const int m = Modes();
  const double gamma0 = factors_[static_cast<std::size_t>(literal_.activeModes[0]) - 1];
  // One term, five roundings.
  EXPECT_NEAR(block[0], 0.5 * g * g * gamma0 * gamma0, 8.0 * kQVAEps * g * g * gamma0 * gamma0);
  EXPECT_EQ(block[static_cast<std::size_t>(m) * m], 0.0);
}

TEST_F(QVADynRandomEventTest, BaseMotionWithoutParticipationFactorsIsZero) {
  QVATestModalBasis bare(SmallModel());
  std::unique_ptr<QVADynModalSystem> modal = bare.Open();
  ASSERT_EQ(modal->ParticipationFactors(0), nullptr);
  QVADynRandomEvent event(modal.get());
  const int modes[] = {1, 2};
  const int count = 2;
  event.SetActiveModes(modes, count);
  event.AdoptCorrelation(MakeCorrelation(0, false, true, true, {{1, 1.0, 1.0, 0.0}}, 1.0));
  event.AdoptBaseMotion(1, 1);
  // No provider is needed for base motion that is not user-defined.
  std::vector<double> out(8, kSentinel);
  event.ComputeModalLoad(out.data(), nullptr);
  EXPECT_EQ(out, std::vector<double>(8, 0.0));
}

TEST_F(QVADynRandomEventTest, JetNoiseOnAPlaneNormalToTheVelocityIsTheCorrelatedRealField) {
  // Every node on the plane x = 0.75 and v along x: equal phases, so the
  // field is fully correlated with coefficient 1 and no imaginary part.
  for (int node = 0; node < kNodes; ++node) provider_.Coordinates(node)[0] = 0.75;
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false, {{3, 40.0, 0.0, 0.0}}));
  Adopt(MakeCorrelation(0, false, false, false, {{3, 1.0, 0.0, 0.0}}));
  const std::vector<double> jet = Fast(true, 7.0);
  const std::vector<double> correlated = Fast(false);
  const std::vector<double> scale = Literal(false, true);
  const std::size_t blockSize = 2 * static_cast<std::size_t>(Modes()) * Modes();
  const std::size_t half = blockSize / 2;
  const std::vector<double> jetBlock(jet.begin(),
                                     jet.begin() + static_cast<std::ptrdiff_t>(blockSize));
  const std::vector<double> correlatedBlock(
      correlated.begin() + static_cast<std::ptrdiff_t>(blockSize), correlated.end());
  // The real field has no imaginary terms; the jet-noise imaginary part is
  // c s - s c summed in two orders, so its scale is that of the real terms.
  std::vector<double> scaleBlock(scale.begin() + static_cast<std::ptrdiff_t>(blockSize),
                                 scale.end());
  std::copy_n(scaleBlock.begin(), half, scaleBlock.begin() + static_cast<std::ptrdiff_t>(half));
  // cos^2 + sin^2 = 1 and c s - s c = 0 to round-off.
  EXPECT_LE(RoundOffRatio(jetBlock, correlatedBlock, scaleBlock, Terms()), 1.0);
}

// ---------------------------------------------------------------- edge cases

TEST_F(QVADynRandomEventTest, NoActiveModesWritesNothing) {
  Adopt(MakeCorrelation(0, false, true, false, {{1, 1.0, 1.0, 0.0}}));
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false, {{1, 1.0, 0.0, 0.0}}));
  SetActiveModes({});
  std::vector<double> out(4, kSentinel);
  event_->ComputeModalLoad(out.data(), nodeActive_.data());
  event_->ComputeJetNoiseModalLoad(out.data(), nodeActive_.data(), 2.0);
  EXPECT_EQ(out, std::vector<double>(4, kSentinel));
  // The provider still sees one Begin ... End per block.
  EXPECT_EQ(provider_.Count().begin, 2);
  EXPECT_EQ(provider_.Count().end, 2);
  EXPECT_EQ(provider_.Count().outOfSequence, 0);
}

TEST_F(QVADynRandomEventTest, CorrelationWithoutEntriesGetsAZeroedBlock) {
  Adopt(MakeCorrelation(0, false, true, false, {}));
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false, {}));
  Adopt(MakeCorrelation(1, false, false, false, {{1, 1.0, 0.0, 0.0}}));
  ASSERT_EQ(event_->NumberOfBlocks(), 2);
  const std::vector<double> out = Fast(false);
  const std::size_t blockSize = 2 * static_cast<std::size_t>(Modes()) * Modes();
  for (std::size_t k = 0; k < blockSize; ++k) ASSERT_EQ(out[k], 0.0) << k;
  EXPECT_NE(out[blockSize], kSentinel);
  EXPECT_EQ(provider_.Count().begin, 1);
}

TEST_F(QVADynRandomEventTest, NullNodeFlagsLetEveryNodeTakePart) {
  Adopt(MakeCorrelation(0, false, true, false, {{1, 0.9, 0.4, 0.0}}));
  std::vector<double> all(OutputSize(), kSentinel);
  event_->ComputeModalLoad(all.data(), nullptr);
  std::fill(nodeActive_.begin(), nodeActive_.end(), 1);
  // The same operations in the same order: identical bits.
  EXPECT_EQ(all, Fast(false));
}

TEST_F(QVADynRandomEventTest, ProviderCallSequence) {
  auto* nodal =
      Adopt(MakeCorrelation(0, false, true, false, {{1, 1.0, 0.5, 0.0}, {3, 0.2, 0.0, 0.0}}));
  auto* jet = Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false,
                                    {{2, 1.0, 0.0, 0.0}, {1, 0.0, 1.0, 0.0}}));
  Adopt(MakeCorrelation(0, false, false, true, {{1, 1.0, 0.0, 0.0}}, 1.0));
  AdoptBaseMotion(1, 1);
  const int activeNodes = 6;
  const std::size_t blockSize = 2 * static_cast<std::size_t>(Modes()) * Modes();
  std::vector<double> out(OutputSize(), kSentinel);

  event_->ComputeModalLoad(out.data(), nodeActive_.data());
  // Two nodal entries; the base-motion correlation does not call the provider.
  ASSERT_EQ(provider_.BeginCalls().size(), 2u);
  EXPECT_EQ(provider_.BeginCalls()[0].block, out.data());
  EXPECT_EQ(provider_.BeginCalls()[0].key, 1);
  EXPECT_EQ(provider_.BeginCalls()[0].context, nodal);
  EXPECT_EQ(provider_.BeginCalls()[1].key, 3);
  EXPECT_EQ(provider_.Count().end, 2);
  EXPECT_EQ(provider_.Count().numberOfNodes, 2);
  // Each active node's loads once per block; no coordinates without a user
  // correlation.
  EXPECT_EQ(provider_.Count().nodalLoads, 2 * activeNodes);
  EXPECT_EQ(provider_.Count().nodeCoordinates, 0);
  EXPECT_EQ(provider_.Count().userCorrelation, 0);
  EXPECT_EQ(provider_.Count().outOfSequence, 0);

  provider_.ResetCounts();
  event_->ComputeJetNoiseModalLoad(out.data(), nodeActive_.data(), 1.0);
  ASSERT_EQ(provider_.BeginCalls().size(), 2u);
  const auto* firstEntry =
      static_cast<const QVADynCorrelationData*>(*jet->GetCorrelationDataList().Find(1));
  EXPECT_EQ(provider_.BeginCalls()[0].block, out.data() + blockSize);
  EXPECT_EQ(provider_.BeginCalls()[0].key, 1);
  EXPECT_EQ(provider_.BeginCalls()[0].context, firstEntry->Values());
  EXPECT_EQ(provider_.BeginCalls()[1].block, out.data() + 2 * blockSize);
  EXPECT_EQ(provider_.Count().end, 2);
  EXPECT_EQ(provider_.Count().nodeCoordinates, 2 * activeNodes);
  EXPECT_EQ(provider_.Count().nodalLoads, 2 * activeNodes);
  EXPECT_EQ(provider_.Count().outOfSequence, 0);

  // No nodes: Begin and End still bracket the block, which stays zero.
  provider_.ResetCounts();
  provider_.SetNumberOfNodes(0);
  event_->ComputeModalLoad(out.data(), nodeActive_.data());
  EXPECT_EQ(provider_.Count().begin, 2);
  EXPECT_EQ(provider_.Count().end, 2);
  EXPECT_EQ(provider_.Count().nodalLoads, 0);
  for (std::size_t k = 0; k < blockSize; ++k) ASSERT_EQ(out[k], 0.0);
}

TEST_F(QVADynRandomEventTest, ConstructionHoldsNodalAccessAndRowAccess) {
  EXPECT_EQ(modal_->ModeShapes()->Access(), 2);
  // The node-access state is open: a node's modes can be read.
  std::vector<double> shapes(static_cast<std::size_t>(kModes) * kPlaces, 0.0);
  modal_->GetModesNodal(0, kModes - 1, 2, shapes.data());
  EXPECT_EQ(shapes[1], basis_.NodalModeShape(0, 2, 1));
  EXPECT_EQ(shapes[kPlaces + 5], basis_.NodalModeShape(1, 2, 5));
  EXPECT_EQ(shapes[0], 0.0);  // node 2 has no place 0

  const std::string before = capture_.Contents();
  event_.reset();
  EXPECT_EQ(modal_->ModeShapes()->Access(), 0);
  const std::string written = capture_.Contents().substr(before.size());
  EXPECT_EQ(written.rfind(kQVADynLogNodalModeAccessTime, 0), 0u) << written;
  EXPECT_THROW(modal_->GetModesNodal(0, kModes - 1, 2, shapes.data()), QVABasError);
}

TEST_F(QVADynRandomEventTest, ActiveModesOutsideTheBasisAreRefusedAndKeepTheOldList) {
  const int outside[] = {1, kModes + 1};
  const int two = 2;
  EXPECT_THROW(event_->SetActiveModes(outside, two), QVABasError);
  const int zero[] = {0};
  const int one = 1;
  EXPECT_THROW(event_->SetActiveModes(zero, one), QVABasError);
  EXPECT_EQ(event_->NumberOfActiveModes(), 5);
  EXPECT_EQ(event_->ActiveModes()[0], 3);
}

TEST_F(QVADynRandomEventTest, AdoptingNullOrTheSameCorrelationTwiceIsRefused) {
  QVADynCorrelation* first = Adopt(MakeCorrelation(0, false, false, false, {}));
  EXPECT_THROW(event_->AdoptCorrelation(first), QVABasError);
  EXPECT_THROW(event_->AdoptCorrelation(nullptr), QVABasError);
  EXPECT_EQ(event_->NumberOfCorrelations(), 1);
}

TEST_F(QVADynRandomEventTest, MissingInputsAreRefusedBeforeAnythingIsWritten) {
  Adopt(MakeCorrelation(0, false, false, false, {{1, 1.0, 0.0, 0.0}}));
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false, {{1, 0.0, 0.0, 0.0}}));
  std::vector<double> out(OutputSize(), kSentinel);
  const auto expectRefused = [&](auto operation, int number) {
    try {
      operation();
      ADD_FAILURE() << "accepted";
    } catch (const QVABasError& error) {
      EXPECT_EQ(error.ErrorNumber(), number) << error.what();
    }
    EXPECT_EQ(out, std::vector<double>(OutputSize(), kSentinel));
  };
  // A zero convection velocity has no direction.
  expectRefused([&] { event_->ComputeJetNoiseModalLoad(out.data(), nodeActive_.data(), 1.0); },
                kQVABasInvalidArgument);
  event_->SetLoadProvider(nullptr);
  expectRefused([&] { event_->ComputeModalLoad(out.data(), nodeActive_.data()); },
                kQVASrvInvalidState);
  event_->SetLoadProvider(&provider_);
  // A correlation without spectrum.
  Adopt(new QVADynCorrelation(QVADynCorrelationCorrelated, false, false));
  out.resize(OutputSize(), kSentinel);
  expectRefused([&] { event_->ComputeModalLoad(out.data(), nodeActive_.data()); },
                kQVABasInvalidArgument);
  EXPECT_EQ(provider_.Count().begin, 0);
}

}  // namespace
