#include "QVADyn/QVADynCore/QVADynKvrCopy.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADynBoundary.h"
#include "eigensolver_io/QVADynKvrRoutines.h"
#include "eigensolver_io/impl/QVADynKvrScratchFiles.h"
#include "eigensolver_io/impl/QVADynScratchRecordReader.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

constexpr char kSourcePath[] = "QVADyn/QVADynCore/impl/QVADynKvrCopy";
constexpr std::int64_t kValueBytes = sizeof(double);

// Codes of QVADYNREADKVREIG for one mode-shape file.
struct ModeFileCodes {
  const char* fileName;
  int open;
  int read;
  int closeAndDelete;
};

constexpr ModeFileCodes kStructuralModes{kQVADynKvrStructuralModesFile, 20, 21, -20};
constexpr ModeFileCodes kAcousticModes{kQVADynKvrAcousticModesFile, 60, 62, -60};
constexpr int kCloseAndKeepAcousticModes = -63;

template <class... Parts>
std::string Text(const Parts&... parts) {
  std::ostringstream text;
  (text << ... << parts);
  return text.str();
}

void ReadKvr(int code, int* a2, int* a3, double* a4, int a5, int a6) {
  QVADYNREADKVREIG(&code, a2, a3, a4, &a5, &a6);
}

// Opens `fileName` with `reader` and reads its header; raises, naming the file
// and record 1, when the file is missing or the header is damaged.
void OpenForCheck(QVADynScratchRecordReader& reader, const char* fileName, int header[2]) {
  if (!reader.Open(fileName)) {
    reader.RaiseError("the file is missing or cannot be opened for reading", 1);
  }
  reader.ReadRecordInts(header, kQVADynKvrHeaderInts);
}

// Checks the framing of the next `records` records and that each holds at
// least `values` doubles; seeks over the values, reads nothing into memory.
// Raises naming the first record that fails. `what` says what the records are.
void CheckRecords(QVADynScratchRecordReader& reader, std::int64_t records, std::int64_t values,
                  const char* what) {
  for (std::int64_t record = 0; record < records; ++record) {
    const std::int64_t bytes = reader.BeginRecord();
    if (bytes / kValueBytes < values) {
      reader.RaiseError(Text("holds ", bytes, " bytes; ", values, " values of ", kValueBytes,
                             " bytes needed for ", what));
    }
    reader.EndRecord();
  }
}

// Checks a mode-shape file before it is read through QVADYNREADKVREIG: its
// header gives R in 0 ... maxRows, then come `skipped` vectors of at least one
// value and `vectors` vectors of at least R values. Returns R; the file is
// closed and kept.
int CheckModeFile(const char* fileName, int maxRows, const char* rowsBound, std::int64_t skipped,
                  std::int64_t vectors) {
  QVADynScratchRecordReader reader;
  int header[kQVADynKvrHeaderInts];
  OpenForCheck(reader, fileName, header);
  const int rows = header[0];
  if (rows < 0 || rows > maxRows) {
    reader.RaiseError(Text("header count R = ", rows, " (values per vector) outside 0 ... ",
                           maxRows, ", ", rowsBound),
                      1);
  }
  CheckRecords(reader, skipped, 1, "a skipped vector");
  CheckRecords(reader, vectors, rows, "a vector of R values");
  return rows;
}

// Opens a mode-shape file through its open code; raises when it has gone
// since it was checked. Returns the number of values per vector.
int OpenModeFile(const ModeFileCodes& codes) {
  int rows = -1;
  int second = 0;
  ReadKvr(codes.open, &rows, &second, nullptr, 0, 0);
  if (rows < 0) {
    QVA_RAISE(kQVABasFileError, "Scratch file \"" << codes.fileName
                                                  << "\", record 1: the file has gone since it was "
                                                     "checked");
  }
  return rows;
}

// Skips `count` vectors of an open mode-shape file, reading one value of each.
void SkipVectors(const ModeFileCodes& codes, int count) {
  double discarded = 0.0;
  int one = 1;
  int unusedStatus = 0;
  for (int vector = 1; vector <= count; ++vector) {
    ReadKvr(codes.read, &one, &unusedStatus, &discarded, vector, vector);
  }
}

// Reads the vectors of columns first ... last (zero-based, of `rows` values
// each) of an open mode-shape file into their columns of `values`.
void ReadVectors(const ModeFileCodes& codes, int rows, int first, int last,
                 std::vector<double>& values) {
  int unusedStatus = 0;
  ReadKvr(codes.read, &rows, &unusedStatus, values.data() + std::int64_t{first} * rows, first + 1,
          last + 1);
}

void SetBlock(QVASrvDenseMatrix& target, int firstRow, int rows, int firstColumn, int columns,
              std::vector<double>& values) {
  if (rows == 0 || columns == 0) return;
  const QVASrvMatrix block(rows, columns, values.data());
  target.SetValues(firstRow, firstRow + rows - 1, firstColumn, firstColumn + columns - 1, block);
}

// File and the first of the three codes (open; read is +1, close and delete
// the negative) of a projected damping matrix.
struct DampingFile {
  const char* fileName;
  int openCode;
};

