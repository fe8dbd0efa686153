#pragma once

// Handle to the component's log file. The host names the file and opens it
// through one handle; the modal system and every event copy that handle, and
// all copies write to the same open file, which is closed when the last copy
// goes. Each Write() flushes, so a text is on disk when Write() returns.
//
//   QVADynLogFile log;                       // no file yet: writes are dropped
//   log.Open("analysis.log");                // creates (truncates) the file
//   QVADynLogFile eventLog(log);             // shares the file, HandleCount() == 2
//   eventLog.Write("\n--- Solve dynamic system ---\n\n");
//
// A file that cannot be created is not reported: the handle holds a record
// without stream and every write through it is silently lost. Handles are not
// synchronized; a file and its copies are used from one thread at a time.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/cow_String.h"

class QVADYN_EXPORT QVADynLogFile {
 public:
  // A handle without file.
  QVADynLogFile() = default;
  // Shares the other handle's file, if it has one.
  QVADynLogFile(const QVADynLogFile& other) noexcept;
  // Releases the own file, then shares the other's; assigning a handle to
  // itself changes nothing.
  const QVADynLogFile& operator=(const QVADynLogFile& other) noexcept;
  // Releases the file; the last handle of a file closes it.
  ~QVADynLogFile();

  // Creates the file at `path` (mode "w": truncate or create) when this handle
  // has none yet; a handle that has a file ignores the call and keeps it. A file
  // that cannot be created (or a null path) leaves a handle whose writes are
  // dropped. Throws QVABasOutOfMemory when the shared record cannot be
  // allocated, leaving the handle unchanged.
  void Open(const char* path);

  // Writes the characters of `text` as they stand (no line end is added) and
  // flushes. A text without buffer writes nothing; a handle without file or
  // without stream does nothing. Write and flush failures are not reported.
  void Write(cow_String text) const;

  // Number of handles sharing this handle's file; 0 for a handle without file.
  int HandleCount() const noexcept;
  // True when this handle has a file that was created successfully.
  bool IsWritable() const noexcept;

 private:
  struct Record;

  Record* record_ = nullptr;
};
