// Tarnwick's benchmarks. Every figure stands beside a baseline measured in the same
// run: the same DOM work done directly on an IXMLDOMDocument, or the early-bound call
// beside the late-bound one. Prints a table and writes the figures as JSON.
#include "Tarnwick.h"
#include "framework/com.h"
#include "store/dom_types.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using framework::Bstr;
using framework::ComPtr;
using framework::Variant;

namespace {

const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

double now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The best of a few runs: the least disturbed by the rest of the machine.
double bestOf(int runs, const std::function<double()>& run)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, run());
    return best;
}

// The best of a few runs of a measure and its baseline, taken in turns so that both
// see the same machine, caches and heap.
std::pair<double, double> bestOfPair(int runs, const std::function<double()>& measure,
                                     const std::function<double()>& baseline)
{
    std::pair<double, double> best{1e300, 1e300};
    for (int i = 0; i < runs; ++i) {
        best.first = std::min(best.first, measure());
        best.second = std::min(best.second, baseline());
    }
    return best;
}

void check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

Bstr text(const wchar_t* s)
{
    Bstr b;
    check(b.assign(s), "SysAllocString");
    return b;
}

struct Row {
    std::string name;
    std::string unit;
    double value;
    double baseline;
    std::string baselineName;
};

std::vector<Row> g_rows;

void report(const std::string& name, const std::string& unit, double value, double baseline,
            const std::string& baselineName)
{
    g_rows.push_back({name, unit, value, baseline, baselineName});
    if (baseline > 0)
        std::printf("%-52s %12.3f %-8s %12.3f  ratio %6.3f  (%s)\n", name.c_str(), value, unit.c_str(), baseline,
                    value / baseline, baselineName.c_str());
    else
        std::printf("%-52s %12.3f %-8s\n", name.c_str(), value, unit.c_str());
}

class Bench {
public:
    explicit Bench(HMODULE dll)
        : m_getClassObject(reinterpret_cast<GetClassObjectFn>(
              reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject"))))
    {
        check(m_getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&m_factory)), "DllGetClassObject");
    }

    ComPtr<ITarnwick> newStore()
    {
        ComPtr<ITarnwick> store;
        check(m_factory->CreateInstance(nullptr, IID_PPV_ARGS(&store)), "CreateInstance");
        return store;
    }

    // createElement, addElement under the root, setAttribute with an integer.
    static void typicalRequest(ITarnwick* store, const wchar_t* name, BSTR attribute, int value)
    {
        Bstr id = text(name);
        ComPtr<IUnknown> element;
        check(store->createElement(id.inOut(), &element), "createElement");
        check(store->addElement(nullptr, element.Get()), "addElement");
        VARIANT number;
        V_VT(&number) = VT_I4;
        V_I4(&number) = value;
        check(store->setAttribute(element.Get(), attribute, &number), "setAttribute");
    }

    // The typical request, n times.
    double typicalThroughStore(int n)
    {
        ComPtr<ITarnwick> store = newStore();
        Bstr attribute = text(L"n");
        const double start = now();
        for (int i = 0; i < n; ++i)
            typicalRequest(store.Get(), L"item", attribute.get(), i);
        return now() - start;
    }

    // The same DOM calls that the store makes, made directly.
    static double typicalDirect(int n)
    {
        ComPtr<IXMLDOMDocument> doc = newDocument();
        Bstr rootName = text(L"root");
        ComPtr<IXMLDOMElement> root;
        check(doc->createElement(rootName.get(), &root), "createElement");
        check(doc->appendChild(root.Get(), nullptr), "appendChild");
        ComPtr<IXMLDOMNode> rootNode;
        check(root.As(&rootNode), "QueryInterface");
        Bstr attribute = text(L"n");
        const double start = now();
        for (int i = 0; i < n; ++i) {
            Bstr id = text(L"item");
            VARIANT type;
            V_VT(&type) = VT_I4;
            V_I4(&type) = NODE_ELEMENT;
            ComPtr<IXMLDOMNode> node;
            check(doc->createNode(type, id.get(), nullptr, &node), "createNode");
            check(rootNode->appendChild(node.Get(), nullptr), "appendChild");
            ComPtr<IXMLDOMElement> element;
            check(node.As(&element), "QueryInterface");
            ComPtr<IXMLDOMAttribute> existing;
            element->getAttributeNode(attribute.get(), &existing);
            ComPtr<IXMLDOMAttribute> created;
            check(doc->createAttribute(attribute.get(), &created), "createAttribute");
            VARIANT value;
            V_VT(&value) = VT_I4;
            V_I4(&value) = i;
            check(created->put_nodeValue(value), "put_nodeValue");
            check(element->setAttributeNode(created.Get(), nullptr), "setAttributeNode");
        }
        return now() - start;
    }

