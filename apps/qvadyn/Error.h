// The one exception type of the application: its message names the file, the
// dataset or key, the line and the first bad index where they apply, e.g.
//   "model.inp:42: *EQUATION: ..."
#pragma once

#include <stdexcept>
#include <string>

namespace qvadyn {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qvadyn
