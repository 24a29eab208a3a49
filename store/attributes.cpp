// Writing and reading one named attribute of an element. Values go in as the caller's
// VARIANT and come out as the DOM's text for them.
#include "store/tarnwick.h"

#include "store/dom.h"

using framework::ComPtr;

STDMETHODIMP ITarnwickImpl::setAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue)
{
    ComPtr<IXMLDOMElement> element;
    FW_RETURN_IF_FAILED(dom::asElement(hElem, &element));
    if (!attrValue)
        return E_POINTER;

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
