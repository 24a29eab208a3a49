// Counted self-registration. The class and its type library are registered under the
// DLL's bare file name, so the platform's library search finds the DLL wherever it
// lies. Each registration raises a "RefCount" in the class key and in the library
// key; the entries go only when an unregistration brings a count back to zero.
#include "server/registration.h"
#include "server/resource.h"

#include "Tarnwick.h"
#include "framework/module.h"
#include "framework/registrar.h"

#include <mbstring.h>

#include <cstdio>
#include <memory>

namespace {

using framework::ComPtr;
using framework::RegKey;

constexpr UINT kRegistryScript = IDR_TARNWICK_REGISTRY;
constexpr char kRefCount[] = "RefCount";
// Pause before the one retry of registering the library under the bare file name.
constexpr DWORD kRetryDelayMs = 172;

struct CoTaskMemClose {
    void operator()(wchar_t* text) const noexcept { CoTaskMemFree(text); }
};
using CoTaskString = framework::Unique<wchar_t*, CoTaskMemClose>;

struct LibAttrClose {
    ITypeLib* library = nullptr;
    void operator()(TLIBATTR* attr) const noexcept
    {
        if (attr)
            library->ReleaseTLibAttr(attr);
    }
};

// A type library's attributes, handed back to the library with their owner.
class LibAttr : public framework::Unique<TLIBATTR*, LibAttrClose> {
public:
    explicit LibAttr(ITypeLib* library) noexcept : Unique(LibAttrClose{library}) {}

    HRESULT read() noexcept { return closer().library->GetLibAttr(put()); }
    const TLIBATTR& get() const noexcept { return *Unique::get(); }
};

// The DLL's file name without its directory, in the ANSI code page. A path without a
// backslash, or whose only backslash is its first character, is taken whole.
void moduleFileName(char (&name)[MAX_PATH]) noexcept
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(framework::module().instance(), path, MAX_PATH);
    // A path cut short by the buffer names no file; the registrar and the library
    // loader refuse such a path before anything is written.
    if (length >= MAX_PATH)
        path[0] = '\0';
    const char* result = path;
    const unsigned char* slash = _mbsrchr(reinterpret_cast<const unsigned char*>(path), '\\');
    if (slash && slash != reinterpret_cast<const unsigned char*>(path))
        result = reinterpret_cast<const char*>(slash + 1);
    lstrcpynA(name, result, MAX_PATH);
}

// The same name in UTF-16, converted with the thread's ANSI code page.
void moduleFileNameW(wchar_t (&name)[MAX_PATH]) noexcept
{
    char narrow[MAX_PATH];
    moduleFileName(narrow);
    // Each byte gives at most one character, so only an unusable code page can fail;
    // the name then stays empty and the registrations that use it fail visibly.
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, narrow, -1, name, MAX_PATH) == 0)
        name[0] = L'\0';
}

// A key below HKEY_CLASSES_ROOT opened for writing; empty when it is missing or
// may not be written.
RegKey openForWriting(const char* name) noexcept
{
    HKEY opened = nullptr;
    RegKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_ALL_ACCESS, &opened) == ERROR_SUCCESS)
        key.reset(opened);
    return key;
}

// CLSID\{class}\InprocServer32, which holds the class's registration count.
RegKey openClassKey(REFCLSID clsid) noexcept
{
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)))
        return RegKey();
    const CoTaskString clsidText(text);
    char name[256] = {};
    std::snprintf(name, sizeof(name), "CLSID\\%ls\\%s", clsidText.get(), "InprocServer32");
    return openForWriting(name);
}

// The platform part of a library key follows the library's own platform: the
// platform registers a 64-bit library under win64, a 32-bit one under Win32.
const char* platformKeyName(SYSKIND syskind) noexcept
{
    return syskind == SYS_WIN64 ? "win64" : "Win32";
}

// TypeLib\{library}\major.minor\locale\platform, which holds the library's
// registration count.
RegKey openLibraryKey(const TLIBATTR& attr) noexcept
{
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(attr.guid, &text)))
        return RegKey();
    const CoTaskString libidText(text);
    char name[MAX_PATH] = {};
    std::snprintf(name, sizeof(name), "TypeLib\\%ls\\%u.%u\\%lu\\%s", libidText.get(),
                  static_cast<unsigned>(attr.wMajorVerNum), static_cast<unsigned>(attr.wMinorVerNum),
                  static_cast<unsigned long>(attr.lcid), platformKeyName(attr.syskind));
    return openForWriting(name);
}