DampingFile DampingFileOf(QVADynDampingType kind) {
  switch (kind) {
    case QVADynViscousDamping:
      return {kQVADynKvrViscousDampingFile, 30};
    case QVADynStructuralDamping:
      return {kQVADynKvrStructuralDampingFile, 40};
    case QVADynAcousticViscousDamping:
      return {kQVADynKvrAcousticViscousDampingFile, 70};
    default:
      QVADynUnsupportedDamping().Throw(kSourcePath, __LINE__);
  }
}

}  // namespace

void QVADynCopyModesFromKvrDb(QVASrvDenseMatrix& modes, int skipStructural, int skipAcoustic,
                              int acousticModes, bool /*unused*/) try {
  const int columns = modes.NumberOfColumns();
  const int rows = modes.NumberOfRows();
  QVA_VERIFY(acousticModes >= 0 && acousticModes <= columns, kQVABasInvalidArgument,
             "QVADynCopyModesFromKvrDb: " << acousticModes << " acoustic modes outside 0 ... "
                                          << columns << " (columns of the mode-shape matrix)");
  const int structuralColumns = columns - acousticModes;
  const int structuralSkip = std::max(skipStructural, 0);
  const int acousticSkip = std::max(skipAcoustic, 0);

  // Every file is checked before anything is allocated, read or written.
  const int structuralRows =
      CheckModeFile(kStructuralModes.fileName, rows, "the rows of the mode-shape matrix",
                    structuralSkip, structuralColumns);
  int acousticRows = 0;
  if (acousticModes != 0) {
    const std::string bound =
        Text("the rows of the mode-shape matrix after the ", structuralRows, " structural rows");
    acousticRows = CheckModeFile(kAcousticModes.fileName, rows - structuralRows, bound.c_str(),
                                 acousticSkip, acousticModes);
  }
  std::vector<double> structural(QVAIndex(structuralRows) * QVAIndex(structuralColumns));
  std::vector<double> acoustic(QVAIndex(acousticRows) * QVAIndex(acousticModes));

  // The acoustic file is read and closed before the structural one is opened:
  // a read that fails closes its own file, so no file stays open after a
  // failure. Pieces of at most one column block each.
  if (acousticModes != 0) {
    OpenModeFile(kAcousticModes);
    SkipVectors(kAcousticModes, acousticSkip);
    const int pieceColumns = modes.MaxNumberOfColumnsInBlock();
    for (int first = 0; first < acousticModes; first += pieceColumns) {
      const int last = std::min(first + pieceColumns - 1, acousticModes - 1);
      ReadVectors(kAcousticModes, acousticRows, first, last, acoustic);
    }
    int unused = 0;
    ReadKvr(kCloseAndKeepAcousticModes, &unused, &unused, nullptr, 0, 0);
  }

  OpenModeFile(kStructuralModes);
  SkipVectors(kStructuralModes, structuralSkip);
  for (int block = 0, first = 0; first < structuralColumns; ++block) {
    const int last =
        std::min(first + modes.NumberOfColumnsInBlock(block) - 1, structuralColumns - 1);
    ReadVectors(kStructuralModes, structuralRows, first, last, structural);
    first = last + 1;
  }

  SetBlock(modes, 0, structuralRows, 0, structuralColumns, structural);
  SetBlock(modes, structuralRows, acousticRows, structuralColumns, acousticModes, acoustic);

  int unused = 0;
  ReadKvr(kStructuralModes.closeAndDelete, &unused, &unused, nullptr, 0, 0);
  if (acousticModes != 0) {
    // Reopened only to be deleted through its own codes; a file that has gone
    // meanwhile needs no deleting.
    int acousticHeader[kQVADynKvrHeaderInts] = {0, 0};
    ReadKvr(kAcousticModes.open, &acousticHeader[0], &acousticHeader[1], nullptr, 0, 0);
    ReadKvr(kAcousticModes.closeAndDelete, &unused, &unused, nullptr, 0, 0);
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynCopyModesFromKvrDb");
}

void QVADynCopyModalDampFromKvrDb(QVADynDampingType kind, QVASrvDenseMatrix& damping,
                                  int offset) try {
  const DampingFile file = DampingFileOf(kind);
  const int order = damping.NumberOfColumns();
  QVA_VERIFY(offset >= 0 && offset <= std::numeric_limits<int>::max() - order,
             kQVABasInvalidArgument,
             "QVADynCopyModalDampFromKvrDb: offset " << offset << " is negative or makes offset + "
                                                     << order << " overflow");
  QVA_VERIFY(damping.NumberOfRows() >= order, kQVABasInvalidArgument,
             "QVADynCopyModalDampFromKvrDb: the damping matrix has "
                 << damping.NumberOfRows() << " rows, fewer than its " << order << " columns");
  const int lastStored = offset + order;
  {
    QVADynScratchRecordReader reader;
    int header[kQVADynKvrHeaderInts];
    OpenForCheck(reader, file.fileName, header);
    CheckRecords(reader, offset, 0, "a skipped column");
    CheckRecords(reader, order, lastStored, "a column of the copied block");
  }
  std::vector<double> block(QVAIndex(order) * QVAIndex(order));

  int first = 0;
  int second = 0;
  ReadKvr(file.openCode, &first, &second, nullptr, 0, 0);
  ReadKvr(file.openCode + 1, &first, &second, block.data(), offset + 1, lastStored);
  SetBlock(damping, 0, order, 0, order, block);
  ReadKvr(-file.openCode, &first, &second, nullptr, 0, 0);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynCopyModalDampFromKvrDb");
}
