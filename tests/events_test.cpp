// The store's connection point as clients use it: the sink table behind Advise and
// Unadvise, the enumerators, and the container. A load of a small file makes the
// store fire, since onPersist reaches every sink the table holds.
#include "support/recording_sink.h"
#include "support/tarnwick_test.h"

#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

namespace tarnwick_test {
namespace {

class EventsTest : public StoreTest, protected SharedLogSinks {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(S_OK, store.As(&container));
        ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_ITarnwickEvents, &point));
        source = tempFile(L"source.xml");
        writeFile(source, "<?xml version=\"1.0\"?>\n<root/>\n");
    }

    void TearDown() override
    {
        point.Reset();
        sinks.clear();
        StoreTest::TearDown();
    }

    DWORD advise(RecordingSink* sink)
    {
        DWORD cookie = 0xDEADBEEF;
        EXPECT_EQ(S_OK, point->Advise(static_cast<ITarnwickEvents*>(sink), &cookie));
        return cookie;
    }

    // One firing pass through the DLL.
    void fire()
    {
        log.clear();
        ComPtr<IPersistFile> persist;
        ASSERT_EQ(S_OK, store.As(&persist));
        ASSERT_EQ(S_OK, persist->Load(source.c_str(), STGM_READ));
    }

    std::vector<std::wstring> firedTo(std::initializer_list<const wchar_t*> names) const
    {
        std::vector<std::wstring> lines;
        for (const wchar_t* name : names)
            lines.push_back(std::wstring(name) + L": persist " + urlOf(source));
        return lines;
    }

    ComPtr<IConnectionPoint> point;
    std::wstring source;
};

// An object that answers IUnknown and IDispatch and refuses everything else with a
// code of the test's choice.
class ForeignSink final : public IDispatch {
public:
    explicit ForeignSink(HRESULT refusal) : m_refusal(refusal) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (InlineIsEqualGUID(riid, IID_IUnknown) || InlineIsEqualGUID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return m_refusal;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    ULONG references() const { return m_refs; }

private:
    HRESULT m_refusal;
    ULONG m_refs = 1;
};

TEST_F(EventsTest, CookiesAreSlotNumbersAndAFreedSlotIsReused)
{
    RecordingSink* first = makeSink(L"first");
    RecordingSink* second = makeSink(L"second");
    RecordingSink* third = makeSink(L"third");
    EXPECT_EQ(1u, advise(first));
    EXPECT_EQ(2u, advise(second));
    EXPECT_EQ(3u, advise(third));
    EXPECT_EQ(2u, second->references()) << "the table holds one reference";

    ASSERT_EQ(S_OK, point->Unadvise(2));
    EXPECT_EQ(1u, second->references()) << "Unadvise releases the sink";

    RecordingSink* fourth = makeSink(L"fourth");
    EXPECT_EQ(2u, advise(fourth)) << "the lowest empty slot is taken";
    fire();
    EXPECT_EQ(firedTo({L"first", L"fourth", L"third"}), log) << "sinks are called in slot order";
    EXPECT_TRUE(second->events.empty());
}

TEST_F(EventsTest, CookiesKeepCountingPastTheFourthConnection)
{
    for (DWORD expected = 1; expected <= 5; ++expected) {
        const std::wstring name = L"s" + std::to_wstring(expected);
        EXPECT_EQ(expected, advise(makeSink(name.c_str())));
    }
    // The table now has 8 slots: 6 to 8 are empty, 9 is beyond it.
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(8));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(9));
    fire();
    EXPECT_EQ(firedTo({L"s1", L"s2", L"s3", L"s4", L"s5"}), log);
    EXPECT_EQ(6u, advise(makeSink(L"s6")));
}

TEST_F(EventsTest, UnadviseRefusesCookiesThatNameNoConnection)
{
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(1)) << "an empty table";
    RecordingSink* sink = makeSink(L"sink");
    ASSERT_EQ(1u, advise(sink));

    const struct {
        const char* what;
        DWORD cookie;
    } cases[] = {
        {"zero", 0},
        {"an empty slot", 2},
        {"just past the table", 5},
        {"far past the table", 0xFFFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(c.cookie)) << c.what;
    EXPECT_EQ(2u, sink->references()) << "the connection survives the refusals";

    EXPECT_EQ(S_OK, point->Unadvise(1));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(1)) << "a second Unadvise of one cookie";
    EXPECT_EQ(1u, sink->references());
}

TEST_F(EventsTest, AdviseChecksItsPointers)
{
    DWORD cookie = 0xDEADBEEF;
    EXPECT_EQ(E_POINTER, point->Advise(nullptr, &cookie));
    EXPECT_EQ(0u, cookie) << "the cookie is zeroed first";

    RecordingSink* sink = makeSink(L"sink");
    EXPECT_EQ(E_POINTER, point->Advise(static_cast<ITarnwickEvents*>(sink), nullptr));
    EXPECT_EQ(E_POINTER, point->Advise(nullptr, nullptr));
    EXPECT_EQ(1u, sink->references());

    EXPECT_EQ(1u, advise(sink)) << "no slot was taken by the refused calls";
}

TEST_F(EventsTest, AdviseRefusesSinksWithoutTheEventInterface)
{
    const struct {
        const char* what;
        HRESULT refusal;
        HRESULT expected;
    } cases[] = {
        {"an IDispatch-only sink", E_NOINTERFACE, CONNECT_E_CANNOTCONNECT},
        {"a sink whose QueryInterface fails otherwise", E_UNEXPECTED, E_UNEXPECTED},
        {"a sink out of memory", E_OUTOFMEMORY, E_OUTOFMEMORY},
    };
    for (const auto& c : cases) {
        ForeignSink foreign(c.refusal);
        DWORD cookie = 0xDEADBEEF;
        EXPECT_EQ(c.expected, point->Advise(&foreign, &cookie)) << c.what;
        EXPECT_EQ(0u, cookie) << c.what;
        EXPECT_EQ(1u, foreign.references()) << c.what;
    }
    EXPECT_EQ(1u, advise(makeSink(L"sink"))) << "the refused sinks took no slot";
}

