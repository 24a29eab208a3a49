// Counted self-registration against the prefix's real registry: the entries written,
// the two registration counts, script clients and regsvr32, and the registry script
// resource itself. Every test leaves the registry fully unregistered, as other test
// programs share the prefix.
#include "support/tarnwick_test.h"

#include "framework/registrar.h"
#include "server/resource.h"

#include <memory>
#include <optional>
#include <vector>

namespace tarnwick_test {
namespace {

using framework::RegKey;

const wchar_t kProgId[] = L"Orvane.Fenwright.Tarnwick.1";
const wchar_t kVersionIndependentProgId[] = L"Orvane.Fenwright.Tarnwick";
const wchar_t kClassKey[] = L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}";
const wchar_t kInprocKey[] = L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\InprocServer32";
const wchar_t kProgrammableKey[] = L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\Programmable";
const wchar_t kLibraryRoot[] = L"TypeLib\\{F7F61EAC-E270-4C9A-86DC-78FB9DEAEA92}";
const wchar_t kLibraryVersionKey[] = L"TypeLib\\{F7F61EAC-E270-4C9A-86DC-78FB9DEAEA92}\\1.0";
const wchar_t kLibraryId[] = L"{F7F61EAC-E270-4C9A-86DC-78FB9DEAEA92}";
const wchar_t kDllFileName[] = L"Tarnwick.dll";
const UINT kRegistryScript = IDR_TARNWICK_REGISTRY;

// What the registry script writes, with the value of RELATIVE_PATH left out.
struct Entry {
    const wchar_t* key;
    const wchar_t* value; // null for the key's default value
    const wchar_t* data;  // null for RELATIVE_PATH
};

const Entry kScriptEntries[] = {
    {L"Orvane.Fenwright.Tarnwick.1", nullptr, L"Tarnwick Class"},
    {L"Orvane.Fenwright.Tarnwick.1\\CLSID", nullptr, L"{FB725F23-62B6-46b2-8955-AD91AB49D77E}"},
    {L"Orvane.Fenwright.Tarnwick", nullptr, L"Tarnwick Class"},
    {L"Orvane.Fenwright.Tarnwick\\CLSID", nullptr, L"{FB725F23-62B6-46b2-8955-AD91AB49D77E}"},
    {L"Orvane.Fenwright.Tarnwick\\CurVer", nullptr, L"Orvane.Fenwright.Tarnwick.1"},
    {kClassKey, nullptr, L"Tarnwick Class"},
    {L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\ProgID", nullptr, L"Orvane.Fenwright.Tarnwick.1"},
    {L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\VersionIndependentProgID", nullptr,
     L"Orvane.Fenwright.Tarnwick"},
    {kInprocKey, nullptr, nullptr},
    {kInprocKey, L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\TypeLib", nullptr, kLibraryId},
};

// The keys the script writes, with how many subkeys and values each holds when
// the script alone has run.
struct KeyShape {
    const wchar_t* key;
    DWORD subkeys;
    DWORD values;
};

const KeyShape kScriptKeys[] = {
    {L"Orvane.Fenwright.Tarnwick.1", 1, 1},
    {L"Orvane.Fenwright.Tarnwick.1\\CLSID", 0, 1},
    {L"Orvane.Fenwright.Tarnwick", 2, 1},
    {L"Orvane.Fenwright.Tarnwick\\CLSID", 0, 1},
    {L"Orvane.Fenwright.Tarnwick\\CurVer", 0, 1},
    {kClassKey, 5, 1},
    {L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\ProgID", 0, 1},
    {L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\VersionIndependentProgID", 0, 1},
    {kProgrammableKey, 0, 0},
    {kInprocKey, 0, 2},
    {L"CLSID\\{FB725F23-62B6-46B2-8955-AD91AB49D77E}\\TypeLib", 0, 1},
};

std::wstring guidText(REFGUID guid)
{
    wchar_t text[39] = {};
    EXPECT_EQ(39, StringFromGUID2(guid, text, 39));
    return text;
}

RegKey openKey(const std::wstring& path, REGSAM access = KEY_READ)
{
    HKEY opened = nullptr;
    RegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, access, &opened) == ERROR_SUCCESS)
        key.reset(opened);
    return key;
}

bool keyExists(const std::wstring& path)
{
    return static_cast<bool>(openKey(path));
}

// A REG_SZ value, or nothing when the key or value is missing or of another type.
std::optional<std::wstring> stringValue(const std::wstring& path, const wchar_t* name)
{
    const RegKey key = openKey(path);
    if (!key)
        return std::nullopt;
    wchar_t data[512] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::wstring(data);
}

// A "RefCount" as stored: nothing when missing, else its value, which must be a REG_DWORD.
std::optional<DWORD> refCount(const std::wstring& path)
{
    const RegKey key = openKey(path);
    if (!key)
        return std::nullopt;
    DWORD type = REG_NONE;
    DWORD count = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExW(key.get(), L"RefCount", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << narrow(path);
    EXPECT_EQ(sizeof(DWORD), size) << narrow(path);
    return count;
}

void setValue(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    const RegKey key = openKey(path, KEY_SET_VALUE);
    ASSERT_TRUE(key) << narrow(path);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size));
}

void createKey(const std::wstring& path)
{
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &created, nullptr))
        << narrow(path);
    RegKey owner; // the key is only made, so it is closed at once
    owner.reset(created);
}

