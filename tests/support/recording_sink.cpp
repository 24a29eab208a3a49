#include "recording_sink.h"

#include <ocidl.h>

namespace tarnwick_test {

ComPtr<RecordingSink> RecordingSink::create(std::wstring name)
{
    ComPtr<RecordingSink> sink;
    framework::adopt(sink, new RecordingSink(std::move(name)));
    return sink;
}

STDMETHODIMP RecordingSink::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (InlineIsEqualGUID(riid, IID_IUnknown) || InlineIsEqualGUID(riid, IID_ITarnwickEvents)) {
        *ppv = static_cast<ITarnwickEvents*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RecordingSink::AddRef()
{
    return ++m_refs;
}

STDMETHODIMP_(ULONG) RecordingSink::Release()
{
    const ULONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return refs;
}

std::wstring nodeName(IUnknown* node)
{
    ComPtr<IXMLDOMNode> domNode;
    Bstr name;
    if (!node || FAILED(node->QueryInterface(__uuidof(IXMLDOMNode), reinterpret_cast<void**>(domNode.GetAddressOf()))) ||
        FAILED(domNode->get_nodeName(name.put())) || !name.get())
        return L"";
    return name.get();
}

HRESULT RecordingSink::record(const std::wstring& event)
{
    events.push_back(event);
    if (sharedLog)
        sharedLog->push_back(m_name + L": " + event);
    return onEvent ? onEvent(event) : S_OK;
}

STDMETHODIMP RecordingSink::onElementCreated(IUnknown* parent, BSTR elemid, IUnknown* hElem)
{
    lastParent = parent;
    lastElement = hElem;
    return record(L"created " + nodeName(parent) + L"/" + (elemid ? elemid : L"(null)"));
}

STDMETHODIMP RecordingSink::onElementDeleted(IUnknown* hElem)
{
    lastElement = hElem;
    return record(L"deleted " + nodeName(hElem));
}

STDMETHODIMP RecordingSink::onElementChanged(IUnknown* hElem, BSTR attrname, VARIANT attrValue)
{
    lastElement = hElem;
    lastAttrName = attrname;
    lastValue = attrValue;
    std::wstring text;
    Variant asText;
    if (SUCCEEDED(VariantChangeType(asText.put(), &attrValue, 0, VT_BSTR)) && V_BSTR(&asText.get()))
        text = V_BSTR(&asText.get());
    return record(L"changed " + nodeName(hElem) + L" " + (attrname ? attrname : L"(null)") + L"=" + text +
                  L" (VT " + std::to_wstring(V_VT(&attrValue)) + L")");
}

STDMETHODIMP RecordingSink::onDeleteAll()
{
    return record(L"deleteAll");
}

STDMETHODIMP RecordingSink::onPersist(GUID* iid, VARIANT* pData)
{
    lastIid = iid ? *iid : GUID{};
    lastUrl = pData && V_VT(pData) == VT_BSTR && V_BSTR(pData) ? V_BSTR(pData) : L"";
    return record(L"persist " + lastUrl);
}

namespace {

HRESULT connectionPointOf(IUnknown* store, IConnectionPoint** point)
{
    ComPtr<IConnectionPointContainer> container;
    const HRESULT hr = store->QueryInterface(IID_PPV_ARGS(&container));
    if (FAILED(hr))
        return hr;
    return container->FindConnectionPoint(IID_ITarnwickEvents, point);
}

} // namespace

HRESULT RecordingSink::advise(IUnknown* store)
{
    ComPtr<IConnectionPoint> point;
    const HRESULT hr = connectionPointOf(store, &point);
    if (FAILED(hr))
        return hr;
    return point->Advise(static_cast<ITarnwickEvents*>(this), &m_cookie);
}

HRESULT RecordingSink::unadvise(IUnknown* store)
{
    ComPtr<IConnectionPoint> point;
    const HRESULT hr = connectionPointOf(store, &point);
    if (FAILED(hr))
        return hr;
    return point->Unadvise(m_cookie);
}

} // namespace tarnwick_test
