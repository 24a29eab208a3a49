// The thread's error object, which tells a client why a call failed: the interface
// whose method failed, the component that failed it and a description in plain
// words. Late-bound callers receive it as the exception of IDispatch::Invoke.
#pragma once

#include "framework/com.h"

#include <string>

namespace framework {

// Sets the thread's error object. The method's HRESULT is its own; nothing here changes it.
void setErrorInfo(REFIID iid, const wchar_t* source, const wchar_t* description) noexcept;

// Leaves the thread with no error object, as a call that succeeded must.
void clearErrorInfo() noexcept;

// A reason noted by whichever layer decided that the call fails, for the method to
// report: a note is kept for one HRESULT and taken once.
void noteFailure(HRESULT hr, std::wstring description) noexcept;
std::wstring takeFailureNote(HRESULT hr) noexcept;
void discardFailureNote() noexcept;

} // namespace framework
