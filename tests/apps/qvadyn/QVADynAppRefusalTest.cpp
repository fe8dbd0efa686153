// qvadyn's refusals, one table row per kind of error with its exact message
// (file, line:column or dataset, key, first bad index), and a run that fails
// half-way, which must leave the earlier results file as it was.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>

#include "BasisFile.h"
#include "Error.h"
#include "Hdf5.h"
#include "JobFile.h"
#include "Run.h"

namespace {

namespace fs = std::filesystem;

class QVADynAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qvadyn_app_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name)) << text;
    return Path(name);
  }
  // The message of the qvadyn::Error that `action` raises.
  static std::string Message(const std::function<void()>& action) {
    try {
      action();
    } catch (const qvadyn::Error& error) {
      return error.what();
    }
    return "(no error)";
  }

  // Two nodes with uy and uz, two modes, mass matrix diag(2, 2, 1, 1).
  static qvadyn::Basis TwoNodes() {
    qvadyn::Basis basis;
    basis.eigenvalues = {100.0, 400.0};
    const double a = 1.0 / std::sqrt(2.0);
    basis.modes = {a, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0};
    basis.dofNodes = {1, 1, 2, 2};
    basis.dofComponents = {2, 3, 2, 3};
    basis.nodeIds = {1, 2};
    basis.nodeCoordinates = {0, 0, 0, 1, 0, 0};
    return basis;
  }

  // Writes the datasets of `basis` as they are, unchecked.
  void WriteUnchecked(const std::string& name, const qvadyn::Basis& basis,
                      const std::string& format = "qvadyn-basis", std::int64_t version = 1) const {
    qvadyn::Hdf5File file = qvadyn::Hdf5File::Create(Path(name));
    file.WriteAttribute("/", "format", format);
    file.WriteAttribute("/", "version", version);
    const std::int64_t modes = static_cast<std::int64_t>(basis.eigenvalues.size());
    file.Write("eigenvalues", basis.eigenvalues, {modes});
    file.Write(
        "modes", basis.modes,
        {modes, static_cast<std::int64_t>(basis.modes.size()) / std::max<std::int64_t>(modes, 1)});
    std::vector<std::int64_t> dofmap;
    for (std::size_t row = 0; row < basis.dofNodes.size(); ++row) {
      dofmap.insert(dofmap.end(), {basis.dofNodes[row], basis.dofComponents[row]});
    }
    file.Write("dofmap", dofmap, {static_cast<std::int64_t>(basis.dofNodes.size()), 2});
    file.Write("nodes/ids", basis.nodeIds, {static_cast<std::int64_t>(basis.nodeIds.size())});
    file.Write("nodes/coordinates", basis.nodeCoordinates,
               {static_cast<std::int64_t>(basis.nodeIds.size()), 3});
    file.Close();
  }

  fs::path folder_;
};

