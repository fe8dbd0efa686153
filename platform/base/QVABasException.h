#pragma once

// Base of every exception of the platform and of the component. An exception
// carries a fixed error number, a message built on demand, and the place of
// the throw (source path and line), which Throw() records:
//
//   QVADynMultipleCallsException error("QVADynEvent::SetActiveModes");
//   error.Throw("QVADyn/QVADynCore/impl/QVADynEvent", 97);  // does not return
//
// Throw() calls Raise(), which each concrete class implements by throwing a
// copy of itself as its own class, so a handler may catch the concrete class,
// QVABasException, mem_AllocationOperators or std::exception (what() gives the
// message).

#include <exception>
#include <sstream>

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/atr_String.h"
#include "platform/base/cow_String.h"
#include "platform/base/mem_Alloc.h"

class QVA_PLATFORM_EXPORT QVABasException : public mem_AllocationOperators, public std::exception {
 public:
  QVABasException() = default;
  QVABasException(const QVABasException& other) = default;
  QVABasException& operator=(const QVABasException& other) = default;
  ~QVABasException() override;

  // "Error <number> at <file>:<line>: <message>".
  virtual atr_String DeveloperReport() const;
  // "Error <number>: <message>".
  virtual atr_String UserReport() const;
  // The message text of the concrete class.
  virtual atr_String Message() const = 0;
  // Throws a copy of this object as its concrete class.
  [[noreturn]] virtual void Raise() const = 0;
  // The fixed number of the concrete class.
  virtual int ErrorNumber() const = 0;

  // Records the place of the throw, then Raise().
  [[noreturn]] void Throw(const char* file, int line);

  // Place of the throw; empty text and 0 until Throw() is called.
  const cow_String& File() const { return file_; }
  int Line() const { return line_; }

  // The message, as Message().Text(); valid while this object lives.
  const char* what() const noexcept override;

 private:
  cow_String file_;
  int line_ = 0;
  mutable cow_String what_;
};

// A platform failure with a number and a finished message: an index outside a
// matrix or set, sizes that do not match, a singular matrix, a database
// inconsistency. The message names the object, the value and the bound.
class QVA_PLATFORM_EXPORT QVABasError : public QVABasException {
 public:
  QVABasError(int number, const cow_String& message);
  atr_String Message() const override;
  [[noreturn]] void Raise() const override;
  int ErrorNumber() const override;

 private:
  int number_;
  cow_String message_;
};

// Error numbers of the platform's own failures.
enum QVABasErrorNumber : int {
  kQVABasOutOfMemory = 1,
  kQVABasInvalidArgument = 2,
  // A file is missing, cannot be read or written, or holds malformed records.
  kQVABasFileError = 3,
  kQVASrvIndexOutOfRange = 100,
  kQVASrvSizeMismatch = 101,
  kQVASrvSingularMatrix = 102,
  kQVASrvInvalidState = 103,
  kQVASimInvalidIdentifier = 150,
  kQVASimWrongCollection = 151,
  kQVASimInconsistent = 152,
};

// The allocator could not provide the memory asked for.
class QVA_PLATFORM_EXPORT QVABasOutOfMemory : public QVABasError {
 public:
  explicit QVABasOutOfMemory(const cow_String& message);
  [[noreturn]] void Raise() const override;
};

// Rethrows the exception being handled, for the handler at the end of an
// exported operation, so that only QVABasExceptions reach the host:
// QVABasExceptions as they are, std::bad_alloc as QVABasOutOfMemory
// "<operation>: out of memory", any other std::exception as QVABasError
// "<operation>: <what()>" (kQVABasInvalidArgument for a std::logic_error,
// which comes from a size or index the operation did not check,
// kQVASrvInvalidState otherwise). Anything else (the component's fixed
// assertion text) passes unchanged. Call only inside a handler:
//
//   void QVADynModalSystem::Open() try {
//     ...
//   } catch (...) {
//     QVABasRaiseAtBoundary("QVADynModalSystem::Open");
//   }
[[noreturn]] QVA_PLATFORM_EXPORT void QVABasRaiseAtBoundary(const char* operation);

// Builds a message with stream syntax and throws a QVABasError of `number` from
// this source place:
//   QVA_RAISE(kQVASrvIndexOutOfRange, "QVASrvMatrix::GetValues: row " << row << " >= " << rows);
#define QVA_RAISE(number, streamed)                                               \
  do {                                                                            \
    std::ostringstream qvaRaiseStream_;                                           \
    qvaRaiseStream_ << streamed;                                                  \
    QVABasError(number, qvaRaiseStream_.str().c_str()).Throw(__FILE__, __LINE__); \
  } while (false)

// Always-on check of caller input: raises as QVA_RAISE when `condition` fails.
#define QVA_VERIFY(condition, number, streamed)    \
  do {                                             \
    if (!(condition)) QVA_RAISE(number, streamed); \
  } while (false)
