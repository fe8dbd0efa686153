#include "QVADyn/QVADynCore/QVADynLogFile.h"

#include <cstdio>
#include <new>
#include <utility>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

// One per opened file, shared by every handle of that file and allocated from
// the platform allocator. Each handle owns one count; the last one closes the
// stream and frees the record.
struct QVADynLogFile::Record {
  std::FILE* stream;
  int handleCount;
};

QVADynLogFile::QVADynLogFile(const QVADynLogFile& other) noexcept : record_(other.record_) {
  if (record_ != nullptr) ++record_->handleCount;
}

const QVADynLogFile& QVADynLogFile::operator=(const QVADynLogFile& other) noexcept {
  if (this == &other) return *this;
  QVADynLogFile shared(other);
  std::swap(record_, shared.record_);
  return *this;  // `shared` now holds the former record and releases it
}

QVADynLogFile::~QVADynLogFile() {
  if (record_ == nullptr) return;
  if (--record_->handleCount == 0) {
    if (record_->stream != nullptr) std::fclose(record_->stream);
    record_->~Record();
    mem_Free(record_);
  }
  record_ = nullptr;
}

void QVADynLogFile::Open(const char* path) try {
  if (record_ != nullptr) return;
  const cow_String fileName(path);
  void* memory = mem_Malloc(sizeof(Record));
  std::FILE* stream = fileName.Buffer() == nullptr ? nullptr : std::fopen(fileName.Text(), "w");
  record_ = new (memory) Record{stream, 0};
  ++record_->handleCount;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynLogFile::Open");
}

void QVADynLogFile::Write(cow_String text) const {
  if (record_ == nullptr || record_->stream == nullptr) return;
  std::fwrite(text.Text(), 1, QVAIndex(text.Length()), record_->stream);
  std::fflush(record_->stream);
}

int QVADynLogFile::HandleCount() const noexcept {
  return record_ == nullptr ? 0 : record_->handleCount;
}

bool QVADynLogFile::IsWritable() const noexcept {
  return record_ != nullptr && record_->stream != nullptr;
}
