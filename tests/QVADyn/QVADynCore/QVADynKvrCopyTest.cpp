// Copies of mode shapes and projected damping from scratch files written byte by byte: where
// values land, which files are deleted, and damaged files or wrong arguments, which raise with
// file and record named and leave target and file as they were. Values are exact.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "QVADyn/QVADynCore/QVADynKvrCopy.h"
#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "eigensolver_io/QVADynKvrRoutines.h"
#include "eigensolver_io/impl/QVADynKvrScratchFiles.h"
#include "tests/QVADyn/QVADynCore/QVADynTestFilledMatrix.h"
#include "tests/eigensolver_io/QVADynScratchTestFiles.h"

namespace {

// A target of rows x columns in blocks of 2 rows and `columnChunk` columns.
QVADynTestFilledMatrix Target(int rows, int columns, int columnChunk) {
  return QVADynTestFilledMatrix(rows, columns, 2, columnChunk);
}

// Value of row `row` of vector `vector` (both 1-based) of kvr.ev; kvr_ac.ev
// holds the negatives.
double StructuralValue(int vector, int row) { return 100.0 * vector + row; }
double AcousticValue(int vector, int row) { return -StructuralValue(vector, row); }

// A mode-shape file with header [valuesPerVector, 9] and `vectors` records of
// `valuesPerVector + extra` values.
QVADynTestRecordFile ModeFile(int valuesPerVector, int vectors, int extra,
                              double (*value)(int, int)) {
  return QVADynTestModeFile(valuesPerVector, 9, vectors, extra, value);
}

// A square damping matrix of order `order`, entries QVADynTestMatrixValue.
QVADynTestRecordFile DampingFile(int order) { return QVADynTestSquareFile(order, order); }
double DampingValue(int row, int column) { return QVADynTestMatrixValue(row, column); }

// A record whose trailing byte count differs from its leading one.
std::string RecordWithWrongTrailingCount(int values) {
  QVADynTestRecord data;
  for (int value = 0; value < values; ++value) data.Double(1.5);
  const std::int32_t count = static_cast<std::int32_t>(data.Bytes().size());
  return QVADynTestRecord().Int(count).Bytes() + data.Bytes() +
         QVADynTestRecord().Int(count + 8).Bytes();
}

// Raises unless `fileName` is closed in QVADYNREADKVREIG: its read code must
// refuse to continue a file that a failed copy left behind.
void ExpectClosed(int readCode, const char* fileName) {
  const QVADynTestError error = QVADynTestCatchError([readCode] {
    int code = readCode, a2 = 1, a3 = 0, a5 = 1, a6 = 1;
    double value = 0.0;
    QVADYNREADKVREIG(&code, &a2, &a3, &value, &a5, &a6);
  });
  EXPECT_NE(error.message.find("is not open"), std::string::npos)
      << fileName << ": " << error.message;
}

class QVADynKvrCopyTest : public ::testing::Test {
 protected:
  QVADynTestScratchDirectory directory_;
};

TEST_F(QVADynKvrCopyTest, ModesGoToTheirRowsAndColumnsAndBothFilesAreDeleted) {
  // 4 structural rows, 2 acoustic rows and one row that no file fills; 4
  // structural and 3 acoustic mode columns in blocks of 3 columns. The records
  // are longer than R: only the first R values count.
  ModeFile(4, 3 + 4 + 1, 2, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
  ModeFile(2, 1 + 3, 1, AcousticValue).WriteTo(kQVADynKvrAcousticModesFile);
  QVADynTestFilledMatrix target = Target(7, 7, 3);

  QVADynCopyModesFromKvrDb(target.Matrix(), 3, 1, 3, true);

  for (int column = 0; column < 4; ++column) {
    // skipStructural 3: column 0 holds the fourth vector.
    for (int row = 0; row < 4; ++row) {
      EXPECT_EQ(target(row, column), StructuralValue(column + 4, row + 1)) << row << ", " << column;
    }
    for (int row = 4; row < 7; ++row) EXPECT_EQ(target(row, column), kQVADynTestUntouched);
  }
  for (int column = 4; column < 7; ++column) {
    for (int row = 0; row < 4; ++row) EXPECT_EQ(target(row, column), kQVADynTestUntouched);
    // skipAcoustic 1: column 4 holds the second acoustic vector.
    for (int row = 4; row < 6; ++row) {
      EXPECT_EQ(target(row, column), AcousticValue(column - 2, row - 3)) << row << ", " << column;
    }
    EXPECT_EQ(target(6, column), kQVADynTestUntouched);
  }
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrStructuralModesFile));
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));
  ExpectClosed(21, kQVADynKvrStructuralModesFile);
  ExpectClosed(62, kQVADynKvrAcousticModesFile);
}