void writeCount(HKEY key, DWORD count) noexcept
{
    // The key was opened with full access and a count has no failure to report: a
    // write that still fails leaves the old count for the next update to read.
    (void)RegSetValueExA(key, kRefCount, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
}

// Raises or lowers the "RefCount" in key and returns the new count. Anything but a
// four-byte REG_DWORD counts as 0. The count is unsigned: raised past 0xFFFFFFFF it
// wraps to 0. Lowered from 1 the value is deleted; lowered from 0 nothing changes.
DWORD updateCount(HKEY key, bool raise) noexcept
{
    DWORD type = REG_NONE;
    DWORD count = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExA(key, kRefCount, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(count))
        count = 0;

    if (raise) {
        ++count;
        writeCount(key, count);
        return count;
    }
    if (count == 0)
        return 0;
    if (count == 1) {
        // Deleting fails only when the value is gone already, which is the aim.
        (void)RegDeleteValueA(key, kRefCount);
        return 0;
    }
    --count;
    writeCount(key, count);
    return count;
}

// RegisterTypeLib under path with an empty help directory (a literal, so there is
// nothing to allocate). The platform's declaration takes non-const strings.
HRESULT registerTypeLibAt(ITypeLib* library, wchar_t* path) noexcept
{
    wchar_t noHelpDir[] = L"";
    return RegisterTypeLib(library, path, noHelpDir);
}

// The library under the DLL's bare file name: the path that clients are to find.
HRESULT registerTypeLibUnderFileName(ITypeLib* library) noexcept
{
    wchar_t fileName[MAX_PATH];
    moduleFileNameW(fileName);
    return registerTypeLibAt(library, fileName);
}

// The library under the DLL's full path, from which the platform can read it back
// wherever the DLL lies.
HRESULT registerTypeLibUnderFullPath(HINSTANCE instance, ITypeLib* library) noexcept
{
    wchar_t path[MAX_PATH];
    FW_RETURN_IF_FAILED(framework::modulePath(instance, path));
    return registerTypeLibAt(library, path);
}

// The module's part of registration: every class of the object map, then the type
// library embedded in the DLL under the DLL's full path.
HRESULT registerObjectMap(HINSTANCE instance) noexcept
{
    for (framework::ObjectMapEntry* entry = framework::module().objectMap(); entry && entry->clsid; ++entry) {
        if (entry->updateRegistry)
            FW_RETURN_IF_FAILED(entry->updateRegistry(TRUE));
    }
    ComPtr<ITypeLib> library;
    FW_RETURN_IF_FAILED(framework::loadModuleTypeLib(instance, &library));
    return registerTypeLibUnderFullPath(instance, library.Get());
}

// The module's part of unregistration: every class of the object map. The type
// library is the caller's, which counts it separately.
void unregisterObjectMap() noexcept
{
    for (framework::ObjectMapEntry* entry = framework::module().objectMap(); entry && entry->clsid; ++entry) {
        // A class key that is already gone must not stop the library's count from
        // going down, so a class's failure is not passed on.
        if (entry->updateRegistry)
            (void)entry->updateRegistry(FALSE);
    }
}

} // namespace

HRESULT updateRegistry(BOOL registering)
{
    wchar_t relativePath[MAX_PATH];
    moduleFileNameW(relativePath);
    const framework::RegistryReplacement replacements[] = {{L"RELATIVE_PATH", relativePath}};
    const HINSTANCE instance = framework::module().instance();

    HRESULT hr = S_OK;
    if (registering) {
        hr = framework::updateRegistryFromResource(instance, kRegistryScript, true, replacements);
        if (FAILED(hr))
            return hr;
    }

    DWORD count = 0;
    {
        const RegKey key = openClassKey(CLSID_Tarnwick);
        if (!key)
            return E_FAIL;
        count = updateCount(key.get(), registering != FALSE);
    }

    if (!registering && count == 0) {
        // The count has already gone to zero; entries the registrar cannot remove stay
        // in sight, and a later registration writes them over.
        (void)framework::updateRegistryFromResource(instance, kRegistryScript, false, replacements);
    }
    return hr;
}

STDAPI DllRegisterServer()
{
    const HINSTANCE instance = framework::module().instance();
    FW_RETURN_IF_FAILED(registerObjectMap(instance));

    ComPtr<ITypeLib> library;
    FW_RETURN_IF_FAILED(framework::loadModuleTypeLib(instance, &library));
    if (FAILED(registerTypeLibUnderFileName(library.Get()))) {
        Sleep(kRetryDelayMs);
        // Should this fail too, the library stays registered under the DLL's full
        // path from the object map's step, so clients still find it.
        (void)registerTypeLibUnderFileName(library.Get());
    }

    LibAttr attr(library.Get());
    FW_RETURN_IF_FAILED(attr.read());
    const RegKey key = openLibraryKey(attr.get());
    if (!key)
        return E_FAIL;
    updateCount(key.get(), true);
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    const HINSTANCE instance = framework::module().instance();
    ComPtr<ITypeLib> library;
    FW_RETURN_IF_FAILED(framework::loadModuleTypeLib(instance, &library));
    LibAttr attr(library.Get());
    FW_RETURN_IF_FAILED(attr.read());

    DWORD remaining = 0;
    {
        const RegKey key = openLibraryKey(attr.get());
        if (!key)
            return E_FAIL;
        remaining = updateCount(key.get(), false);
    }

    unregisterObjectMap();

    if (remaining == 0) {
        // UnRegisterTypeLib reads the library back from its registered path to learn
        // which interface keys are its own, and a bare file name is found only where the
        // library search reaches (uninstallers run from elsewhere): the registration
        // points at the full path first.
        FW_RETURN_IF_FAILED(registerTypeLibUnderFullPath(instance, library.Get()));
        const TLIBATTR& a = attr.get();
        FW_RETURN_IF_FAILED(UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind));
        return S_OK;
    }
    FW_RETURN_IF_FAILED(registerTypeLibUnderFileName(library.Get()));
    return S_FALSE;
}
