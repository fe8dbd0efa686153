// qvadyn: modal dynamics from a basis file and a job file.
//
//   qvadyn run job.toml [-o results.h5] [--basis basis.h5] [--quiet]
//   qvadyn import npy DIR -o basis.h5 [--units "N, m, s"]
//   qvadyn import calculix JOB.eig|JOB.frd [--deck JOB.inp] -o basis.h5 [--units "N, m, s"]
//   qvadyn info basis.h5
//   qvadyn plot results.h5 [analysis] [-o DIR]
//
// Exit status 0 on success, 1 when the run fails (one message on stderr), 2
// for a usage error.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <exception>
#include <iostream>

#include "BasisFile.h"
#include "CalculixImport.h"
#include "Error.h"
#include "JobFile.h"
#include "NpyImport.h"
#include "Plot.h"
#include "Run.h"
#include "platform/base/QVABasException.h"

namespace {

extern "C" void OnSignal(int) { qvadyn::RequestInterrupt(); }

// The first interruption asks the run to stop cleanly; a second one ends it.
void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message) {
  std::cerr << "qvadyn: error: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "qvadyn: modal dynamics (harmonic, transient, complex modes, participation) from a "
      "basis file and a job file"};
  app.require_subcommand(1);

  std::string jobPath, resultsPath;
  bool quiet = false;
  CLI::App* run = app.add_subcommand("run", "run the analyses of a job file");
  run->add_option("job", jobPath, "job file (TOML)")->required();
  run->add_option("-o,--output", resultsPath, "results file (default: from the job file)");
  run->add_flag("-q,--quiet", quiet, "no progress line and no summary");
  std::string basisOverride;
  run->add_option("--basis", basisOverride, "basis file to use instead of the job's");

  std::string folder, basisPath, units;
  CLI::App* import = app.add_subcommand("import", "convert a modal basis into a basis file");
  import->require_subcommand(1);
  CLI::App* npy = import->add_subcommand("npy", "from a folder of .npy arrays");
  npy->add_option("folder", folder, "folder with eigenvalues.npy, modes.npy, dofmap.npy")
      ->required();
  npy->add_option("-o,--output", basisPath, "basis file to write")->required();
  npy->add_option("--units", units, "units of the values, e.g. \"N, m, s\"");

  std::string calculixPath, deckPath;
  CLI::App* calculix = import->add_subcommand(
      "calculix", "from the .eig (with its input deck) or .frd file of a CalculiX *FREQUENCY step");
  calculix->add_option("file", calculixPath, "JOB.eig or JOB.frd")->required();
  calculix->add_option("--deck", deckPath, "input deck of a .eig (default: JOB.inp beside it)");
  calculix->add_option("-o,--output", basisPath, "basis file to write")->required();
  calculix->add_option("--units", units, "units of the values, e.g. \"N, m, s\"");

  std::string infoPath;
  CLI::App* info = app.add_subcommand("info", "describe a basis file");
  info->add_option("basis", infoPath, "basis file")->required();

  std::string plotResults, plotAnalysis, plotFolder;
  CLI::App* plot = app.add_subcommand("plot", "PNG figures of a results file (matplotlib)");
  plot->add_option("results", plotResults, "results file")->required();
  plot->add_option("analysis", plotAnalysis, "one analysis (default: all)");
  plot->add_option("-o,--output", plotFolder, "folder of the figures (default: beside the file)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : 2;
  }

  try {
    if (run->parsed()) {
      InstallSignalHandlers();
      qvadyn::Job job = qvadyn::LoadJob(jobPath);
      if (!basisOverride.empty()) job.basisPath = basisOverride;
      qvadyn::RunOptions options;
      options.resultsPath = resultsPath;
      options.progress = !quiet && isatty(STDERR_FILENO) != 0;
      const qvadyn::RunReport report = qvadyn::RunJob(job, options);
      if (!quiet) std::cout << qvadyn::FormatSummary(report);
    } else if (npy->parsed()) {
      qvadyn::Basis basis = qvadyn::ImportNpyFolder(folder);
      basis.units = units;
      qvadyn::WriteBasisFile(basisPath, basis);
      std::cout << qvadyn::DescribeBasis(basis, basisPath);
    } else if (calculix->parsed()) {
      qvadyn::Basis basis = qvadyn::ImportCalculix(calculixPath, deckPath);
      basis.units = units;
      qvadyn::ValidateBasis(basis, calculixPath);
      qvadyn::WriteBasisFile(basisPath, basis);
      std::cout << qvadyn::DescribeBasis(basis, basisPath);
    } else if (plot->parsed()) {
      qvadyn::PlotResults(plotResults, plotAnalysis, plotFolder);
    } else if (info->parsed()) {
      std::cout << qvadyn::DescribeBasis(qvadyn::ReadBasisFile(infoPath), infoPath);
    }
  } catch (const qvadyn::Error& error) {
    return Fail(error.what());
  } catch (const QVABasException& error) {
    return Fail(error.UserReport().Text());
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  return 0;
}
