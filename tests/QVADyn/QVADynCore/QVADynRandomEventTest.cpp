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
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynRandomEvent.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/QVADyn/QVADynCore/QVADynEventTestSupport.h"
#include "tests/QVADyn/QVADynCore/QVADynRandomLiteralSums.h"
#include "tests/QVADyn/QVADynCore/QVADynRandomTestProvider.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

extern "C" void dsyev_(const char* jobz, const char* upperOrLower, const int* n, double* a,
                       const int* lda, double* eigenvalues, double* work, const int* workSize,
                       int* info, std::size_t jobzLength, std::size_t upperOrLowerLength);

namespace {

constexpr double kSentinel = -777.0;
constexpr int kPlaces = 6;
constexpr int kNodes = 7;
constexpr int kModes = 10;
constexpr int kPatterns = 3;

// Nodes with all, some or one of the six places, so that mode shapes have
// holes; 10 modes in column blocks of 4.
QVATestModalBasisOptions SmallModel() {
  QVATestModalBasisOptions options{.numberOfNodes = kNodes, .maxNodalDof = kPlaces};
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
      modal.MyPosition(), CoreFragmentTypeIndex(6, 16), 2, sets, wholeDimensions, false);
  modal.SetParticipationFactors(transaction, distribution);
  std::vector<double> copy(factors);
  QVASrvDenseMatrix(distribution)
      .SetValues(0, basis.NumberOfModes() - 1, 0, 5,
                 QVASrvMatrix(basis.NumberOfModes(), 6, copy.data()));
  transaction.Commit();
}

