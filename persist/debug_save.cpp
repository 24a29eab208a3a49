// Debug mode: after every successful change or load the whole document is written
// to a file of the client's choice, silently.
#include "store/tarnwick.h"

STDMETHODIMP ITarnwickImpl::setDebugMode(LONG bDebug, BSTR file)
{
    m_bDebug = bDebug != 0;
    // Every call replaces the name, so switching on again must name the file again.
    return m_bstrDebugFile.assign(file);
}

void ITarnwickImpl::debugAutoSave() noexcept
{
    if (!m_bDebug || !m_bstrDebugFile.get())
        return;
    // The auto-save never changes the outcome of the change it follows.
    Save(m_bstrDebugFile.get(), FALSE);
}
