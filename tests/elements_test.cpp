// Creating elements, attaching and moving them, finding them by identifier, and
// reading identifiers: what each writes, what each refuses, and the save-then-event order.
#include "support/element_helpers.h"
#include "support/recording_sink.h"
#include "support/watched_store.h"

#include <set>

namespace tarnwick_test {
namespace {

// "ID" and a GUID's registry form without braces: 8-4-4-4-12 uppercase hexadecimal digits.
::testing::AssertionResult isGeneratedId(const std::wstring& id)
{
    if (id.size() != 38 || id.compare(0, 2, L"ID") != 0)
        return ::testing::AssertionFailure() << narrow(id) << " is not ID and 36 characters";
    for (size_t i = 2; i < id.size(); ++i) {
        const size_t offset = i - 2;
        const bool hyphen = offset == 8 || offset == 13 || offset == 18 || offset == 23;
        const wchar_t c = id[i];
        const bool ok = hyphen ? c == L'-' : ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'));
        if (!ok)
            return ::testing::AssertionFailure() << narrow(id) << " has '" << static_cast<char>(c) << "' at " << i;
    }
    return ::testing::AssertionSuccess();
}

std::wstring idOf(ITarnwick* store, IUnknown* element)
{
    Bstr id;
    EXPECT_EQ(S_OK, store->getElementID(element, id.put()));
    return id.get() ? id.get() : L"(null)";
}

// An attribute that tells otherwise equal elements apart without comparing COM identities.
void mark(ITarnwick* store, IUnknown* element, const wchar_t* value)
{
    ASSERT_EQ(S_OK, setAttribute(store, element, L"mark", Variant(value)));
}

using ElementEventTest = WatchedStoreTest;

TEST_F(StoreTest, CreateElementGeneratesAnIdentifierWhenNoneIsGiven)
{
    struct Case {
        const char* what;
        bool pointer;
        const wchar_t* text; // null: the pointer holds a null string
    };
    const Case cases[] = {{"no pid", false, nullptr}, {"null string", true, nullptr}, {"empty string", true, L""}};
    for (const Case& c : cases) {
        BSTR held = c.text ? SysAllocString(c.text) : nullptr;
        ComPtr<IUnknown> element;
        ASSERT_EQ(S_OK, store->createElement(c.pointer ? &held : nullptr, &element)) << c.what;
        Bstr written(held);
        const std::wstring id = idOf(store.Get(), element.Get());
        EXPECT_TRUE(isGeneratedId(id)) << c.what;
        if (c.pointer) {
            EXPECT_EQ(id, std::wstring(written.get() ? written.get() : L"(null)")) << c.what;
        }
    }
    EXPECT_EQ(L"", topLevelNames(store.Get())) << "nothing is attached";
}

TEST_F(StoreTest, GeneratedIdentifiersDiffer)
{
    std::set<std::wstring> ids;
    for (int i = 0; i < 50; ++i) {
        BSTR held = nullptr;
        ASSERT_EQ(S_OK, store->createElement(&held, nullptr));
        Bstr id(held);
        EXPECT_TRUE(isGeneratedId(id.get()));
        ids.insert(id.get());
    }
    EXPECT_EQ(50u, ids.size());
}

TEST_F(StoreTest, GivenIdentifierIsUsedAndNotWrittenBack)
{
    Bstr name = bstr(L"item");
    BSTR given = name.get();
    ComPtr<IUnknown> element;
    ASSERT_EQ(S_OK, store->createElement(&given, &element));
    EXPECT_EQ(name.get(), given);
    EXPECT_EQ(L"item", idOf(store.Get(), element.Get()));
    EXPECT_EQ(identityOf(element.Get()), element.Get());
}

TEST_F(StoreTest, NamesThatAreNoXmlNamesAreRefused)
{
    const wchar_t* names[] = {L"9lives", L"two words", L"a<b", L"-x", L"a/b", L"a\"b"};
    for (const wchar_t* text : names) {
        Bstr name = bstr(text);
        BSTR given = name.get();
        IUnknown* element = kSentinel;
        EXPECT_EQ(E_FAIL, store->createElement(&given, &element)) << narrow(text);
        EXPECT_EQ(name.get(), given);
        EXPECT_EQ(kSentinel, element);
    }
    EXPECT_EQ(L"", topLevelNames(store.Get()));
    addChild(store.Get(), nullptr, L"fine");
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

TEST_F(StoreTest, CreateWithoutHandleLeavesNothingBehind)
{
    Bstr name = bstr(L"item");
    BSTR given = name.get();
    EXPECT_EQ(S_OK, store->createElement(&given, nullptr));
    EXPECT_EQ(L"", topLevelNames(store.Get()));
}

TEST_F(ElementEventTest, CreateIsSilentAndAddSavesThenAnnounces)
{
    ComPtr<IUnknown> element;
    BSTR generated = nullptr;
    ASSERT_EQ(S_OK, store->createElement(&generated, &element));
    Bstr id(generated);
    EXPECT_TRUE(sink->events.empty());
    EXPECT_FALSE(fileExists(debugFile));

    // A null parent on a store without root builds the root silently, then attaches.
    ASSERT_EQ(S_OK, store->addElement(nullptr, element.Get()));
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
    ASSERT_EQ(1u, sink->events.size());
    EXPECT_EQ(L"created root/" + std::wstring(id.get()), sink->events[0]);
    EXPECT_NE(std::string::npos, fileDuringEvent.find(narrow(id.get()))) << "saved before the event";
    EXPECT_EQ(L"root", nodeName(sink->lastParent.Get()));
    EXPECT_EQ(id.get(), nodeName(sink->lastElement.Get()));

    // The enumeration names it by its generated identifier.
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    Bstr enumerated;
    ASSERT_EQ(S_OK, store->getNextElement(enumeration.Get(), enumerated.put(), nullptr));
    EXPECT_STREQ(id.get(), enumerated.get());
}

TEST_F(ElementEventTest, AddingAnAttachedElementMovesItAndAnnouncesAgain)
{
    ComPtr<IUnknown> a = addChild(store.Get(), nullptr, L"a");
    ComPtr<IUnknown> b = addChild(store.Get(), nullptr, L"b");
    ComPtr<IUnknown> item = addChild(store.Get(), a.Get(), L"item");
    ASSERT_EQ(S_OK, store->addElement(b.Get(), item.Get()));

    const std::vector<std::wstring> expected = {L"created root/a", L"created root/b", L"created a/item",
                                                L"created b/item"};
    EXPECT_EQ(expected, sink->events);
    std::wstring xml = xmlOf(store.Get());
    xml.erase(std::remove_if(xml.begin(), xml.end(), iswspace), xml.end());
    EXPECT_NE(std::wstring::npos, xml.find(L"<root><a/><b><item/></b></root>")) << narrow(xml);
}

TEST_F(ElementEventTest, AddingUnderItselfOrADescendantFailsSilently)
{
    ComPtr<IUnknown> a = addChild(store.Get(), nullptr, L"a");
    ComPtr<IUnknown> child = addChild(store.Get(), a.Get(), L"child");
    ComPtr<IUnknown> grandchild = addChild(store.Get(), child.Get(), L"grandchild");
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    const std::wstring before = xmlOf(store.Get());
    sink->events.clear();
    ASSERT_TRUE(DeleteFileW(debugFile.c_str()));

    const struct {
        const char* what;
        IUnknown* parent;
        IUnknown* element;
    } cases[] = {
        {"under itself", a.Get(), a.Get()},
        {"under its child", child.Get(), a.Get()},
        {"under its grandchild", grandchild.Get(), a.Get()},
        {"the root under the root", nullptr, root.Get()},
        {"the root under an element", grandchild.Get(), root.Get()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(E_FAIL, store->addElement(c.parent, c.element)) << c.what;
    EXPECT_TRUE(sink->events.empty());
    EXPECT_FALSE(fileExists(debugFile));
    EXPECT_EQ(before, xmlOf(store.Get()));
}

TEST_F(StoreTest, AddRefusesHandlesThatAreNoNodes)
{
    ComPtr<IUnknown> foreign = foreignObject();
    Bstr name = bstr(L"item");
    BSTR given = name.get();
    ComPtr<IUnknown> element;
    ASSERT_EQ(S_OK, store->createElement(&given, &element));
    EXPECT_EQ(E_INVALIDARG, store->addElement(nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, store->addElement(nullptr, foreign.Get()));
    EXPECT_EQ(L"", topLevelNames(store.Get())) << "the element is checked before the root is built";
    EXPECT_EQ(E_INVALIDARG, store->addElement(foreign.Get(), element.Get()));

    ComPtr<IUnknown> parent = addChild(store.Get(), nullptr, L"parent");
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    EXPECT_EQ(E_INVALIDARG, store->addElement(enumeration.Get(), element.Get()));
    EXPECT_EQ(E_INVALIDARG, store->addElement(parent.Get(), enumeration.Get()));
}

TEST_F(StoreTest, NotifyOffAndDebugWithoutFileStillAttach)
{
    ASSERT_EQ(S_OK, store->setDebugMode(1, nullptr));
    auto sink = RecordingSink::create();
    ASSERT_EQ(S_OK, sink->advise(store.Get()));
    ASSERT_EQ(S_OK, store->setNotify(0));
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    EXPECT_TRUE(sink->events.empty());
    ComPtr<IUnknown> found;
    Bstr id = bstr(L"item");
    EXPECT_EQ(S_OK, store->getElement(nullptr, id.get(), &found));
}

TEST_F(StoreTest, GetElementFindsOnlyAttachedElements)
{
    Bstr name = bstr(L"item");
    BSTR given = name.get();
    ComPtr<IUnknown> element;
    ASSERT_EQ(S_OK, store->createElement(&given, &element));
    mark(store.Get(), element.Get(), L"created");

    IUnknown* found = kSentinel;
    EXPECT_EQ(E_FAIL, store->getElement(nullptr, name.get(), &found));
    EXPECT_EQ(kSentinel, found);
    ASSERT_EQ(S_OK, store->addElement(nullptr, element.Get()));
    ComPtr<IUnknown> attached;
    ASSERT_EQ(S_OK, store->getElement(nullptr, name.get(), &attached));
    EXPECT_EQ(L"created", attributeText(store.Get(), attached.Get(), L"mark"));
}

TEST_F(StoreTest, HandlesOfOneElementAreOnePointer)
{
    if (!domKeepsNodeIdentity())
        GTEST_SKIP() << "this DOM gives each retrieval of a node a new COM object";
    ComPtr<IUnknown> element = addChild(store.Get(), nullptr, L"item");
    Bstr name = bstr(L"item");
    ComPtr<IUnknown> found;
    ASSERT_EQ(S_OK, store->getElement(nullptr, name.get(), &found));
    EXPECT_EQ(element.Get(), found.Get());
}

TEST_F(StoreTest, GetElementSearchesBelowTheContextInDocumentOrder)
{
    // root > a > twin(1), root > twin(2) > inner, root > b > twin(3).
    ComPtr<IUnknown> a = addChild(store.Get(), nullptr, L"a");
    mark(store.Get(), addChild(store.Get(), a.Get(), L"twin").Get(), L"1");
    ComPtr<IUnknown> second = addChild(store.Get(), nullptr, L"twin");
    mark(store.Get(), second.Get(), L"2");
    addChild(store.Get(), second.Get(), L"inner");
    ComPtr<IUnknown> b = addChild(store.Get(), nullptr, L"b");
    mark(store.Get(), addChild(store.Get(), b.Get(), L"twin").Get(), L"3");

    struct Case {
        const char* what;
        IUnknown* context;
        const wchar_t* id;
        const wchar_t* expected; // the found element's mark, its name when unmarked, or null for E_FAIL
    };
    const Case cases[] = {
        {"first in document order, not the shallowest", nullptr, L"twin", L"1"},
        {"only within the context", b.Get(), L"twin", L"3"},
        {"not outside the context", b.Get(), L"inner", nullptr},
        {"never the context itself", second.Get(), L"twin", nullptr},
        {"never the root itself", nullptr, L"root", nullptr},
        {"null identifier: first descendant element", nullptr, nullptr, L"a"},
        {"empty identifier", nullptr, L"", nullptr},
        {"query syntax in the identifier", nullptr, L"twin[2]", nullptr},
        {"identifier the DOM cannot evaluate", nullptr, L"9lives", nullptr},
        {"incomplete query syntax", nullptr, L"a/", nullptr},
    };
    for (const Case& c : cases) {
        Bstr id = bstr(c.id);
        IUnknown* found = kSentinel;
        const HRESULT hr = store->getElement(c.context, c.id ? id.get() : nullptr, &found);
        if (!c.expected) {
            EXPECT_EQ(E_FAIL, hr) << c.what;
            EXPECT_EQ(kSentinel, found) << c.what;
            continue;
        }
        ASSERT_EQ(S_OK, hr) << c.what;
        ComPtr<IUnknown> element;
        framework::adopt(element, found);
        const std::wstring markText = attributeText(store.Get(), element.Get(), L"mark");
        EXPECT_EQ(c.expected, markText == L"(absent)" ? nodeName(element.Get()) : markText) << c.what;
    }

    // A descendant that carries the root's name is found.
    addChild(store.Get(), b.Get(), L"root");
    Bstr rootName = bstr(L"root");
    ComPtr<IUnknown> namesake;
    ASSERT_EQ(S_OK, store->getElement(nullptr, rootName.get(), &namesake));
    EXPECT_EQ(L"(absent)", attributeText(store.Get(), namesake.Get(), L"mark"));
}

TEST_F(StoreTest, GetElementChecksItsArguments)
{
    Bstr id = bstr(L"x");
    EXPECT_EQ(E_POINTER, store->getElement(nullptr, id.get(), nullptr));
    EXPECT_EQ(L"", topLevelNames(store.Get()));
    IUnknown* found = kSentinel;
    EXPECT_EQ(E_INVALIDARG, store->getElement(foreignObject().Get(), id.get(), &found));
    EXPECT_EQ(kSentinel, found);
}

TEST_F(StoreTest, GetElementIdNamesAnyNode)
{
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    EXPECT_EQ(L"root", idOf(store.Get(), root.Get()));

    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    mark(store.Get(), item.Get(), L"x");
    Bstr attributeQuery = bstr(L"@mark");
    ComPtr<IUnknown> attribute;
    ASSERT_EQ(S_OK, store->queryElement(item.Get(), attributeQuery.get(), &attribute));
    EXPECT_EQ(L"mark", idOf(store.Get(), attribute.Get()));
}

TEST_F(StoreTest, GetAndSetElementIdCheckTheirArguments)
{
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    ComPtr<IUnknown> foreign = foreignObject();
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    Bstr id = bstr(L"other");

    BSTR name = kStringSentinel;
    EXPECT_EQ(E_POINTER, store->getElementID(nullptr, &name));
    EXPECT_EQ(E_POINTER, store->getElementID(item.Get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, store->getElementID(foreign.Get(), &name));
    EXPECT_EQ(E_INVALIDARG, store->getElementID(enumeration.Get(), &name));
    EXPECT_EQ(kStringSentinel, name);

    EXPECT_EQ(E_POINTER, store->setElementID(nullptr, id.get()));
    EXPECT_EQ(E_POINTER, store->setElementID(item.Get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, store->setElementID(foreign.Get(), id.get()));
    EXPECT_EQ(E_INVALIDARG, store->setElementID(enumeration.Get(), id.get()));
}

TEST_F(ElementEventTest, SetElementIdAcceptsAndChangesNothing)
{
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    sink->events.clear();
    ASSERT_TRUE(DeleteFileW(debugFile.c_str()));
    Bstr id = bstr(L"renamed");
    EXPECT_EQ(S_OK, store->setElementID(item.Get(), id.get()));
    EXPECT_EQ(L"item", idOf(store.Get(), item.Get()));
    EXPECT_TRUE(sink->events.empty());
    EXPECT_FALSE(fileExists(debugFile));
}

} // namespace
} // namespace tarnwick_test