TEST_F(EventsTest, FailingSinkNeitherStopsThePassNorChangesTheResult)
{
    RecordingSink* failing = makeSink(L"failing");
    failing->onEvent = [](const std::wstring&) { return E_FAIL; };
    advise(failing);
    advise(makeSink(L"after"));
    fire();
    EXPECT_EQ(firedTo({L"failing", L"after"}), log);
}

TEST_F(EventsTest, EnumConnectionsGivesASnapshotOfTheFilledSlots)
{
    RecordingSink* first = makeSink(L"first");
    RecordingSink* second = makeSink(L"second");
    RecordingSink* third = makeSink(L"third");
    advise(first);
    advise(second);
    advise(third);
    ASSERT_EQ(S_OK, point->Unadvise(2));

    EXPECT_EQ(E_POINTER, point->EnumConnections(nullptr));
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, point->EnumConnections(&connections));
    EXPECT_EQ(3u, first->references()) << "the snapshot holds its own reference";

    // Later changes of the table do not reach the snapshot.
    ASSERT_EQ(S_OK, point->Unadvise(1));

    CONNECTDATA entries[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(S_FALSE, connections->Next(3, entries, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<ITarnwickEvents*>(first)), entries[0].pUnk);
    EXPECT_EQ(1u, entries[0].dwCookie);
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<ITarnwickEvents*>(third)), entries[1].pUnk);
    EXPECT_EQ(3u, entries[1].dwCookie);
    EXPECT_EQ(3u, first->references()) << "ours, the snapshot's and the entry's";
    EXPECT_EQ(4u, third->references()) << "ours, the table's, the snapshot's and the entry's";
    entries[0].pUnk->Release();
    entries[1].pUnk->Release();

    // Reset and Clone restart the same snapshot.
    ASSERT_EQ(S_OK, connections->Reset());
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(S_OK, connections->Clone(&clone));
    CONNECTDATA again = {};
    ASSERT_EQ(S_OK, clone->Next(1, &again, nullptr));
    EXPECT_EQ(1u, again.dwCookie);
    again.pUnk->Release();
    clone.Reset();

    // The enumerator keeps the module loaded on its own.
    point.Reset();
    store.Reset();
    EXPECT_EQ(S_FALSE, Dll::canUnloadNow());
    connections.Reset();
    EXPECT_EQ(S_OK, Dll::canUnloadNow());
    EXPECT_EQ(1u, first->references());
    EXPECT_EQ(1u, third->references()) << "the store released its sinks when it went";
}

TEST_F(EventsTest, EnumConnectionsOfAnEmptyTableGivesNothing)
{
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, point->EnumConnections(&connections));
    CONNECTDATA entry = {reinterpret_cast<IUnknown*>(0x1), 7};
    ULONG fetched = 99;
    EXPECT_EQ(S_FALSE, connections->Next(1, &entry, &fetched));
    EXPECT_EQ(0u, fetched);
}

TEST_F(EventsTest, ContainerFindsOnlyTheEventInterface)
{
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, store.As(&container));
    EXPECT_EQ(E_POINTER, container->FindConnectionPoint(IID_ITarnwickEvents, nullptr));

    const struct {
        const char* name;
        IID iid;
    } others[] = {
        {"IUnknown", IID_IUnknown},
        {"IDispatch", IID_IDispatch},
        {"ITarnwick", IID_ITarnwick},
        {"IPropertyNotifySink", IID_IPropertyNotifySink},
    };
    for (const auto& other : others) {
        IConnectionPoint* found = reinterpret_cast<IConnectionPoint*>(0x1);
        EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(other.iid, &found)) << other.name;
        EXPECT_EQ(nullptr, found) << other.name;
    }

    ComPtr<IConnectionPoint> again;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_ITarnwickEvents, &again));
    EXPECT_EQ(point.Get(), again.Get());

    EXPECT_EQ(E_POINTER, container->EnumConnectionPoints(nullptr));
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(&points));
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 99;
    EXPECT_EQ(S_FALSE, points->Next(2, listed, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(point.Get(), listed[0]);
    listed[0]->Release();
}

TEST_F(EventsTest, ConnectionPointDescribesItself)
{
    IID iid = IID_NULL;
    EXPECT_EQ(E_POINTER, point->GetConnectionInterface(nullptr));
    ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_TRUE(InlineIsEqualGUID(IID_ITarnwickEvents, iid));

    EXPECT_EQ(E_POINTER, point->GetConnectionPointContainer(nullptr));
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(&container));
    EXPECT_EQ(identityOf(store.Get()), identityOf(container.Get()));

    // The connection point keeps its store alive.
    store.Reset();
    container.Reset();
    EXPECT_EQ(S_FALSE, Dll::canUnloadNow());
}

TEST_F(EventsTest, ReleasingTheStoreReleasesConnectedSinks)
{
    RecordingSink* first = makeSink(L"first");
    RecordingSink* second = makeSink(L"second");
    advise(first);
    advise(second);
    ASSERT_EQ(2u, first->references());
    point.Reset();
    store.Reset();
    EXPECT_EQ(1u, first->references());
    EXPECT_EQ(1u, second->references());
    EXPECT_EQ(S_OK, Dll::canUnloadNow());
}

} // namespace
} // namespace tarnwick_test
