// The store's root element: built on first need, re-read after a load, handed out.
#include "store/tarnwick.h"

#include "store/dom.h"

using framework::Bstr;
using framework::ComPtr;

bool ITarnwickImpl::buildRoot(const OLECHAR* name) noexcept
{
    // Any processing instruction in first place counts as the declaration.
    if (!dom::startsWithProcessingInstruction(m_pDoc.Get()) && FAILED(dom::appendDeclaration(m_pDoc.Get())))
        return false;

    Bstr rootName;
    ComPtr<IXMLDOMElement> element;
    if (FAILED(rootName.assign(name)) || FAILED(dom::createElement(m_pDoc.Get(), rootName.get(), &element)))
        return false;
    // The root is cached before it is attached; a failed attach leaves it cached.
    if (FAILED(element.As(&m_pRoot)))
        return false;
    return SUCCEEDED(dom::appendChild(m_pDoc.Get(), m_pRoot.Get())) &&
           SUCCEEDED(dom::setDocumentElement(m_pDoc.Get(), element.Get()));
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
    // A document without a document element leaves the root to be built on next need.
    dom::documentElement(m_pDoc.Get(), &m_pRoot);
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
