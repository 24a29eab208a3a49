// A client that uses Tarnwick without registration. Its application manifest
// (client.exe.manifest beside it) depends on the Tarnwick assembly, whose manifest
// (Orvane.Fenwright.Tarnwick.manifest, beside Tarnwick.dll) supplies the class, its
// ProgIDs, the type library and the marshaling of ITarnwick.
//
// It checks that nothing is registered, creates stores by CLSID and by ProgID, runs the
// typical request through the vtable and through IDispatch, calls a store from another
// apartment, and checks that every reference went back. It prints one line per check
// and exits with 1 when any failed.
#include "Tarnwick.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cwchar>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

int failures = 0;

bool check(bool ok, const char* what)
{
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    std::fflush(stdout);
    if (!ok)
        ++failures;
    return ok;
}

bool check(HRESULT hr, const char* what)
{
    if (SUCCEEDED(hr))
        return check(true, what);
    std::printf("FAIL: %s: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    std::fflush(stdout);
    ++failures;
    return false;
}

// Owns one BSTR.
class Bstr {
public:
    explicit Bstr(const wchar_t* s = nullptr) : b(s ? SysAllocString(s) : nullptr) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b); }
    BSTR get() const { return b; }
    // For [in, out] parameters: the callee may free the string and write another.
    BSTR* inOut() { return &b; }

private:
    BSTR b;
};

// Owns one VARIANT.
class Variant {
public:
    Variant() { VariantInit(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v); }
    VARIANT* get() { return &v; }
    bool isText(const wchar_t* text) const
    {
        return V_VT(&v) == VT_BSTR && V_BSTR(&v) && std::wcscmp(V_BSTR(&v), text) == 0;
    }

private:
    VARIANT v;
};

std::wstring guidText(REFGUID guid)
{
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

std::wstring folderOfExe()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool keyExists(const std::wstring& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Registration-free means just that: a registered class would hide a broken manifest.
void checkNothingRegistered()
{
    check(!keyExists(L"CLSID\\" + guidText(CLSID_Tarnwick)), "the class is not registered");
    check(!keyExists(L"Orvane.Fenwright.Tarnwick") && !keyExists(L"Orvane.Fenwright.Tarnwick.1"),
          "the ProgIDs are not registered");
    check(!keyExists(L"TypeLib\\" + guidText(LIBID_TARNWICKLib)), "the type library is not registered");
    check(!keyExists(L"Interface\\" + guidText(IID_ITarnwick)), "ITarnwick is not registered");
}

// Under an activation context CLSIDFromProgID answers an alias that the context
// generates for the class, not CLSID_Tarnwick (Windows does so, and Wine with it), so
// the store is asked which class it is.
ComPtr<ITarnwick> createByProgId(const wchar_t* progId, const char* what)
{
    ComPtr<ITarnwick> store;
    ComPtr<IPersistFile> persist;
    CLSID clsid = {};
    CLSID created = {};
    if (check(CLSIDFromProgID(progId, &clsid), what) &&
        check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&store)), "  ... creates a store") &&
        check(store->QueryInterface(IID_PPV_ARGS(&persist)), "  ... which answers IPersistFile") &&
        check(persist->GetClassID(&created), "  ... and GetClassID"))
        check(IsEqualCLSID(created, CLSID_Tarnwick) != FALSE, "  ... a Tarnwick store");
    return store;
}

