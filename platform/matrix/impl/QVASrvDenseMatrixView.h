#pragma once

// What a QVASrvDenseMatrix sees: a column-major rectangle of doubles with a
// leading dimension, its chunk sizes, and how its rows and columns are named
// (positions in the distribution's sets, member lists, or plain numbers).
// Internal to the matrix services; the classes derived from QVASrvDenseMatrix
// fill it.
//
//   rows 2 ... 4 of a 10 x 3 scratch matrix: values = storage + 2,
//   leadingDimension = 10, rows = 3, firstRowInSet = 2.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimDistributionID.h"

struct QVASrvDenseMatrix::View {
  View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  // Frees the values the view owns.
  ~View();

  // Names of the rows or columns of one dimension, in the order of precedence:
  // a member list, a set of the database (row 0 being position firstInSet),
  // or the row (column) numbers themselves.
  struct Members {
    QVASimCSetID set;
    int firstInSet = 0;
    std::vector<int> list;
    std::unordered_map<int, int> positionOfMember;

    // Member of row (column) `index`, which lies inside the dimension.
    int MemberAt(int index) const;
    // Row (column) of `member` within `size` rows (columns), or -1.
    int IndexOf(int member, int size) const;
    // Takes `count` members from `members` as the list; null keeps none.
    void SetList(const int* members, int count);
    // The members of rows (columns) first ... first + count - 1 of `parent`.
    void TakeRange(const Members& parent, int first, int count);
  };

  bool isNull = true;
  double* values = nullptr;
  std::int64_t leadingDimension = 0;
  int rows = 0;
  int columns = 0;
  int rowChunk = 1;
  int columnChunk = 1;
  int access = 0;
  QVASimDistributionID distribution;
  Members rowMembers;
  Members columnMembers;
  // Storage owned by this view (scratch and container matrices), from mem_Malloc.
  double* ownedValues = nullptr;

  // Sees the values, sizes, chunks and sets of a dense distribution view.
  void AssignDistribution(const QVASimDistribution& source);
  // Allocates zeroed rows x columns values owned by the view.
  void AllocateOwned(int numberOfRows, int numberOfColumns);
  // Sets the chunk sizes: below 1 the whole dimension, above it cut to it,
  // and at least 1.
  void SetChunks(int requestedRowChunk, int requestedColumnChunk);
};

// "QVASrvDenseMatrix (in-core, 100 x 12)" or "QVASrvDenseMatrix (distribution
// 4, 100 x 12)": the object named in messages.
std::string QVASrvDescribe(const QVASrvDenseMatrix& matrix);
