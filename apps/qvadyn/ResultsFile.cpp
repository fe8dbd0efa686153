#include "ResultsFile.h"

#include <cstdio>
#include <filesystem>

#include "Error.h"

namespace qvadyn {

ResultsWriter::ResultsWriter(const std::string& path, const std::string& jobPath,
                             const std::string& basisPath)
    : output_(path) {
  file_ = std::make_unique<Hdf5File>(Hdf5File::Create(output_.TemporaryPath()));
  file_->WriteAttribute("/", "format", "qvadyn-results");
  file_->WriteAttribute("/", "version", std::int64_t{1});
  file_->WriteAttribute("/", "job", jobPath);
  file_->WriteAttribute("/", "basis", basisPath);
}

ResultsWriter::ResultsWriter(const std::string& name) : output_(name) {
  file_ = std::make_unique<Hdf5File>(Hdf5File::CreateInMemory(name));
  file_->WriteAttribute("/", "format", "qvadyn-results");
  file_->WriteAttribute("/", "version", std::int64_t{1});
}

ResultsWriter::~ResultsWriter() = default;

void ResultsWriter::BeginAnalysis(const std::string& name, const std::string& type) {
  file_->CreateGroup("/" + name);
  file_->WriteAttribute("/" + name, "type", type);
}

void ResultsWriter::WriteCsv(const std::string& label, const std::string& heading,
                             const std::vector<std::vector<double>>& columns) {
  const std::filesystem::path results(output_.Path());
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

void ResultsWriter::Commit() {
  file_->Close();
  output_.Commit();
  for (AtomicFile& csv : csvFiles_) csv.Commit();
}

}  // namespace qvadyn
