// What each failure means to a client, in plain words. A layer that knows more (the
// DOM layer naming a refused name, the loader quoting the parser) notes its reason;
// otherwise the method's own description, built from its inputs, is used.
#include "store/error_reporting.h"

#include "framework/error_info.h"
#include "store/dom.h"
#include "store/failure.h"

#include <cstdio>
#include <string>

using framework::Bstr;
using framework::ComPtr;

namespace {

const wchar_t kSource[] = L"Orvane.Fenwright.Tarnwick";

using failure::quoted;

// The element a parent or context handle names: the root for a null handle.
std::wstring contextName(IUnknown* handle)
{
    if (!handle)
        return L"the root";
    ComPtr<IXMLDOMNode> node;
    Bstr name;
    if (FAILED(dom::asNode(handle, &node)) || FAILED(dom::nodeName(node.Get(), name)))
        return L"the given node";
    return quoted(name.get());
}

// Failures every method can have, said the same way everywhere.
std::wstring common(const wchar_t* method, HRESULT hr)
{
    switch (hr) {
    case E_POINTER:
        return std::wstring(method) + L": a required pointer argument is null.";
    case E_INVALIDARG:
        return std::wstring(method) + L": the handle is null or not one this method takes.";
    case E_OUTOFMEMORY:
        return std::wstring(method) + L": out of memory.";
    case E_NOTIMPL:
        return std::wstring(method) + L" is not implemented by Tarnwick.";
    default: {
        wchar_t text[96];
        std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%ls failed (0x%08lX).", method,
                      static_cast<unsigned long>(hr));
        return text;
    }
    }
}

// Reports the outcome of a method: on failure the noted reason, else the method's
// own description for E_FAIL, else the common one. It never touches the object,
// which a sink may have released during the call.
template <class Describe>
HRESULT reported(REFIID iid, const wchar_t* method, HRESULT hr, Describe&& describeFailure) noexcept
{
    if (SUCCEEDED(hr)) {
        // Every refusal that notes a reason fails its method, which takes the note, so
        // a call that succeeds has none to drop.
        framework::clearErrorInfo();
        return hr;
    }
    try {
        std::wstring text = framework::takeFailureNote(hr);
        if (text.empty() && hr == E_FAIL)
            text = describeFailure();
        if (text.empty())
            text = common(method, hr);
        framework::setErrorInfo(iid, kSource, text.c_str());
    } catch (...) {
        // Out of memory for the words: the error object says only where it came from.
        framework::setErrorInfo(iid, kSource, L"");
    }
    return hr;
}

// What a query that failed was asked: a null query asks for the child elements.
std::wstring nothingSelected(BSTR query, IUnknown* context)
{
    return L"The query " + (query ? quoted(query) : std::wstring(L"for the child elements")) +
           L" selects nothing below " + contextName(context) + L", or is not a query.";
}

std::wstring none()
{
    return std::wstring();
}

} // namespace

STDMETHODIMP CTarnwick::getRootElement(IUnknown** phElem)
{
    return reported(IID_ITarnwick, L"getRootElement", ITarnwickImpl::getRootElement(phElem),
                    [] { return std::wstring(L"The root element could not be made."); });
}

STDMETHODIMP CTarnwick::createElement(BSTR* pid, IUnknown** pHandle)
{
    return reported(IID_ITarnwick, L"createElement", ITarnwickImpl::createElement(pid, pHandle),
                    [] { return std::wstring(L"The new element could not be made."); });
}

STDMETHODIMP CTarnwick::getElement(IUnknown* parent, BSTR objectID, IUnknown** ppobj)
{
    return reported(IID_ITarnwick, L"getElement", ITarnwickImpl::getElement(parent, objectID, ppobj), [&] {
        return L"No element named " + quoted(objectID) + L" below " + contextName(parent) + L".";
    });
}

STDMETHODIMP CTarnwick::deleteElement(IUnknown* hElem)
{
    return reported(IID_ITarnwick, L"deleteElement", ITarnwickImpl::deleteElement(hElem), [] {
        return std::wstring(L"The element is not in the store's tree, so there is nothing to delete it from.");
    });
}

STDMETHODIMP CTarnwick::setAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue)
{
    return reported(IID_ITarnwick, L"setAttribute", ITarnwickImpl::setAttribute(hElem, attrname, attrValue),
                    [&] { return L"Attribute " + quoted(attrname) + L" could not be set to that value."; });
}