    static ComPtr<IXMLDOMDocument> newDocument()
    {
        ComPtr<IXMLDOMDocument> doc;
        check(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&doc)),
              "CoCreateInstance(DOMDocument)");
        doc->put_async(VARIANT_FALSE);
        return doc;
    }

    // A store holding n elements with one attribute each, the last one named "last".
    ComPtr<ITarnwick> filledStore(int n)
    {
        ComPtr<ITarnwick> store = newStore();
        check(store->setNotify(0), "setNotify");
        Bstr attribute = text(L"n");
        for (int i = 0; i < n; ++i)
            typicalRequest(store.Get(), i == n - 1 ? L"last" : L"item", attribute.get(), i);
        return store;
    }

    void saveAndLoad(int n, const std::wstring& file)
    {
        ComPtr<ITarnwick> store = filledStore(n);
        ComPtr<IPersistFile> persist;
        check(store.As(&persist), "QueryInterface(IPersistFile)");
        ComPtr<IXMLDOMDocument> doc;
        check(store.As(&doc), "QueryInterface(IXMLDOMDocument)");

        const auto save = bestOfPair(
            9,
            [&] {
                const double start = now();
                check(persist->Save(file.c_str(), FALSE), "Save");
                return now() - start;
            },
            [&] {
                Variant target;
                target.setBstr(text(file.c_str()));
                const double start = now();
                check(doc->save(target.get()), "save");
                return now() - start;
            });
        report("Save, " + std::to_string(n) + " elements", "ms", save.first * 1e3, save.second * 1e3, "DOM save");

        // Each load goes into a new, empty store or document, made outside the timing:
        // what a load costs depends on what the document held before. The baseline
        // keeps the loaded document element, as the store keeps its root.
        const std::wstring url = L"file://" + file;
        const auto load = bestOfPair(
            9,
            [&] {
                ComPtr<ITarnwick> fresh = newStore();
                ComPtr<IPersistFile> freshPersist;
                check(fresh.As(&freshPersist), "QueryInterface(IPersistFile)");
                const double start = now();
                check(freshPersist->Load(file.c_str(), STGM_READ), "Load");
                return now() - start;
            },
            [&] {
                ComPtr<IXMLDOMDocument> direct = newDocument();
                Variant source;
                source.setBstr(text(url.c_str()));
                VARIANT_BOOL ok = VARIANT_FALSE;
                ComPtr<IXMLDOMElement> directRoot;
                const double start = now();
                check(direct->load(source.get(), &ok), "load");
                check(direct->get_documentElement(&directRoot), "get_documentElement");
                const double elapsed = now() - start;
                if (!ok)
                    check(E_FAIL, "load");
                return elapsed;
            });
        report("Load, " + std::to_string(n) + " elements", "ms", load.first * 1e3, load.second * 1e3, "DOM load");
    }

    void getElementAtTheEnd()
    {
        for (int n : {100, 1000, 10000}) {
            ComPtr<ITarnwick> store = filledStore(n);
            Bstr id = text(L"last");
            const int calls = std::max(10, 100000 / n);
            const double elapsed = bestOf(3, [&] {
                const double start = now();
                for (int i = 0; i < calls; ++i) {
                    ComPtr<IUnknown> found;
                    check(store->getElement(nullptr, id.get(), &found), "getElement");
                }
                return now() - start;
            });
            const double perCall = elapsed / calls * 1e6;
            report("getElement of the last of " + std::to_string(n), "us/call", perCall, 0, "");
            report("getElement of the last of " + std::to_string(n) + ", per element", "ns/elem", perCall * 1e3 / n, 0,
                   "");
        }
    }

    void lateBinding()
    {
        ComPtr<ITarnwick> store = newStore();
        ComPtr<IDispatch> dispatch;
        check(store.As(&dispatch), "QueryInterface(IDispatch)");
        const int calls = 100000;
        const double early = bestOf(3, [&] {
            const double start = now();
            for (int i = 0; i < calls; ++i)
                check(store->setNotify(1), "setNotify");
            return now() - start;
        });
        const double late = bestOf(3, [&] {
            VARIANT argument;
            V_VT(&argument) = VT_I4;
            V_I4(&argument) = 1;
            DISPPARAMS params = {&argument, nullptr, 1, 0};
            const double start = now();
            for (int i = 0; i < calls; ++i)
                check(dispatch->Invoke(15, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                      "Invoke(setNotify)");
            return now() - start;
        });
        report("setNotify through IDispatch::Invoke", "ns/call", late / calls * 1e9, early / calls * 1e9,
               "vtable call");
    }

    void events()
    {
        struct Sink final : ITarnwickEvents {
            STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
            {
                if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITarnwickEvents)) {
                    *ppv = this;
                    return S_OK;
                }
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
            STDMETHODIMP_(ULONG) AddRef() override { return 2; }
            STDMETHODIMP_(ULONG) Release() override { return 1; }
            STDMETHODIMP onElementCreated(IUnknown*, BSTR, IUnknown*) override { return S_OK; }
            STDMETHODIMP onElementDeleted(IUnknown*) override { return S_OK; }
            STDMETHODIMP onElementChanged(IUnknown*, BSTR, VARIANT) override { return S_OK; }
            STDMETHODIMP onDeleteAll() override { return S_OK; }
            STDMETHODIMP onPersist(GUID*, VARIANT*) override { return S_OK; }
        };
        static Sink sinks[100];

        const int calls = 20000;
        auto timeChanges = [&](int sinkCount) {
            ComPtr<ITarnwick> store = newStore();
            ComPtr<IConnectionPointContainer> container;
            check(store.As(&container), "QueryInterface(IConnectionPointContainer)");
            ComPtr<IConnectionPoint> point;
            check(container->FindConnectionPoint(IID_ITarnwickEvents, &point), "FindConnectionPoint");
            for (int i = 0; i < sinkCount; ++i) {
                DWORD cookie = 0;
                check(point->Advise(&sinks[i], &cookie), "Advise");
            }
            ComPtr<IUnknown> root;
            check(store->getRootElement(&root), "getRootElement");
            Bstr attribute = text(L"n");
            return bestOf(3, [&] {
                VARIANT value;
                V_VT(&value) = VT_I4;
                V_I4(&value) = 7;
                const double start = now();
                for (int i = 0; i < calls; ++i)
                    check(store->setAttribute(root.Get(), attribute.get(), &value), "setAttribute");
                return now() - start;
            });
        };
        const double none = timeChanges(0);
        for (int n : {1, 10, 100}) {
            const double with = timeChanges(n);
            report("event to " + std::to_string(n) + " sink(s), per sink call", "ns/call",
                   (with - none) / (static_cast<double>(calls) * n) * 1e9, 0, "");
        }
        report("setAttribute with no sink", "ns/call", none / calls * 1e9, 0, "");
    }

