// cow_String sharing, copy on write and number formats; atr_translate
// substitution.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "platform/base/atr_String.h"
#include "platform/base/cow_String.h"

TEST(cow_String, StringWithoutBufferReadsAsEmpty) {
  const cow_String none;
  EXPECT_EQ(none.Buffer(), nullptr);
  EXPECT_STREQ(none.Text(), "");
  EXPECT_EQ(none.Length(), 0);
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(none.ShareCount(), 0);
  const cow_String fromNull(static_cast<const char*>(nullptr));
  EXPECT_EQ(fromNull.Buffer(), nullptr);
  EXPECT_TRUE(none == "");
  EXPECT_TRUE(none == cow_String(""));
  const cow_String empty("");
  ASSERT_NE(empty.Buffer(), nullptr);
  EXPECT_STREQ(empty.Buffer(), "");
}

TEST(cow_String, CopiesShareUntilOneIsChanged) {
  cow_String original("Number of modes: ");
  cow_String copy(original);
  EXPECT_EQ(original.ShareCount(), 2);
  EXPECT_EQ(original.Buffer(), copy.Buffer());

  copy.AppendInt(12);
  EXPECT_STREQ(original.Text(), "Number of modes: ");
  EXPECT_STREQ(copy.Text(), "Number of modes: 12");
  EXPECT_EQ(original.ShareCount(), 1);
  EXPECT_EQ(copy.ShareCount(), 1);

  cow_String assigned;
  assigned = copy;
  assigned = assigned;  // self-assignment keeps the text and the share count
  EXPECT_EQ(copy.ShareCount(), 2);
  EXPECT_STREQ(assigned.Text(), "Number of modes: 12");

  cow_String moved(std::move(assigned));
  EXPECT_EQ(assigned.Buffer(),
            nullptr);  // NOLINT(bugprone-use-after-move): moved-from has no buffer
  EXPECT_EQ(moved.ShareCount(), 2);
}

TEST(cow_String, CopyOutlivesOriginal) {
  auto* original = new cow_String("Elapsed time spent reading mode shapes: ");
  const cow_String copy(*original);
  delete original;
  EXPECT_STREQ(copy.Text(), "Elapsed time spent reading mode shapes: ");
  EXPECT_EQ(copy.ShareCount(), 1);
}

TEST(cow_String, AppendingGrowsAndMayReadItsOwnText) {
  cow_String text("ab");
  text.Append(text);             // own buffer as the source
  text.Append(text.Text() + 1);  // a pointer into the own buffer
  EXPECT_STREQ(text.Text(), "ababbab");
  EXPECT_EQ(text.Length(), 7);

  cow_String long_text;
  for (int i = 0; i < 1000; ++i) long_text.Append("x");
  EXPECT_EQ(long_text.Length(), 1000);
  EXPECT_EQ(std::strlen(long_text.Text()), 1000u);

  cow_String none;
  none.Append(static_cast<const char*>(nullptr));
  EXPECT_EQ(none.Buffer(), nullptr);
  none += cow_String();
  EXPECT_STREQ(none.Text(), "");

  const cow_String heading = cow_String("\n--- ") + "Solve dynamic system" + cow_String(" ---\n\n");
  EXPECT_STREQ(heading.Text(), "\n--- Solve dynamic system ---\n\n");
  EXPECT_STREQ(cow_String("abcdef", 3).Text(), "abc");
}

// The conversions are printf's "%d", "%.10g" and "%.6g"; the expected texts
// are written out by hand.
TEST(cow_String, NumberConversionsUseTheFixedFormats) {
  EXPECT_STREQ(cow_String::FromInt(0).Text(), "0");
  EXPECT_STREQ(cow_String::FromInt(-42).Text(), "-42");
  EXPECT_STREQ(cow_String::FromInt(INT_MIN).Text(), "-2147483648");
  EXPECT_STREQ(cow_String::FromDouble(0.25).Text(), "0.25");
  EXPECT_STREQ(cow_String::FromDouble(1.0 / 3.0).Text(), "0.3333333333");
  EXPECT_STREQ(cow_String::FromDouble(12345678901234.0).Text(), "1.23456789e+13");
  EXPECT_STREQ(cow_String::FromDouble(-1e-7).Text(), "-1e-07");
  EXPECT_STREQ(cow_String::FromFloat(1.0f / 3.0f).Text(), "0.333333");
  EXPECT_STREQ(cow_String::FromFloat(2.5e9f).Text(), "2.5e+09");

  cow_String line("Number of frequency points:                 ");
  line.AppendInt(3).Append("\n").AppendDouble(1.5).AppendFloat(0.125f);
  EXPECT_STREQ(line.Text(), "Number of frequency points:                 3\n1.50.125");
}

TEST(atr_translate, TemplateWithoutCatalogueTranslatesToItself) {
  const atr_translate message("Unsupported damping type requested");
  EXPECT_STREQ(message.Text(), "Unsupported damping type requested");
  EXPECT_STREQ(message.Result().Text(), "Unsupported damping type requested");
  const atr_translate open("Unknown energy type in %s");
  EXPECT_STREQ(open.Result().Text(), "Unknown energy type in %s");
}

TEST(atr_translate, IndexReplacesThePlaceholderOfThatOrder) {
  atr_translate message("%s then %s then %s");
  atr_SubstituteFormat(message, 2, "second");
  EXPECT_STREQ(message.Text(), "%s then second then %s");
  atr_SubstituteFormat(message, 1, "first %s");  // a "%s" inside a value is text
  atr_SubstituteFormat(message, 3, "third");
  EXPECT_STREQ(message.Result().Text(), "first %s then second then third");
  atr_SubstituteFormat(message, 2, "again");  // the latest value for an index wins
  EXPECT_STREQ(message.Text(), "first %s then again then third");

  atr_SubstituteFormat(message, 0, "none");
  atr_SubstituteFormat(message, 4, "none");
  EXPECT_STREQ(message.Text(), "first %s then again then third");
}

TEST(atr_translate, NameWithoutBufferIsSubstitutedAsEmpty) {
  atr_translate message("Multiple calls to %s are not allowed!");
  atr_SubstituteFormat(message, 1, cow_String());
  EXPECT_STREQ(message.Text(), "Multiple calls to  are not allowed!");

  atr_translate name("%s");
  atr_SubstituteFormat(name, 1, "QVADynEvent::SetModalDamping!");
  EXPECT_STREQ(name.Result().Text(), "QVADynEvent::SetModalDamping!");
}

TEST(atr_String, ResultOutlivesTheTranslation) {
  atr_String result;
  EXPECT_STREQ(result.Text(), "");
  {
    atr_translate message("Unknown energy type in %s");
    atr_SubstituteFormat(message, 1, "QVADynEvent::ModalEnergy");
    result = message.Result();
  }
  EXPECT_STREQ(result.Text(), "Unknown energy type in QVADynEvent::ModalEnergy");
  const atr_StringBase& base = result;
  EXPECT_STREQ(base.Text(), result.String().Text());
}
