// A second, independent copy of Tarnwick.dll: the built DLL copied under a new file
// name and loaded, so that it starts with its own module state (no class object, no
// cached type information, lock count 0). Unloaded and deleted with the owner.
#pragma once

#include "tarnwick_test.h"

namespace tarnwick_test {

class FreshModule {
public:
    // Copies and loads; handle() is null (and a failure recorded) when that fails.
    explicit FreshModule(const wchar_t* name);
    FreshModule(const FreshModule&) = delete;
    FreshModule& operator=(const FreshModule&) = delete;
    ~FreshModule();

    HMODULE handle() const { return m_module; }
    HRESULT canUnloadNow() const;
    HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT createStore(REFIID riid, void** ppv) const;

private:
    std::wstring m_path;
    HMODULE m_module = nullptr;
};

} // namespace tarnwick_test
