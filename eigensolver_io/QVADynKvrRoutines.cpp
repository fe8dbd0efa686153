#include "eigensolver_io/QVADynKvrRoutines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "eigensolver_io/impl/QVADynKvrScratchFiles.h"
#include "eigensolver_io/impl/QVADynScratchRecordReader.h"
#include "eigensolver_io/impl/QVADynScratchRecordWriter.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

constexpr std::int64_t kIntBytes = sizeof(int);
constexpr std::int64_t kDoubleBytes = sizeof(double);

// What a code of QVADYNREADKVREIG does with its file.
enum class Operation {
  kOpenVector,       // 10, 50
  kReadVector,       // 11, 51
  kOpenModes,        // 20, 60
  kReadModes,        // 21, 62
  kOpenMatrix,       // 30, 40, 70
  kReadMatrixBlock,  // 31, 41, 71
  kCloseAndDelete,   // -20, -30, -40, -60, -70
  kCloseAndKeep,     // -63
};

struct CodeEntry {
  int code;
  const char* fileName;
  Operation operation;
  int missingStatus;  // stored in *a3 by an open code that finds no file
};

constexpr CodeEntry kCodes[] = {
    {10, kQVADynKvrStructuralVectorFile, Operation::kOpenVector, -1},
    {11, kQVADynKvrStructuralVectorFile, Operation::kReadVector, 0},
    {20, kQVADynKvrStructuralModesFile, Operation::kOpenModes, -1},
    {21, kQVADynKvrStructuralModesFile, Operation::kReadModes, 0},
    {-20, kQVADynKvrStructuralModesFile, Operation::kCloseAndDelete, 0},
    {30, kQVADynKvrViscousDampingFile, Operation::kOpenMatrix, 0},
    {31, kQVADynKvrViscousDampingFile, Operation::kReadMatrixBlock, 0},
    {-30, kQVADynKvrViscousDampingFile, Operation::kCloseAndDelete, 0},
    {40, kQVADynKvrStructuralDampingFile, Operation::kOpenMatrix, 0},
    {41, kQVADynKvrStructuralDampingFile, Operation::kReadMatrixBlock, 0},
    {-40, kQVADynKvrStructuralDampingFile, Operation::kCloseAndDelete, 0},
    {50, kQVADynKvrAcousticVectorFile, Operation::kOpenVector, -1},
    {51, kQVADynKvrAcousticVectorFile, Operation::kReadVector, 0},
    {60, kQVADynKvrAcousticModesFile, Operation::kOpenModes, 0},
    {62, kQVADynKvrAcousticModesFile, Operation::kReadModes, 0},
    {-60, kQVADynKvrAcousticModesFile, Operation::kCloseAndDelete, 0},
    {-63, kQVADynKvrAcousticModesFile, Operation::kCloseAndKeep, 0},
    {70, kQVADynKvrAcousticViscousDampingFile, Operation::kOpenMatrix, 0},
    {71, kQVADynKvrAcousticViscousDampingFile, Operation::kReadMatrixBlock, 0},
    {-70, kQVADynKvrAcousticViscousDampingFile, Operation::kCloseAndDelete, 0},
};

// The files that QVADYNREADKVREIG keeps open between calls.
constexpr const char* kKeptOpenFiles[] = {
    kQVADynKvrStructuralVectorFile,       kQVADynKvrStructuralModesFile,
    kQVADynKvrViscousDampingFile,         kQVADynKvrStructuralDampingFile,
    kQVADynKvrAcousticVectorFile,         kQVADynKvrAcousticModesFile,
    kQVADynKvrAcousticViscousDampingFile,
};
constexpr int kNumberOfKeptOpenFiles = sizeof(kKeptOpenFiles) / sizeof(kKeptOpenFiles[0]);

// The process-wide reader of `fileName`, one of kKeptOpenFiles.
QVADynScratchRecordReader& KeptOpenReader(const char* fileName) {
  static QVADynScratchRecordReader readers[kNumberOfKeptOpenFiles];
  int slot = 0;
  while (std::strcmp(kKeptOpenFiles[slot], fileName) != 0) ++slot;
  return readers[slot];
}

template <class... Parts>
std::string Text(const Parts&... parts) {
  std::ostringstream text;
  (text << ... << parts);
  return text.str();
}

// Closes the reader, keeping its file, when the scope is left by an exception.
class CloseOnFailure {
 public:
  explicit CloseOnFailure(QVADynScratchRecordReader& reader)
      : reader_(reader), exceptions_(std::uncaught_exceptions()) {}
  CloseOnFailure(const CloseOnFailure&) = delete;
  CloseOnFailure& operator=(const CloseOnFailure&) = delete;
  ~CloseOnFailure() {
    if (std::uncaught_exceptions() > exceptions_) reader_.Close();
  }

