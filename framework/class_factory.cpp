#include "framework/class_factory.h"

#include <new>

namespace framework {

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!InlineIsEqualGUID(riid, IID_IUnknown) && !InlineIsEqualGUID(riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef()
{
    const LONG refs = InterlockedIncrement(&m_refs);
    if (refs == 2)
        module().lock();
    return static_cast<ULONG>(refs);
}

STDMETHODIMP_(ULONG) ClassFactory::Release()
{
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 1)
        module().unlock();
    else if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregate may only ask for the inner object's own IUnknown.
    if (outer && !InlineIsEqualGUID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return m_creator(outer, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock)
{
    if (lock)
        module().lock();
    else
        module().unlock();
    return S_OK;
}

HRESULT ClassFactory::create(InstanceCreator creator, REFIID riid, void** ppv) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    ClassFactory* factory = new (std::nothrow) ClassFactory(creator);
    if (!factory)
        return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    if (FAILED(hr))
        delete factory;
    return hr;
}

} // namespace framework
