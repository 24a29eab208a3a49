// Input the store refuses because it could not write it and read it back, or because
// it would reach the DOM as something else than asked: each refusal changes nothing.
#include "support/element_helpers.h"
#include "support/recording_sink.h"
#include "support/watched_store.h"

#include <string>

namespace tarnwick_test {
namespace {

// The nodes a refused call is aimed at, in a small tree:
// <?xml?> <root> <a k="v"><b>words</b><c/></a> <!--note--> <?pi data?> </root>
struct Tree {
    ComPtr<IUnknown> document;
    ComPtr<IUnknown> declaration;
    ComPtr<IUnknown> root;
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> c;
    ComPtr<IUnknown> text;
    ComPtr<IUnknown> comment;
    ComPtr<IUnknown> instruction;
    ComPtr<IUnknown> loose; // made by the store, attached nowhere
};

Bstr counted(const wchar_t* text, UINT length)
{
    Bstr result;
    EXPECT_EQ(S_OK, result.assign(text, length));
    return result;
}

HRESULT addUnder(ITarnwick* store, IUnknown* parent, IUnknown* element)
{
    return store->addElement(parent, element);
}

HRESULT find(ITarnwick* store, const Bstr& id)
{
    ComPtr<IUnknown> found;
    return store->getElement(nullptr, id.get(), &found);
}

HRESULT newRoot(ITarnwick* store, const Bstr& name)
{
    BSTR given = name.get();
    ComPtr<IUnknown> root;
    const HRESULT hr = store->createRootElement(&given, &root);
    EXPECT_EQ(name.get(), given) << "a given name is not replaced";
    return hr;
}

HRESULT create(ITarnwick* store, const Bstr& id)
{
    BSTR given = id.get();
    IUnknown* const untouched = reinterpret_cast<IUnknown*>(0x5e17);
    IUnknown* handle = untouched;
    const HRESULT hr = store->createElement(&given, &handle);
    if (handle != untouched) {
        ADD_FAILURE() << "the handle was written";
        if (handle)
            handle->Release();
    }
    return hr;
}

HRESULT setText(ITarnwick* store, IUnknown* element, const Bstr& name, const Bstr& text)
{
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = text.get();
    return store->setAttribute(element, name.get(), &value);
}

HRESULT setTextByReference(ITarnwick* store, IUnknown* element, const Bstr& text)
{
    BSTR slot = text.get();
    VARIANT value;
    V_VT(&value) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&value) = &slot;
    Bstr name = bstr(L"k");
    return store->setAttribute(element, name.get(), &value);
}

HRESULT enumerate(ITarnwick* store, const wchar_t* query)
{
    Bstr text = bstr(query);
    ComPtr<IUnknown> list;
    return store->enumElements(nullptr, text.get(), &list);
}

struct Refusal {
    const char* name;
    HRESULT (*call)(ITarnwick* store, Tree& tree);
    HRESULT expected;
};

const Refusal kRefusals[] = {
    // Identifiers that are no element name never reach a query.
    {"FindPredicate", [](ITarnwick* s, Tree&) { return find(s, bstr(L"b[.]")); }, E_FAIL},
    {"FindNestedPredicate", [](ITarnwick* s, Tree&) { return find(s, bstr(L"a[b[.]]")); }, E_FAIL},
    {"FindParentStep", [](ITarnwick* s, Tree&) { return find(s, bstr(L"..")); }, E_FAIL},
    {"FindAttribute", [](ITarnwick* s, Tree&) { return find(s, bstr(L"@k")); }, E_FAIL},
    {"FindPath", [](ITarnwick* s, Tree&) { return find(s, bstr(L"a/b")); }, E_FAIL},
    {"FindNameCutByNul", [](ITarnwick* s, Tree&) { return find(s, counted(L"a\0x", 3)); }, E_FAIL},
    {"FindEmpty", [](ITarnwick* s, Tree&) { return find(s, bstr(L"")); }, E_FAIL},
    // A root name that is refused clears nothing.
    {"RootStartsWithDigit", [](ITarnwick* s, Tree&) { return newRoot(s, bstr(L"1a")); }, E_FAIL},
    {"RootWithSpace", [](ITarnwick* s, Tree&) { return newRoot(s, bstr(L"a b")); }, E_FAIL},
    {"RootLoneSurrogate", [](ITarnwick* s, Tree&) { return newRoot(s, bstr(L"a\xD800")); }, E_FAIL},
    {"RootNonCharacter", [](ITarnwick* s, Tree&) { return newRoot(s, bstr(L"a\xFFFE")); }, E_FAIL},
    {"RootControl", [](ITarnwick* s, Tree&) { return newRoot(s, bstr(L"a\x0001")); }, E_FAIL},
    {"RootCutByNul", [](ITarnwick* s, Tree&) { return newRoot(s, counted(L"r\0x", 3)); }, E_FAIL},
    {"RootPrefixed", [](ITarnwick* s, Tree&) { return newRoot(s, bstr(L"a:b")); }, E_FAIL},
    // Identifiers that would not read back.
    {"CreateCutByNul", [](ITarnwick* s, Tree&) { return create(s, counted(L"ab\0cd", 5)); }, E_FAIL},
    {"CreatePrefixed", [](ITarnwick* s, Tree&) { return create(s, bstr(L"a:b")); }, E_FAIL},
    // Only elements go under elements.
    {"AddUnderText", [](ITarnwick* s, Tree& t) { return addUnder(s, t.text.Get(), t.loose.Get()); }, E_FAIL},
    {"AddUnderComment", [](ITarnwick* s, Tree& t) { return addUnder(s, t.comment.Get(), t.loose.Get()); }, E_FAIL},
    {"AddUnderInstruction",
     [](ITarnwick* s, Tree& t) { return addUnder(s, t.instruction.Get(), t.loose.Get()); }, E_FAIL},
    {"AddUnderDocument", [](ITarnwick* s, Tree& t) { return addUnder(s, t.document.Get(), t.loose.Get()); },
     E_FAIL},
    {"AddDeclarationUnderRoot", [](ITarnwick* s, Tree& t) { return addUnder(s, nullptr, t.declaration.Get()); },
     E_FAIL},
    {"AddTextUnderElement", [](ITarnwick* s, Tree& t) { return addUnder(s, t.a.Get(), t.text.Get()); }, E_FAIL},
    {"AddChildlessUnderItself", [](ITarnwick* s, Tree& t) { return addUnder(s, t.c.Get(), t.c.Get()); }, E_FAIL},
    // Values and names a file cannot carry.
    {"ValueCutByNul", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"k"), counted(L"ab\0cd", 5)); },
     E_FAIL},
    {"ValueLoneHighSurrogate", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"k"), bstr(L"x\xD800")); },
     E_FAIL},
    {"ValueLoneLowSurrogate", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"n"), bstr(L"\xDC00x")); },
     E_FAIL},
    {"ValueControl", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"n"), bstr(L"\x0001")); }, E_FAIL},
    {"ValueFFFE", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"k"), bstr(L"\xFFFE")); }, E_FAIL},
    {"ValueFFFF", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"n"), bstr(L"\xFFFF")); }, E_FAIL},
    {"ValueByReference", [](ITarnwick* s, Tree& t) { return setTextByReference(s, t.a.Get(), bstr(L"x\x0001")); },
     E_FAIL},
    {"AttributePrefixed", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"a:b"), bstr(L"v")); },
     E_FAIL},
    {"AttributeNamespaceDeclaration",
     [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), bstr(L"xmlns"), bstr(L"urn:x")); }, E_FAIL},
    {"AttributeCutByNul", [](ITarnwick* s, Tree& t) { return setText(s, t.a.Get(), counted(L"n\0x", 3), bstr(L"v")); },
     E_FAIL},
    // An enumeration that would yield nothing is not handed out.
    {"EnumerateNamespaceAxis", [](ITarnwick* s, Tree&) { return enumerate(s, L"a/namespace::*"); }, E_FAIL},
};

