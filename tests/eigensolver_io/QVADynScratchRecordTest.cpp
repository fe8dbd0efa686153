// Record framing of the scratch files: the writer's exact bytes, partial and
// skipped reads, and every kind of damaged file the reader must refuse.

#include <gtest/gtest.h>

#include <limits>

#include "eigensolver_io/impl/QVADynScratchRecordReader.h"
#include "eigensolver_io/impl/QVADynScratchRecordWriter.h"
#include "tests/eigensolver_io/QVADynScratchTestFiles.h"

namespace {

// Header (3, 7) and the vector 1, 2, 3: the worked example of the reader.
QVADynTestRecordFile ExampleFile() {
  QVADynTestRecordFile file;
  file.Record().Int(3).Int(7);
  file.Record().Double(1.0).Double(2.0).Double(3.0);
  return file;
}

}  // namespace

// The writer's bytes are checked against hand-assembled ones: little-endian
// counts, ints and doubles, the count repeated after the data. Create empties
// an existing file, so it holds exactly the records written; a file that
// cannot be created raises.
TEST(QVADynScratchRecordWriter, WritesFramedLittleEndianRecordsOverAnExistingFile) {
  QVADynTestScratchDirectory directory;
  QVADynScratchRecordWriter writer;
  QVADynExpectErrorContaining([&] { writer.Create("no-such-directory/kvr.ep"); }, kQVABasFileError,
                              "\"no-such-directory/kvr.ep\" cannot be created");
  QVADynTestRecordFile::WriteBytes("records", std::string(100, 'x'));  // longer than the records
  writer.Create("records");
  const int header[2] = {3, -7};
  writer.WriteRecordInts(header, 2);
  const int count = 2;
  const int rows[2] = {9, 10};
  const double values[2] = {0.5, -1.5};
  writer.BeginRecord();
  writer.WriteInts(&count, 1);
  writer.WriteInts(rows, 2);
  writer.WriteDoubles(values, 2);
  writer.EndRecord();
  writer.WriteRecordDoubles(nullptr, 0);
  writer.Close();

  const std::string expected =
      std::string("\x08\x00\x00\x00\x03\x00\x00\x00\xF9\xFF\xFF\xFF\x08\x00\x00\x00", 16) +
      std::string("\x1C\x00\x00\x00\x02\x00\x00\x00\x09\x00\x00\x00\x0A\x00\x00\x00", 16) +
      std::string("\x00\x00\x00\x00\x00\x00\xE0\x3F\x00\x00\x00\x00\x00\x00\xF8\xBF", 16) +
      std::string("\x1C\x00\x00\x00", 4) + std::string("\x00\x00\x00\x00\x00\x00\x00\x00", 8);
  EXPECT_EQ(QVADynTestReadBytes("records"), expected);
}

// Values round-trip bit for bit, including signed zero, subnormals and the
// extremes of both item types.
TEST(QVADynScratchRecordReader, ReadsWhatTheWriterWrote) {
  QVADynTestScratchDirectory directory;
  const double values[5] = {-0.0, std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max(), 1.0 / 3.0, -2.5e-300};
  const int ints[3] = {std::numeric_limits<int>::min(), 0, std::numeric_limits<int>::max()};
  QVADynScratchRecordWriter writer;
  writer.Create("records");
  writer.BeginRecord();
  writer.WriteInts(ints, 3);
  writer.WriteDoubles(values, 5);
  writer.EndRecord();
  writer.Close();

  QVADynScratchRecordReader reader;
  ASSERT_TRUE(reader.Open("records"));
  EXPECT_EQ(reader.BeginRecord(), 3 * 4 + 5 * 8);
  int readInts[3] = {};
  double readValues[5] = {};
  reader.ReadInts(readInts, 3);
  reader.ReadDoubles(readValues, 5);
  reader.EndRecord();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(readInts[i], ints[i]);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(std::bit_cast<std::uint64_t>(readValues[i]), std::bit_cast<std::uint64_t>(values[i]));
  EXPECT_EQ(reader.RemainingBytes(), 0);
}

