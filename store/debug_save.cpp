// Debug mode: after every successful change or load the whole document is written
// to a file of the client's choice, silently.
#include "store/tarnwick.h"

#include <utility>

STDMETHODIMP ITarnwickImpl::setDebugMode(LONG bDebug, BSTR file)
{
    m_bDebug = bDebug != 0;
    // Every call replaces the name, so switching on again must name the file again.
    // Out of memory leaves no name, and so no auto-save.
    framework::Bstr name;
    const HRESULT hr = name.assign(file);
    m_bstrDebugFile = std::move(name);
    return hr;
}

void ITarnwickImpl::debugAutoSave() noexcept
{
    if (!m_bDebug || !m_bstrDebugFile.get())
        return;
    // The auto-save never changes the outcome of the change it follows.
    static_cast<void>(Save(m_bstrDebugFile.get(), FALSE));
}
