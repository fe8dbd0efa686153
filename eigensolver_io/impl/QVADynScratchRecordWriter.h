#pragma once

// Writer of a sequential unformatted scratch file in the layout that
// QVADynScratchRecordReader reads: each record is a 4-byte signed byte count,
// the record's items and the same count again, all little-endian; integers are
// 32-bit signed and values IEEE 64-bit doubles. A record is assembled item by
// item and written whole when it ends.
//
// The sparse vector record (m = 2, rows 9 and 10, values 0.5 and -1.5) is
// 4 + 2*4 + 2*8 = 28 bytes of data, framed by the count 28 on both sides:
//
//   QVADynScratchRecordWriter writer;
//   writer.Create("kvr.ep");
//   const int count = 2, rows[2] = {9, 10};
//   const double values[2] = {0.5, -1.5};
//   writer.BeginRecord();
//   writer.WriteInts(&count, 1);
//   writer.WriteInts(rows, 2);
//   writer.WriteDoubles(values, 2);
//   writer.EndRecord();
//   writer.Close();
//
// Failures raise a QVABasError of number kQVABasFileError naming the file and
// the record (1-based). The writer is used by one thread at a time.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class QVADynScratchRecordWriter {
 public:
  QVADynScratchRecordWriter() = default;
  QVADynScratchRecordWriter(const QVADynScratchRecordWriter&) = delete;
  QVADynScratchRecordWriter& operator=(const QVADynScratchRecordWriter&) = delete;
  // Closes an open file without reporting write errors; call Close() to have
  // them reported.
  ~QVADynScratchRecordWriter();

  // Creates `fileName`, or empties it when it exists, and positions at its
  // start; a file opened before is closed first. Raises when the file cannot
  // be created.
  void Create(const char* fileName);
  bool IsOpen() const { return file_ != nullptr; }

  // Starts a record; items written before the matching EndRecord belong to it.
  void BeginRecord();
  void WriteInts(const int* values, std::int64_t count);
  void WriteDoubles(const double* values, std::int64_t count);
  // Writes the record with its two byte counts. Raises when the record holds
  // more than 2^31 - 1 bytes or the file cannot be written.
  void EndRecord();
  // One whole record of `count` integers or doubles.
  void WriteRecordInts(const int* values, std::int64_t count);
  void WriteRecordDoubles(const double* values, std::int64_t count);

  // Flushes and closes the file; raises when the data could not be written
  // completely. Nothing happens when no file is open.
  void Close();

 private:
  void WriteBytes(const void* bytes, std::size_t count);
  [[noreturn]] void RaiseError(const std::string& problem) const;

  std::FILE* file_ = nullptr;
  std::string fileName_;
  std::int64_t recordNumber_ = 1;
  bool inRecord_ = false;
  std::vector<unsigned char> record_;
};
