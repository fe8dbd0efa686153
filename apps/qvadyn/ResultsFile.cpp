#include "ResultsFile.h"

#include <cstdio>
#include <filesystem>

#include "Distribution.h"
#include "Error.h"

namespace qvadyn {

ResultsWriter::ResultsWriter(const std::string& path, const std::string& jobPath,
                             const std::string& basisPath)
    : path_(path) {
  if (Rank() == 0) output_ = std::make_unique<AtomicFile>(path);
  const std::string temporary = BroadcastString(output_ ? output_->TemporaryPath() : "");
  file_ = std::make_unique<Hdf5File>(Hdf5File::Create(temporary));
  file_->WriteAttribute("/", "format", "qvadyn-results");
  file_->WriteAttribute("/", "version", std::int64_t{1});
  file_->WriteAttribute("/", "job", jobPath);
  file_->WriteAttribute("/", "basis", basisPath);
}

ResultsWriter::ResultsWriter(const std::string& name) : path_(name), withView_(false) {
  file_ = std::make_unique<Hdf5File>(Hdf5File::CreateInMemory(name));
  file_->WriteAttribute("/", "format", "qvadyn-results");
  file_->WriteAttribute("/", "version", std::int64_t{1});
}

ResultsWriter::~ResultsWriter() = default;

void ResultsWriter::BeginAnalysis(const std::string& name, const std::string& type) {
  if (file_->Shared()) CheckPeers();
  file_->CreateGroup("/" + name);
  file_->WriteAttribute("/" + name, "type", type);
}

void ResultsWriter::WriteCsv(const std::string& label, const std::string& heading,
                             const std::vector<std::vector<double>>& columns) {
  // Rank 0 of a file on disk writes the CSV files; an in-memory file has none.
  if (!output_) return;
  const std::filesystem::path results(path_);
  const std::string name = results.stem().string() + "_" + label + ".csv";
  csvFiles_.emplace_back((results.parent_path() / name).string());
  const AtomicFile& csv = csvFiles_.back();
  FILE* out = std::fopen(csv.TemporaryPath().c_str(), "w");
  if (out == nullptr) throw Error(csv.Path() + ": cannot be written");
  std::fprintf(out, "%s\n", heading.c_str());
  const std::size_t rows = columns.empty() ? 0 : columns.front().size();
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t column = 0; column < columns.size(); ++column) {
      std::fprintf(out, column == 0 ? "%.10g" : ",%.10g", columns[column][row]);
    }
    std::fputc('\n', out);
  }
  if (std::fclose(out) != 0) throw Error(csv.Path() + ": cannot be written");
}

std::vector<std::string> ResultsWriter::CsvPaths() const {
  std::vector<std::string> paths;
  for (const AtomicFile& csv : csvFiles_) paths.push_back(csv.Path());
  return paths;
}

Hdf5File* ResultsWriter::FinishShared() {
  if (!file_->Shared()) return file_.get();
  CheckPeers();
  file_->Close();
  if (!output_) return nullptr;
  file_ = std::make_unique<Hdf5File>(Hdf5File::OpenForUpdate(output_->TemporaryPath()));
  return file_.get();
}

void ResultsWriter::Commit() {
  if (file_->Shared()) CheckPeers();
  file_->Close();
  if (!output_) return;
  output_->Commit();
  for (AtomicFile& csv : csvFiles_) csv.Commit();
}

}  // namespace qvadyn