STDMETHODIMP CTarnwick::getAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue)
{
    return reported(IID_ITarnwick, L"getAttribute", ITarnwickImpl::getAttribute(hElem, attrname, attrValue),
                    [&] { return L"The element has no attribute named " + quoted(attrname) + L"."; });
}

STDMETHODIMP CTarnwick::enumElements(IUnknown* hElem, BSTR query, IUnknown** pEnumHandle)
{
    return reported(IID_ITarnwick, L"enumElements", ITarnwickImpl::enumElements(hElem, query, pEnumHandle),
                    [&] { return nothingSelected(query, hElem); });
}

STDMETHODIMP CTarnwick::resetEnum(IUnknown* enumHandle)
{
    return reported(IID_ITarnwick, L"resetEnum", ITarnwickImpl::resetEnum(enumHandle), none);
}

STDMETHODIMP CTarnwick::getNextElement(IUnknown* enumHandle, BSTR* pid, IUnknown** pElem)
{
    return reported(IID_ITarnwick, L"getNextElement", ITarnwickImpl::getNextElement(enumHandle, pid, pElem),
                    [] { return std::wstring(L"The enumeration has no more elements."); });
}

STDMETHODIMP CTarnwick::createRootElement(BSTR* name, IUnknown** ppelem)
{
    return reported(IID_ITarnwick, L"createRootElement", ITarnwickImpl::createRootElement(name, ppelem),
                    [] { return std::wstring(L"The new root element could not be made."); });
}

STDMETHODIMP CTarnwick::clear()
{
    return reported(IID_ITarnwick, L"clear", ITarnwickImpl::clear(), none);
}

STDMETHODIMP CTarnwick::queryElement(IUnknown* parent, BSTR query, IUnknown** ppelem)
{
    return reported(IID_ITarnwick, L"queryElement", ITarnwickImpl::queryElement(parent, query, ppelem),
                    [&] { return nothingSelected(query, parent); });
}

STDMETHODIMP CTarnwick::setDebugMode(LONG bDebug, BSTR file)
{
    return reported(IID_ITarnwick, L"setDebugMode", ITarnwickImpl::setDebugMode(bDebug, file), none);
}

STDMETHODIMP CTarnwick::getElementID(IUnknown* pElem, BSTR* ppid)
{
    return reported(IID_ITarnwick, L"getElementID", ITarnwickImpl::getElementID(pElem, ppid), none);
}

STDMETHODIMP CTarnwick::setNotify(LONG bEnabled)
{
    return reported(IID_ITarnwick, L"setNotify", ITarnwickImpl::setNotify(bEnabled), none);
}

STDMETHODIMP CTarnwick::addElement(IUnknown* pParent, IUnknown* pElem)
{
    return reported(IID_ITarnwick, L"addElement", ITarnwickImpl::addElement(pParent, pElem),
                    [&] { return L"The element could not be added below " + contextName(pParent) + L"."; });
}

STDMETHODIMP CTarnwick::setElementID(IUnknown* pElem, BSTR id)
{
    return reported(IID_ITarnwick, L"setElementID", ITarnwickImpl::setElementID(pElem, id), none);
}

STDMETHODIMP CTarnwick::GetClassID(CLSID* pClassID)
{
    return reported(IID_IPersistFile, L"GetClassID", ITarnwickImpl::GetClassID(pClassID), none);
}

STDMETHODIMP CTarnwick::IsDirty()
{
    return reported(IID_IPersistFile, L"IsDirty", ITarnwickImpl::IsDirty(), none);
}

STDMETHODIMP CTarnwick::Load(LPCOLESTR pszFileName, DWORD dwMode)
{
    return reported(IID_IPersistFile, L"Load", ITarnwickImpl::Load(pszFileName, dwMode),
                    [&] { return quoted(pszFileName) + L" could not be loaded."; });
}

STDMETHODIMP CTarnwick::Save(LPCOLESTR pszFileName, BOOL fRemember)
{
    return reported(IID_IPersistFile, L"Save", ITarnwickImpl::Save(pszFileName, fRemember),
                    [&] { return quoted(pszFileName) + L" could not be written."; });
}

STDMETHODIMP CTarnwick::SaveCompleted(LPCOLESTR pszFileName)
{
    return reported(IID_IPersistFile, L"SaveCompleted", ITarnwickImpl::SaveCompleted(pszFileName), none);
}

STDMETHODIMP CTarnwick::GetCurFile(LPOLESTR* ppszFileName)
{
    return reported(IID_IPersistFile, L"GetCurFile", ITarnwickImpl::GetCurFile(ppszFileName), none);
}