std::vector<double> RandomFactors(int modes, std::uint64_t seed) {
  QVATestRandom random(seed);
  std::vector<double> factors(QVAIndex(modes) * 6);
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
    return QVAIndex(event_->NumberOfBlocks()) * 2 * Modes() * Modes();
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
  QVATestModalBasis basis({.numberOfNodes = 60, .placesPerNode = 6, .numberOfModes = 8});
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

// The Hermitian cross-spectral matrix S over `rows` node-DOFs (or directions),
// built whole, projected: P(a, b) = sum over beta, alpha of phi(beta, a)
// S(beta, alpha) phi(alpha, b), with S(beta, alpha) = L_beta c(alpha, beta)
// L_alpha for alpha < beta, its conjugate for alpha > beta and the real part
// on the diagonal. Entry (a, b) at a * m + b.
template <class Load, class Shape, class Coefficient>
std::vector<std::complex<double>> ProjectedCrossSpectrum(int rows, int m, Load load, Shape phi,
                                                         Coefficient coefficient) {
  std::vector<std::complex<long double>> sum(QVAIndex(m) * m);
  for (int beta = 0; beta < rows; ++beta) {
    for (int alpha = 0; alpha < rows; ++alpha) {
      std::complex<long double> c =
          alpha <= beta ? coefficient(alpha, beta) : std::conj(coefficient(beta, alpha));
      if (alpha == beta) c = c.real();
      const std::complex<long double> s = load(beta) * c * load(alpha);
      for (int a = 0; a < m; ++a) {
        for (int b = 0; b < m; ++b) sum[QVAIndex(a) * m + b] += phi(beta, a) * s * phi(alpha, b);
      }
    }
  }
  return std::vector<std::complex<double>>(sum.begin(), sum.end());
}

// B + B^H of the block at `block`: Re = R(a, b) + R(b, a), Im = I(a, b) - I(b, a).
std::vector<std::complex<double>> Completed(const double* block, int m) {
  const std::size_t mm = QVAIndex(m) * m;
  std::vector<std::complex<double>> whole(mm);
  for (int a = 0; a < m; ++a) {
    for (int b = 0; b < m; ++b) {
      const std::size_t ab = QVAIndex(a) * m + b;
      const std::size_t ba = QVAIndex(b) * m + a;
      whole[ab] = {block[ab] + block[ba], block[mm + ab] - block[mm + ba]};
    }
  }
  return whole;
}

// Largest |actual - expected| relative to the largest |expected|.
double RelativeDifference(const std::vector<std::complex<double>>& actual,
                          const std::vector<std::complex<double>>& expected) {
  double difference = 0.0;
  double size = 0.0;
  for (std::size_t k = 0; k < actual.size(); ++k) {
    difference = std::max(difference, std::abs(actual[k] - expected[k]));
    size = std::max(size, std::abs(expected[k]));
  }
  return difference / size;
}

// Smallest over largest eigenvalue of the Hermitian m x m matrix h, from dsyev
// on its real form [Re -Im; Im Re] (each eigenvalue twice).
double SmallestToLargestEigenvalue(const std::vector<std::complex<double>>& h, int m) {
  const int n = 2 * m;
  std::vector<double> real(QVAIndex(n) * n);
  for (int a = 0; a < m; ++a) {
    for (int b = 0; b < m; ++b) {
      const std::complex<double> value = h[QVAIndex(a) * m + b];
      const auto at = [n](int row, int column) { return QVAIndex(row) + QVAIndex(column) * n; };
      real[at(a, b)] = real[at(a + m, b + m)] = value.real();
      real[at(a + m, b)] = value.imag();
      real[at(a, b + m)] = -value.imag();
    }
  }
  std::vector<double> eigenvalues(QVAIndex(n));
  const char noVectors = 'N';
  const char lower = 'L';
  const int workSize = 8 * n;
  std::vector<double> work(QVAIndex(workSize));
  int info = 0;
  dsyev_(&noVectors, &lower, &n, real.data(), &n, eigenvalues.data(), work.data(), &workSize, &info,
         1, 1);
  EXPECT_EQ(info, 0);
  return eigenvalues.front() / eigenvalues.back();
}

// One entry (key 2) of each kind; base motion excites the listed directions.
struct CrossSpectrumCase {
  const char* name;
  int type;
  bool userDefined;
  bool complex;
  std::vector<int> directions;  // empty: nodal loads
  bool positiveSemidefinite;    // S = L L^T or z z^H scaled by R > 0
};

class QVADynRandomCrossSpectrumTest : public QVADynRandomEventTest,
                                      public ::testing::WithParamInterface<CrossSpectrumCase> {};

// Loads in up to six DOF places on six active nodes: block + block^H equals
// Phi^T S Phi of the Hermitian S built whole from the coefficients; the
// products differ by round-off of sums of about 900 terms, far below 1e-12.
TEST_P(QVADynRandomCrossSpectrumTest, CompletedBlockIsTheProjectedHermitianCrossSpectrum) {
  const CrossSpectrumCase& form = GetParam();
  const double real = 0.7;
  const double imaginary = 0.4;
  const double g = 1.3;
  const double velocity[3] = {3.0, 1.0, -2.0};
  const double omega = 5.0;
  const int key = 2;
  const bool jetNoise = form.type == QVADynCorrelationJetNoise;
  const bool baseMotion = !form.directions.empty();
  Adopt(jetNoise ? MakeCorrelation(form.type, false, false, false,
                                   {{key, velocity[0], velocity[1], velocity[2]}})
                 : MakeCorrelation(form.type, form.userDefined, form.complex, baseMotion,
                                   {{key, real, imaginary, 0.0}}, g));
  for (const int direction : form.directions) AdoptBaseMotion(key, direction);
  const std::vector<double> block = Fast(jetNoise, omega);
  const int m = Modes();
  const auto mode = [&](int a) { return literal_.activeModes[QVAIndex(a)] - 1; };

  std::vector<std::complex<double>> expected;
  if (baseMotion) {
    const auto level = [&](int p) {
      const bool excited = std::count(form.directions.begin(), form.directions.end(), p + 1) > 0;
      return excited ? static_cast<long double>(g) : 0.0L;
    };
    const auto gamma = [&](int p, int a) {
      return static_cast<long double>(factors_[QVAIndex(p) * kModes + mode(a)]);
    };
    expected = ProjectedCrossSpectrum(6, m, level, gamma, [&](int, int) {
      return std::complex<long double>(real, form.complex ? imaginary : 0.0);
    });
  } else {
    // Node-DOF alpha = (alpha / 6, alpha % 6).
    const auto load = [&](int alpha) {
      const int node = alpha / kPlaces;
      return nodeActive_[QVAIndex(node)] != 0
                 ? static_cast<long double>(provider_.Load(node, key, alpha % kPlaces))
                 : 0.0L;
    };
    const auto phi = [&](int alpha, int a) {
      return static_cast<long double>(
          basis_.NodalModeShape(mode(a), alpha / kPlaces, alpha % kPlaces));
    };
    const auto phase = [&](int node) {
      const double* x = provider_.Coordinates(node);
      return static_cast<long double>(x[0] * velocity[0] + x[1] * velocity[1] +
                                      x[2] * velocity[2]) *
             omega / 14.0L;
    };
    expected = ProjectedCrossSpectrum(kNodes * kPlaces, m, load, phi, [&](int alpha, int beta) {
      const int i = alpha / kPlaces, d = alpha % kPlaces, j = beta / kPlaces, e = beta % kPlaces;
      if (jetNoise) return std::polar(1.0L, phase(j) - phase(i));
      if (form.type == QVADynCorrelationUncorrelated && alpha != beta)
        return std::complex<long double>();
      double r = real;
      double s = imaginary;
      if (form.userDefined) {
        const int one = 1;
        provider_.UserCorrelation("RANDOMLD", &r, &s, &one, &key, &i, &d, &j, &e,
                                  provider_.Coordinates(i), provider_.Coordinates(j));
      }
      return std::complex<long double>(r, form.complex ? s : 0.0);
    });
  }
  const std::vector<std::complex<double>> whole = Completed(block.data(), m);
  EXPECT_LE(RelativeDifference(whole, expected), 1e-12);
  if (form.positiveSemidefinite) {
    // A rank-one S: the largest eigenvalue is of the size of the entries, the
    // others round-off; an indefinite completion is far below -1e-12.
    EXPECT_GE(SmallestToLargestEigenvalue(whole, m), -1e-12);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, QVADynRandomCrossSpectrumTest,
    ::testing::Values(CrossSpectrumCase{"CorrelatedComplex", 0, false, true, {}, false},
                      CrossSpectrumCase{"CorrelatedReal", 0, false, false, {}, true},
                      CrossSpectrumCase{"UncorrelatedComplex", 1, false, true, {}, false},
                      CrossSpectrumCase{"UserDefinedHermitian", 0, true, true, {}, false},
                      CrossSpectrumCase{
                          "JetNoise", QVADynCorrelationJetNoise, false, false, {}, true},
                      CrossSpectrumCase{"BaseMotionYZComplex", 0, false, true, {2, 3}, false},
                      CrossSpectrumCase{"BaseMotionYZReal", 0, false, false, {2, 3}, true},
                      CrossSpectrumCase{"BaseMotionXYRzReal", 0, false, false, {1, 2, 6}, true},
                      CrossSpectrumCase{"BaseMotionXYRzComplex", 0, false, true, {1, 2, 6}, false}),
    [](const ::testing::TestParamInfo<CrossSpectrumCase>& form) {
      return std::string(form.param.name);
    });

// ---------------------------------------------------------------- closed forms

TEST_F(QVADynRandomEventTest, BaseMotionKeyMinusThreeIsVisited) {
  const double g = 1.5;
  Adopt(MakeCorrelation(0, false, false, true, {{-3, 1.0, 0.0, 0.0}}, g));
  AdoptBaseMotion(-3, 1);
  const std::vector<double> block = Fast(false);
  const int m = Modes();
  const double gamma0 = factors_[QVAIndex(literal_.activeModes[0]) - 1];
  // One term, five roundings.
  EXPECT_NEAR(block[0], 0.5 * g * g * gamma0 * gamma0, 8.0 * kQVAEps * g * g * gamma0 * gamma0);
  EXPECT_EQ(block[QVAIndex(m) * m], 0.0);
}

TEST_F(QVADynRandomEventTest, BaseMotionWithoutParticipationFactorsIsRefusedBeforeWriting) {
  QVATestModalBasis bare(SmallModel());
  std::unique_ptr<QVADynModalSystem> modal = bare.Open();
  ASSERT_EQ(modal->ParticipationFactors(0), nullptr);
  QVADynRandomEvent event(modal.get());
  const int modes[] = {1, 2};
  const int count = 2;
  event.SetActiveModes(modes, count);
  // Key 3 drives no base motion; key 1 does. No provider is needed for base
  // motion that is not user-defined.
  event.AdoptCorrelation(MakeCorrelation(0, false, true, true, {{3, 1.0, 1.0, 0.0}}, 1.0));
  std::vector<double> out(8, kSentinel);
  event.ComputeModalLoad(out.data(), nullptr);
  EXPECT_EQ(out, std::vector<double>(8, 0.0));
  event.AdoptCorrelation(MakeCorrelation(0, false, true, true, {{1, 1.0, 1.0, 0.0}}, 1.0));
  event.AdoptBaseMotion(1, 1);
  out.assign(16, kSentinel);
  ExpectPlatformError([&] { event.ComputeModalLoad(out.data(), nullptr); }, kQVASrvInvalidState,
                      {"correlation 2, key 1 drives base motion, but the modal system has no "
                       "participation factors in slot 0"});
  EXPECT_EQ(out, std::vector<double>(16, kSentinel));
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
  const std::size_t blockSize = 2 * QVAIndex(Modes()) * Modes();
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
  const std::size_t blockSize = 2 * QVAIndex(Modes()) * Modes();
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
  std::vector<double> shapes(QVAIndex(kModes) * kPlaces, 0.0);
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

// Refused setters keep what the event held: its active modes and correlations.
TEST_F(QVADynRandomEventTest, RefusedActiveModesAndCorrelationsKeepTheOldState) {
  const int outside[] = {1, kModes + 1};
  EXPECT_THROW(event_->SetActiveModes(outside, 2), QVABasError);
  const int zero[] = {0};
  EXPECT_THROW(event_->SetActiveModes(zero, 1), QVABasError);
  EXPECT_EQ(event_->NumberOfActiveModes(), 5);
  EXPECT_EQ(event_->ActiveModes()[0], 3);
  QVADynCorrelation* first = Adopt(MakeCorrelation(0, false, false, false, {}));
  EXPECT_THROW(event_->AdoptCorrelation(first), QVABasError);
  EXPECT_THROW(event_->AdoptCorrelation(nullptr), QVABasError);
  EXPECT_EQ(event_->NumberOfCorrelations(), 1);
}

TEST_F(QVADynRandomEventTest, MissingInputsAreRefusedBeforeAnythingIsWritten) {
  Adopt(MakeCorrelation(0, false, false, false, {{1, 1.0, 0.0, 0.0}}));
  Adopt(MakeCorrelation(QVADynCorrelationJetNoise, false, false, false, {{1, 0.0, 0.0, 0.0}}));
  std::vector<double> out(OutputSize(), kSentinel);
  const auto expectRefused = [&](const std::function<void()>& operation, int number) {
    ExpectPlatformError(operation, number, {});
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