TEST_F(QVADynAppTest, JobFileRefusalsNameFileLineColumnAndKey) {
  struct Case {
    const char* text;
    const char* message;  // after "<path>:"
  };
  const char* const analysis = "[analysis.a]\ntype = \"harmonic\"\nfrequencies = [1.0]\n";
  const Case cases[] = {
      {"basis = \"b.h5\"\ndampng = 1\n", "2:1: unknown key 'dampng' (did you mean 'damping'?)"},
      {"basis = \"b.h5\"\n[analysis.a]\ntype = \"harmonic\"\nfrequncies = [1.0]\n",
       "4:1: unknown key 'frequncies' in [analysis.a] (did you mean 'frequencies'?)"},
      {"basis = \"b.h5\"\n[analysis.a]\ntype = \"harmonc\"\n",
       "3:8: 'type' in [analysis.a]: unknown analysis type 'harmonc' (did you mean 'harmonic'?)"},
      {"basis = \"b.h5\"\n[analysis.a]\nfrequencies = [1.0]\n",
       "2:1: missing key 'type' in [analysis.a] (harmonic, transient, complex_modes, "
       "participation, random or response_spectrum)"},
      {"basis = \"b.h5\"\n[damping]\nmodal = \"high\"\n",
       "3:9: 'modal' in [damping]: expected a number"},
      {"basis = \"b.h5\"\n[[load]]\nnode = 1\ncomponent = 7\n",
       "4:13: 'component' in [[load]]: expected 1 to 6, got 7"},
      {"basis = \"b.h5\"\n[[load]]\nnode = 1\ncomponent = 2\namplitude = [[0.0, 1.0], [0.0, "
       "2.0]]\n",
       "5:26: 'amplitude' in [[load]]: x values must increase"},
      {"basis = \"b.h5\"\n[output]\nquantities = [\"velocty\"]\n",
       "3:14: 'quantities' in [output]: unknown quantity 'velocty' (did you mean 'velocity'?)"},
      {"basis = \"b.h5\"\n[analysis.a]\ntype = \"harmonic\"\nfrequencies = [5.0, 2.0]\n",
       "4:15: 'frequencies' in [analysis.a]: entry 1 (2.000000) does not increase"},
      {"basis = \"b.h5\"\n[analysis.t]\ntype = \"transient\"\nstep = 0.1\n",
       "2:1: missing key 'duration' in [analysis.t] (or give 'times')"},
      {"basis = \"b.h5\"\n[analysis.t]\ntype = \"transient\"\nstep = -0.1\nduration = 1.0\n",
       "4:8: 'step' in [analysis.t]: expected a positive time step"},
      {"basis = \"b.h5\n",
       "1:14: Error while parsing string: unescaped control characters other than TAB (U+0009) "
       "are explicitly prohibited"},
      {"basis = \"b.h5\"\n[analysis.\"a/b\"]\ntype = \"harmonic\"\n",
       "2:11: analysis name 'a/b' may hold only letters, digits, '_' and '-'"},
      {"basis = \"b.h5\"\n", " no analysis: add a table [analysis.NAME] with a 'type'"},
      {analysis, "1:1: missing key 'basis' (the basis file)"},
  };
  for (const Case& row : cases) {
    const std::string path = Write("job.toml", row.text);
    EXPECT_EQ(Message([&] { qvadyn::LoadJob(path); }), path + ":" + row.message) << row.text;
  }
}

TEST_F(QVADynAppTest, JobRefusalsAgainstTheBasisNameTheEntry) {
  WriteUnchecked("b.h5", TwoNodes());
  struct Case {
    const char* text;
    const char* message;
  };
  const char* const sweep = "[analysis.a]\ntype = \"harmonic\"\nfrequencies = [1.0, 2.0]\n";
  const Case cases[] = {
      {"[output]\ndofs = [[2, 1]]\n",
       "3:9: 'dofs' in [output]: node 2 component 1: the basis has no such DOF"},
      {"[[load]]\nnode = 3\ncomponent = 2\n",
       "2:1: [[load]] on node 3 component 2: the basis has no such DOF"},
      {"[damping]\nmodal = [0.01, 0.02, 0.03]\n",
       "2:1: 'modal' in [damping]: 3 ratios for the 2 modes of the basis"},
      {"[damping]\nprojected = [\"viscous\"]\n",
       "2:1: 'projected' in [damping]: the basis file stores no 'damping/viscous'"},
      {"[analysis.p]\ntype = \"participation\"\n",
       "2:1: [analysis.p]: the basis file stores no mass matrix (datasets 'mass/...'), which "
       "participation factors and base acceleration need"},
      {"[analysis.t]\ntype = \"transient\"\ntimes = [0.0, 1.0]\ninitial_velocity = [1.0]\n",
       "5:20: 'initial_velocity' in [analysis.t]: 1 values for the 2 modes of the basis"},
      {"[analysis.b]\ntype = \"harmonic\"\nfrequencies = [1.0]\nfield = [0, 1]\n",
       "5:9: 'field' in [analysis.b]: frame 1 is beyond the last frame 0"},
  };
  for (const Case& row : cases) {
    const std::string path =
        Write("job.toml", std::string("basis = \"b.h5\"\n") + row.text + sweep);
    const std::string message = Message([&] { qvadyn::RunJob(qvadyn::LoadJob(path), {}); });
    EXPECT_EQ(message, path + ":" + row.message) << row.text;
    EXPECT_FALSE(fs::exists(Path("job_results.h5"))) << row.text;
  }
}

