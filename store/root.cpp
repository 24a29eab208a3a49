// The store's root element: built on first need, re-read after a load, standing for a
// null parent or context, handed out, and replaced by a new one.
#include "store/tarnwick.h"

#include "store/dom.h"
#include "store/failure.h"
#include "store/syntax.h"

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

HRESULT ITarnwickImpl::contextNode(IUnknown* handle, IXMLDOMNode** node) noexcept
{
    if (handle)
        return dom::asNode(handle, node);
    IXMLDOMNode* root = ensureRoot();
    if (!root)
        return E_FAIL;
    root->AddRef();
    *node = root;
    return S_OK;
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

STDMETHODIMP ITarnwickImpl::createRootElement(BSTR* name, IUnknown** ppelem)
{
    const bool given = name && *name && (*name)[0] != 0;
    // A name the new root cannot carry is refused before clear takes anything away.
    if (given && !syntax::isStorableElementName(*name, SysStringLen(*name)))
        return failure::notAnElementName(*name, SysStringLen(*name));

    // The sinks that clear calls may release the caller's last reference.
    const ComPtr<IUnknown> alive(controllingUnknown());
    // Through the object's own interface, as any client would clear; it always succeeds.
    static_cast<ITarnwick*>(this)->clear();
    if (!buildRoot(given ? *name : L"root"))
        return E_FAIL;

    // Both results are made before either is written, so a failure writes neither.
    ComPtr<IUnknown> handle;
    if (ppelem)
        FW_RETURN_IF_FAILED(dom::identity(m_pRoot.Get(), &handle));
    Bstr rootName;
    if (name && !given)
        FW_RETURN_IF_FAILED(dom::nodeName(m_pRoot.Get(), rootName));
    if (ppelem)
        *ppelem = handle.Detach();
    // An empty name is replaced by the one used; the old string is freed as for any in-and-out string.
    if (name && !given) {
        SysFreeString(*name);
        *name = rootName.release();
    }

    // The new root is announced by no event of its own; clear has announced the change.
    afterChange([] {});
    return S_OK;
}
