#include "store/dom.h"

#include <cwchar>
#include <utility>

namespace dom {

namespace {

const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// In-process server, in-process handler, local server and remote server.
const DWORD kDocumentClassContext = 0x17;

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

// Characters #x10000-#xEFFFF, all name characters, arrive as surrogate pairs.
bool isSupplementaryNamePair(const OLECHAR* at)
{
    return inRange(at[0], 0xD800, 0xDB7F) && inRange(at[1], 0xDC00, 0xDFFF);
}

// Recognises selection expressions: the location paths, predicates, function calls
// and operators of XPath 1.0 together with those of XSL Patterns ("$and$", "||",
// "!" method calls). It accepts more than any one DOM evaluates and refuses only
// what no selection syntax completes: an empty expression, a path that stops after
// "/" or "//", an unclosed bracket or literal, a missing operand. Some DOMs crash on
// those instead of failing.
class QueryRecognizer {
public:
    explicit QueryRecognizer(const OLECHAR* text) noexcept : m_next(text) { advance(); }

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

    // Deeper nesting than this is refused rather than risk the stack.
    static const int kMaxDepth = 100;

    static bool isBlank(OLECHAR c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
    static bool isDigit(OLECHAR c) { return c >= L'0' && c <= L'9'; }

    // Length of the NCName at text (no colon), 0 when none starts there.
    static size_t ncNameLength(const OLECHAR* text)
    {
        const OLECHAR* at = text;
        while (*at) {
            if (isSupplementaryNamePair(at)) {
                at += 2;
                continue;
            }
            const bool fits = at == text ? isNameStartChar(*at) : isNameChar(*at);
            if (!fits || *at == L':')
                break;
            ++at;
        }
        return static_cast<size_t>(at - text);
    }

    static Token scan(const OLECHAR*& at, const OLECHAR*& text, size_t& length) noexcept
    {
        while (isBlank(*at))
            ++at;
        text = at;
        const OLECHAR c = at[0];
        const OLECHAR d = c ? at[1] : 0;
        if (c == 0)
            return Token::End;
        if (c == L'\'' || c == L'"') {
            const OLECHAR* close = std::wcschr(at + 1, c);
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
        struct Symbol {
            const wchar_t* text;
            Token token;
        };
        static const Symbol symbols[] = {
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
        for (const Symbol& symbol : symbols) {
            const size_t n = std::wcslen(symbol.text);
            if (std::wcsncmp(at, symbol.text, n) == 0) {
                at += n;
                return symbol.token;
            }
        }
        return Token::Invalid;
    }

    // "$name$" is an XSL Patterns operator, "$name" a variable.
    static Token scanDollar(const OLECHAR*& at, const OLECHAR*& text, size_t& length) noexcept
    {
        const size_t name = ncNameLength(at + 1);
        if (name == 0)
            return Token::Invalid;
        if (at[1 + name] != L'$') {
            at += 1 + name;
            length = static_cast<size_t>(at - text);
            return Token::Variable;
        }
        struct Word {
            const wchar_t* text;
            Token token;
        };
        static const Word words[] = {
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
        for (const Word& word : words) {
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
        const OLECHAR* at = m_next;
        const OLECHAR* text = nullptr;
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

    bool expression() noexcept
    {
        if (++m_depth > kMaxDepth)
            return false;
        const bool complete = orExpression();
        --m_depth;
        return complete;
    }

    bool orExpression() noexcept
    {
        if (!andExpression())
            return false;
        while (accept(Token::OrOperator) || acceptWord(L"or")) {
            if (!andExpression())
                return false;
        }
        return true;
    }

    bool andExpression() noexcept
    {
        if (!equalityExpression())
            return false;
        while (accept(Token::AndOperator) || acceptWord(L"and")) {
            if (!equalityExpression())
                return false;
        }
        return true;
    }

    bool equalityExpression() noexcept
    {
        if (!relationalExpression())
            return false;
        while (accept(Token::EqualityOperator)) {
            if (!relationalExpression())
                return false;
        }
        return true;
    }

    bool relationalExpression() noexcept
    {
        if (!additiveExpression())
            return false;
        while (accept(Token::RelationalOperator)) {
            if (!additiveExpression())
                return false;
        }
        return true;
    }

    bool additiveExpression() noexcept
    {
        if (!multiplicativeExpression())
            return false;
        while (accept(Token::Plus) || accept(Token::Minus)) {
            if (!multiplicativeExpression())
                return false;
        }
        return true;
    }

    bool multiplicativeExpression() noexcept
    {
        if (!unaryExpression())
            return false;
        while (accept(Token::Star) || acceptWord(L"div") || acceptWord(L"mod")) {
            if (!unaryExpression())
                return false;
        }
        return true;
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

    const OLECHAR* m_next;
    const OLECHAR* m_text = nullptr;
    size_t m_length = 0;
    Token m_token = Token::End;
    int m_depth = 0;
};

bool isEvaluable(const OLECHAR* query)
{
    return query && QueryRecognizer(query).complete();
}

bool sameObject(IUnknown* a, IUnknown* b)
{
    ComPtr<IUnknown> left;
    ComPtr<IUnknown> right;
    if (FAILED(a->QueryInterface(IID_PPV_ARGS(&left))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&right))))
        return false;
    return left.Get() == right.Get();
}

// Asks without retrieving a child: some DOMs make a new object per retrieval.
bool hasChildren(IXMLDOMNode* node)
{
    VARIANT_BOOL has = VARIANT_FALSE;
    return node->hasChildNodes(&has) == S_OK && has != VARIANT_FALSE;
}

// Marks an element with a uniquely named attribute for as long as it lives, so that
// the element can be recognised among nodes retrieved afresh (some DOMs give each
// retrieval of a node a new object, which defeats comparing COM identities).
class ElementMark {
public:
    explicit ElementMark(IXMLDOMNode* node) noexcept
    {
        if (!node || FAILED(node->QueryInterface(IID_PPV_ARGS(&m_element))))
            return;
        GUID guid;
        OLECHAR text[40];
        if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 40) == 0)
            return;
        // "tarnwick.mark." and the GUID's 36 characters without braces: an XML name.
        OLECHAR name[64] = L"tarnwick.mark.";
        std::wcsncat(name, text + 1, 36);
        if (FAILED(m_name.assign(name)))
            return;
        VARIANT value;
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = m_name.get();
        m_marked = m_element->setAttribute(m_name.get(), value) == S_OK;
    }
    ElementMark(const ElementMark&) = delete;
    ElementMark& operator=(const ElementMark&) = delete;
    ~ElementMark()
    {
        // Nothing useful can be done if the DOM will not take its own attribute back.
        if (m_marked)
            m_element->removeAttribute(m_name.get());
    }

    bool marked() const noexcept { return m_marked; }

    bool isOn(IXMLDOMNode* node) const noexcept
    {
        ComPtr<IXMLDOMElement> element;
        ComPtr<IXMLDOMAttribute> attribute;
        return SUCCEEDED(node->QueryInterface(IID_PPV_ARGS(&element))) &&
               element->getAttributeNode(m_name.get(), &attribute) == S_OK && attribute;
    }

private:
    ComPtr<IXMLDOMElement> m_element;
    framework::Bstr m_name;
    bool m_marked = false;
};

// True when child is parent or one of parent's ancestors.
bool isAncestorOrSelf(IXMLDOMNode* child, IXMLDOMNode* parent)
{
    // A childless node can only be an ancestor-or-self of a node that is itself
    // childless: the common append of a new element under a filled parent needs no walk.
    if (!hasChildren(child) && hasChildren(parent))
        return false;
    ElementMark mark(child);
    ComPtr<IXMLDOMNode> walk(parent);
    while (walk) {
        if (sameObject(walk.Get(), child) || (mark.marked() && mark.isOn(walk.Get())))
            return true;
        ComPtr<IXMLDOMNode> up;
        if (walk->get_parentNode(&up) != S_OK)
            break;
        walk = up;
    }
    return false;
}

} // namespace

bool isXmlName(const OLECHAR* name) noexcept
{
    if (!name || !*name)
        return false;
    for (const OLECHAR* at = name; *at;) {
        if (isSupplementaryNamePair(at)) {
            at += 2;
            continue;
        }
        if (!(at == name ? isNameStartChar(*at) : isNameChar(*at)))
            return false;
        ++at;
    }
    return true;
}

HRESULT createDocument(IXMLDOMDocument** out) noexcept
{
    ComPtr<IXMLDOMDocument> doc;
    if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, kDocumentClassContext, IID_PPV_ARGS(&doc))))
        return E_FAIL;
    // A store whose document ignores a setting still works; the results are not needed.
    doc->put_async(VARIANT_FALSE);
    doc->put_resolveExternals(VARIANT_FALSE);
    doc->put_validateOnParse(VARIANT_FALSE);
    *out = doc.Detach();
    return S_OK;
}

HRESULT load(IXMLDOMDocument* doc, const OLECHAR* url) noexcept
{
    framework::Bstr text;
    FW_RETURN_IF_FAILED(text.assign(url));
    framework::Variant source;
    source.setBstr(std::move(text));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = doc->load(source.get(), &loaded);
    return SUCCEEDED(hr) && loaded != VARIANT_FALSE ? S_OK : E_FAIL;
}

HRESULT save(IXMLDOMDocument* doc, const OLECHAR* fileName) noexcept
{
    framework::Bstr text;
    FW_RETURN_IF_FAILED(text.assign(fileName));
    framework::Variant target;
    target.setBstr(std::move(text));
    return doc->save(target.get());
}

HRESULT appendDeclaration(IXMLDOMDocument* doc) noexcept
{
    framework::Bstr target;
    framework::Bstr data;
    FW_RETURN_IF_FAILED(target.assign(L"xml"));
    FW_RETURN_IF_FAILED(data.assign(L"version=\"1.0\""));
    ComPtr<IXMLDOMProcessingInstruction> declaration;
    if (FAILED(doc->createProcessingInstruction(target.get(), data.get(), &declaration)) || !declaration)
        return E_FAIL;
    return FAILED(doc->appendChild(declaration.Get(), nullptr)) ? E_FAIL : S_OK;
}

bool startsWithProcessingInstruction(IXMLDOMDocument* doc) noexcept
{
    ComPtr<IXMLDOMNode> first;
    ComPtr<IXMLDOMProcessingInstruction> instruction;
    return doc->get_firstChild(&first) == S_OK && first && SUCCEEDED(first.As(&instruction));
}

HRESULT documentElement(IXMLDOMDocument* doc, IXMLDOMNode** out) noexcept
{
    ComPtr<IXMLDOMElement> element;
    if (doc->get_documentElement(&element) != S_OK || !element)
        return E_FAIL;
    return element->QueryInterface(IID_PPV_ARGS(out));
}

HRESULT setDocumentElement(IXMLDOMDocument* doc, IXMLDOMElement* element) noexcept
{
    return FAILED(doc->putref_documentElement(element)) ? E_FAIL : S_OK;
}

HRESULT createElement(IXMLDOMDocument* doc, BSTR name, IXMLDOMElement** out) noexcept
{
    if (!isXmlName(name))
        return E_FAIL;
    ComPtr<IXMLDOMElement> element;
    if (doc->createElement(name, &element) != S_OK || !element)
        return E_FAIL;
    *out = element.Detach();
    return S_OK;
}

HRESULT createElementNode(IXMLDOMDocument* doc, BSTR name, IXMLDOMNode** out) noexcept
{
    if (!isXmlName(name))
        return E_FAIL;
    VARIANT type;
    V_VT(&type) = VT_I4;
    V_I4(&type) = NODE_ELEMENT;
    ComPtr<IXMLDOMNode> node;
    if (doc->createNode(type, name, nullptr, &node) != S_OK || !node)
        return E_FAIL;
    *out = node.Detach();
    return S_OK;
}

HRESULT createAttribute(IXMLDOMDocument* doc, BSTR name, IXMLDOMAttribute** out) noexcept
{
    if (!isXmlName(name))
        return E_FAIL;
    ComPtr<IXMLDOMAttribute> attribute;
    if (doc->createAttribute(name, &attribute) != S_OK || !attribute)
        return E_FAIL;
    *out = attribute.Detach();
    return S_OK;
}

HRESULT appendChild(IXMLDOMNode* parent, IXMLDOMNode* child) noexcept
{
    if (isAncestorOrSelf(child, parent))
        return E_FAIL;
    return FAILED(parent->appendChild(child, nullptr)) ? E_FAIL : S_OK;
}

HRESULT selectSingleNode(IXMLDOMNode* context, BSTR query, IXMLDOMNode** out) noexcept
{
    if (!isEvaluable(query))
        return E_FAIL;
    ComPtr<IXMLDOMNode> node;
    if (context->selectSingleNode(query, &node) != S_OK || !node)
        return E_FAIL;
    *out = node.Detach();
    return S_OK;
}

HRESULT selectNodes(IXMLDOMNode* context, BSTR query, IXMLDOMNodeList** out) noexcept
{
    if (!isEvaluable(query))
        return E_FAIL;
    ComPtr<IXMLDOMNodeList> list;
    if (FAILED(context->selectNodes(query, &list)) || !list)
        return E_FAIL;
    *out = list.Detach();
    return S_OK;
}

HRESULT identity(IUnknown* node, IUnknown** out) noexcept
{
    return node->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
}

namespace {

template <class Interface>
HRESULT handleAs(IUnknown* handle, Interface** out) noexcept
{
    ComPtr<Interface> answer;
    if (!handle || FAILED(handle->QueryInterface(IID_PPV_ARGS(&answer))) || !answer)
        return E_INVALIDARG;
    *out = answer.Detach();
    return S_OK;
}

} // namespace

HRESULT asNode(IUnknown* handle, IXMLDOMNode** out) noexcept
{
    return handleAs(handle, out);
}

HRESULT asElement(IUnknown* handle, IXMLDOMElement** out) noexcept
{
    return handleAs(handle, out);
}

HRESULT asNodeList(IUnknown* handle, IXMLDOMNodeList** out) noexcept
{
    return handleAs(handle, out);
}

HRESULT nodeName(IXMLDOMNode* node, framework::Bstr& name) noexcept
{
    framework::Bstr answer;
    if (FAILED(node->get_nodeName(answer.put())))
        return E_FAIL;
    name = std::move(answer);
    return S_OK;
}

HRESULT parentNode(IXMLDOMNode* node, IXMLDOMNode** out) noexcept
{
    ComPtr<IXMLDOMNode> parent;
    if (node->get_parentNode(&parent) != S_OK || !parent)
        return E_FAIL;
    *out = parent.Detach();
    return S_OK;
}

HRESULT firstChild(IXMLDOMNode* node, IXMLDOMNode** out) noexcept
{
    ComPtr<IXMLDOMNode> child;
    if (node->get_firstChild(&child) != S_OK || !child)
        return E_FAIL;
    *out = child.Detach();
    return S_OK;
}

HRESULT nextSibling(IXMLDOMNode* node, IXMLDOMNode** out) noexcept
{
    ComPtr<IXMLDOMNode> sibling;
    if (node->get_nextSibling(&sibling) != S_OK || !sibling)
        return E_FAIL;
    *out = sibling.Detach();
    return S_OK;
}

HRESULT removeChild(IXMLDOMNode* parent, IXMLDOMNode* child) noexcept
{
    return FAILED(parent->removeChild(child, nullptr)) ? E_FAIL : S_OK;
}

HRESULT getAttributeNode(IXMLDOMElement* element, BSTR name, IXMLDOMAttribute** out) noexcept
{
    ComPtr<IXMLDOMAttribute> attribute;
    if (element->getAttributeNode(name, &attribute) != S_OK || !attribute)
        return E_FAIL;
    *out = attribute.Detach();
    return S_OK;
}

HRESULT setAttributeNode(IXMLDOMElement* element, IXMLDOMAttribute* attribute) noexcept
{
    return FAILED(element->setAttributeNode(attribute, nullptr)) ? E_FAIL : S_OK;
}

HRESULT putNodeValue(IXMLDOMNode* node, const VARIANT& value) noexcept
{
    return FAILED(node->put_nodeValue(value)) ? E_FAIL : S_OK;
}

HRESULT getNodeValue(IXMLDOMNode* node, VARIANT* value) noexcept
{
    return FAILED(node->get_nodeValue(value)) ? E_FAIL : S_OK;
}

HRESULT listLength(IXMLDOMNodeList* list, long* length) noexcept
{
    return FAILED(list->get_length(length)) ? E_FAIL : S_OK;
}

HRESULT nextNode(IXMLDOMNodeList* list, IXMLDOMNode** out) noexcept
{
    ComPtr<IXMLDOMNode> node;
    if (list->nextNode(&node) != S_OK || !node)
        return E_FAIL;
    *out = node.Detach();
    return S_OK;
}

HRESULT resetList(IXMLDOMNodeList* list) noexcept
{
    return list->reset();
}

} // namespace dom