void setRefCount(const std::wstring& path, DWORD count)
{
    setValue(path, L"RefCount", REG_DWORD, &count, sizeof(count));
}

void expectCounts(std::optional<DWORD> expected, int line)
{
    SCOPED_TRACE(testing::Message() << "counts checked at line " << line);
    EXPECT_EQ(expected, refCount(kInprocKey));
    EXPECT_EQ(expected, refCount(kLibraryKey));
}

void expectScriptEntries(const wchar_t* relativePath, int line)
{
    SCOPED_TRACE(testing::Message() << "entries checked at line " << line);
    for (const Entry& e : kScriptEntries) {
        const wchar_t* data = e.data ? e.data : relativePath;
        EXPECT_EQ(std::optional<std::wstring>(data), stringValue(e.key, e.value))
            << narrow(e.key) << " " << (e.value ? narrow(e.value) : "(default)");
    }
    EXPECT_TRUE(keyExists(kProgrammableKey));
}

void expectKeyShape(const KeyShape& shape)
{
    const RegKey key = openKey(shape.key);
    ASSERT_TRUE(key) << narrow(shape.key);
    DWORD subkeys = 0;
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                              &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(shape.subkeys, subkeys) << narrow(shape.key);
    EXPECT_EQ(shape.values, values) << narrow(shape.key);
}

// Every key that registration may leave behind: the script's, the library's and
// those the platform writes for the library's interfaces.
std::vector<std::wstring> registeredKeys()
{
    return {kProgId,
            kVersionIndependentProgId,
            kClassKey,
            kLibraryRoot,
            L"Interface\\" + guidText(IID_ITarnwick),
            L"Interface\\" + guidText(IID_ITarnwickEvents)};
}

std::wstring leftovers()
{
    std::wstring found;
    for (const std::wstring& key : registeredKeys()) {
        if (keyExists(key))
            found += key + L" ";
    }
    return found;
}

void scrub()
{
    for (const std::wstring& key : registeredKeys())
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
}

// Runs a Windows program and returns its exit code: with this process's environment
// and current folder, or with the environment block and folder given.
DWORD run(std::wstring commandLine, const std::wstring* environment = nullptr, const wchar_t* folder = nullptr)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    void* block = environment ? const_cast<wchar_t*>(environment->c_str()) : nullptr;
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, block, folder,
                        &startup, &info)) {
        ADD_FAILURE() << "cannot start " << narrow(commandLine) << ", error " << GetLastError();
        return ~0u;
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);
    if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << narrow(commandLine) << " did not finish";
        TerminateProcess(process.get(), 1);
        return ~0u;
    }
    DWORD code = ~0u;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &code));
    return code;
}

std::wstring quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

struct EnvironmentFreer {
    void operator()(wchar_t* strings) const noexcept { FreeEnvironmentStringsW(strings); }
};

