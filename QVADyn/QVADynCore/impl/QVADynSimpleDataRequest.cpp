#include "QVADyn/QVADynCore/QVADynSimpleDataRequest.h"

QVADynSimpleDataRequest::QVADynSimpleDataRequest(int numRows) : numberOfRows_(numRows) {}

QVADynSimpleDataRequest::~QVADynSimpleDataRequest() = default;

int QVADynSimpleDataRequest::NumberOfRanges() const { return 1; }

int QVADynSimpleDataRequest::RangeSize(int /*range*/) const { return numberOfRows_; }

int QVADynSimpleDataRequest::RangeStart(int /*range*/) const { return 0; }
