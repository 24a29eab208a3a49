// The pure text checks: which queries a selection syntax completes, which strings are
// XML names or XML text, and which names the store can write and read back. Wine's
// msxml3 crashes on the queries refused here; the store-level query tables check the
// same guard through the store.
#include "store/syntax.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Text with everything outside printable ASCII written as \uXXXX, for failure messages.
std::string escaped(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
            out += code;
        }
    }
    return out;
}

struct QueryCase {
    const wchar_t* query;
    bool complete;
};

TEST(SyntaxQueries, CompleteOnlyWhereASelectionSyntaxCompletesThem)
{
    const QueryCase cases[] = {
        // Paths, steps and node tests.
        {L".//a", true},
        {L"a/b", true},
        {L"a//b", true},
        {L"/", true},
        {L"/root", true},
        {L"/ a", true},
        {L"//a", true},
        {L".", true},
        {L"..", true},
        {L"../a", true},
        {L"*", true},
        {L"@*", true},
        {L"a/@k", true},
        {L"text()", true},
        {L"b/node()", true},
        {L"child::b", true},
        {L"ancestor-or-self::node()", true},
        {L"ns:a", true},
        {L"ns:*", true},
        {L"\u00e9l\u00e9ment/\u4e2d", true},
        {L".//", false},
        {L"./", false},
        {L"//", false},
        {L"a//", false},
        {L"b/", false},
        {L"b///c", false},
        {L"/ /", false},
        {L"././", false},
        {L".//9a", false},
        {L"@", false},
        {L"child::", false},
        {L"a::", false},
        {L"b:", false},
        {L"a:1", false},
        {L"b/[1]", false},
        {L"b/(c)", false},
        {L"*b", false},
        {L"#", false},
        // Predicates.
        {L"a[1]", true},
        {L"a[1][2]", true},
        {L"//a[@k='v']", true},
        {L"a[not(b)]", true},
        {L"a[last()]", true},
        {L"*[@a]|b", true},
        {L"b[", false},
        {L"b[1", false},
        {L"b[]", false},
        {L"b[']", false},
        {L"b[c//]", false},
        {L"b[1 2]", false},
        {L"a]", false},
        // Primaries: literals, numbers, variables, groups and calls.
        {L"-1", true},
        {L".5", true},
        {L"1.5", true},
        {L"'text'", true},
        {L"\"text\"", true},
        {L"$x", true},
        {L"$x/a", true},
        {L"$x[1]", true},
        {L"(b)[0]", true},
        {L"(b)/c", true},
        {L"count(a) > 1", true},
        {L"f(a, 'b', 3)", true},
        {L"count(", false},
        {L"count(b,)", false},
        {L"f(,)", false},
        {L"(b", false},
        {L"()", false},
        {L"(.//)", false},
        {L"'", false},
        {L"\"text", false},
        {L"$", false},
        {L"$1", false},
        // Operators of XPath.
        {L"a | b", true},
        {L"a | b | c", true},
        {L"a or b", true},
        {L"a and b", true},
        {L"a = b", true},
        {L"a != b", true},
        {L"a <= b", true},
        {L"a >= b", true},
        {L"a < b", true},
        {L"a + b - 1", true},
        {L"a*b", true},
        {L"a div b", true},
        {L"a mod 2", true},
        {L"--a", true},
        {L"1 - -1", true},
        {L"-a | b", true},
        {L"a[b='x' and c!='y' or d>=1]", true},
        {L"b|", false},
        {L"b|.//", false},
        {L"a | -b", false},
        {L"b=", false},
        {L"a or", false},
        {L"b and", false},
        {L"b*", false},
        {L"1-", false},
        {L"--", false},
        {L"b c", false},
        // Operators and method calls of XSL Patterns.
        {L"a[@k $eq$ 'v']", true},
        {L"b[c $ieq$ c]", true},
        {L"b[c $and$ c $or$ d]", true},
        {L"b[$not$ x]", true},
        {L"b[$any$ c]", true},
        {L"b[$all$ c $lt$ 1]", true},
        {L"b[c && c]", true},
        {L"b[c || x]", true},
        {L"b[end()]", true},
        {L"item!nodeName()", true},
        {L"b $or$", false},
        {L"$not$", false},
        {L"a[@k $xx$ 'v']", false},
        {L"b!", false},
        {L"b!c", false},
        // Nothing at all.
        {L"", false},
        {L" ", false},
        {L" \t\r\n", false},
    };
    for (const QueryCase& c : cases)
        EXPECT_EQ(c.complete, syntax::isCompleteQuery(c.query)) << escaped(c.query);
    EXPECT_FALSE(syntax::isCompleteQuery(nullptr));
}

