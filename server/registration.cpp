// Not built yet: registration answers E_NOTIMPL.
#include "server/registration.h"

HRESULT updateRegistry(BOOL)
{
    return E_NOTIMPL;
}

STDAPI DllRegisterServer()
{
    return E_NOTIMPL;
}

STDAPI DllUnregisterServer()
{
    return E_NOTIMPL;
}
