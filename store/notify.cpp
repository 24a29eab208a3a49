// The event switch. It survives clear and load; nothing but setNotify writes it.
#include "store/tarnwick.h"

STDMETHODIMP ITarnwickImpl::setNotify(LONG bEnabled)
{
    m_bNotify = bEnabled != 0;
    return S_OK;
}
