// Self-registration support: the system registrar (ATL.Registrar) that runs a
// module's registry script, the module's own type library, and an owner for
// registry keys.
#pragma once

#include "framework/com.h"

#include <cstddef>

namespace framework {

// One registry key handle, closed with its owner.
class RegKey {
public:
    RegKey() noexcept = default;
    RegKey(RegKey&& other) noexcept : m_key(other.release()) {}
    RegKey& operator=(RegKey&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() { reset(); }

    HKEY get() const noexcept { return m_key; }
    explicit operator bool() const noexcept { return m_key != nullptr; }

    // For out-parameters: closes what was held, then lends the slot.
    HKEY* put() noexcept
    {
        reset();
        return &m_key;
    }

    HKEY release() noexcept
    {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }

    void reset(HKEY owned = nullptr) noexcept
    {
        if (m_key && m_key != owned)
            RegCloseKey(m_key);
        m_key = owned;
    }

private:
    HKEY m_key = nullptr;
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
