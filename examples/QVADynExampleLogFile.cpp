// Example: the component's log. A handle copied from the host's handle writes
// to the same file; a heading is built whole and written as one text.

#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADynExamples.h"
#include "platform/base/cow_String.h"

void QVADynExampleLogFile(const QVADynExampleContext& context) {
  const QVADynLogFile exampleLog(context.log);
  cow_String block(kQVADynLogHeadingBegin);
  block.Append("Example host").Append(kQVADynLogHeadingEnd);
  exampleLog.Write(block);
  context.out << "Log file: wrote the heading \"Example host\" to " << context.logFileName
              << " through a handle shared by " << exampleLog.HandleCount() << " handles\n";
}
