#pragma once

// Test support for the scratch files: a byte-level builder and parser of
// record files written independently of the production reader and writer
// (explicit little-endian shifts), a temporary working directory, and the
// capture of a raised QVABasError.
//
//   QVADynTestScratchDirectory directory;            // cwd is a fresh directory
//   QVADynTestRecordFile file;
//   file.Record().Int(3).Int(0);                     // header [3, 0]
//   file.Record().Double(0.5).Double(1.5).Double(2.5);
//   file.WriteTo("kvr.ev");
//   const QVADynTestError error = QVADynTestCatchError([] { ... });
//   QVADynExpectError([] { ... }, kQVABasFileError, "Scratch file \"kvr.ev\", record 2: ...");

#include <gtest/gtest.h>
#include <stdlib.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

// Data of one record, little-endian.
class QVADynTestRecord {
 public:
  QVADynTestRecord& Int(std::int32_t value) {
    AppendLittleEndian(static_cast<std::uint32_t>(value), 4);
    return *this;
  }
  QVADynTestRecord& Double(double value) {
    AppendLittleEndian(std::bit_cast<std::uint64_t>(value), 8);
    return *this;
  }
  QVADynTestRecord& Doubles(const std::vector<double>& values) {
    for (double value : values) Double(value);
    return *this;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  void AppendLittleEndian(std::uint64_t value, int bytes) {
    for (int byte = 0; byte < bytes; ++byte)
      bytes_.push_back(static_cast<char>((value >> (8 * byte)) & 0xFF));
  }
  std::string bytes_;
};

// A whole file: framed records, optionally followed by raw bytes.
class QVADynTestRecordFile {
 public:
  // A new record, framed by its byte count when the file is assembled.
  QVADynTestRecord& Record() {
    records_.emplace_back();
    return records_.back();
  }
  // Bytes appended after the records as they are.
  void Raw(const std::string& bytes) { raw_ += bytes; }

  std::string Bytes() const {
    std::string bytes;
    for (const QVADynTestRecord& record : records_) {
      const std::string count =
          QVADynTestRecord().Int(static_cast<std::int32_t>(record.Bytes().size())).Bytes();
      bytes += count + record.Bytes() + count;
    }
    return bytes + raw_;
  }
  void WriteTo(const char* fileName) const { WriteBytes(fileName, Bytes()); }

  static void WriteBytes(const char* fileName, const std::string& bytes) {
    std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::vector<QVADynTestRecord> records_;
  std::string raw_;
};

// A mode-shape file: header [rows, second], then `vectors` records of the
// `rows` values value(vector, row) (both 1-based) and `extra` values 0.5 more.
inline QVADynTestRecordFile QVADynTestModeFile(int rows, int second, int vectors, int extra,
                                               double (*value)(int, int)) {
  QVADynTestRecordFile file;
  file.Record().Int(rows).Int(second);
  for (int vector = 1; vector <= vectors; ++vector) {
    QVADynTestRecord& record = file.Record();
    for (int row = 1; row <= rows; ++row) record.Double(value(vector, row));
    for (int more = 0; more < extra; ++more) record.Double(0.5);
  }
  return file;
}

// Entry (row, column), 1-based, of the square matrices of QVADynTestSquareFile.
inline double QVADynTestMatrixValue(int row, int column) { return 10.0 * row + column; }

// A square matrix file: header [order, second], then one record per column.
inline QVADynTestRecordFile QVADynTestSquareFile(int order, int second) {
  QVADynTestRecordFile file;
  file.Record().Int(order).Int(second);
  for (int column = 1; column <= order; ++column) {
    QVADynTestRecord& record = file.Record();
    for (int row = 1; row <= order; ++row) record.Double(QVADynTestMatrixValue(row, column));
  }
  return file;
}

inline std::string QVADynTestReadBytes(const char* fileName) {
  std::ifstream file(fileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline bool QVADynTestFileExists(const char* fileName) { return std::filesystem::exists(fileName); }

// One record of a parsed file, read item by item from its start.
class QVADynTestParsedRecord {
 public:
  explicit QVADynTestParsedRecord(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Size() const { return bytes_.size(); }
  std::int32_t Int() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(Take(4))); }
  double Double() { return std::bit_cast<double>(Take(8)); }
  bool AtEnd() const { return offset_ == bytes_.size(); }

 private:
  std::uint64_t Take(int bytes) {
    std::uint64_t value = 0;
    for (int byte = 0; byte < bytes; ++byte) {
      value |= std::uint64_t{static_cast<unsigned char>(bytes_.at(offset_ + QVAIndex(byte)))}
               << (8 * byte);
    }
    offset_ += QVAIndex(bytes);
    return value;
  }
  std::string bytes_;
  std::size_t offset_ = 0;
};

// Splits a file into its records; fails the test when the framing is broken.
inline std::vector<QVADynTestParsedRecord> QVADynTestParseRecords(const char* fileName) {
  const std::string bytes = QVADynTestReadBytes(fileName);
  std::vector<QVADynTestParsedRecord> records;
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    QVADynTestParsedRecord leading(bytes.substr(offset, 4));
    const std::int32_t count = leading.Int();
    const std::size_t size = QVAIndex(count);
    QVADynTestParsedRecord trailing(bytes.substr(offset + 4 + size, 4));
    EXPECT_EQ(trailing.Int(), count) << "framing of record " << records.size() + 1;
    records.emplace_back(bytes.substr(offset + 4, size));
    offset += size + 8;
  }
  return records;
}

// Makes a fresh directory the working directory for the life of the object,
// then restores the previous one and removes the directory.
class QVADynTestScratchDirectory {
 public:
  QVADynTestScratchDirectory() : previous_(std::filesystem::current_path()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "qvadyn-scratch-XXXXXX").string();
    directory_ = mkdtemp(pattern.data());
    EXPECT_FALSE(directory_.empty());
    std::filesystem::current_path(directory_);
  }
  QVADynTestScratchDirectory(const QVADynTestScratchDirectory&) = delete;
  QVADynTestScratchDirectory& operator=(const QVADynTestScratchDirectory&) = delete;
  ~QVADynTestScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path directory_;
};

// Number and message of a raised QVABasError; number 0 when nothing was raised.
struct QVADynTestError {
  int number = 0;
  std::string message;
};

template <class Action>
QVADynTestError QVADynTestCatchError(Action action) {
  try {
    action();
  } catch (const QVABasError& error) {
    return {error.ErrorNumber(), error.what()};
  }
  ADD_FAILURE() << "no QVABasError was raised";
  return {};
}

// Expects `action` to raise error `number` with exactly `message`.
template <class Action>
void QVADynExpectError(Action action, int number, const std::string& message) {
  const QVADynTestError error = QVADynTestCatchError(action);
  EXPECT_EQ(error.number, number) << error.message;
  EXPECT_EQ(error.message, message);
}

// Expects `action` to raise error `number` with a message containing `part`.
template <class Action>
void QVADynExpectErrorContaining(Action action, int number, const std::string& part) {
  const QVADynTestError error = QVADynTestCatchError(action);
  EXPECT_EQ(error.number, number) << error.message;
  EXPECT_NE(error.message.find(part), std::string::npos) << error.message;
}
