#include "eigensolver_io/impl/QVADynScratchRecordWriter.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sstream>

#include "eigensolver_io/impl/QVADynScratchByteOrder.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

static_assert(sizeof(int) == 4 && sizeof(double) == 8,
              "scratch files hold 32-bit integers and 64-bit doubles");

// Appends `count` items to `record` in file byte order.
template <class Item>
void AppendItems(std::vector<unsigned char>& record, const Item* values, std::int64_t count) {
  if (count <= 0) return;
  const auto* first = reinterpret_cast<const unsigned char*>(values);
  const std::size_t offset = record.size();
  record.insert(record.end(), first, first + count * static_cast<std::int64_t>(sizeof(Item)));
  if constexpr (std::endian::native == std::endian::big) {
    for (std::int64_t item = 0; item < count; ++item) {
      Item value{};
      std::memcpy(&value, record.data() + offset + item * sizeof(Item), sizeof(Item));
      QVADynSwapToFileOrder(&value, 1);
      std::memcpy(record.data() + offset + item * sizeof(Item), &value, sizeof(Item));
    }
  } else {
    static_cast<void>(offset);
  }
}

}  // namespace

QVADynScratchRecordWriter::~QVADynScratchRecordWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

void QVADynScratchRecordWriter::Create(const char* fileName) {
  if (file_ != nullptr) std::fclose(file_);
  fileName_ = fileName;
  recordNumber_ = 1;
  inRecord_ = false;
  record_.clear();
  file_ = std::fopen(fileName, "wb");
  if (file_ == nullptr) {
    const int error = errno;
    QVA_RAISE(kQVABasFileError,
              "Scratch file \"" << fileName_ << "\" cannot be created: " << std::strerror(error));
  }
}

void QVADynScratchRecordWriter::BeginRecord() {
  QVA_VERIFY(file_ != nullptr, kQVABasInvalidArgument,
             "QVADynScratchRecordWriter::BeginRecord: \"" << fileName_ << "\" is not open");
  inRecord_ = true;
  record_.clear();
}

void QVADynScratchRecordWriter::WriteInts(const int* values, std::int64_t count) {
  QVA_VERIFY(inRecord_, kQVABasInvalidArgument,
             "QVADynScratchRecordWriter::WriteInts: no record of \"" << fileName_ << "\" is open");
  AppendItems(record_, values, count);
}

void QVADynScratchRecordWriter::WriteDoubles(const double* values, std::int64_t count) {
  QVA_VERIFY(
      inRecord_, kQVABasInvalidArgument,
      "QVADynScratchRecordWriter::WriteDoubles: no record of \"" << fileName_ << "\" is open");
  AppendItems(record_, values, count);
}

void QVADynScratchRecordWriter::EndRecord() {
  QVA_VERIFY(inRecord_, kQVABasInvalidArgument,
             "QVADynScratchRecordWriter::EndRecord: no record of \"" << fileName_ << "\" is open");
  if (record_.size() > QVAIndex(std::numeric_limits<std::int32_t>::max())) {
    std::ostringstream problem;
    problem << "holds " << record_.size() << " bytes, more than a byte count can state";
    RaiseError(problem.str());
  }
  std::int32_t bytes = static_cast<std::int32_t>(record_.size());
  QVADynSwapToFileOrder(&bytes, 1);
  WriteBytes(&bytes, sizeof(bytes));
  WriteBytes(record_.data(), record_.size());
  WriteBytes(&bytes, sizeof(bytes));
  inRecord_ = false;
  record_.clear();
  ++recordNumber_;
}

void QVADynScratchRecordWriter::WriteRecordInts(const int* values, std::int64_t count) {
  BeginRecord();
  WriteInts(values, count);
  EndRecord();
}

void QVADynScratchRecordWriter::WriteRecordDoubles(const double* values, std::int64_t count) {
  BeginRecord();
  WriteDoubles(values, count);
  EndRecord();
}

void QVADynScratchRecordWriter::Close() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  const bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || failed) {
    const int error = errno;
    QVA_RAISE(kQVABasFileError, "Scratch file \"" << fileName_ << "\" could not be written: "
                                                  << std::strerror(error));
  }
}

void QVADynScratchRecordWriter::WriteBytes(const void* bytes, std::size_t count) {
  if (std::fwrite(bytes, 1, count, file_) != count) {
    const int error = errno;
    RaiseError(std::string("write error: ") + std::strerror(error));
  }
}

void QVADynScratchRecordWriter::RaiseError(const std::string& problem) const {
  QVA_RAISE(kQVABasFileError,
            "Scratch file \"" << fileName_ << "\", record " << recordNumber_ << ": " << problem);
}
