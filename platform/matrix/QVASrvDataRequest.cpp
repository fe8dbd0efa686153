#include "platform/matrix/QVASrvDataRequest.h"

QVASrvDataRequest::~QVASrvDataRequest() = default;
