// The call-by-address routines over scratch files written byte by byte in a
// temporary working directory: every code of QVADYNREADKVREIG, both codes of
// QVADYNACOUSTICPROJECTION, and damaged files and wrong arguments, which must
// raise with the file and the record named and leave the caller's data as it
// was. All values are small integers or halves, exactly representable, so
// every comparison is exact.

#include "eigensolver_io/QVADynKvrRoutines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eigensolver_io/QVADynKvrScratchFiles.h"
#include "tests/eigensolver_io/QVADynScratchTestFiles.h"

namespace {

constexpr double kUntouched = -777.0;

void ReadKvr(int code, int* a2, int* a3, double* a4, int a5 = 0, int a6 = 0) {
  QVADYNREADKVREIG(&code, a2, a3, a4, &a5, &a6);
}

void Project(int code, int rows, int vectors, double* X, int kept) {
  QVADYNACOUSTICPROJECTION(&code, &rows, &vectors, X, &kept);
}

bool AllUntouched(const std::vector<double>& values) {
  for (double value : values) {
    if (value != kUntouched) return false;
  }
  return true;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Value of row `row` of mode `mode` (both 1-based) in the mode-shape files.
double ModeValue(int mode, int row) { return 100.0 * mode + row; }

// A mode-shape file of `modes` vectors; each record holds R + 1 values, the
// last one not part of the mode.
void WriteModes(const char* fileName, int rows, int second, int modes) {
  QVADynTestRecordFile file;
  file.Record().Int(rows).Int(second);
  for (int mode = 1; mode <= modes; ++mode) {
    QVADynTestRecord& record = file.Record();
    for (int row = 1; row <= rows; ++row) record.Double(ModeValue(mode, row));
    record.Double(-1.0);
  }
  file.WriteTo(fileName);
}

// Entry (row, column), 1-based, of the stored square matrices.
double MatrixValue(int row, int column) { return 10.0 * row + column; }

// A square matrix of order `order`, one column per record.
void WriteMatrix(const char* fileName, int order) {
  QVADynTestRecordFile file;
  file.Record().Int(order).Int(42);
  for (int column = 1; column <= order; ++column) {
    QVADynTestRecord& record = file.Record();
    for (int row = 1; row <= order; ++row) record.Double(MatrixValue(row, column));
  }
  file.WriteTo(fileName);
}

// kvr.ep_ac with H = 10 and the single entries (4, 2.5) and (7, -1.0).
void WriteEigensolverProjection() {
  QVADynTestRecordFile file;
  file.Record().Int(10).Int(2);
  file.Record().Int(1).Int(4).Double(2.5);
  file.Record().Int(1).Int(7).Double(-1.0);
  file.WriteTo(kQVADynKvrEigensolverProjectionFile);
}

// kvr.erp with L = 2 and `records` records k = 1, 2, ...: (10k + 1, 10k + 2).
void WriteProjectedValues(int records) {
  QVADynTestRecordFile file;
  file.Record().Int(2).Int(records);
  for (int k = 1; k <= records; ++k) file.Record().Double(10.0 * k + 1).Double(10.0 * k + 2);
  file.WriteTo(kQVADynKvrProjectedValuesFile);
}

void ExpectSingleEntry(QVADynTestParsedRecord record, int row, double value) {
  EXPECT_EQ(record.Size(), 16u);
  EXPECT_EQ(record.Int(), 1);
  EXPECT_EQ(record.Int(), row);
  EXPECT_EQ(record.Double(), value);
}

// A vector record of kvr.ep over rows 8, 9, 10 (H = 10, three rows).
void ExpectVectorOnLastRows(QVADynTestParsedRecord record, const std::vector<double>& values) {
  EXPECT_EQ(record.Size(), 4u + 3 * 4 + 3 * 8);
  EXPECT_EQ(record.Int(), 3);
  EXPECT_EQ(record.Int(), 8);
  EXPECT_EQ(record.Int(), 9);
  EXPECT_EQ(record.Int(), 10);
  for (double value : values) EXPECT_EQ(record.Double(), value);
  EXPECT_TRUE(record.AtEnd());
}

void ExpectHeader(QVADynTestParsedRecord record, int first, int second) {
  EXPECT_EQ(record.Size(), 8u);
  EXPECT_EQ(record.Int(), first);
  EXPECT_EQ(record.Int(), second);
}

// The open, read and close codes of one file (close 0: the read code closes).
struct FileCodes {
  int open;
  int read;
  int close;
  const char* fileName;
};

std::string CodeName(const ::testing::TestParamInfo<FileCodes>& param) {
  return "Code" + std::to_string(param.param.open);
}

}  // namespace

// ---------------------------------------------------------------- vectors

class QVADynKvrVectorFile : public ::testing::TestWithParam<FileCodes> {};

// Open reports n, read takes n values of a longer record, deletes the file; a
// second open finds no file.
TEST_P(QVADynKvrVectorFile, ReadsTheVectorAndDeletesTheFile) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  QVADynTestRecordFile file;
  file.Record().Int(4).Int(99);
  file.Record().Double(0.5).Double(1.5).Double(2.5).Double(3.5).Double(4.5);
  file.WriteTo(codes.fileName);

