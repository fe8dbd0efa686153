#pragma once

// Description of row ranges of a mode-shape matrix: NumberOfRanges() ranges,
// range i covering rows RangeStart(i) ... RangeStart(i) + RangeSize(i) - 1.
//
//   rows {4, 5, 6, 10, 11}: NumberOfRanges() == 2,
//   RangeStart(0) == 4, RangeSize(0) == 3, RangeStart(1) == 10, RangeSize(1) == 2.

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"

class QVA_PLATFORM_EXPORT QVASrvDataRequest : public mem_AllocationOperators {
 public:
  virtual ~QVASrvDataRequest();
  virtual int NumberOfRanges() const = 0;
  virtual int RangeSize(int range) const = 0;
  virtual int RangeStart(int range) const = 0;
};
