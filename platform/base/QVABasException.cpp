#include "platform/base/QVABasException.h"

#include <exception>
#include <new>
#include <stdexcept>

QVABasException::~QVABasException() = default;

atr_String QVABasException::DeveloperReport() const {
  cow_String report("Error ");
  report.AppendInt(ErrorNumber()).Append(" at ").Append(file_).Append(":").AppendInt(line_);
  report.Append(": ").Append(Message().Text());
  return atr_String(report);
}

atr_String QVABasException::UserReport() const {
  cow_String report("Error ");
  report.AppendInt(ErrorNumber()).Append(": ").Append(Message().Text());
  return atr_String(report);
}

void QVABasException::Throw(const char* file, int line) {
  file_ = cow_String(file);
  line_ = line;
  Raise();
  // Raise() of every concrete class throws; one that returned would break the
  // contract of Throw().
  std::terminate();
}

const char* QVABasException::what() const noexcept {
  if (what_.Buffer() == nullptr) {
    try {
      what_ = Message().String();
    } catch (...) {
      return "QVABasException: the message could not be built";
    }
  }
  return what_.Text();
}

QVABasError::QVABasError(int number, const cow_String& message)
    : number_(number), message_(message) {}

atr_String QVABasError::Message() const { return atr_String(message_); }

void QVABasError::Raise() const { throw *this; }

int QVABasError::ErrorNumber() const { return number_; }

QVABasOutOfMemory::QVABasOutOfMemory(const cow_String& message)
    : QVABasError(kQVABasOutOfMemory, message) {}

void QVABasOutOfMemory::Raise() const { throw *this; }

void QVABasRaiseAtBoundary(const char* operation) {
  try {
    throw;
  } catch (const QVABasException&) {
    throw;
  } catch (const std::bad_alloc&) {
    QVABasOutOfMemory(cow_String(operation).Append(": out of memory")).Throw(__FILE__, __LINE__);
  } catch (const std::logic_error& error) {
    QVABasError(kQVABasInvalidArgument, cow_String(operation).Append(": ").Append(error.what()))
        .Throw(__FILE__, __LINE__);
  } catch (const std::exception& error) {
    QVABasError(kQVASrvInvalidState, cow_String(operation).Append(": ").Append(error.what()))
        .Throw(__FILE__, __LINE__);
  }
}
