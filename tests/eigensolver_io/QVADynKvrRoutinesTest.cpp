// The call-by-address routines over scratch files written byte by byte: every code of
// QVADYNREADKVREIG and QVADYNACOUSTICPROJECTION. Values are exact, so comparisons are exact.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eigensolver_io/QVADynKvrRoutines.h"
#include "eigensolver_io/impl/QVADynKvrScratchFiles.h"
#include "internal/QVANumerics.h"
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

// Value of row `row` of mode `mode` (both 1-based) in the mode-shape files.
double ModeValue(int mode, int row) { return 100.0 * mode + row; }

// A mode-shape file of `modes` vectors; each record holds R + 1 values, the
// last one not part of the mode.
void WriteModes(const char* fileName, int rows, int second, int modes) {
  QVADynTestModeFile(rows, second, modes, 1, ModeValue).WriteTo(fileName);
}

double MatrixValue(int row, int column) { return QVADynTestMatrixValue(row, column); }
void WriteMatrix(const char* fileName, int order) {
  QVADynTestSquareFile(order, 42).WriteTo(fileName);
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

class QVADynKvrVectorFile : public ::testing::TestWithParam<FileCodes> {
 protected:
  // Writes header [count, 0] and one record of `values`, then opens it.
  void WriteAndOpen(int count, const std::vector<double>& values, const std::string& raw = "") {
    QVADynTestRecordFile file;
    file.Record().Int(count).Int(0);
    file.Record().Doubles(values);
    file.Raw(raw);
    file.WriteTo(GetParam().fileName);
    ReadKvr(GetParam().open, &a2_, &a3_, nullptr);
  }
  QVADynTestScratchDirectory directory_;
  int a2_ = 11;
  int a3_ = 0;
};

// Open reports n, read takes n values of a longer record, deletes the file; a
// second open finds no file. A negative count reads nothing and still deletes.
TEST_P(QVADynKvrVectorFile, ReadsTheVectorAndDeletesTheFile) {
  const FileCodes codes = GetParam();
  std::vector<double> values(5, kUntouched);
  WriteAndOpen(4, {0.5, 1.5, 2.5, 3.5, 4.5});
  EXPECT_EQ(a3_, 4);
  EXPECT_EQ(a2_, 11);
  ReadKvr(codes.read, &a2_, &a3_, values.data());
  EXPECT_EQ(values, (std::vector<double>{0.5, 1.5, 2.5, 3.5, kUntouched}));
  EXPECT_FALSE(QVADynTestFileExists(codes.fileName));
  ReadKvr(codes.open, &a2_, &a3_, values.data());
  EXPECT_EQ(a3_, -1);

  std::fill(values.begin(), values.end(), kUntouched);
  WriteAndOpen(2, {0.5, 1.5});
  a3_ = -5;
  ReadKvr(codes.read, &a2_, &a3_, values.data());
  EXPECT_TRUE(AllUntouched(values));
  EXPECT_FALSE(QVADynTestFileExists(codes.fileName));
}

INSTANTIATE_TEST_SUITE_P(Codes, QVADynKvrVectorFile,
                         ::testing::Values(FileCodes{10, 11, 0, kQVADynKvrStructuralVectorFile},
                                           FileCodes{50, 51, 0, kQVADynKvrAcousticVectorFile}),
                         CodeName);

// ---------------------------------------------------------------- mode shapes

// Header to *a2 and *a3; skips by reading one value per record; blocks of
// columns of length R from records longer than R; close and delete; a second
// open finds no file. An open code on an open file restarts it.
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
  ReadKvr(20, &rows, &second, nullptr);  // restart: the next block is modes 1, 2 again
  ReadKvr(21, &one, &second, skipped.data(), 1, 2);
  EXPECT_EQ(skipped, (std::vector<double>{ModeValue(1, 1), ModeValue(2, 1)}));

  std::vector<double> modes(7, kUntouched);
  ReadKvr(21, &rows, &second, modes.data(), 3, 4);
  EXPECT_EQ(modes,
            (std::vector<double>{ModeValue(3, 1), ModeValue(3, 2), ModeValue(3, 3), ModeValue(4, 1),
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
  EXPECT_EQ(QVADynTestCatchError([&] { ReadKvr(21, &rows, &second, modes.data(), 1, 1); }).number,
            kQVABasFileError);
  EXPECT_EQ(modes[0], ModeValue(5, 1));
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
  EXPECT_EQ(modes, (std::vector<double>{ModeValue(1, 1), ModeValue(1, 2), ModeValue(2, 1),
                                        ModeValue(2, 2)}));
  ReadKvr(-63, &rows, &second, nullptr);
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));

  ReadKvr(60, &rows, &second, nullptr);
  ReadKvr(62, &rows, &second, modes.data(), 7, 7);
  EXPECT_EQ(modes[0], ModeValue(1, 1));
  ReadKvr(-60, &rows, &second, nullptr);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));
}

