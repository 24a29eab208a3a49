// The storage object: one element store over one DOM document. Each operation lives
// in the file named after its concern (storage.cpp, root.cpp, elements.cpp,
// attributes.cpp, queries.cpp, removal.cpp, persist_file.cpp, debug_save.cpp,
// notify.cpp); this header gathers the class.
#pragma once

#include "Tarnwick.h"
#include "framework/dispatch.h"
#include "framework/object.h"

#include "store/dom_types.h"
#include "store/event_source.h"

class ITarnwickImpl : public framework::ObjectRoot,
                      public framework::IDispatchImpl<ITarnwick, &IID_ITarnwick, &LIBID_TARNWICKLib, 1, 0>,
                      public IPersistFile,
                      public ISupportErrorInfo,
                      public CProxyITarnwickEvents<ITarnwickImpl>,
                      public framework::ConnectionPointContainer<ITarnwickImpl> {
public:
    ITarnwickImpl() = default;
    ITarnwickImpl(const ITarnwickImpl&) = delete;
    ITarnwickImpl& operator=(const ITarnwickImpl&) = delete;
    virtual ~ITarnwickImpl() = default;

    static const framework::InterfaceEntry* interfaceTable() noexcept;
    HRESULT finalConstruct() noexcept { return createDocument(); }
    // The unknown that keeps this object alive: its own, or the aggregate's outer one.
    IUnknown* controllingUnknown() noexcept { return static_cast<ITarnwick*>(this); }
    // The store's document, borrowed; null only while the object is being built.
    IXMLDOMDocument* document() const noexcept { return m_pDoc.Get(); }

    // ITarnwick
    STDMETHODIMP getRootElement(IUnknown** phElem) override;
    STDMETHODIMP createElement(BSTR* pid, IUnknown** pHandle) override;
    STDMETHODIMP getElement(IUnknown* parent, BSTR objectID, IUnknown** ppobj) override;
    STDMETHODIMP deleteElement(IUnknown* hElem) override;
    STDMETHODIMP setAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue) override;
    STDMETHODIMP getAttribute(IUnknown* hElem, BSTR attrname, VARIANT* attrValue) override;
    STDMETHODIMP enumElements(IUnknown* hElem, BSTR query, IUnknown** pEnumHandle) override;
    STDMETHODIMP resetEnum(IUnknown* enumHandle) override;
    STDMETHODIMP getNextElement(IUnknown* enumHandle, BSTR* pid, IUnknown** pElem) override;
    STDMETHODIMP createRootElement(BSTR* name, IUnknown** ppelem) override;
    STDMETHODIMP clear() override;
    STDMETHODIMP queryElement(IUnknown* parent, BSTR query, IUnknown** ppelem) override;
    STDMETHODIMP setDebugMode(LONG bDebug, BSTR file) override;
    STDMETHODIMP getElementID(IUnknown* pElem, BSTR* ppid) override;
    STDMETHODIMP setNotify(LONG bEnabled) override;
    STDMETHODIMP addElement(IUnknown* pParent, IUnknown* pElem) override;
    STDMETHODIMP setElementID(IUnknown* pElem, BSTR id) override;

    // IPersistFile
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD dwMode) override;
    STDMETHODIMP Save(LPCOLESTR pszFileName, BOOL fRemember) override;
    STDMETHODIMP SaveCompleted(LPCOLESTR pszFileName) override;
    STDMETHODIMP GetCurFile(LPOLESTR* ppszFileName) override;

    // ISupportErrorInfo: the methods of ITarnwick and IPersistFile describe their failures.
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    // Creates and configures the document; E_FAIL when the DOM cannot be created.
    HRESULT createDocument() noexcept;
    // Makes the declaration (unless a processing instruction already leads the
    // document) and a root element of that name; true when the root stands.
    bool buildRoot(const OLECHAR* name) noexcept;
    // The root, built as "root" on first need; borrowed (no reference added), or null.
    IXMLDOMNode* ensureRoot() noexcept;
    // The node that a parent or context handle names: the root from ensureRoot for a
    // null handle (E_FAIL when there is none), else the handle's node (E_INVALIDARG
    // when it is not one). One reference for the caller.
    HRESULT contextNode(IUnknown* handle, IXMLDOMNode** node) noexcept;
    // Re-reads the cached root from the document element after a load.
    void reloadRoot() noexcept;
    // A new generated identifier: "ID" and a new GUID's 36 characters.
    HRESULT makeElementId(framework::Bstr& id) noexcept;
    // Writes the whole document to the debug file when debug mode is on and a file is named.
    void debugAutoSave() noexcept;

    // What every change does once it has taken effect: the debug auto-save, then the
    // announcement to the sinks when the event switch is on. Clearing announces first,
    // so that the debug file holds what the sinks leave behind.
    enum class Announce { afterSave, beforeSave };
    template <class Fire>
    void afterChange(Fire&& fire, Announce order = Announce::afterSave) noexcept
    {
        // A sink may release the caller's last reference; the store outlives the pass.
        // Without a sink to call, nothing can release it.
        const bool announce = m_bNotify && hasSinks();
        framework::ComPtr<IUnknown> alive;
        if (announce)
            alive = controllingUnknown();
        if (order == Announce::beforeSave && announce)
            fire();
        debugAutoSave();
        if (order == Announce::afterSave && announce)
            fire();
    }

    framework::ComPtr<IXMLDOMDocument> m_pDoc;
    framework::ComPtr<IXMLDOMNode> m_pRoot;
    framework::Bstr m_bstrCurFile;
    bool m_bNotify = true;
    bool m_bDebug = false;
    framework::Bstr m_bstrDebugFile;
};
