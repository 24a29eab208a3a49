// Debug mode: the whole document written to the client's file after a successful
// load, before the sinks hear of it, silently; and the event switch beside it.
#include "support/watched_store.h"

#include <string>
#include <vector>

namespace tarnwick_test {
namespace {

class DebugSaveTest : public ConnectedStoreTest {
protected:
    void SetUp() override
    {
        ConnectedStoreTest::SetUp();
        ASSERT_EQ(S_OK, store.As(&persist));
        source = tempFile(L"source.xml");
        writeFile(source, "<?xml version=\"1.0\"?>\n<catalog><item id=\"1\"/></catalog>\n");
        debugFile = tempFile(L"debug.xml");
    }

    void TearDown() override
    {
        persist.Reset();
        ConnectedStoreTest::TearDown();
    }

    HRESULT setDebugMode(LONG on, const wchar_t* file)
    {
        Bstr name;
        EXPECT_EQ(S_OK, name.assign(file));
        return store->setDebugMode(on, name.get());
    }

    HRESULT load() { return persist->Load(source.c_str(), STGM_READ); }

    // What the DOM itself writes for the store's document as it is now.
    std::string domSerialization()
    {
        const std::wstring reference = tempFile(L"reference.xml");
        Variant target(reference.c_str());
        EXPECT_EQ(S_OK, documentOf(store.Get())->save(target.get()));
        const std::string text = readFile(reference);
        DeleteFileW(reference.c_str());
        return text;
    }

    ComPtr<IPersistFile> persist;
    std::wstring source;
    std::wstring debugFile;
};

TEST_F(DebugSaveTest, SwitchingOnWritesNothingByItself)
{
    EXPECT_EQ(S_OK, setDebugMode(1, debugFile.c_str()));
    EXPECT_FALSE(fileExists(debugFile));
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(DebugSaveTest, LoadWritesTheDebugFileBeforeTheSinksHearOfIt)
{
    ASSERT_EQ(S_OK, setDebugMode(1, debugFile.c_str()));
    std::string seenBySink;
    sink->onEvent = [&](const std::wstring&) {
        seenBySink = readFile(debugFile);
        return S_OK;
    };

    ASSERT_EQ(S_OK, load());
    EXPECT_EQ(domSerialization(), seenBySink) << "the loaded document, already there inside onPersist";
    EXPECT_NE(std::string::npos, seenBySink.find("<item id=\"1\""));

    LPOLESTR current = nullptr;
    ASSERT_EQ(S_OK, persist->GetCurFile(&current));
    ASSERT_TRUE(current);
    EXPECT_EQ(source, current) << "the auto-save does not change the current file";
    CoTaskMemFree(current);
}

TEST_F(DebugSaveTest, SettingsThatWriteNoDebugFile)
{
    const std::wstring other = tempFile(L"other.xml");
    const struct {
        const char* what;
        std::vector<std::pair<LONG, const wchar_t*>> calls;
    } cases[] = {
        {"on without a name", {{1, nullptr}}},
        {"off with a name", {{0, debugFile.c_str()}}},
        {"on, then on again without a name", {{1, debugFile.c_str()}, {1, nullptr}}},
        {"on, then off with another name", {{1, debugFile.c_str()}, {0, other.c_str()}}},
    };
    for (const auto& c : cases) {
        for (const auto& call : c.calls)
            ASSERT_EQ(S_OK, setDebugMode(call.first, call.second)) << c.what;
        sink->events.clear();
        ASSERT_EQ(S_OK, load()) << c.what;
        EXPECT_EQ(std::vector<std::wstring>{L"source.xml"}, filesIn(tempDir())) << c.what;
        EXPECT_EQ(1u, sink->events.size()) << c.what;
    }
}

TEST_F(DebugSaveTest, FailingAutoSaveChangesNeitherResultNorEvent)
{
    const std::wstring unreachable = tempDir() + L"\\no-such-folder\\debug.xml";
    for (const wchar_t* name : {unreachable.c_str(), L""}) {
        ASSERT_EQ(S_OK, setDebugMode(1, name));
        sink->events.clear();
        EXPECT_EQ(S_OK, load()) << narrow(name);
        EXPECT_EQ(std::vector<std::wstring>{L"persist " + urlOf(source)}, sink->events) << narrow(name);
        EXPECT_EQ(std::vector<std::wstring>{L"source.xml"}, filesIn(tempDir())) << narrow(name);
    }
}

TEST_F(DebugSaveTest, SaveItselfDoesNotAutoSave)
{
    ASSERT_EQ(S_OK, setDebugMode(1, debugFile.c_str()));
    const std::wstring saved = tempFile(L"saved.xml");
    ASSERT_EQ(S_OK, persist->Save(saved.c_str(), TRUE));
    EXPECT_FALSE(fileExists(debugFile));
    EXPECT_TRUE(sink->events.empty());
}

TEST_F(DebugSaveTest, EventSwitchSilencesOnPersistButNotTheAutoSave)
{
    ASSERT_EQ(S_OK, setDebugMode(1, debugFile.c_str()));
    EXPECT_EQ(S_OK, store->setNotify(0));
    EXPECT_FALSE(fileExists(debugFile)) << "setNotify writes nothing";

    ASSERT_EQ(S_OK, load());
    EXPECT_TRUE(sink->events.empty());
    EXPECT_TRUE(fileExists(debugFile));

    EXPECT_EQ(S_OK, store->setNotify(5));
    ASSERT_EQ(S_OK, load());
    EXPECT_EQ(std::vector<std::wstring>{L"persist " + urlOf(source)}, sink->events) << "any non-zero value is on";
}

} // namespace
} // namespace tarnwick_test
