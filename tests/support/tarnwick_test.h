// What the behaviour tests share: the built DLL loaded as a client loads it, a
// fixture that makes a store through the DLL's own class object and insists that
// everything was released at the end, and small helpers.
#pragma once

#include "Tarnwick.h"
#include "framework/com.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cwctype>
#include "store/dom_types.h"

#include <memory>
#include <string>
#include <vector>

namespace tarnwick_test {

using framework::Bstr;
using framework::ComPtr;
using framework::Variant;

// What the test program's own bitness decides: the platform part under which the
// type library registers (Win32 for the 32-bit DLL, win64 for the 64-bit one), and
// the library key that holds its registration count. A 32-bit test program reads
// the 32-bit registry view and starts the 32-bit regsvr32 and cscript, as any
// 32-bit client does.
#ifdef _WIN64
inline constexpr SYSKIND kSysKind = SYS_WIN64;
inline constexpr wchar_t kLibraryKey[] = L"TypeLib\\{F7F61EAC-E270-4C9A-86DC-78FB9DEAEA92}\\1.0\\0\\win64";
#else
inline constexpr SYSKIND kSysKind = SYS_WIN32;
inline constexpr wchar_t kLibraryKey[] = L"TypeLib\\{F7F61EAC-E270-4C9A-86DC-78FB9DEAEA92}\\1.0\\0\\Win32";
#endif

// The Tarnwick.dll of this build (32- or 64-bit), loaded once per test program.
class Dll {
public:
    static HMODULE handle();
    static HRESULT canUnloadNow();
    static HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** ppv);
    static HRESULT registerServer();
    static HRESULT unregisterServer();
};

// A new store made through the DLL's class object.
HRESULT createStore(REFIID riid, void** ppv);
ComPtr<ITarnwick> newStore();

// A BSTR owner holding text.
Bstr bstr(const wchar_t* text);

// The store's document (the forwarded IXMLDOMDocument) and its XML text.
ComPtr<IXMLDOMDocument> documentOf(IUnknown* store);
std::wstring xmlOf(IUnknown* store);
// The names of the document's top-level nodes, joined by "|" (for instance "xml|root").
std::wstring topLevelNames(IUnknown* store);

// The COM identity of an object, as a value to compare (mingw's ComPtr has no
// comparison operators: == between two ComPtrs compares only their truth).
const void* identityOf(IUnknown* object);
// True when the DOM hands out one COM object per node, so that two retrievals of one
// node compare equal as pointers. Wine's msxml3 makes a new object per retrieval.
bool domKeepsNodeIdentity();

// Values no call hands out: an out-parameter preset with one shows whether a call
// that fails left it untouched.
inline IUnknown* const kSentinel = reinterpret_cast<IUnknown*>(0x5e17);
inline BSTR const kStringSentinel = reinterpret_cast<BSTR>(0x1d);

// A fresh, empty folder for files of one test, and paths in it.
std::wstring tempDir();
std::wstring tempFile(const wchar_t* name);
bool fileExists(const std::wstring& path);
// The names of the files and folders in folder.
std::vector<std::wstring> filesIn(const std::wstring& folder);
std::string readFile(const std::wstring& path);
void writeFile(const std::wstring& path, const std::string& text);
// A folder, new or left by an earlier run (tempDir empties its folder of files only).
bool makeFolder(const std::wstring& path);

// A name that a load must refuse, and what is wrong with it.
struct UnloadableFile {
    const char* what;
    std::wstring name;
};
// Every kind of name a load refuses, made in tempDir(): a missing file, files that
// are not a document (ill-formed, truncated, empty, bad UTF-8, no element, a billion
// laughs), a folder and an empty name.
std::vector<UnloadableFile> unloadableFiles();

// The URL that a load of path announces: "file:///" and the full path with forward
// slashes (for folders that hold no character that needs escaping).
std::wstring urlOf(std::wstring path);

// A path with forward slashes (as the build writes them) turned into a Windows path.
std::wstring windowsPath(std::wstring path);

// Owns a kernel handle.
struct HandleClose {
    void operator()(HANDLE handle) const noexcept
    {
        // A handle that fails to close is gone to the test either way.
        if (handle)
            (void)CloseHandle(handle);
    }
};
using Handle = framework::Unique<HANDLE, HandleClose>;

// Puts the build folder first on this process's PATH, which the programs it starts
// inherit. The class and its library are registered under the bare file name, which
// the platform finds through the library search path (and Wine reads the library back
// from there when unregistering it).
void putBuildFolderFirstOnPath();

// Narrow text for failure messages.
std::string narrow(const std::wstring& text);

// Makes every store test end with the module lock count back at zero.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ComPtr<ITarnwick> store;
};

} // namespace tarnwick_test
