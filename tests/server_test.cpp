// The server shell: the lock count behind DllCanUnloadNow, the cached class object,
// the checks of DllGetClassObject and CreateInstance, and the module's own lifecycle.
#include "support/counting_outer.h"
#include "support/fresh_module.h"
#include "support/tarnwick_test.h"

#include "framework/class_factory.h"
#include "framework/enumerator.h"

#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

namespace tarnwick_test {
namespace {

// The DLL's exact lock count, read through the only window a client has: undo locks
// with LockServer(FALSE) until DllCanUnloadNow says S_OK, then put them back. The
// factory's own client reference is part of the count.
int lockCount(IClassFactory* factory)
{
    int count = 0;
    while (Dll::canUnloadNow() == S_FALSE && count < 64) {
        EXPECT_EQ(S_OK, factory->LockServer(FALSE));
        ++count;
    }
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    return count;
}

ComPtr<IClassFactory> classObject()
{
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, Dll::getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory)));
    return factory;
}

class ServerTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(S_OK, Dll::canUnloadNow()) << "something the test made is still alive"; }
};

// Each way of keeping the DLL loaded: make the holder, then drop it.
struct HolderCase {
    const char* name;
    std::function<std::function<void()>()> hold;
};

TEST_F(ServerTest, EachHolderKeepsTheDllLoadedUntilItGoes)
{
    const HolderCase cases[] = {
        {"instance",
         [] {
             ComPtr<ITarnwick> store = newStore();
             return [store]() mutable { store.Reset(); };
         }},
        {"client reference to the class object",
         [] {
             ComPtr<IClassFactory> factory = classObject();
             return [factory]() mutable { factory.Reset(); };
         }},
        {"unmatched LockServer(TRUE)",
         [] {
             EXPECT_EQ(S_OK, classObject()->LockServer(TRUE));
             return [] { EXPECT_EQ(S_OK, classObject()->LockServer(FALSE)); };
         }},
        {"connection enumerator",
         [] {
             ComPtr<IConnectionPointContainer> container;
             EXPECT_EQ(S_OK, createStore(IID_PPV_ARGS(&container)));
             ComPtr<IConnectionPoint> point;
             EXPECT_EQ(S_OK, container->FindConnectionPoint(IID_ITarnwickEvents, &point));
             ComPtr<IEnumConnections> connections;
             EXPECT_EQ(S_OK, point->EnumConnections(&connections));
             return [connections]() mutable { connections.Reset(); };
         }},
    };
    for (const HolderCase& c : cases) {
        ASSERT_EQ(S_OK, Dll::canUnloadNow()) << c.name;
        std::function<void()> drop = c.hold();
        EXPECT_EQ(S_FALSE, Dll::canUnloadNow()) << c.name;
        drop();
        EXPECT_EQ(S_OK, Dll::canUnloadNow()) << c.name;
    }
}

TEST_F(ServerTest, ClassObjectIsCachedAndItsClientReferencesCountAsOneLock)
{
    ComPtr<IClassFactory> first = classObject();
    ComPtr<IClassFactory> second = classObject();
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, Dll::getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), static_cast<IUnknown*>(second.Get()));
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), unknown.Get());
    EXPECT_EQ(1, lockCount(first.Get()));

    const void* cached = first.Get();
    first.Reset();
    second.Reset();
    unknown.Reset();
    EXPECT_EQ(S_OK, Dll::canUnloadNow());

    // The map's reference kept it: the next request gets the same object.
    ComPtr<IClassFactory> again = classObject();
    EXPECT_EQ(cached, static_cast<const void*>(again.Get()));
}

TEST_F(ServerTest, EveryInstanceAndUnmatchedLockCountsOnce)
{
    ComPtr<IClassFactory> factory = classObject();
    ComPtr<ITarnwick> a = newStore();
    ComPtr<ITarnwick> b = newStore();
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(5, lockCount(factory.Get()));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    a.Reset();
    EXPECT_EQ(2, lockCount(factory.Get()));
}

