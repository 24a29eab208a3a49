#include "store/dom.h"

#include <cwchar>

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

// An empty expression, or one that ends in an unfinished "//" step, is no valid
// selection; some DOMs crash on them instead of failing.
bool isEvaluable(const OLECHAR* query)
{
    if (!query)
        return false;
    size_t length = std::wcslen(query);
    while (length > 0 && (query[length - 1] == L' ' || query[length - 1] == L'\t' || query[length - 1] == L'\r' ||
                          query[length - 1] == L'\n'))
        --length;
    if (length == 0)
        return false;
    return !(length >= 2 && query[length - 1] == L'/' && query[length - 2] == L'/');
}

bool sameObject(IUnknown* a, IUnknown* b)
{
    ComPtr<IUnknown> left;
    ComPtr<IUnknown> right;
    if (FAILED(a->QueryInterface(IID_PPV_ARGS(&left))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&right))))
        return false;
    return left.Get() == right.Get();
}

bool hasChildren(IXMLDOMNode* node)
{
    ComPtr<IXMLDOMNode> first;
    return node->get_firstChild(&first) == S_OK && first;
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

} // namespace dom
