// Self-registration support: the system registrar (ATL.Registrar) that runs a
// module's registry script, the module's own type library, and an owner for
// registry keys.
#pragma once

#include "framework/com.h"

#include <cstddef>

namespace framework {

struct RegKeyClose {
    void operator()(HKEY key) const noexcept
    {
        // A key that fails to close is gone to us either way.
        if (key)
            (void)RegCloseKey(key);
    }
};

// One registry key handle, closed with its owner.
class RegKey : public Unique<HKEY, RegKeyClose> {
public:
    using Unique::Unique;
    explicit operator bool() const noexcept { return get() != nullptr; }
};

// A replacement variable of a registry script: %name% in the script stands for value.
struct RegistryReplacement {
    const wchar_t* name;
    const wchar_t* value;
};

// The module's full path. A path that does not fit in MAX_PATH characters is refused
// with HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) rather than used cut short.
HRESULT modulePath(HINSTANCE module, wchar_t (&path)[MAX_PATH]) noexcept;

// Runs the registry script that module carries as resource resourceId of type
// "REGISTRY" through the system registrar: writes its entries when registering,
// removes them otherwise. Besides the caller's variables the script sees the
// standard ones: APPID (empty), Module and Module_Raw (the module's full path).
// When the registrar cannot be created, its creation failure is returned and
// nothing is written.
HRESULT updateRegistryFromResource(HINSTANCE module, UINT resourceId, bool registering,
                                   const RegistryReplacement* replacements, std::size_t count) noexcept;

template <std::size_t N>
HRESULT updateRegistryFromResource(HINSTANCE module, UINT resourceId, bool registering,
                                   const RegistryReplacement (&replacements)[N]) noexcept
{
    return updateRegistryFromResource(module, resourceId, registering, replacements, N);
}

// The type library embedded in the module, read from the module's full path; when
// the module holds none, from the same path with the extension ".tlb". Reading it
// registers nothing.
HRESULT loadModuleTypeLib(HINSTANCE module, ITypeLib** library) noexcept;

} // namespace framework