TEST_F(ServerTest, LockServerFalseFirstDrivesTheCountBelowZero)
{
    ComPtr<IClassFactory> factory = classObject();
    EXPECT_EQ(S_OK, factory->LockServer(FALSE)); // 0: only the factory's reference was counted
    EXPECT_EQ(S_OK, Dll::canUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE)); // -1
    EXPECT_EQ(S_FALSE, Dll::canUnloadNow());
    factory.Reset(); // -2, and nothing is alive
    EXPECT_EQ(S_FALSE, Dll::canUnloadNow());

    factory = classObject(); // -1
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, Dll::canUnloadNow()) << "back at zero";
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
}

struct ClassObjectCase {
    const char* name;
    CLSID clsid;
    IID iid;
    HRESULT expected;
};

TEST_F(ServerTest, DllGetClassObjectAnswersOnlyItsClassAndInterfaces)
{
    CLSID nearlyTarnwick = CLSID_Tarnwick;
    nearlyTarnwick.Data4[7] ^= 1;
    const ClassObjectCase cases[] = {
        {"IClassFactory", CLSID_Tarnwick, IID_IClassFactory, S_OK},
        {"IUnknown", CLSID_Tarnwick, IID_IUnknown, S_OK},
        {"ITarnwick of the class object", CLSID_Tarnwick, IID_ITarnwick, E_NOINTERFACE},
        {"IClassFactory2", CLSID_Tarnwick, IID_IClassFactory2, E_NOINTERFACE},
        {"IDispatch of the class object", CLSID_Tarnwick, IID_IDispatch, E_NOINTERFACE},
        {"the library's identifier", LIBID_TARNWICKLib, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"CLSID_NULL", CLSID_NULL, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"one bit off", nearlyTarnwick, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"unknown class, unknown interface", nearlyTarnwick, IID_ITarnwick, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const ClassObjectCase& c : cases) {
        IUnknown* answer = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(c.expected, Dll::getClassObject(c.clsid, c.iid, reinterpret_cast<void**>(&answer))) << c.name;
        if (c.expected == S_OK) {
            EXPECT_NE(nullptr, answer) << c.name;
            answer->Release();
        } else {
            EXPECT_EQ(nullptr, answer) << c.name;
        }
    }
    EXPECT_EQ(E_POINTER, Dll::getClassObject(CLSID_Tarnwick, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_POINTER, Dll::getClassObject(nearlyTarnwick, IID_IClassFactory, nullptr));

    ComPtr<IClassFactory> factory = classObject();
    void* answer = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IPersist, &answer));
    EXPECT_EQ(nullptr, answer);
    EXPECT_EQ(E_POINTER, factory->QueryInterface(IID_IClassFactory, nullptr));
}

struct CreateCase {
    const char* name;
    bool aggregate;
    IID iid;
    HRESULT expected;
};

TEST_F(ServerTest, CreateInstanceRefusalsLeaveNothingBehind)
{
    const CreateCase cases[] = {
        {"aggregate asking for ITarnwick", true, IID_ITarnwick, CLASS_E_NOAGGREGATION},
        {"aggregate asking for IDispatch", true, IID_IDispatch, CLASS_E_NOAGGREGATION},
        {"aggregate asking for an interface nobody answers", true, IID_IClassFactory, CLASS_E_NOAGGREGATION},
        {"interface the store does not answer", false, IID_IClassFactory, E_NOINTERFACE},
        {"the store's outgoing interface", false, IID_ITarnwickEvents, E_NOINTERFACE},
    };
    ComPtr<IClassFactory> factory = classObject();
    for (const CreateCase& c : cases) {
        CountingOuter outer;
        IUnknown* created = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(c.expected, factory->CreateInstance(c.aggregate ? &outer : nullptr, c.iid,
                                                      reinterpret_cast<void**>(&created)))
            << c.name;
        EXPECT_EQ(nullptr, created) << c.name;
        EXPECT_EQ(1u, outer.references()) << c.name;
        EXPECT_EQ(1, lockCount(factory.Get())) << c.name << ": only the factory's reference may remain";
    }
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_ITarnwick, nullptr));
    CountingOuter outer;
    EXPECT_EQ(E_POINTER, factory->CreateInstance(&outer, IID_IUnknown, nullptr));
    EXPECT_EQ(1u, outer.references());
}

