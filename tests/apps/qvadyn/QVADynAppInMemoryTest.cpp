// The application as the Python module runs it: a job from text, a basis
// over mode shapes held by someone else, results in an in-memory file, and a
// progress listener that may stop the run. Ownership is checked under ASan.

#include <gtest/gtest.h>
#include <hdf5.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "Analyses.h"
#include "BasisFile.h"
#include "Error.h"
#include "JobFile.h"
#include "ModelSetup.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "ResultsFile.h"

namespace {

// One DOF of mass 2 at 5 Hz, its shape 1/sqrt(2) held outside the basis.
constexpr double kMass = 2.0;
const double kOmega = 2.0 * std::numbers::pi * 5.0;

qvadyn::Basis ExternalSdof() {
  auto shapes = std::make_shared<std::vector<double>>(1, 1.0 / std::sqrt(kMass));
  qvadyn::Basis basis;
  basis.eigenvalues = {kOmega * kOmega};
  basis.dofNodes = {1};
  basis.dofComponents = {1};
  basis.externalModes = *shapes;
  basis.modesOwner = shapes;
  return basis;
}

constexpr char kSweep[] = R"(basis = "memory"
[damping]
modal = 0.02
[[load]]
node = 1
component = 1
[output]
dofs = [[1, 1]]
csv = false
[analysis.sweep]
type = "harmonic"
frequencies = [1.0, 5.0, 9.0]
)";

TEST(QVADynAppInMemoryTest, SweepOfABasisOverExternalShapesIntoMemory) {
  const qvadyn::Basis basis = ExternalSdof();
  EXPECT_TRUE(basis.modes.empty());
  qvadyn::ValidateBasis(basis, "memory");
  const qvadyn::Job job = qvadyn::ParseJob(kSweep, "text");
  qvadyn::ComponentSession session;
  QVADynLogFile log;
  qvadyn::Model model(basis, log);
  qvadyn::ResultsWriter results("qvadyn-in-memory-test");
  qvadyn::Progress progress(false);
  int calls = 0;
  progress.SetListener([&calls] { ++calls; });
  qvadyn::AnalysisContext context{job, job.analyses.front(), model, results, progress};
  qvadyn::RunHarmonic(context);
  EXPECT_GT(calls, 0);

  std::vector<std::complex<double>> response(3);
  const qvadyn::Hdf5Handle type = qvadyn::Hdf5ComplexType();
  const qvadyn::Hdf5Handle dataset(
      H5Dopen2(results.File().Id(), "/sweep/displacement", H5P_DEFAULT));
  ASSERT_GE(H5Dread(dataset.Id(), type.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, response.data()), 0);
  for (std::size_t j = 0; j < 3; ++j) {
    const double omega = 2.0 * std::numbers::pi * job.analyses.front().frequencies[j];
    const std::complex<double> exact =
        1.0 / kMass / std::complex<double>(kOmega * kOmega - omega * omega, 0.04 * kOmega * omega);
    // A few divisions: round-off.
    EXPECT_LT(std::abs(response[j] / exact - 1.0), 1e-12) << j;
  }
}

TEST(QVADynAppInMemoryTest, AListenerThatThrowsStopsTheRun) {
  const qvadyn::Basis basis = ExternalSdof();
  const qvadyn::Job job = qvadyn::ParseJob(kSweep, "text");
  qvadyn::ComponentSession session;
  QVADynLogFile log;
  qvadyn::Model model(basis, log);
  qvadyn::ResultsWriter results("qvadyn-in-memory-test");
  qvadyn::Progress progress(false);
  progress.SetListener([] { throw std::runtime_error("stop"); });
  qvadyn::AnalysisContext context{job, job.analyses.front(), model, results, progress};
  EXPECT_THROW(qvadyn::RunHarmonic(context), std::runtime_error);
}

TEST(QVADynAppInMemoryTest, JobTextIsCheckedAsAJobFile) {
  std::string text = kSweep;
  text.replace(text.find("[1.0, 5.0, 9.0]"), 15, "[1.0, 0.5]");
  try {
    qvadyn::ParseJob(text, "text");
    FAIL() << "no error";
  } catch (const qvadyn::Error& error) {
    EXPECT_STREQ(error.what(),
                 "text:12:15: 'frequencies' in [analysis.sweep]: entry 1 (0.500000) does not "
                 "increase");
  }
}

}  // namespace