TEST_F(QVADynAppTest, BasisFileRefusalsNameTheDatasetAndFirstBadIndex) {
  struct Case {
    std::function<void(qvadyn::Basis&)> change;
    const char* message;  // after "<path>: "
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {[&](qvadyn::Basis& b) { b.modes[6] = nan; }, "dataset 'modes': entry [1, 2] is NaN"},
      {[](qvadyn::Basis& b) { b.eigenvalues[1] = INFINITY; },
       "dataset 'eigenvalues': entry 1 is infinite"},
      {[](qvadyn::Basis& b) { b.eigenvalues[0] = -1e-3; },
       "dataset 'eigenvalues': entry 0 is negative (-0.001)"},
      {[](qvadyn::Basis& b) { b.dofComponents[3] = 2; },
       "dataset 'dofmap': row 3 repeats node 2 component 2"},
      {[](qvadyn::Basis& b) { b.dofComponents[1] = 0; },
       "dataset 'dofmap': row 1 has component 0, expected 1 to 6"},
      {[](qvadyn::Basis& b) { b.dofNodes[2] = 9; },
       "dataset 'dofmap': row 2 names node 9, which is not in 'nodes/ids'"},
      {[](qvadyn::Basis& b) { b.modes.resize(6); },
       "dataset 'modes' has shape (2, 3), expected (2, 4) (modes of 'eigenvalues' x rows of "
       "'dofmap')"},
  };
  for (const Case& row : cases) {
    qvadyn::Basis basis = TwoNodes();
    row.change(basis);
    WriteUnchecked("b.h5", basis);
    EXPECT_EQ(Message([&] { qvadyn::ReadBasisFile(Path("b.h5")); }),
              Path("b.h5") + ": " + row.message);
  }
  // A run streams the shapes from the file with the same check.
  qvadyn::Basis bad = TwoNodes();
  cases[0].change(bad);
  WriteUnchecked("b.h5", bad);
  const std::string job = Write(
      "job.toml", "basis = \"b.h5\"\n[analysis.h]\ntype = \"harmonic\"\nfrequencies = [1.0]\n");
  EXPECT_EQ(Message([&] { qvadyn::RunJob(qvadyn::LoadJob(job), {}); }),
            Path("b.h5") + ": " + cases[0].message);
  // Round-off negative eigenvalues of rigid-body modes pass.
  qvadyn::Basis rigid = TwoNodes();
  rigid.eigenvalues[0] = -1e-12;
  WriteUnchecked("b.h5", rigid);
  EXPECT_EQ(qvadyn::ReadBasisFile(Path("b.h5")).eigenvalues[0], -1e-12);

  WriteUnchecked("b.h5", TwoNodes(), "qvadyn-results");
  EXPECT_EQ(Message([&] { qvadyn::ReadBasisFile(Path("b.h5")); }),
            Path("b.h5") + ": not a basis file (root attribute 'format' is not 'qvadyn-basis')");
  WriteUnchecked("b.h5", TwoNodes(), "qvadyn-basis", 2);
  EXPECT_EQ(
      Message([&] { qvadyn::ReadBasisFile(Path("b.h5")); }),
      Path("b.h5") + ": basis file version 2 is not supported (this program reads version 1)");
  const std::string text = Write("text.h5", "not hdf5");
  EXPECT_EQ(Message([&] { qvadyn::ReadBasisFile(text); }), text + ": not an HDF5 file");
}

TEST_F(QVADynAppTest, FailedRunLeavesEarlierResultsUntouchedAndNoPartialFile) {
  qvadyn::WriteBasisFile(Path("b.h5"), TwoNodes());
  const std::string job = Write("job.toml",
                                "basis = \"b.h5\"\n[[load]]\nnode = 1\ncomponent = 2\n"
                                "[output]\ndofs = [[1, 2]]\n"
                                "[analysis.first]\ntype = \"harmonic\"\nfrequencies = [1.0, 2.0]\n"
                                "[analysis.second]\ntype = \"transient\"\ntimes = [0.0, 0.1]\n");
  qvadyn::RunJob(qvadyn::LoadJob(job), {});
  const auto contents = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = contents(Path("job_results.h5"));
  const auto listing = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> files = listing();

  qvadyn::RunOptions options;
  options.afterAnalysis = [](const std::string& name) {
    if (name == "first") throw qvadyn::Error("injected failure after 'first'");
  };
  EXPECT_EQ(Message([&] { qvadyn::RunJob(qvadyn::LoadJob(job), options); }),
            "injected failure after 'first'");
  EXPECT_EQ(contents(Path("job_results.h5")), before);
  EXPECT_EQ(listing(), files);  // no temporary HDF5 or CSV file left

  qvadyn::RequestInterrupt();
  EXPECT_EQ(Message([&] { qvadyn::RunJob(qvadyn::LoadJob(job), {}); }),
            "interrupted; no results written");
  EXPECT_EQ(contents(Path("job_results.h5")), before);
  EXPECT_EQ(listing(), files);
  qvadyn::RunJob(qvadyn::LoadJob(job), {});  // the request was spent
}

}  // namespace