// The typical request through the vtable, then the saved file read back by a second store.
void earlyBound(ITarnwick* store, ITarnwick* reader, const std::wstring& file)
{
    Bstr id(L"invoice");
    ComPtr<IUnknown> element;
    Bstr amount(L"amount");
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 1250;
    ComPtr<IPersistFile> persist;
    if (!check(store->createElement(id.inOut(), &element), "early bound: createElement") ||
        !check(store->addElement(nullptr, element.Get()), "early bound: addElement under the root") ||
        !check(store->setAttribute(element.Get(), amount.get(), &value), "early bound: setAttribute 1250") ||
        !check(store->QueryInterface(IID_PPV_ARGS(&persist)), "early bound: IPersistFile") ||
        !check(persist->Save(file.c_str(), TRUE), "early bound: IPersistFile::Save"))
        return;

    ComPtr<IPersistFile> readerFile;
    ComPtr<IUnknown> found;
    Variant text;
    if (check(reader->QueryInterface(IID_PPV_ARGS(&readerFile)), "read back: IPersistFile") &&
        check(readerFile->Load(file.c_str(), STGM_READ), "read back: IPersistFile::Load") &&
        check(reader->getElement(nullptr, id.get(), &found), "read back: getElement invoice") &&
        check(reader->getAttribute(found.Get(), amount.get(), text.get()), "read back: getAttribute"))
        check(text.isText(L"1250"), "read back: amount is \"1250\"");
}

HRESULT invoke(IDispatch* dispatch, const wchar_t* name, DISPID expected, VARIANT* argsLastFirst, UINT count,
               VARIANT* result)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    if (id != expected)
        return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS params = {argsLastFirst, nullptr, count, 0};
    EXCEPINFO exception = {};
    UINT argError = 0;
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &exception,
                            &argError);
}

// The typical request as a late-bound client makes it: names to DISPIDs, then Invoke,
// which needs the type library that the manifest declares.
void lateBound(ITarnwick* store)
{
    ComPtr<IDispatch> dispatch;
    UINT count = 0;
    if (!check(store->QueryInterface(IID_PPV_ARGS(&dispatch)), "late bound: IDispatch") ||
        !check(dispatch->GetTypeInfoCount(&count), "late bound: GetTypeInfoCount") ||
        !check(count == 1, "late bound: one type information"))
        return;

    Bstr id(L"order");
    IUnknown* element = nullptr; // owned below, once Invoke has written it
    VARIANT create[2];
    V_VT(&create[1]) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&create[1]) = id.inOut();
    V_VT(&create[0]) = VT_UNKNOWN | VT_BYREF;
    V_UNKNOWNREF(&create[0]) = &element;
    const HRESULT created = invoke(dispatch.Get(), L"createElement", 2, create, 2, nullptr);
    ComPtr<IUnknown> owned;
    owned.Attach(element);
    if (!check(created, "late bound: createElement") || !check(owned != nullptr, "late bound: a handle came back"))
        return;

    VARIANT add[2];
    V_VT(&add[1]) = VT_UNKNOWN;
    V_UNKNOWN(&add[1]) = nullptr;
    V_VT(&add[0]) = VT_UNKNOWN;
    V_UNKNOWN(&add[0]) = owned.Get();
    if (!check(invoke(dispatch.Get(), L"addElement", 16, add, 2, nullptr), "late bound: addElement under the root"))
        return;

    Bstr amount(L"amount");
    VARIANT set[3];
    V_VT(&set[2]) = VT_UNKNOWN;
    V_UNKNOWN(&set[2]) = owned.Get();
    V_VT(&set[1]) = VT_BSTR;
    V_BSTR(&set[1]) = amount.get();
    V_VT(&set[0]) = VT_I4;
    V_I4(&set[0]) = 1250;
    if (!check(invoke(dispatch.Get(), L"setAttribute", 5, set, 3, nullptr), "late bound: setAttribute 1250"))
        return;

    VARIANT get[2];
    V_VT(&get[1]) = VT_UNKNOWN;
    V_UNKNOWN(&get[1]) = owned.Get();
    V_VT(&get[0]) = VT_BSTR;
    V_BSTR(&get[0]) = amount.get();
    Variant text;
    if (check(invoke(dispatch.Get(), L"getAttribute", 6, get, 2, text.get()), "late bound: getAttribute"))
        check(text.isText(L"1250"), "late bound: amount is \"1250\"");
}

struct CrossApartmentCall {
    IStream* stream = nullptr; // the thread unmarshals it and releases it
    HRESULT unmarshaled = E_UNEXPECTED;
    HRESULT called = E_UNEXPECTED;
};

