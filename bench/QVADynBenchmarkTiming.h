#pragma once

// Processor time of the calling thread, for benchmarks that compare the
// component with a baseline in the same run: OpenBLAS runs on the calling
// thread, and other processes on the machine do not count.
//
//   const double ours = QVADynThreadSecondsOf([&] { solver.Solve(...); });

#include <time.h>

inline double QVADynThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Thread seconds spent in `work()`.
template <class Work>
double QVADynThreadSecondsOf(Work work) {
  const double start = QVADynThreadSeconds();
  work();
  return QVADynThreadSeconds() - start;
}