  int a2 = 11;
  int a3 = 0;
  std::vector<double> values(5, kUntouched);
  ReadKvr(codes.open, &a2, &a3, values.data());
  EXPECT_EQ(a3, 4);
  EXPECT_EQ(a2, 11);
  ReadKvr(codes.read, &a2, &a3, values.data());
  EXPECT_EQ(values, (std::vector<double>{0.5, 1.5, 2.5, 3.5, kUntouched}));
  EXPECT_FALSE(QVADynTestFileExists(codes.fileName));

  ReadKvr(codes.open, &a2, &a3, values.data());
  EXPECT_EQ(a3, -1);
}

// A negative count reads no value and still finishes the file.
TEST_P(QVADynKvrVectorFile, NegativeCountReadsNothingAndDeletes) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  QVADynTestRecordFile file;
  file.Record().Int(2).Int(0);
  file.Record().Double(0.5).Double(1.5);
  file.WriteTo(codes.fileName);
  int a2 = 0;
  int a3 = 0;
  std::vector<double> values(2, kUntouched);
  ReadKvr(codes.open, &a2, &a3, values.data());
  a3 = -5;
  ReadKvr(codes.read, &a2, &a3, values.data());
  EXPECT_TRUE(AllUntouched(values));
  EXPECT_FALSE(QVADynTestFileExists(codes.fileName));
}

// A record shorter than n: raised at record 2, nothing stored, file kept and
// closed, so the next read raises too.
TEST_P(QVADynKvrVectorFile, ShortRecordRaisesAndKeepsTheFile) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  QVADynTestRecordFile file;
  file.Record().Int(4).Int(0);
  file.Record().Double(0.5).Double(1.5);
  file.Raw(std::string(16, '\0'));  // room enough for the header's promise
  file.WriteTo(codes.fileName);
  int a2 = 0;
  int a3 = 0;
  std::vector<double> values(4, kUntouched);
  ReadKvr(codes.open, &a2, &a3, values.data());
  ASSERT_EQ(a3, 4);

  const QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(codes.read, &a2, &a3, values.data()); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"" + std::string(codes.fileName) +
                               "\", record 2: holds 16 bytes; 4 items of 8 bytes asked for from byte 0");
  EXPECT_TRUE(AllUntouched(values));
  EXPECT_TRUE(QVADynTestFileExists(codes.fileName));

  const QVADynTestError again = QVADynTestCatchError([&] { ReadKvr(codes.read, &a2, &a3, values.data()); });
  EXPECT_EQ(again.number, kQVABasFileError);
  EXPECT_TRUE(Contains(again.message, "\"" + std::string(codes.fileName) + "\" is not open for code"))
      << again.message;
}

