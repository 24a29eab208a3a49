// Finding elements by a selection query below a context node, and stepping through
// the results. The enumeration's position lives in the DOM's node list, not here.
#include "store/tarnwick.h"

#include "store/dom.h"

using framework::Bstr;
using framework::ComPtr;

namespace {

// Every element child of the context, in document order.
const OLECHAR kDefaultQuery[] = L"./*";

// The caller's query, or the default one (kept in storage) when it is null. A query of
// length zero is the caller's all the same.
HRESULT effectiveQuery(BSTR query, Bstr& storage, BSTR* effective)
{
    if (!query) {
        FW_RETURN_IF_FAILED(storage.assign(kDefaultQuery));
        query = storage.get();
    }
    *effective = query;
    return S_OK;
}

} // namespace

STDMETHODIMP ITarnwickImpl::queryElement(IUnknown* parent, BSTR query, IUnknown** ppelem)
{
    if (!ppelem)
        return E_POINTER;
    ComPtr<IXMLDOMNode> context;
    FW_RETURN_IF_FAILED(contextNode(parent, &context));
    Bstr defaultQuery;
    FW_RETURN_IF_FAILED(effectiveQuery(query, defaultQuery, &query));

    ComPtr<IXMLDOMNode> found;
    if (FAILED(dom::selectSingleNode(context.Get(), query, &found)))
        return E_FAIL;
    return dom::identity(found.Get(), ppelem);
}

STDMETHODIMP ITarnwickImpl::enumElements(IUnknown* hElem, BSTR query, IUnknown** pEnumHandle)
{
    if (!pEnumHandle)
        return E_POINTER;
    ComPtr<IXMLDOMNode> context;
    FW_RETURN_IF_FAILED(contextNode(hElem, &context));
    Bstr defaultQuery;
    FW_RETURN_IF_FAILED(effectiveQuery(query, defaultQuery, &query));

    ComPtr<IXMLDOMNodeList> list;
    if (FAILED(dom::selectNodes(context.Get(), query, &list)))
        return E_FAIL;
    // An enumeration over nothing is never handed out: the empty selection fails.
    if (!dom::yieldsNode(list.Get()))
        return E_FAIL;
    return dom::identity(list.Get(), pEnumHandle);
}

STDMETHODIMP ITarnwickImpl::resetEnum(IUnknown* enumHandle)
{
    ComPtr<IXMLDOMNodeList> list;
    FW_RETURN_IF_FAILED(dom::asNodeList(enumHandle, &list));
    return dom::resetList(list.Get());
}

STDMETHODIMP ITarnwickImpl::getNextElement(IUnknown* enumHandle, BSTR* pid, IUnknown** pElem)
{
    ComPtr<IXMLDOMNodeList> list;
    FW_RETURN_IF_FAILED(dom::asNodeList(enumHandle, &list));
    ComPtr<IXMLDOMNode> node;
    if (FAILED(dom::nextNode(list.Get(), &node)))
        return E_FAIL;

    // Both results are made before either is written, so a failure writes neither.
    Bstr name;
    if (pid)
        FW_RETURN_IF_FAILED(dom::nodeName(node.Get(), name));
    ComPtr<IUnknown> handle;
    if (pElem)
        FW_RETURN_IF_FAILED(dom::identity(node.Get(), &handle));
    if (pid)
        *pid = name.release();
    if (pElem)
        *pElem = handle.Detach();
    return S_OK;
}
