#pragma once

// A scratch dense matrix whose entries all start as kQVADynTestUntouched, for
// tests that check which entries an operation writes and that a failed
// operation writes none:
//
//   QVADynTestFilledMatrix target(5, 4, 2, 3);   // 5 x 4, chunks 2 x 3
//   ... operation on target.Matrix() ...
//   EXPECT_EQ(target(0, 0), 1.5);
//   EXPECT_TRUE(target.AllUntouched());

#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"

inline constexpr double kQVADynTestUntouched = -777.0;

class QVADynTestFilledMatrix {
 public:
  QVADynTestFilledMatrix(int rows, int columns, int rowChunk, int columnChunk)
      : matrix_(rows, columns, rowChunk, columnChunk) {
    if (rows == 0 || columns == 0) return;
    QVASrvMatrix values(rows, columns);
    values = kQVADynTestUntouched;
    matrix_.SetValues(0, rows - 1, 0, columns - 1, values);
  }
  QVASrvDenseMatrix& Matrix() { return matrix_; }
  double operator()(int row, int column) const {
    return matrix_.Values()[row + column * matrix_.LeadingDimension()];
  }
  bool AllUntouched() const {
    for (int column = 0; column < matrix_.NumberOfColumns(); ++column) {
      for (int row = 0; row < matrix_.NumberOfRows(); ++row) {
        if ((*this)(row, column) != kQVADynTestUntouched) return false;
      }
    }
    return true;
  }

 private:
  QVASrvScratchDenseMatrix matrix_;
};
