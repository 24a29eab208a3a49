// A store watched the way the side-effect tests need it: debug mode on with a file of
// the test's own, and a recording sink that notes what that file held when it was called.
#pragma once

#include "recording_sink.h"

#include <string>

namespace tarnwick_test {

class WatchedStoreTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        debugFile = tempFile(L"debug.xml");
        Bstr file = bstr(debugFile.c_str());
        ASSERT_EQ(S_OK, store->setDebugMode(1, file.get()));
        sink = RecordingSink::create();
        ASSERT_EQ(S_OK, sink->advise(store.Get()));
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
    ComPtr<RecordingSink> sink;
    std::string fileDuringEvent;
};

} // namespace tarnwick_test
