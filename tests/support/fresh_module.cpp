#include "fresh_module.h"

namespace tarnwick_test {

FreshModule::FreshModule(const wchar_t* name) : m_path(tempFile(name))
{
    if (!CopyFileW(TARNWICK_DLL, m_path.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy Tarnwick.dll to " << narrow(m_path) << ", error " << GetLastError();
        return;
    }
    m_module = LoadLibraryW(m_path.c_str());
    if (!m_module)
        ADD_FAILURE() << "cannot load " << narrow(m_path) << ", error " << GetLastError();
}

FreshModule::~FreshModule()
{
    if (m_module)
        FreeLibrary(m_module);
    DeleteFileW(m_path.c_str());
}

HRESULT FreshModule::canUnloadNow() const
{
    FARPROC proc = m_module ? GetProcAddress(m_module, "DllCanUnloadNow") : nullptr;
    if (!proc)
        return E_UNEXPECTED;
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(proc))();
}

HRESULT FreshModule::getClassObject(REFCLSID clsid, REFIID riid, void** ppv) const
{
    FARPROC proc = m_module ? GetProcAddress(m_module, "DllGetClassObject") : nullptr;
    if (!proc)
        return E_UNEXPECTED;
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(reinterpret_cast<void*>(proc))(
        clsid, riid, ppv);
}

HRESULT FreshModule::createStore(REFIID riid, void** ppv) const
{
    ComPtr<IClassFactory> factory;
    const HRESULT hr = getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory));
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, riid, ppv);
}

} // namespace tarnwick_test
