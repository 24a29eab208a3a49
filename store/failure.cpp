#include "store/failure.h"

#include <cstdio>
#include <cwchar>

namespace failure {

std::wstring quoted(const wchar_t* text)
{
    return text ? quoted(text, std::wcslen(text)) : std::wstring(L"(none)");
}

std::wstring quoted(const wchar_t* text, size_t length)
{
    if (!text)
        return L"(none)";
    std::wstring result = L"'";
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20) {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\u%04X", static_cast<unsigned>(text[i]));
            result += escaped;
        } else {
            result += text[i];
        }
    }
    return result + L"'";
}

HRESULT notAnElementName(const wchar_t* name, size_t length) noexcept
{
    return refuse(E_FAIL, [=] {
        return quoted(name, length) + L" is not a name the store can give an element: it takes XML names "
                                      L"without a prefix.";
    });
}

HRESULT notAnAttributeName(const wchar_t* name, size_t length) noexcept
{
    return refuse(E_FAIL, [=] {
        return quoted(name, length) + L" is not a name the store can give an attribute: it takes XML names "
                                      L"without a prefix, and xml:lang or xml:space.";
    });
}

} // namespace failure