class HardeningTest : public WatchedStoreTest, public ::testing::WithParamInterface<Refusal> {
protected:
    void SetUp() override
    {
        WatchedStoreTest::SetUp();
        ComPtr<IXMLDOMDocument> doc = documentOf(store.Get());
        ASSERT_EQ(S_OK, store->getRootElement(&tree.root));
        tree.a = addChild(store.Get(), nullptr, L"a");
        ASSERT_EQ(S_OK, setText(store.Get(), tree.a.Get(), bstr(L"k"), bstr(L"v")));
        ComPtr<IUnknown> b = addChild(store.Get(), tree.a.Get(), L"b");
        tree.c = addChild(store.Get(), tree.a.Get(), L"c");
        appendText(store.Get(), b.Get(), L"words");

        ComPtr<IXMLDOMNode> root;
        ComPtr<IXMLDOMNode> bNode;
        ComPtr<IXMLDOMNode> text;
        ComPtr<IXMLDOMNode> declaration;
        ASSERT_EQ(S_OK, tree.root.As(&root));
        ASSERT_EQ(S_OK, b.As(&bNode));
        ASSERT_EQ(S_OK, bNode->get_firstChild(&text));
        ASSERT_EQ(S_OK, doc->get_firstChild(&declaration));
        ASSERT_EQ(S_OK, text.As(&tree.text));
        ASSERT_EQ(S_OK, declaration.As(&tree.declaration));
        ASSERT_EQ(S_OK, doc.As(&tree.document));

        Bstr note = bstr(L"note");
        Bstr target = bstr(L"pi");
        Bstr data = bstr(L"data");
        ComPtr<IXMLDOMComment> comment;
        ComPtr<IXMLDOMProcessingInstruction> instruction;
        ASSERT_EQ(S_OK, doc->createComment(note.get(), &comment));
        ASSERT_EQ(S_OK, doc->createProcessingInstruction(target.get(), data.get(), &instruction));
        ASSERT_EQ(S_OK, root->appendChild(comment.Get(), nullptr));
        ASSERT_EQ(S_OK, root->appendChild(instruction.Get(), nullptr));
        ASSERT_EQ(S_OK, comment.As(&tree.comment));
        ASSERT_EQ(S_OK, instruction.As(&tree.instruction));

        Bstr loose = bstr(L"loose");
        BSTR id = loose.get();
        ASSERT_EQ(S_OK, store->createElement(&id, &tree.loose));
        ASSERT_EQ(S_OK, loadsBack(store.Get()));
        forgetSideEffects();
    }

