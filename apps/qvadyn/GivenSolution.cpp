#include "GivenSolution.h"

#include <algorithm>
#include <string>

#include "Error.h"
#include "platform/base/mem_Alloc.h"

namespace qvadyn {

namespace {

// Raises unless the event asks for what was given.
void CheckShape(const char* what, int givenFrames, int givenModes, int frames,
                const QVADynLoadCaseList& loads) {
  if (frames == givenFrames && loads.NumberOfActiveModes() == givenModes &&
      loads.NumberOfCases() == 1) {
    return;
  }
  throw Error(std::string(what) + " for " + std::to_string(givenFrames) + " frames and " +
              std::to_string(givenModes) + " modes handed to an event of " +
              std::to_string(frames) + " frames, " + std::to_string(loads.NumberOfActiveModes()) +
              " modes and " + std::to_string(loads.NumberOfCases()) + " load cases");
}

}  // namespace

QVADynSolution& GivenHarmonicAmplitudes::Solve(QVADynSolution& out, const QVADynModalOperators&,
                                               int numberOfFrames, const QVADynFrameValue*,
                                               QVADynEnergy*, const QVADynLoadCaseList& loads,
                                               QVADynLogFile) {
  CheckShape("harmonic amplitudes", frames_, modes_, numberOfFrames, loads);
  const std::size_t partSize = static_cast<std::size_t>(frames_) * modes_;
  // Real parts frame by frame, then the imaginary parts.
  double* values = mem_AllocArray<double>(2 * partSize);
  for (std::size_t entry = 0; entry < partSize; ++entry) {
    values[entry] = amplitudes_[entry].real();
    values[partSize + entry] = amplitudes_[entry].imag();
  }
  out.Adopt(values, nullptr, nullptr);
  return out;
}

QVADynSolution& GivenTimeHistories::Solve(QVADynSolution& out, const QVADynModalOperators&,
                                          int numberOfFrames, const QVADynFrameValue*,
                                          QVADynEnergy*, const QVADynLoadCaseList& loads,
                                          QVADynLogFile) {
  CheckShape("time histories", frames_, modes_, numberOfFrames, loads);
  const std::size_t size = static_cast<std::size_t>(frames_) * modes_;
  double* copies[3] = {nullptr, nullptr, nullptr};
  try {
    for (int kind = 0; kind < 3; ++kind) {
      copies[kind] = mem_AllocArray<double>(size);
      std::copy_n(histories_[kind], size, copies[kind]);
    }
  } catch (...) {
    for (double* copy : copies) mem_Free(copy);
    throw;
  }
  out.Adopt(copies[0], copies[1], copies[2]);
  return out;
}

}  // namespace qvadyn
