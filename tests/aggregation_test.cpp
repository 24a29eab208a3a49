// The store as the inner object of an aggregate: its non-delegating unknown is its
// own, and every interface it hands out counts its references on the outer object.
#include "support/counting_outer.h"
#include "support/recording_sink.h"
#include "support/tarnwick_test.h"

#include <ocidl.h>

namespace tarnwick_test {
namespace {

class AggregationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, Dll::getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory)));
        ASSERT_EQ(S_OK,
                  factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.inner.GetAddressOf())));
        ASSERT_TRUE(outer.inner);
        EXPECT_EQ(1u, outer.references()) << "creating the inner object keeps no reference on the outer";
    }

    void TearDown() override
    {
        outer.inner.Reset();
        EXPECT_EQ(1u, outer.references()) << "every reference taken on the outer was given back";
        EXPECT_EQ(S_OK, Dll::canUnloadNow()) << "something the test made is still alive";
    }

    CountingOuter outer;
};

TEST_F(AggregationTest, InnerUnknownIsItsOwnAndCountsItself)
{
    IUnknown* inner = outer.inner.Get();
    ComPtr<IUnknown> self;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_PPV_ARGS(&self)));
    EXPECT_EQ(inner, self.Get());
    EXPECT_NE(static_cast<IUnknown*>(&outer), self.Get());
    self.Reset();

    EXPECT_EQ(2u, inner->AddRef());
    EXPECT_EQ(1u, inner->Release());
    EXPECT_EQ(1u, outer.references());

    void* answer = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, inner->QueryInterface(IID_IClassFactory, &answer));
    EXPECT_EQ(nullptr, answer);
    EXPECT_EQ(E_POINTER, inner->QueryInterface(IID_ITarnwick, nullptr));
    EXPECT_EQ(1u, outer.references());
}

struct InterfaceCase {
    const char* name;
    IID iid;
};

TEST_F(AggregationTest, InterfacesHandedOutCountOnTheOuter)
{
    const InterfaceCase cases[] = {
        {"ITarnwick", IID_ITarnwick},
        {"IDispatch", IID_IDispatch},
        {"IPersistFile", IID_IPersistFile},
        {"IConnectionPointContainer", IID_IConnectionPointContainer},
    };
    for (const InterfaceCase& c : cases) {
        IUnknown* answer = nullptr;
        ASSERT_EQ(S_OK, outer.inner->QueryInterface(c.iid, reinterpret_cast<void**>(&answer))) << c.name;
        EXPECT_EQ(2u, outer.references()) << c.name;
        answer->AddRef();
        EXPECT_EQ(3u, outer.references()) << c.name;
        answer->Release();
        EXPECT_EQ(2u, outer.references()) << c.name;

        // Its identity is the outer's, and the outer answers the rest.
        ComPtr<IUnknown> identity;
        ASSERT_EQ(S_OK, answer->QueryInterface(IID_PPV_ARGS(&identity))) << c.name;
        EXPECT_EQ(static_cast<IUnknown*>(&outer), identity.Get()) << c.name;
        identity.Reset();
        ComPtr<ITarnwick> store;
        EXPECT_EQ(S_OK, answer->QueryInterface(IID_PPV_ARGS(&store))) << c.name;
        store.Reset();

        answer->Release();
        EXPECT_EQ(1u, outer.references()) << c.name;
    }
}

TEST_F(AggregationTest, ConnectionPointAndItsEnumeratorCountOnTheOuter)
{
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, outer.inner.As(&container));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_ITarnwickEvents, &point));
    EXPECT_EQ(3u, outer.references());
    point->AddRef();
    EXPECT_EQ(4u, outer.references());
    point->Release();
    EXPECT_EQ(3u, outer.references());

    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(S_OK, point->GetConnectionPointContainer(&back));
    EXPECT_EQ(static_cast<IUnknown*>(container.Get()), static_cast<IUnknown*>(back.Get()));
    EXPECT_EQ(4u, outer.references());

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, point->EnumConnections(&connections));
    EXPECT_EQ(5u, outer.references()) << "the enumerator keeps the aggregate alive through the outer";
    container.Reset();
    point.Reset();
    back.Reset();
    EXPECT_EQ(2u, outer.references());
    connections.Reset();
    EXPECT_EQ(1u, outer.references());
}

TEST_F(AggregationTest, WorksAsAStoreThroughTheOuter)
{
    ComPtr<ITarnwick> store;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_PPV_ARGS(&store)));
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(L"root", nodeName(root.Get()));
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
}

TEST_F(AggregationTest, ReleasingTheInnerUnknownDestroysTheStore)
{
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, outer.inner.As(&file));
    file.Reset();
    EXPECT_EQ(S_FALSE, Dll::canUnloadNow()) << "the outer's reference keeps the store";
    outer.inner.Reset();
    EXPECT_EQ(S_OK, Dll::canUnloadNow());
    EXPECT_EQ(1u, outer.references());
}

} // namespace
} // namespace tarnwick_test
