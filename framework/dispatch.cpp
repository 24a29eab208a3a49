#include "framework/dispatch.h"

#include <memory>
#include <new>

namespace framework {

HRESULT TypeInfoHolder::load(LCID lcid, const Loaded** out) noexcept
{
    Loaded* loaded = m_loaded;
    if (!loaded) {
        CriticalSectionLock guard(m_lock);
        loaded = m_loaded;
        if (!loaded) {
            ComPtr<ITypeLib> library;
            FW_RETURN_IF_FAILED(LoadRegTypeLib(*m_libid, m_major, m_minor, lcid, &library));
            std::unique_ptr<Loaded> made(new (std::nothrow) Loaded);
            if (!made)
                return E_OUTOFMEMORY;
            FW_RETURN_IF_FAILED(library->GetTypeInfoOfGuid(*m_iid, &made->info));
            FW_RETURN_IF_FAILED(made->plan.build(made->info.Get()));
            FW_RETURN_IF_FAILED(module().addTermFunc(&TypeInfoHolder::release, reinterpret_cast<DWORD_PTR>(this)));
            loaded = made.release();
            // A full barrier: other threads see the pointer only once what it points to is complete.
            InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&m_loaded), loaded);
        }
    }
    *out = loaded;
    return S_OK;
}

HRESULT TypeInfoHolder::getTypeInfo(LCID lcid, ITypeInfo** out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const Loaded* loaded = nullptr;
    FW_RETURN_IF_FAILED(load(lcid, &loaded));
    loaded->info->AddRef();
    *out = loaded->info.Get();
    return S_OK;
}

HRESULT TypeInfoHolder::getIDsOfNames(LCID lcid, LPOLESTR* names, UINT count, DISPID* dispids) noexcept
{
    const Loaded* loaded = nullptr;
    FW_RETURN_IF_FAILED(load(lcid, &loaded));
    return loaded->info->GetIDsOfNames(names, count, dispids);
}

HRESULT TypeInfoHolder::invoke(IDispatch* object, DISPID member, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept
{
    const Loaded* loaded = nullptr;
    FW_RETURN_IF_FAILED(load(lcid, &loaded));
    return invokeThroughPlan(loaded->info.Get(), loaded->plan, object, member, flags, params, result, excepInfo,
                             argErr);
}

void TypeInfoHolder::release(DWORD_PTR holder) noexcept
{
    TypeInfoHolder* self = reinterpret_cast<TypeInfoHolder*>(holder);
    PVOID loaded = InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&self->m_loaded), nullptr);
    delete static_cast<Loaded*>(loaded);
}

} // namespace framework
