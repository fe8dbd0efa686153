#pragma once

// Reference-counted text, the platform's string for log texts, names and
// messages. Copies share one buffer; appending to a shared string first makes
// it private (copy on write). A string may have no buffer at all (the state of
// a default-constructed string or one built from a null pointer); such a string
// reads as the empty text.
//
//   cow_String line("Number of modes: ");
//   line.AppendInt(12).Append("\n");              // "Number of modes: 12\n"
//   cow_String seconds = cow_String::FromDouble(0.25);  // "0.25"
//
// Number conversions use one fixed format each: integers "%d"; doubles
// "%.10g"; single-precision values "%.6g".

#include "platform/base/QVAPlatformExport.h"

class QVA_PLATFORM_EXPORT cow_String {
 public:
  // No buffer: Buffer() is null, Text() is "".
  cow_String() noexcept;
  // Copies `text`; a null pointer gives a string without buffer.
  cow_String(const char* text);  // NOLINT(google-explicit-constructor): literals convert
  // Copies the first `length` characters at `text` (none for a negative
  // length); a null pointer gives a string without buffer.
  cow_String(const char* text, int length);
  cow_String(const cow_String& other) noexcept;
  cow_String(cow_String&& other) noexcept;
  cow_String& operator=(const cow_String& other) noexcept;
  cow_String& operator=(cow_String&& other) noexcept;
  ~cow_String();

  // The characters, zero-terminated, or null when there is no buffer.
  const char* Buffer() const noexcept;
  // The characters, zero-terminated; "" when there is no buffer.
  const char* Text() const noexcept;
  int Length() const noexcept;
  bool IsEmpty() const noexcept { return Length() == 0; }

  cow_String& Append(const char* text);
  cow_String& Append(const cow_String& text);
  cow_String& AppendInt(int value);
  cow_String& AppendDouble(double value);
  cow_String& AppendFloat(float value);
  cow_String& operator+=(const char* text) { return Append(text); }
  cow_String& operator+=(const cow_String& text) { return Append(text); }

  static cow_String FromInt(int value);
  static cow_String FromDouble(double value);
  static cow_String FromFloat(float value);

  // Number of strings sharing this buffer (0 without buffer); for tests.
  int ShareCount() const noexcept;

  friend bool operator==(const cow_String& a, const cow_String& b) noexcept;
  friend bool operator==(const cow_String& a, const char* b) noexcept;

 private:
  struct Record;
  cow_String& AppendCharacters(const char* text, int count);
  Record* record_ = nullptr;
};

QVA_PLATFORM_EXPORT cow_String operator+(const cow_String& a, const cow_String& b);
QVA_PLATFORM_EXPORT cow_String operator+(const cow_String& a, const char* b);
