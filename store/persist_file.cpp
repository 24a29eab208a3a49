// Loading and saving the store as an XML file. Both work on the name's full path:
// loading gives the DOM a "file:///" URL that names exactly that file, saving writes
// a new file beside it and puts it in place only once it is whole.
#include "store/tarnwick.h"

#include "store/dom.h"
#include "store/file_stream.h"

#include <cstring>
#include <cwchar>
#include <utility>

using framework::Bstr;
using framework::Variant;

namespace {

// The name made absolute against the current folder, as the file system reads it.
HRESULT fullPath(LPCOLESTR fileName, Bstr& path)
{
    const DWORD needed = GetFullPathNameW(fileName, 0, nullptr, nullptr);
    if (needed == 0)
        return E_FAIL;
    Bstr buffer;
    FW_RETURN_IF_FAILED(buffer.assign(nullptr, needed - 1));
    const DWORD length = GetFullPathNameW(fileName, needed, buffer.get(), nullptr);
    if (length == 0 || length >= needed)
        return E_FAIL;
    return path.assign(buffer.get(), length);
}

// Characters that a URL reads as its own syntax rather than as part of the path.
bool needsEscape(OLECHAR c)
{
    return c == L'%' || c == L'?' || c == L'#' || c == L' ' || c < 0x20;
}

// "file:///" and the full path with forward slashes and the characters above escaped
// as %XX. Other characters stay as they are: Wine's msxml3 reads non-ASCII characters
// literally and does not decode their UTF-8 escapes.
HRESULT fileUrl(const Bstr& path, Bstr& url)
{
    static const OLECHAR kScheme[] = L"file:///";
    static const OLECHAR kHex[] = L"0123456789ABCDEF";
    const size_t schemeLength = std::wcslen(kScheme);
    const UINT pathLength = SysStringLen(path.get());
    size_t length = schemeLength;
    for (UINT i = 0; i < pathLength; ++i)
        length += needsEscape(path.get()[i]) ? 3 : 1;
    FW_RETURN_IF_FAILED(url.assign(nullptr, static_cast<UINT>(length)));
    OLECHAR* out = url.get();
    std::wmemcpy(out, kScheme, schemeLength);
    out += schemeLength;
    for (UINT i = 0; i < pathLength; ++i) {
        const OLECHAR c = path.get()[i];
        if (needsEscape(c)) {
            *out++ = L'%';
            *out++ = kHex[(c >> 4) & 0xF];
            *out++ = kHex[c & 0xF];
        } else {
            *out++ = c == L'\\' ? L'/' : c;
        }
    }
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

    // The name is remembered whether or not the load succeeds.
    FW_RETURN_IF_FAILED(rememberFile(m_bstrCurFile, pszFileName));
    Bstr path;
    FW_RETURN_IF_FAILED(fullPath(pszFileName, path));
    Bstr url;
    FW_RETURN_IF_FAILED(fileUrl(path, url));

    // The DOM empties the document before it reads; a failed read gets the old
    // content back, the same nodes, so the cached root and clients' handles hold.
    dom::DetachedChildren previous;
    FW_RETURN_IF_FAILED(previous.detach(m_pDoc.Get()));
    const HRESULT loaded = dom::load(m_pDoc.Get(), url.get(), pszFileName);
    if (FAILED(loaded)) {
        // The load's failure is the answer, whether or not everything went back.
        static_cast<void>(previous.restore(m_pDoc.Get()));
        return loaded == E_OUTOFMEMORY ? loaded : E_FAIL;
    }

    reloadRoot();
    afterChange([&] {
        GUID iid = IID_IPersistFile;
        Variant data(std::move(url));
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

    Bstr path;
    FW_RETURN_IF_FAILED(fullPath(pszFileName, path));
    FW_RETURN_IF_FAILED(file_stream::saveReplacing(m_pDoc.Get(), path.get()));
    if (fRemember)
        FW_RETURN_IF_FAILED(rememberFile(m_bstrCurFile, pszFileName));
    return S_OK;
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