// This process's environment as a block for CreateProcessW, with PATH cut down to the
// system folders: the search path of a program that nothing has put a folder on.
std::wstring environmentWithSystemPath()
{
    wchar_t system[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    EXPECT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    EXPECT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    const std::wstring path = L"PATH=" + std::wstring(system) + L";" + windows;

    const std::unique_ptr<wchar_t, EnvironmentFreer> strings(GetEnvironmentStringsW());
    std::wstring block;
    for (const wchar_t* entry = strings.get(); entry && *entry; entry += wcslen(entry) + 1) {
        block += _wcsnicmp(entry, L"PATH=", 5) == 0 ? path.c_str() : entry;
        block += L'\0';
    }
    if (block.find(path) == std::wstring::npos)
        block += path + L'\0';
    // The block ends with an empty entry: c_str() adds the last NUL.
    return block;
}

class RegistrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { putBuildFolderFirstOnPath(); }

    void SetUp() override
    {
        ASSERT_NE(nullptr, Dll::handle());
        ASSERT_EQ(L"", leftovers()) << "the prefix holds entries from elsewhere";
    }

    void TearDown() override
    {
        EXPECT_EQ(L"", leftovers()) << "the test left entries behind";
        scrub();
        EXPECT_TRUE(keyExists(L"CLSID"));
        EXPECT_EQ(S_OK, Dll::canUnloadNow());
    }

    // Brings both counts to 1 and unregisters once: the way back to a clean prefix
    // from any count a test left.
    static void unregisterFromAnyCount()
    {
        if (keyExists(kInprocKey))
            setRefCount(kInprocKey, 1);
        if (keyExists(kLibraryKey))
            setRefCount(kLibraryKey, 1);
        EXPECT_EQ(S_OK, Dll::unregisterServer());
    }
};

TEST_F(RegistrationTest, OneRegistrationWritesEveryEntryUnderTheBareFileName)
{
    ASSERT_EQ(S_OK, Dll::registerServer());

    expectCounts(1u, __LINE__);
    expectScriptEntries(kDllFileName, __LINE__);
    EXPECT_EQ(std::optional<std::wstring>(kDllFileName), stringValue(kLibraryKey, nullptr));
    EXPECT_TRUE(keyExists(L"Interface\\" + guidText(IID_ITarnwick)));
    // Wine's HKEY_CLASSES_ROOT writes land in the machine's classes, not in a per-user view.
    const std::wstring machinePath = L"Software\\Classes\\" + std::wstring(kInprocKey);
    HKEY machine = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, machinePath.c_str(), 0, KEY_READ, &machine));
    RegKey machineKey;
    machineKey.reset(machine);

    EXPECT_EQ(S_OK, Dll::unregisterServer());
}

TEST_F(RegistrationTest, ScriptClientCreatesTheObjectByEitherProgId)
{
    ASSERT_EQ(S_OK, Dll::registerServer());
    // The extension picks JScript: Wine's script host refuses the //E: switch.
    const std::wstring script = windowsPath(TARNWICK_SOURCE_DIR L"/tests/scripts/create_by_progid.js");
    for (const wchar_t* progId : {kProgId, kVersionIndependentProgId}) {
        SCOPED_TRACE(narrow(progId));
        EXPECT_EQ(0u, run(L"cscript.exe //nologo " + quoted(script) + L" " + progId))
            << "exit codes: 1 no ProgID, 2 not created, 3 getRootElement failed";
    }
    EXPECT_EQ(S_OK, Dll::unregisterServer());
}

TEST_F(RegistrationTest, EveryRegistrationTakesOneUnregistration)
{
    ASSERT_EQ(S_OK, Dll::registerServer());
    ASSERT_EQ(S_OK, Dll::registerServer());
    expectCounts(2u, __LINE__);

    EXPECT_EQ(S_FALSE, Dll::unregisterServer());
    expectCounts(1u, __LINE__);
    expectScriptEntries(kDllFileName, __LINE__);
    EXPECT_EQ(std::optional<std::wstring>(kDllFileName), stringValue(kLibraryKey, nullptr));

    EXPECT_EQ(S_OK, Dll::unregisterServer());
    for (const std::wstring& key : registeredKeys())
        EXPECT_FALSE(keyExists(key)) << narrow(key);
    EXPECT_TRUE(keyExists(L"CLSID"));
}

// How a "RefCount" is read: as stored by something other than this DLL, then raised or
// lowered by one registration or unregistration.
enum class Stored { kString, kMissing, kEightBytes, kMaximum };

struct CountCase {
    const char* name;
    Stored stored;
    bool registering;
    HRESULT expected;
    std::optional<DWORD> countsAfter; // nothing: every entry is gone
};

