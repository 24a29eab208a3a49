// Writing and reading one named attribute of an element. Values go in as the caller's
// VARIANT and come out as the DOM's text for them.
#include "store/tarnwick.h"

#include "store/dom.h"
#include "store/failure.h"
#include "store/syntax.h"

using framework::ComPtr;

namespace {

// True unless the value's text holds a character that an XML file cannot carry (a NUL,
// another control character, a lone surrogate, U+FFFE or U+FFFF), which the DOM would
// cut, replace or write into a file that does not load. Numbers, truth values and
// dates always give such text; strings are looked at directly; any other type by the
// text it converts to. A value with no text form is left to the DOM to refuse.
bool isStorableValue(VARIANT& value) noexcept
{
    switch (V_VT(&value)) {
    case VT_BSTR:
        return syntax::isXmlText(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_ERROR:
        return true;
    default:
        break;
    }
    framework::Variant text;
    if (FAILED(VariantChangeType(text.put(), &value, 0, VT_BSTR)))
        return true;
    return syntax::isXmlText(V_BSTR(&text.get()), SysStringLen(V_BSTR(&text.get())));
}

} // namespace

STDMETHODIMP ITarnwickImpl::setAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue)
{
    // Another document's element changes only through its own store.
    ComPtr<IXMLDOMElement> element;
    FW_RETURN_IF_FAILED(dom::asOwnElement(m_pDoc.Get(), hElem, &element));
    if (!attrValue)
        return E_POINTER;
    // Only what reads back from a saved file under the same name and with the same text is written.
    if (!syntax::isStorableAttributeName(attrname, SysStringLen(attrname)))
        return failure::notAnAttributeName(attrname, SysStringLen(attrname));
    if (!isStorableValue(*attrValue))
        return failure::refuse(E_FAIL, [attrname] {
            return L"The value for attribute " + failure::quoted(attrname) +
                   L" holds characters that an XML file cannot carry.";
        });

    ComPtr<IXMLDOMAttribute> attribute;
    if (SUCCEEDED(dom::getAttributeNode(element.Get(), attrname, &attribute))) {
        // Changed in place, the attribute keeps its place among the element's attributes.
        if (FAILED(dom::putNodeValue(attribute.Get(), *attrValue)))
            return E_FAIL;
    } else {
        // A new attribute is attached only once it holds the value, so that a value the
        // DOM refuses leaves the element as it was.
        if (FAILED(dom::createAttribute(m_pDoc.Get(), attrname, &attribute)) ||
            FAILED(dom::putNodeValue(attribute.Get(), *attrValue)) ||
            FAILED(dom::setAttributeNode(element.Get(), attribute.Get())))
            return E_FAIL;
    }

    // Sinks see the caller's VARIANT as given, not the text the DOM stored.
    afterChange([&] { Fire_onElementChanged(element.Get(), attrname, *attrValue); });
    return S_OK;
}

STDMETHODIMP ITarnwickImpl::getAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue)
{
    if (!attrValue)
        return E_POINTER;
    ComPtr<IXMLDOMElement> element;
    FW_RETURN_IF_FAILED(dom::asElement(hElem, &element));

    // A missing attribute is an error, not an empty value.
    ComPtr<IXMLDOMAttribute> attribute;
    if (FAILED(dom::getAttributeNode(element.Get(), attrname, &attribute)))
        return E_FAIL;
    return dom::getNodeValue(attribute.Get(), attrValue);
}
