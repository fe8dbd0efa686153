#pragma once

// A data request over all rows of a mode-shape matrix: one range from row 0.
//
//   QVADynSimpleDataRequest request(100);
//   request.NumberOfRanges() == 1; request.RangeStart(0) == 0; request.RangeSize(0) == 100;

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/matrix/QVASrvDataRequest.h"

class QVADYN_EXPORT QVADynSimpleDataRequest : public QVASrvDataRequest {
 public:
  // One range over rows 0 ... numRows - 1.
  explicit QVADynSimpleDataRequest(int numRows);
  ~QVADynSimpleDataRequest() override;

  // 1.
  int NumberOfRanges() const override;
  // The row count (for range 0).
  int RangeSize(int range) const override;
  // 0.
  int RangeStart(int range) const override;

 private:
  int numberOfRows_;
};
