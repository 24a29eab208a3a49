#include "store/syntax.h"

#include <cstdint>
#include <cwchar>
#include <iterator>

namespace syntax {

namespace {

bool inRange(unsigned c, unsigned low, unsigned high) { return c >= low && c <= high; }

// XML 1.0 (fifth edition) NameStartChar, for characters of the Basic Multilingual Plane.
bool isNameStartChar(unsigned c)
{
    return c == ':' || c == '_' || inRange(c, 'A', 'Z') || inRange(c, 'a', 'z') || inRange(c, 0xC0, 0xD6) ||
           inRange(c, 0xD8, 0xF6) || inRange(c, 0xF8, 0x2FF) || inRange(c, 0x370, 0x37D) ||
           inRange(c, 0x37F, 0x1FFF) || inRange(c, 0x200C, 0x200D) || inRange(c, 0x2070, 0x218F) ||
           inRange(c, 0x2C00, 0x2FEF) || inRange(c, 0x3001, 0xD7FF) || inRange(c, 0xF900, 0xFDCF) ||
           inRange(c, 0xFDF0, 0xFFFD);
}

bool isNameChar(unsigned c)
{
    return isNameStartChar(c) || c == '-' || c == '.' || inRange(c, '0', '9') || c == 0xB7 ||
           inRange(c, 0x300, 0x36F) || inRange(c, 0x203F, 0x2040);
}

// Characters #x10000-#xEFFFF, all name characters, arrive as surrogate pairs. at[1]
// is read only after a high surrogate, so never past a terminating NUL.
bool isSupplementaryNamePair(const wchar_t* at)
{
    return inRange(at[0], 0xD800, 0xDB7F) && inRange(at[1], 0xDC00, 0xDFFF);
}

// Code units of the longest Name at the start of text, reading at most length of
// them; without colons, of the longest NCName. A NUL is no name character, so it
// ends the name whatever length says.
size_t nameLength(const wchar_t* text, size_t length, bool colons)
{
    size_t n = 0;
    while (n < length) {
        if (n + 1 < length && isSupplementaryNamePair(text + n)) {
            n += 2;
            continue;
        }
        const wchar_t c = text[n];
        if (!(n == 0 ? isNameStartChar(c) : isNameChar(c)) || (c == L':' && !colons))
            break;
        ++n;
    }
    return n;
}

bool isNcName(const wchar_t* name, size_t length)
{
    return name && length > 0 && nameLength(name, length, false) == length;
}

// Recognises selection expressions: the location paths, predicates, function calls
// and operators of XPath 1.0 together with those of XSL Patterns ("$and$", "||",
// "!" method calls). It accepts more than any one DOM evaluates and refuses only
// what no selection syntax completes: an empty expression, a path that stops after
// "/" or "//", an unclosed bracket or literal, a missing operand. Wine's msxml3 crashes on
// those instead of failing.
class QueryRecognizer {
public:
    explicit QueryRecognizer(const wchar_t* text) noexcept : m_next(text) { advance(); }

    bool complete() noexcept { return expression() && m_token == Token::End; }

private:
    enum class Token {
        End,
        Invalid,
        Slash,
        DoubleSlash,
        Dot,
        DotDot,
        At,
        Axis,
        LeftBracket,
        RightBracket,
        LeftParen,
        RightParen,
        Comma,
        Pipe,
        Bang,
        Star,
        Plus,
        Minus,
        Name,
        Literal,
        Number,
        Variable,
        OrOperator,
        AndOperator,
        EqualityOperator,
        RelationalOperator,
        PrefixOperator,
    };

    // How a token is spelled: a symbol, or an operator word between '$' signs.
    struct Spelling {
        const wchar_t* text;
        Token token;
    };

    // Deeper nesting than this is refused rather than risk the stack.
    static const int kMaxDepth = 100;

    static bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
    static bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

    // Length of the NCName at text (no colon), 0 when none starts there.
    static size_t ncNameLength(const wchar_t* text) { return nameLength(text, SIZE_MAX, false); }

