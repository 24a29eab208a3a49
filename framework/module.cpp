#include "framework/module.h"

#include <cstring>
#include <new>

namespace framework {

Module& module() noexcept
{
    static Module instance;
    return instance;
}

void Module::init(ObjectMapEntry* map, HINSTANCE instance, const GUID* libid) noexcept
{
    m_map = map;
    m_instance = instance;
    m_libid = libid;
    for (ObjectMapEntry* entry = m_map; entry && entry->clsid; ++entry) {
        if (entry->objectMain)
            entry->objectMain(true);
    }
}

void Module::term() noexcept
{
    if (m_terminated)
        return;
    m_terminated = true;
    for (ObjectMapEntry* entry = m_map; entry && entry->clsid; ++entry) {
        if (IUnknown* classObject = entry->classObject) {
            entry->classObject = nullptr;
            classObject->Release();
        }
        if (entry->objectMain)
            entry->objectMain(false);
    }
    std::vector<TermFunc> funcs;
    {
        CriticalSectionLock guard(m_termLock);
        funcs.swap(m_termFuncs);
    }
    for (const TermFunc& f : funcs)
        f.fn(f.data);
}

HRESULT Module::getClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (ObjectMapEntry* entry = m_map; entry && entry->clsid; ++entry) {
        if (!entry->createClassObject || std::memcmp(entry->clsid, &clsid, sizeof(CLSID)) != 0)
            continue;
        // Double-checked so that concurrent first requests make one class object.
        if (!entry->classObject) {
            CriticalSectionLock guard(m_objectMapLock);
            if (!entry->classObject) {
                IUnknown* created = nullptr;
                FW_RETURN_IF_FAILED(
                    entry->createClassObject(entry->createInstance, IID_IUnknown, reinterpret_cast<void**>(&created)));
                // Published only when complete: a reader outside the lock must never reach
                // an object whose map reference is not yet counted.
                InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&entry->classObject), created);
            }
        }
        return entry->classObject->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT Module::addTermFunc(void (*fn)(DWORD_PTR), DWORD_PTR data) noexcept
{
    CriticalSectionLock guard(m_termLock);
    try {
        m_termFuncs.push_back({fn, data});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace framework
