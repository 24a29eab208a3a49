// Late binding for a dual interface: IDispatch answered from the interface's type
// information in the registered type library, loaded on first need, kept for the
// process and released when the module shuts down. Invoke takes arguments as script
// engines pass them (framework/invoke_plan.h).
#pragma once

#include "framework/com.h"
#include "framework/invoke_plan.h"
#include "framework/module.h"

namespace framework {

class TypeInfoHolder {
public:
    TypeInfoHolder(const IID* iid, const GUID* libid, WORD major, WORD minor) noexcept
        : m_iid(iid), m_libid(libid), m_major(major), m_minor(minor)
    {
    }
    TypeInfoHolder(const TypeInfoHolder&) = delete;
    TypeInfoHolder& operator=(const TypeInfoHolder&) = delete;

    // The interface's type information with one reference. A failed load caches
    // nothing, so the next call tries again.
    HRESULT getTypeInfo(LCID lcid, ITypeInfo** out) noexcept;

    HRESULT getIDsOfNames(LCID lcid, LPOLESTR* names, UINT count, DISPID* dispids) noexcept;
    HRESULT invoke(IDispatch* object, DISPID member, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr) noexcept;

private:
    // The type information with the plan read from it, published together.
    struct Loaded {
        ComPtr<ITypeInfo> info;
        InvokePlan plan;
    };

    // Borrowed: what is loaded lives until the module shuts down.
    HRESULT load(LCID lcid, const Loaded** out) noexcept;
    static void release(DWORD_PTR holder) noexcept;

    const IID* m_iid;
    const GUID* m_libid;
    WORD m_major;
    WORD m_minor;
    Loaded* volatile m_loaded = nullptr;
    CriticalSection m_lock;
};

template <class Interface, const IID* piid, const GUID* plibid, WORD major, WORD minor>
class IDispatchImpl : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 1;
        return S_OK;
    }

    // There is one type information, so the index is not looked at.
    STDMETHODIMP GetTypeInfo(UINT, LCID lcid, ITypeInfo** info) override
    {
        if (!info)
            return E_POINTER;
        *info = nullptr;
        return s_typeInfo.getTypeInfo(lcid, info);
    }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) override
    {
        return s_typeInfo.getIDsOfNames(lcid, names, count, dispids);
    }

    STDMETHODIMP Invoke(DISPID member, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excepInfo, UINT* argErr) override
    {
        return s_typeInfo.invoke(static_cast<Interface*>(this), member, lcid, flags, params, result, excepInfo,
                                 argErr);
    }

private:
    static inline TypeInfoHolder s_typeInfo{piid, plibid, major, minor};
};

} // namespace framework
