#pragma once

// Failed preconditions that the component reports with a fixed text rather than
// an exception object. The text names the condition as written, the source and
// the line; it is one constant, nothing is formatted at run time. It is thrown
// as a character pointer (type char*), so the host catches it as char*,
// const char* or void*:
//
//   if (!(numActiveModes > 0 && numActiveModes < numOrigModes && activeModes != NULL))
//     QVADynAssertionFailure(kQVADynActiveModeSubsetAssertion);

// Precondition of the active-mode subset constructor of a modal system. The
// line number is fixed by the documented text that hosts match, not a line of
// QVADynModalSystemSubset.cpp.
inline constexpr const char* kQVADynActiveModeSubsetAssertion =
    "***Fatal Error: Assertion Failed: "
    "numActiveModes > 0 && numActiveModes < numOrigModes && activeModes != NULL: "
    "QVADyn/QVADynCore/impl/QVADynModalSystem: 125";

// Throws `text` as char*. The characters stay constant: a handler reads them
// and must not change them.
[[noreturn]] inline void QVADynAssertionFailure(const char* text) { throw const_cast<char*>(text); }
