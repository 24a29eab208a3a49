#include "tarnwick_test.h"

#include <shlwapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tarnwick_test {

namespace {

template <class Fn>
Fn exported(const char* name)
{
    FARPROC proc = GetProcAddress(Dll::handle(), name);
    if (!proc) {
        ADD_FAILURE() << "Tarnwick.dll does not export " << name;
        return nullptr;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

} // namespace

HMODULE Dll::handle()
{
    static HMODULE module = LoadLibraryW(TARNWICK_DLL);
    if (!module)
        ADD_FAILURE() << "cannot load " << narrow(TARNWICK_DLL) << ", error " << GetLastError();
    return module;
}

HRESULT Dll::canUnloadNow()
{
    auto fn = exported<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow");
    return fn ? fn() : E_UNEXPECTED;
}

HRESULT Dll::getClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    auto fn = exported<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
    return fn ? fn(clsid, riid, ppv) : E_UNEXPECTED;
}

HRESULT Dll::registerServer()
{
    auto fn = exported<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
    return fn ? fn() : E_UNEXPECTED;
}

HRESULT Dll::unregisterServer()
{
    auto fn = exported<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
    return fn ? fn() : E_UNEXPECTED;
}

HRESULT createStore(REFIID riid, void** ppv)
{
    ComPtr<IClassFactory> factory;
    const HRESULT hr = Dll::getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory));
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, riid, ppv);
}

ComPtr<ITarnwick> newStore()
{
    ComPtr<ITarnwick> store;
    EXPECT_EQ(S_OK, createStore(IID_PPV_ARGS(&store)));
    return store;
}

Bstr bstr(const wchar_t* text)
{
    Bstr s;
    EXPECT_EQ(S_OK, s.assign(text));
    return s;
}

ComPtr<IXMLDOMDocument> documentOf(IUnknown* store)
{
    ComPtr<IXMLDOMDocument> doc;
    EXPECT_EQ(S_OK, store->QueryInterface(__uuidof(IXMLDOMDocument), reinterpret_cast<void**>(doc.GetAddressOf())));
    return doc;
}

std::wstring xmlOf(IUnknown* store)
{
    ComPtr<IXMLDOMDocument> doc = documentOf(store);
    Bstr xml;
    if (!doc || FAILED(doc->get_xml(xml.put())) || !xml.get())
        return L"";
    return std::wstring(xml.get(), xml.length());
}

std::wstring topLevelNames(IUnknown* store)
{
    ComPtr<IXMLDOMDocument> doc = documentOf(store);
    std::wstring names;
    ComPtr<IXMLDOMNode> node;
    if (!doc || doc->get_firstChild(&node) != S_OK)
        return names;
    while (node) {
        Bstr name;
        node->get_nodeName(name.put());
        if (!names.empty())
            names += L"|";
        names += name.get() ? name.get() : L"";
        ComPtr<IXMLDOMNode> next;
        if (node->get_nextSibling(&next) != S_OK)
            break;
        node = next;
    }
    return names;
}

const void* identityOf(IUnknown* object)
{
    ComPtr<IUnknown> unknown;
    if (object) {
        EXPECT_EQ(S_OK, object->QueryInterface(IID_PPV_ARGS(&unknown)));
    }
    return unknown.Get();
}

bool domKeepsNodeIdentity()
{
    static const bool keeps = [] {
        ComPtr<IXMLDOMDocument> doc;
        const CLSID clsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
        if (FAILED(CoCreateInstance(clsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument),
                                    reinterpret_cast<void**>(doc.GetAddressOf()))))
            return false;
        Bstr name = bstr(L"probe");
        ComPtr<IXMLDOMElement> element;
        if (FAILED(doc->createElement(name.get(), &element)) || FAILED(doc->appendChild(element.Get(), nullptr)))
            return false;
        ComPtr<IXMLDOMNode> first;
        ComPtr<IXMLDOMNode> again;
        if (doc->get_firstChild(&first) != S_OK || doc->get_firstChild(&again) != S_OK)
            return false;
        return identityOf(first.Get()) == identityOf(again.Get());
    }();
    return keeps;
}

std::wstring tempDir()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring dir = std::wstring(base) + L"tarnwick-tests";
    CreateDirectoryW(dir.c_str(), nullptr);
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    }
    dir += L"\\" + std::wstring(name.begin(), name.end());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::wstring tempFile(const wchar_t* name)
{
    std::wstring path = tempDir() + L"\\" + name;
    DeleteFileW(path.c_str());
    return path;
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::wstring& path, const std::string& text)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << text;
}

bool makeFolder(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<UnloadableFile> unloadableFiles()
{
    const std::wstring illFormed = tempFile(L"ill-formed.xml");
    writeFile(illFormed, "<?xml version=\"1.0\"?>\n<root><a></root>\n");
    const std::wstring truncated = tempFile(L"truncated.xml");
    writeFile(truncated, "<?xml version=\"1.0\"?>\n<root><a/>");
    const std::wstring empty = tempFile(L"empty.xml");
    writeFile(empty, "");
    const std::wstring badUtf8 = tempFile(L"bad-utf8.xml");
    writeFile(badUtf8, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root a=\"\xC3\x28\xFF\"/>\n");
    const std::wstring noElement = tempFile(L"no-element.xml");
    writeFile(noElement, "<?xml version=\"1.0\"?>\n<?keep this?>\n");
    const std::wstring laughs = tempFile(L"laughs.xml");
    std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        const std::string previous = level == 1 ? "lol" : "lol" + std::to_string(level - 1);
        bomb += "<!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i)
            bomb += "&" + previous + ";";
        bomb += "\">\n";
    }
    bomb += "]>\n<root>&lol9;</root>\n";
    writeFile(laughs, bomb);
    const std::wstring folder = tempDir() + L"\\a-folder.xml";
    EXPECT_TRUE(makeFolder(folder)) << "a folder to load";

    return {
        {"a missing file", tempFile(L"missing.xml")},
        {"an ill-formed file", illFormed},
        {"a truncated file", truncated},
        {"an empty file", empty},
        {"bad UTF-8", badUtf8},
        {"a document without an element", noElement},
        {"a billion laughs", laughs},
        {"a folder", folder},
        {"an empty name", L""},
    };
}

std::vector<std::wstring> filesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring urlOf(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return L"file:///" + path;
}

std::wstring windowsPath(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

void putBuildFolderFirstOnPath()
{
    const std::wstring folder = windowsPath(TARNWICK_BINARY_DIR);
    std::wstring current(GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
    current.resize(GetEnvironmentVariableW(L"PATH", &current[0], static_cast<DWORD>(current.size())));
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", (folder + L";" + current).c_str()));
}

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

void StoreTest::SetUp()
{
    store = newStore();
    ASSERT_TRUE(store);
}

void StoreTest::TearDown()
{
    store.Reset();
    EXPECT_EQ(S_OK, Dll::canUnloadNow()) << "something the test made is still alive";
}

} // namespace tarnwick_test
