// Late binding: IDispatch answered from the registered type library, as script
// engines call it. The tests register the library themselves and remove it again,
// so the registry is left as they found it.
#include "support/fresh_module.h"
#include "support/recording_sink.h"
#include "support/tarnwick_test.h"

#include "framework/dispatch.h"
#include "framework/module.h"

#include <string>
#include <vector>

namespace tarnwick_test {
namespace {

HRESULT loadRegisteredLibrary()
{
    ComPtr<ITypeLib> library;
    return LoadRegTypeLib(LIBID_TARNWICKLib, 1, 0, LOCALE_NEUTRAL, &library);
}

HRESULT registerLibrary()
{
    std::wstring path = TARNWICK_DLL64;
    ComPtr<ITypeLib> library;
    FW_RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library));
    return RegisterTypeLib(library.Get(), &path[0], nullptr);
}

HRESULT unregisterLibrary()
{
    return UnRegisterTypeLib(LIBID_TARNWICKLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
}

bool libraryKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib\\{F7F61EAC-E270-4C9A-86DC-78FB9DEAEA92}", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Registers the library for one scope unless somebody else already has.
class LibraryRegistration {
public:
    LibraryRegistration() : m_foundRegistered(SUCCEEDED(loadRegisteredLibrary()))
    {
        if (!m_foundRegistered) {
            EXPECT_EQ(S_OK, registerLibrary());
        }
    }
    LibraryRegistration(const LibraryRegistration&) = delete;
    LibraryRegistration& operator=(const LibraryRegistration&) = delete;
    ~LibraryRegistration()
    {
        if (m_foundRegistered)
            return;
        EXPECT_EQ(S_OK, unregisterLibrary());
        EXPECT_FALSE(libraryKeyExists()) << "the library's registry key outlived the test";
    }

    bool foundRegistered() const { return m_foundRegistered; }

private:
    bool m_foundRegistered;
};

struct MethodName {
    const wchar_t* name;
    DISPID dispid;
};

const MethodName kMethods[] = {
    {L"getRootElement", 1}, {L"createElement", 2},     {L"getElement", 3},    {L"deleteElement", 4},
    {L"setAttribute", 5},   {L"getAttribute", 6},      {L"enumElements", 7},  {L"resetEnum", 8},
    {L"getNextElement", 9}, {L"createRootElement", 10}, {L"clear", 11},       {L"queryElement", 12},
    {L"setDebugMode", 13},  {L"getElementID", 14},     {L"setNotify", 15},    {L"addElement", 16},
    {L"setElementID", 17},
};

DISPID dispidOf(IDispatch* dispatch, const wchar_t* name)
{
    std::wstring text = name;
    LPOLESTR names[] = {&text[0]};
    DISPID dispid = 0x7777;
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid)) << narrow(name);
    return dispid;
}

// Calls a method by DISPID with arguments given in call order. A method that fails
// comes back as DISP_E_EXCEPTION with its own HRESULT in the exception's scode.
HRESULT invoke(IDispatch* dispatch, DISPID dispid, std::vector<VARIANT> args, VARIANT* result,
               SCODE* scode = nullptr)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception = {};
    UINT argErr = 0;
    const HRESULT hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                        &exception, &argErr);
    if (scode)
        *scode = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

VARIANT longArg(LONG value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT bstrArg(BSTR text)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text;
    return v;
}

VARIANT unknownArg(IUnknown* object)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_UNKNOWN;
    V_UNKNOWN(&v) = object;
    return v;
}

class DispatchTest : public StoreTest {
protected:
    static void SetUpTestSuite() { s_registration = new LibraryRegistration; }
    static void TearDownTestSuite()
    {
        delete s_registration;
        s_registration = nullptr;
    }

    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_EQ(S_OK, store.As(&dispatch));
    }
    void TearDown() override
    {
        dispatch.Reset();
        StoreTest::TearDown();
    }

    ComPtr<IDispatch> dispatch;

private:
    static LibraryRegistration* s_registration;
};

LibraryRegistration* DispatchTest::s_registration = nullptr;

