#include "framework/registrar.h"

#include "atliface.h"

#include <new>
#include <string>

namespace framework {

namespace {

// atliface.h declares CLSID_Registrar but no generated file defines it.
const CLSID kClsidRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

} // namespace

HRESULT modulePath(HINSTANCE module, wchar_t (&path)[MAX_PATH]) noexcept
{
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    if (length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

HRESULT updateRegistryFromResource(HINSTANCE module, UINT resourceId, bool registering,
                                   const RegistryReplacement* replacements, std::size_t count) noexcept
{
    ComPtr<IRegistrar> registrar;
    FW_RETURN_IF_FAILED(CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                         reinterpret_cast<void**>(registrar.GetAddressOf())));
    wchar_t path[MAX_PATH];
    FW_RETURN_IF_FAILED(modulePath(module, path));

    FW_RETURN_IF_FAILED(registrar->AddReplacement(L"APPID", L""));
    FW_RETURN_IF_FAILED(registrar->AddReplacement(L"Module", path));
    FW_RETURN_IF_FAILED(registrar->AddReplacement(L"Module_Raw", path));
    for (std::size_t i = 0; i < count; ++i)
        FW_RETURN_IF_FAILED(registrar->AddReplacement(replacements[i].name, replacements[i].value));

    return registering ? registrar->ResourceRegister(path, resourceId, L"REGISTRY")
                       : registrar->ResourceUnregister(path, resourceId, L"REGISTRY");
}

HRESULT loadModuleTypeLib(HINSTANCE module, ITypeLib** library) noexcept
{
    wchar_t path[MAX_PATH];
    FW_RETURN_IF_FAILED(modulePath(module, path));
    if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, library)))
        return S_OK;

    try {
        std::wstring tlb(path);
        const std::size_t dot = tlb.find_last_of(L".\\");
        if (dot != std::wstring::npos && tlb[dot] == L'.')
            tlb.erase(dot);
        tlb += L".tlb";
        return LoadTypeLibEx(tlb.c_str(), REGKIND_NONE, library);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace framework
