// Not built yet: every operation here answers E_NOTIMPL.
#include "store/tarnwick.h"

STDMETHODIMP ITarnwickImpl::deleteElement(IUnknown*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::clear()
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::createRootElement(BSTR*, IUnknown**)
{
    return E_NOTIMPL;
}

