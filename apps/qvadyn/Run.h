// One run of a job: opens the basis, hands it to the component, runs the
// analyses in the order of the job file, writes the results and CSV files
// (committed only when every analysis succeeded) and the component's log
// beside them, and reports what it did for the summary.
//
//   const qvadyn::Job job = qvadyn::LoadJob("beam.toml");
//   const qvadyn::RunReport report = qvadyn::RunJob(job, {});
//   std::cout << qvadyn::FormatSummary(report);
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Analyses.h"
#include "JobFile.h"

namespace qvadyn {

struct RunOptions {
  std::string resultsPath;  // empty: the job's
  bool progress = false;    // draw the progress line on stderr
  // Called after each analysis has written its results (tests inject
  // failures here); an exception aborts the run like any failure.
  std::function<void(const std::string& analysis)> afterAnalysis;
  // Called after every batch of frames (Progress::SetListener).
  std::function<void()> progressListener;
};

struct RunReport {
  std::string jobPath;
  std::string basisPath;
  std::string resultsPath;
  std::string logPath;
  std::string xdmfPath;  // empty when the basis has no node coordinates
  std::vector<std::string> csvPaths;
  std::int64_t dofs = 0;
  int modes = 0;
  std::vector<AnalysisSummary> analyses;
  double openSeconds = 0.0;    // reading the basis and opening it in the component
  double commitSeconds = 0.0;  // closing and renaming the files
  double totalSeconds = 0.0;
};

// Raises qvadyn::Error (or the component's exceptions) on failure, having
// removed every temporary file; earlier results files are left untouched.
RunReport RunJob(const Job& job, const RunOptions& options);

// Asks a running job to stop at its next batch of frequencies or time steps
// (signal handlers call this); the run then fails with "interrupted; no
// results written", and the request is spent.
void RequestInterrupt();

// The one-screen account printed after a run.
std::string FormatSummary(const RunReport& report);

}  // namespace qvadyn
