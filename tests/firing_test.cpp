// The firing pass under re-entrancy: sinks that connect, disconnect and fire again
// from inside their own callbacks. The store is made directly from the library and
// its firing routines are called as its operations call them.
#include "support/recording_sink.h"
#include "support/tarnwick_test.h"

#include "store/tarnwick.h"

#include <memory>
#include <string>
#include <vector>

namespace tarnwick_test {
namespace {

using Store = framework::Object<ITarnwickImpl>;

class FiringTest : public ::testing::Test, protected SharedLogSinks {
protected:
    void SetUp() override
    {
        // create() hands out one reference, which the ComPtr takes over.
        ASSERT_EQ(S_OK, Store::create(store.GetAddressOf()));
    }

    void TearDown() override
    {
        store.Reset();
        sinks.clear();
        EXPECT_EQ(0, framework::module().lockCount()) << "something the test made is still alive";
    }

    IUnknown* unknown() { return static_cast<ITarnwick*>(store.Get()); }

    RecordingSink* connect(const wchar_t* name)
    {
        RecordingSink* sink = makeSink(name);
        EXPECT_EQ(S_OK, sink->advise(unknown()));
        return sink;
    }

    void fire()
    {
        log.clear();
        store->Fire_onDeleteAll();
    }

    ComPtr<Store> store;
};

using Log = std::vector<std::wstring>;

TEST_F(FiringTest, EveryRoutinePassesItsArgumentsOnUnchanged)
{
    RecordingSink* sink = connect(L"sink");
    ComPtr<IXMLDOMDocument> doc = documentOf(unknown());
    ASSERT_TRUE(doc);
    Bstr name = bstr(L"item");
    ComPtr<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, doc->createElement(name.get(), &element));
    ComPtr<IUnknown> parent;
    ASSERT_EQ(S_OK, store->getRootElement(&parent));

    store->Fire_onElementCreated(parent.Get(), name.get(), element.Get());
    EXPECT_EQ(parent.Get(), sink->lastParent.Get());
    EXPECT_EQ(static_cast<IUnknown*>(element.Get()), sink->lastElement.Get());

    store->Fire_onElementDeleted(element.Get());
    EXPECT_EQ(static_cast<IUnknown*>(element.Get()), sink->lastElement.Get());

    Bstr attribute = bstr(L"size");
    Variant value(L"large");
    store->Fire_onElementChanged(element.Get(), attribute.get(), value.get());
    EXPECT_EQ(attribute.get(), sink->lastAttrName) << "the very same name string";
    EXPECT_EQ(VT_BSTR, V_VT(&sink->lastValue));
    EXPECT_EQ(V_BSTR(&value.get()), V_BSTR(&sink->lastValue)) << "a bitwise copy, not a deep one";

    store->Fire_onDeleteAll();

    GUID iid = IID_IPersistFile;
    Variant url(L"file://C:\\a.xml");
    store->Fire_onPersist(&iid, &url.get());
    EXPECT_TRUE(InlineIsEqualGUID(IID_IPersistFile, sink->lastIid));