// Header counts that are negative or larger than the file raise at record 1
// and leave *a3 alone.
TEST_P(QVADynKvrVectorFile, ImpossibleHeaderCountRaises) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  for (const int count : {-1, 1000000}) {
    QVADynTestRecordFile file;
    file.Record().Int(count).Int(0);
    file.Record().Double(0.5);
    file.WriteTo(codes.fileName);
    int a2 = 0;
    int a3 = 55;
    const QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(codes.open, &a2, &a3, nullptr); });
    EXPECT_EQ(error.number, kQVABasFileError);
    const std::string prefix = "Scratch file \"" + std::string(codes.fileName) + "\", record 1: header count n = ";
    EXPECT_EQ(error.message, count < 0 ? prefix + "-1 is negative"
                                       : prefix + "1000000 asks for 1 records of at least 8000008 "
                                                  "bytes; 16 bytes follow the header");
    EXPECT_EQ(a3, 55);
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, QVADynKvrVectorFile,
                         ::testing::Values(FileCodes{10, 11, 0, kQVADynKvrStructuralVectorFile},
                                           FileCodes{50, 51, 0, kQVADynKvrAcousticVectorFile}),
                         CodeName);

// ---------------------------------------------------------------- mode shapes

// Header to *a2 and *a3; skips by reading one value per record; blocks of
// columns of length R from records longer than R; close and delete; a second
// open finds no file.
TEST(QVADynKvrStructuralModes, ReadsBlocksOfModesAndDeletesTheFile) {
  QVADynTestScratchDirectory directory;
  WriteModes(kQVADynKvrStructuralModesFile, 3, 17, 5);
  int rows = 0;
  int second = 0;
  ReadKvr(20, &rows, &second, nullptr);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(second, 17);

  int one = 1;
  std::vector<double> skipped(2, kUntouched);
  ReadKvr(21, &one, &second, skipped.data(), 1, 2);
  EXPECT_EQ(skipped, (std::vector<double>{ModeValue(1, 1), ModeValue(2, 1)}));

  std::vector<double> modes(7, kUntouched);
  ReadKvr(21, &rows, &second, modes.data(), 3, 4);
  EXPECT_EQ(modes, (std::vector<double>{ModeValue(3, 1), ModeValue(3, 2), ModeValue(3, 3), ModeValue(4, 1),
                                        ModeValue(4, 2), ModeValue(4, 3), kUntouched}));
  ReadKvr(21, &rows, &second, modes.data(), 5, 5);
  EXPECT_EQ(modes[2], ModeValue(5, 3));
  EXPECT_EQ(modes[3], ModeValue(4, 1));

  ReadKvr(-20, &rows, &second, nullptr);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrStructuralModesFile));
  ReadKvr(-20, &rows, &second, nullptr);  // nothing open: nothing happens

  rows = 12;
  ReadKvr(20, &rows, &second, nullptr);
  EXPECT_EQ(second, -1);
  EXPECT_EQ(rows, 12);
  const QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(21, &rows, &second, modes.data(), 1, 1); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(modes[0], ModeValue(5, 1));
}

// An open code on a file still open starts again from its first record.
TEST(QVADynKvrStructuralModes, OpeningAgainRestartsTheFile) {
  QVADynTestScratchDirectory directory;
  WriteModes(kQVADynKvrStructuralModesFile, 2, 0, 3);
  int rows = 0;
  int second = 0;
  double mode[2] = {};
  ReadKvr(20, &rows, &second, nullptr);
  ReadKvr(21, &rows, &second, mode, 2, 2);
  EXPECT_EQ(mode[0], ModeValue(1, 1));
  mode[0] = 0.0;
  ReadKvr(20, &rows, &second, nullptr);
  ReadKvr(21, &rows, &second, mode, 1, 1);
  EXPECT_EQ(mode[0], ModeValue(1, 1));
  EXPECT_EQ(mode[1], ModeValue(1, 2));
  ReadKvr(-20, &rows, &second, nullptr);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrStructuralModesFile));
}

// A missing acoustic file reports 0 vectors; -63 keeps the file and a new
// open reads it from the start; -60 deletes it.
TEST(QVADynKvrAcousticModes, MissingFileReportsZeroAndCloseKeepsOrDeletes) {
  QVADynTestScratchDirectory directory;
  int rows = 8;
  int second = 5;
  ReadKvr(60, &rows, &second, nullptr);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(rows, 8);

  WriteModes(kQVADynKvrAcousticModesFile, 2, 6, 2);
  ReadKvr(60, &rows, &second, nullptr);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(second, 6);
  std::vector<double> modes(4, kUntouched);
  ReadKvr(62, &rows, &second, modes.data(), 1, 2);
  EXPECT_EQ(modes, (std::vector<double>{ModeValue(1, 1), ModeValue(1, 2), ModeValue(2, 1), ModeValue(2, 2)}));
  ReadKvr(-63, &rows, &second, nullptr);
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));

  ReadKvr(60, &rows, &second, nullptr);
  ReadKvr(62, &rows, &second, modes.data(), 7, 7);
  EXPECT_EQ(modes[0], ModeValue(1, 1));
  ReadKvr(-60, &rows, &second, nullptr);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));
}