 private:
  QVADynScratchRecordReader& reader_;
  int exceptions_;
};

// Raises kQVABasInvalidArgument for an argument of `routine` that does not fit
// the file the reader is at.
[[noreturn]] void RaiseArgumentError(const char* routine, int code,
                                     const QVADynScratchRecordReader& reader,
                                     const std::string& problem) {
  QVA_RAISE(kQVABasInvalidArgument, routine << " code " << code << ", scratch file \""
                                            << reader.FileName() << "\", record "
                                            << reader.RecordNumber() << ": " << problem);
}

// Raises unless `records` records of at least `recordBytes` bytes each, after
// `leadingBytes` bytes, fit in what is left of the file.
void RequireRecordsInFile(const QVADynScratchRecordReader& reader, std::int64_t leadingBytes,
                          std::int64_t records, std::int64_t recordBytes) {
  const std::int64_t remaining = reader.RemainingBytes();
  if (leadingBytes > remaining ||
      (records > 0 && records > (remaining - leadingBytes) / recordBytes)) {
    reader.RaiseError(Text(records, " records of at least ", recordBytes, " bytes asked for",
                           leadingBytes > 0 ? Text(" after ", leadingBytes, " bytes") : "", "; ",
                           remaining, " bytes left in the file"));
  }
}

// Reads the header of a file just opened; the two integers.
struct Header {
  int first;
  int second;
};

Header ReadHeader(QVADynScratchRecordReader& reader) {
  int values[kQVADynKvrHeaderInts];
  reader.ReadRecordInts(values, kQVADynKvrHeaderInts);
  return {values[0], values[1]};
}

// Raises unless a count of the header (record 1) is not negative and `records`
// records of `recordBytes` bytes each fit in the rest of the file.
void CheckHeaderCount(const QVADynScratchRecordReader& reader, const char* name, int count,
                      std::int64_t records, std::int64_t recordBytes) {
  if (count < 0) reader.RaiseError(Text("header count ", name, " = ", count, " is negative"), 1);
  if (records > reader.RemainingBytes() / recordBytes) {
    reader.RaiseError(
        Text("header count ", name, " = ", count, " asks for ", records, " records of at least ",
             recordBytes, " bytes; ", reader.RemainingBytes(), " bytes follow the header"),
        1);
  }
}

QVADynScratchRecordReader& OpenReaderOf(const CodeEntry& entry) {
  QVADynScratchRecordReader& reader = KeptOpenReader(entry.fileName);
  if (!reader.IsOpen()) {
    QVA_RAISE(kQVABasFileError, "Scratch file \"" << entry.fileName << "\" is not open for code "
                                                  << entry.code
                                                  << " (missing, never opened, or closed after a "
                                                     "failed read); open it first");
  }
  return reader;
}

void OpenVector(const CodeEntry& entry, int* count) {
  QVADynScratchRecordReader& reader = KeptOpenReader(entry.fileName);
  if (!reader.Open(entry.fileName)) {
    *count = entry.missingStatus;
    return;
  }
  CloseOnFailure closeOnFailure(reader);
  const Header header = ReadHeader(reader);
  CheckHeaderCount(reader, "n", header.first, 1, QVADynKvrRecordBytes(header.first, kDoubleBytes));
  *count = header.first;
}

void ReadVector(const CodeEntry& entry, const int* count, double* values) {
  QVADynScratchRecordReader& reader = OpenReaderOf(entry);
  CloseOnFailure closeOnFailure(reader);
  const std::int64_t length = std::max(*count, 0);
  RequireRecordsInFile(reader, 0, 1, QVADynKvrRecordBytes(length, kDoubleBytes));
  std::vector<double> buffer(QVAIndex(length));
  reader.ReadRecordDoubles(buffer.data(), length);
  reader.CloseAndDelete();
  std::copy(buffer.begin(), buffer.end(), values);
}

void OpenModes(const CodeEntry& entry, int* rows, int* second) {
  QVADynScratchRecordReader& reader = KeptOpenReader(entry.fileName);
  if (!reader.Open(entry.fileName)) {
    *second = entry.missingStatus;
    return;
  }
  CloseOnFailure closeOnFailure(reader);
  const Header header = ReadHeader(reader);
  // A file without vector records is a basis without modes; otherwise the
  // first vector record must hold R values.
  const std::int64_t vectorRecords = reader.RemainingBytes() > 0 ? 1 : 0;
  CheckHeaderCount(reader, "R", header.first, vectorRecords,
                   QVADynKvrRecordBytes(header.first, kDoubleBytes));
  *rows = header.first;
  *second = header.second;
}

