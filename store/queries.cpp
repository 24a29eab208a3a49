// Not built yet: every operation here answers E_NOTIMPL.
#include "store/tarnwick.h"

STDMETHODIMP ITarnwickImpl::queryElement(IUnknown*, BSTR, IUnknown**)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::enumElements(IUnknown*, BSTR, IUnknown**)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::resetEnum(IUnknown*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::getNextElement(IUnknown*, BSTR*, IUnknown**)
{
    return E_NOTIMPL;
}