// A damaged third vector record (record 4): nothing of the two sound records
// before it reaches the caller.
TEST(QVADynKvrStructuralModes, DamagedRecordRaisesAndStoresNothing) {
  QVADynTestScratchDirectory directory;
  QVADynTestRecordFile file;
  file.Record().Int(2).Int(0);
  file.Record().Double(1.0).Double(2.0);
  file.Record().Double(3.0).Double(4.0);
  file.Raw(QVADynTestRecord().Int(16).Double(5.0).Double(6.0).Int(8).Bytes());
  file.WriteTo(kQVADynKvrStructuralModesFile);

  int rows = 0;
  int second = 0;
  ReadKvr(20, &rows, &second, nullptr);
  std::vector<double> modes(6, kUntouched);
  const QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(21, &rows, &second, modes.data(), 1, 3); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"kvr.ev\", record 4: trailing byte count 8 differs from the "
                           "leading byte count 16");
  EXPECT_TRUE(AllUntouched(modes));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrStructuralModesFile));
}

// More vectors asked for than the file can hold: refused before any buffer is
// sized from the request.
TEST(QVADynKvrStructuralModes, RequestBeyondTheFileRaisesBeforeReading) {
  QVADynTestScratchDirectory directory;
  WriteModes(kQVADynKvrStructuralModesFile, 2, 0, 2);
  int rows = 0;
  int second = 0;
  ReadKvr(20, &rows, &second, nullptr);
  std::vector<double> modes(4, kUntouched);
  const QVADynTestError error =
      QVADynTestCatchError([&] { ReadKvr(21, &rows, &second, modes.data(), 1, 2000000000); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"kvr.ev\", record 2: 2000000000 records of at least 24 bytes "
                           "asked for; 64 bytes left in the file");
  EXPECT_TRUE(AllUntouched(modes));

  int negative = -1;
  ReadKvr(20, &rows, &second, nullptr);
  const QVADynTestError argument =
      QVADynTestCatchError([&] { ReadKvr(21, &negative, &second, modes.data(), 1, 1); });
  EXPECT_EQ(argument.number, kQVABasInvalidArgument);
  EXPECT_EQ(argument.message, "QVADYNREADKVREIG code 21, scratch file \"kvr.ev\", record 2: column "
                              "length -1 is negative");
  ReadKvr(20, &rows, &second, nullptr);
  ReadKvr(-20, &rows, &second, nullptr);
}

TEST(QVADynKvrStructuralModes, ImpossibleHeaderRaisesAndLeavesTheArguments) {
  QVADynTestScratchDirectory directory;
  for (const int rows : {-3, 5}) {
    QVADynTestRecordFile file;
    file.Record().Int(rows).Int(9);
    file.Record().Double(1.0);
    file.WriteTo(kQVADynKvrStructuralModesFile);
    int a2 = 77;
    int a3 = 78;
    const QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(20, &a2, &a3, nullptr); });
    EXPECT_EQ(error.number, kQVABasFileError);
    EXPECT_TRUE(Contains(error.message, "Scratch file \"kvr.ev\", record 1: header count R = ")) << error.message;
    EXPECT_EQ(a2, 77);
    EXPECT_EQ(a3, 78);
  }
  // A basis without modes: any R is accepted.
  QVADynTestRecordFile empty;
  empty.Record().Int(500).Int(0);
  empty.WriteTo(kQVADynKvrStructuralModesFile);
  int a2 = 0;
  int a3 = 1;
  ReadKvr(20, &a2, &a3, nullptr);
  EXPECT_EQ(a2, 500);
  EXPECT_EQ(a3, 0);
  ReadKvr(-20, &a2, &a3, nullptr);
}

