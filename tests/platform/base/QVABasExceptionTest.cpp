// QVABasException and its platform classes: numbers, reports, the place of the
// throw, copies that outlive the original, and the handlers that catch them.

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <string>

#include "platform/base/QVABasException.h"

namespace {
// Line of the QVA_RAISE below, for the recorded place of the throw.
constexpr int kRaiseLine = __LINE__ + 2;
void RaiseIndexError(int row, int rows) {
  QVA_VERIFY(row < rows, kQVASrvIndexOutOfRange,
             "QVASrvMatrix::GetValues: row " << row << " >= " << rows);
}
}  // namespace

TEST(QVABasException, ThrowRecordsFileAndLine) {
  QVABasError error(kQVASrvSizeMismatch, "sizes differ");
  try {
    error.Throw("platform/matrix/QVASrvDenseMatrix", 42);
    FAIL() << "Throw returned";
  } catch (const QVABasError& caught) {
    EXPECT_STREQ(caught.File().Text(), "platform/matrix/QVASrvDenseMatrix");
    EXPECT_EQ(caught.Line(), 42);
    EXPECT_EQ(caught.ErrorNumber(), 101);
    EXPECT_STREQ(caught.DeveloperReport().Text(),
                 "Error 101 at platform/matrix/QVASrvDenseMatrix:42: sizes differ");
  }
}

TEST(QVABasException, RaiseMacroIsCaughtByEveryBase) {
  EXPECT_NO_THROW(RaiseIndexError(1, 2));
  try {
    RaiseIndexError(5, 3);
    FAIL() << "no exception";
  } catch (const QVABasException& caught) {
    EXPECT_EQ(caught.ErrorNumber(), kQVASrvIndexOutOfRange);
    EXPECT_STREQ(caught.Message().Text(), "QVASrvMatrix::GetValues: row 5 >= 3");
    EXPECT_EQ(caught.Line(), kRaiseLine);
    EXPECT_NE(std::strstr(caught.File().Text(), "QVABasExceptionTest.cpp"), nullptr);
  }
  try {
    RaiseIndexError(5, 3);
  } catch (const std::exception& caught) {
    EXPECT_STREQ(caught.what(), "QVASrvMatrix::GetValues: row 5 >= 3");
  }
  bool caughtAsAllocationMixIn = false;
  try {
    RaiseIndexError(5, 3);
  } catch (const mem_AllocationOperators&) {
    caughtAsAllocationMixIn = true;
  }
  EXPECT_TRUE(caughtAsAllocationMixIn);
}

TEST(QVABasException, CopyOutlivesTheOriginal) {
  auto* original = new QVABasError(kQVASimInconsistent, cow_String("set 7 names node 12 twice"));
  EXPECT_STREQ(original->what(), "set 7 names node 12 twice");  // caches the text in the original
  const QVABasError copy(*original);
  delete original;  // through mem_AllocationOperators
  EXPECT_STREQ(copy.what(), "set 7 names node 12 twice");
  EXPECT_STREQ(copy.UserReport().Text(), "Error 152: set 7 names node 12 twice");
}

TEST(QVABasException, HeapExceptionsUseThePlatformAllocator) {
  auto* errors = new QVABasOutOfMemory[2]{QVABasOutOfMemory("a"), QVABasOutOfMemory("b")};
  EXPECT_STREQ(errors[1].Message().Text(), "b");
  delete[] errors;
  QVABasException* single = new QVABasError(kQVABasFileError, "kvr.ev: missing");
  EXPECT_EQ(single->ErrorNumber(), 3);
  delete single;  // virtual destructor, freed by the mix-in
}

TEST(QVABasOutOfMemory, IsCaughtAsPlatformError) {
  try {
    QVABasOutOfMemory("Out of memory: 8 bytes requested").Throw("here", 1);
  } catch (const QVABasError& caught) {
    EXPECT_EQ(caught.ErrorNumber(), kQVABasOutOfMemory);
    EXPECT_STREQ(caught.what(), "Out of memory: 8 bytes requested");
  }
  EXPECT_THROW(QVABasOutOfMemory("x").Raise(), QVABasOutOfMemory);
}
