// An early-bound C++ client of Tarnwick. It creates a store through the registry,
// connects an event sink that prints every event, runs a typical request (create an
// element, attach it under the root, set an attribute, save), loads the file into a
// second store and prints what it finds there.
#include "Tarnwick.h"

#include <msxml.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>

namespace {

// Owns one interface pointer; enough for a sample.
template <class T>
class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref()
    {
        if (p)
            p->Release();
    }
    T** put()
    {
        if (p)
            p->Release();
        p = nullptr;
        return &p;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    T* operator->() const { return p; }
    T* get() const { return p; }

private:
    T* p = nullptr;
};

// Owns one BSTR.
class Text {
public:
    explicit Text(const wchar_t* s = nullptr) : b(s ? SysAllocString(s) : nullptr) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() { SysFreeString(b); }
    // For in/out parameters: the callee may free the string and write a new one.
    BSTR* inOut() { return &b; }
    BSTR* put()
    {
        SysFreeString(b);
        b = nullptr;
        return &b;
    }
    BSTR get() const { return b; }

private:
    BSTR b;
};

std::wstring nameOf(IUnknown* node)
{
    Ref<IXMLDOMNode> domNode;
    Text name;
    if (node && SUCCEEDED(node->QueryInterface(IID_IXMLDOMNode, domNode.putVoid())))
        domNode->get_nodeName(name.put());
    return name.get() ? name.get() : L"?";
}

// Prints each event it receives. Sinks are called on the caller's thread, inside the
// operation that made the change.
class PrintingSink final : public ITarnwickEvents {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITarnwickEvents)) {
            *ppv = static_cast<ITarnwickEvents*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; } // lives on the stack

    STDMETHODIMP onElementCreated(IUnknown* parent, BSTR elemid, IUnknown*) override
    {
        std::printf("  event: onElementCreated  %ls under %ls\n", elemid, nameOf(parent).c_str());
        return S_OK;
    }
    STDMETHODIMP onElementDeleted(IUnknown* hElem) override
    {
        std::printf("  event: onElementDeleted  %ls\n", nameOf(hElem).c_str());
        return S_OK;
    }
    STDMETHODIMP onElementChanged(IUnknown* hElem, BSTR attrname, VARIANT value) override
    {
        VARIANT text;
        VariantInit(&text);
        VariantChangeType(&text, &value, 0, VT_BSTR);
        std::printf("  event: onElementChanged  %ls.%ls = %ls (VARIANT type %d)\n", nameOf(hElem).c_str(), attrname,
                    V_VT(&text) == VT_BSTR ? V_BSTR(&text) : L"?", V_VT(&value));
        VariantClear(&text);
        return S_OK;
    }
    STDMETHODIMP onDeleteAll() override
    {
        std::printf("  event: onDeleteAll\n");
        return S_OK;
    }
    STDMETHODIMP onPersist(GUID*, VARIANT* data) override
    {
        std::printf("  event: onPersist  %ls\n", data && V_VT(data) == VT_BSTR ? V_BSTR(data) : L"?");
        return S_OK;
    }

private:
    ULONG refs = 1;
};

bool check(const char* what, HRESULT hr)
{
    if (FAILED(hr))
        std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

int run(const wchar_t* file)
{
    Ref<ITarnwick> store;
    if (!check("CoCreateInstance(Tarnwick)", CoCreateInstance(CLSID_Tarnwick, nullptr, CLSCTX_INPROC_SERVER,
                                                              IID_ITarnwick, store.putVoid())))
        return 1;

    PrintingSink sink;
    Ref<IConnectionPointContainer> container;
    Ref<IConnectionPoint> point;
    DWORD cookie = 0;
    if (!check("QueryInterface(IConnectionPointContainer)",
               store->QueryInterface(IID_IConnectionPointContainer, container.putVoid())) ||
        !check("FindConnectionPoint", container->FindConnectionPoint(IID_ITarnwickEvents, point.put())) ||
        !check("Advise", point->Advise(&sink, &cookie)))
        return 1;

    std::printf("Typical request:\n");
    Text id(L"invoice");
    Ref<IUnknown> element;
    VARIANT amount;
    VariantInit(&amount);
    V_VT(&amount) = VT_I4;
    V_I4(&amount) = 1250;
    Text attribute(L"amount");
    Ref<IPersistFile> persist;
    if (!check("createElement", store->createElement(id.inOut(), element.put())) ||
        !check("addElement", store->addElement(nullptr, element.get())) ||
        !check("setAttribute", store->setAttribute(element.get(), attribute.get(), &amount)) ||
        !check("QueryInterface(IPersistFile)", store->QueryInterface(IID_IPersistFile, persist.putVoid())) ||
        !check("Save", persist->Save(file, TRUE)))
        return 1;
    std::printf("  saved to %ls\n", file);
    check("Unadvise", point->Unadvise(cookie));

    std::printf("Loaded into a second store:\n");
    Ref<ITarnwick> second;
    Ref<IPersistFile> secondPersist;
    Ref<IUnknown> found;
    Text query(L"invoice");
    VARIANT value;
    VariantInit(&value);
    if (!check("CoCreateInstance(Tarnwick)", CoCreateInstance(CLSID_Tarnwick, nullptr, CLSCTX_INPROC_SERVER,
                                                              IID_ITarnwick, second.putVoid())) ||
        !check("QueryInterface(IPersistFile)", second->QueryInterface(IID_IPersistFile, secondPersist.putVoid())) ||
        !check("Load", secondPersist->Load(file, STGM_READ)) ||
        !check("getElement", second->getElement(nullptr, query.get(), found.put())) ||
        !check("getAttribute", second->getAttribute(found.get(), attribute.get(), &value)))
        return 1;
    std::printf("  %ls.amount = %ls\n", nameOf(found.get()).c_str(), V_BSTR(&value));
    VariantClear(&value);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* file = argc > 1 ? argv[1] : L"tarnwick-demo.xml";
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    const int status = run(file);
    CoUninitialize();
    return status;
}