// ---------------------------------------------------------------- damping

class QVADynKvrDampingFile : public ::testing::TestWithParam<FileCodes> {};

// The diagonal block 3 ... 5 of a stored 5 x 5 matrix, then close and delete;
// a second open raises because the file is gone.
TEST_P(QVADynKvrDampingFile, ReadsTheDiagonalBlockAndDeletesTheFile) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  WriteMatrix(codes.fileName, 5);
  int a2 = 0;
  int a3 = 0;
  ReadKvr(codes.open, &a2, &a3, nullptr);
  EXPECT_EQ(a2, 5);
  EXPECT_EQ(a3, 42);
  std::vector<double> block(10, kUntouched);
  ReadKvr(codes.read, &a2, &a3, block.data(), 3, 5);
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(block[static_cast<std::size_t>(row + 3 * column)], MatrixValue(3 + row, 3 + column));
    }
  }
  EXPECT_EQ(block[9], kUntouched);
  ReadKvr(codes.close, &a2, &a3, nullptr);
  EXPECT_FALSE(QVADynTestFileExists(codes.fileName));

  const QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(codes.open, &a2, &a3, nullptr); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"" + std::string(codes.fileName) +
                               "\", record 1: the file is missing or cannot be opened for reading");
}

// A second read goes on after the records of the first: block 1 ... 2 takes
// columns 1, 2; then the block 2 ... 2 skips column 3 and takes entry (2, 4).
TEST_P(QVADynKvrDampingFile, LaterReadsContinueWhereTheLastStopped) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  WriteMatrix(codes.fileName, 5);
  int a2 = 0;
  int a3 = 0;
  ReadKvr(codes.open, &a2, &a3, nullptr);
  std::vector<double> block(4, kUntouched);
  ReadKvr(codes.read, &a2, &a3, block.data(), 1, 2);
  EXPECT_EQ(block, (std::vector<double>{MatrixValue(1, 1), MatrixValue(2, 1), MatrixValue(1, 2), MatrixValue(2, 2)}));
  double entry = kUntouched;
  ReadKvr(codes.read, &a2, &a3, &entry, 2, 2);
  EXPECT_EQ(entry, MatrixValue(2, 4));
  ReadKvr(codes.close, &a2, &a3, nullptr);
}

