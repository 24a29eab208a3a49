// Taking content out of the document: one element with its subtree, or everything.
#include "store/tarnwick.h"

#include "store/dom.h"

using framework::ComPtr;

STDMETHODIMP ITarnwickImpl::deleteElement(IUnknown* hElem)
{
    // Another document's node leaves only through its own store.
    ComPtr<IXMLDOMNode> node;
    FW_RETURN_IF_FAILED(dom::asOwnNode(m_pDoc.Get(), hElem, &node));
    // A detached node, an attribute and the document itself have no parent to leave.
    ComPtr<IXMLDOMNode> parent;
    if (FAILED(dom::parentNode(node.Get(), &parent)) || FAILED(dom::removeChild(parent.Get(), node.Get())))
        return E_FAIL;

    // A removed root leaves the store as clear does: the next operation that needs a root
    // builds a new one. Wine's msxml3 gives no node identity to compare with, so the
    // cached root is asked whether it still stands in the document.
    if (m_pRoot && !dom::hasParent(m_pRoot.Get()))
        m_pRoot.Reset();
    afterChange([&] { Fire_onElementDeleted(node.Get()); });
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

    afterChange([&] { Fire_onDeleteAll(); }, Announce::beforeSave);
    return S_OK;
}
