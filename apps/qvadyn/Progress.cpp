#include "Progress.h"

#include <cstdio>

namespace qvadyn {

Progress::Progress(bool enabled) : enabled_(enabled) {
  if (enabled_) thread_ = std::thread([this] { Run(); });
}

Progress::~Progress() {
  if (!enabled_) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Progress::Begin(const std::string& analysis, long long frames) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  active_ = true;
  analysis_ = analysis;
  phase_ = "starting";
  frames_ = frames;
  solved_ = recovered_ = 0;
  start_ = std::chrono::steady_clock::now();
  Draw();
}

void Progress::Phase(const std::string& phase) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  phase_ = phase;
  Draw();
}

void Progress::Advance(const std::string& phase, long long frames) {
  if (enabled_) {
    std::lock_guard lock(mutex_);
    phase_ = phase;
    (phase == "solving" ? solved_ : recovered_) += frames;
  }
  if (listener_) listener_();
}

void Progress::End() {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  active_ = false;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

void Progress::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    wake_.wait_for(lock, std::chrono::milliseconds(250));
    if (active_ && !stop_) Draw();
  }
}

void Progress::Draw() {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  // Solving and recovering each count for half of the work.
  const double done =
      frames_ > 0 ? 0.5 * static_cast<double>(solved_ + recovered_) / static_cast<double>(frames_)
                  : 0.0;
  char remaining[32] = "?";
  if (done > 0.0)
    std::snprintf(remaining, sizeof remaining, "%.1f s", elapsed * (1.0 - done) / done);
  std::fprintf(
      stderr,
      "\r\033[K%s: %s, %lld/%lld frames solved, %lld/%lld recovered, %.1f s elapsed, %s left",
      analysis_.c_str(), phase_.c_str(), solved_, frames_, recovered_, frames_, elapsed, remaining);
  std::fflush(stderr);
}

}  // namespace qvadyn