void ReadModes(const CodeEntry& entry, const int* rows, double* modes, const int* first,
               const int* last) {
  QVADynScratchRecordReader& reader = OpenReaderOf(entry);
  CloseOnFailure closeOnFailure(reader);
  const std::int64_t vectors = std::int64_t{*last} - *first + 1;
  if (vectors <= 0) return;
  if (*rows < 0) {
    RaiseArgumentError("QVADYNREADKVREIG", entry.code, reader,
                       Text("column length ", *rows, " is negative"));
  }
  const std::int64_t length = *rows;
  RequireRecordsInFile(reader, 0, vectors, QVADynKvrRecordBytes(length, kDoubleBytes));
  std::vector<double> buffer(QVAIndex(vectors * length));
  for (std::int64_t vector = 0; vector < vectors; ++vector) {
    reader.ReadRecordDoubles(buffer.data() + vector * length, length);
  }
  std::copy(buffer.begin(), buffer.end(), modes);
}

void OpenMatrix(const CodeEntry& entry, int* first, int* second) {
  QVADynScratchRecordReader& reader = KeptOpenReader(entry.fileName);
  if (!reader.Open(entry.fileName)) {
    reader.RaiseError("the file is missing or cannot be opened for reading");
  }
  CloseOnFailure closeOnFailure(reader);
  const Header header = ReadHeader(reader);
  *first = header.first;
  *second = header.second;
}

void ReadMatrixBlock(const CodeEntry& entry, double* block, const int* first, const int* last) {
  QVADynScratchRecordReader& reader = OpenReaderOf(entry);
  CloseOnFailure closeOnFailure(reader);
  if (*first < 1) {
    RaiseArgumentError("QVADYNREADKVREIG", entry.code, reader,
                       Text("first row and column ", *first, " of the block is below 1"));
  }
  const std::int64_t skipped = std::int64_t{*first} - 1;
  const std::int64_t order = std::max<std::int64_t>(std::int64_t{*last} - *first + 1, 0);
  RequireRecordsInFile(reader, skipped * QVADynKvrRecordBytes(0, kDoubleBytes), order,
                       QVADynKvrRecordBytes(std::max(*last, 0), kDoubleBytes));
  std::vector<double> buffer(QVAIndex(order * order));
  reader.SkipRecords(skipped);
  for (std::int64_t column = 0; column < order; ++column) {
    reader.BeginRecord();
    reader.SkipDoubles(skipped);
    reader.ReadDoubles(buffer.data() + column * order, order);
    reader.EndRecord();
  }
  std::copy(buffer.begin(), buffer.end(), block);
}

// One single-entry record of kvr.ep_ac.
struct SingleEntry {
  int row;
  double value;
};

void WriteSingleEntry(QVADynScratchRecordWriter& writer, const SingleEntry& entry) {
  writer.BeginRecord();
  writer.WriteInts(&kQVADynKvrSingleEntryCount, 1);
  writer.WriteInts(&entry.row, 1);
  writer.WriteDoubles(&entry.value, 1);
  writer.EndRecord();
}

void AddProjectionVectors(int code, int rows, int vectors, const double* columns, int kept) {
  QVADynScratchRecordReader input;
  if (!input.Open(kQVADynKvrEigensolverProjectionFile)) return;
  const Header header = ReadHeader(input);
  const int height = header.first;
  const int records = header.second;
  constexpr std::int64_t kSingleEntryBytes = QVADynKvrRecordBytes(1, 2 * kIntBytes + kDoubleBytes);
  CheckHeaderCount(input, "H", height, 0, kSingleEntryBytes);
  CheckHeaderCount(input, "V", records, records, kSingleEntryBytes);
  if (rows < 0 || rows > height) {
    RaiseArgumentError("QVADYNACOUSTICPROJECTION", code, input,
                       Text("rows ", rows, " outside 0 ... H = ", height));
  }
  if (vectors < 0 || vectors > std::numeric_limits<int>::max() - records) {
    RaiseArgumentError("QVADYNACOUSTICPROJECTION", code, input,
                       Text("vectors ", vectors, " is negative or makes V + vectors overflow"));
  }
  if (kept < 0 || kept > records) {
    RaiseArgumentError("QVADYNACOUSTICPROJECTION", code, input,
                       Text("kept ", kept, " outside 0 ... V = ", records));
  }

  std::vector<SingleEntry> entries(QVAIndex(records));
  for (SingleEntry& entry : entries) {
    int leading[2];
    input.BeginRecord();
    input.ReadInts(leading, 2);
    if (leading[0] != kQVADynKvrSingleEntryCount) {
      input.RaiseError(Text("entry count ", leading[0], " where 1 is expected"));
    }
    if (leading[1] < 1 || leading[1] > height) {
      input.RaiseError(Text("row ", leading[1], " outside 1 ... H = ", height));
    }
    entry.row = leading[1];
    input.ReadDoubles(&entry.value, 1);
    input.EndRecord();
  }
  input.Close();

  std::vector<int> rowNumbers(QVAIndex(rows));
  for (int row = 0; row < rows; ++row) rowNumbers[QVAIndex(row)] = height - rows + 1 + row;

  QVADynScratchRecordWriter output;
  output.Create(kQVADynKvrProjectionFile);
  const int outputHeader[kQVADynKvrHeaderInts] = {height, records + vectors};
  output.WriteRecordInts(outputHeader, kQVADynKvrHeaderInts);
  for (int record = 0; record < kept; ++record) {
    WriteSingleEntry(output, entries[QVAIndex(record)]);
  }
  for (int vector = 0; vector < vectors; ++vector) {
    output.BeginRecord();
    output.WriteInts(&rows, 1);
    output.WriteInts(rowNumbers.data(), rows);
    output.WriteDoubles(columns + std::int64_t{vector} * rows, rows);
    output.EndRecord();
  }
  for (int record = kept; record < records; ++record) {
    WriteSingleEntry(output, entries[QVAIndex(record)]);
  }
  output.Close();
}

