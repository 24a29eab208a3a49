// The DOM layer's guards: each case would crash the process or corrupt the saved
// document on a lax DOM if the guard were missing. What counts as a name or a
// complete query is the syntax unit's, tested on its own.
#include "store/dom.h"
#include "support/tarnwick_test.h"

namespace tarnwick_test {
namespace {

class DomTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, dom::createDocument(&doc)); }

    ComPtr<IXMLDOMNode> element(const wchar_t* name)
    {
        Bstr n = bstr(name);
        ComPtr<IXMLDOMNode> node;
        EXPECT_EQ(S_OK, dom::createElementNode(doc.Get(), n.get(), &node));
        return node;
    }

    // A fresh retrieval of the node's parent: a new COM object on some DOMs.
    ComPtr<IXMLDOMNode> parentOf(IXMLDOMNode* node)
    {
        ComPtr<IXMLDOMNode> parent;
        EXPECT_EQ(S_OK, node->get_parentNode(&parent));
        return parent;
    }

    ComPtr<IXMLDOMDocument> doc;
};

TEST_F(DomTest, RefusesNamesThatAreNoXmlNames)
{
    const wchar_t* bad[] = {L"9lives", L"two words", L""};
    for (const wchar_t* name : bad) {
        Bstr n = bstr(name);
        ComPtr<IXMLDOMNode> node;
        ComPtr<IXMLDOMElement> element;
        ComPtr<IXMLDOMAttribute> attribute;
        EXPECT_EQ(E_FAIL, dom::createElementNode(doc.Get(), n.get(), &node)) << narrow(name);
        EXPECT_EQ(E_FAIL, dom::createElement(doc.Get(), n.get(), &element)) << narrow(name);
        EXPECT_EQ(E_FAIL, dom::createAttribute(doc.Get(), n.get(), &attribute)) << narrow(name);
        EXPECT_FALSE(node);
        EXPECT_FALSE(element);
        EXPECT_FALSE(attribute);
    }
    ComPtr<IXMLDOMNode> node;
    EXPECT_EQ(E_FAIL, dom::createElementNode(doc.Get(), nullptr, &node));
}

TEST_F(DomTest, RefusesAppendUnderItself)
{
    ComPtr<IXMLDOMNode> a = element(L"a");
    EXPECT_EQ(E_FAIL, dom::appendChild(a.Get(), a.Get()));
    ComPtr<IXMLDOMNode> child;
    EXPECT_NE(S_OK, a->get_firstChild(&child));
}

TEST_F(DomTest, RefusesAppendUnderADescendant)
{
    // a > b > c, then try to put a under c, reached through fresh retrievals.
    ComPtr<IXMLDOMNode> a = element(L"a");
    ComPtr<IXMLDOMNode> b = element(L"b");
    ComPtr<IXMLDOMNode> c = element(L"c");
    ASSERT_EQ(S_OK, dom::appendChild(a.Get(), b.Get()));
    ASSERT_EQ(S_OK, dom::appendChild(b.Get(), c.Get()));
    ComPtr<IXMLDOMNode> cAgain;
    ASSERT_EQ(S_OK, b->get_firstChild(&cAgain));

    EXPECT_EQ(E_FAIL, dom::appendChild(cAgain.Get(), a.Get()));
    EXPECT_EQ(E_FAIL, dom::appendChild(c.Get(), a.Get()));
    EXPECT_EQ(E_FAIL, dom::appendChild(parentOf(c.Get()).Get(), a.Get()));
    EXPECT_EQ(E_FAIL, dom::appendChild(c.Get(), parentOf(c.Get()).Get()));

    // Nothing moved, and the probe left no trace on the element.
    ComPtr<IXMLDOMNode> aParent;
    EXPECT_NE(S_OK, a->get_parentNode(&aParent));
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, a->get_attributes(&attributes));
    LONG count = -1;
    ASSERT_EQ(S_OK, attributes->get_length(&count));
    EXPECT_EQ(0, count);
}

TEST_F(DomTest, AllowsAppendsThatMakeNoCycle)
{
    ComPtr<IXMLDOMNode> a = element(L"a");
    ComPtr<IXMLDOMNode> b = element(L"b");
    ComPtr<IXMLDOMNode> c = element(L"c");
    ASSERT_EQ(S_OK, dom::appendChild(a.Get(), b.Get()));
    ASSERT_EQ(S_OK, dom::appendChild(b.Get(), c.Get()));
    // Moving c up under a, and b's sibling under b, are fine.
    EXPECT_EQ(S_OK, dom::appendChild(a.Get(), c.Get()));
    ComPtr<IXMLDOMNode> d = element(L"d");
    ASSERT_EQ(S_OK, dom::appendChild(a.Get(), d.Get()));
    EXPECT_EQ(S_OK, dom::appendChild(b.Get(), d.Get()));
    Bstr xml;
    ASSERT_EQ(S_OK, a->get_xml(xml.put()));
    std::wstring text(xml.get());
    text.erase(std::remove_if(text.begin(), text.end(), iswspace), text.end());
    EXPECT_EQ(L"<a><b><d/></b><c/></a>", text);
}

struct QueryCase {
    const wchar_t* query;
};

TEST_F(DomTest, AnswersQueriesTheDomCannotEvaluateAsFailedSelections)
{
    ComPtr<IXMLDOMNode> a = element(L"a");
    ASSERT_EQ(S_OK, dom::appendChild(a.Get(), element(L"b").Get()));
    const QueryCase cases[] = {{L""}, {L".//"}, {L"//"}, {L"a//"}, {L".// "}, {L"  "}};
    for (const QueryCase& c : cases) {
        Bstr q = bstr(c.query);
        ComPtr<IXMLDOMNode> node;
        ComPtr<IXMLDOMNodeList> list;
        EXPECT_EQ(E_FAIL, dom::selectSingleNode(a.Get(), q.get(), &node)) << narrow(c.query);
        EXPECT_EQ(E_FAIL, dom::selectNodes(a.Get(), q.get(), &list)) << narrow(c.query);
    }
    ComPtr<IXMLDOMNode> node;
    EXPECT_EQ(E_FAIL, dom::selectSingleNode(a.Get(), nullptr, &node));
    Bstr good = bstr(L".//b");
    EXPECT_EQ(S_OK, dom::selectSingleNode(a.Get(), good.get(), &node));
}

} // namespace
} // namespace tarnwick_test
