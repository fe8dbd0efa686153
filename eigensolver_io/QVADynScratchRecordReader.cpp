#include "eigensolver_io/impl/QVADynScratchRecordReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "eigensolver_io/impl/QVADynScratchByteOrder.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

constexpr std::int64_t kCountBytes = 4;
static_assert(sizeof(int) == 4 && sizeof(double) == 8,
              "scratch files hold 32-bit integers and 64-bit doubles");

}  // namespace

QVADynScratchRecordReader::~QVADynScratchRecordReader() { Close(); }

bool QVADynScratchRecordReader::Open(const char* fileName) {
  Close();
  fileName_ = fileName;
  std::FILE* file = std::fopen(fileName, "rb");
  if (file == nullptr) return false;
  struct stat status {};
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
    std::fclose(file);
    return false;
  }
  file_ = file;
  fileSize_ = status.st_size;
  return true;
}

std::int32_t QVADynScratchRecordReader::BeginRecord() {
  if (inRecord_) EndRecord();
  if (RemainingBytes() < kCountBytes) {
    if (RemainingBytes() == 0) RaiseError("the file ends before this record");
    std::ostringstream problem;
    problem << "the file ends inside the leading byte count (" << RemainingBytes()
            << " bytes left)";
    RaiseError(problem.str());
  }
  std::int32_t bytes = 0;
  ReadBytes(&bytes, kCountBytes);
  QVADynSwapToFileOrder(&bytes, 1);
  if (bytes < 0) {
    std::ostringstream problem;
    problem << "negative byte count " << bytes
            << " (records split into pieces of 2 GB and more are not read)";
    RaiseError(problem.str());
  }
  if (bytes > RemainingBytes() - kCountBytes) {
    std::ostringstream problem;
    problem << "byte count " << bytes << " and the trailing count exceed the " << RemainingBytes()
            << " bytes left in the file";
    RaiseError(problem.str());
  }
  inRecord_ = true;
  recordBytes_ = bytes;
  recordConsumed_ = 0;
  return bytes;
}

void QVADynScratchRecordReader::ReadInts(int* values, std::int64_t count) {
  RequireRecordBytes(count, sizeof(int));
  ReadBytes(values, count * static_cast<std::int64_t>(sizeof(int)));
  QVADynSwapToFileOrder(values, count);
}

void QVADynScratchRecordReader::ReadDoubles(double* values, std::int64_t count) {
  RequireRecordBytes(count, sizeof(double));
  ReadBytes(values, count * static_cast<std::int64_t>(sizeof(double)));
  QVADynSwapToFileOrder(values, count);
}

void QVADynScratchRecordReader::SkipDoubles(std::int64_t count) {
  RequireRecordBytes(count, sizeof(double));
  SkipBytes(count * static_cast<std::int64_t>(sizeof(double)));
}

void QVADynScratchRecordReader::EndRecord() {
  QVA_VERIFY(inRecord_, kQVABasInvalidArgument,
             "QVADynScratchRecordReader::EndRecord: no record of \"" << fileName_ << "\" is open");
  SkipBytes(RemainingRecordBytes());
  std::int32_t trailing = 0;
  ReadBytes(&trailing, kCountBytes);
  QVADynSwapToFileOrder(&trailing, 1);
  if (trailing != recordBytes_) {
    std::ostringstream problem;
    problem << "trailing byte count " << trailing << " differs from the leading byte count "
            << recordBytes_;
    RaiseError(problem.str());
  }
  inRecord_ = false;
  recordBytes_ = 0;
  recordConsumed_ = 0;
  ++recordNumber_;
}

void QVADynScratchRecordReader::ReadRecordInts(int* values, std::int64_t count) {
  BeginRecord();
  ReadInts(values, count);
  EndRecord();
}

void QVADynScratchRecordReader::ReadRecordDoubles(double* values, std::int64_t count) {
  BeginRecord();
  ReadDoubles(values, count);
  EndRecord();
}

void QVADynScratchRecordReader::SkipRecords(std::int64_t count) {
  for (std::int64_t record = 0; record < count; ++record) {
    BeginRecord();
    EndRecord();
  }
}

void QVADynScratchRecordReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  Reset();
}

void QVADynScratchRecordReader::CloseAndDelete() {
  if (file_ == nullptr) return;
  Close();
  if (std::remove(fileName_.c_str()) != 0) {
    const int error = errno;
    QVA_RAISE(kQVABasFileError,
              "Scratch file \"" << fileName_ << "\" cannot be deleted: " << std::strerror(error));
  }
}

void QVADynScratchRecordReader::RaiseError(const std::string& problem) const {
  RaiseError(problem, recordNumber_);
}

void QVADynScratchRecordReader::RaiseError(const std::string& problem, std::int64_t record) const {
  QVA_RAISE(kQVABasFileError,
            "Scratch file \"" << fileName_ << "\", record " << record << ": " << problem);
}

void QVADynScratchRecordReader::ReadBytes(void* bytes, std::int64_t count) {
  QVA_VERIFY(file_ != nullptr, kQVABasInvalidArgument,
             "QVADynScratchRecordReader: \"" << fileName_ << "\" is not open");
  const auto size = QVAIndex(count);
  if (std::fread(bytes, 1, size, file_) != size) {
    RaiseError(std::ferror(file_) != 0 ? "read error" : "the file ends inside this record");
  }
  position_ += count;
  if (inRecord_) recordConsumed_ += count;
}

void QVADynScratchRecordReader::SkipBytes(std::int64_t count) {
  if (count == 0) return;
  if (fseeko(file_, static_cast<off_t>(count), SEEK_CUR) != 0) RaiseError("seek error");
  position_ += count;
  if (inRecord_) recordConsumed_ += count;
}

void QVADynScratchRecordReader::RequireRecordBytes(std::int64_t count, std::int64_t itemBytes) {
  QVA_VERIFY(
      count >= 0, kQVABasInvalidArgument,
      "QVADynScratchRecordReader: negative item count " << count << " for \"" << fileName_ << "\"");
  QVA_VERIFY(inRecord_, kQVABasInvalidArgument,
             "QVADynScratchRecordReader: no record of \"" << fileName_ << "\" is open");
  if (count > RemainingRecordBytes() / itemBytes) {
    std::ostringstream problem;
    problem << "holds " << recordBytes_ << " bytes; " << count << " items of " << itemBytes
            << " bytes asked for from byte " << recordConsumed_;
    RaiseError(problem.str());
  }
}

void QVADynScratchRecordReader::Reset() {
  file_ = nullptr;
  fileSize_ = 0;
  position_ = 0;
  recordNumber_ = 1;
  inRecord_ = false;
  recordBytes_ = 0;
  recordConsumed_ = 0;
}
