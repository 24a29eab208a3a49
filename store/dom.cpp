#include "store/dom.h"

#include "store/failure.h"
#include "store/syntax.h"

#include <cwchar>
#include <new>
#include <string>
#include <utility>

namespace dom {

namespace {

const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Wherever the runtime finds the class: in process, handler, local or remote server.
const DWORD kDocumentClassContext = CLSCTX_ALL;

bool sameObject(IUnknown* a, IUnknown* b)
{
    ComPtr<IUnknown> left;
    ComPtr<IUnknown> right;
    if (FAILED(a->QueryInterface(IID_PPV_ARGS(&left))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&right))))
        return false;
    return left.Get() == right.Get();
}

// Asks without retrieving a child: Wine's msxml3 makes a new object per retrieval.
bool hasChildren(IXMLDOMNode* node)
{
    VARIANT_BOOL has = VARIANT_FALSE;
    return node->hasChildNodes(&has) == S_OK && has != VARIANT_FALSE;
}

// Marks an element with a uniquely named attribute for as long as it lives, so that
// the element can be recognised among nodes retrieved afresh (Wine's msxml3 gives
// each retrieval of a node a new object, which defeats comparing COM identities).
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
    // A childless node is nobody's ancestor: only its being the parent itself matters,
    // which a filled parent rules out at once. Chains grow without a walk to the top.
    if (!hasChildren(child)) {
        if (hasChildren(parent))
            return false;
        if (sameObject(parent, child))
            return true;
        const ElementMark mark(child);
        return mark.marked() && mark.isOn(parent);
    }
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

HRESULT notAName(BSTR name) noexcept
{
    return failure::refuse(E_FAIL, [name] { return failure::quoted(name) + L" is not an XML name."; });
}

HRESULT notAQuery(BSTR query) noexcept
{
    return failure::refuse(E_FAIL, [query] {
        return failure::quoted(query) + L" is not a selection query: it stops before it is complete.";
    });
}

// The parser's own account of why a document did not load, as "reason (line L,
// column C)"; empty when the DOM gives none.
std::wstring parseErrorOf(IXMLDOMDocument* doc)
{
    ComPtr<IXMLDOMParseError> error;
    framework::Bstr reason;
    if (doc->get_parseError(&error) != S_OK || !error || error->get_reason(reason.put()) != S_OK || !reason.get())
        return std::wstring();
    std::wstring text(reason.get());
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    long line = 0;
    long column = 0;
    if (error->get_line(&line) == S_OK && error->get_linepos(&column) == S_OK && line > 0)
        text += L" (line " + std::to_wstring(line) + L", column " + std::to_wstring(column) + L")";
    return text;
}

} // namespace

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

HRESULT load(IXMLDOMDocument* doc, const OLECHAR* url, const OLECHAR* fileName) noexcept
{
    framework::Variant source(url);
    if (V_VT(&source.get()) != VT_BSTR)
        return E_OUTOFMEMORY;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = doc->load(source.get(), &loaded);
    if (SUCCEEDED(hr) && loaded != VARIANT_FALSE)
        return S_OK;
    return failure::refuse(E_FAIL, [doc, fileName] {
        const std::wstring reason = parseErrorOf(doc);
        return failure::quoted(fileName) + L" could not be loaded" + (reason.empty() ? L"." : L": " + reason);
    });
}

HRESULT save(IXMLDOMDocument* doc, IStream* stream) noexcept
{
    return doc->save(framework::Variant(static_cast<IUnknown*>(stream)).get());
}

HRESULT DetachedChildren::detach(IXMLDOMDocument* doc) noexcept
{
    m_nodes.clear();
    for (;;) {
        ComPtr<IXMLDOMNode> child;
        if (doc->get_firstChild(&child) != S_OK || !child)
            return S_OK;
        ComPtr<IXMLDOMNode> removed;
        if (FAILED(doc->removeChild(child.Get(), &removed))) {
            static_cast<void>(restore(doc));
            return E_FAIL;
        }
        try {
            m_nodes.push_back(std::move(child));
        } catch (const std::bad_alloc&) {
            // The node out of the document goes back first, then the ones held before it.
            static_cast<void>(doc->appendChild(removed.Get(), nullptr));
            static_cast<void>(restore(doc));
            return E_OUTOFMEMORY;
        }
    }
}

HRESULT DetachedChildren::restore(IXMLDOMDocument* doc) noexcept
{
    HRESULT hr = S_OK;
    for (;;) {
        ComPtr<IXMLDOMNode> child;
        if (doc->get_firstChild(&child) != S_OK || !child)
            break;
        ComPtr<IXMLDOMNode> removed;
        if (FAILED(doc->removeChild(child.Get(), &removed))) {
            hr = E_FAIL;
            break;
        }
    }
    for (const ComPtr<IXMLDOMNode>& node : m_nodes) {
        if (FAILED(doc->appendChild(node.Get(), nullptr)))
            hr = E_FAIL;
    }
    m_nodes.clear();
    return hr;
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
    if (!syntax::isXmlName(name))
        return notAName(name);
    ComPtr<IXMLDOMElement> element;
    if (doc->createElement(name, &element) != S_OK || !element)
        return E_FAIL;
    *out = element.Detach();
    return S_OK;
}