TEST_F(ServerTest, EachCreatedStoreIsANewObjectAnsweringTheRequestedInterface)
{
    ComPtr<IClassFactory> factory = classObject();
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&file)));
    ComPtr<IUnknown> other;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&other)));
    EXPECT_NE(identityOf(file.Get()), identityOf(other.Get()));
    EXPECT_EQ(3, lockCount(factory.Get()));
    CLSID clsid = CLSID_NULL;
    EXPECT_EQ(S_OK, file->GetClassID(&clsid));
    EXPECT_TRUE(InlineIsEqualGUID(CLSID_Tarnwick, clsid));
}

// One thread's request: it waits on the shared start event, then spins until every
// thread is awake, so that the requests meet within a few instructions of each other.
struct Request {
    const FreshModule* module;
    HANDLE start;
    volatile LONG* awake;
    LONG threads;
    HRESULT hr;
    IClassFactory* factory;
};

DWORD WINAPI requestClassObject(void* parameter)
{
    Request* request = static_cast<Request*>(parameter);
    WaitForSingleObject(request->start, INFINITE);
    InterlockedIncrement(request->awake);
    while (*request->awake < request->threads)
        YieldProcessor();
    request->hr =
        request->module->getClassObject(CLSID_Tarnwick, IID_IClassFactory, reinterpret_cast<void**>(&request->factory));
    return 0;
}

TEST(ServerConcurrency, SimultaneousFirstRequestsGetOneClassObject)
{
    const int kRounds = 25;
    const int kThreads = 8;
    for (int round = 0; round < kRounds; ++round) {
        const std::wstring name = L"Tarnwick-" + std::to_wstring(round) + L".dll";
        FreshModule module(name.c_str());
        ASSERT_TRUE(module.handle());
        ASSERT_EQ(S_OK, module.canUnloadNow());

        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_TRUE(start);
        volatile LONG awake = 0;
        std::vector<Request> requests(kThreads, Request{&module, start, &awake, kThreads, E_UNEXPECTED, nullptr});
        std::vector<HANDLE> threads;
        for (Request& request : requests) {
            HANDLE thread = CreateThread(nullptr, 0, &requestClassObject, &request, 0, nullptr);
            ASSERT_TRUE(thread);
            threads.push_back(thread);
        }
        SetEvent(start);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kThreads, threads.data(), TRUE, 30000));
        for (HANDLE thread : threads)
            CloseHandle(thread);
        CloseHandle(start);

        for (Request& request : requests) {
            EXPECT_EQ(S_OK, request.hr) << "round " << round;
            EXPECT_EQ(requests[0].factory, request.factory) << "round " << round;
        }
        EXPECT_EQ(S_FALSE, module.canUnloadNow());
        for (Request& request : requests) {
            if (request.factory)
                request.factory->Release();
        }
        EXPECT_EQ(S_OK, module.canUnloadNow()) << "round " << round;
    }
}

// The module's own lifecycle, on a module of this test program with a map of its own.
struct Calls {
    std::vector<std::string> log;
    int creations = 0;
    HRESULT creatorResult = S_OK;
};
Calls* g_calls = nullptr;

// A stand-in class object: every reference is logged so that the map's is seen going.
class LoggedClassObject final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!InlineIsEqualGUID(riid, IID_IUnknown)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *ppv = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        if (--refs == 0)
            g_calls->log.push_back("class object destroyed");
        return refs;
    }
    ULONG refs = 0;
};
LoggedClassObject g_classObject;

HRESULT createLoggedClassObject(framework::InstanceCreator, REFIID riid, void** ppv)
{
    ++g_calls->creations;
    if (FAILED(g_calls->creatorResult))
        return g_calls->creatorResult;
    return g_classObject.QueryInterface(riid, ppv);
}

