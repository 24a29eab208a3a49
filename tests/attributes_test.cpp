// Attributes: values of any type read back as text, the event carries the caller's
// VARIANT, and a failed set leaves the element, the file and the sinks untouched.
#include "support/element_helpers.h"
#include "support/recording_sink.h"
#include "support/watched_store.h"

namespace tarnwick_test {
namespace {

// An item under the root of a watched store.
class AttributeTest : public WatchedStoreTest {
protected:
    void SetUp() override
    {
        WatchedStoreTest::SetUp();
        item = addChild(store.Get(), nullptr, L"item");
        // The tests watch what comes after the element is in place.
        forgetSideEffects();
        fileDuringEvent.clear();
    }

    // Passes the store a bitwise copy of value, so the sink's copy can be compared with it.
    HRESULT set(const wchar_t* name, const Variant& value)
    {
        Bstr n = bstr(name);
        VARIANT passed = value.get();
        return store->setAttribute(item.Get(), name ? n.get() : nullptr, &passed);
    }

    ComPtr<IUnknown> item;
};

TEST_F(AttributeTest, ValuesOfAnyTypeReadBackAsText)
{
    const struct {
        const wchar_t* name;
        Variant value;
        const wchar_t* expected;
    } cases[] = {
        {L"count", Variant(42), L"42"},
        {L"negative", Variant(-7), L"-7"},
        {L"big", Variant(1234567890123LL), L"1234567890123"},
        {L"flag", Variant(true), L"-1"}, // OLE Automation's text for VARIANT_TRUE, which the DOM uses
        {L"label", Variant(L"plain words"), L"plain words"},
        {L"empty", Variant(Bstr()), L""}, // a null BSTR is the empty string
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, set(c.name, c.value)) << narrow(c.name);
        Bstr name = bstr(c.name);
        Variant read;
        ASSERT_EQ(S_OK, store->getAttribute(item.Get(), name.get(), read.put())) << narrow(c.name);
        ASSERT_EQ(VT_BSTR, V_VT(&read.get())) << narrow(c.name);
        EXPECT_STREQ(c.expected, V_BSTR(&read.get()) ? V_BSTR(&read.get()) : L"") << narrow(c.name);

        // The sink got the caller's VARIANT itself: its type, and for text the very same string.
        EXPECT_EQ(V_VT(&c.value.get()), V_VT(&sink->lastValue)) << narrow(c.name);
        if (V_VT(&c.value.get()) == VT_BSTR) {
            EXPECT_EQ(V_BSTR(&c.value.get()), V_BSTR(&sink->lastValue)) << narrow(c.name);
        }
    }
}

TEST_F(AttributeTest, EventCarriesTheCallersNameAndElementAfterTheSave)
{
    Bstr name = bstr(L"size");
    Variant value(L"large");
    VARIANT& v = value.get();
    const BSTR original = V_BSTR(&v);
    ASSERT_EQ(S_OK, store->setAttribute(item.Get(), name.get(), &v));
    ASSERT_EQ(1u, sink->events.size());
    EXPECT_EQ(L"changed item size=large (VT 8)", sink->events.back());
    EXPECT_EQ(name.get(), sink->lastAttrName);
    EXPECT_EQ(L"item", nodeName(sink->lastElement.Get()));
    EXPECT_NE(std::string::npos, fileDuringEvent.find("size=\"large\"")) << "saved before the event";
    // The caller's VARIANT is not cleared.
    EXPECT_EQ(VT_BSTR, V_VT(&v));
    EXPECT_EQ(original, V_BSTR(&v));
}

TEST_F(AttributeTest, SinkThatReadsBackSeesTheNewValue)
{
    ASSERT_EQ(S_OK, set(L"size", Variant(1)));
    std::wstring seen;
    sink->onEvent = [&](const std::wstring&) {
        seen = attributeText(store.Get(), item.Get(), L"size");
        return S_OK;
    };
    ASSERT_EQ(S_OK, set(L"size", Variant(2)));
    EXPECT_EQ(L"2", seen);
}

TEST_F(AttributeTest, SettingAgainChangesTheSameAttributeInPlace)
{
    ASSERT_EQ(S_OK, set(L"first", Variant(1)));
    ASSERT_EQ(S_OK, set(L"second", Variant(2)));
    ASSERT_EQ(S_OK, set(L"third", Variant(3)));
    ASSERT_EQ(S_OK, set(L"second", Variant(22)));

    const std::wstring xml = xmlOf(store.Get());
    EXPECT_EQ(1u, occurrences(xml, L"second=")) << narrow(xml);
    EXPECT_NE(std::wstring::npos, xml.find(L"<item first=\"1\" second=\"22\" third=\"3\"")) << narrow(xml);
    EXPECT_EQ(4u, sink->events.size());
}

TEST_F(AttributeTest, NamesThatAreNoXmlNamesChangeNothing)
{
    const std::wstring before = xmlOf(store.Get());
    forgetSideEffects();
    const wchar_t* names[] = {L"9a", L"a b", L"a=b", L"", nullptr};
    for (const wchar_t* name : names)
        EXPECT_EQ(E_FAIL, set(name, Variant(1))) << (name ? narrow(name) : "(null)");
    expectSilence("refused names");
    EXPECT_EQ(before, xmlOf(store.Get()));
    EXPECT_EQ(S_OK, loadsBack(store.Get()));
}

// A value the DOM cannot turn into text: the set fails and the element stays exactly as
// it was, also when the attribute is new (no empty attribute is left behind).
TEST_F(AttributeTest, RefusedValueLeavesTheElementAsItWas)
{
    ASSERT_EQ(S_OK, set(L"kept", Variant(5)));
    const std::wstring before = xmlOf(store.Get());
    forgetSideEffects();

    const Variant refusedValues[] = {Variant(foreignObject().Get()), Variant::null()};
    for (const Variant& refused : refusedValues) {
        EXPECT_EQ(E_FAIL, set(L"fresh", refused)) << "VT " << V_VT(&refused.get());
        EXPECT_EQ(E_FAIL, set(L"kept", refused)) << "VT " << V_VT(&refused.get());
    }
    expectSilence("refused values");
    EXPECT_EQ(L"(absent)", attributeText(store.Get(), item.Get(), L"fresh"));
    EXPECT_EQ(L"5", attributeText(store.Get(), item.Get(), L"kept"));
    EXPECT_EQ(before, xmlOf(store.Get()));
}

TEST_F(AttributeTest, NullValuePointerIsRefusedBeforeTheElementIsTouched)
{
    forgetSideEffects();
    Bstr name = bstr(L"size");
    EXPECT_EQ(E_POINTER, store->setAttribute(item.Get(), name.get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, store->setAttribute(nullptr, name.get(), nullptr));
    expectSilence("null value");
    EXPECT_EQ(L"(absent)", attributeText(store.Get(), item.Get(), L"size"));
}

TEST_F(AttributeTest, HandlesThatAreNoElementsAreRefused)
{
    ASSERT_EQ(S_OK, set(L"size", Variant(1)));
    Bstr textQuery = bstr(L"text()");
    Bstr attributeQuery = bstr(L"@size");
    ComPtr<IUnknown> parent;
    ASSERT_EQ(S_OK, store->getRootElement(&parent));
    appendText(store.Get(), item.Get(), L"words");
    ComPtr<IUnknown> text;
    ComPtr<IUnknown> attribute;
    ComPtr<IUnknown> enumeration;
    ASSERT_EQ(S_OK, store->queryElement(item.Get(), textQuery.get(), &text));
    ASSERT_EQ(S_OK, store->queryElement(item.Get(), attributeQuery.get(), &attribute));
    ASSERT_EQ(S_OK, store->enumElements(nullptr, nullptr, &enumeration));
    forgetSideEffects();

    ComPtr<IUnknown> foreign = foreignObject();
    const struct {
        const char* what;
        IUnknown* handle;
    } cases[] = {
        {"null", nullptr},
        {"text node", text.Get()},
        {"attribute node", attribute.Get()},
        {"enumeration", enumeration.Get()},
        {"foreign object", foreign.Get()},
    };
    Bstr name = bstr(L"size");
    for (const auto& c : cases) {
        Variant value(2);
        EXPECT_EQ(E_INVALIDARG, store->setAttribute(c.handle, name.get(), &value.get())) << c.what;
        Variant untouched(12345);
        EXPECT_EQ(E_INVALIDARG, store->getAttribute(c.handle, name.get(), &untouched.get())) << c.what;
        EXPECT_EQ(VT_I4, V_VT(&untouched.get())) << c.what;
        EXPECT_EQ(12345, V_I4(&untouched.get())) << c.what;
    }
    expectSilence("refused handles");
    EXPECT_EQ(L"1", attributeText(store.Get(), item.Get(), L"size"));
}

TEST_F(AttributeTest, GetAttributeFailuresLeaveTheCallersVariantAlone)
{
    Bstr missing = bstr(L"missing");
    Variant untouched(12345);
    EXPECT_EQ(E_FAIL, store->getAttribute(item.Get(), missing.get(), &untouched.get()));
    EXPECT_EQ(E_FAIL, store->getAttribute(item.Get(), nullptr, &untouched.get()));
    EXPECT_EQ(VT_I4, V_VT(&untouched.get()));
    EXPECT_EQ(12345, V_I4(&untouched.get()));
    EXPECT_EQ(E_POINTER, store->getAttribute(nullptr, missing.get(), nullptr));
    EXPECT_EQ(E_POINTER, store->getAttribute(item.Get(), missing.get(), nullptr));
}

TEST_F(AttributeTest, SwitchesDecideOnEventAndSave)
{
    ASSERT_EQ(S_OK, store->setNotify(0));
    forgetSideEffects();
    ASSERT_EQ(S_OK, set(L"quiet", Variant(1)));
    EXPECT_TRUE(sink->events.empty());
    EXPECT_NE(std::string::npos, readFile(debugFile).find("quiet=\"1\""));

    ASSERT_EQ(S_OK, store->setNotify(1));
    ASSERT_EQ(S_OK, store->setDebugMode(1, nullptr));
    forgetSideEffects();
    ASSERT_EQ(S_OK, set(L"unsaved", Variant(1)));
    EXPECT_EQ(1u, sink->events.size());
    EXPECT_FALSE(fileExists(debugFile));
}

} // namespace
} // namespace tarnwick_test
