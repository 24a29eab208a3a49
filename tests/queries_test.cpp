// Queries and enumeration: the context rule, the default query, empty selections,
// stepping through a node list, and the handles each operation refuses.
#include "support/element_helpers.h"
#include "support/recording_sink.h"

namespace tarnwick_test {
namespace {

// root > a > deep, root > b (with a text child) > c.
class QueryTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        a = addChild(store.Get(), nullptr, L"a");
        addChild(store.Get(), a.Get(), L"deep");
        b = addChild(store.Get(), nullptr, L"b");
        addChild(store.Get(), b.Get(), L"c");
        appendText(store.Get(), b.Get(), L"words");
    }

    // The names of every node an enumeration yields from here on.
    std::wstring drain(IUnknown* enumeration)
    {
        std::wstring names;
        Bstr id;
        ComPtr<IUnknown> element;
        while (store->getNextElement(enumeration, id.put(), element.ReleaseAndGetAddressOf()) == S_OK) {
            EXPECT_EQ(nodeName(element.Get()), std::wstring(id.get()));
            names += names.empty() ? L"" : L"|";
            names += id.get();
        }
        return names;
    }

    std::wstring enumerate(IUnknown* context, const wchar_t* query)
    {
        Bstr q = bstr(query);
        ComPtr<IUnknown> enumeration;
        if (store->enumElements(context, query ? q.get() : nullptr, &enumeration) != S_OK)
            return L"(failed)";
        return drain(enumeration.Get());
    }

    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
};

TEST_F(StoreTest, NullContextOnAStoreWithoutRootBuildsTheRootAndFindsNothing)
{
    IUnknown* found = kSentinel;
    EXPECT_EQ(E_FAIL, store->queryElement(nullptr, nullptr, &found));
    EXPECT_EQ(kSentinel, found);
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));

    ASSERT_EQ(S_OK, store->clear());
    IUnknown* enumeration = kSentinel;
    EXPECT_EQ(E_FAIL, store->enumElements(nullptr, nullptr, &enumeration));
    EXPECT_EQ(kSentinel, enumeration);
    EXPECT_EQ(L"xml|root", topLevelNames(store.Get()));
}

TEST_F(StoreTest, NullOutPointerIsRefusedBeforeTheRootIsBuilt)
{
    EXPECT_EQ(E_POINTER, store->queryElement(nullptr, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, store->enumElements(nullptr, nullptr, nullptr));
    EXPECT_EQ(L"", topLevelNames(store.Get()));
}

TEST_F(QueryTest, DefaultQuerySelectsTheElementChildrenOfTheContextOnly)
{
    ComPtr<IUnknown> first;
    ASSERT_EQ(S_OK, store->queryElement(nullptr, nullptr, &first));
    EXPECT_EQ(L"a", nodeName(first.Get()));
    EXPECT_EQ(identityOf(first.Get()), first.Get()) << "handles are the node's IUnknown";

    EXPECT_EQ(L"a|b", enumerate(nullptr, nullptr));
    // b's text child is no element child.
    EXPECT_EQ(L"c", enumerate(b.Get(), nullptr));
}

TEST_F(QueryTest, CallersQueryRunsRelativeToTheContext)
{
    struct Case {
        const wchar_t* query;
        bool fromB;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L".//*", false, L"a|deep|b|c"},
        {L".//c", false, L"c"},
        {L"*/*", false, L"deep|c"},
        {L"a | b", false, L"a|b"},
        {L"b/c", false, L"c"},
        {L"*[c]", false, L"b"},
        {L"..", true, L"root"},
        {L"text()", true, L"#text"},
        {L"./*", true, L"c"},
    };
    for (const Case& c : cases) {
        IUnknown* context = c.fromB ? b.Get() : nullptr;
        EXPECT_EQ(c.expected, enumerate(context, c.query)) << narrow(c.query);
        Bstr q = bstr(c.query);
        ComPtr<IUnknown> first;
        ASSERT_EQ(S_OK, store->queryElement(context, q.get(), &first)) << narrow(c.query);
        const std::wstring expected(c.expected);
        EXPECT_EQ(expected.substr(0, expected.find(L'|')), nodeName(first.Get())) << narrow(c.query);
    }
}