TEST_F(QVADynKvrCopyTest, WithoutAcousticModesTheAcousticFileIsNotTouched) {
  ModeFile(3, 2, 0, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
  // Not even a valid file: it must not be opened at all.
  const std::string acousticBytes = "not a record file";
  QVADynTestRecordFile::WriteBytes(kQVADynKvrAcousticModesFile, acousticBytes);
  QVADynTestFilledMatrix target = Target(3, 2, 5);

  QVADynCopyModesFromKvrDb(target.Matrix(), 0, 0, 0, false);

  for (int column = 0; column < 2; ++column) {
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(target(row, column), StructuralValue(column + 1, row + 1));
    }
  }
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrStructuralModesFile));
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrAcousticModesFile), acousticBytes);
}

TEST_F(QVADynKvrCopyTest, OnlyAcousticModesStillReadTheStructuralRowCount) {
  // No structural columns: kvr.ev gives no vector, but its R places the
  // acoustic rows after the structural ones.
  ModeFile(2, 0, 0, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
  ModeFile(1, 2, 0, AcousticValue).WriteTo(kQVADynKvrAcousticModesFile);
  QVADynTestFilledMatrix target = Target(3, 2, 1);

  QVADynCopyModesFromKvrDb(target.Matrix(), 0, 0, 2, false);

  EXPECT_EQ(target(2, 0), AcousticValue(1, 1));
  EXPECT_EQ(target(2, 1), AcousticValue(2, 1));
  EXPECT_EQ(target(0, 0), kQVADynTestUntouched);
  EXPECT_EQ(target(1, 1), kQVADynTestUntouched);
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrStructuralModesFile));
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrAcousticModesFile));
}

TEST_F(QVADynKvrCopyTest, ASecondCopyFindsNoFileAndKeepsTheFirstCopy) {
  ModeFile(2, 2, 0, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
  QVADynTestFilledMatrix target = Target(2, 2, 2);
  QVADynCopyModesFromKvrDb(target.Matrix(), 0, 0, 0, false);

  QVADynExpectErrorContaining([&] { QVADynCopyModesFromKvrDb(target.Matrix(), 0, 0, 0, false); },
                              kQVABasFileError,
                              "Scratch file \"kvr.ev\", record 1: the file is missing");
  EXPECT_EQ(target(1, 1), StructuralValue(2, 2));
}

// One damaged or ill-fitting set of mode-shape files.
struct BadModeCase {
  const char* name;
  std::function<void()> writeFiles;
  int acousticModes;
  int number;
  const char* fileName;
  const char* expectedText;  // "record N: ..." part of the message
};

class QVADynKvrCopyBadModes : public ::testing::TestWithParam<BadModeCase> {
 protected:
  QVADynTestScratchDirectory directory_;
};

// The target is 5 x 4 with the last `acousticModes` columns acoustic.
TEST_P(QVADynKvrCopyBadModes, RaisesNamingFileAndRecordAndChangesNothing) {
  const BadModeCase& badCase = GetParam();
  badCase.writeFiles();
  const std::string structuralBefore = QVADynTestReadBytes(kQVADynKvrStructuralModesFile);
  const std::string acousticBefore = QVADynTestReadBytes(kQVADynKvrAcousticModesFile);
  QVADynTestFilledMatrix target = Target(5, 4, 2);

  const std::string where = badCase.number == kQVABasFileError
                                ? "Scratch file \"" + std::string(badCase.fileName) + "\", "
                                : "";
  QVADynExpectErrorContaining(
      [&] { QVADynCopyModesFromKvrDb(target.Matrix(), 1, 0, badCase.acousticModes, false); },
      badCase.number, where + badCase.expectedText);
  EXPECT_TRUE(target.AllUntouched());
  // Both files are kept as they were, and neither is left open.
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrStructuralModesFile), structuralBefore);
  EXPECT_EQ(QVADynTestReadBytes(kQVADynKvrAcousticModesFile), acousticBefore);
  ExpectClosed(21, kQVADynKvrStructuralModesFile);
  ExpectClosed(62, kQVADynKvrAcousticModesFile);
}

