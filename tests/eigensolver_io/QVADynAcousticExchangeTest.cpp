// One whole exchange of the acoustic projection with the host's eigensolver:
// code 1 adds the columns of X to kvr.ep, a stand-in for the eigensolver
// projects every vector of kvr.ep onto L fixed vectors and writes kvr.erp,
// and code 2 reads the projections of the added vectors (and of the records
// after them) back into the rows of X. The stand-in parses and writes the
// files byte by byte, independently of the production reader and writer.
// Every value is a small integer or a quarter, so every product and sum is
// exact and every comparison is exact.

#include <gtest/gtest.h>

#include <vector>

#include "eigensolver_io/QVADynKvrRoutines.h"
#include "eigensolver_io/impl/QVADynKvrScratchFiles.h"
#include "internal/QVANumerics.h"
#include "tests/eigensolver_io/QVADynScratchTestFiles.h"

namespace {

constexpr int kHeight = 10;    // H: rows of the projection vectors
constexpr int kProjected = 3;  // L: values per record of kvr.erp

// The stand-in's fixed vectors: entry (row, l), rows 1-based.
double Basis(int row, int l) { return static_cast<double>((row * (l + 2)) % 5) - 2.0; }

// The single-entry records of kvr.ep_ac: rows and values.
const int kEntryRows[] = {2, 5, 9};
const double kEntryValues[] = {1.5, -2.0, 0.25};

void WriteEigensolverProjection() {
  QVADynTestRecordFile file;
  file.Record().Int(kHeight).Int(3);
  for (int entry = 0; entry < 3; ++entry) {
    file.Record().Int(1).Int(kEntryRows[entry]).Double(kEntryValues[entry]);
  }
  file.WriteTo(kQVADynKvrEigensolverProjectionFile);
}

// The eigensolver stand-in: reads kvr.ep and writes kvr.erp with one record
// of L projections per vector record.
void ProjectLikeTheEigensolver() {
  std::vector<QVADynTestParsedRecord> records = QVADynTestParseRecords(kQVADynKvrProjectionFile);
  ASSERT_FALSE(records.empty());
  const int height = records[0].Int();
  const int vectors = records[0].Int();
  ASSERT_EQ(static_cast<int>(records.size()), vectors + 1);

  QVADynTestRecordFile output;
  output.Record().Int(kProjected).Int(vectors);
  for (int vector = 1; vector <= vectors; ++vector) {
    QVADynTestParsedRecord& record = records[QVAIndex(vector)];
    const int entries = record.Int();
    std::vector<int> rows(QVAIndex(entries));
    for (int& row : rows) row = record.Int();
    std::vector<double> dense(QVAIndex(height) + 1, 0.0);
    for (int row : rows) dense[QVAIndex(row)] = record.Double();
    QVADynTestRecord& projections = output.Record();
    for (int l = 0; l < kProjected; ++l) {
      double sum = 0.0;
      for (int row = 1; row <= height; ++row) sum += Basis(row, l) * dense[QVAIndex(row)];
      projections.Double(sum);
    }
  }
  output.WriteTo(kQVADynKvrProjectedValuesFile);
}

TEST(QVADynAcousticExchange, VectorsGoOutThroughKvrEpAndTheirProjectionsComeBackIntoX) {
  QVADynTestScratchDirectory directory;
  WriteEigensolverProjection();
  // X: 4 rows (H - 3 ... H = rows 7 ... 10), 2 vectors to add, room for L = 3
  // columns of projections read back.
  constexpr int kRows = 4;
  constexpr int kVectors = 2;
  constexpr int kKept = 1;
  std::vector<double> X(kRows * kProjected, 0.0);
  for (int vector = 0; vector < kVectors; ++vector) {
    for (int row = 0; row < kRows; ++row) X[row + vector * kRows] = row - 2.0 * vector + 1.0;
  }
  const std::vector<double> added = X;

  int code = 1;
  int rows = kRows;
  int vectors = kVectors;
  int kept = kKept;
  QVADYNACOUSTICPROJECTION(&code, &rows, &vectors, X.data(), &kept);
  ASSERT_TRUE(QVADynTestFileExists(kQVADynKvrProjectionFile));
  ProjectLikeTheEigensolver();
  code = 2;
  QVADYNACOUSTICPROJECTION(&code, &rows, &vectors, X.data(), &kept);

  // kvr.ep holds [entry 1, added 1, added 2, entry 2, entry 3]; code 2 skips
  // the first and puts the projections of the other four into rows 0 ... 3.
  auto projectionOfAdded = [&](int vector, int l) {
    double sum = 0.0;
    for (int row = 0; row < kRows; ++row) {
      sum += Basis(kHeight - kRows + 1 + row, l) * added[row + vector * kRows];
    }
    return sum;
  };
  for (int l = 0; l < kProjected; ++l) {
    EXPECT_EQ(X[0 + l * kRows], projectionOfAdded(0, l)) << l;
    EXPECT_EQ(X[1 + l * kRows], projectionOfAdded(1, l)) << l;
    EXPECT_EQ(X[2 + l * kRows], Basis(kEntryRows[1], l) * kEntryValues[1]) << l;
    EXPECT_EQ(X[3 + l * kRows], Basis(kEntryRows[2], l) * kEntryValues[2]) << l;
  }
  EXPECT_FALSE(QVADynTestFileExists(kQVADynKvrProjectedValuesFile));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrProjectionFile));
  EXPECT_TRUE(QVADynTestFileExists(kQVADynKvrEigensolverProjectionFile));
}

}  // namespace
