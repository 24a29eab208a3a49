// A C++ client of Tarnwick: it loads the DLL, makes a store through the DLL's class
// object, asks for the store's root and prints the document the store keeps.
#include "Tarnwick.h"

#include <msxml.h>
#include <objbase.h>

#include <cstdio>

namespace {

const IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

int fail(const char* what, HRESULT hr)
{
    std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* dllPath = argc > 1 ? argv[1] : L"Tarnwick.dll";
    HMODULE dll = LoadLibraryW(dllPath);
    if (!dll)
        return fail("LoadLibrary", HRESULT_FROM_WIN32(GetLastError()));
    auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        IClassFactory* factory = nullptr;
        ITarnwick* store = nullptr;
        IUnknown* root = nullptr;
        IXMLDOMDocument* doc = nullptr;
        BSTR xml = nullptr;
        HRESULT hr = getClassObject(CLSID_Tarnwick, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (FAILED(hr))
            status = fail("DllGetClassObject", hr);
        if (!status && FAILED(hr = factory->CreateInstance(nullptr, IID_ITarnwick, reinterpret_cast<void**>(&store))))
            status = fail("CreateInstance", hr);
        if (!status && FAILED(hr = store->getRootElement(&root)))
            status = fail("getRootElement", hr);
        if (!status && FAILED(hr = store->QueryInterface(kIidXmlDomDocument, reinterpret_cast<void**>(&doc))))
            status = fail("QueryInterface(IXMLDOMDocument)", hr);
        if (!status && FAILED(hr = doc->get_xml(&xml)))
            status = fail("get_xml", hr);
        if (!status)
            std::printf("The new store's document:\n%ls\n", xml);
        SysFreeString(xml);
        if (doc)
            doc->Release();
        if (root)
            root->Release();
        if (store)
            store->Release();
        if (factory)
            factory->Release();
    }
    CoUninitialize();
    return status;
}
