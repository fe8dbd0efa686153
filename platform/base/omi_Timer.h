#pragma once

// Wall-clock stopwatch on the monotonic clock, in seconds. A new timer is
// stopped at zero. Start() begins a run, Stop() ends it and adds it to the
// total; ElapsedSeconds() is the total including a run in progress.
//
//   omi_Timer timer;
//   timer.Start();  ...  timer.Stop();
//   log.Write(cow_String("elapsed: ").AppendDouble(timer.ElapsedSeconds()));

#include <cstdint>

#include "platform/base/QVAPlatformExport.h"

class QVA_PLATFORM_EXPORT omi_Timer {
 public:
  omi_Timer() = default;
  // Starts a run; a running timer restarts its current run.
  void Start();
  // Ends the current run and adds it to the total; no effect when stopped.
  void Stop();
  // Stops and sets the total to zero.
  void Reset();
  // Reset() then Start().
  void Restart();
  bool IsRunning() const { return running_; }
  double ElapsedSeconds() const;

 private:
  bool running_ = false;
  std::int64_t startNanoseconds_ = 0;
  std::int64_t totalNanoseconds_ = 0;
};
