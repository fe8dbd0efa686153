#include "QVADynBoundary.h"

#include <exception>
#include <new>
#include <stdexcept>

#include "platform/base/QVABasException.h"

void QVADynRaiseAtBoundary(const char* operation) {
  try {
    throw;
  } catch (const QVABasException&) {
    throw;
  } catch (const char*) {
    throw;
  } catch (const std::bad_alloc&) {
    QVABasOutOfMemory(cow_String(operation).Append(": out of memory")).Throw(__FILE__, __LINE__);
  } catch (const std::logic_error& error) {
    // The run-time library refused a size or an index, which comes from an
    // argument the operation did not check.
    QVABasError(kQVABasInvalidArgument, cow_String(operation).Append(": ").Append(error.what()))
        .Throw(__FILE__, __LINE__);
  } catch (const std::exception& error) {
    QVABasError(kQVASrvInvalidState, cow_String(operation).Append(": ").Append(error.what()))
        .Throw(__FILE__, __LINE__);
  } catch (...) {
    QVABasError(kQVASrvInvalidState, cow_String(operation).Append(": an unknown failure"))
        .Throw(__FILE__, __LINE__);
  }
}
