#include "Plot.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Error.h"

extern char** environ;

namespace qvadyn {
namespace {

namespace fs = std::filesystem;

std::string ModuleFolder() {
  std::vector<fs::path> candidates;
  if (const char* folder = std::getenv("QVADYN_PYTHONPATH")) candidates.emplace_back(folder);
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) candidates.push_back(self.parent_path().parent_path() / "share/qvadyn/python");
  candidates.emplace_back(QVADYN_PYTHON_SOURCE_DIR);
  for (const fs::path& folder : candidates) {
    if (fs::exists(folder / "qvadyn" / "plot.py", error)) return folder.string();
  }
  throw Error("qvadyn plot: the Python module qvadyn/plot.py is not installed (looked in " +
              candidates.back().string() + " and share/qvadyn/python; set QVADYN_PYTHONPATH)");
}

}  // namespace

void PlotResults(const std::string& results, const std::string& analysis,
                 const std::string& folder) {
  if (!fs::exists(results)) throw Error(results + ": no such results file");
  const char* python = std::getenv("QVADYN_PYTHON");
  const std::string interpreter = python ? python : "/usr/bin/python3";
  std::vector<std::string> arguments{interpreter, "-m", "qvadyn.plot", results};
  if (!analysis.empty()) arguments.push_back(analysis);
  if (!folder.empty()) arguments.insert(arguments.end(), {"-o", folder});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // The child's environment: ours with PYTHONPATH and the Agg backend.
  std::string pythonPath = "PYTHONPATH=" + ModuleFolder();
  std::string backend = "MPLBACKEND=Agg";
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    if (text.starts_with("PYTHONPATH=") || text.starts_with("MPLBACKEND=")) continue;
    environment.push_back(*entry);
  }
  environment.push_back(pythonPath.data());
  environment.push_back(backend.data());
  environment.push_back(nullptr);

  pid_t child = 0;
  if (posix_spawn(&child, interpreter.c_str(), nullptr, nullptr, argv.data(), environment.data()) !=
      0) {
    throw Error("qvadyn plot: cannot run " + interpreter + " (set QVADYN_PYTHON)");
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error("qvadyn plot: plotting " + results + " failed (see the Python message above)");
  }
}

}  // namespace qvadyn
