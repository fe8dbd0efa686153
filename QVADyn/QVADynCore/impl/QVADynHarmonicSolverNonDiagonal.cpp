// The non-diagonal and coupled structural-acoustic methods of the harmonic
// solver: the frame loop with the operator update of every frequency, and
// their log blocks. The work of one frequency is QVADynHarmonicFrameSolver's.
//
// Log of a non-diagonal solve over two frames, with a stiffness that the
// first update made non-diagonal (seconds as single-precision numbers):
//
//   "\n--- Solve dynamic system with non-diagonal damping ---\n\n"
//   "HarmonicSolver: first projection: 0.0012\n"
//   "HarmonicSolver: total time: 0.031\n"
//   "HarmonicSolver: factorization, dgemm, projection: 0.01 0 0.0024\n"
//   "HarmonicSolver: RhsReduce, BwdPass, RhsSub: 0 0.011 0\n"
//
// The coupled method writes the same block with its own heading and the
// "HarmonicSolverAC: " labels; its total line ends in "s \n".

#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADynHarmonicFrameSolver.h"
#include "platform/base/cow_String.h"
#include "platform/base/omi_Timer.h"

namespace {

// The fixed texts of one method's log block.
struct MethodTexts {
  const char* heading;
  const char* totalTime;
  const char* totalTimeEnd;
  const char* factorTimes;
  const char* rhsTimes;
};

constexpr MethodTexts kNonDiagonalTexts{kQVADynLogNonDiagonalHeading, kQVADynLogHarmonicTotalTime,
                                        kQVADynLogLineEnd, kQVADynLogHarmonicFactorTimes,
                                        kQVADynLogHarmonicRhsTimes};
constexpr char kCoupledTotalTimeEnd[] = "s \n";
constexpr MethodTexts kCoupledTexts{kQVADynLogCoupledAcousticHeading, kQVADynLogHarmonicACTotalTime,
                                    kCoupledTotalTimeEnd, kQVADynLogHarmonicACFactorTimes,
                                    kQVADynLogHarmonicACRhsTimes};

float Seconds(const omi_Timer& timer) { return static_cast<float>(timer.ElapsedSeconds()); }

// Solves every frame with the operators the update brings for it and writes
// the method's log block.
void SolveFrames(QVADynHarmonicFrameSolver::Kind kind, const MethodTexts& texts, double* output,
                 const QVADynModalOperators& ops, int numberOfFrames,
                 const QVADynFrameValue* frames, const QVADynLoadCaseList& loads,
                 const QVADynLogFile& log) {
  log.Write(texts.heading);
  omi_Timer total;
  total.Start();
  QVADynHarmonicFrameSolver solver(kind, ops, loads, numberOfFrames, output);
  QVADynHarmonicPhaseTimes& times = solver.Times();
  omi_Timer projection;
  for (int frame = 0; frame < numberOfFrames; ++frame) {
    projection.Restart();
    ops.ApplyUpdate(frame, frames[frame].first);
    const float projectionSeconds = Seconds(projection);
    times.projection += projectionSeconds;
    if (frame == 0 && !ops.Stiffness()->IsDiagonal()) {
      log.Write(cow_String(kQVADynLogHarmonicFirstProjection)
                    .AppendFloat(projectionSeconds)
                    .Append(kQVADynLogLineEnd));
    }
    solver.SolveFrame(frame, frames[frame].first);
  }
  total.Stop();

  cow_String block(texts.totalTime);
  block.AppendFloat(Seconds(total)).Append(texts.totalTimeEnd);
  block.Append(texts.factorTimes)
      .AppendFloat(times.factorization)
      .Append(" ")
      .AppendFloat(times.dgemm)
      .Append(" ")
      .AppendFloat(times.projection)
      .Append(kQVADynLogLineEnd);
  block.Append(texts.rhsTimes)
      .AppendFloat(times.rhsReduce)
      .Append(" ")
      .AppendFloat(times.bwdPass)
      .Append(" ")
      .AppendFloat(times.rhsSub)
      .Append(kQVADynLogLineEnd);
  log.Write(block);
}

}  // namespace

void QVADynHarmonicSolver::SolveNonDiagonal(double* output, const QVADynModalOperators& ops,
                                            int numberOfFrames, const QVADynFrameValue* frames,
                                            const QVADynLoadCaseList& loads,
                                            const QVADynLogFile& log) {
  SolveFrames(QVADynHarmonicFrameSolver::Kind::kStructural, kNonDiagonalTexts, output, ops,
              numberOfFrames, frames, loads, log);
}

void QVADynHarmonicSolver::SolveCoupledAcoustic(double* output, const QVADynModalOperators& ops,
                                                int numberOfFrames, const QVADynFrameValue* frames,
                                                const QVADynLoadCaseList& loads,
                                                const QVADynLogFile& log) {
  SolveFrames(QVADynHarmonicFrameSolver::Kind::kCoupledAcoustic, kCoupledTexts, output, ops,
              numberOfFrames, frames, loads, log);
}
