// Not built yet: every operation here answers E_NOTIMPL.
#include "store/tarnwick.h"

STDMETHODIMP ITarnwickImpl::setAttribute(IUnknown*, BSTR, VARIANT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::getAttribute(IUnknown*, BSTR, VARIANT*)
{
    return E_NOTIMPL;
}

