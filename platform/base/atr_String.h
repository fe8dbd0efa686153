#pragma once

// Message strings and their translation. A message template such as
// "Unknown energy type in %s" is passed through atr_translate, which looks it
// up in the installed message catalogue (none is installed by the platform, so
// a template translates to itself) and substitutes values for its "%s"
// placeholders, numbered from 1 in order of appearance:
//
//   atr_translate message("Multiple calls to %s are not allowed!");
//   atr_SubstituteFormat(message, 1, "QVADynEvent::SetFrameValues");
//   atr_String text = message.Result();
//   // "Multiple calls to QVADynEvent::SetFrameValues are not allowed!"

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/cow_List.h"
#include "platform/base/cow_String.h"

// Abstract readable message text.
class QVA_PLATFORM_EXPORT atr_StringBase {
 public:
  virtual ~atr_StringBase();
  // The text, zero-terminated; never null.
  virtual const char* Text() const = 0;
};

// A finished message text. Copies share their characters.
class QVA_PLATFORM_EXPORT atr_String : public atr_StringBase {
 public:
  atr_String() = default;
  explicit atr_String(const cow_String& text);
  const char* Text() const override;
  const cow_String& String() const { return text_; }

 private:
  cow_String text_;
};

// A template being translated; placeholders are filled with
// atr_SubstituteFormat and the finished text is taken with Result().
class QVA_PLATFORM_EXPORT atr_translate : public atr_StringBase {
 public:
  explicit atr_translate(const char* messageTemplate);
  // The translated template with every substitution made so far; placeholders
  // without a value stay as "%s".
  atr_String Result() const;
  const char* Text() const override;

 private:
  friend QVA_PLATFORM_EXPORT void atr_SubstituteFormat(atr_translate&, int, const cow_String&);
  struct Substitution {
    int index;
    cow_String value;
  };
  cow_String template_;
  cow_List<Substitution> substitutions_;
  cow_String result_;
};

// Substitutes `value` for placeholder `index` (1-based) of `translation`. A
// value without buffer is substituted as the empty text. An index with no
// matching placeholder changes nothing. Placeholders are counted in the
// template, so "%s" inside a substituted value is never taken for one; a second
// substitution for the same index replaces the first.
QVA_PLATFORM_EXPORT void atr_SubstituteFormat(atr_translate& translation, int index,
                                              const cow_String& value);
