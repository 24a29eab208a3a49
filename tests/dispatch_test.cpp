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
    std::wstring path = TARNWICK_DLL;
    ComPtr<ITypeLib> library;
    FW_RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library));
    return RegisterTypeLib(library.Get(), &path[0], nullptr);
}

HRESULT unregisterLibrary()
{
    return UnRegisterTypeLib(LIBID_TARNWICKLib, 1, 0, LOCALE_NEUTRAL, kSysKind);
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
               SCODE* scode = nullptr, UINT* argErr = nullptr)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception = {};
    UINT badArgument = 0x7777;
    const HRESULT hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                        &exception, &badArgument);
    const Bstr source(exception.bstrSource);
    const Bstr description(exception.bstrDescription);
    const Bstr helpFile(exception.bstrHelpFile);
    if (scode)
        *scode = exception.scode;
    if (argErr)
        *argErr = badArgument;
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
    ASSERT_EQ(VT_DISPATCH, V_VT(&result.get())) << "a handle goes to late-bound callers as an object";
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(root.Get(), identityOf(V_DISPATCH(&result.get())));
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
    ASSERT_EQ(S_OK, hr);
    EXPECT_NE(std::wstring::npos, xmlOf(store.Get()).find(L"<item"));

    EXPECT_EQ(DISP_E_EXCEPTION,
              invoke(dispatch.Get(), addElement, {unknownArg(nullptr), unknownArg(nullptr)}, none.put(), &scode));
    EXPECT_EQ(E_INVALIDARG, scode);
}

// What script engines pass: VBScript variables as VT_VARIANT|VT_BYREF, VBScript's Nothing
// as a null VT_DISPATCH, JScript's null as VT_NULL, omitted values as VT_EMPTY or a
// missing-parameter error.
VARIANT byRef(VARIANT& variable)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&v) = &variable;
    return v;
}

VARIANT missingArg(VARTYPE kind)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = kind;
    if (kind == VT_ERROR)
        V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    else if (kind == VT_DISPATCH || kind == VT_UNKNOWN)
        V_UNKNOWN(&v) = nullptr;
    return v;
}

VARIANT stringRef(BSTR* text)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&v) = text;
    return v;
}

VARIANT unknownRef(IUnknown** object)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_UNKNOWN | VT_BYREF;
    V_UNKNOWNREF(&v) = object;
    return v;
}

std::wstring textOf(const VARIANT& value)
{
    if (V_VT(&value) != VT_BSTR)
        return L"(vt " + std::to_wstring(V_VT(&value)) + L")";
    return V_BSTR(&value) ? V_BSTR(&value) : L"";
}

// Counts its references, to show that a variable let go of what it held.
class Counted final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown)
            return E_NOINTERFACE;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    ULONG refs = 0;
};

void holdObject(Variant& variable, IUnknown* object)
{
    variable = Variant(object);
}

void holdLong(Variant& variable, LONG value)
{
    variable = Variant(value);
}

class ScriptCallTest : public DispatchTest {
protected:
    // Calls a method by name as a script engine would; a failure's own HRESULT lands in scode.
    HRESULT call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr, SCODE* scode = nullptr,
                 UINT* argErr = nullptr)
    {
        Variant ignored;
        return invoke(dispatch.Get(), dispidOf(dispatch.Get(), name), std::move(args),
                      result ? result : ignored.put(), scode, argErr);
    }

    // An element made and attached under the root through the virtual table.
    ComPtr<IUnknown> attach(const wchar_t* id)
    {
        Bstr name = bstr(id);
        ComPtr<IUnknown> handle;
        EXPECT_EQ(S_OK, store->createElement(name.inOut(), &handle));
        EXPECT_EQ(S_OK, store->addElement(nullptr, handle.Get()));
        return handle;
    }
};

TEST_F(ScriptCallTest, CreateElementWritesIntoScriptVariables)
{
    // New variables are Empty: an identifier is generated and both results come back.
    Variant id;
    Variant handle;
    ASSERT_EQ(S_OK, call(L"createElement", {byRef(id.get()), byRef(handle.get())}));
    ASSERT_EQ(VT_BSTR, V_VT(&id.get()));
    EXPECT_EQ(38u, SysStringLen(V_BSTR(&id.get())));
    ASSERT_EQ(VT_DISPATCH, V_VT(&handle.get())) << "a handle goes to scripts as an object";
    EXPECT_EQ(textOf(id.get()), nodeName(V_DISPATCH(&handle.get())));

    // An empty string is the caller's: the method frees it and writes the generated one.
    Variant empty;
    empty.setBstr(bstr(L""));
    ASSERT_EQ(S_OK, call(L"createElement", {byRef(empty.get()), byRef(handle.get())}));
    EXPECT_EQ(38u, SysStringLen(V_BSTR(&empty.get())));

    // A given identifier stays the very string it was; the handle variable lets go of what it held.
    Counted previous;
    holdObject(handle, &previous);
    Variant given;
    given.setBstr(bstr(L"item"));
    const BSTR lent = V_BSTR(&given.get());
    ASSERT_EQ(S_OK, call(L"createElement", {byRef(given.get()), byRef(handle.get())}));
    EXPECT_EQ(lent, V_BSTR(&given.get()));
    EXPECT_EQ(0u, previous.refs);
    ASSERT_EQ(VT_DISPATCH, V_VT(&handle.get()));
    EXPECT_EQ(L"item", nodeName(V_DISPATCH(&handle.get())));
}