    const Log expected = {L"created root/item", L"deleted item", L"changed item size=large (VT 8)", L"deleteAll",
                          L"persist file://C:\\a.xml"};
    EXPECT_EQ(expected, sink->events);
    sink->lastParent.Reset();
    sink->lastElement.Reset();
}

TEST_F(FiringTest, PassWithoutSinksCallsNothing)
{
    RecordingSink* gone = connect(L"gone");
    ASSERT_EQ(S_OK, gone->unadvise(unknown()));
    fire();
    EXPECT_TRUE(log.empty());
}

TEST_F(FiringTest, FailingSinkDoesNotStopThePass)
{
    connect(L"first")->onEvent = [](const std::wstring&) { return E_FAIL; };
    connect(L"second")->onEvent = [](const std::wstring&) { return E_UNEXPECTED; };
    connect(L"third");
    fire();
    EXPECT_EQ((Log{L"first: deleteAll", L"second: deleteAll", L"third: deleteAll"}), log);
}

// Sets *flag when the object that owns it is destroyed.
struct DestructionWitness {
    explicit DestructionWitness(bool* flag) : flag(flag) {}
    ~DestructionWitness() { *flag = true; }
    bool* flag;
};

TEST_F(FiringTest, SinkThatUnadvisesItselfCompletesItsCall)
{
    connect(L"first");
    RecordingSink* leaving = connect(L"leaving");
    connect(L"third");

    // Only the table holds the leaving sink from here on, and then only the pass.
    bool destroyed = false;
    IUnknown* self = unknown();
    auto witness = std::make_shared<DestructionWitness>(&destroyed);
    leaving->onEvent = [leaving, self, witness, this](const std::wstring&) {
        EXPECT_EQ(S_OK, leaving->unadvise(self));
        log.push_back(L"leaving: still alive with " + std::to_wstring(leaving->references()) + L" reference");
        return S_OK;
    };
    witness.reset();
    sinks.erase(sinks.begin() + 1);

    fire();
    EXPECT_EQ((Log{L"first: deleteAll", L"leaving: deleteAll", L"leaving: still alive with 1 reference",
                   L"third: deleteAll"}),
              log);
    EXPECT_TRUE(destroyed) << "the pass dropped the last reference when the call returned";

    fire();
    EXPECT_EQ((Log{L"first: deleteAll", L"third: deleteAll"}), log);
}

TEST_F(FiringTest, SinkUnadvisedByAnEarlierOneIsNotCalled)
{
    RecordingSink* first = connect(L"first");
    connect(L"second");
    RecordingSink* third = connect(L"third");
    IUnknown* self = unknown();
    first->onEvent = [third, self](const std::wstring&) { return third->unadvise(self); };

    fire();
    EXPECT_EQ((Log{L"first: deleteAll", L"second: deleteAll"}), log);
    EXPECT_EQ(1u, third->references()) << "the table let go of it";
}

TEST_F(FiringTest, SinkAdvisedIntoAnEmptySlotAheadIsCalledInTheSamePass)
{
    RecordingSink* first = connect(L"first");
    RecordingSink* gap = connect(L"gap");
    connect(L"third");
    ASSERT_EQ(S_OK, gap->unadvise(unknown()));

    // Slots 2 and 4 of 4 are empty and not yet reached when the first sink runs.
    RecordingSink* intoGap = makeSink(L"intoGap");
    RecordingSink* intoLast = makeSink(L"intoLast");
    IUnknown* self = unknown();
    bool done = false;
    first->onEvent = [=, &done](const std::wstring&) {
        if (!done) {
            done = true;
            EXPECT_EQ(S_OK, intoGap->advise(self));
            EXPECT_EQ(S_OK, intoLast->advise(self));
        }
        return S_OK;
    };

    fire();
    EXPECT_EQ(2u, intoGap->cookie());
    EXPECT_EQ(4u, intoLast->cookie());
    EXPECT_EQ((Log{L"first: deleteAll", L"intoGap: deleteAll", L"third: deleteAll", L"intoLast: deleteAll"}), log);
}

TEST_F(FiringTest, SinkThatGrowsTheTableWaitsForTheNextPass)
{
    RecordingSink* first = connect(L"s1");
    connect(L"s2");
    connect(L"s3");
    connect(L"s4");
    RecordingSink* late = makeSink(L"late");
    IUnknown* self = unknown();
    bool done = false;
    first->onEvent = [=, &done](const std::wstring&) {
        if (!done) {
            done = true;
            EXPECT_EQ(S_OK, late->advise(self));
        }
        return S_OK;
    };

    fire();
    EXPECT_EQ(5u, late->cookie());
    EXPECT_EQ((Log{L"s1: deleteAll", L"s2: deleteAll", L"s3: deleteAll", L"s4: deleteAll"}), log);

    fire();
    EXPECT_EQ((Log{L"s1: deleteAll", L"s2: deleteAll", L"s3: deleteAll", L"s4: deleteAll", L"late: deleteAll"}), log);
}

TEST_F(FiringTest, NestedPassReachesEverySinkBeforeTheOuterOneGoesOn)
{
    RecordingSink* first = connect(L"first");
    connect(L"second");
    connect(L"third");
    Store* raw = store.Get();
    first->onEvent = [raw](const std::wstring& event) {
        if (event == L"deleteAll") {
            GUID iid = IID_IPersistFile;
            Variant url(L"file://inner.xml");
            raw->Fire_onPersist(&iid, &url.get());
        }
        return S_OK;
    };

    fire();
    EXPECT_EQ((Log{L"first: deleteAll", L"first: persist file://inner.xml", L"second: persist file://inner.xml",
                   L"third: persist file://inner.xml", L"second: deleteAll", L"third: deleteAll"}),
              log);
}

} // namespace
} // namespace tarnwick_test