const CountCase kCountCases[] = {
    {"string lowered", Stored::kString, false, S_OK, std::nullopt},
    {"missing lowered", Stored::kMissing, false, S_OK, std::nullopt},
    {"eight bytes lowered", Stored::kEightBytes, false, S_OK, std::nullopt},
    {"string raised", Stored::kString, true, S_OK, 1u},
    {"missing raised", Stored::kMissing, true, S_OK, 1u},
    {"maximum lowered", Stored::kMaximum, false, S_FALSE, 0xFFFFFFFEu},
    {"maximum raised wraps", Stored::kMaximum, true, S_OK, 0u},
};

void store(const std::wstring& key, Stored stored)
{
    switch (stored) {
    case Stored::kString: {
        const wchar_t text[] = L"3";
        setValue(key, L"RefCount", REG_SZ, text, sizeof(text));
        break;
    }
    case Stored::kMissing: {
        const RegKey opened = openKey(key, KEY_SET_VALUE);
        ASSERT_TRUE(opened);
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(opened.get(), L"RefCount"));
        break;
    }
    case Stored::kEightBytes: {
        const ULONGLONG wide = 3;
        setValue(key, L"RefCount", REG_DWORD, &wide, sizeof(wide));
        break;
    }
    case Stored::kMaximum:
        setRefCount(key, 0xFFFFFFFFu);
        break;
    }
}

TEST_F(RegistrationTest, CountsNotWrittenByUsAreReadAsUnsignedDwordsOrZero)
{
    for (const CountCase& c : kCountCases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(S_OK, Dll::registerServer());
        store(kInprocKey, c.stored);
        store(kLibraryKey, c.stored);

        EXPECT_EQ(c.expected, c.registering ? Dll::registerServer() : Dll::unregisterServer());

        if (c.countsAfter) {
            expectCounts(c.countsAfter, __LINE__);
            expectScriptEntries(kDllFileName, __LINE__);
            unregisterFromAnyCount();
        }
        EXPECT_EQ(L"", leftovers());
    }
}

TEST_F(RegistrationTest, MissingLibraryKeyFailsUnregistrationAndRemovesNothing)
{
    ASSERT_EQ(S_OK, Dll::registerServer());
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, kLibraryKey));

    EXPECT_EQ(E_FAIL, Dll::unregisterServer());
    EXPECT_EQ(std::optional<DWORD>(1u), refCount(kInprocKey));
    expectScriptEntries(kDllFileName, __LINE__);
    EXPECT_TRUE(keyExists(kLibraryVersionKey));
    EXPECT_TRUE(keyExists(L"Interface\\" + guidText(IID_ITarnwick)));

    // Put the library key back as the platform wrote it, so that one unregistration cleans up.
    createKey(kLibraryKey);
    setValue(kLibraryKey, nullptr, REG_SZ, kDllFileName, sizeof(kDllFileName));
    setRefCount(kLibraryKey, 1);
    EXPECT_EQ(S_OK, Dll::unregisterServer());
}

TEST_F(RegistrationTest, ReregistrationRemakesProgrammableRewritesValuesAndRaisesBothCounts)
{
    ASSERT_EQ(S_OK, Dll::registerServer());
    createKey(std::wstring(kProgrammableKey) + L"\\Stale");
    const wchar_t stale[] = L"stale";
    setValue(kProgrammableKey, L"Stale", REG_SZ, stale, sizeof(stale));
    setValue(L"Orvane.Fenwright.Tarnwick.1", nullptr, REG_SZ, stale, sizeof(stale));
    setValue(kInprocKey, L"ThreadingModel", REG_SZ, stale, sizeof(stale));

    ASSERT_EQ(S_OK, Dll::registerServer());
    expectKeyShape({kProgrammableKey, 0, 0});
    expectScriptEntries(kDllFileName, __LINE__);
    expectCounts(2u, __LINE__);

    EXPECT_EQ(S_FALSE, Dll::unregisterServer());
    EXPECT_EQ(S_OK, Dll::unregisterServer());
}

TEST_F(RegistrationTest, RegistrarThatCannotBeCreatedFailsRegistrationAndWritesNothing)
{
    // A class object for the registrar's class in this process stands in for the
    // system's and refuses to make one.
    class RefusingFactory final : public IClassFactory {
    public:
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
        {
            if (!ppv)
                return E_POINTER;
            *ppv = nullptr;
            if (riid != IID_IUnknown && riid != IID_IClassFactory)
                return E_NOINTERFACE;
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 2; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override
        {
            if (ppv)
                *ppv = nullptr;
            return E_ACCESSDENIED;
        }
        STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    } refusing;
    const CLSID clsidRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(clsidRegistrar, &refusing, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie));

    EXPECT_EQ(E_ACCESSDENIED, Dll::registerServer());
    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(L"", leftovers());
}

