#include "element_helpers.h"

namespace tarnwick_test {

ComPtr<IUnknown> addChild(ITarnwick* store, IUnknown* parent, const wchar_t* id)
{
    Bstr name = bstr(id);
    BSTR given = name.get();
    ComPtr<IUnknown> element;
    EXPECT_EQ(S_OK, store->createElement(&given, &element)) << narrow(id);
    EXPECT_EQ(S_OK, store->addElement(parent, element.Get())) << narrow(id);
    return element;
}

void appendText(ITarnwick* store, IUnknown* element, const wchar_t* content)
{
    ComPtr<IXMLDOMNode> node;
    ComPtr<IXMLDOMText> text;
    Bstr words = bstr(content);
    ASSERT_EQ(S_OK, element->QueryInterface(__uuidof(IXMLDOMNode), reinterpret_cast<void**>(node.GetAddressOf())));
    ASSERT_EQ(S_OK, documentOf(store)->createTextNode(words.get(), &text));
    ASSERT_EQ(S_OK, node->appendChild(text.Get(), nullptr));
}

HRESULT setAttribute(ITarnwick* store, IUnknown* element, const wchar_t* name, Variant value)
{
    Bstr attribute = bstr(name);
    return store->setAttribute(element, attribute.get(), &value.get());
}

std::wstring attributeText(ITarnwick* store, IUnknown* element, const wchar_t* name)
{
    Bstr attribute = bstr(name);
    Variant value;
    if (store->getAttribute(element, attribute.get(), value.put()) != S_OK)
        return L"(absent)";
    if (V_VT(&value.get()) != VT_BSTR)
        return L"(not text)";
    return V_BSTR(&value.get()) ? V_BSTR(&value.get()) : L"";
}

ComPtr<IUnknown> foreignObject()
{
    ComPtr<IStream> stream;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, stream.As(&unknown));
    return unknown;
}

HRESULT loadsBack(ITarnwick* store)
{
    const std::wstring path = tempFile(L"loads-back.xml");
    ComPtr<IPersistFile> file;
    HRESULT hr = store->QueryInterface(IID_PPV_ARGS(&file));
    if (FAILED(hr))
        return hr;
    hr = file->Save(path.c_str(), FALSE);
    if (FAILED(hr))
        return hr;
    ComPtr<ITarnwick> other = newStore();
    ComPtr<IPersistFile> otherFile;
    hr = other->QueryInterface(IID_PPV_ARGS(&otherFile));
    if (FAILED(hr))
        return hr;
    return otherFile->Load(path.c_str(), STGM_READ);
}

size_t occurrences(const std::wstring& text, const std::wstring& needle)
{
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

} // namespace tarnwick_test