private:
    GetClassObjectFn m_getClassObject;
    ComPtr<IClassFactory> m_factory;
};

// LoadLibrary of a fresh copy of the DLL, the class object and the first store.
void moduleLoad(const std::wstring& dllPath, const std::wstring& folder)
{
    const std::wstring copy = folder + L"\\TarnwickLoad.dll";
    if (!CopyFileW(dllPath.c_str(), copy.c_str(), FALSE))
        check(HRESULT_FROM_WIN32(GetLastError()), "CopyFile");
    const double elapsed = bestOf(5, [&] {
        const double start = now();
        HMODULE dll = LoadLibraryW(copy.c_str());
        if (!dll)
            check(HRESULT_FROM_WIN32(GetLastError()), "LoadLibrary");
        {
            auto getClassObject = reinterpret_cast<GetClassObjectFn>(
                reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
            ComPtr<IClassFactory> factory;
            check(getClassObject(CLSID_Tarnwick, IID_PPV_ARGS(&factory)), "DllGetClassObject");
            ComPtr<ITarnwick> store;
            check(factory->CreateInstance(nullptr, IID_PPV_ARGS(&store)), "CreateInstance");
        }
        const double took = now() - start;
        FreeLibrary(dll);
        return took;
    });
    const double domOnly = bestOf(5, [] {
        const double start = now();
        ComPtr<IXMLDOMDocument> doc = Bench::newDocument();
        return now() - start;
    });
    report("module load and first store", "ms", elapsed * 1e3, domOnly * 1e3, "creating a DOMDocument");
    DeleteFileW(copy.c_str());
}

void writeJson(const wchar_t* path)
{
    FILE* out = _wfopen(path, L"w");
    if (!out)
        return;
    std::fprintf(out, "[\n");
    for (size_t i = 0; i < g_rows.size(); ++i) {
        const Row& r = g_rows[i];
        std::fprintf(out, "  {\"name\": \"%s\", \"unit\": \"%s\", \"value\": %.6g", r.name.c_str(), r.unit.c_str(),
                     r.value);
        if (r.baseline > 0)
            std::fprintf(out, ", \"baseline\": %.6g, \"baseline_name\": \"%s\", \"ratio\": %.6g", r.baseline,
                         r.baselineName.c_str(), r.value / r.baseline);
        std::fprintf(out, "}%s\n", i + 1 < g_rows.size() ? "," : "");
    }
    std::fprintf(out, "]\n");
    std::fclose(out);
}

// The late-bound calls need the type library registered; this run registers it and
// removes it again, unless it was registered before.
class RegisteredLibrary {
public:
    explicit RegisteredLibrary(const wchar_t* dll)
    {
        ComPtr<ITypeLib> existing;
        if (SUCCEEDED(LoadRegTypeLib(LIBID_TARNWICKLib, 1, 0, 0, &existing)))
            return;
        ComPtr<ITypeLib> lib;
        check(LoadTypeLibEx(dll, REGKIND_NONE, &lib), "LoadTypeLibEx");
        check(RegisterTypeLib(lib.Get(), const_cast<LPOLESTR>(dll), nullptr), "RegisterTypeLib");
        m_registered = true;
    }
    RegisteredLibrary(const RegisteredLibrary&) = delete;
    RegisteredLibrary& operator=(const RegisteredLibrary&) = delete;
    ~RegisteredLibrary()
    {
        // Best effort: a library left registered harms nothing in the private prefix.
        if (m_registered)
            UnRegisterTypeLib(LIBID_TARNWICKLib, 1, 0, 0, (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
    }

private:
    bool m_registered = false;
};

} // namespace

int main()
{
    check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const std::wstring folder = std::wstring(temp) + L"tarnwick-bench";
        CreateDirectoryW(folder.c_str(), nullptr);

        HMODULE dll = LoadLibraryW(TARNWICK_DLL);
        if (!dll)
            check(HRESULT_FROM_WIN32(GetLastError()), "LoadLibrary(Tarnwick.dll)");
        RegisteredLibrary library(TARNWICK_DLL);
        Bench bench(dll);

        std::printf("%-52s %12s %-8s %12s\n", "measure", "Tarnwick", "unit", "baseline");
        for (int n : {1000, 10000, 100000}) {
            const auto [store, direct] = bestOfPair(
                n >= 100000 ? 3 : 7, [&] { return bench.typicalThroughStore(n); }, [&] { return Bench::typicalDirect(n); });
            report("typical request x" + std::to_string(n), "req/s", n / store, n / direct, "direct DOM calls");
            report("typical request x" + std::to_string(n) + ", per request", "us", store / n * 1e6, direct / n * 1e6,
                   "direct DOM calls");
        }
        for (int n : {10000, 100000})
            bench.saveAndLoad(n, folder + L"\\store.xml");
        bench.getElementAtTheEnd();
        bench.lateBinding();
        bench.events();
        moduleLoad(TARNWICK_DLL, folder);
    }
    writeJson(TARNWICK_BENCH_JSON);
    std::wprintf(L"figures written to %ls\n", TARNWICK_BENCH_JSON);
    CoUninitialize();
    return 0;
}
