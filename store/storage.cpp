// The storage object's identity: the interfaces it answers and the document it owns.
#include "store/tarnwick.h"

#include "store/dom.h"

namespace {

// The document's own interfaces answer for the store; asking them for ITarnwick fails.
HRESULT forwardToDocument(void* object, REFIID riid, void** ppv)
{
    IXMLDOMDocument* doc = static_cast<ITarnwickImpl*>(object)->document();
    if (!doc)
        return E_NOINTERFACE;
    return doc->QueryInterface(riid, ppv);
}

} // namespace

const framework::InterfaceEntry* ITarnwickImpl::interfaceTable() noexcept
{
    using framework::offsetOfBase;
    static const framework::InterfaceEntry entries[] = {
        {&IID_ITarnwick, offsetOfBase<ITarnwick, ITarnwickImpl>(), nullptr},
        {&IID_IDispatch, offsetOfBase<IDispatch, ITarnwickImpl>(), nullptr},
        {&IID_IPersistFile, offsetOfBase<IPersistFile, ITarnwickImpl>(), nullptr},
        {&__uuidof(IXMLDOMDocument), 0, &forwardToDocument},
        {&IID_IPersistStream, 0, &forwardToDocument},
        {&IID_IConnectionPointContainer, offsetOfBase<IConnectionPointContainer, ITarnwickImpl>(), nullptr},
        {&IID_ISupportErrorInfo, offsetOfBase<ISupportErrorInfo, ITarnwickImpl>(), nullptr},
        {nullptr, 0, nullptr},
    };
    return entries;
}

HRESULT ITarnwickImpl::createDocument() noexcept
{
    return dom::createDocument(&m_pDoc);
}

STDMETHODIMP ITarnwickImpl::InterfaceSupportsErrorInfo(REFIID riid)
{
    return InlineIsEqualGUID(riid, IID_ITarnwick) || InlineIsEqualGUID(riid, IID_IPersistFile) ? S_OK : S_FALSE;
}
