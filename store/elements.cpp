// Making elements, attaching them, and finding and reading their identifiers. An
// element's identifier is its tag name and is kept nowhere else.
#include "store/tarnwick.h"

#include "store/dom.h"
#include "store/failure.h"
#include "store/syntax.h"

#include <cwchar>

using framework::Bstr;
using framework::ComPtr;

namespace {

const OLECHAR kDescendantsPrefix[] = L".//";
const OLECHAR kAnyName[] = L"*";

// A string replaces the caller's in an in-and-out parameter: the old one is freed.
void replaceString(BSTR* slot, Bstr& value) noexcept
{
    SysFreeString(*slot);
    *slot = value.release();
}

} // namespace

// E_FAIL when the runtime gives no GUID, E_OUTOFMEMORY when the string cannot be made.
HRESULT ITarnwickImpl::makeElementId(Bstr& id) noexcept
{
    GUID guid;
    if (FAILED(CoCreateGuid(&guid)))
        return E_FAIL;
    // The registry form: a brace, 8-4-4-4-12 uppercase hexadecimal digits, a brace.
    OLECHAR registryForm[39];
    if (StringFromGUID2(guid, registryForm, 39) != 39)
        return E_FAIL;
    OLECHAR text[38] = {L'I', L'D'};
    std::wmemcpy(text + 2, registryForm + 1, 36);
    return id.assign(text, 38);
}

STDMETHODIMP ITarnwickImpl::createElement(BSTR* pid, IUnknown** pHandle)
{
    const bool given = pid && *pid && (*pid)[0] != 0;
    // The identifier is read back from a saved file only when it is a name without a
    // prefix; counted, so that a NUL inside it is refused rather than cut there.
    if (given && !syntax::isStorableElementName(*pid, SysStringLen(*pid)))
        return failure::notAnElementName(*pid, SysStringLen(*pid));
    // The DOM copies the name, so a given identifier is used as it is.
    Bstr generated;
    if (!given)
        FW_RETURN_IF_FAILED(makeElementId(generated));

    ComPtr<IXMLDOMNode> element;
    if (FAILED(dom::createElementNode(m_pDoc.Get(), given ? *pid : generated.get(), &element)))
        return E_FAIL;
    ComPtr<IUnknown> handle;
    if (pHandle)
        FW_RETURN_IF_FAILED(dom::identity(element.Get(), &handle));

    // A given identifier is the caller's own and is not written back.
    if (!given && pid)
        replaceString(pid, generated);
    if (pHandle)
        *pHandle = handle.Detach();
    return S_OK;
}

STDMETHODIMP ITarnwickImpl::addElement(IUnknown* pParent, IUnknown* pElem)
{
    // A node of another document is not the store's to move: the append would change
    // that document without its store's events or debug file. Wine's msxml3 even frees
    // a released store's document during the append while the moved node still uses it.
    ComPtr<IXMLDOMNode> element;
    FW_RETURN_IF_FAILED(dom::asOwnNode(m_pDoc.Get(), pElem, &element));
    ComPtr<IXMLDOMNode> parent;
    if (pParent)
        FW_RETURN_IF_FAILED(dom::asOwnNode(m_pDoc.Get(), pParent, &parent));
    // Only an element under an element is saved where it reads back: text, a comment, an
    // instruction or the document as parent, or the declaration as child, make a file
    // that loses the element or does not load.
    if (!dom::isElement(element.Get()) || (parent && !dom::isElement(parent.Get())))
        return failure::refuse(E_FAIL, [] {
            return std::wstring(L"Only an element can be added, and only below an element: the store's file "
                                L"could not hold anything else.");
        });
    if (!parent)
        FW_RETURN_IF_FAILED(contextNode(nullptr, &parent));

    // The DOM moves an attached element; an element under itself or its descendant is refused.
    if (FAILED(dom::appendChild(parent.Get(), element.Get())))
        return E_FAIL;

    // The name is read only for an announcement, which afterChange makes only to sinks.
    afterChange([&] {
        // Sinks get a null identifier if the name cannot be read; the element is attached all the same.
        Bstr name;
        dom::nodeName(element.Get(), name);
        Fire_onElementCreated(parent.Get(), name.get(), element.Get());
    });
    return S_OK;
}

STDMETHODIMP ITarnwickImpl::getElement(IUnknown* parent, BSTR objectID, IUnknown** ppobj)
{
    if (!ppobj)
        return E_POINTER;

    // The identifier becomes part of a query, so it must be a name and nothing else:
    // query syntax in it would select other nodes than elements, or crash Wine's msxml3.
    if (objectID && !syntax::isXmlName(objectID, SysStringLen(objectID)))
        return failure::refuse(E_FAIL, [objectID] {
            return failure::quoted(objectID, SysStringLen(objectID)) + L" is not an XML name.";
        });
    const OLECHAR* name = objectID ? objectID : kAnyName;
    const size_t prefixLength = std::wcslen(kDescendantsPrefix);
    const size_t nameLength = std::wcslen(name);
    Bstr query;
    FW_RETURN_IF_FAILED(query.assign(nullptr, static_cast<UINT>(prefixLength + nameLength)));
    std::wmemcpy(query.get(), kDescendantsPrefix, prefixLength);
    std::wmemcpy(query.get() + prefixLength, name, nameLength);

    return queryElement(parent, query.get(), ppobj);
}

STDMETHODIMP ITarnwickImpl::getElementID(IUnknown* pElem, BSTR* ppid)
{
    if (!pElem || !ppid)
        return E_POINTER;
    ComPtr<IXMLDOMNode> node;
    FW_RETURN_IF_FAILED(dom::asNode(pElem, &node));
    // The caller gets a null string if the DOM cannot name the node.
    Bstr name;
    dom::nodeName(node.Get(), name);
    *ppid = name.release();
    return S_OK;
}

// Identifiers are tag names, which the DOM cannot change in place; the call is
// accepted and changes nothing.
STDMETHODIMP ITarnwickImpl::setElementID(IUnknown* pElem, BSTR id)
{
    if (!pElem || !id)
        return E_POINTER;
    ComPtr<IXMLDOMNode> node;
    FW_RETURN_IF_FAILED(dom::asNode(pElem, &node));
    return S_OK;
}
