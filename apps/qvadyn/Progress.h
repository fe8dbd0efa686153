// The progress line of a run on a terminal: for the analysis under way, the
// phase, the frames solved and recovered, elapsed and estimated remaining
// time, redrawn on stderr by a background thread at least once a second.
// Silent when disabled (not a terminal, or --quiet).
//
//   qvadyn::Progress progress(isatty(2) && !quiet);
//   progress.Begin("sweep", 400);        // "sweep: solving 0/400 frames ..."
//   progress.Advance("solving", 100);    // 100 more frames solved
//   progress.End();
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace qvadyn {

class Progress {
 public:
  explicit Progress(bool enabled);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress();

  // Called on the analysis's thread after every Advance, enabled or not
  // (the Python module checks for Ctrl-C there); it may throw to stop the run.
  void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }

  void Begin(const std::string& analysis, long long frames);
  // Marks `frames` more frames done in `phase` ("solving", "recovering",
  // "writing"); work counts solved and recovered frames.
  void Advance(const std::string& phase, long long frames);
  void Phase(const std::string& phase);
  // Clears the line.
  void End();

 private:
  void Run();
  void Draw();

  bool enabled_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool active_ = false;
  std::string analysis_;
  std::string phase_;
  long long frames_ = 0;
  long long solved_ = 0;
  long long recovered_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::thread thread_;
  std::function<void()> listener_;
};

}  // namespace qvadyn