// Damaged matrix files and impossible blocks: raised with file and record,
// block left alone.
TEST_P(QVADynKvrDampingFile, DamagedFilesAndBadBlocksRaise) {
  QVADynTestScratchDirectory directory;
  const FileCodes codes = GetParam();
  const std::string file = "\"" + std::string(codes.fileName) + "\"";
  int a2 = 0;
  int a3 = 0;
  std::vector<double> block(9, kUntouched);

  // Truncated: the last column record is cut short.
  std::string bytes = [&] {
    WriteMatrix(codes.fileName, 3);
    return QVADynTestReadBytes(codes.fileName);
  }();
  QVADynTestRecordFile::WriteBytes(codes.fileName, bytes.substr(0, bytes.size() - 10));
  ReadKvr(codes.open, &a2, &a3, nullptr);
  QVADynTestError error = QVADynTestCatchError([&] { ReadKvr(codes.read, &a2, &a3, block.data(), 1, 3); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file " + file + ", record 2: 3 records of at least 32 bytes asked "
                                                    "for; 86 bytes left in the file");
  EXPECT_TRUE(AllUntouched(block));

  // Columns shorter than the block's last row.
  QVADynTestRecordFile shortColumns;
  shortColumns.Record().Int(3).Int(0);
  for (int column = 0; column < 3; ++column) shortColumns.Record().Double(1.0).Double(2.0).Double(3.0);
  shortColumns.Raw(std::string(64, '\0'));
  shortColumns.WriteTo(codes.fileName);
  ReadKvr(codes.open, &a2, &a3, nullptr);
  error = QVADynTestCatchError([&] { ReadKvr(codes.read, &a2, &a3, block.data(), 2, 4); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file " + file + ", record 3: holds 24 bytes; 3 items of 8 bytes "
                                                    "asked for from byte 8");
  EXPECT_TRUE(AllUntouched(block));

  // A block starting before row 1.
  WriteMatrix(codes.fileName, 3);
  ReadKvr(codes.open, &a2, &a3, nullptr);
  error = QVADynTestCatchError([&] { ReadKvr(codes.read, &a2, &a3, block.data(), 0, 2); });
  EXPECT_EQ(error.number, kQVABasInvalidArgument);
  EXPECT_EQ(error.message, "QVADYNREADKVREIG code " + std::to_string(codes.read) + ", scratch file " +
                               file + ", record 2: first row and column 0 of the block is below 1");
  EXPECT_TRUE(AllUntouched(block));
  EXPECT_TRUE(QVADynTestFileExists(codes.fileName));
}

INSTANTIATE_TEST_SUITE_P(Codes, QVADynKvrDampingFile,
                         ::testing::Values(FileCodes{30, 31, -30, kQVADynKvrViscousDampingFile},
                                           FileCodes{40, 41, -40, kQVADynKvrStructuralDampingFile},
                                           FileCodes{70, 71, -70, kQVADynKvrAcousticViscousDampingFile}),
                         CodeName);

// ---------------------------------------------------------------- other codes

// Codes outside the table touch neither the arguments nor the files.
TEST(QVADynKvrReadCodes, UnknownCodesDoNothing) {
  QVADynTestScratchDirectory directory;
  WriteModes(kQVADynKvrStructuralModesFile, 2, 0, 1);
  WriteModes(kQVADynKvrAcousticModesFile, 2, 0, 1);
  WriteMatrix(kQVADynKvrViscousDampingFile, 2);
  const std::string modesBytes = QVADynTestReadBytes(kQVADynKvrStructuralModesFile);
  for (const int code : {0, 1, 12, 22, -21, 32, 61, 63, -62, -10, -50, 80, 2147483647}) {
    int a2 = 5;
    int a3 = 6;
    double value = kUntouched;
    ReadKvr(code, &a2, &a3, &value, 1, 1);
    EXPECT_EQ(a2, 5) << code;
    EXPECT_EQ(a3, 6) << code;
    EXPECT_EQ(value, kUntouched) << code;
  }
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrStructuralModesFile), modesBytes);
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrViscousDampingFile));
  // No file was opened by them either: a read code still finds kvr.ev closed.
  int a2 = 2;
  int a3 = 0;
  double values[2] = {};
  EXPECT_EQ(QVADynTestCatchError([&] { ReadKvr(21, &a2, &a3, values, 1, 1); }).number, kQVABasFileError);
}

// ---------------------------------------------------------------- projection, code 1

// With kept 0 the new vectors come first, over rows 8, 9, 10 of H = 10;
// kvr.ep_ac stays as it was.
TEST(QVADynKvrProjection, KeptZeroPutsTheNewVectorsFirst) {
  QVADynTestScratchDirectory directory;
  WriteEigensolverProjection();
  const std::string eigensolverBytes = QVADynTestReadBytes(kQVADynKvrEigensolverProjectionFile);
  std::vector<double> X = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  Project(1, 3, 2, X.data(), 0);

  std::vector<QVADynTestParsedRecord> records = QVADynTestParseRecords(kQVADynKvrProjectionFile);
  ASSERT_EQ(records.size(), 5u);
  ExpectHeader(records[0], 10, 4);
  ExpectVectorOnLastRows(records[1], {1.0, 2.0, 3.0});
  ExpectVectorOnLastRows(records[2], {4.0, 5.0, 6.0});
  ExpectSingleEntry(records[3], 4, 2.5);
  ExpectSingleEntry(records[4], 7, -1.0);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrEigensolverProjectionFile), eigensolverBytes);
  EXPECT_EQ(X, (std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0, 6.0}));
}