TEST_F(DispatchTest, TypeInfoCountIsOne)
{
    UINT count = 7;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfoCount(nullptr));
}

TEST_F(DispatchTest, TypeInfoIsTheInterfacesWhateverTheIndex)
{
    for (UINT index : {0u, 1u, 17u, 0xFFFFFFFFu}) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(S_OK, dispatch->GetTypeInfo(index, LOCALE_USER_DEFAULT, &info)) << index;
        ASSERT_TRUE(info) << index;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr)) << index;
        EXPECT_TRUE(InlineIsEqualGUID(IID_ITarnwick, attr->guid)) << index;
        info->ReleaseTypeAttr(attr);
    }
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));
}

TEST_F(DispatchTest, EveryMethodNameMapsToItsDispidInAnyCase)
{
    for (const MethodName& m : kMethods) {
        std::wstring upper = m.name;
        std::wstring lower = m.name;
        for (wchar_t& c : upper)
            c = static_cast<wchar_t>(towupper(c));
        for (wchar_t& c : lower)
            c = static_cast<wchar_t>(towlower(c));
        for (const std::wstring& name : {std::wstring(m.name), upper, lower})
            EXPECT_EQ(m.dispid, dispidOf(dispatch.Get(), name.c_str())) << narrow(name);
    }

    std::wstring unknown = L"getRoot";
    LPOLESTR names[] = {&unknown[0]};
    DISPID dispid = 0x7777;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));
    EXPECT_EQ(DISPID_UNKNOWN, dispid);
}

TEST_F(DispatchTest, InvokeReachesTheSameMethodsAsTheVirtualTable)
{
    Variant result;
    ASSERT_EQ(S_OK, invoke(dispatch.Get(), dispidOf(dispatch.Get(), L"getRootElement"), {}, result.put()));
    ASSERT_EQ(VT_UNKNOWN, V_VT(&result.get()));
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(root.Get(), V_UNKNOWN(&result.get()));
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));

    Variant none;
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke(dispatch.Get(), 99, {}, none.put()));
}

TEST_F(DispatchTest, InvokePassesArgumentsThrough)
{
    const std::wstring file = tempFile(L"loaded.xml");
    const std::wstring debugFile = tempFile(L"debug.xml");
    writeFile(file, "<?xml version=\"1.0\"?><root><item/></root>");
    ComPtr<RecordingSink> sink = RecordingSink::create();
    ASSERT_EQ(S_OK, sink->advise(store.Get()));
    ComPtr<IPersistFile> persist;
    ASSERT_EQ(S_OK, store.As(&persist));

    // setNotify(0) by name silences the load's event.
    Variant none;
    ASSERT_EQ(S_OK, invoke(dispatch.Get(), dispidOf(dispatch.Get(), L"setNotify"), {longArg(0)}, none.put()));
    ASSERT_EQ(S_OK, persist->Load(file.c_str(), STGM_READ));
    EXPECT_TRUE(sink->events.empty());

    // setDebugMode(1, file) takes a string; the next load writes the debug file.
    Bstr debugName = bstr(debugFile.c_str());
    ASSERT_EQ(S_OK, invoke(dispatch.Get(), dispidOf(dispatch.Get(), L"setDebugMode"),
                           {longArg(1), bstrArg(debugName.get())}, none.put()));
    ASSERT_EQ(S_OK, invoke(dispatch.Get(), dispidOf(dispatch.Get(), L"setNotify"), {longArg(1)}, none.put()));
    ASSERT_EQ(S_OK, persist->Load(file.c_str(), STGM_READ));
    EXPECT_EQ(1u, sink->events.size());
    EXPECT_NE(std::string::npos, readFile(debugFile).find("<item")) << readFile(debugFile);

    ASSERT_EQ(S_OK, sink->unadvise(store.Get()));
}

