// Example: transient response of the built-in cantilever to a tip load that
// ramps up and then holds. The host writes the bar's real modes into its model
// database, opens a modal system over them, projects a transverse tip load
// (uy, 100 N) onto the modes, and lets a transient event integrate all modes
// with 2 % of critical damping over 4,000 steps of 0.25 ms:
//
//   load(t) = 100 N * min(t / 0.05 s, 1)
//
// It recovers the tip's displacement, velocity and acceleration, writes them
// as "QVADynExampleTransient.csv" (time, u, v, a in m, m/s, m/s^2) in the
// working directory, and prints the peak tip displacement with its time beside
// the static tip deflection F L^3 / (3 E I). The ramp is shorter than the
// first period (about 60 ms), so the tip overshoots the static deflection and
// rings down about it.

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <memory>
#include <ostream>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "QVADynExampleModel.h"
#include "QVADynExamples.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"

namespace {

constexpr char kCsvFileName[] = "QVADynExampleTransient.csv";
constexpr int kUy = 1;
constexpr double kTipLoad = 100.0;  // N
constexpr double kRampTime = 0.05;  // s
constexpr double kStep = 0.25e-3;   // s
constexpr int kSteps = 4000;
constexpr double kCriticalFraction = 0.02;
// Request bits of the recovered quantities.
constexpr int kDisplacementVelocityAcceleration = 1 | 2 | 4;

}  // namespace

void QVADynExampleTransient(const QVADynExampleContext& context) {
  const QVADynExampleModel model;
  QVADynExampleOpenBasis basis(context, model);
  QVADynModalSystem& modal = basis.Modal();

  const int m = model.NumberOfModes();
  std::vector<int> modes(static_cast<std::size_t>(m));
  for (int k = 0; k < m; ++k) modes[static_cast<std::size_t>(k)] = k;
  const int frames = kSteps + 1;
  std::vector<QVADynFrameValue> frameValues(static_cast<std::size_t>(frames));
  for (QVADynFrameValue& frame : frameValues) frame.third = kStep;
  const std::vector<QVADynDiagonalDamping> damping(static_cast<std::size_t>(m),
                                                   {0.0, kCriticalFraction, 0.0, 0.0});

  // The tip load as a one-column load pattern, projected onto the modes.
  const int tipDof = model.Dof(model.TipNode(), kUy);
  QVASrvSparseMatrix load(model.NumberOfDofs(), 1);
  const int column = 0;
  load.SetFromTriplets(1, &tipDof, &column, &kTipLoad);
  QVASrvMatrix* pattern = QVADynUtilities::ProjectForce(m, modes.data(), modal.DofDefinition(),
                                                        *modal.ModeShapes(), &load);
  auto* amplitudes = new QVASrvMatrix(1, frames);
  for (int n = 0; n < frames; ++n) (*amplitudes)(0, n) = std::min(n * kStep / kRampTime, 1.0);

  std::vector<double> time(static_cast<std::size_t>(frames));
  std::vector<double> history[3];
  {
    QVADynTransientEvent event(modal, new QVADynTransientSolver,
                               basis.Database().CreateModalEventResults(basis.ModalObject()));
    event.SetActiveModes(m, modes.data());
    event.SetFrameValues(frames, frameValues.data());
    event.SetDiagonalDamping(m, damping.data());
    event.AdoptAmplitudeTable(amplitudes);
    event.LoadCase(0).AdoptForce(new QVADynForce(pattern, &column, 1, nullptr, 0));
    event.Solve(nullptr);

    const auto nodes = std::make_unique<bool[]>(static_cast<std::size_t>(model.NumberOfNodes()));
    nodes[static_cast<std::size_t>(model.TipNode())] = true;
    event.Recover(nodes.get(), kDisplacementVelocityAcceleration);

    std::vector<double> nodal(static_cast<std::size_t>(model.NumberOfNodes()) *
                              QVADynExampleModel::kPlaces);
    const std::size_t tipPlace =
        static_cast<std::size_t>(model.TipNode()) * QVADynExampleModel::kPlaces + kUy;
    const QVADynRecoveryType types[3] = {QVADynRecoverDisplacement, QVADynRecoverVelocity,
                                         QVADynRecoverAcceleration};
    for (int n = 0; n < frames; ++n) {
      time[static_cast<std::size_t>(n)] = n * kStep;
      for (int q = 0; q < 3; ++q) {
        event.GetNodalResults(nodes.get(), n, 0, nodal.data(), types[q]);
        history[q].push_back(nodal[tipPlace]);
      }
    }
  }

  QVADynExampleWriteCsv(kCsvFileName, "time,u,v,a", {time, history[0], history[1], history[2]});

  const auto peak = std::max_element(history[0].begin(), history[0].end(), [](double a, double b) {
    return std::fabs(a) < std::fabs(b);
  });
  const std::size_t peakFrame = static_cast<std::size_t>(peak - history[0].begin());
  const double length = model.Beam().length;
  const double staticDeflection = kTipLoad * length * length * length /
                                  (3.0 * model.Beam().youngsModulus * model.SecondMomentZ());
  std::ostream& out = context.out;
  const std::ios::fmtflags flags = out.flags();
  const std::streamsize precision = out.precision();
  out << "\nTransient response of the cantilever tip to a " << kTipLoad << " N load ramped over "
      << kRampTime * 1e3 << " ms and held (" << m << " modes, " << kCriticalFraction * 100.0
      << " % damping, " << kSteps << " steps of " << kStep * 1e3 << " ms)\n";
  out << std::fixed << std::setprecision(3) << "  peak tip displacement: " << *peak * 1e3
      << " mm at t = " << time[peakFrame] * 1e3 << " ms\n"
      << "  static tip deflection: " << staticDeflection * 1e3 << " mm\n"
      << "  final tip displacement: " << history[0].back() * 1e3 << " mm\n"
      << "  time histories (time, u, v, a) written to " << kCsvFileName << "\n";
  out.flags(flags);
  out.precision(precision);
}