TEST_F(QueryTest, EmptySelectionsFailAndLeaveTheOutParameterAlone)
{
    Bstr nothing = bstr(L"missing");
    Bstr zeroLength = bstr(L"");
    ComPtr<IUnknown> deep;
    ASSERT_EQ(S_OK, store->queryElement(a.Get(), nullptr, &deep));
    const struct {
        const char* what;
        IUnknown* context;
        BSTR query;
    } cases[] = {
        {"no match", nullptr, nothing.get()},
        {"zero-length query", nullptr, zeroLength.get()},
        {"childless context", deep.Get(), nullptr},
    };
    for (const auto& c : cases) {
        IUnknown* found = kSentinel;
        IUnknown* enumeration = kSentinel;
        EXPECT_EQ(E_FAIL, store->queryElement(c.context, c.query, &found)) << c.what;
        EXPECT_EQ(E_FAIL, store->enumElements(c.context, c.query, &enumeration)) << c.what;
        EXPECT_EQ(kSentinel, found) << c.what;
        EXPECT_EQ(kSentinel, enumeration) << c.what;
    }
}

// Each of these crashed the process inside Wine's msxml3 when handed to the DOM.
TEST_F(QueryTest, IncompleteQueriesFailWithoutReachingTheDom)
{
    const wchar_t* queries[] = {
        L"",        L" ",       L".//",    L"//",    L"a//",     L"./",      L"..//",   L".// ",    L"b/",
        L"b//",     L"b///c",   L"///",    L"/ /",   L"[",       L"]",       L"@",      L"b/@",     L"@a/",
        L"b[",      L"b[1",     L"b[]",    L"*[",    L"b[c",     L"b[']",    L"'",      L"(b",      L"()",
        L"(.//)",   L"b|",      L".//|b",  L"b|.//", L"b|c|",    L"child::", L"/child::", L"b=",    L"b[@a=]",
        L"a or",    L"b and",   L"b $or$", L"$not$", L"count(",  L"count(b,)", L"f(,)", L"b!",       L"b[1 2]",
        L"b[c d]",  L"b/[1]",   L"b/(c)",  L".//9a", L".//a[",   L".//a/",   L"b c",    L"b:",      L"*b",
        L"b*",      L"1-",      L"--",     L"#",     L"b[c//]",  L"b[.//]",  L"b[./]",  L"././",    L"/./",
    };
    for (const wchar_t* query : queries) {
        Bstr q = bstr(query);
        IUnknown* found = kSentinel;
        IUnknown* enumeration = kSentinel;
        EXPECT_EQ(E_FAIL, store->queryElement(nullptr, q.get(), &found)) << narrow(query);
        EXPECT_EQ(E_FAIL, store->enumElements(b.Get(), q.get(), &enumeration)) << narrow(query);
        EXPECT_EQ(kSentinel, found);
        EXPECT_EQ(kSentinel, enumeration);
    }
}

// Syntax of XSL Patterns and XPath beyond the store's own patterns still reaches the DOM.
TEST_F(QueryTest, CompleteQueriesOfEitherSyntaxReachTheDom)
{
    const wchar_t* queries[] = {
        L"/",          L"/root",         L"//b",           L".",             L".//b[0]",       L"b[0]",
        L"*[@a]|b",    L"b[c $eq$ c]",   L"b[$not$ x]",    L"b[c and c]",    L"b[c or x]",     L"b[c='']",
        L"b[end()]",   L"b[c || x]",     L"(b)[0]",        L"(b)/c",         L"child::b",      L"b/node()",
        L"b[c && c]",  L"b[not(x)]",     L"b[c!=1]",       L"b[c>=1 or 1]",  L"b[count(c)=1]", L"b[1 > 0]",
        L"b[$any$ c]", L"b[c $ieq$ c]",
    };
    for (const wchar_t* query : queries) {
        Bstr q = bstr(query);
        ComPtr<IUnknown> found;
        EXPECT_EQ(S_OK, store->queryElement(nullptr, q.get(), &found)) << narrow(query);
    }
}

