// Clients see why a call failed: the error object that every failing method of
// ITarnwick and IPersistFile leaves, and that a successful call clears; late-bound
// callers get it as the exception of IDispatch::Invoke.
#include "support/tarnwick_test.h"

#include <functional>
#include <string>

namespace tarnwick_test {
namespace {

struct ErrorObject {
    bool present = false;
    GUID iid{};
    std::wstring source;
    std::wstring description;
};

// Takes the thread's error object, as a client reads it after a failed call.
ErrorObject takeErrorObject()
{
    ErrorObject error;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return error;
    error.present = true;
    info->GetGUID(&error.iid);
    Bstr source;
    Bstr description;
    info->GetSource(source.put());
    info->GetDescription(description.put());
    error.source = source.get() ? source.get() : L"";
    error.description = description.get() ? description.get() : L"";
    return error;
}

// Leaves an error object of some earlier failure on the thread.
void leaveStaleError()
{
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(S_OK, CreateErrorInfo(&create));
    create->SetDescription(const_cast<LPOLESTR>(L"stale"));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, create.As(&info));
    ASSERT_EQ(S_OK, SetErrorInfo(0, info.Get()));
}

class ErrorInfoTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        Bstr id = bstr(L"invoice");
        ASSERT_EQ(S_OK, store->createElement(id.inOut(), &element));
        ASSERT_EQ(S_OK, store->addElement(nullptr, element.Get()));
        ASSERT_EQ(S_OK, store.As(&persist));
    }

    void TearDown() override
    {
        element.Reset();
        persist.Reset();
        SetErrorInfo(0, nullptr);
        StoreTest::TearDown();
    }

    ComPtr<IUnknown> element;
    ComPtr<IPersistFile> persist;
};

TEST_F(ErrorInfoTest, TheStoreSaysItDescribesFailuresOfBothInterfaces)
{
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, store.As(&support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_ITarnwick));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IPersistFile));
    EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IConnectionPointContainer));
}

struct FailingCall {
    const char* name;
    std::function<HRESULT(ITarnwick*, IPersistFile*, IUnknown* element)> call;
    HRESULT expected;
    const GUID* iid;
    const wchar_t* mentions; // a word of the input that the description must name
};

const FailingCall kFailingCalls[] = {
    {"getElement of a missing name",
     [](ITarnwick* s, IPersistFile*, IUnknown*) {
         ComPtr<IUnknown> found;
         return s->getElement(nullptr, bstr(L"receipt").get(), &found);
     },
     E_FAIL, &IID_ITarnwick, L"receipt"},
    {"getElement of what is not a name",
     [](ITarnwick* s, IPersistFile*, IUnknown*) {
         ComPtr<IUnknown> found;
         return s->getElement(nullptr, bstr(L"1x").get(), &found);
     },
     E_FAIL, &IID_ITarnwick, L"1x"},
    {"createElement of what is not a name",
     [](ITarnwick* s, IPersistFile*, IUnknown*) {
         Bstr id = bstr(L"a b");
         ComPtr<IUnknown> made;
         return s->createElement(id.inOut(), &made);
     },
     E_FAIL, &IID_ITarnwick, L"a b"},
    {"getAttribute of a missing attribute",
     [](ITarnwick* s, IPersistFile*, IUnknown* e) {
         Variant value;
         return s->getAttribute(e, bstr(L"colour").get(), value.put());
     },
     E_FAIL, &IID_ITarnwick, L"colour"},
    {"queryElement that selects nothing",
     [](ITarnwick* s, IPersistFile*, IUnknown*) {
         ComPtr<IUnknown> found;
         return s->queryElement(nullptr, bstr(L"nowhere/at/all").get(), &found);
     },
     E_FAIL, &IID_ITarnwick, L"nowhere/at/all"},
    {"addElement under itself",
     [](ITarnwick* s, IPersistFile*, IUnknown* e) { return s->addElement(e, e); }, E_FAIL, &IID_ITarnwick,
     L"itself"},
    {"setAttribute with a prefixed name",
     [](ITarnwick* s, IPersistFile*, IUnknown* e) {
         Variant value(L"v");
         return s->setAttribute(e, bstr(L"a:b").get(), &value.get());
     },
     E_FAIL, &IID_ITarnwick, L"a:b"},
    {"Load of a file that is not XML",
     [](ITarnwick*, IPersistFile* p, IUnknown*) {
         const std::wstring path = tempFile(L"broken.xml");
         writeFile(path, "<root><open></root>\n");
         return p->Load(path.c_str(), STGM_READ);
     },
     E_FAIL, &IID_IPersistFile, L"broken.xml' could not be loaded"},
    {"deleteElement of a null handle", [](ITarnwick* s, IPersistFile*, IUnknown*) { return s->deleteElement(nullptr); },
     E_INVALIDARG, &IID_ITarnwick, L"deleteElement"},
    {"getRootElement without a result pointer",
     [](ITarnwick* s, IPersistFile*, IUnknown*) { return s->getRootElement(nullptr); }, E_POINTER, &IID_ITarnwick,
     L"getRootElement"},
    {"Load of a missing file",
     [](ITarnwick*, IPersistFile* p, IUnknown*) {
         return p->Load(L"C:\\no such folder\\missing.xml", STGM_READ);
     },
     E_FAIL, &IID_IPersistFile, L"missing.xml"},
    {"Save into a missing folder",
     [](ITarnwick*, IPersistFile* p, IUnknown*) { return p->Save(L"C:\\no such folder\\out.xml", FALSE); }, E_FAIL,
     &IID_IPersistFile, L"out.xml"},
};

