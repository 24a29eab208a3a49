// Not built yet: every operation here answers E_NOTIMPL.
#include "store/tarnwick.h"

HRESULT ITarnwickImpl::makeElementId(framework::Bstr&) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::createElement(BSTR*, IUnknown**)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::addElement(IUnknown*, IUnknown*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::getElement(IUnknown*, BSTR, IUnknown**)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::getElementID(IUnknown*, BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::setElementID(IUnknown*, BSTR)
{
    return E_NOTIMPL;
}

