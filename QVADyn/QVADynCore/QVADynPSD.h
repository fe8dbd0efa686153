#pragma once

// One power spectral density of a random excitation: whether it drives base
// motions or nodal loads, its name (handed to the host's user correlation),
// its table of rows of three values and, for base motion, the magnitude given
// to every excited direction. A QVADynCorrelation owns its spectrum.
//
//   QVADynPSD spectrum(false, 0.0);           // nodal loads
//   spectrum.setPSDName("PRESSURE");          // name "PRESSURE" (8 characters)
//   const double rows[] = {10.0, 1.0e-3, 0.0,  100.0, 1.0e-3, 0.0};
//   spectrum.setPSDTable(rows, 2);            // 2 rows of 3 values, copied
//
// The component reads the kind, the magnitude and the name; the table is kept
// for the host.

#include <memory>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/mem_Alloc.h"

class QVADYN_EXPORT QVADynPSD : public mem_AllocationOperators {
 public:
  // Longest name kept; longer names are cut to their first kNameLength
  // characters.
  static constexpr int kNameLength = 8;

  // A spectrum without table and with an empty name. `baseMotion` true: it
  // drives the base motions of the random event; `magnitude` is the value of
  // every excited base-motion direction.
  QVADynPSD(bool baseMotion, double magnitude);
  QVADynPSD(const QVADynPSD&) = delete;
  QVADynPSD& operator=(const QVADynPSD&) = delete;
  // Frees the table.
  ~QVADynPSD();

  // Copies at most kNameLength characters of the zero-terminated `name`; the
  // places after the copied characters are set to zero, and the name is
  // always terminated.
  void setPSDName(const char* name);
  // Copies 3 * rows values of `values` (rows of three, row by row) into a new
  // table that replaces the old one. `rows` must not be negative.
  void setPSDTable(const double* values, int rows);

  bool IsBaseMotion() const { return baseMotion_; }
  double Magnitude() const { return magnitude_; }
  // The zero-terminated name, at most kNameLength characters.
  const char* Name() const { return name_; }
  // 3 * NumberOfTableRows() values, row by row; null until setPSDTable.
  const double* Table() const { return table_.get(); }
  int NumberOfTableRows() const { return tableRows_; }

 private:
  struct FreeTable {
    void operator()(double* values) const { mem_Free(values); }
  };

  bool baseMotion_;
  // Kept false; reserved in the spectrum record, no operation reads it.
  bool reserved_ = false;
  double magnitude_;
  std::unique_ptr<double[], FreeTable> table_;
  int tableRows_ = 0;
  char name_[kNameLength + 1] = {};
};