// Each failure leaves an error object from Tarnwick, for the interface called, whose
// description names what the caller gave.
TEST_F(ErrorInfoTest, EveryFailureIsDescribedWithItsInput)
{
    for (const FailingCall& c : kFailingCalls) {
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(c.expected, c.call(store.Get(), persist.Get(), element.Get())) << c.name;
        const ErrorObject error = takeErrorObject();
        ASSERT_TRUE(error.present) << c.name;
        EXPECT_TRUE(InlineIsEqualGUID(*c.iid, error.iid)) << c.name;
        EXPECT_EQ(L"Orvane.Fenwright.Tarnwick", error.source) << c.name;
        EXPECT_NE(std::wstring::npos, error.description.find(c.mentions))
            << c.name << ": " << narrow(error.description);
    }
}

TEST_F(ErrorInfoTest, ASuccessfulCallLeavesNoErrorBehind)
{
    leaveStaleError();
    ComPtr<IUnknown> found;
    ASSERT_EQ(S_OK, store->getElement(nullptr, bstr(L"invoice").get(), &found));
    EXPECT_FALSE(takeErrorObject().present);

    // Also right after a failure of the store's own.
    EXPECT_EQ(E_FAIL, store->getElement(nullptr, bstr(L"receipt").get(), &found));
    ASSERT_EQ(S_OK, store->getElement(nullptr, bstr(L"invoice").get(), &found));
    EXPECT_FALSE(takeErrorObject().present);
}

TEST_F(ErrorInfoTest, LateBoundCallersGetTheDescriptionAsTheException)
{
    // The type library must be registered for IDispatch; the test registers it for
    // its own scope unless it already is.
    ComPtr<ITypeLib> registered;
    const bool wasRegistered = SUCCEEDED(LoadRegTypeLib(LIBID_TARNWICKLib, 1, 0, LOCALE_NEUTRAL, &registered));
    if (!wasRegistered) {
        std::wstring path = TARNWICK_DLL;
        ComPtr<ITypeLib> library;
        ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library));
        ASSERT_EQ(S_OK, RegisterTypeLib(library.Get(), &path[0], nullptr));
    }
    {
        ComPtr<IDispatch> dispatch;
        ASSERT_EQ(S_OK, store.As(&dispatch));
        std::wstring name = L"getElement";
        LPOLESTR names[] = {&name[0]};
        DISPID dispid = 0;
        ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid));

        Bstr id = bstr(L"receipt");
        VARIANT args[2];
        VariantInit(&args[0]);
        V_VT(&args[0]) = VT_BSTR; // the identifier, last in call order
        V_BSTR(&args[0]) = id.get();
        VariantInit(&args[1]);
        V_VT(&args[1]) = VT_NULL; // the context: the root
        DISPPARAMS params = {args, nullptr, 2, 0};
        Variant result;
        EXCEPINFO exception = {};
        UINT argErr = 0;
        EXPECT_EQ(DISP_E_EXCEPTION, dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                                     result.put(), &exception, &argErr));
        const Bstr source(exception.bstrSource);
        const Bstr description(exception.bstrDescription);
        const Bstr helpFile(exception.bstrHelpFile);
        EXPECT_EQ(E_FAIL, exception.scode);
        EXPECT_EQ(std::wstring(L"Orvane.Fenwright.Tarnwick"), source.get() ? source.get() : L"");
        ASSERT_TRUE(description.get());
        EXPECT_NE(std::wstring::npos, std::wstring(description.get()).find(L"receipt")) << narrow(description.get());
    }
    if (!wasRegistered) {
        EXPECT_EQ(S_OK, UnRegisterTypeLib(LIBID_TARNWICKLib, 1, 0, LOCALE_NEUTRAL, kSysKind));
    }
}

} // namespace
} // namespace tarnwick_test
