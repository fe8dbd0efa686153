#pragma once

// The framework's string for names of database entries (user matrices, sets).
//
//   QVADynUtilities::CreateMatrix(system, KRNString("STIFFNESS_CHANGE"), rows, columns, kind);

#include <string>

#include "platform/base/QVAPlatformExport.h"

class QVA_PLATFORM_EXPORT KRNString {
 public:
  KRNString() = default;
  KRNString(const char* text) : text_(text ? text : "") {}  // NOLINT(google-explicit-constructor)
  const char* Text() const { return text_.c_str(); }
  int Length() const { return static_cast<int>(text_.size()); }
  friend bool operator==(const KRNString& a, const KRNString& b) { return a.text_ == b.text_; }
  friend bool operator<(const KRNString& a, const KRNString& b) { return a.text_ < b.text_; }

 private:
  std::string text_;
};
