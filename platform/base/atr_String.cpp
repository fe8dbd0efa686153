#include "platform/base/atr_String.h"

#include <cstring>

atr_StringBase::~atr_StringBase() = default;

atr_String::atr_String(const cow_String& text) : text_(text) {}

const char* atr_String::Text() const { return text_.Text(); }

// No message catalogue is installed, so a template translates to itself.
atr_translate::atr_translate(const char* messageTemplate)
    : template_(messageTemplate), result_(template_) {}

atr_String atr_translate::Result() const { return atr_String(result_); }

const char* atr_translate::Text() const { return result_.Text(); }

void atr_SubstituteFormat(atr_translate& translation, int index, const cow_String& value) {
  translation.substitutions_.Append(atr_translate::Substitution{index, value});

  // Rebuild the result from the template: placeholder k takes the latest value
  // given for index k, or stays "%s".
  const char* rest = translation.template_.Text();
  cow_String result("");
  int placeholder = 0;
  for (const char* found = std::strstr(rest, "%s"); found != nullptr;
       found = std::strstr(rest, "%s")) {
    result.Append(cow_String(rest, static_cast<int>(found - rest)));
    ++placeholder;
    const cow_String* substitute = nullptr;
    for (int i = 0; i < translation.substitutions_.Size(); ++i) {
      if (translation.substitutions_[i].index == placeholder) {
        substitute = &translation.substitutions_[i].value;
      }
    }
    result.Append(substitute != nullptr ? substitute->Text() : "%s");
    rest = found + 2;
  }
  result.Append(rest);
  translation.result_ = result;
}