// Requests beyond the file and impossible arguments raise before anything reaches the caller.
TEST(QVADynKvrStructuralModes, ImpossibleRequestsRaiseAndStoreNothing) {
  QVADynTestScratchDirectory directory;
  int rows = 0;
  int second = 0;
  std::vector<double> modes(6, kUntouched);
  // More vectors asked for than the file holds: refused before any buffer is
  // sized from the request.
  WriteModes(kQVADynKvrStructuralModesFile, 2, 0, 2);
  ReadKvr(20, &rows, &second, nullptr);
  QVADynExpectError(
      [&] { ReadKvr(21, &rows, &second, modes.data(), 1, 2000000000); }, kQVABasFileError,
      "Scratch file \"kvr.ev\", record 2: 2000000000 records of at least 24 bytes asked for; 64 "
      "bytes left in the file");
  EXPECT_TRUE(AllUntouched(modes));
  int negative = -1;
  ReadKvr(20, &rows, &second, nullptr);
  QVADynExpectError(
      [&] { ReadKvr(21, &negative, &second, modes.data(), 1, 1); }, kQVABasInvalidArgument,
      "QVADYNREADKVREIG code 21, scratch file \"kvr.ev\", record 2: column length -1 is negative");
  ReadKvr(-20, &rows, &second, nullptr);
}

// ---------------------------------------------------------------- damping

class QVADynKvrDampingFile : public ::testing::TestWithParam<FileCodes> {
 protected:
  void WriteAndOpen(int order) {
    WriteMatrix(GetParam().fileName, order);
    ReadKvr(GetParam().open, &a2_, &a3_, nullptr);
  }
  void Read(double* block, int first, int last) {
    ReadKvr(GetParam().read, &a2_, &a3_, block, first, last);
  }
  QVADynTestScratchDirectory directory_;
  int a2_ = 0;
  int a3_ = 0;
};

// The diagonal block 3 ... 5 of a stored 5 x 5 matrix, then close and delete;
// a second open raises because the file is gone.
TEST_P(QVADynKvrDampingFile, ReadsTheDiagonalBlockAndDeletesTheFile) {
  const FileCodes codes = GetParam();
  WriteAndOpen(5);
  EXPECT_EQ(a2_, 5);
  EXPECT_EQ(a3_, 42);
  std::vector<double> block(10, kUntouched);
  Read(block.data(), 3, 5);
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(block[QVAIndex(row + 3 * column)], MatrixValue(3 + row, 3 + column));
    }
  }
  EXPECT_EQ(block[9], kUntouched);
  ReadKvr(codes.close, &a2_, &a3_, nullptr);
  EXPECT_FALSE(QVADynTestFileExists(codes.fileName));
  QVADynExpectError([&] { ReadKvr(codes.open, &a2_, &a3_, nullptr); }, kQVABasFileError,
                    "Scratch file \"" + std::string(codes.fileName) +
                        "\", record 1: the file is missing or cannot be opened for reading");
}

// A second read goes on after the records of the first: block 1 ... 2 takes
// columns 1, 2; then the block 2 ... 2 skips column 3 and takes entry (2, 4).
TEST_P(QVADynKvrDampingFile, LaterReadsContinueWhereTheLastStopped) {
  WriteAndOpen(5);
  std::vector<double> block(4, kUntouched);
  Read(block.data(), 1, 2);
  EXPECT_EQ(block, (std::vector<double>{MatrixValue(1, 1), MatrixValue(2, 1), MatrixValue(1, 2),
                                        MatrixValue(2, 2)}));
  double entry = kUntouched;
  Read(&entry, 2, 2);
  EXPECT_EQ(entry, MatrixValue(2, 4));
  ReadKvr(GetParam().close, &a2_, &a3_, nullptr);
}

