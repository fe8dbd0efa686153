// The one error the application raises: a message meant for the user, naming
// the file, the dataset or key, the line and column and the first bad index
// where they apply.
//
//   throw qvadyn::Error("basis.h5: dataset 'eigenvalues': entry 3 is NaN");
#pragma once

#include <stdexcept>
#include <string>

namespace qvadyn {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qvadyn
