// Taking content out of the document: one element with its subtree, everything, or
// everything followed by a new root.
#include "store/tarnwick.h"

#include "store/dom.h"

using framework::Bstr;
using framework::ComPtr;

STDMETHODIMP ITarnwickImpl::deleteElement(IUnknown* hElem)
{
    ComPtr<IXMLDOMNode> node;
    FW_RETURN_IF_FAILED(dom::asNode(hElem, &node));
    // A detached node, an attribute and the document itself have no parent to leave.
    ComPtr<IXMLDOMNode> parent;
    if (FAILED(dom::parentNode(node.Get(), &parent)) || FAILED(dom::removeChild(parent.Get(), node.Get())))
        return E_FAIL;

    // The cached root stays, also when it was the node removed: null parents keep meaning it.
    debugAutoSave();
    if (m_bNotify)
        Fire_onElementDeleted(node.Get());
    return S_OK;
}

STDMETHODIMP ITarnwickImpl::clear()
{
    // Every top-level node goes, the declaration included. The sibling is taken before
    // its predecessor leaves; a node the DOM will not remove stays, and the walk goes on.
    ComPtr<IXMLDOMNode> current;
    dom::firstChild(m_pDoc.Get(), &current);
    while (current) {
        ComPtr<IXMLDOMNode> next;
        dom::nextSibling(current.Get(), &next);
        dom::removeChild(m_pDoc.Get(), current.Get());
        current = next;
    }
    m_pRoot.Reset();

    // Sinks run first, so the debug file holds what they leave behind.
    if (m_bNotify)
        Fire_onDeleteAll();
    debugAutoSave();
    return S_OK;
}

STDMETHODIMP ITarnwickImpl::createRootElement(BSTR* name, IUnknown** ppelem)
{
    const bool given = name && *name && (*name)[0] != 0;

    // Through the object's own interface, as any client would clear; it always succeeds.
    static_cast<ITarnwick*>(this)->clear();
    if (!buildRoot(given ? *name : L"root"))
        return E_FAIL;

    // Both results are made before either is written, so a failure writes neither.
    ComPtr<IUnknown> handle;
    if (ppelem)
        FW_RETURN_IF_FAILED(dom::identity(m_pRoot.Get(), &handle));
    Bstr rootName;
    if (name && !given)
        FW_RETURN_IF_FAILED(dom::nodeName(m_pRoot.Get(), rootName));
    if (ppelem)
        *ppelem = handle.Detach();
    // An empty name is replaced by the one used; the old string is freed as for any in-and-out string.
    if (name && !given) {
        SysFreeString(*name);
        *name = rootName.release();
    }

    debugAutoSave();
    return S_OK;
}