// Nesting deeper than the recognizer allows is refused; operands side by side are not
// nesting, however many.
TEST(SyntaxQueries, RefusesOnlyDeepNesting)
{
    const auto nested = [](const wchar_t* open, int depth, const wchar_t* middle, const wchar_t* close) {
        std::wstring query;
        for (int i = 0; i < depth; ++i)
            query += open;
        query += middle;
        for (int i = 0; i < depth && *close; ++i)
            query += close;
        return query;
    };
    EXPECT_TRUE(syntax::isCompleteQuery(nested(L"(", 99, L"a", L")").c_str()));
    EXPECT_FALSE(syntax::isCompleteQuery(nested(L"(", 100, L"a", L")").c_str()));
    EXPECT_TRUE(syntax::isCompleteQuery(nested(L"-", 99, L"a", L"").c_str()));
    EXPECT_FALSE(syntax::isCompleteQuery(nested(L"-", 100, L"a", L"").c_str()));
    EXPECT_TRUE(syntax::isCompleteQuery(nested(L"a[", 99, L"1", L"]").c_str()));
    EXPECT_FALSE(syntax::isCompleteQuery(nested(L"a[", 100, L"1", L"]").c_str()));

    std::wstring sideBySide = L"(a)";
    for (int i = 0; i < 300; ++i)
        sideBySide += i % 2 ? L" or (a)" : L" + -(a)[1]";
    EXPECT_TRUE(syntax::isCompleteQuery(sideBySide.c_str()));
}

struct NameCase {
    const wchar_t* name;
    bool valid;
};

const NameCase kNameCases[] = {
    // ASCII.
    {L"root", true},
    {L"ID6F9619FF-8B86-D011-B42D-00CF4FC964FF", true}, // a generated identifier
    {L"_a", true},
    {L":a", true},
    {L"a:b", true},
    {L"a-b.c_d:e9", true},
    {L"A", true},
    {L"", false},
    {L"9a", false},
    {L"-a", false},
    {L".a", false},
    {L"a b", false},
    {L"a<b", false},
    {L"a\"b", false},
    {L"a/b", false},
    {L"a$", false},
    // Letters and marks beyond ASCII.
    {L"\u00e9l\u00e9ment", true},
    {L"\u4e2d\u6587", true},
    {L"\u0391\u03b2", true},
    {L"\u200c", true},
    {L"\ufdf0", true},
    {L"a\u00b7b", true},
    {L"\u00b7a", false},
    {L"a\u0301", true},
    {L"\u0301a", false},
    {L"a\u203f", true},
    {L"\u203fa", false},
    {L"a\u00d7", false},
    {L"a\u00f7", false},
    {L"\u037e", false},
    {L"a\u2000", false},
    {L"a\ufdd0", false},
    {L"a\ufffe", false},
    // Characters beyond the Basic Multilingual Plane, as surrogate pairs.
    {L"\U00010000x", true},
    {L"x\U000effff", true},
    {L"x\U000f0000", false},
    {L"\xd800", false},
    {L"a\xd800", false},
    {L"a\xdc00", false},
    {L"a\xdc00\xd800", false},
};

TEST(SyntaxNames, FollowXmlNameProduction)
{
    for (const NameCase& c : kNameCases)
        EXPECT_EQ(c.valid, syntax::isXmlName(c.name)) << escaped(c.name);
    EXPECT_FALSE(syntax::isXmlName(nullptr));
}

// A string literal with its length, which counts any NUL written inside it.
struct Counted {
    template <size_t N>
    Counted(const wchar_t (&literal)[N]) : text(literal), length(N - 1) {}
    std::wstring string() const { return std::wstring(text, length); }

    const wchar_t* text;
    size_t length;
};