// With kept = V the new vectors come last; with kept 1 between the two
// single entries. An existing, longer kvr.ep is replaced whole.
TEST(QVADynKvrProjection, KeptPlacesTheNewVectorsAndReplacesTheFile) {
  QVADynTestScratchDirectory directory;
  WriteEigensolverProjection();
  QVADynTestRecordFile::WriteBytes(kQVADynKvrProjectionFile, std::string(1000, 'x'));
  std::vector<double> X = {1.0, 2.0, 3.0};
  Project(1, 3, 1, X.data(), 2);
  std::vector<QVADynTestParsedRecord> records = QVADynTestParseRecords(kQVADynKvrProjectionFile);
  ASSERT_EQ(records.size(), 4u);
  ExpectHeader(records[0], 10, 3);
  ExpectSingleEntry(records[1], 4, 2.5);
  ExpectSingleEntry(records[2], 7, -1.0);
  ExpectVectorOnLastRows(records[3], {1.0, 2.0, 3.0});

  Project(1, 3, 1, X.data(), 1);
  records = QVADynTestParseRecords(kQVADynKvrProjectionFile);
  ASSERT_EQ(records.size(), 4u);
  ExpectSingleEntry(records[1], 4, 2.5);
  ExpectVectorOnLastRows(records[2], {1.0, 2.0, 3.0});
  ExpectSingleEntry(records[3], 7, -1.0);

  // No new vectors: a copy of kvr.ep_ac.
  Project(1, 3, 0, nullptr, 0);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile),
            QVADynTestReadBytes(kQVADynKvrEigensolverProjectionFile));
}

TEST(QVADynKvrProjection, MissingEigensolverFileWritesNothing) {
  QVADynTestScratchDirectory directory;
  double X[3] = {1.0, 2.0, 3.0};
  Project(1, 3, 1, X, 0);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectionFile));
  QVADynTestRecordFile::WriteBytes(kQVADynKvrProjectionFile, "old");
  Project(1, 3, 1, X, 0);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile), "old");
  for (const int code : {0, 3, -1}) Project(code, 3, 1, X, 0);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile), "old");
}

// A damaged kvr.ep_ac or impossible arguments raise before kvr.ep is touched.
TEST(QVADynKvrProjection, DamagedInputOrBadArgumentsLeaveTheOldFile) {
  QVADynTestScratchDirectory directory;
  QVADynTestRecordFile::WriteBytes(kQVADynKvrProjectionFile, "old");
  std::vector<double> X = {1.0, 2.0, 3.0};

  QVADynTestRecordFile absurd;
  absurd.Record().Int(10).Int(1000);
  absurd.Record().Int(1).Int(4).Double(2.5);
  absurd.WriteTo(kQVADynKvrEigensolverProjectionFile);
  QVADynTestError error = QVADynTestCatchError([&] { Project(1, 3, 1, X.data(), 0); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"kvr.ep_ac\", record 1: header count V = 1000 asks for 1000 "
                           "records of at least 24 bytes; 24 bytes follow the header");

  QVADynTestRecordFile twoEntries;
  twoEntries.Record().Int(10).Int(2);
  twoEntries.Record().Int(1).Int(4).Double(2.5);
  twoEntries.Record().Int(2).Int(7).Int(8).Double(-1.0).Double(1.0);
  twoEntries.WriteTo(kQVADynKvrEigensolverProjectionFile);
  error = QVADynTestCatchError([&] { Project(1, 3, 1, X.data(), 0); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"kvr.ep_ac\", record 3: entry count 2 where 1 is expected");

  QVADynTestRecordFile badRow;
  badRow.Record().Int(10).Int(1);
  badRow.Record().Int(1).Int(11).Double(2.5);
  badRow.WriteTo(kQVADynKvrEigensolverProjectionFile);
  error = QVADynTestCatchError([&] { Project(1, 3, 1, X.data(), 0); });
  EXPECT_EQ(error.message, "Scratch file \"kvr.ep_ac\", record 2: row 11 outside 1 ... H = 10");

  WriteEigensolverProjection();
  error = QVADynTestCatchError([&] { Project(1, 11, 1, X.data(), 0); });
  EXPECT_EQ(error.number, kQVABasInvalidArgument);
  EXPECT_EQ(error.message, "QVADYNACOUSTICPROJECTION code 1, scratch file \"kvr.ep_ac\", record 2: rows "
                           "11 outside 0 ... H = 10");
  error = QVADynTestCatchError([&] { Project(1, 3, 1, X.data(), 3); });
  EXPECT_EQ(error.message, "QVADYNACOUSTICPROJECTION code 1, scratch file \"kvr.ep_ac\", record 2: kept "
                           "3 outside 0 ... V = 2");
  error = QVADynTestCatchError([&] { Project(1, 3, -1, X.data(), 0); });
  EXPECT_EQ(error.number, kQVABasInvalidArgument);

  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile), "old");
}

