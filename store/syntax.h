// Pure text checks the store makes before text reaches its DOM: XML names, XML text
// and selection queries. No COM here, so each check can be tested on its own.
#pragma once

#include <cstddef>

namespace syntax {

// True when name (up to its first NUL) matches XML 1.0's Name production.
bool isXmlName(const wchar_t* name) noexcept;
// The same for the first length code units of name. A BSTR may hold a NUL before its
// end: "ab\0cd" is no name.
bool isXmlName(const wchar_t* name, size_t length) noexcept;

// True when the first length code units of text are all XML 1.0 characters: tab, line
// feed, carriage return, U+0020-U+D7FF, U+E000-U+FFFD, and well-formed surrogate pairs.
// A NUL, a lone surrogate, another control character, U+FFFE or U+FFFF make it false.
// A null text of length 0 is the empty string, as a null BSTR is.
bool isXmlText(const wchar_t* text, size_t length) noexcept;

// Names the store can write and read back as they were. A prefixed name reads back
// only under a declaration of its prefix, which the store does not write, so names
// have no colon; an attribute may also be in the "xml" namespace ("xml:lang",
// "xml:space"), whose prefix is bound without a declaration. A bare "xmlns" is no
// attribute the store can keep: it would move the element into a namespace.
bool isStorableElementName(const wchar_t* name, size_t length) noexcept;
bool isStorableAttributeName(const wchar_t* name, size_t length) noexcept;

// True when query is a selection expression that XPath 1.0 or XSL Patterns syntax
// completes. False for null, for an empty query, a path that stops after "/" or "//",
// an unclosed bracket or literal, a missing operand: Wine's msxml3 crashes on those
// instead of failing.
bool isCompleteQuery(const wchar_t* query) noexcept;

} // namespace syntax
