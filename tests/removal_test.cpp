// Removal and re-rooting: deleting elements (the root included), clearing the store and
// building a new root, with the order of save and event each one keeps.
#include "support/element_helpers.h"
#include "support/recording_sink.h"
#include "support/watched_store.h"

namespace tarnwick_test {
namespace {

class RemovalTest : public WatchedStoreTest {
protected:
    ComPtr<IUnknown> find(IUnknown* context, const wchar_t* id)
    {
        Bstr name = bstr(id);
        ComPtr<IUnknown> found;
        store->getElement(context, name.get(), &found);
        return found;
    }
};

TEST_F(RemovalTest, DeleteTakesTheSubtreeAndSavesBeforeAnnouncing)
{
    ComPtr<IUnknown> branch = addChild(store.Get(), nullptr, L"branch");
    ComPtr<IUnknown> leaf = addChild(store.Get(), branch.Get(), L"leaf");
    ASSERT_EQ(S_OK, setAttribute(store.Get(), leaf.Get(), L"size", Variant(3)));
    forgetSideEffects();

    ASSERT_EQ(S_OK, store->deleteElement(branch.Get()));
    ASSERT_EQ(1u, sink->events.size());
    EXPECT_EQ(L"deleted branch", sink->events[0]);
    EXPECT_EQ(std::string::npos, fileDuringEvent.find("branch")) << "saved before the event";
    EXPECT_NE(std::string::npos, fileDuringEvent.find("<root")) << fileDuringEvent;
    ComPtr<IXMLDOMNode> eventNode;
    ComPtr<IXMLDOMNode> parentOfEventNode;
    ASSERT_EQ(S_OK, sink->lastElement.As(&eventNode));
    eventNode->get_parentNode(&parentOfEventNode);
    EXPECT_FALSE(parentOfEventNode) << "the node is detached when the sinks see it";

    // Handles below the removed element still work; queries from the root no longer find it.
    Bstr id;
    ASSERT_EQ(S_OK, store->getElementID(leaf.Get(), id.put()));
    EXPECT_STREQ(L"leaf", id.get());
    EXPECT_EQ(L"3", attributeText(store.Get(), leaf.Get(), L"size"));
    EXPECT_FALSE(find(nullptr, L"leaf"));
    EXPECT_TRUE(find(branch.Get(), L"leaf"));
}

TEST_F(RemovalTest, DeletingTwiceFailsTheSecondTimeSilently)
{
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    ASSERT_EQ(S_OK, store->deleteElement(item.Get()));
    forgetSideEffects();
    EXPECT_EQ(E_FAIL, store->deleteElement(item.Get()));
    EXPECT_TRUE(sink->events.empty());
    EXPECT_FALSE(fileExists(debugFile));
}

TEST_F(RemovalTest, DeleteRefusesWhatIsNoNodeOrHasNoParent)
{
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    ASSERT_EQ(S_OK, setAttribute(store.Get(), item.Get(), L"size", Variant(1)));
    Bstr attributeQuery = bstr(L"@size");
    ComPtr<IUnknown> attribute;
    ASSERT_EQ(S_OK, store->queryElement(item.Get(), attributeQuery.get(), &attribute));
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    BSTR unattachedName = nullptr;
    ComPtr<IUnknown> unattached;
    ASSERT_EQ(S_OK, store->createElement(&unattachedName, &unattached));
    Bstr owned(unattachedName);
    ComPtr<IUnknown> foreign = foreignObject();
    const std::wstring before = xmlOf(store.Get());
    forgetSideEffects();

    const struct {
        const char* what;
        IUnknown* handle;
        HRESULT expected;
    } cases[] = {
        {"null", nullptr, E_INVALIDARG},
        {"foreign object", foreign.Get(), E_INVALIDARG},
        {"enumeration", enumeration.Get(), E_INVALIDARG},
        {"attribute node", attribute.Get(), E_FAIL},
        {"never attached", unattached.Get(), E_FAIL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, store->deleteElement(c.handle)) << c.what;
    EXPECT_TRUE(sink->events.empty());
    EXPECT_FALSE(fileExists(debugFile));
    EXPECT_EQ(before, xmlOf(store.Get()));
    EXPECT_EQ(L"1", attributeText(store.Get(), item.Get(), L"size"));
}

TEST_F(RemovalTest, DeletedRootIsReplacedByANewOneOnNextNeed)
{
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    ASSERT_EQ(S_OK, setAttribute(store.Get(), root.Get(), L"mark", Variant(1)));
    forgetSideEffects();

    ASSERT_EQ(S_OK, store->deleteElement(root.Get()));
    EXPECT_EQ(std::vector<std::wstring>{L"deleted root"}, sink->events);
    EXPECT_EQ(L"xml", topLevelNames(store.Get()));

    // As after clear: null parents and contexts mean a new root, built under the
    // declaration that is still there; what goes below it is saved.
    ComPtr<IUnknown> fresh;
    ASSERT_EQ(S_OK, store->getRootElement(&fresh));
    EXPECT_EQ(L"(absent)", attributeText(store.Get(), fresh.Get(), L"mark"));
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
    addChild(store.Get(), nullptr, L"below");
    EXPECT_TRUE(find(nullptr, L"below"));
    EXPECT_TRUE(find(fresh.Get(), L"below"));
    EXPECT_FALSE(find(root.Get(), L"below"));
    EXPECT_NE(std::string::npos, readFile(debugFile).find("below"));
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

TEST_F(RemovalTest, ClearAnnouncesBeforeItSavesAndRemovesEveryTopLevelNode)
{
    addChild(store.Get(), nullptr, L"item");
    ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
    Bstr remark = bstr(L"remark");
    ComPtr<IXMLDOMComment> comment;
    ASSERT_EQ(S_OK, doc->createComment(remark.get(), &comment));
    ASSERT_EQ(S_OK, doc->appendChild(comment.Get(), nullptr));
    forgetSideEffects();
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, store.As(&file));
    ASSERT_EQ(S_OK, file->Save(debugFile.c_str(), FALSE));
    std::wstring namesDuringEvent;
    sink->onEvent = [&](const std::wstring&) {
        fileDuringEvent = readFile(debugFile);
        namesDuringEvent = topLevelNames(store.Get());
        return S_OK;
    };

    EXPECT_EQ(S_OK, store->clear());
    EXPECT_EQ(std::vector<std::wstring>{L"deleteAll"}, sink->events);
    EXPECT_EQ(L"", namesDuringEvent) << "the document is empty when the sinks run";
    EXPECT_NE(std::string::npos, fileDuringEvent.find("<item")) << "the file is written after the sinks";
    EXPECT_EQ("", readFile(debugFile));
    EXPECT_EQ(L"", topLevelNames(store.Get()));

    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
    EXPECT_FALSE(find(nullptr, L"item"));
}

TEST_F(RemovalTest, ClearOnAnEmptyStoreStillAnnouncesAndSaves)
{
    EXPECT_EQ(S_OK, store->clear());
    EXPECT_EQ(std::vector<std::wstring>{L"deleteAll"}, sink->events);
    EXPECT_TRUE(fileExists(debugFile));
}

TEST_F(RemovalTest, SwitchesDecideOnEventAndSave)
{
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    ASSERT_EQ(S_OK, store->setNotify(0));
    forgetSideEffects();
    ASSERT_EQ(S_OK, store->deleteElement(item.Get()));
    ASSERT_EQ(S_OK, store->clear());
    EXPECT_TRUE(sink->events.empty());
    EXPECT_TRUE(fileExists(debugFile));

    ASSERT_EQ(S_OK, store->setDebugMode(1, nullptr));
    forgetSideEffects();
    ASSERT_EQ(S_OK, store->clear());
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, store->createRootElement(&name, nullptr));
    Bstr owned(name);
    EXPECT_FALSE(fileExists(debugFile));
}

TEST_F(RemovalTest, CreateRootElementReplacesEverythingWithOneRoot)
{
    struct Case {
        const char* what;
        bool pointer;
        const wchar_t* name; // null: the pointer holds a null string
        HRESULT expected;
        const wchar_t* root; // the new root's name, null when none is built
        const wchar_t* nameAfter;
    };
    const Case cases[] = {
        {"no name pointer", false, nullptr, S_OK, L"root", nullptr},
        {"null string", true, nullptr, S_OK, L"root", L"root"},
        {"empty string", true, L"", S_OK, L"root", L"root"},
        {"valid name", true, L"store", S_OK, L"store", L"store"},
        {"no XML name", true, L"9store", E_FAIL, nullptr, L"9store"},
    };
    for (const Case& c : cases) {
        addChild(store.Get(), nullptr, L"old");
        sink->events.clear();
        const std::wstring before = xmlOf(store.Get());
        BSTR name = c.name ? SysAllocString(c.name) : nullptr;
        BSTR original = name;
        IUnknown* root = kSentinel;
        EXPECT_EQ(c.expected, store->createRootElement(c.pointer ? &name : nullptr, &root)) << c.what;
        Bstr owned(name);

        if (c.root) {
            // clear announced once, with the old document still in the file; nothing else was announced.
            EXPECT_EQ(std::vector<std::wstring>{L"deleteAll"}, sink->events) << c.what;
            EXPECT_NE(std::string::npos, fileDuringEvent.find("<old")) << c.what;
        }
        if (c.nameAfter) {
            EXPECT_STREQ(c.nameAfter, owned.get()) << c.what;
        }
        if (c.pointer && c.name && *c.name) {
            EXPECT_EQ(original, owned.get()) << c.what << ": a given name is not replaced";
        }

        if (c.root) {
            ComPtr<IUnknown> handle;
            framework::adopt(handle, root);
            EXPECT_EQ(c.root, nodeName(handle.Get())) << c.what;
            EXPECT_EQ(L"xml|" + std::wstring(c.root), topLevelNames(store.Get())) << c.what;
            EXPECT_EQ(0u, occurrences(xmlOf(store.Get()), L"old")) << c.what;
            // The second save holds the new root; the one of clear held nothing.
            EXPECT_NE(std::string::npos, readFile(debugFile).find("<" + narrow(c.root))) << c.what;
        } else {
            // A refused name is refused before clear: nothing removed, announced or saved.
            EXPECT_EQ(kSentinel, root) << c.what;
            EXPECT_TRUE(sink->events.empty()) << c.what;
            EXPECT_EQ(before, xmlOf(store.Get())) << c.what;
            EXPECT_EQ(S_OK, loadsBack(store.Get()));
        }
    }
}

TEST_F(RemovalTest, CreateRootElementWithoutHandlePointer)
{
    Bstr name = bstr(L"top");
    BSTR given = name.get();
    ASSERT_EQ(S_OK, store->createRootElement(&given, nullptr));
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(L"top", nodeName(root.Get()));
}

} // namespace
} // namespace tarnwick_test
