#include "platform/base/cow_String.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"

// One shared buffer: the header below, followed by capacity + 1 characters.
struct cow_String::Record {
  int shares;
  int length;
  int capacity;
  char* Characters() { return reinterpret_cast<char*>(this + 1); }

  // A record with room for `capacity` characters holding the `length`
  // characters at `text`, shared once.
  static Record* Create(const char* text, int length, int capacity) {
    void* memory = mem_Malloc(sizeof(Record) + QVAIndex(capacity) + 1);
    Record* record = new (memory) Record{1, length, capacity};
    if (length > 0) std::memcpy(record->Characters(), text, QVAIndex(length));
    record->Characters()[length] = '\0';
    return record;
  }

  static void Release(Record* record) noexcept {
    if (record != nullptr && --record->shares == 0) mem_Free(record);
  }
};

namespace {
int CheckedLength(std::size_t length) {
  if (length > QVAIndex(INT_MAX)) mem_ReportExhaustion(length);
  return static_cast<int>(length);
}

// The fixed number formats; each returns the number of characters written.
constexpr std::size_t kDigitsSize = 32;
int FormatInt(char (&digits)[kDigitsSize], int value) {
  return std::snprintf(digits, kDigitsSize, "%d", value);
}
int FormatDouble(char (&digits)[kDigitsSize], double value) {
  return std::snprintf(digits, kDigitsSize, "%.10g", value);
}
int FormatFloat(char (&digits)[kDigitsSize], float value) {
  return std::snprintf(digits, kDigitsSize, "%.6g", static_cast<double>(value));
}
}  // namespace

cow_String::cow_String() noexcept = default;

cow_String::cow_String(const char* text) {
  if (text != nullptr) {
    const int length = CheckedLength(std::strlen(text));
    record_ = Record::Create(text, length, length);
  }
}

cow_String::cow_String(const char* text, int length) {
  if (text != nullptr) {
    const int copied = length < 0 ? 0 : length;
    record_ = Record::Create(text, copied, copied);
  }
}

cow_String::cow_String(const cow_String& other) noexcept : record_(other.record_) {
  if (record_ != nullptr) ++record_->shares;
}

cow_String::cow_String(cow_String&& other) noexcept : record_(other.record_) {
  other.record_ = nullptr;
}

cow_String& cow_String::operator=(const cow_String& other) noexcept {
  if (other.record_ != nullptr) ++other.record_->shares;
  Record::Release(record_);
  record_ = other.record_;
  return *this;
}

cow_String& cow_String::operator=(cow_String&& other) noexcept {
  if (this != &other) {
    Record::Release(record_);
    record_ = other.record_;
    other.record_ = nullptr;
  }
  return *this;
}

cow_String::~cow_String() { Record::Release(record_); }

const char* cow_String::Buffer() const noexcept {
  return record_ == nullptr ? nullptr : record_->Characters();
}

const char* cow_String::Text() const noexcept {
  return record_ == nullptr ? "" : record_->Characters();
}

int cow_String::Length() const noexcept { return record_ == nullptr ? 0 : record_->length; }

int cow_String::ShareCount() const noexcept { return record_ == nullptr ? 0 : record_->shares; }

cow_String& cow_String::Append(const char* text) {
  if (text == nullptr) return *this;
  return AppendCharacters(text, CheckedLength(std::strlen(text)));
}

cow_String& cow_String::Append(const cow_String& text) {
  return AppendCharacters(text.Text(), text.Length());
}

cow_String& cow_String::AppendCharacters(const char* text, int count) {
  const int length = Length();
  if (count > INT_MAX - length) {
    mem_ReportExhaustion(QVAIndex(length) + QVAIndex(count));
  }
  const int newLength = length + count;
  if (record_ != nullptr && record_->shares == 1 && newLength <= record_->capacity) {
    // Private buffer with room: `text` may lie inside it, but never past its end.
    std::memmove(record_->Characters() + length, text, QVAIndex(count));
    record_->Characters()[newLength] = '\0';
    record_->length = newLength;
    return *this;
  }
  // A new buffer is filled before the old one is released, so `text` stays
  // readable even when it points into this string.
  const int capacity = newLength > INT_MAX / 2 ? newLength : (newLength < 16 ? 16 : 2 * newLength);
  Record* grown = Record::Create(Text(), length, capacity);
  std::memcpy(grown->Characters() + length, text, QVAIndex(count));
  grown->Characters()[newLength] = '\0';
  grown->length = newLength;
  Record::Release(record_);
  record_ = grown;
  return *this;
}

cow_String& cow_String::AppendInt(int value) {
  char digits[kDigitsSize];
  return AppendCharacters(digits, FormatInt(digits, value));
}

cow_String& cow_String::AppendDouble(double value) {
  char digits[kDigitsSize];
  return AppendCharacters(digits, FormatDouble(digits, value));
}

cow_String& cow_String::AppendFloat(float value) {
  char digits[kDigitsSize];
  return AppendCharacters(digits, FormatFloat(digits, value));
}

cow_String cow_String::FromInt(int value) {
  char digits[kDigitsSize];
  return cow_String(digits, FormatInt(digits, value));
}

cow_String cow_String::FromDouble(double value) {
  char digits[kDigitsSize];
  return cow_String(digits, FormatDouble(digits, value));
}

cow_String cow_String::FromFloat(float value) {
  char digits[kDigitsSize];
  return cow_String(digits, FormatFloat(digits, value));
}

bool operator==(const cow_String& a, const cow_String& b) noexcept {
  return a.Length() == b.Length() && std::memcmp(a.Text(), b.Text(), QVAIndex(a.Length())) == 0;
}

bool operator==(const cow_String& a, const char* b) noexcept {
  return std::strcmp(a.Text(), b == nullptr ? "" : b) == 0;
}

cow_String operator+(const cow_String& a, const cow_String& b) {
  cow_String sum(a);
  return sum.Append(b);
}

cow_String operator+(const cow_String& a, const char* b) {
  cow_String sum(a);
  return sum.Append(b);
}
