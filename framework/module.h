// The server module: the lock count that decides whether the DLL may unload, the
// object map that names the creatable classes, and the callbacks run at unload.
#pragma once

#include "framework/com.h"

#include <vector>

namespace framework {

// Creates an instance: stand-alone when outer is null, else the inner object of an aggregate.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// One creatable class. The map ends with an entry whose clsid is null.
struct ObjectMapEntry {
    const CLSID* clsid;
    HRESULT (*updateRegistry)(BOOL registering);
    HRESULT (*createClassObject)(InstanceCreator creator, REFIID riid, void** ppv);
    InstanceCreator createInstance;
    IUnknown* volatile classObject; // cached, owned by the map once created
    const wchar_t* (*description)();
    void (*objectMain)(bool starting);
};

class Module {
public:
    // Process attach: records the map and the library, runs the start hooks.
    void init(ObjectMapEntry* map, HINSTANCE instance, const GUID* libid) noexcept;
    // Process detach: releases cached class objects, runs stop hooks and termination
    // callbacks. Only the first call does anything.
    void term() noexcept;

    LONG lock() noexcept { return InterlockedIncrement(&m_lockCount); }
    LONG unlock() noexcept { return InterlockedDecrement(&m_lockCount); }
    LONG lockCount() const noexcept { return m_lockCount; }

    HINSTANCE instance() const noexcept { return m_instance; }
    const GUID* libid() const noexcept { return m_libid; }
    ObjectMapEntry* objectMap() const noexcept { return m_map; }

    // The class object of clsid, created on first request and cached until term().
    HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;

    // Registers fn(data) to run once at term(), in the order added.
    HRESULT addTermFunc(void (*fn)(DWORD_PTR data), DWORD_PTR data) noexcept;

private:
    struct TermFunc {
        void (*fn)(DWORD_PTR);
        DWORD_PTR data;
    };

    volatile LONG m_lockCount = 0;
    HINSTANCE m_instance = nullptr;
    const GUID* m_libid = nullptr;
    ObjectMapEntry* m_map = nullptr;
    bool m_terminated = false;
    CriticalSection m_objectMapLock;
    CriticalSection m_termLock;
    std::vector<TermFunc> m_termFuncs;
};

// The module of this DLL (or of the test program that links the store directly).
Module& module() noexcept;

} // namespace framework
