#pragma once

// Forward-only reader of a sequential unformatted scratch file of the host's
// eigensolver. A file is a sequence of records; each record is stored as a
// 4-byte signed byte count, the record's data and the same count again, all
// little-endian; integers are 32-bit signed and values are IEEE 64-bit doubles.
// A record may be read in part: what is not read is skipped when the record
// ends, and the next record starts after its trailing count.
//
// A file with a header (3, 7) and one vector of three values, 48 bytes:
//
//   08 00 00 00 | 03 00 00 00  07 00 00 00 | 08 00 00 00
//   18 00 00 00 | 1.0  2.0  3.0 (8 bytes each) | 18 00 00 00
//
//   QVADynScratchRecordReader reader;
//   if (reader.Open("kvr.ev")) {
//     int header[2];
//     reader.ReadRecordInts(header, 2);       // record 1: 3, 7
//     double first[2];
//     reader.ReadRecordDoubles(first, 2);     // record 2: 1.0, 2.0; 3.0 skipped
//     reader.CloseAndDelete();
//   }
//
// Every count found in the file is checked against the bytes that remain in
// it before anything is read or allocated, so a damaged file raises a
// QVABasError of number kQVABasFileError whose message names the file and the
// record (1-based), and never makes the reader run past the end of the file:
//
//   Scratch file "kvr.ev", record 2: holds 24 bytes; 32 bytes asked for
//
// After a failure the reader is in an unspecified position; the caller closes
// it. The reader is used by one thread at a time.

#include <cstdint>
#include <cstdio>
#include <string>

class QVADynScratchRecordReader {
 public:
  QVADynScratchRecordReader() = default;
  QVADynScratchRecordReader(const QVADynScratchRecordReader&) = delete;
  QVADynScratchRecordReader& operator=(const QVADynScratchRecordReader&) = delete;
  // Closes an open file and keeps it.
  ~QVADynScratchRecordReader();

  // Opens the existing regular file `fileName` at its first record; a file
  // opened before is closed and kept first. Returns false, and stays closed,
  // when the file is absent or cannot be opened for reading.
  [[nodiscard]] bool Open(const char* fileName);
  bool IsOpen() const { return file_ != nullptr; }
  // The name given to the last Open.
  const std::string& FileName() const { return fileName_; }

  // Number (1-based) of the current record inside BeginRecord/EndRecord, else
  // of the record that the next BeginRecord starts.
  std::int64_t RecordNumber() const { return recordNumber_; }
  // Bytes of the file after the current position.
  std::int64_t RemainingBytes() const { return fileSize_ - position_; }
  // Bytes of the current record not yet read or skipped.
  std::int64_t RemainingRecordBytes() const { return recordBytes_ - recordConsumed_; }

  // Starts the next record (ending one still open) and returns its byte
  // count. Raises when the file ends before the record, the count is negative
  // (records split into pieces of 2 GB and more are not read), or the record
  // and its trailing count do not fit in the rest of the file.
  std::int32_t BeginRecord();
  // Read the next `count` items of the current record into `values`. Raise
  // when the record holds fewer bytes than asked for.
  void ReadInts(int* values, std::int64_t count);
  void ReadDoubles(double* values, std::int64_t count);
  // Skips the next `count` doubles of the current record; raises as ReadDoubles.
  void SkipDoubles(std::int64_t count);
  // Skips the unread rest of the current record and checks that its trailing
  // count equals its leading count; raises when it differs.
  void EndRecord();

  // One whole record: BeginRecord, the leading `count` items, EndRecord.
  void ReadRecordInts(int* values, std::int64_t count);
  void ReadRecordDoubles(double* values, std::int64_t count);
  // Skips `count` whole records (none for count <= 0).
  void SkipRecords(std::int64_t count);

  // Closes the file and keeps it; nothing happens when no file is open.
  void Close();
  // Closes the file and deletes it; nothing happens when no file is open.
  // Raises when the file cannot be deleted (it is closed all the same).
  void CloseAndDelete();

  // Raise a QVABasError of number kQVABasFileError with the message
  // 'Scratch file "<name>", record <n>: <problem>', n being the current record
  // or `record`.
  [[noreturn]] void RaiseError(const std::string& problem) const;
  [[noreturn]] void RaiseError(const std::string& problem, std::int64_t record) const;

 private:
  void ReadBytes(void* bytes, std::int64_t count);
  void SkipBytes(std::int64_t count);
  void RequireRecordBytes(std::int64_t count, std::int64_t itemBytes);
  void Reset();

  std::FILE* file_ = nullptr;
  std::string fileName_;
  std::int64_t fileSize_ = 0;
  std::int64_t position_ = 0;
  std::int64_t recordNumber_ = 1;
  bool inRecord_ = false;
  std::int32_t recordBytes_ = 0;
  std::int64_t recordConsumed_ = 0;
};