TEST_F(QueryTest, EnumerationOverThreeChildrenEndsAndResets)
{
    addChild(store.Get(), nullptr, L"third");
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    const wchar_t* expected[] = {L"a", L"b", L"third"};
    for (const wchar_t* name : expected) {
        Bstr id;
        ComPtr<IUnknown> element;
        ASSERT_EQ(S_OK, store->getNextElement(enumeration.Get(), id.put(), &element));
        EXPECT_STREQ(name, id.get());
        EXPECT_EQ(name, nodeName(element.Get()));
    }

    BSTR id = reinterpret_cast<BSTR>(0x1d);
    IUnknown* element = kSentinel;
    EXPECT_EQ(E_FAIL, store->getNextElement(enumeration.Get(), &id, &element));
    EXPECT_EQ(E_FAIL, store->getNextElement(enumeration.Get(), &id, &element));
    EXPECT_EQ(reinterpret_cast<BSTR>(0x1d), id);
    EXPECT_EQ(kSentinel, element);

    EXPECT_EQ(S_OK, store->resetEnum(enumeration.Get()));
    EXPECT_EQ(L"a|b|third", drain(enumeration.Get()));
}

TEST_F(QueryTest, StepWithBothOutPointersNullJustMovesOn)
{
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    EXPECT_EQ(S_OK, store->getNextElement(enumeration.Get(), nullptr, nullptr));
    EXPECT_EQ(L"b", drain(enumeration.Get()));
}

TEST_F(QueryTest, EachEnumerationKeepsItsOwnPosition)
{
    ComPtr<IUnknown> first;
    ComPtr<IUnknown> second;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &first));
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &second));
    ASSERT_EQ(S_OK, store->getNextElement(first.Get(), nullptr, nullptr));
    EXPECT_EQ(L"a|b", drain(second.Get()));
    EXPECT_EQ(L"b", drain(first.Get()));
}

TEST_F(QueryTest, EnumerationsWorkWithoutTheStoreThatMadeThem)
{
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    ComPtr<ITarnwick> other = newStore();
    Bstr id;
    ASSERT_EQ(S_OK, other->getNextElement(enumeration.Get(), id.put(), nullptr));
    EXPECT_STREQ(L"a", id.get());
    EXPECT_EQ(S_OK, other->resetEnum(enumeration.Get()));
    EXPECT_EQ(L"a|b", drain(enumeration.Get()));
}

TEST_F(QueryTest, HandlesOfTheWrongKindAreRefused)
{
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    ComPtr<IUnknown> foreign = foreignObject();

    // Contexts must be DOM nodes.
    for (IUnknown* context : {foreign.Get(), enumeration.Get()}) {
        IUnknown* found = kSentinel;
        IUnknown* list = kSentinel;
        EXPECT_EQ(E_INVALIDARG, store->queryElement(context, nullptr, &found));
        EXPECT_EQ(E_INVALIDARG, store->enumElements(context, nullptr, &list));
        EXPECT_EQ(kSentinel, found);
        EXPECT_EQ(kSentinel, list);
    }
    // Enumeration handles must be node lists.
    for (IUnknown* handle : {static_cast<IUnknown*>(nullptr), a.Get(), foreign.Get()}) {
        BSTR id = reinterpret_cast<BSTR>(0x1d);
        IUnknown* element = kSentinel;
        EXPECT_EQ(E_INVALIDARG, store->resetEnum(handle));
        EXPECT_EQ(E_INVALIDARG, store->getNextElement(handle, &id, &element));
        EXPECT_EQ(reinterpret_cast<BSTR>(0x1d), id);
        EXPECT_EQ(kSentinel, element);
    }
    // The enumeration was not disturbed.
    EXPECT_EQ(L"a|b", drain(enumeration.Get()));
}

TEST_F(QueryTest, AnyNodeServesAsContext)
{
    // A text node and a detached element both take queries.
    ComPtr<IUnknown> text;
    Bstr textQuery = bstr(L"text()");
    ASSERT_EQ(S_OK, store->queryElement(b.Get(), textQuery.get(), &text));
    Bstr self = bstr(L".");
    ComPtr<IUnknown> same;
    ASSERT_EQ(S_OK, store->queryElement(text.Get(), self.get(), &same));
    EXPECT_EQ(L"#text", nodeName(same.Get()));

    ASSERT_EQ(S_OK, store->deleteElement(a.Get()));
    EXPECT_EQ(L"deep", enumerate(a.Get(), nullptr));
    EXPECT_EQ(L"(failed)", enumerate(nullptr, L".//deep"));
}

} // namespace
} // namespace tarnwick_test
