#pragma once

// Sets (or removes) one environment variable for the lifetime of a scope and
// puts the earlier state back afterwards, for tests of the tuning settings and
// for writing a modal basis with chosen chunk sizes.
//
//   {
//     QVATestScopedEnvironment columns("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", "3");
//     QVATestScopedEnvironment rows("TOR_DYN_MODESHAPE_ROW_BLOCKSIZE", nullptr);  // unset
//     modal.CreateModeShapes(rowCount, false);   // chunks of 100 rows x 3 modes
//   }                                            // both variables as before

#include <cstdlib>
#include <optional>
#include <string>

class QVATestScopedEnvironment {
 public:
  // Sets `name` to `value`, or removes it when `value` is null.
  QVATestScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* earlier = std::getenv(name)) earlier_ = std::string(earlier);
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  QVATestScopedEnvironment(const QVATestScopedEnvironment&) = delete;
  QVATestScopedEnvironment& operator=(const QVATestScopedEnvironment&) = delete;
  ~QVATestScopedEnvironment() {
    if (earlier_) {
      setenv(name_.c_str(), earlier_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> earlier_;
};