// Good files for the 5 x 4 target: kvr.ev of R = 3 with 1 + 4 vectors,
// kvr_ac.ev of R = 2 with 2 vectors.
void WriteGoodStructural() {
  ModeFile(3, 5, 0, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
}
void WriteGoodAcoustic() { ModeFile(2, 2, 0, AcousticValue).WriteTo(kQVADynKvrAcousticModesFile); }

QVADynTestRecordFile StructuralWithShortFourthRecord() {
  QVADynTestRecordFile file;
  file.Record().Int(3).Int(0);
  file.Record().Doubles({1, 2, 3});
  file.Record().Doubles({1, 2, 3});
  file.Record().Doubles({1, 2});  // vector 3 = record 4: one value short
  file.Record().Doubles({1, 2, 3});
  file.Record().Doubles({1, 2, 3});
  return file;
}

const BadModeCase kBadModeCases[] = {
    {"MissingStructuralFile", [] { WriteGoodAcoustic(); }, 2, kQVABasFileError,
     kQVADynKvrStructuralModesFile, "record 1: the file is missing"},
    {"ShortVectorRecord",
     [] {
       StructuralWithShortFourthRecord().WriteTo(kQVADynKvrStructuralModesFile);
       WriteGoodAcoustic();
     },
     2, kQVABasFileError, kQVADynKvrStructuralModesFile,
     "record 4: holds 16 bytes; 3 values of 8 bytes needed"},
    {"TruncatedFile",
     [] {
       const std::string bytes = ModeFile(3, 5, 0, StructuralValue).Bytes();
       QVADynTestRecordFile::WriteBytes(kQVADynKvrStructuralModesFile,
                                        bytes.substr(0, bytes.size() - 12));
     },
     0, kQVABasFileError, kQVADynKvrStructuralModesFile, "record 6: byte count 24"},
    {"WrongTrailingCount",
     [] {
       QVADynTestRecordFile file = ModeFile(3, 2, 0, StructuralValue);
       file.Raw(RecordWithWrongTrailingCount(3));
       file.Raw(ModeFile(3, 2, 0, StructuralValue).Bytes().substr(16));
       file.WriteTo(kQVADynKvrStructuralModesFile);
     },
     0, kQVABasFileError, kQVADynKvrStructuralModesFile,
     "record 4: trailing byte count 32 differs from the leading byte count 24"},
    {"AbsurdHeaderCount",
     [] {
       ModeFile(0, 5, 3, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
       QVADynTestRecordFile header;
       header.Record().Int(std::numeric_limits<std::int32_t>::max()).Int(0);
       const std::string rest = QVADynTestReadBytes(kQVADynKvrStructuralModesFile).substr(16);
       QVADynTestRecordFile::WriteBytes(kQVADynKvrStructuralModesFile, header.Bytes() + rest);
     },
     0, kQVABasFileError, kQVADynKvrStructuralModesFile,
     "record 1: header count R = 2147483647 (values per vector) outside 0 ... 5"},
    {"AcousticRowsBeyondTheTarget",
     [] {
       WriteGoodStructural();
       ModeFile(3, 2, 0, AcousticValue).WriteTo(kQVADynKvrAcousticModesFile);
     },
     2, kQVABasFileError, kQVADynKvrAcousticModesFile,
     "record 1: header count R = 3 (values per vector) outside 0 ... 2, the rows of the "
     "mode-shape matrix after the 3 structural rows"},
    {"TooManyAcousticModes", [] { WriteGoodStructural(); }, 5, kQVABasInvalidArgument, "",
     "5 acoustic modes outside 0 ... 4"},
};

INSTANTIATE_TEST_SUITE_P(Files, QVADynKvrCopyBadModes, ::testing::ValuesIn(kBadModeCases),
                         [](const ::testing::TestParamInfo<BadModeCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(QVADynKvrCopyTest, ACopyAfterAFailedOneReadsTheRepairedFileFromItsStart) {
  StructuralWithShortFourthRecord().WriteTo(kQVADynKvrStructuralModesFile);
  QVADynTestFilledMatrix target = Target(3, 4, 2);
  EXPECT_EQ(QVADynTestCatchError([&] {
              QVADynCopyModesFromKvrDb(target.Matrix(), 0, 0, 0, false);
            }).number,
            kQVABasFileError);

  EXPECT_TRUE(target.AllUntouched());

  ModeFile(3, 4, 0, StructuralValue).WriteTo(kQVADynKvrStructuralModesFile);
  QVADynCopyModesFromKvrDb(target.Matrix(), 0, 0, 0, false);
  EXPECT_EQ(target(0, 0), StructuralValue(1, 1));
  EXPECT_EQ(target(2, 3), StructuralValue(4, 3));
}

// The three projected damping files and their read codes.
struct DampingKind {
  QVADynDampingType kind;
  const char* fileName;
  int readCode;
};

const DampingKind kDampingKinds[] = {
    {QVADynViscousDamping, kQVADynKvrViscousDampingFile, 31},
    {QVADynStructuralDamping, kQVADynKvrStructuralDampingFile, 41},
    {QVADynAcousticViscousDamping, kQVADynKvrAcousticViscousDampingFile, 71},
};

class QVADynKvrCopyDamping : public ::testing::TestWithParam<DampingKind> {
 protected:
  QVADynTestScratchDirectory directory_;
};

// Offset 2 takes rows and columns 3 ... 5 into rows 0 ... 2 of a 4 x 3
// target (row 3 kept) and deletes only its file; offset 0 takes a whole matrix.
TEST_P(QVADynKvrCopyDamping, TheBlockAtTheOffsetIsCopiedAndOnlyItsFileDeleted) {
  for (const DampingKind& other : kDampingKinds) DampingFile(6).WriteTo(other.fileName);
  QVADynTestFilledMatrix target = Target(4, 3, 2);
  QVADynCopyModalDampFromKvrDb(GetParam().kind, target.Matrix(), 2);
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 3; ++row) {
      EXPECT_EQ(target(row, column), DampingValue(row + 3, column + 3)) << row << ", " << column;
    }
    EXPECT_EQ(target(3, column), kQVADynTestUntouched);
  }
  for (const DampingKind& other : kDampingKinds) {
    EXPECT_EQ(QVADynTestFileExists(other.fileName), other.kind != GetParam().kind)
        << other.fileName;
  }
  ExpectClosed(GetParam().readCode, GetParam().fileName);

  DampingFile(3).WriteTo(GetParam().fileName);
  QVADynTestFilledMatrix whole = Target(3, 3, 3);
  QVADynCopyModalDampFromKvrDb(GetParam().kind, whole.Matrix(), 0);
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 3; ++row)
      EXPECT_EQ(whole(row, column), DampingValue(row + 1, column + 1));
  }
  EXPECT_FALSE(QVADynTestFileExists(GetParam().fileName));
}