TEST_F(DispatchTest, InvokeAddsAnElementAndReportsARefusalAsException)
{
    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    Bstr name = bstr(L"item");
    ComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, doc->createElement(name.get(), &element));
    ComPtr<IUnknown> handle;
    ASSERT_EQ(S_OK, element.As(&handle));
    const DISPID addElement = dispidOf(dispatch.Get(), L"addElement");

    Variant none;
    SCODE scode = S_OK;
    const HRESULT hr = invoke(dispatch.Get(), addElement, {unknownArg(nullptr), unknownArg(handle.Get())},
                              none.put(), &scode);
    if (hr == DISP_E_EXCEPTION && scode == E_NOTIMPL)
        GTEST_SKIP() << "addElement is not built yet";
    ASSERT_EQ(S_OK, hr);
    EXPECT_NE(std::wstring::npos, xmlOf(store.Get()).find(L"<item"));

    EXPECT_EQ(DISP_E_EXCEPTION,
              invoke(dispatch.Get(), addElement, {unknownArg(nullptr), unknownArg(nullptr)}, none.put(), &scode));
    EXPECT_EQ(E_INVALIDARG, scode);
}

// A copy of the DLL that has never answered a late-bound call, so its type
// information is not cached yet.
TEST(DispatchRegistration, LateBindingWaitsForTheRegistrationWithoutReload)
{
    if (SUCCEEDED(loadRegisteredLibrary()))
        GTEST_SKIP() << "the type library is already registered in this prefix";
    const HRESULT loadError = loadRegisteredLibrary();
    FreshModule module(L"Tarnwick-late.dll");
    ASSERT_TRUE(module.handle());
    {
        ComPtr<ITarnwick> store;
        ASSERT_EQ(S_OK, module.createStore(IID_PPV_ARGS(&store)));
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(S_OK, store.As(&dispatch));

        UINT count = 0;
        EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
        EXPECT_EQ(1u, count);
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
        EXPECT_EQ(loadError, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
        EXPECT_EQ(nullptr, info);
        std::wstring name = L"getRootElement";
        LPOLESTR names[] = {&name[0]};
        DISPID dispid = 0x7777;
        EXPECT_EQ(loadError, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));
        Variant result;
        EXPECT_EQ(loadError, invoke(dispatch.Get(), 1, {}, result.put()));
        ComPtr<IUnknown> root;
        EXPECT_EQ(S_OK, store->getRootElement(&root)) << "early binding needs no registration";
        root.Reset();

        LibraryRegistration registration;
        ComPtr<ITypeInfo> loaded;
        EXPECT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &loaded));
        EXPECT_TRUE(loaded);
        loaded.Reset();
        EXPECT_EQ(1, dispidOf(dispatch.Get(), L"getRootElement"));
        EXPECT_EQ(S_OK, invoke(dispatch.Get(), 1, {}, result.put()));
        EXPECT_EQ(VT_UNKNOWN, V_VT(&result.get()));
    }
    EXPECT_EQ(S_OK, module.canUnloadNow());
}

// The holder keeps the type information once loaded and lets go of it only when its
// module shuts down. White-box: this program's own module, which no other test shuts down.
TEST(TypeInfoCache, KeptUntilTheModuleShutsDown)
{
    if (SUCCEEDED(loadRegisteredLibrary()))
        GTEST_SKIP() << "the type library is already registered in this prefix";
    framework::TypeInfoHolder holder(&IID_ITarnwick, &LIBID_TARNWICKLib, 1, 0);
    ComPtr<ITypeInfo> info;
    const HRESULT loadError = holder.getTypeInfo(LOCALE_USER_DEFAULT, &info);
    EXPECT_TRUE(FAILED(loadError));
    {
        LibraryRegistration registration;
        ASSERT_EQ(S_OK, holder.getTypeInfo(LOCALE_USER_DEFAULT, &info));
    }
    info.Reset();
    EXPECT_EQ(S_OK, holder.getTypeInfo(LOCALE_USER_DEFAULT, &info)) << "kept after the registration went";
    info.Reset();
    framework::module().term();
    EXPECT_EQ(loadError, holder.getTypeInfo(LOCALE_USER_DEFAULT, &info)) << "released at shutdown";
}

} // namespace
} // namespace tarnwick_test
