#include "platform/base/omi_Timer.h"

#include <chrono>

namespace {
std::int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void omi_Timer::Start() {
  running_ = true;
  startNanoseconds_ = NowNanoseconds();
}

void omi_Timer::Stop() {
  if (!running_) return;
  totalNanoseconds_ += NowNanoseconds() - startNanoseconds_;
  running_ = false;
}

void omi_Timer::Reset() {
  running_ = false;
  totalNanoseconds_ = 0;
}

void omi_Timer::Restart() {
  Reset();
  Start();
}

double omi_Timer::ElapsedSeconds() const {
  std::int64_t nanoseconds = totalNanoseconds_;
  if (running_) nanoseconds += NowNanoseconds() - startNanoseconds_;
  return static_cast<double>(nanoseconds) * 1e-9;
}
