#include "Run.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iomanip>
#include <sstream>

#include "BasisFile.h"
#include "Distribution.h"
#include "Error.h"
#include "ModelSetup.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "ResultsFile.h"
#include "Xdmf.h"

namespace qvadyn {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void StopIfInterrupted() {
  if (interruptRequested != 0) {
    interruptRequested = 0;  // honoured: a later run starts afresh
    throw Error("interrupted; no results written");
  }
  // Over several processes the others stop here too.
  CheckPeers();
}

void RequestInterrupt() { interruptRequested = 1; }

RunReport RunJob(const Job& job, const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  RunReport report;
  report.jobPath = job.path;
  report.basisPath = job.basisPath;
  report.resultsPath = options.resultsPath.empty() ? job.resultsPath : options.resultsPath;
  report.logPath = std::filesystem::path(report.resultsPath).replace_extension(".log").string();

  // Over several processes each phase ends with every process agreeing on
  // its success: one failure fails them all, with one message.
  std::error_code error;
  Basis basis;
  AgreeOnSuccess([&] {
    for (const auto& [input, what] :
         {std::pair{job.basisPath, "basis file"}, std::pair{job.path, "job file"}}) {
      if (std::filesystem::equivalent(report.resultsPath, input, error)) {
        throw Error(report.resultsPath + ": the results file would replace the " + what);
      }
    }
    basis = ReadBasisFile(job.basisPath, false);
  });
  report.dofs = basis.NumDofs();
  report.modes = basis.NumModes();
  ComponentSession session;
  QVADynLogFile log;
  std::unique_ptr<Model> model;
  AgreeOnSuccess([&] {
    // Rank 0 logs beside the results, rank r to "<results stem>.r.log".
    const std::string logPath = Rank() == 0
                                    ? report.logPath
                                    : std::filesystem::path(report.resultsPath)
                                          .replace_extension("." + std::to_string(Rank()) + ".log")
                                          .string();
    log.Open(logPath.c_str());
    if (!log.IsWritable()) throw Error(logPath + ": the log file cannot be written");
    // Each process holds its block of rows (whole nodes), read from the
    // basis file.
    if (Distributed()) RequireConsecutiveNodes(basis.dofNodes, job.basisPath);
    model = std::make_unique<Model>(basis, log, job.basisPath,
                                    PartitionRows(basis.dofNodes, Processes(), Rank()));
  });
  report.openSeconds = Since(start);

  std::unique_ptr<ResultsWriter> results;
  AgreeOnSuccess([&] {
    results = std::make_unique<ResultsWriter>(report.resultsPath, job.path, job.basisPath);
  });
  Progress progress(options.progress);
  progress.SetListener(options.progressListener);
  for (const Analysis& analysis : job.analyses) {
    AgreeOnSuccess([&] {
      StopIfInterrupted();
      AnalysisContext context{job, analysis, *model, *results, progress};
      switch (analysis.type) {
        case AnalysisType::kHarmonic:
          report.analyses.push_back(RunHarmonic(context));
          break;
        case AnalysisType::kTransient:
          report.analyses.push_back(RunTransient(context));
          break;
        case AnalysisType::kComplexModes:
          report.analyses.push_back(RunComplexModes(context));
          break;
        case AnalysisType::kParticipation:
          report.analyses.push_back(RunParticipation(context));
          break;
        case AnalysisType::kRandom:
          report.analyses.push_back(RunRandom(context));
          break;
        case AnalysisType::kResponseSpectrum:
          report.analyses.push_back(RunResponseSpectrum(context));
          break;
      }
      if (options.afterAnalysis) options.afterAnalysis(analysis.name);
    });
  }
  const auto commit = std::chrono::steady_clock::now();
  report.csvPaths = results->CsvPaths();
  std::vector<std::string> analysisNames;
  for (const Analysis& analysis : job.analyses) analysisNames.push_back(analysis.name);
  const std::filesystem::path resultsPath(report.resultsPath);
  AgreeOnSuccess([&] {
    StopIfInterrupted();
    // The view is added by one process, to the results file the others have
    // finished with.
    // Each process writes its points' mode vectors; rank 0 adds the rest of
    // the view once the file is its alone.
    WriteViewModes(results->File(), MakeViewPoints(basis, model->Rows(), Rank() == Processes() - 1),
                   *model->Modal().ModeShapes(), basis.NumModes());
    Hdf5File* file = results->FinishShared();
    if (file == nullptr) return;
    XdmfWriter xdmf(std::filesystem::path(resultsPath).replace_extension(".xdmf").string(), basis,
                    *file, resultsPath.filename().string(), analysisNames);
    results->Commit();
    xdmf.Commit();
    if (xdmf.Written()) report.xdmfPath = xdmf.Path();
  });
  report.commitSeconds = Since(commit);
  report.totalSeconds = Since(start);
  return report;
}

std::string FormatSummary(const RunReport& report) {
  std::ostringstream out;
  out << "Job " << report.jobPath << "\n"
      << "  basis " << report.basisPath << ": " << report.dofs << " DOFs, " << report.modes
      << " modes (opened in " << std::fixed << std::setprecision(3) << report.openSeconds
      << " s)\n";
  out.unsetf(std::ios::floatfield);
  for (const AnalysisSummary& analysis : report.analyses) {
    out << "  [" << analysis.name << "] " << analysis.type << ": " << analysis.size << ", "
        << std::fixed << std::setprecision(3) << analysis.seconds << " s\n";
    out.unsetf(std::ios::floatfield);
    for (const std::string& line : analysis.lines) out << "      " << line << "\n";
  }
  out << "Results " << report.resultsPath << "\n";
  if (!report.csvPaths.empty()) {
    out << "  CSV   " << report.csvPaths.size() << " files, e.g. " << report.csvPaths.front()
        << "\n";
  }
  if (!report.xdmfPath.empty()) out << "  XDMF  " << report.xdmfPath << " (ParaView)\n";
  out << "  log   " << report.logPath << "\n"
      << "  total " << std::fixed << std::setprecision(3) << report.totalSeconds << " s\n";
  return out.str();
}

}  // namespace qvadyn
