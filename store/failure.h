// Refusals with their reasons: whichever routine decides that a call fails says why,
// once, in plain words; the method that fails reports it to the client
// (store/error_reporting.cpp).
#pragma once

#include "framework/error_info.h"

#include <cstddef>
#include <string>

namespace failure {

// Text of a caller's string for a description, in quotes; a null string is "(none)".
// Characters that would not show (a NUL inside a BSTR, controls) are written as \uXXXX.
std::wstring quoted(const wchar_t* text);
std::wstring quoted(const wchar_t* text, size_t length);

// Notes the reason that describe() gives and hands hr back. Without memory for the
// words, the method's own description stands in.
template <class Describe>
HRESULT refuse(HRESULT hr, Describe&& describe) noexcept
{
    try {
        framework::noteFailure(hr, describe());
    } catch (...) {
        framework::discardFailureNote();
    }
    return hr;
}

// The refusals of names that the store's file could not give back as they were.
HRESULT notAnElementName(const wchar_t* name, size_t length) noexcept;
HRESULT notAnAttributeName(const wchar_t* name, size_t length) noexcept;

} // namespace failure