TEST_F(ScriptCallTest, EnumerationIdentifierAndNewRootReachScriptVariables)
{
    attach(L"first");
    attach(L"second");
    Variant list;
    ASSERT_EQ(S_OK, call(L"enumElements", {unknownArg(nullptr), bstrArg(bstr(L"*").get())}, list.put()));
    ASSERT_EQ(VT_DISPATCH, V_VT(&list.get()));

    // An [out] string is written, not read: what the variable held is cleared.
    Variant id;
    id.setBstr(bstr(L"stale"));
    Variant handle;
    ASSERT_EQ(S_OK, call(L"getNextElement", {byRef(list.get()), byRef(id.get()), byRef(handle.get())}));
    EXPECT_EQ(L"first", textOf(id.get()));
    ASSERT_EQ(VT_DISPATCH, V_VT(&handle.get()));
    EXPECT_EQ(L"first", nodeName(V_DISPATCH(&handle.get())));

    Variant name;
    ASSERT_EQ(S_OK, call(L"getElementID", {handle.get(), byRef(name.get())}));
    EXPECT_EQ(L"first", textOf(name.get()));

    // An empty name gets the default written back, a given one is kept.
    Variant rootName;
    rootName.setBstr(bstr(L""));
    Variant root;
    ASSERT_EQ(S_OK, call(L"createRootElement", {byRef(rootName.get()), byRef(root.get())}));
    EXPECT_EQ(L"root", textOf(rootName.get()));
    ASSERT_EQ(VT_DISPATCH, V_VT(&root.get()));
    EXPECT_EQ(L"root", nodeName(V_DISPATCH(&root.get())));

    Variant top;
    top.setBstr(bstr(L"top"));
    const BSTR lent = V_BSTR(&top.get());
    ASSERT_EQ(S_OK, call(L"createRootElement", {byRef(top.get()), byRef(root.get())}));
    EXPECT_EQ(lent, V_BSTR(&top.get()));
    EXPECT_EQ(L"top", nodeName(V_DISPATCH(&root.get())));
    EXPECT_EQ(L"xml|top", topLevelNames(store.Get()));
}

TEST_F(ScriptCallTest, TypedArgumentsPassAsBefore)
{
    Bstr id;
    ComPtr<IUnknown> handle;
    ASSERT_EQ(S_OK, call(L"createElement", {stringRef(id.inOut()), unknownRef(handle.GetAddressOf())}));
    EXPECT_EQ(38u, id.length());
    ASSERT_TRUE(handle);
    EXPECT_EQ(identityOf(handle.Get()), handle.Get()) << "the handle written is the node's own IUnknown";
    EXPECT_EQ(std::wstring(id.get()), nodeName(handle.Get()));
}

TEST_F(ScriptCallTest, MissingValuesAreNullHandlesStringsAndPointers)
{
    attach(L"item");
    attach(L"other");
    for (VARTYPE kind : {VT_EMPTY, VT_NULL, VT_ERROR, VT_DISPATCH, VT_UNKNOWN}) {
        SCOPED_TRACE(testing::Message() << "vt " << kind);
        Variant found;
        ASSERT_EQ(S_OK, call(L"queryElement", {missingArg(kind), bstrArg(bstr(L"other").get())}, found.put()));
        EXPECT_EQ(L"other", nodeName(V_DISPATCH(&found.get())));

        // A null identifier selects every element: the root's first child.
        ASSERT_EQ(S_OK, call(L"getElement", {unknownArg(nullptr), missingArg(kind)}, found.put()));
        EXPECT_EQ(L"item", nodeName(V_DISPATCH(&found.get())));

        // Null result pointers: the method writes nothing and succeeds.
        ASSERT_EQ(S_OK, call(L"createElement", {missingArg(kind), missingArg(kind)}));
        Variant list;
        ASSERT_EQ(S_OK, call(L"enumElements", {unknownArg(nullptr), bstrArg(bstr(L"*").get())}, list.put()));
        ASSERT_EQ(S_OK, call(L"getNextElement", {list.get(), missingArg(kind), missingArg(kind)}));
        Variant id;
        ASSERT_EQ(S_OK, call(L"getNextElement", {list.get(), byRef(id.get()), missingArg(kind)}));
        EXPECT_EQ(L"other", textOf(id.get())) << "the first call moved the enumeration on";
    }

    // VBScript variables that hold Empty or Nothing, for interface and string inputs.
    for (VARTYPE kind : {VT_EMPTY, VT_DISPATCH, VT_UNKNOWN}) {
        SCOPED_TRACE(testing::Message() << "variable of vt " << kind);
        Variant context;
        context.get() = missingArg(kind);
        Variant found;
        ASSERT_EQ(S_OK, call(L"queryElement", {byRef(context.get()), bstrArg(bstr(L"item").get())}, found.put()));
        EXPECT_EQ(L"item", nodeName(V_DISPATCH(&found.get())));

        Variant id;
        id.get() = missingArg(kind);
        ASSERT_EQ(S_OK, call(L"getElement", {byRef(context.get()), byRef(id.get())}, found.put()));
        EXPECT_EQ(L"item", nodeName(V_DISPATCH(&found.get())));
        EXPECT_EQ(kind, V_VT(&id.get())) << "an input's variable keeps what it held";
    }
}

