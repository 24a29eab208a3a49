// Loading and saving the store as an XML file. Loading goes through the DOM's own
// loader with a "file://" URL, saving through its serializer with the plain name.
#include "store/tarnwick.h"

#include "store/dom.h"

#include <cstring>
#include <cwchar>
#include <utility>

using framework::Bstr;
using framework::Variant;

namespace {

// "file://" followed by the name character for character: no conversion, no escaping.
HRESULT fileUrl(LPCOLESTR fileName, Bstr& url)
{
    static const OLECHAR kScheme[] = L"file://";
    const size_t schemeLength = std::wcslen(kScheme);
    const size_t nameLength = std::wcslen(fileName);
    FW_RETURN_IF_FAILED(url.assign(nullptr, static_cast<UINT>(schemeLength + nameLength)));
    std::wmemcpy(url.get(), kScheme, schemeLength);
    std::wmemcpy(url.get() + schemeLength, fileName, nameLength);
    return S_OK;
}

// Replaces the current file name by a copy of name. The copy is made before the old
// name goes, so name may be the old one; out of memory leaves no current file.
HRESULT rememberFile(Bstr& curFile, LPCOLESTR name)
{
    Bstr copy;
    const HRESULT hr = copy.assign(name);
    curFile = std::move(copy);
    return hr;
}

// A copy of text, allocated with the task allocator for a caller who frees it so.
LPOLESTR taskCopy(const OLECHAR* text)
{
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(OLECHAR);
    LPOLESTR copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy)
        std::memcpy(copy, text, bytes);
    return copy;
}

} // namespace

STDMETHODIMP ITarnwickImpl::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_Tarnwick;
    return S_OK;
}

// The store keeps no dirty state.
STDMETHODIMP ITarnwickImpl::IsDirty()
{
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::Load(LPCOLESTR pszFileName, DWORD)
{
    if (!pszFileName)
        return E_POINTER;
    if (!m_pDoc)
        return E_FAIL;

    Bstr url;
    FW_RETURN_IF_FAILED(fileUrl(pszFileName, url));
    // The name is remembered whether or not the load succeeds.
    FW_RETURN_IF_FAILED(rememberFile(m_bstrCurFile, pszFileName));

    const HRESULT loaded = dom::load(m_pDoc.Get(), url.get());
    if (loaded == E_OUTOFMEMORY)
        return loaded;

    // The cache follows whatever the document holds now, after success or failure.
    reloadRoot();
    if (FAILED(loaded))
        return E_FAIL;

    afterChange([&] {
        GUID iid = IID_IPersistFile;
        Variant data;
        data.setBstr(std::move(url));
        Fire_onPersist(&iid, &data.get());
    });
    return S_OK;
}

STDMETHODIMP ITarnwickImpl::Save(LPCOLESTR pszFileName, BOOL fRemember)
{
    if (!pszFileName)
        return E_POINTER;
    if (!m_pDoc)
        return E_FAIL;

    const HRESULT hr = dom::save(m_pDoc.Get(), pszFileName);
    if (SUCCEEDED(hr) && fRemember)
        FW_RETURN_IF_FAILED(rememberFile(m_bstrCurFile, pszFileName));
    return hr;
}

STDMETHODIMP ITarnwickImpl::SaveCompleted(LPCOLESTR pszFileName)
{
    if (!pszFileName)
        return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP ITarnwickImpl::GetCurFile(LPOLESTR* ppszFileName)
{
    if (!ppszFileName)
        return E_POINTER;
    // With no current file, or no memory for the copy, the caller gets a null name.
    *ppszFileName = m_bstrCurFile.get() ? taskCopy(m_bstrCurFile.get()) : nullptr;
    return S_OK;
}