    static Token scan(const wchar_t*& at, const wchar_t*& text, size_t& length) noexcept
    {
        while (isBlank(*at))
            ++at;
        text = at;
        const wchar_t c = at[0];
        const wchar_t d = c ? at[1] : 0;
        if (c == 0)
            return Token::End;
        if (c == L'\'' || c == L'"') {
            const wchar_t* close = std::wcschr(at + 1, c);
            if (!close)
                return Token::Invalid;
            at = close + 1;
            return Token::Literal;
        }
        if (isDigit(c) || (c == L'.' && isDigit(d))) {
            while (isDigit(*at))
                ++at;
            if (*at == L'.')
                ++at;
            while (isDigit(*at))
                ++at;
            return Token::Number;
        }
        if (const size_t name = ncNameLength(at)) {
            at += name;
            // A prefixed name or a prefixed wildcard; "::" belongs to the axis.
            if (at[0] == L':' && at[1] != L':') {
                if (at[1] == L'*') {
                    at += 2;
                } else {
                    const size_t local = ncNameLength(at + 1);
                    if (local == 0)
                        return Token::Invalid;
                    at += 1 + local;
                }
            }
            length = static_cast<size_t>(at - text);
            return Token::Name;
        }
        if (c == L'$')
            return scanDollar(at, text, length);
        static const Spelling symbols[] = {
            {L"//", Token::DoubleSlash},    {L"/", Token::Slash},
            {L"..", Token::DotDot},         {L".", Token::Dot},
            {L"::", Token::Axis},           {L"@", Token::At},
            {L"[", Token::LeftBracket},     {L"]", Token::RightBracket},
            {L"(", Token::LeftParen},       {L")", Token::RightParen},
            {L",", Token::Comma},           {L"||", Token::OrOperator},
            {L"|", Token::Pipe},            {L"&&", Token::AndOperator},
            {L"!=", Token::EqualityOperator}, {L"!", Token::Bang},
            {L"=", Token::EqualityOperator}, {L"<=", Token::RelationalOperator},
            {L"<", Token::RelationalOperator}, {L">=", Token::RelationalOperator},
            {L">", Token::RelationalOperator}, {L"*", Token::Star},
            {L"+", Token::Plus},            {L"-", Token::Minus},
        };
        for (const Spelling& symbol : symbols) {
            const size_t n = std::wcslen(symbol.text);
            if (std::wcsncmp(at, symbol.text, n) == 0) {
                at += n;
                return symbol.token;
            }
        }
        return Token::Invalid;
    }

    // "$name$" is an XSL Patterns operator, "$name" a variable.
    static Token scanDollar(const wchar_t*& at, const wchar_t*& text, size_t& length) noexcept
    {
        const size_t name = ncNameLength(at + 1);
        if (name == 0)
            return Token::Invalid;
        if (at[1 + name] != L'$') {
            at += 1 + name;
            length = static_cast<size_t>(at - text);
            return Token::Variable;
        }
        static const Spelling words[] = {
            {L"or", Token::OrOperator},          {L"and", Token::AndOperator},
            {L"eq", Token::EqualityOperator},    {L"ieq", Token::EqualityOperator},
            {L"ne", Token::EqualityOperator},    {L"ine", Token::EqualityOperator},
            {L"lt", Token::RelationalOperator},  {L"ilt", Token::RelationalOperator},
            {L"gt", Token::RelationalOperator},  {L"igt", Token::RelationalOperator},
            {L"le", Token::RelationalOperator},  {L"ile", Token::RelationalOperator},
            {L"ge", Token::RelationalOperator},  {L"ige", Token::RelationalOperator},
            {L"not", Token::PrefixOperator},     {L"any", Token::PrefixOperator},
            {L"all", Token::PrefixOperator},
        };
        for (const Spelling& word : words) {
            if (std::wcslen(word.text) == name && std::wcsncmp(at + 1, word.text, name) == 0) {
                at += name + 2;
                return word.token;
            }
        }
        return Token::Invalid;
    }

    void advance() noexcept { m_token = scan(m_next, m_text, m_length); }

    Token peek() const noexcept
    {
        const wchar_t* at = m_next;
        const wchar_t* text = nullptr;
        size_t length = 0;
        return scan(at, text, length);
    }

    bool accept(Token token) noexcept
    {
        if (m_token != token)
            return false;
        advance();
        return true;
    }

    // A name in operator position ("and", "or", "div", "mod") is an operator.
    bool acceptWord(const wchar_t* word) noexcept
    {
        if (m_token != Token::Name || std::wcslen(word) != m_length || std::wcsncmp(m_text, word, m_length) != 0)
            return false;
        advance();
        return true;
    }

    // Operands joined by binary operators. Precedence decides only how a query is
    // evaluated, not whether it is complete, so every operator is taken alike.
    bool expression() noexcept
    {
        if (++m_depth > kMaxDepth)
            return false;
        bool complete = unaryExpression();
        while (complete && acceptBinaryOperator())
            complete = unaryExpression();
        --m_depth;
        return complete;
    }

    bool acceptBinaryOperator() noexcept
    {
        return accept(Token::OrOperator) || acceptWord(L"or") || accept(Token::AndOperator) ||
               acceptWord(L"and") || accept(Token::EqualityOperator) || accept(Token::RelationalOperator) ||
               accept(Token::Plus) || accept(Token::Minus) || accept(Token::Star) || acceptWord(L"div") ||
               acceptWord(L"mod");
    }

    bool unaryExpression() noexcept
    {
        if (accept(Token::Minus) || accept(Token::PrefixOperator)) {
            if (++m_depth > kMaxDepth)
                return false;
            const bool complete = unaryExpression();
            --m_depth;
            return complete;
        }
        return unionExpression();
    }

