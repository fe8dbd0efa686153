#include "QVADyn/QVADynCore/QVADynPSD.h"

#include <algorithm>

#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

QVADynPSD::QVADynPSD(bool baseMotion, double magnitude)
    : baseMotion_(baseMotion), magnitude_(magnitude) {}

QVADynPSD::~QVADynPSD() = default;

void QVADynPSD::setPSDName(const char* name) try {
  std::fill_n(name_, kNameLength + 1, '\0');
  if (name == nullptr) return;
  for (int place = 0; place < kNameLength && name[place] != '\0'; ++place) {
    name_[place] = name[place];
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynPSD::setPSDName");
}

void QVADynPSD::setPSDTable(const double* values, int rows) try {
  QVA_VERIFY(rows >= 0, kQVABasInvalidArgument,
             "QVADynPSD::setPSDTable: " << rows << " rows; the count must not be negative");
  const std::size_t count = 3 * QVAIndex(rows);
  std::unique_ptr<double[], FreeTable> table(mem_AllocArray<double>(count));
  if (count != 0) std::copy_n(values, count, table.get());
  table_ = std::move(table);
  tableRows_ = rows;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynPSD::setPSDTable");
}