HRESULT createElementNode(IXMLDOMDocument* doc, BSTR name, IXMLDOMNode** out) noexcept
{
    if (!syntax::isXmlName(name))
        return notAName(name);
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
    if (!syntax::isXmlName(name))
        return notAName(name);
    ComPtr<IXMLDOMAttribute> attribute;
    if (doc->createAttribute(name, &attribute) != S_OK || !attribute)
        return E_FAIL;
    *out = attribute.Detach();
    return S_OK;
}

HRESULT appendChild(IXMLDOMNode* parent, IXMLDOMNode* child) noexcept
{
    if (isAncestorOrSelf(child, parent))
        return failure::refuse(E_FAIL, [] {
            return std::wstring(L"An element cannot go below itself or one of its own descendants.");
        });
    return FAILED(parent->appendChild(child, nullptr)) ? E_FAIL : S_OK;
}

HRESULT selectSingleNode(IXMLDOMNode* context, BSTR query, IXMLDOMNode** out) noexcept
{
    if (!syntax::isCompleteQuery(query))
        return notAQuery(query);
    ComPtr<IXMLDOMNode> node;
    if (context->selectSingleNode(query, &node) != S_OK || !node)
        return E_FAIL;
    *out = node.Detach();
    return S_OK;
}

HRESULT selectNodes(IXMLDOMNode* context, BSTR query, IXMLDOMNodeList** out) noexcept
{
    if (!syntax::isCompleteQuery(query))
        return notAQuery(query);
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

namespace {

// The document a node belongs to, one reference; null when the DOM names none.
ComPtr<IXMLDOMDocument> documentOf(IXMLDOMNode* node) noexcept
{
    ComPtr<IXMLDOMDocument> owner;
    if (node->get_ownerDocument(&owner) == S_OK && owner)
        return owner;
    // MSXML names no owner document for a document: it is its own.
    ComPtr<IXMLDOMDocument> self;
    return SUCCEEDED(node->QueryInterface(IID_PPV_ARGS(&self))) ? self : nullptr;
}

bool isTrue(VARIANT_BOOL value) noexcept
{
    return value != VARIANT_FALSE;
}

// Wine's msxml3 makes a new COM object for each retrieval of a document (its
// ownerDocument too), so comparing COM identities would refuse every node of the
// store's own document. What all those objects share is the document's properties,
// kept once per underlying document; preserveWhiteSpace is one of them. Flipping it on
// doc and seeing the node's document follow, both ways, names one document exactly,
// under MSXML too (one COM object per document, seen through either pointer), and
// costs only flag reads and writes on the success path. No DOM work runs between the
// flip and its undoing. Wine's msxml3 puts a new underlying document in place at each
// load, so there a node made before a load belongs to the one put away.
bool belongsTo(IXMLDOMDocument* doc, IXMLDOMNode* node) noexcept
{
    const ComPtr<IXMLDOMDocument> owner = documentOf(node);
    if (!owner)
        return false;
    VARIANT_BOOL setting = VARIANT_FALSE;
    if (doc->get_preserveWhiteSpace(&setting) != S_OK)
        return false;
    const VARIANT_BOOL flipped = isTrue(setting) ? VARIANT_FALSE : VARIANT_TRUE;
    if (doc->put_preserveWhiteSpace(flipped) != S_OK)
        return false;
    VARIANT_BOOL seen = setting;
    const bool followedFlip = owner->get_preserveWhiteSpace(&seen) == S_OK && isTrue(seen) == isTrue(flipped);
    // The DOM took the flag a moment ago; should it refuse it back, nothing better can be done.
    doc->put_preserveWhiteSpace(setting);
    seen = flipped;
    return followedFlip && owner->get_preserveWhiteSpace(&seen) == S_OK && isTrue(seen) == isTrue(setting);
}

template <class Interface>
HRESULT ownHandleAs(IXMLDOMDocument* doc, IUnknown* handle, Interface** out) noexcept
{
    ComPtr<Interface> answer;
    FW_RETURN_IF_FAILED(handleAs(handle, answer.GetAddressOf()));
    if (!belongsTo(doc, answer.Get()))
        return E_INVALIDARG;
    *out = answer.Detach();
    return S_OK;
}

} // namespace

HRESULT asOwnNode(IXMLDOMDocument* doc, IUnknown* handle, IXMLDOMNode** out) noexcept
{
    return ownHandleAs(doc, handle, out);
}

HRESULT asOwnElement(IXMLDOMDocument* doc, IUnknown* handle, IXMLDOMElement** out) noexcept
{
    return ownHandleAs(doc, handle, out);
}

bool isElement(IXMLDOMNode* node) noexcept
{
    DOMNodeType type = NODE_INVALID;
    return node->get_nodeType(&type) == S_OK && type == NODE_ELEMENT;
}

bool hasParent(IXMLDOMNode* node) noexcept
{
    ComPtr<IXMLDOMNode> parent;
    return node->get_parentNode(&parent) == S_OK && parent;
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

bool yieldsNode(IXMLDOMNodeList* list) noexcept
{
    ComPtr<IXMLDOMNode> first;
    const bool yields = list->get_item(0, &first) == S_OK && first;
    // Wine's msxml3 moves the list's position past the item read; the list starts over.
    return SUCCEEDED(list->reset()) && yields;
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