// A block starting before row 1 is refused and the block left alone.
TEST_P(QVADynKvrDampingFile, BadBlockRaises) {
  const FileCodes codes = GetParam();
  const std::string named = "\"" + std::string(codes.fileName) + "\", record ";
  std::vector<double> block(9, kUntouched);
  WriteAndOpen(3);
  QVADynExpectError([&] { Read(block.data(), 0, 2); }, kQVABasInvalidArgument,
                    "QVADYNREADKVREIG code " + std::to_string(codes.read) + ", scratch file " +
                        named + "2: first row and column 0 of the block is below 1");
  EXPECT_TRUE(AllUntouched(block));
  EXPECT_TRUE(QVADynTestFileExists(codes.fileName));
}

INSTANTIATE_TEST_SUITE_P(Codes, QVADynKvrDampingFile,
                         ::testing::Values(FileCodes{30, 31, -30, kQVADynKvrViscousDampingFile},
                                           FileCodes{40, 41, -40, kQVADynKvrStructuralDampingFile},
                                           FileCodes{70, 71, -70,
                                                     kQVADynKvrAcousticViscousDampingFile}),
                         CodeName);

// ---------------------------------------------------------------- other codes

// Codes outside the table touch neither the arguments nor the files, and open
// nothing: a read code still finds kvr.ev closed.
TEST(QVADynKvrReadCodes, UnknownCodesDoNothing) {
  QVADynTestScratchDirectory directory;
  WriteModes(kQVADynKvrStructuralModesFile, 2, 0, 1);
  WriteModes(kQVADynKvrAcousticModesFile, 2, 0, 1);
  WriteMatrix(kQVADynKvrViscousDampingFile, 2);
  const std::string modesBytes = QVADynTestReadBytes(kQVADynKvrStructuralModesFile);
  int a2 = 5;
  int a3 = 6;
  double value = kUntouched;
  for (const int code : {0, 1, 12, 22, -21, 32, 61, 63, -62, -10, -50, 80, 2147483647}) {
    ReadKvr(code, &a2, &a3, &value, 1, 1);
    EXPECT_TRUE(a2 == 5 && a3 == 6 && value == kUntouched) << code;
  }
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrStructuralModesFile), modesBytes);
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrViscousDampingFile));
  a2 = 1;
  EXPECT_EQ(QVADynTestCatchError([&] { ReadKvr(21, &a2, &a3, &value, 1, 1); }).number,
            kQVABasFileError);
}

// ---------------------------------------------------------------- projection, code 1

// Kept 0 puts the new vectors first, over rows 8, 9, 10 of H = 10, and
// leaves kvr.ep_ac and X; kept = V puts them last, kept 1 between the two
// single entries. An existing, longer kvr.ep is replaced whole; no new
// vectors give a copy of kvr.ep_ac.
TEST(QVADynKvrProjection, KeptPlacesTheNewVectorsAndReplacesTheFile) {
  QVADynTestScratchDirectory directory;
  WriteEigensolverProjection();
  const std::string eigensolverBytes = QVADynTestReadBytes(kQVADynKvrEigensolverProjectionFile);
  QVADynTestRecordFile::WriteBytes(kQVADynKvrProjectionFile, std::string(1000, 'x'));
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

  Project(1, 3, 1, X.data(), 2);
  records = QVADynTestParseRecords(kQVADynKvrProjectionFile);
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

  Project(1, 3, 0, nullptr, 0);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile), eigensolverBytes);
}

TEST(QVADynKvrProjection, MissingEigensolverFileWritesNothing) {
  QVADynTestScratchDirectory directory;
  double X[3] = {1.0, 2.0, 3.0};
  Project(1, 3, 1, X, 0);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectionFile));
  QVADynTestRecordFile::WriteBytes(kQVADynKvrProjectionFile, "old");
  for (const int code : {1, 0, 3, -1}) Project(code, 3, 1, X, 0);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile), "old");
}

