#include "counting_outer.h"

namespace tarnwick_test {

STDMETHODIMP CountingOuter::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (InlineIsEqualGUID(riid, IID_IUnknown)) {
        AddRef();
        *ppv = static_cast<IUnknown*>(this);
        return S_OK;
    }
    if (!inner)
        return E_NOINTERFACE;
    return inner->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CountingOuter::AddRef()
{
    return ++m_refs;
}

STDMETHODIMP_(ULONG) CountingOuter::Release()
{
    return --m_refs;
}

} // namespace tarnwick_test