TEST_F(RegistrationTest, Regsvr32RegistersAndUnregistersThroughTheExports)
{
    const std::wstring dll = quoted(windowsPath(TARNWICK_DLL));
    ASSERT_EQ(0u, run(L"regsvr32.exe /s " + dll));
    expectCounts(1u, __LINE__);
    expectScriptEntries(kDllFileName, __LINE__);
    EXPECT_EQ(std::optional<std::wstring>(kDllFileName), stringValue(kLibraryKey, nullptr));

    ASSERT_EQ(0u, run(L"regsvr32.exe /s " + dll));
    expectCounts(2u, __LINE__);

    EXPECT_EQ(0u, run(L"regsvr32.exe /u /s " + dll));
    expectCounts(1u, __LINE__);
    expectScriptEntries(kDllFileName, __LINE__);

    EXPECT_EQ(0u, run(L"regsvr32.exe /u /s " + dll));
}

// Uninstallers run regsvr32 from anywhere: here the DLL lies in a folder of its own,
// neither regsvr32's current folder nor on its PATH, so nothing can find the DLL by the
// bare file name that the entries name.
TEST_F(RegistrationTest, Regsvr32OffTheSearchPathCountsDownThenRemovesEveryEntry)
{
    const std::wstring copy = tempDir() + L"\\" + kDllFileName;
    ASSERT_TRUE(CopyFileW(TARNWICK_DLL, copy.c_str(), FALSE)) << "error " << GetLastError();
    const std::wstring environment = environmentWithSystemPath();
    wchar_t elsewhere[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryW(elsewhere, MAX_PATH));
    const auto regsvr32 = [&](const wchar_t* switches) {
        return run(L"regsvr32.exe " + std::wstring(switches) + quoted(copy), &environment, elsewhere);
    };
    const std::wstring interfaceKey = L"Interface\\" + guidText(IID_ITarnwick);

    ASSERT_EQ(0u, regsvr32(L"/s "));
    ASSERT_EQ(0u, regsvr32(L"/s "));
    expectCounts(2u, __LINE__);

    // Not the last: S_FALSE, which regsvr32 reports as success, and every entry stays.
    EXPECT_EQ(0u, regsvr32(L"/u /s "));
    expectCounts(1u, __LINE__);
    expectScriptEntries(kDllFileName, __LINE__);
    EXPECT_EQ(std::optional<std::wstring>(kDllFileName), stringValue(kLibraryKey, nullptr));
    EXPECT_TRUE(keyExists(interfaceKey));

    EXPECT_EQ(0u, regsvr32(L"/u /s ")) << "regsvr32 says 5 when unregistration fails";
    EXPECT_FALSE(keyExists(kLibraryRoot));
    EXPECT_FALSE(keyExists(interfaceKey));
    EXPECT_EQ(L"", leftovers());
    EXPECT_TRUE(DeleteFileW(copy.c_str())) << "error " << GetLastError();
}

TEST_F(RegistrationTest, RegistryScriptWritesExactlyItsEntriesAndRemovesAllButClsid)
{
    EXPECT_EQ(kLibraryId, guidText(LIBID_TARNWICKLib)) << "the class's TypeLib value names this library";

    const framework::RegistryReplacement replacements[] = {{L"RELATIVE_PATH", L"probe.dll"}};
    ASSERT_EQ(S_OK, framework::updateRegistryFromResource(Dll::handle(), kRegistryScript, true, replacements));
    expectScriptEntries(L"probe.dll", __LINE__);
    for (const KeyShape& shape : kScriptKeys)
        expectKeyShape(shape);

    EXPECT_EQ(S_OK, framework::updateRegistryFromResource(Dll::handle(), kRegistryScript, false, replacements));
    for (const KeyShape& shape : kScriptKeys)
        EXPECT_FALSE(keyExists(shape.key)) << narrow(shape.key);
    EXPECT_TRUE(keyExists(L"CLSID"));
}

} // namespace
} // namespace tarnwick_test