// ---------------------------------------------------------------- projection, code 2

// Skips kept records and stores record kept + 1 + j in row j of X (leading
// dimension 3); rows beyond the records read stay; kvr.erp is deleted.
TEST(QVADynKvrProjectedValues, ReadsRowsOfXAndDeletesTheFile) {
  QVADynTestScratchDirectory directory;
  WriteProjectedValues(3);
  std::vector<double> X(8, kUntouched);
  Project(2, 4, 0, X.data(), 1);
  EXPECT_EQ(X, (std::vector<double>{21.0, 31.0, kUntouched, kUntouched, 22.0, 32.0, kUntouched, kUntouched}));
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));

  // Second read finds no file and leaves X.
  Project(2, 4, 0, X.data(), 1);
  EXPECT_EQ(X[0], 21.0);
}

TEST(QVADynKvrProjectedValues, AllRecordsKeptReadsNothingAndStillDeletes) {
  QVADynTestScratchDirectory directory;
  WriteProjectedValues(2);
  std::vector<double> X(4, kUntouched);
  Project(2, 2, 0, X.data(), 2);
  EXPECT_TRUE(AllUntouched(X));
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));
}

TEST(QVADynKvrProjectedValues, DamagedFileOrBadArgumentsLeaveXAndTheFile) {
  QVADynTestScratchDirectory directory;
  std::vector<double> X(8, kUntouched);

  QVADynTestRecordFile absurd;
  absurd.Record().Int(2).Int(1000000);
  absurd.Record().Double(1.0).Double(2.0);
  absurd.WriteTo(kQVADynKvrProjectedValuesFile);
  QVADynTestError error = QVADynTestCatchError([&] { Project(2, 4, 0, X.data(), 0); });
  EXPECT_EQ(error.number, kQVABasFileError);
  EXPECT_EQ(error.message, "Scratch file \"kvr.erp\", record 1: header count P = 1000000 asks for "
                           "1000000 records of at least 24 bytes; 24 bytes follow the header");

  QVADynTestRecordFile negative;
  negative.Record().Int(-2).Int(0);
  negative.WriteTo(kQVADynKvrProjectedValuesFile);
  error = QVADynTestCatchError([&] { Project(2, 4, 0, X.data(), 0); });
  EXPECT_EQ(error.message, "Scratch file \"kvr.erp\", record 1: header count L = -2 is negative");

  QVADynTestRecordFile mismatch;
  mismatch.Record().Int(2).Int(2);
  mismatch.Record().Double(1.0).Double(2.0);
  mismatch.Raw(QVADynTestRecord().Int(16).Double(3.0).Double(4.0).Int(12).Bytes());
  mismatch.WriteTo(kQVADynKvrProjectedValuesFile);
  error = QVADynTestCatchError([&] { Project(2, 4, 0, X.data(), 0); });
  EXPECT_EQ(error.message, "Scratch file \"kvr.erp\", record 3: trailing byte count 12 differs from the "
                           "leading byte count 16");

  WriteProjectedValues(3);
  error = QVADynTestCatchError([&] { Project(2, 4, 0, X.data(), 4); });
  EXPECT_EQ(error.number, kQVABasInvalidArgument);
  EXPECT_EQ(error.message, "QVADYNACOUSTICPROJECTION code 2, scratch file \"kvr.erp\", record 2: kept 4 "
                           "outside 0 ... P = 3");
  error = QVADynTestCatchError([&] { Project(2, 2, 0, X.data(), 0); });
  EXPECT_EQ(error.message, "QVADYNACOUSTICPROJECTION code 2, scratch file \"kvr.erp\", record 2: 3 "
                           "records to read into rows of X, which has 2 rows");

  EXPECT_TRUE(AllUntouched(X));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));
  Project(2, 4, 0, X.data(), 0);  // the file was kept intact and reads now
  EXPECT_EQ(X[0], 11.0);
}