struct CountedCase {
    Counted text;
    bool valid;
};

TEST(SyntaxNames, CountedNamesEndAtTheirLengthAndRefuseANulBeforeIt)
{
    for (const NameCase& c : kNameCases)
        EXPECT_EQ(c.valid, syntax::isXmlName(c.name, std::wcslen(c.name))) << escaped(c.name);

    const CountedCase cases[] = {
        {L"ab\0cd", false},
        {L"ab\0", false},
        {L"\0ab", false},
        {L"\0", false},
        {L"a\0\U00010000", false},
    };
    for (const CountedCase& c : cases)
        EXPECT_EQ(c.valid, syntax::isXmlName(c.text.text, c.text.length)) << escaped(c.text.string());

    // The length, not a NUL, ends the name; a pair cut in two by it is no name character.
    EXPECT_TRUE(syntax::isXmlName(L"ab cd", 2));
    EXPECT_FALSE(syntax::isXmlName(L"a\U00010000", 2));
    EXPECT_TRUE(syntax::isXmlName(L"a\U00010000", 3));
    EXPECT_FALSE(syntax::isXmlName(L"ab", 0));
    EXPECT_FALSE(syntax::isXmlName(nullptr, 0));
}

TEST(SyntaxText, AllowsOnlyXmlCharacters)
{
    const CountedCase cases[] = {
        {L"", true},
        {L"plain text", true},
        {L"\t\n\r", true},
        {L"\x7f" L"\x85", true},
        {L"\u00e9\u4e2d", true},
        {L"\xd7ff", true},
        {L"\xe000", true},
        {L"\xfffd", true},
        {L"\U00010000", true},
        {L"\U0010ffff", true},
        {L"a\U0001f600b", true},
        {L"\0", false},
        {L"a\0b", false},
        {L"\x1", false},
        {L"\x8", false},
        {L"\xb", false},
        {L"\xc", false},
        {L"\x1f", false},
        {L"\xfffe", false},
        {L"\xffff", false},
        {L"\xd800", false},
        {L"\xdbff", false},
        {L"\xd800" L"a", false},
        {L"a\xdc00", false},
        {L"\xdc00\xd800", false},
        {L"\xd800\xd800\xdc00", false},
    };
    for (const CountedCase& c : cases)
        EXPECT_EQ(c.valid, syntax::isXmlText(c.text.text, c.text.length)) << escaped(c.text.string());

    // Only the first length units count, and a null text is the empty string.
    EXPECT_TRUE(syntax::isXmlText(L"ab\0", 2));
    EXPECT_FALSE(syntax::isXmlText(L"a\U00010000", 2));
    EXPECT_TRUE(syntax::isXmlText(nullptr, 0));
}

TEST(SyntaxNames, StorableNamesHaveNoPrefixButTheXmlOneOnAttributes)
{
    const struct {
        Counted name;
        bool element;
        bool attribute;
    } cases[] = {
        {L"a", true, true},
        {L"_x-1.\u00e9", true, true},
        {L"xml", true, true},
        {L"xmlfoo", true, true},
        {L"a:b", false, false},
        {L":a", false, false},
        {L"a:", false, false},
        {L"xml:lang", false, true},
        {L"xml:space", false, true},
        {L"xml:base", false, true},
        {L"xml:a-b.c", false, true},
        {L"xml:\U00010000", false, true},
        {L"xml:", false, false},
        {L"xml:9", false, false},
        {L"xml::a", false, false},
        {L"xml:a:b", false, false},
        {L"XML:lang", false, false},
        {L"xmlns:a", false, false},
        {L"xmlns", true, false},
        {L"xmlnsa", true, true},
        {L"", false, false},
        {L"9a", false, false},
        {L"a\0", false, false},
        {L"xml:lang\0x", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.element, syntax::isStorableElementName(c.name.text, c.name.length)) << escaped(c.name.string());
        EXPECT_EQ(c.attribute, syntax::isStorableAttributeName(c.name.text, c.name.length))
            << escaped(c.name.string());
    }
    EXPECT_FALSE(syntax::isStorableElementName(nullptr, 0));
    EXPECT_FALSE(syntax::isStorableAttributeName(nullptr, 0));
}

} // namespace
