// Stores watched the way the side-effect tests need them: one with a recording sink
// connected, the same seen through IPersistFile, and one that also has debug mode on
// with a file of the test's own, whose sink notes what that file held when it was
// called.
#pragma once

#include "recording_sink.h"

#include <string>

namespace tarnwick_test {

// A store with a recording sink connected to it.
class ConnectedStoreTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        sink = RecordingSink::create();
        ASSERT_EQ(S_OK, sink->advise(store.Get()));
    }

    ComPtr<RecordingSink> sink;
};

// A connected store and its IPersistFile.
class PersistStoreTest : public ConnectedStoreTest {
protected:
    void SetUp() override
    {
        ConnectedStoreTest::SetUp();
        ASSERT_EQ(S_OK, store.As(&persist));
    }

    void TearDown() override
    {
        persist.Reset();
        ConnectedStoreTest::TearDown();
        EXPECT_EQ(1u, sink->references()) << "the store released its sink";
    }

    // The current file as GetCurFile reports it; "(null)" when there is none.
    std::wstring curFile()
    {
        LPOLESTR name = reinterpret_cast<LPOLESTR>(0x1);
        EXPECT_EQ(S_OK, persist->GetCurFile(&name));
        if (!name)
            return L"(null)";
        std::wstring copy = name;
        CoTaskMemFree(name);
        return copy;
    }

    ComPtr<IPersistFile> persist;
};

class WatchedStoreTest : public ConnectedStoreTest {
protected:
    void SetUp() override
    {
        ConnectedStoreTest::SetUp();
        debugFile = tempFile(L"debug.xml");
        Bstr file = bstr(debugFile.c_str());
        ASSERT_EQ(S_OK, store->setDebugMode(1, file.get()));
        sink->onEvent = [this](const std::wstring&) {
            fileDuringEvent = readFile(debugFile);
            return S_OK;
        };
    }

    // Forgets the events so far and removes the debug file, to see what comes next.
    void forgetSideEffects()
    {
        sink->events.clear();
        DeleteFileW(debugFile.c_str());
    }

    // Asserts that nothing was saved or announced since forgetSideEffects().
    void expectSilence(const char* what)
    {
        EXPECT_TRUE(sink->events.empty()) << what;
        EXPECT_FALSE(fileExists(debugFile)) << what;
    }

    std::wstring debugFile;
    std::string fileDuringEvent;
};

} // namespace tarnwick_test