    bool unionExpression() noexcept
    {
        if (!pathExpression())
            return false;
        while (accept(Token::Pipe)) {
            if (!pathExpression())
                return false;
        }
        return true;
    }

    bool pathExpression() noexcept
    {
        bool complete;
        if (accept(Token::Slash)) {
            complete = startsStep() ? relativePath() : true;
        } else if (accept(Token::DoubleSlash)) {
            complete = relativePath();
        } else if (m_token == Token::LeftParen || m_token == Token::Literal || m_token == Token::Number ||
                   m_token == Token::Variable) {
            complete = primary() && predicates();
            if (complete && (accept(Token::Slash) || accept(Token::DoubleSlash)))
                complete = relativePath();
        } else {
            complete = relativePath();
        }
        // An XSL Patterns method call on what the path selected: "item!nodeName()".
        if (complete && accept(Token::Bang))
            complete = m_token == Token::Name && peek() == Token::LeftParen && nodeTest();
        return complete;
    }

    bool primary() noexcept
    {
        if (accept(Token::LeftParen))
            return expression() && accept(Token::RightParen);
        advance();
        return true;
    }

    bool startsStep() const noexcept
    {
        return m_token == Token::Dot || m_token == Token::DotDot || m_token == Token::At || m_token == Token::Star ||
               m_token == Token::Name;
    }

    bool relativePath() noexcept
    {
        if (!step())
            return false;
        while (accept(Token::Slash) || accept(Token::DoubleSlash)) {
            if (!step())
                return false;
        }
        return true;
    }

    bool step() noexcept
    {
        if (accept(Token::Dot) || accept(Token::DotDot))
            return predicates();
        if (accept(Token::At))
            return nodeTest() && predicates();
        if (m_token == Token::Name && peek() == Token::Axis) {
            advance();
            advance();
        }
        return nodeTest() && predicates();
    }

    // A wildcard, a name, or a node test or function written with arguments.
    bool nodeTest() noexcept
    {
        if (accept(Token::Star))
            return true;
        if (!accept(Token::Name))
            return false;
        return m_token == Token::LeftParen ? arguments() : true;
    }

    bool arguments() noexcept
    {
        if (!accept(Token::LeftParen))
            return false;
        if (accept(Token::RightParen))
            return true;
        do {
            if (!expression())
                return false;
        } while (accept(Token::Comma));
        return accept(Token::RightParen);
    }

    bool predicates() noexcept
    {
        while (accept(Token::LeftBracket)) {
            if (!expression() || !accept(Token::RightBracket))
                return false;
        }
        return true;
    }

    const wchar_t* m_next;
    const wchar_t* m_text = nullptr;
    size_t m_length = 0;
    Token m_token = Token::End;
    int m_depth = 0;
};

} // namespace

bool isXmlName(const wchar_t* name) noexcept
{
    if (!name)
        return false;
    const size_t length = nameLength(name, SIZE_MAX, true);
    return length > 0 && name[length] == 0;
}

bool isXmlName(const wchar_t* name, size_t length) noexcept
{
    return name && length > 0 && nameLength(name, length, true) == length;
}

bool isXmlText(const wchar_t* text, size_t length) noexcept
{
    if (!text)
        return length == 0;
    for (size_t n = 0; n < length; ++n) {
        const unsigned c = text[n];
        if (inRange(c, 0xD800, 0xDBFF)) {
            if (n + 1 == length || !inRange(text[n + 1], 0xDC00, 0xDFFF))
                return false;
            ++n;
        } else if (!(c == 0x9 || c == 0xA || c == 0xD || inRange(c, 0x20, 0xD7FF) || inRange(c, 0xE000, 0xFFFD))) {
            return false;
        }
    }
    return true;
}

bool isStorableElementName(const wchar_t* name, size_t length) noexcept
{
    return isNcName(name, length);
}

bool isStorableAttributeName(const wchar_t* name, size_t length) noexcept
{
    static const wchar_t kXmlPrefix[] = L"xml:";
    static const wchar_t kNamespaceDeclaration[] = L"xmlns";
    const size_t prefix = std::size(kXmlPrefix) - 1;
    // A bare xmlns declares the element's namespace: the file reads back with the element
    // in that namespace, where its name no longer finds it, and Wine's msxml3 keeps no
    // such attribute.
    const size_t declaration = std::size(kNamespaceDeclaration) - 1;
    if (name && length == declaration && std::wmemcmp(name, kNamespaceDeclaration, declaration) == 0)
        return false;
    if (name && length > prefix && std::wmemcmp(name, kXmlPrefix, prefix) == 0)
        return isNcName(name + prefix, length - prefix);
    return isNcName(name, length);
}

bool isCompleteQuery(const wchar_t* query) noexcept
{
    return query && QueryRecognizer(query).complete();
}

} // namespace syntax
