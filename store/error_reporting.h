// The class the server creates: the storage object with every failure described to
// the client. Each method runs the store's own and, when that fails, sets the
// thread's error object with what failed and with which input; when it succeeds, it
// leaves no error object behind. HRESULTs are the store's, unchanged.
#pragma once

#include "store/tarnwick.h"

class CTarnwick : public ITarnwickImpl {
public:
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
};
