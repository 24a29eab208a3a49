// Pure text checks the store makes before text reaches its DOM: XML names and
// selection queries. No COM here, so each check can be tested on its own.
#pragma once

#include <cstddef>

namespace syntax {

// True when name (up to its first NUL) matches XML 1.0's Name production.
bool isXmlName(const wchar_t* name) noexcept;

// True when query is a selection expression that XPath 1.0 or XSL Patterns syntax
// completes. False for null, for an empty query, a path that stops after "/" or "//",
// an unclosed bracket or literal, a missing operand: Wine's msxml3 crashes on those
// instead of failing.
bool isCompleteQuery(const wchar_t* query) noexcept;

} // namespace syntax
