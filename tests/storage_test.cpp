// The storage object: what it answers, its root, and its document's creation.
#include "support/counting_outer.h"
#include "support/tarnwick_test.h"

#include <ocidl.h>

namespace tarnwick_test {
namespace {

using StorageTest = StoreTest;

struct InterfaceCase {
    const char* name;
    IID iid;
    HRESULT expected;
};

TEST_F(StorageTest, AnswersItsInterfaceTable)
{
    const InterfaceCase cases[] = {
        {"IUnknown", IID_IUnknown, S_OK},
        {"ITarnwick", IID_ITarnwick, S_OK},
        {"IDispatch", IID_IDispatch, S_OK},
        {"IPersistFile", IID_IPersistFile, S_OK},
        {"IXMLDOMDocument", __uuidof(IXMLDOMDocument), S_OK},
        {"IPersistStream", IID_IPersistStream, S_OK},
        {"IConnectionPointContainer", IID_IConnectionPointContainer, S_OK},
        {"IPersist", IID_IPersist, E_NOINTERFACE},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
        {"IProvideClassInfo", IID_IProvideClassInfo, E_NOINTERFACE},
        {"ITarnwickEvents", IID_ITarnwickEvents, E_NOINTERFACE},
    };
    for (const InterfaceCase& c : cases) {
        IUnknown* answer = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(c.expected, store->QueryInterface(c.iid, reinterpret_cast<void**>(&answer))) << c.name;
        if (c.expected == S_OK) {
            EXPECT_NE(nullptr, answer) << c.name;
            answer->Release();
        } else {
            EXPECT_EQ(nullptr, answer) << c.name;
        }
    }
    EXPECT_EQ(E_POINTER, store->QueryInterface(IID_ITarnwick, nullptr));
}

TEST_F(StorageTest, DualInterfaceAndIdentityAreOnePointer)
{
    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, store.As(&dispatch));
    ASSERT_EQ(S_OK, store.As(&unknown));
    EXPECT_EQ(static_cast<IUnknown*>(store.Get()), static_cast<IUnknown*>(dispatch.Get()));
    EXPECT_EQ(static_cast<IUnknown*>(store.Get()), unknown.Get());
}

TEST_F(StorageTest, ForwardedInterfacesAreTheDocumentsOwn)
{
    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    ASSERT_TRUE(doc);
    ComPtr<ITarnwick> back;
    EXPECT_EQ(E_NOINTERFACE, doc.As(&back));

    ComPtr<IPersistStream> stream;
    ASSERT_EQ(S_OK, store.As(&stream));
    ComPtr<IXMLDOMDocument> streamDoc;
    ASSERT_EQ(S_OK, stream.As(&streamDoc));
    EXPECT_EQ(identityOf(doc.Get()), identityOf(streamDoc.Get()));
}

TEST_F(StorageTest, NewStoreHasAnEmptyDocument)
{
    EXPECT_EQ(L"", topLevelNames(store.Get()));
}

TEST_F(StorageTest, FirstRootAccessBuildsDeclarationAndRoot)
{
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    ASSERT_TRUE(root);
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));

    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    ComPtr<IXMLDOMNode> first;
    ASSERT_EQ(S_OK, doc->get_firstChild(&first));
    ComPtr<IXMLDOMProcessingInstruction> declaration;
    ASSERT_EQ(S_OK, first.As(&declaration));
    Bstr data;
    ASSERT_EQ(S_OK, declaration->get_data(data.put()));
    EXPECT_STREQ(L"version=\"1.0\"", data.get());

    // The root is the document element, and the handle is the node's identity.
    ComPtr<IXMLDOMElement> documentElement;
    ASSERT_EQ(S_OK, doc->get_documentElement(&documentElement));
    Bstr name;
    ASSERT_EQ(S_OK, documentElement->get_nodeName(name.put()));
    EXPECT_STREQ(L"root", name.get());
    EXPECT_EQ(identityOf(root.Get()), root.Get());
}

TEST_F(StorageTest, SecondRootAccessGivesTheSameHandleAndBuildsNothing)
{
    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, store->getRootElement(&first));
    ASSERT_EQ(S_OK, store->getRootElement(&second));
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
}

TEST_F(StorageTest, RootAccessWithoutOutPointerFails)
{
    EXPECT_EQ(E_POINTER, store->getRootElement(nullptr));
    EXPECT_EQ(L"", topLevelNames(store.Get()));
}

TEST_F(StorageTest, ExistingLeadingProcessingInstructionCountsAsDeclaration)
{
    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    Bstr target = bstr(L"xml-stylesheet");
    Bstr data = bstr(L"href=\"a.xsl\"");
    ComPtr<IXMLDOMProcessingInstruction> pi;
    ASSERT_EQ(S_OK, doc->createProcessingInstruction(target.get(), data.get(), &pi));
    ASSERT_EQ(S_OK, doc->appendChild(pi.Get(), nullptr));

    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(L"xml-stylesheet|root", topLevelNames(store.Get()));
}

TEST_F(StorageTest, EachStoreHasItsOwnDocument)
{
    ComPtr<ITarnwick> other = newStore();
    ASSERT_TRUE(other);
    EXPECT_NE(identityOf(documentOf(store.Get()).Get()), identityOf(documentOf(other.Get()).Get()));
}

// A class object for DOMDocument that refuses every instance, registered in this
// process so that the store's document cannot be created.
class RefusingFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (InlineIsEqualGUID(riid, IID_IUnknown) || InlineIsEqualGUID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override
    {
        *ppv = nullptr;
        ++requests;
        return E_OUTOFMEMORY;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    int requests = 0;
};

struct CreationCase {
    const char* name;
    bool aggregate;
    IID iid;
};

TEST(StorageCreation, FailsWithEFailWhenTheDocumentCannotBeCreated)
{
    const CreationCase cases[] = {
        {"stand-alone", false, IID_ITarnwick},
        {"aggregated", true, IID_IUnknown},
    };
    const CLSID clsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, Dll::getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory)));
    for (const CreationCase& c : cases) {
        RefusingFactory refusing;
        CountingOuter outer;
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, CoRegisterClassObject(clsidDomDocument, &refusing, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                              &cookie));
        IUnknown* created = reinterpret_cast<IUnknown*>(0x1);
        const HRESULT hr =
            factory->CreateInstance(c.aggregate ? &outer : nullptr, c.iid, reinterpret_cast<void**>(&created));
        EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));

        EXPECT_EQ(E_FAIL, hr) << c.name << ": the runtime's E_OUTOFMEMORY must not reach the client";
        EXPECT_EQ(nullptr, created) << c.name;
        EXPECT_EQ(1, refusing.requests) << c.name;
        EXPECT_EQ(1u, outer.references()) << c.name;
    }
    factory.Reset();
    EXPECT_EQ(S_OK, Dll::canUnloadNow()) << "the half-built stores must be gone";

    // With the document available again, creation works.
    ComPtr<ITarnwick> store = newStore();
    EXPECT_TRUE(store);
    store.Reset();
    EXPECT_EQ(S_OK, Dll::canUnloadNow());
}

} // namespace
} // namespace tarnwick_test
