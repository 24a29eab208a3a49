// The store's root element: built on first need, re-read after a load, handed out.
#include "store/tarnwick.h"

#include "store/dom.h"

using framework::Bstr;
using framework::ComPtr;

bool ITarnwickImpl::buildRoot(const OLECHAR* name) noexcept
{
    // Any processing instruction in first place counts as the declaration.
    ComPtr<IXMLDOMNode> first;
    ComPtr<IXMLDOMProcessingInstruction> leading;
    const bool declared = m_pDoc->get_firstChild(&first) == S_OK && first &&
                          SUCCEEDED(first.As(&leading));
    if (!declared) {
        Bstr target;
        Bstr data;
        ComPtr<IXMLDOMProcessingInstruction> declaration;
        if (FAILED(target.assign(L"xml")) || FAILED(data.assign(L"version=\"1.0\"")) ||
            FAILED(m_pDoc->createProcessingInstruction(target.get(), data.get(), &declaration)) || !declaration ||
            FAILED(m_pDoc->appendChild(declaration.Get(), nullptr)))
            return false;
    }

    Bstr rootName;
    ComPtr<IXMLDOMElement> element;
    if (FAILED(rootName.assign(name)) || FAILED(dom::createElement(m_pDoc.Get(), rootName.get(), &element)))
        return false;
    // The root is cached before it is attached; a failed attach leaves it cached.
    if (FAILED(element.As(&m_pRoot)))
        return false;
    return SUCCEEDED(m_pDoc->appendChild(m_pRoot.Get(), nullptr)) &&
           SUCCEEDED(m_pDoc->putref_documentElement(element.Get()));
}

IXMLDOMNode* ITarnwickImpl::ensureRoot() noexcept
{
    if (!m_pRoot && !buildRoot(L"root"))
        return nullptr;
    return m_pRoot.Get();
}

void ITarnwickImpl::reloadRoot() noexcept
{
    m_pRoot.Reset();
    ComPtr<IXMLDOMElement> element;
    // A document without a document element leaves the root to be built on next need.
    m_pDoc->get_documentElement(&element);
    if (element)
        element.As(&m_pRoot);
}

STDMETHODIMP ITarnwickImpl::getRootElement(IUnknown** phElem)
{
    if (!phElem)
        return E_POINTER;
    IXMLDOMNode* root = ensureRoot();
    if (!root)
        return E_FAIL;
    return dom::identity(root, phElem);
}