void ReadProjectedValues(int code, int rows, double* values, int kept) {
  QVADynScratchRecordReader input;
  if (!input.Open(kQVADynKvrProjectedValuesFile)) return;
  const Header header = ReadHeader(input);
  const int length = header.first;
  const int records = header.second;
  const std::int64_t recordBytes = QVADynKvrRecordBytes(std::max(length, 0), kDoubleBytes);
  CheckHeaderCount(input, "L", length, 0, recordBytes);
  CheckHeaderCount(input, "P", records, records, recordBytes);
  if (kept < 0 || kept > records) {
    RaiseArgumentError("QVADYNACOUSTICPROJECTION", code, input,
                       Text("kept ", kept, " outside 0 ... P = ", records));
  }
  const std::int64_t read = std::int64_t{records} - kept;
  if (read > 0 && read > rows) {
    RaiseArgumentError("QVADYNACOUSTICPROJECTION", code, input,
                       Text(read, " records to read into rows of X, which has ", rows, " rows"));
  }

  std::vector<double> buffer(QVAIndex(read * length));
  input.SkipRecords(kept);
  for (std::int64_t record = 0; record < read; ++record) {
    input.ReadRecordDoubles(buffer.data() + record * length, length);
  }
  input.CloseAndDelete();
  for (std::int64_t record = 0; record < read; ++record) {
    for (std::int64_t value = 0; value < length; ++value) {
      values[record + value * rows] = buffer[QVAIndex(record * length + value)];
    }
  }
}

}  // namespace

void QVADYNREADKVREIG(const int* code, int* a2, int* a3, double* a4, const int* a5,
                      const int* a6) try {
  const CodeEntry* entry =
      std::find_if(std::begin(kCodes), std::end(kCodes),
                   [code](const CodeEntry& candidate) { return candidate.code == *code; });
  if (entry == std::end(kCodes)) return;
  switch (entry->operation) {
    case Operation::kOpenVector:
      OpenVector(*entry, a3);
      break;
    case Operation::kReadVector:
      ReadVector(*entry, a3, a4);
      break;
    case Operation::kOpenModes:
      OpenModes(*entry, a2, a3);
      break;
    case Operation::kReadModes:
      ReadModes(*entry, a2, a4, a5, a6);
      break;
    case Operation::kOpenMatrix:
      OpenMatrix(*entry, a2, a3);
      break;
    case Operation::kReadMatrixBlock:
      ReadMatrixBlock(*entry, a4, a5, a6);
      break;
    case Operation::kCloseAndDelete:
      KeptOpenReader(entry->fileName).CloseAndDelete();
      break;
    case Operation::kCloseAndKeep:
      KeptOpenReader(entry->fileName).Close();
      break;
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADYNREADKVREIG");
}

void QVADYNACOUSTICPROJECTION(const int* code, const int* rows, const int* vectors, double* X,
                              const int* kept) try {
  if (*code == 1) AddProjectionVectors(*code, *rows, *vectors, X, *kept);
  if (*code == 2) ReadProjectedValues(*code, *rows, X, *kept);
} catch (...) {
  QVABasRaiseAtBoundary("QVADYNACOUSTICPROJECTION");
}
