// How long a store lives when its clients misbehave: a sink that releases the last
// reference while the store is announcing a change, and reference counts taken from
// several threads at once.
#include "support/element_helpers.h"
#include "support/recording_sink.h"
#include "support/tarnwick_test.h"

#include <ocidl.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tarnwick_test {
namespace {

// One changing operation: what it needs in place before the sinks connect, and the
// call itself, with the event the sinks must receive.
struct Release {
    const char* name;
    std::function<void(ITarnwick*, const std::wstring& folder)> prepare;
    std::function<HRESULT(ITarnwick*, const std::wstring& folder)> call;
    const wchar_t* event;
};

ComPtr<IUnknown> elementNamed(ITarnwick* store, const wchar_t* id)
{
    ComPtr<IUnknown> element;
    EXPECT_EQ(S_OK, store->getElement(nullptr, bstr(id).get(), &element));
    return element;
}

void addItem(ITarnwick* store, const std::wstring&)
{
    Bstr id = bstr(L"item");
    ComPtr<IUnknown> element;
    ASSERT_EQ(S_OK, store->createElement(id.inOut(), &element));
    ASSERT_EQ(S_OK, store->addElement(nullptr, element.Get()));
}

void nothing(ITarnwick*, const std::wstring&) {}

const Release kReleases[] = {
    {"clear", nothing, [](ITarnwick* s, const std::wstring&) { return s->clear(); }, L"deleteAll"},
    {"createRootElement", nothing,
     [](ITarnwick* s, const std::wstring&) {
         Bstr name = bstr(L"top");
         return s->createRootElement(name.inOut(), nullptr);
     },
     L"deleteAll"},
    {"addElement", nothing,
     [](ITarnwick* s, const std::wstring&) {
         Bstr id = bstr(L"item");
         ComPtr<IUnknown> element;
         const HRESULT hr = s->createElement(id.inOut(), &element);
         return FAILED(hr) ? hr : s->addElement(nullptr, element.Get());
     },
     L"created root/item"},
    {"deleteElement", addItem,
     [](ITarnwick* s, const std::wstring&) { return s->deleteElement(elementNamed(s, L"item").Get()); },
     L"deleted item"},
    {"setAttribute", addItem,
     [](ITarnwick* s, const std::wstring&) {
         return setAttribute(s, elementNamed(s, L"item").Get(), L"size", Variant(3));
     },
     L"changed item size=3 (VT 3)"},
    {"Load",
     [](ITarnwick*, const std::wstring& folder) { writeFile(folder + L"\\in.xml", "<?xml version=\"1.0\"?>\n<root/>\n"); },
     [](ITarnwick* s, const std::wstring& folder) {
         ComPtr<IPersistFile> persist;
         const HRESULT hr = s->QueryInterface(IID_PPV_ARGS(&persist));
         return FAILED(hr) ? hr : persist->Load((folder + L"\\in.xml").c_str(), STGM_READ);
     },
     nullptr},
};

class SinkReleasesTheStore : public ::testing::TestWithParam<Release> {
protected:
    void TearDown() override { EXPECT_EQ(S_OK, Dll::canUnloadNow()) << "something the test made is still alive"; }
};

// The first sink drops the only reference the client held; the store must finish the
// call (auto-save included) and reach the second sink before it goes.
TEST_P(SinkReleasesTheStore, TheCallCompletesAndEverySinkIsReached)
{
    const Release& c = GetParam();
    const std::wstring folder = tempDir();
    const std::wstring debugFile = folder + L"\\debug.xml";
    ITarnwick* store = newStore().Detach();
    ASSERT_TRUE(store);
    c.prepare(store, folder);
    ASSERT_EQ(S_OK, store->setDebugMode(1, bstr(debugFile.c_str()).get()));

    ComPtr<RecordingSink> releasing = RecordingSink::create(L"releasing");
    ComPtr<RecordingSink> later = RecordingSink::create(L"later");
    ASSERT_EQ(S_OK, releasing->advise(store));
    ASSERT_EQ(S_OK, later->advise(store));
    ITarnwick* last = store;
    // The store still holds the later sink right after its last client reference went.
    ULONG laterReferencesAfterRelease = 0;
    releasing->onEvent = [&](const std::wstring&) {
        if (last) {
            std::exchange(last, nullptr)->Release();
            laterReferencesAfterRelease = later->references();
        }
        return S_OK;
    };

    EXPECT_EQ(S_OK, c.call(store, folder));

    EXPECT_EQ(nullptr, last) << "the releasing sink was not called";
    EXPECT_EQ(2u, laterReferencesAfterRelease) << "the store went while it was still announcing the change";
    ASSERT_EQ(1u, later->events.size());
    if (c.event) {
        EXPECT_EQ(c.event, later->events[0]);
    }
    // The auto-save ran on a living store, after the sinks for clear.
    EXPECT_TRUE(fileExists(debugFile));
    if (std::string(c.name) == "createRootElement") {
        EXPECT_NE(std::string::npos, readFile(debugFile).find("<top")) << readFile(debugFile);
    }
    // The sinks were let go with the store.
    EXPECT_EQ(1u, releasing->references());
    EXPECT_EQ(1u, later->references());
}

INSTANTIATE_TEST_SUITE_P(Operations, SinkReleasesTheStore, ::testing::ValuesIn(kReleases),
                         [](const ::testing::TestParamInfo<Release>& info) { return std::string(info.param.name); });

// Counts taken from two threads at once, as a client that breaks the apartment rules
// does, must balance: the object is neither freed early nor kept alive.
void hammer(IUnknown* object)
{
    const auto pairs = [object] {
        for (int i = 0; i < 1000000; ++i) {
            object->AddRef();
            object->Release();
        }
    };
    std::thread first(pairs);
    std::thread second(pairs);
    first.join();
    second.join();
}

// The count an object holds now, probed without changing it.
ULONG countOf(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

TEST(ReferenceCounts, StoreConnectionPointAndEnumeratorsBalanceUnderTwoThreads)
{
    {
        ComPtr<ITarnwick> store = newStore();
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(S_OK, store.As(&container));
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_ITarnwickEvents, &point));
        ComPtr<IEnumConnections> connections;
        ASSERT_EQ(S_OK, point->EnumConnections(&connections));
        ComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(S_OK, container->EnumConnectionPoints(&points));
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, Dll::getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory)));

        for (IUnknown* object : std::initializer_list<IUnknown*>{store.Get(), point.Get(), connections.Get(),
                                                                 points.Get(), factory.Get()}) {
            const ULONG before = countOf(object);
            hammer(object);
            EXPECT_EQ(before, countOf(object));
        }
    }
    EXPECT_EQ(S_OK, Dll::canUnloadNow());
}

} // namespace
} // namespace tarnwick_test