void logObjectMain(bool starting)
{
    g_calls->log.push_back(starting ? "start" : "stop");
}

void logTermA(DWORD_PTR data)
{
    g_calls->log.push_back("term a " + std::to_string(data));
}

void logTermB(DWORD_PTR data)
{
    g_calls->log.push_back("term b " + std::to_string(data));
}

const CLSID kClass = {0x6B1A4C2E, 0x1D0F, 0x4E55, {0x9A, 0x31, 0x0C, 0x5E, 0x7D, 0x22, 0x41, 0x90}};

class ModuleLifecycle : public ::testing::Test {
protected:
    void SetUp() override { g_calls = &calls; }
    void TearDown() override { g_calls = nullptr; }

    Calls calls;
    framework::ObjectMapEntry map[2] = {
        {&kClass, nullptr, &createLoggedClassObject, nullptr, nullptr, nullptr, &logObjectMain},
        {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    framework::Module module;
};

TEST_F(ModuleLifecycle, ShutdownReleasesTheClassObjectThenStopsThenRunsCallbacksOnce)
{
    module.init(map, nullptr, &LIBID_TARNWICKLib);
    EXPECT_EQ(std::vector<std::string>{"start"}, calls.log);

    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, module.getClassObject(kClass, IID_PPV_ARGS(&first)));
    ASSERT_EQ(S_OK, module.getClassObject(kClass, IID_PPV_ARGS(&second)));
    EXPECT_EQ(1, calls.creations);
    EXPECT_EQ(static_cast<IUnknown*>(&g_classObject), static_cast<IUnknown*>(map[0].classObject));
    first.Reset();
    second.Reset();
    EXPECT_EQ(1u, g_classObject.refs) << "the map's own reference";

    ASSERT_EQ(S_OK, module.addTermFunc(&logTermA, 1));
    ASSERT_EQ(S_OK, module.addTermFunc(&logTermB, 2));
    module.term();
    const std::vector<std::string> expected = {"start", "class object destroyed", "stop", "term a 1", "term b 2"};
    EXPECT_EQ(expected, calls.log);
    EXPECT_EQ(nullptr, static_cast<IUnknown*>(map[0].classObject));

    module.term();
    EXPECT_EQ(expected, calls.log) << "a second shutdown does nothing";
}

TEST_F(ModuleLifecycle, FailedClassObjectCreationIsReturnedAndCachesNothing)
{
    module.init(map, nullptr, &LIBID_TARNWICKLib);
    calls.creatorResult = E_OUTOFMEMORY;
    IUnknown* answer = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_OUTOFMEMORY, module.getClassObject(kClass, IID_IUnknown, reinterpret_cast<void**>(&answer)));
    EXPECT_EQ(nullptr, answer);
    EXPECT_EQ(nullptr, static_cast<IUnknown*>(map[0].classObject));

    calls.creatorResult = S_OK;
    ComPtr<IUnknown> factory;
    EXPECT_EQ(S_OK, module.getClassObject(kClass, IID_PPV_ARGS(&factory)));
    EXPECT_EQ(2, calls.creations);
    factory.Reset();
    module.term();
    EXPECT_EQ(0u, g_classObject.refs);
}

// The enumerators of a connection point hold a lock of their own, not only through
// the object they enumerate for.
TEST(FrameworkLocks, ConnectionEnumeratorsHoldAModuleLock)
{
    const LONG before = framework::module().lockCount();
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(S_OK, framework::ConnectionEnumerator::create(nullptr, {}, 0, &connections));
    EXPECT_EQ(before + 1, framework::module().lockCount());
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(S_OK, connections->Clone(&clone));
    EXPECT_EQ(before + 2, framework::module().lockCount());
    connections.Reset();
    clone.Reset();
    EXPECT_EQ(before, framework::module().lockCount());
}

} // namespace
} // namespace tarnwick_test