    void TearDown() override
    {
        tree = Tree{};
        WatchedStoreTest::TearDown();
    }

    Tree tree;
};

TEST_P(HardeningTest, RefusedCallChangesNothing)
{
    const std::wstring before = xmlOf(store.Get());
    EXPECT_EQ(GetParam().expected, GetParam().call(store.Get(), tree));
    EXPECT_EQ(before, xmlOf(store.Get()));
    expectSilence(GetParam().name);
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

INSTANTIATE_TEST_SUITE_P(Refusals, HardeningTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

class AcceptanceTest : public WatchedStoreTest {};

// Nodes that another document owns, aimed at by a store that must not change them:
// those of a second store (watched as the first one is), of a plain DOMDocument that
// no store owns, and of a store already released (whose handles keep its document).
struct Foreign {
    ComPtr<IUnknown> ownLoose; // made by the calling store, attached nowhere
    ComPtr<IUnknown> document;
    ComPtr<IUnknown> root;
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> loose;
    ComPtr<IUnknown> plainElement;
    ComPtr<IUnknown> plainChild;
    ComPtr<IUnknown> releasedElement; // attached under its released store's root
    ComPtr<IUnknown> releasedLoose;
};

struct ForeignRefusal {
    const char* name;
    HRESULT (*call)(ITarnwick* store, Foreign& nodes);
};

HRESULT setAmount(ITarnwick* store, IUnknown* element)
{
    return setText(store, element, bstr(L"amount"), bstr(L"1250"));
}

const ForeignRefusal kForeignRefusals[] = {
    {"DeleteOthersElement", [](ITarnwick* s, Foreign& n) { return s->deleteElement(n.a.Get()); }},
    {"DeleteOthersRoot", [](ITarnwick* s, Foreign& n) { return s->deleteElement(n.root.Get()); }},
    {"DeleteOthersDocument", [](ITarnwick* s, Foreign& n) { return s->deleteElement(n.document.Get()); }},
    {"SetOnOthersElement", [](ITarnwick* s, Foreign& n) { return setAmount(s, n.a.Get()); }},
    {"SetOnOthersRoot", [](ITarnwick* s, Foreign& n) { return setAmount(s, n.root.Get()); }},
    {"SetOnOthersLoose", [](ITarnwick* s, Foreign& n) { return setAmount(s, n.loose.Get()); }},
    {"AddUnderOthersElement", [](ITarnwick* s, Foreign& n) { return s->addElement(n.a.Get(), n.ownLoose.Get()); }},
    {"AddUnderOthersRoot", [](ITarnwick* s, Foreign& n) { return s->addElement(n.root.Get(), n.ownLoose.Get()); }},
    {"AddUnderOthersDocument",
     [](ITarnwick* s, Foreign& n) { return s->addElement(n.document.Get(), n.ownLoose.Get()); }},
    {"AddOthersElement", [](ITarnwick* s, Foreign& n) { return s->addElement(nullptr, n.a.Get()); }},
    {"AddOthersLoose", [](ITarnwick* s, Foreign& n) { return s->addElement(nullptr, n.loose.Get()); }},
    {"AddOthersElementUnderOthers", [](ITarnwick* s, Foreign& n) { return s->addElement(n.root.Get(), n.loose.Get()); }},
    {"AddPlainElement", [](ITarnwick* s, Foreign& n) { return s->addElement(nullptr, n.plainChild.Get()); }},
    {"AddUnderPlainElement",
     [](ITarnwick* s, Foreign& n) { return s->addElement(n.plainElement.Get(), n.ownLoose.Get()); }},
    {"SetOnPlainElement", [](ITarnwick* s, Foreign& n) { return setAmount(s, n.plainElement.Get()); }},
    {"DeletePlainElement", [](ITarnwick* s, Foreign& n) { return s->deleteElement(n.plainChild.Get()); }},
    {"AddReleasedElement", [](ITarnwick* s, Foreign& n) { return s->addElement(nullptr, n.releasedElement.Get()); }},
    {"AddReleasedLoose", [](ITarnwick* s, Foreign& n) { return s->addElement(nullptr, n.releasedLoose.Get()); }},
    {"SetOnReleasedElement", [](ITarnwick* s, Foreign& n) { return setAmount(s, n.releasedElement.Get()); }},
    {"DeleteReleasedElement", [](ITarnwick* s, Foreign& n) { return s->deleteElement(n.releasedElement.Get()); }},
};

// The calling store is the watched one; the other store has a sink and a debug file of
// its own, the plain document <plain><child/></plain>.
class ForeignNodeTest : public WatchedStoreTest, public ::testing::WithParamInterface<ForeignRefusal> {
protected:
    void SetUp() override
    {
        WatchedStoreTest::SetUp();
        addChild(store.Get(), nullptr, L"mine");
        ASSERT_EQ(S_OK, store->createElement(nullptr, &nodes.ownLoose));

        other = newStore();
        otherSink = RecordingSink::create(L"other");
        ASSERT_EQ(S_OK, otherSink->advise(other.Get()));
        otherDebugFile = tempFile(L"other-debug.xml");
        Bstr file = bstr(otherDebugFile.c_str());
        ASSERT_EQ(S_OK, other->setDebugMode(1, file.get()));
        ASSERT_EQ(S_OK, other->getRootElement(&nodes.root));
        nodes.a = addChild(other.Get(), nullptr, L"a");
        ASSERT_EQ(S_OK, other->createElement(nullptr, &nodes.loose));
        ASSERT_EQ(S_OK, documentOf(other.Get()).As(&nodes.document));

        const CLSID clsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
        ASSERT_EQ(S_OK, CoCreateInstance(clsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&plain)));
        Bstr xml = bstr(L"<plain><child/></plain>");
        VARIANT_BOOL loaded = VARIANT_FALSE;
        ASSERT_EQ(S_OK, plain->loadXML(xml.get(), &loaded));
        ComPtr<IXMLDOMElement> plainRoot;
        ComPtr<IXMLDOMNode> plainChild;
        ASSERT_EQ(S_OK, plain->get_documentElement(&plainRoot));
        ASSERT_EQ(S_OK, plainRoot->get_firstChild(&plainChild));
        ASSERT_EQ(S_OK, plainRoot.As(&nodes.plainElement));
        ASSERT_EQ(S_OK, plainChild.As(&nodes.plainChild));

        // One store for each, so that each handle holds the last references to its document.
        ComPtr<ITarnwick> released = newStore();
        nodes.releasedElement = addChild(released.Get(), nullptr, L"gone");
        released = newStore();
        ASSERT_EQ(S_OK, released->createElement(nullptr, &nodes.releasedLoose));
        released.Reset();

        forgetSideEffects();
        otherSink->events.clear();
        DeleteFileW(otherDebugFile.c_str());
    }

    void TearDown() override
    {
        nodes = Foreign{};
        plain.Reset();
        other.Reset();
        otherSink.Reset();
        WatchedStoreTest::TearDown();
    }

    Foreign nodes;
    ComPtr<ITarnwick> other;
    ComPtr<RecordingSink> otherSink;
    std::wstring otherDebugFile;
    ComPtr<IXMLDOMDocument> plain;
};

std::wstring nodeXml(IUnknown* handle)
{
    ComPtr<IXMLDOMNode> node;
    Bstr xml;
    if (FAILED(handle->QueryInterface(IID_PPV_ARGS(&node))) || FAILED(node->get_xml(xml.put())) || !xml.get())
        return L"";
    return std::wstring(xml.get(), xml.length());
}

TEST_P(ForeignNodeTest, RefusedWithoutChangingEitherDocument)
{
    const std::wstring mine = xmlOf(store.Get());
    const std::wstring others = xmlOf(other.Get());
    const std::wstring plainXml = xmlOf(plain.Get());
    const std::wstring releasedXml = nodeXml(nodes.releasedElement.Get());
    EXPECT_EQ(E_INVALIDARG, GetParam().call(store.Get(), nodes));
    EXPECT_EQ(mine, xmlOf(store.Get()));
    EXPECT_EQ(others, xmlOf(other.Get()));
    EXPECT_EQ(plainXml, xmlOf(plain.Get()));
    EXPECT_EQ(releasedXml, nodeXml(nodes.releasedElement.Get()));
    expectSilence(GetParam().name);
    EXPECT_TRUE(otherSink->events.empty()) << GetParam().name;
    EXPECT_FALSE(fileExists(otherDebugFile)) << GetParam().name;
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

INSTANTIATE_TEST_SUITE_P(ForeignNodes, ForeignNodeTest, ::testing::ValuesIn(kForeignRefusals),
                         [](const ::testing::TestParamInfo<ForeignRefusal>& info) {
                             return std::string(info.param.name);
                         });

// Reading needs no ownership: another store's handles still serve as elements to read
// and as contexts to search, and the store's own nodes pass after the other's refusal.
TEST_F(ForeignNodeTest, ReadsThroughOtherDocumentsAndOwnNodesStillPass)
{
    ASSERT_EQ(S_OK, setAmount(other.Get(), nodes.a.Get()));
    otherSink->events.clear();
    EXPECT_EQ(L"1250", attributeText(store.Get(), nodes.a.Get(), L"amount"));
    Bstr id;
    EXPECT_EQ(S_OK, store->getElementID(nodes.a.Get(), id.put()));
    EXPECT_STREQ(L"a", id.get());
    ComPtr<IUnknown> found;
    Bstr a = bstr(L"a");
    EXPECT_EQ(S_OK, store->getElement(nodes.root.Get(), a.get(), &found));
    EXPECT_EQ(L"a", nodeName(found.Get()));
    EXPECT_EQ(S_OK, store->getElementID(nodes.plainChild.Get(), id.put()));
    EXPECT_STREQ(L"child", id.get());

    EXPECT_EQ(E_INVALIDARG, store->addElement(nullptr, nodes.a.Get()));
    EXPECT_EQ(S_OK, store->addElement(nullptr, nodes.ownLoose.Get()));
    EXPECT_EQ(S_OK, setAmount(store.Get(), nodes.ownLoose.Get()));
    EXPECT_EQ(S_OK, store->deleteElement(nodes.ownLoose.Get()));
    EXPECT_EQ(3u, sink->events.size());
    EXPECT_TRUE(otherSink->events.empty());
}

// A load gives the document new nodes: they are the store's own, the other's are not.
TEST_F(ForeignNodeTest, LoadedNodesAreTheStoresOwn)
{
    const std::wstring file = tempFile(L"loaded.xml");
    writeFile(file, "<?xml version=\"1.0\"?>\n<catalog><item/></catalog>\n");
    ComPtr<IPersistFile> persist;
    ASSERT_EQ(S_OK, store.As(&persist));
    ASSERT_EQ(S_OK, persist->Load(file.c_str(), STGM_READ));
    ComPtr<IUnknown> item;
    Bstr id = bstr(L"item");
    ASSERT_EQ(S_OK, store->getElement(nullptr, id.get(), &item));
    EXPECT_EQ(S_OK, setAmount(store.Get(), item.Get()));
    ComPtr<IUnknown> made;
    ASSERT_EQ(S_OK, store->createElement(nullptr, &made));
    EXPECT_EQ(S_OK, store->addElement(item.Get(), made.Get()));
    EXPECT_EQ(E_INVALIDARG, store->addElement(item.Get(), nodes.loose.Get()));
    EXPECT_EQ(S_OK, store->deleteElement(item.Get()));
    EXPECT_NE(std::wstring::npos, xmlOf(store.Get()).find(L"<catalog/>")) << narrow(xmlOf(store.Get()));
}

// What the checks must let through: names and text that do read back.
TEST_F(AcceptanceTest, StorableNamesAndTextReadBack)
{
    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    // Wine's msxml3 writes attributes of the xml namespace but does not find them by
    // their prefixed name afterwards; they are looked for in the saved text.
    EXPECT_EQ(S_OK, setText(store.Get(), item.Get(), bstr(L"xml:lang"), bstr(L"en")));
    EXPECT_EQ(S_OK, setText(store.Get(), item.Get(), bstr(L"xml:space"), bstr(L"preserve")));
    const std::wstring xml = xmlOf(store.Get());
    EXPECT_NE(std::wstring::npos, xml.find(L"xml:lang=\"en\"")) << narrow(xml);
    EXPECT_NE(std::wstring::npos, xml.find(L"xml:space=\"preserve\"")) << narrow(xml);
    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } rows[] = {
        {L"plain", L"tab\tline\ncarriage\r"},
        {L"pair", L"\xD83D\xDE00 and \xE000\xFFFD"},
        {L"empty", L""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(S_OK, setText(store.Get(), item.Get(), bstr(row.name), bstr(row.text))) << narrow(row.name);
        EXPECT_EQ(row.text, attributeText(store.Get(), item.Get(), row.name)) << narrow(row.name);
    }
    VARIANT number;
    V_VT(&number) = VT_I4;
    V_I4(&number) = -42;
    Bstr size = bstr(L"size");
    EXPECT_EQ(S_OK, store->setAttribute(item.Get(), size.get(), &number));
    EXPECT_EQ(L"-42", attributeText(store.Get(), item.Get(), L"size"));
    ComPtr<IUnknown> found;
    Bstr id = bstr(L"item");
    EXPECT_EQ(S_OK, store->getElement(nullptr, id.get(), &found));
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

TEST_F(AcceptanceTest, RefusedRootNameKeepsTheStoreAndAGoodOneReplacesIt)
{
    addChild(store.Get(), nullptr, L"item");
    forgetSideEffects();
    EXPECT_EQ(E_FAIL, newRoot(store.Get(), bstr(L"1a")));
    expectSilence("refused root name");
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));

    EXPECT_EQ(S_OK, newRoot(store.Get(), bstr(L"top")));
    EXPECT_EQ(L"xml|top", topLevelNames(store.Get()));
    ASSERT_EQ(1u, sink->events.size());
    EXPECT_EQ(L"deleteAll", sink->events[0]);
}

// A deleted root leaves the store as clear does: the next need builds a new root,
// and what is added after goes into the saved document.
TEST_F(AcceptanceTest, DeletedRootIsBuiltAgainOnNextNeed)
{
    ComPtr<IUnknown> root;
    ASSERT_EQ(S_OK, store->getRootElement(&root));
    addChild(store.Get(), nullptr, L"old");
    ASSERT_EQ(S_OK, store->deleteElement(root.Get()));
    EXPECT_EQ(L"xml", topLevelNames(store.Get()));
    forgetSideEffects();

    ComPtr<IUnknown> item = addChild(store.Get(), nullptr, L"item");
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
    ASSERT_EQ(1u, sink->events.size());
    EXPECT_EQ(L"created root/item", sink->events[0]);
    EXPECT_NE(std::string::npos, readFile(debugFile).find("<item")) << readFile(debugFile);
    ComPtr<IUnknown> found;
    Bstr id = bstr(L"item");
    EXPECT_EQ(S_OK, store->getElement(nullptr, id.get(), &found));
    Bstr old = bstr(L"old");
    EXPECT_EQ(E_FAIL, store->getElement(nullptr, old.get(), &found));
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

// A chain grows under its last element; the append of a childless element under a
// childless one still recognises the element itself.
TEST_F(AcceptanceTest, ChainGrowsAndRefusesOnlyTheElementItself)
{
    ComPtr<IUnknown> last;
    ASSERT_EQ(S_OK, store->getRootElement(&last));
    for (int depth = 0; depth < 50; ++depth)
        last = addChild(store.Get(), last.Get(), L"link");
    ComPtr<IUnknown> loose;
    ASSERT_EQ(S_OK, store->createElement(nullptr, &loose));
    EXPECT_EQ(E_FAIL, store->addElement(loose.Get(), loose.Get()));
    EXPECT_EQ(S_OK, store->addElement(last.Get(), loose.Get()));
    EXPECT_EQ(50u, occurrences(xmlOf(store.Get()), L"<link"));
}

} // namespace
} // namespace tarnwick_test
