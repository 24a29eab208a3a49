// Objects: the interface table behind QueryInterface, the reference-count root, and
// the wrappers that give an implementation class its IUnknown — stand-alone,
// contained in an aggregate, or the aggregate's own non-delegating shell.
#pragma once

#include "framework/com.h"
#include "framework/module.h"

#include <new>

namespace framework {

// One row of an interface table: the interface lives at offset from the object,
// or, when answer is set, that routine answers for it (interfaces forwarded to a
// member object). The first row also answers IUnknown. A null iid ends the table.
struct InterfaceEntry {
    const IID* iid;
    DWORD_PTR offset;
    HRESULT (*answer)(void* object, REFIID riid, void** ppv);
};

template <class Interface, class Class>
DWORD_PTR offsetOfBase() noexcept
{
    // Any non-null address works; the distance between the two views is what counts.
    Class* probe = reinterpret_cast<Class*>(0x1000);
    return reinterpret_cast<DWORD_PTR>(static_cast<Interface*>(probe)) - 0x1000;
}

// Looks riid up in the table; on success AddRefs once through the interface found.
inline HRESULT queryInterfaceTable(void* object, const InterfaceEntry* entries, REFIID riid, void** ppv) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (const InterfaceEntry* entry = entries; entry->iid; ++entry) {
        const bool identity = entry == entries && InlineIsEqualGUID(riid, IID_IUnknown);
        if (!identity && !InlineIsEqualGUID(riid, *entry->iid))
            continue;
        if (entry->answer)
            return entry->answer(object, riid, ppv);
        IUnknown* found = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + entry->offset);
        found->AddRef();
        *ppv = found;
        return S_OK;
    }
    return E_NOINTERFACE;
}

// Base of every implementation class: the reference count, interlocked so that a
// client breaking the apartment rules cannot free an object early, and the
// controlling unknown when the object is part of an aggregate. The class supplies
// interfaceTable(), finalConstruct() and finalRelease() as it needs.
class ObjectRoot {
public:
    HRESULT finalConstruct() noexcept { return S_OK; }
    void finalRelease() noexcept {}

protected:
    volatile LONG m_refs = 0;
    IUnknown* m_outer = nullptr;
};

// One module lock, taken before the rest of its owner is built and dropped after the
// rest is destroyed, so the DLL cannot be judged unloadable while the owner's members
// are still releasing what they hold. Wrappers derive from it first.
class ModuleLock {
public:
    ModuleLock() noexcept { module().lock(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
    ~ModuleLock() { module().unlock(); }
};

// An implementation class T as an object of its own. Holds a module lock while it lives.
template <class T>
class Object final : private ModuleLock, public T {
public:
    Object() noexcept = default;
    ~Object() { this->finalRelease(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return queryInterfaceTable(static_cast<T*>(this), T::interfaceTable(), riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&this->m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = static_cast<ULONG>(InterlockedDecrement(&this->m_refs));
        if (refs == 0)
            delete this;
        return refs;
    }

    // Builds an object and runs its final construction; the object comes with one
    // reference, and is destroyed again if the final construction fails.
    static HRESULT create(Object** out) noexcept
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        Object* object = new (std::nothrow) Object;
        if (!object)
            return E_OUTOFMEMORY;
        object->AddRef();
        const HRESULT hr = object->finalConstruct();
        if (FAILED(hr)) {
            object->Release();
            return hr;
        }
        *out = object;
        return S_OK;
    }

    // The same, handing out riid; the creation reference goes once the query is made,
    // taking the object with it when the query fails.
    static HRESULT create(REFIID riid, void** ppv) noexcept
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        Object* object = nullptr;
        FW_RETURN_IF_FAILED(create(&object));
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
};

// T inside an aggregate: every IUnknown call goes to the controlling outer unknown.
template <class T>
class ContainedObject final : public T {
public:
    explicit ContainedObject(IUnknown* outer) noexcept { this->m_outer = outer; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return this->m_outer->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return this->m_outer->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return this->m_outer->Release(); }

    HRESULT internalQueryInterface(REFIID riid, void** ppv) noexcept
    {
        return queryInterfaceTable(static_cast<T*>(this), T::interfaceTable(), riid, ppv);
    }
};

// The aggregate's own, non-delegating IUnknown around a contained T. Its count is
// its own; the outer object holds it and releases it to destroy the store.
template <class T>
class AggregatedObject final : private ModuleLock, public IUnknown {
public:
    explicit AggregatedObject(IUnknown* outer) noexcept : m_contained(outer) {}
    AggregatedObject(const AggregatedObject&) = delete;
    AggregatedObject& operator=(const AggregatedObject&) = delete;
    virtual ~AggregatedObject() { m_contained.finalRelease(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (InlineIsEqualGUID(riid, IID_IUnknown)) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        return m_contained.internalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = static_cast<ULONG>(InterlockedDecrement(&m_refs));
        if (refs == 0)
            delete this;
        return refs;
    }

    // Builds the aggregate for outer and hands out riid (IUnknown: the shell itself).
    static HRESULT create(IUnknown* outer, REFIID riid, void** ppv) noexcept
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        AggregatedObject* object = new (std::nothrow) AggregatedObject(outer);
        if (!object)
            return E_OUTOFMEMORY;
        HRESULT hr = object->m_contained.finalConstruct();
        if (SUCCEEDED(hr))
            hr = object->QueryInterface(riid, ppv);
        if (FAILED(hr))
            delete object;
        return hr;
    }

private:
    volatile LONG m_refs = 0;
    ContainedObject<T> m_contained;
};

// Stand-alone or aggregated T, as CreateInstance asks.
template <class T>
HRESULT createInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept
{
    if (outer)
        return AggregatedObject<T>::create(outer, riid, ppv);
    return Object<T>::create(riid, ppv);
}

} // namespace framework
