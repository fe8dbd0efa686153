// The results of a run: one HDF5 file (layout in the README, "Results file")
// and one CSV per analysis and output DOF, all written under temporary names
// beside their targets and renamed only by Commit() at the end of a
// successful run. Destroyed without Commit() (a failure, an interruption),
// it removes the temporary files and leaves any earlier results untouched.
// Over several processes every process makes the same calls: the HDF5 file
// is shared (Hdf5.h), rank 0 alone owns the temporary files, writes the CSV
// files and renames.
//
//   qvadyn::ResultsWriter results("out.h5", "job.toml", "beam.h5");
//   results.File().Write("/sweep/frequency", frequencies, {n});
//   results.WriteCsv("sweep_100_2", "frequency,real,imaginary,magnitude,phase", columns);
//   results.Commit();   // out.h5, out_sweep_100_2.csv
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "Hdf5.h"

namespace qvadyn {

class ResultsWriter {
 public:
  ResultsWriter(const std::string& path, const std::string& jobPath, const std::string& basisPath);
  // Results held in memory only, in the same layout (the Python module reads
  // them back as arrays): nothing is written to disk, Commit() is not called
  // and `job.outputs.csv` must be off.
  explicit ResultsWriter(const std::string& name);
  ResultsWriter(const ResultsWriter&) = delete;
  ResultsWriter& operator=(const ResultsWriter&) = delete;
  ~ResultsWriter();

  Hdf5File& File() { return *file_; }
  // Whether the results get a view for ParaView (Xdmf.h): those on disk do,
  // those in memory do not.
  bool WithView() const { return withView_; }
  const std::string& Path() const { return path_; }
  // The group of an analysis with its `type` attribute.
  void BeginAnalysis(const std::string& name, const std::string& type);
  // Writes a CSV of equal-length columns (10 significant digits) as
  // "<results stem>_<label>.csv".
  void WriteCsv(const std::string& label, const std::string& heading,
                const std::vector<std::vector<double>>& columns);
  // Paths of the CSV files (final names).
  std::vector<std::string> CsvPaths() const;
  // Ends the writing of every process but one: over several processes, the
  // processes close the shared file together and rank 0 reopens it alone
  // and gets it (the others get nullptr); in one process, the open file.
  Hdf5File* FinishShared();
  void Commit();

 private:
  std::string path_;
  std::unique_ptr<AtomicFile> output_;  // rank 0
  std::unique_ptr<Hdf5File> file_;
  std::vector<AtomicFile> csvFiles_;
  bool withView_ = true;
};

}  // namespace qvadyn