DWORD WINAPI callFromTheMultithreadedApartment(void* parameter)
{
    auto* call = static_cast<CrossApartmentCall*>(parameter);
    call->unmarshaled = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(call->unmarshaled))
        return 1;
    {
        ComPtr<ITarnwick> proxy;
        call->unmarshaled = CoGetInterfaceAndReleaseStream(call->stream, IID_PPV_ARGS(&proxy));
        if (SUCCEEDED(call->unmarshaled)) {
            ComPtr<IUnknown> root;
            call->called = proxy->getRootElement(&root);
            if (SUCCEEDED(call->called) && !root)
                call->called = E_POINTER;
        }
    }
    CoUninitialize();
    return 0;
}

// A call from another apartment goes through the proxy and stub that the automation
// marshaler builds from the type library: the manifest's comInterfaceExternalProxyStub.
void crossApartment(ITarnwick* store)
{
    ComPtr<IStream> stream;
    if (!check(CoMarshalInterThreadInterfaceInStream(IID_ITarnwick, store, &stream),
               "another apartment: marshal ITarnwick"))
        return;
    CrossApartmentCall call;
    call.stream = stream.Get();
    HANDLE thread = CreateThread(nullptr, 0, callFromTheMultithreadedApartment, &call, 0, nullptr);
    if (!check(thread != nullptr, "another apartment: start a thread")) {
        // The interface never left: drop the reference that the marshaled data holds.
        CoReleaseMarshalData(stream.Get()); // its failure would leave nothing more to undo
        return;
    }
    stream.Detach(); // the thread's now
    // This apartment serves the call: pump its messages until the thread ends.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    CloseHandle(thread);
    if (check(call.unmarshaled, "another apartment: unmarshal a proxy"))
        check(call.called, "another apartment: getRootElement through the proxy");
}

void run(const std::wstring& file)
{
    checkNothingRegistered();

    ComPtr<ITarnwick> byClsid;
    check(CoCreateInstance(CLSID_Tarnwick, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&byClsid)),
          "CoCreateInstance by CLSID");
    ComPtr<ITarnwick> byProgId =
        createByProgId(L"Orvane.Fenwright.Tarnwick", "CLSIDFromProgID Orvane.Fenwright.Tarnwick");
    ComPtr<ITarnwick> byVersionedProgId =
        createByProgId(L"Orvane.Fenwright.Tarnwick.1", "CLSIDFromProgID Orvane.Fenwright.Tarnwick.1");

    wchar_t loaded[MAX_PATH] = {};
    const HMODULE module = GetModuleHandleW(L"Tarnwick.dll");
    GetModuleFileNameW(module, loaded, MAX_PATH);
    check(module && lstrcmpiW(loaded, (folderOfExe() + L"Tarnwick.dll").c_str()) == 0,
          "Tarnwick.dll is the one beside the client");

    if (byClsid && byProgId)
        earlyBound(byClsid.Get(), byProgId.Get(), file);
    if (byVersionedProgId) {
        lateBound(byVersionedProgId.Get());
        // Last, because Wine's typelib marshaler loads the library by the bare file name
        // that the manifest gives, and Wine's LoadTypeLib registers a library loaded by a
        // relative name: from here on the library and ITarnwick are registered, and a
        // late-bound call would no longer show that the manifest serves them.
        crossApartment(byVersionedProgId.Get());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring file = argc > 1 ? argv[1] : folderOfExe() + L"client.xml";
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("FAIL: CoInitializeEx\n");
        return 1;
    }
    run(file);
    // Every store and handle is gone: the DLL must agree.
    const HMODULE module = GetModuleHandleW(L"Tarnwick.dll");
    const FARPROC proc = module ? GetProcAddress(module, "DllCanUnloadNow") : nullptr;
    const auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(proc));
    check(canUnloadNow && canUnloadNow() == S_OK, "DllCanUnloadNow: every reference went back");
    CoUninitialize();
    std::printf("%s\n", failures ? "registration-free use FAILED" : "registration-free use works");
    return failures ? 1 : 0;
}