// One damaged damping file or ill-fitting argument, for a 3 x 3 target at offset 2.
struct BadDampingCase {
  const char* name;
  std::function<void(const char*)> writeFile;
  int rows;
  int offset;
  int number;
  const char* expectedText;
};

const BadDampingCase kBadDampingCases[] = {
    {"NegativeOffset", [](const char* fileName) { DampingFile(5).WriteTo(fileName); }, 3, -1,
     kQVABasInvalidArgument, "offset -1 is negative"},
    {"FewerRowsThanColumns", [](const char* fileName) { DampingFile(5).WriteTo(fileName); }, 2, 2,
     kQVABasInvalidArgument, "has 2 rows, fewer than its 3 columns"},
};

class QVADynKvrCopyBadDamping
    : public ::testing::TestWithParam<std::tuple<DampingKind, BadDampingCase>> {
 protected:
  QVADynTestScratchDirectory directory_;
};

TEST_P(QVADynKvrCopyBadDamping, RaisesNamingFileAndRecordAndChangesNothing) {
  const DampingKind& kind = std::get<0>(GetParam());
  const BadDampingCase& badCase = std::get<1>(GetParam());
  badCase.writeFile(kind.fileName);
  const bool existed = QVADynTestFileExists(kind.fileName);
  const std::string before = QVADynTestReadBytes(kind.fileName);
  QVADynTestFilledMatrix target = Target(badCase.rows, 3, 2);

  const std::string where = badCase.number == kQVABasFileError
                                ? "Scratch file \"" + std::string(kind.fileName) + "\", "
                                : "";
  QVADynExpectErrorContaining(
      [&] { QVADynCopyModalDampFromKvrDb(kind.kind, target.Matrix(), badCase.offset); },
      badCase.number, where + badCase.expectedText);
  EXPECT_TRUE(target.AllUntouched());
  EXPECT_EQ(QVADynTestFileExists(kind.fileName), existed);
  EXPECT_EQ(QVADynTestReadBytes(kind.fileName), before);
  ExpectClosed(kind.readCode, kind.fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Files, QVADynKvrCopyBadDamping,
    ::testing::Combine(::testing::ValuesIn(kDampingKinds), ::testing::ValuesIn(kBadDampingCases)),
    [](const ::testing::TestParamInfo<std::tuple<DampingKind, BadDampingCase>>& param) {
      return "Code" + std::to_string(std::get<0>(param.param).readCode) +
             std::get<1>(param.param).name;
    });

INSTANTIATE_TEST_SUITE_P(Kinds, QVADynKvrCopyDamping, ::testing::ValuesIn(kDampingKinds),
                         [](const ::testing::TestParamInfo<DampingKind>& param) {
                           return "Code" + std::to_string(param.param.readCode);
                         });

TEST_F(QVADynKvrCopyTest, OtherDampingKindsAreRefusedWithoutTouchingAnyFile) {
  for (const DampingKind& kind : kDampingKinds) DampingFile(3).WriteTo(kind.fileName);
  QVADynTestFilledMatrix target = Target(3, 3, 3);
  for (const int kind : {3, 4, -1}) {
    try {
      QVADynCopyModalDampFromKvrDb(static_cast<QVADynDampingType>(kind), target.Matrix(), 0);
      ADD_FAILURE() << "kind " << kind << " was accepted";
    } catch (const QVADynUnsupportedDamping& error) {
      EXPECT_EQ(error.ErrorNumber(), 223);
      EXPECT_STREQ(error.what(), "Unsupported damping type requested");
    }
  }
  EXPECT_TRUE(target.AllUntouched());
  for (const DampingKind& kind : kDampingKinds) EXPECT_TRUE(QVADynTestFileExists(kind.fileName));
}

}  // namespace