// A damaged kvr.ep_ac or impossible arguments raise before kvr.ep is touched.
TEST(QVADynKvrProjection, DamagedInputOrBadArgumentsLeaveTheOldFile) {
  QVADynTestScratchDirectory directory;
  QVADynTestRecordFile::WriteBytes(kQVADynKvrProjectionFile, "old");
  std::vector<double> X = {1.0, 2.0, 3.0};
  const auto project = [&](int rows, int vectors, int kept) {
    return [&X, rows, vectors, kept] { Project(1, rows, vectors, X.data(), kept); };
  };
  const std::string file = "Scratch file \"kvr.ep_ac\", record ";

  QVADynTestRecordFile twoEntries;
  twoEntries.Record().Int(10).Int(2);
  twoEntries.Record().Int(1).Int(4).Double(2.5);
  twoEntries.Record().Int(2).Int(7).Int(8).Double(-1.0).Double(1.0);
  twoEntries.WriteTo(kQVADynKvrEigensolverProjectionFile);
  QVADynExpectError(project(3, 1, 0), kQVABasFileError,
                    file + "3: entry count 2 where 1 is expected");

  QVADynTestRecordFile badRow;
  badRow.Record().Int(10).Int(1);
  badRow.Record().Int(1).Int(11).Double(2.5);
  badRow.WriteTo(kQVADynKvrEigensolverProjectionFile);
  QVADynExpectError(project(3, 1, 0), kQVABasFileError, file + "2: row 11 outside 1 ... H = 10");

  WriteEigensolverProjection();
  const std::string call =
      "QVADYNACOUSTICPROJECTION code 1, scratch file \"kvr.ep_ac\", record 2: ";
  QVADynExpectError(project(11, 1, 0), kQVABasInvalidArgument,
                    call + "rows 11 outside 0 ... H = 10");
  QVADynExpectError(project(3, 1, 3), kQVABasInvalidArgument, call + "kept 3 outside 0 ... V = 2");
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrProjectionFile), "old");
}

// ---------------------------------------------------------------- projection, code 2

// Skips kept records and stores record kept + 1 + j in row j of X (leading
// dimension 3); rows beyond the records read stay; kvr.erp is deleted, and a
// second read finds no file and leaves X. All records kept reads nothing and
// still deletes.
TEST(QVADynKvrProjectedValues, ReadsRowsOfXAndDeletesTheFile) {
  QVADynTestScratchDirectory directory;
  WriteProjectedValues(3);
  std::vector<double> X(8, kUntouched);
  Project(2, 4, 0, X.data(), 1);
  EXPECT_EQ(X, (std::vector<double>{21.0, 31.0, kUntouched, kUntouched, 22.0, 32.0, kUntouched,
                                    kUntouched}));
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));
  Project(2, 4, 0, X.data(), 1);
  EXPECT_EQ(X[0], 21.0);

  WriteProjectedValues(2);
  std::vector<double> untouched(4, kUntouched);
  Project(2, 2, 0, untouched.data(), 2);
  EXPECT_TRUE(AllUntouched(untouched));
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));
}

TEST(QVADynKvrProjectedValues, BadArgumentsLeaveXAndTheFile) {
  QVADynTestScratchDirectory directory;
  std::vector<double> X(8, kUntouched);
  const auto project = [&](int rows, int kept) {
    return [&X, rows, kept] { Project(2, rows, 0, X.data(), kept); };
  };
  WriteProjectedValues(3);
  const std::string call = "QVADYNACOUSTICPROJECTION code 2, scratch file \"kvr.erp\", record 2: ";
  QVADynExpectError(project(4, 4), kQVABasInvalidArgument, call + "kept 4 outside 0 ... P = 3");
  QVADynExpectError(project(2, 0), kQVABasInvalidArgument,
                    call + "3 records to read into rows of X, which has 2 rows");

  EXPECT_TRUE(AllUntouched(X));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));
  Project(2, 4, 0, X.data(), 0);  // the file was kept intact and reads now
  EXPECT_EQ(X[0], 11.0);
}