// A record read in part is skipped to its end, by EndRecord or by the next
// BeginRecord; the next read starts at the next record, and record numbers
// count from 1.
TEST(QVADynScratchRecordReader, PartialReadsAndSkipsFollowTheRecords) {
  QVADynTestScratchDirectory directory;
  QVADynTestRecordFile file = ExampleFile();
  file.Record().Double(4.0).Double(5.0);
  file.Record().Double(6.0);
  file.Record().Double(7.0);
  file.WriteTo("records");

  QVADynScratchRecordReader reader;
  ASSERT_TRUE(reader.Open("records"));
  EXPECT_EQ(reader.FileName(), "records");
  int header[1] = {};
  reader.ReadRecordInts(header, 1);
  EXPECT_EQ(header[0], 3);
  EXPECT_EQ(reader.RecordNumber(), 2);

  reader.BeginRecord();
  reader.SkipDoubles(1);
  double second = 0.0;
  reader.ReadDoubles(&second, 1);
  EXPECT_EQ(reader.RemainingRecordBytes(), 8);
  EXPECT_EQ(second, 2.0);
  // Record 2 is still open: BeginRecord ends it and starts record 3.
  EXPECT_EQ(reader.BeginRecord(), 16);
  EXPECT_EQ(reader.RecordNumber(), 3);
  double fourth = 0.0;
  reader.ReadDoubles(&fourth, 1);
  EXPECT_EQ(fourth, 4.0);

  // Ends record 3, skips record 4.
  reader.SkipRecords(1);
  double last = 0.0;
  reader.ReadRecordDoubles(&last, 1);
  EXPECT_EQ(last, 7.0);
  EXPECT_EQ(reader.RecordNumber(), 6);
  EXPECT_EQ(reader.RemainingBytes(), 0);
}

TEST(QVADynScratchRecordReader, CloseKeepsAndCloseAndDeleteRemovesTheFile) {
  QVADynTestScratchDirectory directory;
  ExampleFile().WriteTo("records");
  QVADynScratchRecordReader reader;
  EXPECT_FALSE(reader.Open("missing"));
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_FALSE(reader.Open("."));  // a directory is not a scratch file

  ASSERT_TRUE(reader.Open("records"));
  reader.Close();
  EXPECT_TRUE(QVADynTestFileExists("records"));
  reader.CloseAndDelete();  // nothing open: nothing deleted
  EXPECT_TRUE(QVADynTestFileExists("records"));

  ASSERT_TRUE(reader.Open("records"));
  reader.CloseAndDelete();
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_FALSE(QVADynTestFileExists("records"));
}

// Each damaged file raises kQVABasFileError naming the file, the record and
// the counts involved.
struct DamagedFile {
  const char* description;
  std::string bytes;
  int headerIntsToRead;
  int valuesToRead;
  const char* expectedMessage;  // after "Scratch file \"kvr.ev\", record "
  bool valuesKept;              // raised before any value reached the buffer
};

class QVADynScratchRecordReaderDamage : public ::testing::TestWithParam<DamagedFile> {};

TEST_P(QVADynScratchRecordReaderDamage, RaisesWithFileAndRecord) {
  QVADynTestScratchDirectory directory;
  const DamagedFile& damaged = GetParam();
  QVADynTestRecordFile::WriteBytes("kvr.ev", damaged.bytes);
  QVADynScratchRecordReader reader;
  ASSERT_TRUE(reader.Open("kvr.ev"));
  std::vector<int> header(2);
  std::vector<double> values(8, -1.0);
  SCOPED_TRACE(damaged.description);
  QVADynExpectError(
      [&] {
        reader.ReadRecordInts(header.data(), damaged.headerIntsToRead);
        reader.ReadRecordDoubles(values.data(), damaged.valuesToRead);
      },
      kQVABasFileError, std::string("Scratch file \"kvr.ev\", record ") + damaged.expectedMessage);
  EXPECT_EQ(values == std::vector<double>(8, -1.0), damaged.valuesKept);
}

namespace {

std::string Header() { return QVADynTestRecordFile(ExampleFile()).Bytes().substr(0, 16); }
std::string Le(std::int32_t value) { return QVADynTestRecord().Int(value).Bytes(); }
std::string Values(int count) {
  QVADynTestRecord record;
  for (int i = 0; i < count; ++i) record.Double(i);
  return record.Bytes();
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    DamagedFiles, QVADynScratchRecordReaderDamage,
    ::testing::Values(
        DamagedFile{"cut inside the leading count", Header() + Le(24).substr(0, 3), 2, 1,
                    "2: the file ends inside the leading byte count (3 bytes left)", true},
        DamagedFile{"trailing count differs", Header() + Le(24) + Values(3) + Le(16), 2, 1,
                    "2: trailing byte count 16 differs from the leading byte count 24", false},
        DamagedFile{
            "negative count", Header() + Le(-24) + Values(3) + Le(-24), 2, 1,
            "2: negative byte count -24 (records split into pieces of 2 GB and more are not read)",
            true},
        DamagedFile{
            "count beyond the file", Header() + Le(0x7FFFFFFF) + Values(3), 2, 1,
            "2: byte count 2147483647 and the trailing count exceed the 24 bytes left in the file",
            true},
        DamagedFile{
            "count fits the file exactly, no trailing count", Header() + Le(24) + Values(3), 2, 1,
            "2: byte count 24 and the trailing count exceed the 24 bytes left in the file", true},
        DamagedFile{"header shorter than asked", Le(4) + Le(3) + Le(4), 2, 0,
                    "1: holds 4 bytes; 2 items of 4 bytes asked for from byte 0", true}),
    [](const ::testing::TestParamInfo<DamagedFile>& param) {
      return "Case" + std::to_string(param.index);
    });
