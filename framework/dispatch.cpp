#include "framework/dispatch.h"

namespace framework {

HRESULT TypeInfoHolder::getTypeInfo(LCID lcid, ITypeInfo** out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_info) {
        CriticalSectionLock guard(m_lock);
        if (!m_info) {
            ComPtr<ITypeLib> library;
            FW_RETURN_IF_FAILED(LoadRegTypeLib(*m_libid, m_major, m_minor, lcid, &library));
            ComPtr<ITypeInfo> info;
            FW_RETURN_IF_FAILED(library->GetTypeInfoOfGuid(*m_iid, &info));
            FW_RETURN_IF_FAILED(module().addTermFunc(&TypeInfoHolder::release, reinterpret_cast<DWORD_PTR>(this)));
            m_info = info.Detach();
        }
    }
    m_info->AddRef();
    *out = m_info;
    return S_OK;
}

HRESULT TypeInfoHolder::getIDsOfNames(LCID lcid, LPOLESTR* names, UINT count, DISPID* dispids) noexcept
{
    ComPtr<ITypeInfo> info;
    FW_RETURN_IF_FAILED(getTypeInfo(lcid, &info));
    return info->GetIDsOfNames(names, count, dispids);
}

HRESULT TypeInfoHolder::invoke(IDispatch* object, DISPID member, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept
{
    ComPtr<ITypeInfo> info;
    FW_RETURN_IF_FAILED(getTypeInfo(lcid, &info));
    return info->Invoke(object, member, flags, params, result, excepInfo, argErr);
}

void TypeInfoHolder::release(DWORD_PTR holder) noexcept
{
    TypeInfoHolder* self = reinterpret_cast<TypeInfoHolder*>(holder);
    if (ITypeInfo* info = self->m_info) {
        self->m_info = nullptr;
        info->Release();
    }
}

} // namespace framework
