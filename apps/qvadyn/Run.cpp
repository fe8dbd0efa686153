#include "Run.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iomanip>
#include <sstream>

#include "BasisFile.h"
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
  if (interruptRequested == 0) return;
  interruptRequested = 0;  // honoured: a later run starts afresh
  throw Error("interrupted; no results written");
}

void RequestInterrupt() { interruptRequested = 1; }

RunReport RunJob(const Job& job, const RunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  RunReport report;
  report.jobPath = job.path;
  report.basisPath = job.basisPath;
  report.resultsPath = options.resultsPath.empty() ? job.resultsPath : options.resultsPath;
  report.logPath = std::filesystem::path(report.resultsPath).replace_extension(".log").string();

  std::error_code error;
  for (const auto& [input, what] :
       {std::pair{job.basisPath, "basis file"}, std::pair{job.path, "job file"}}) {
    if (std::filesystem::equivalent(report.resultsPath, input, error)) {
      throw Error(report.resultsPath + ": the results file would replace the " + what);
    }
  }
  const Basis basis = ReadBasisFile(job.basisPath, false);
  report.dofs = basis.NumDofs();
  report.modes = basis.NumModes();
  ComponentSession session;
  QVADynLogFile log;
  log.Open(report.logPath.c_str());
  if (!log.IsWritable()) throw Error(report.logPath + ": the log file cannot be written");
  Model model(basis, log, job.basisPath);
  report.openSeconds = Since(start);

  ResultsWriter results(report.resultsPath, job.path, job.basisPath);
  Progress progress(options.progress);
  progress.SetListener(options.progressListener);
  for (const Analysis& analysis : job.analyses) {
    StopIfInterrupted();
    AnalysisContext context{job, analysis, model, results, progress};
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
  }
  StopIfInterrupted();
  const auto commit = std::chrono::steady_clock::now();
  report.csvPaths = results.CsvPaths();
  std::vector<std::string> analysisNames;
  for (const Analysis& analysis : job.analyses) analysisNames.push_back(analysis.name);
  const std::filesystem::path resultsPath(report.resultsPath);
  XdmfWriter xdmf(std::filesystem::path(resultsPath).replace_extension(".xdmf").string(), basis,
                  job.basisPath, results.File(), resultsPath.filename().string(), analysisNames);
  results.Commit();
  xdmf.Commit();
  if (xdmf.Written()) report.xdmfPath = xdmf.Path();
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