TEST_F(ScriptCallTest, PlainValuesReachPointerParametersDeclaredWithoutDirection)
{
    ASSERT_EQ(S_OK, call(L"createRootElement", {bstrArg(bstr(L"top").get()), missingArg(VT_NULL)}));
    EXPECT_EQ(L"xml|top", topLevelNames(store.Get()));

    ComPtr<IUnknown> element = attach(L"item");
    const Variant truth(true);
    const struct {
        const wchar_t* name;
        VARIANT value;
    } values[] = {{L"count", longArg(42)}, {L"flag", truth.get()}};
    for (const auto& v : values) {
        ASSERT_EQ(S_OK, call(L"setAttribute", {unknownArg(element.Get()), bstrArg(bstr(v.name).get()), v.value}));
        Bstr name = bstr(v.name);
        Variant stored;
        ASSERT_EQ(S_OK, store->getAttribute(element.Get(), name.get(), stored.put()));
        Variant expected;
        ASSERT_EQ(S_OK, VariantChangeType(expected.put(), const_cast<VARIANT*>(&v.value), 0, VT_BSTR));
        EXPECT_EQ(textOf(expected.get()), textOf(stored.get())) << narrow(v.name) << ": the value, not an empty one";
    }

    // A missing value for the identifier's pointer is a null pointer, which the method
    // refuses; a variable that holds one receives the identifier.
    for (VARTYPE kind : {VT_NULL, VT_DISPATCH}) {
        SCOPED_TRACE(testing::Message() << "vt " << kind);
        SCODE scode = S_OK;
        EXPECT_EQ(DISP_E_EXCEPTION,
                  call(L"getElementID", {unknownArg(element.Get()), missingArg(kind)}, nullptr, &scode));
        EXPECT_EQ(E_POINTER, scode);

        Variant id;
        id.get() = missingArg(kind);
        ASSERT_EQ(S_OK, call(L"getElementID", {unknownArg(element.Get()), byRef(id.get())}));
        EXPECT_EQ(L"item", textOf(id.get()));
    }
}

TEST_F(ScriptCallTest, FailedCallLeavesScriptVariablesAsTheyWere)
{
    attach(L"only");
    Variant list;
    ASSERT_EQ(S_OK, call(L"enumElements", {unknownArg(nullptr), bstrArg(bstr(L"*").get())}, list.put()));
    ASSERT_EQ(S_OK, call(L"getNextElement", {list.get(), missingArg(VT_NULL), missingArg(VT_NULL)}));

    Variant id;
    id.setBstr(bstr(L"sentinel"));
    const BSTR sentinel = V_BSTR(&id.get());
    Variant handle;
    holdLong(handle, 7);
    SCODE scode = S_OK;
    EXPECT_EQ(DISP_E_EXCEPTION,
              call(L"getNextElement", {list.get(), byRef(id.get()), byRef(handle.get())}, nullptr, &scode));
    EXPECT_EQ(E_FAIL, scode);
    EXPECT_EQ(sentinel, V_BSTR(&id.get()));
    ASSERT_EQ(VT_I4, V_VT(&handle.get()));
    EXPECT_EQ(7, V_I4(&handle.get()));

    Variant badName;
    badName.setBstr(bstr(L"1bad"));
    EXPECT_EQ(DISP_E_EXCEPTION, call(L"createElement", {byRef(badName.get()), byRef(handle.get())}, nullptr, &scode));
    EXPECT_EQ(E_FAIL, scode);
    EXPECT_EQ(L"1bad", textOf(badName.get()));
    EXPECT_EQ(VT_I4, V_VT(&handle.get()));
}

TEST_F(ScriptCallTest, ValueThatIsNoStringIsATypeMismatchBeforeTheCall)
{
    attach(L"kept");
    Counted object;
    Variant name;
    holdObject(name, &object);
    UINT argErr = 0;
    EXPECT_EQ(DISP_E_TYPEMISMATCH,
              call(L"createRootElement", {byRef(name.get()), missingArg(VT_NULL)}, nullptr, nullptr, &argErr));
    EXPECT_EQ(1u, argErr) << "the name, the first argument, is the last in the array";
    EXPECT_EQ(VT_UNKNOWN, V_VT(&name.get()));
    EXPECT_EQ(1u, object.refs);
    EXPECT_NE(std::wstring::npos, xmlOf(store.Get()).find(L"<kept")) << "the store was not cleared";
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
        EXPECT_EQ(VT_DISPATCH, V_VT(&result.get()));
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
