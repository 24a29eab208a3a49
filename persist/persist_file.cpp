// Not built yet: every operation here answers E_NOTIMPL.
#include "store/tarnwick.h"

STDMETHODIMP ITarnwickImpl::GetClassID(CLSID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::IsDirty()
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::Load(LPCOLESTR, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::Save(LPCOLESTR, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::SaveCompleted(LPCOLESTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::GetCurFile(LPOLESTR*)
{
    return E_NOTIMPL;
}

