// Tarnwick's benchmarks. Every figure stands beside a baseline measured in the same
// run: the same DOM work done directly on an IXMLDOMDocument, or the early-bound call
// beside the late-bound one. Measure and baseline are taken in pairs, one right after
// the other, so that both see the same machine; each pair gives a ratio, and a figure
// reports the median of its pairs' ratios with their spread. Prints a table and writes
// the figures as JSON.
#include "Tarnwick.h"
#include "framework/com.h"
#include "store/dom_types.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using framework::Bstr;
using framework::ComPtr;
using framework::Variant;

namespace {

const CLSID kClsidDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// What the store may add to the DOM work it wraps.
const double kTypicalGoal = 1.10;
const double kPersistGoal = 1.02;
const double kSearchSlopeGoal = 1.05;
const int kRequestsPerStep = 25;

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

// One pair: the measure's time and the baseline's, taken back to back, and their ratio.
struct Pair {
    double measure;
    double baseline;
    double ratio;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One pair, in rounds of four steps, measure-baseline-baseline-measure or the mirror
// image, each step timing only its own work. Within a round the side that goes first
// also goes last, so whatever favours first or second place, or drifts over the round,
// weighs on both alike; the rounds alternate their mirror image. The pair's times are
// the medians of its rounds and its ratio the median of the rounds' ratios: a round
// that the rest of the machine interrupted is an outlier, which a median passes over
// where a sum would keep it. Short steps are interrupted seldom.
Pair interleave(int rounds, bool measureFirst, const std::function<double()>& measureStep,
                const std::function<double()>& baselineStep)
{
    std::vector<double> measures;
    std::vector<double> baselines;
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        double m = 0;
        double b = 0;
        if ((i % 2 == 0) == measureFirst) {
            m += measureStep();
            b += baselineStep();
            b += baselineStep();
            m += measureStep();
        } else {
            b += baselineStep();
            m += measureStep();
            m += measureStep();
            b += baselineStep();
        }
        measures.push_back(m / 2);
        baselines.push_back(b / 2);
        ratios.push_back(m / b);
    }
    return {median(measures), median(baselines), median(ratios)};
}

// A figure begins no new pair once it has taken this long, so that a busy machine or
// a slow operation does not stretch the run without end; it still takes kLeastPairs.
const double kPairBudgetSeconds = 15;
const int kLeastPairs = 3;

// count pairs, or fewer when they take long; which side starts alternates from pair to pair.
std::vector<Pair> pairs(int count, const std::function<Pair(bool measureFirst)>& pair)
{
    std::vector<Pair> taken;
    const double began = now();
    for (int i = 0; i < count && (i < kLeastPairs || now() - began < kPairBudgetSeconds); ++i)
        taken.push_back(pair(i % 2 == 0));
    return taken;
}

// The pairs with both times scaled into a figure's unit.
std::vector<Pair> scaled(const std::vector<Pair>& taken, double factor)
{
    std::vector<Pair> out;
    for (const Pair& p : taken)
        out.push_back({p.measure * factor, p.baseline * factor, p.ratio});
    return out;
}

struct Figure {
    std::string name;
    std::string unit;
    double value = 0; // median of the measures
    bool compared = false;
    double baseline = 0; // median of the baselines
    std::string baselineName;
    double ratio = 0; // median of the pairs' ratios
    double low = 0;   // the least and greatest pair ratio; without a baseline, value
    double high = 0;
    double goal = 0; // 0: none
    bool noisy = false;
};

std::vector<Figure> g_figures;

void printFigure(const Figure& f)
{
    char spread[48];
    char goal[24] = "";
    if (f.compared) {
        std::snprintf(spread, sizeof spread, "%.3f-%.3f", f.low, f.high);
        if (f.goal > 0)
            std::snprintf(goal, sizeof goal, "<=%.2f %s", f.goal, f.ratio <= f.goal ? "met" : "MISSED");
        std::printf("%-44s %11.3f %11.3f %-7s %7.3f %-15s %-12s %-5s %s\n", f.name.c_str(), f.value, f.baseline,
                    f.unit.c_str(), f.ratio, spread, goal, f.noisy ? "noisy" : "", f.baselineName.c_str());
    } else {
        std::snprintf(spread, sizeof spread, "%.3g-%.3g", f.low, f.high);
        std::printf("%-44s %11.3f %11s %-7s %7s %-15s %-12s %-5s\n", f.name.c_str(), f.value, "", f.unit.c_str(), "",
                    spread, "", f.noisy ? "noisy" : "");
    }
    std::fflush(stdout);
}

// A figure against its baseline, from pairs already in the figure's unit. It is noisy
// when its pairs disagree by more than the effect it reports: the spread of the pair
// ratios is wider than the median ratio's distance from 1.
void compare(const std::string& name, const std::string& unit, const std::vector<Pair>& taken,
             const std::string& baselineName, double goal = 0)
{
    std::vector<double> measures;
    std::vector<double> baselines;
    std::vector<double> ratios;
    for (const Pair& p : taken) {
        measures.push_back(p.measure);
        baselines.push_back(p.baseline);
        ratios.push_back(p.ratio);
    }
    Figure f;
    f.name = name;
    f.unit = unit;
    f.value = median(measures);
    f.compared = true;
    f.baseline = median(baselines);
    f.baselineName = baselineName;
    f.ratio = median(ratios);
    f.low = *std::min_element(ratios.begin(), ratios.end());
    f.high = *std::max_element(ratios.begin(), ratios.end());
    f.goal = goal;
    f.noisy = f.high - f.low > std::fabs(f.ratio - 1);
    g_figures.push_back(f);
    printFigure(f);
}

// A figure without a baseline, such as a difference between two measures of a pair:
// noisy when its values spread wider than the median's distance from 0.
void plain(const std::string& name, const std::string& unit, const std::vector<double>& values)
{
    Figure f;
    f.name = name;
    f.unit = unit;
    f.value = median(values);
    f.low = *std::min_element(values.begin(), values.end());
    f.high = *std::max_element(values.begin(), values.end());
    f.noisy = f.high - f.low > std::fabs(f.value);
    g_figures.push_back(f);
    printFigure(f);
}

// The DOM's own save made as safe as the store's: into a new file beside the target,
// flushed, then moved over the target in one step.
void saveSafely(IXMLDOMDocument* doc, const std::wstring& target)
{
    const std::wstring temporary = target + L".new";
    check(doc->save(Variant(temporary.c_str()).get()), "save");
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        check(HRESULT_FROM_WIN32(GetLastError()), "CreateFile");
    const BOOL flushed = FlushFileBuffers(file);
    CloseHandle(file);
    if (!flushed)
        check(HRESULT_FROM_WIN32(GetLastError()), "FlushFileBuffers");
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        check(HRESULT_FROM_WIN32(GetLastError()), "MoveFileEx");
}

HANDLE openFile(const std::wstring& name, DWORD disposition)
{
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        check(HRESULT_FROM_WIN32(GetLastError()), "CreateFile");
    return file;
}

void writeAll(HANDLE file, const std::string& bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const DWORD size = static_cast<DWORD>(std::min(chunk, bytes.size() - at));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + at, size, &written, nullptr) || written != size)
            check(HRESULT_FROM_WIN32(GetLastError()), "WriteFile");
    }
}

// The file-system steps that set a safe save apart from a save in place, each timed on
// its own with target's content: making the new file, flushing it, moving it over the
// old one; and what a save in place does instead, truncating the old file.
void fileSteps(const std::wstring& target, const std::string& elements)
{
    std::string bytes;
    {
        HANDLE file = openFile(target, OPEN_EXISTING);
        bytes.resize(GetFileSize(file, nullptr));
        DWORD read = 0;
        const BOOL ok = ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        if (!ok || read != bytes.size())
            check(E_FAIL, "ReadFile");
    }
    const std::wstring temporary = target + L".new";
    std::vector<double> creating, flushing, moving, truncating;
    for (int round = 0; round < 21; ++round) {
        double start = now();
        HANDLE file = openFile(temporary, CREATE_NEW);
        creating.push_back(now() - start);
        writeAll(file, bytes, 64 * 1024);
        start = now();
        const BOOL flushed = FlushFileBuffers(file);
        flushing.push_back(now() - start);
        CloseHandle(file);
        if (!flushed)
            check(HRESULT_FROM_WIN32(GetLastError()), "FlushFileBuffers");
        start = now();
        const BOOL moved = MoveFileExW(temporary.c_str(), target.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        moving.push_back(now() - start);
        if (!moved)
            check(HRESULT_FROM_WIN32(GetLastError()), "MoveFileEx");

        start = now();
        file = openFile(target, CREATE_ALWAYS);
        truncating.push_back(now() - start);
        writeAll(file, bytes, 4 * 1024);
        CloseHandle(file);
    }
    const auto us = [](std::vector<double> values) {
        for (double& v : values)
            v *= 1e6;
        return values;
    };
    const std::string of = ", " + elements + " elements' file";
    plain("making a new file" + of, "us", us(creating));
    plain("flushing it" + of, "us", us(flushing));
    plain("moving it over the old" + of, "us", us(moving));
    plain("truncating the old" + of, "us", us(truncating));
}

// A DOM document set up as the store sets up its own, so that loads parse alike.
ComPtr<IXMLDOMDocument> newDocument()
{
    ComPtr<IXMLDOMDocument> doc;
    check(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&doc)),
          "CoCreateInstance(DOMDocument)");
    check(doc->put_async(VARIANT_FALSE), "put_async");
    check(doc->put_resolveExternals(VARIANT_FALSE), "put_resolveExternals");
    check(doc->put_validateOnParse(VARIANT_FALSE), "put_validateOnParse");
    return doc;
}

// A DOM document with an element "root", worked on directly: the baselines.
struct DirectDocument {
    ComPtr<IXMLDOMDocument> doc;
    ComPtr<IXMLDOMNode> root;

    DirectDocument() : doc(newDocument())
    {
        Bstr rootName = text(L"root");
        ComPtr<IXMLDOMElement> element;
        check(doc->createElement(rootName.get(), &element), "createElement");
        check(doc->appendChild(element.Get(), nullptr), "appendChild");
        check(element.As(&root), "QueryInterface");
    }

    static void fetchDocument(IXMLDOMNode* node)
    {
        ComPtr<IXMLDOMDocument> owner;
        check(node->get_ownerDocument(&owner), "get_ownerDocument");
    }

    ComPtr<IXMLDOMNode> newElement(const wchar_t* name) const
    {
        Bstr id = text(name);
        VARIANT type;
        V_VT(&type) = VT_I4;
        V_I4(&type) = NODE_ELEMENT;
        ComPtr<IXMLDOMNode> node;
        check(doc->createNode(type, id.get(), nullptr, &node), "createNode");
        return node;
    }

    // The DOM calls of the store's typical request: create, append under the root, and
    // set an integer attribute the way the store does (look for the node, make a new one).
    // With fetchDocuments, each handle's owner document is fetched as the store fetches it
    // to refuse another document's nodes, so that the check's share of a request shows.
    void typicalRequest(const wchar_t* name, BSTR attribute, int value, bool fetchDocuments = false) const
    {
        ComPtr<IXMLDOMNode> node = newElement(name);
        if (fetchDocuments)
            fetchDocument(node.Get());
        check(root->appendChild(node.Get(), nullptr), "appendChild");
        ComPtr<IXMLDOMElement> element;
        check(node.As(&element), "QueryInterface");
        if (fetchDocuments)
            fetchDocument(element.Get());
        // Only the lookup's cost matters here: a new element has no such attribute.
        ComPtr<IXMLDOMAttribute> existing;
        element->getAttributeNode(attribute, &existing);
        ComPtr<IXMLDOMAttribute> created;
        check(doc->createAttribute(attribute, &created), "createAttribute");
        VARIANT number;
        V_VT(&number) = VT_I4;
        V_I4(&number) = value;
        check(created->put_nodeValue(number), "put_nodeValue");
        check(element->setAttributeNode(created.Get(), nullptr), "setAttributeNode");
    }
};

// createElement, addElement under the root, setAttribute with an integer.
void typicalRequest(ITarnwick* store, const wchar_t* name, BSTR attribute, int value)
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

// The name of the i-th of n elements: the last one is the one the searches look for.
const wchar_t* fillName(int i, int n)
{
    return i == n - 1 ? L"last" : L"item";
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

    // A store holding n elements with one attribute each, the last one named "last".
    ComPtr<ITarnwick> filledStore(int n)
    {
        ComPtr<ITarnwick> store = newStore();
        check(store->setNotify(0), "setNotify");
        Bstr attribute = text(L"n");
        for (int i = 0; i < n; ++i)
            typicalRequest(store.Get(), fillName(i, n), attribute.get(), i);
        return store;
    }

    // A filled store and the same document built directly, request by request side by
    // side, so that their nodes lie in the heap alike.
    std::pair<ComPtr<ITarnwick>, DirectDocument> filledTogether(int n)
    {
        ComPtr<ITarnwick> store = newStore();
        check(store->setNotify(0), "setNotify");
        DirectDocument direct;
        Bstr attribute = text(L"n");
        for (int i = 0; i < n; ++i) {
            typicalRequest(store.Get(), fillName(i, n), attribute.get(), i);
            direct.typicalRequest(fillName(i, n), attribute.get(), i);
        }
        return {store, std::move(direct)};
    }

    // A pair fills a new store and a new document with n requests each, side by side,
    // a few requests a step, so both grow alike; a small n is filled several times over,
    // each time into a new store and document made outside the timing.
    std::vector<Pair> typicalPairs(int n, bool fetchDocuments)
    {
        const int fills = n <= 1000 ? 5 : 1;
        return pairs(n >= 100000 ? 5 : 7, [&](bool measureFirst) {
            ComPtr<ITarnwick> store;
            DirectDocument direct;
            Bstr attribute = text(L"n");
            int stored = n;
            int made = n;
            return interleave(
                fills * n / (2 * kRequestsPerStep), measureFirst,
                [&] {
                    if (stored == n) {
                        store = newStore();
                        stored = 0;
                    }
                    const double start = now();
                    for (int i = 0; i < kRequestsPerStep; ++i, ++stored)
                        typicalRequest(store.Get(), L"item", attribute.get(), stored);
                    return now() - start;
                },
                [&] {
                    if (made == n) {
                        direct = DirectDocument();
                        made = 0;
                    }
                    const double start = now();
                    for (int i = 0; i < kRequestsPerStep; ++i, ++made)
                        direct.typicalRequest(L"item", attribute.get(), made, fetchDocuments);
                    return now() - start;
                });
        });
    }

    void typical()
    {
        for (int n : {1000, 10000, 100000}) {
            const auto taken = typicalPairs(n, false);
            std::vector<Pair> throughput;
            for (const Pair& p : taken)
                throughput.push_back({kRequestsPerStep / p.measure, kRequestsPerStep / p.baseline, 1 / p.ratio});
            compare("typical request x" + std::to_string(n), "req/s", throughput, "direct DOM calls");
            compare("typical request x" + std::to_string(n) + ", per request", "us",
                    scaled(taken, 1e6 / kRequestsPerStep), "direct DOM calls", kTypicalGoal);
        }
    }

    // Each side saves to its own file, so each save replaces a file of the same size.
    // safely: the baseline's save is made as safe as the store's.
    std::vector<Pair> savePairs(IPersistFile* persist, IXMLDOMDocument* doc, bool large, const std::wstring& file,
                                const std::wstring& directFile, bool safely)
    {
        return pairs(7, [&](bool measureFirst) {
            return interleave(
                large ? 3 : 9, measureFirst,
                [&] {
                    const double start = now();
                    check(persist->Save(file.c_str(), FALSE), "Save");
                    return now() - start;
                },
                [&] {
                    const double start = now();
                    if (safely)
                        saveSafely(doc, directFile);
                    else
                        check(doc->save(Variant(directFile.c_str()).get()), "save");
                    return now() - start;
                });
        });
    }

    // Where the typical request's and Save's goals are missed: what the store costs
    // besides the check of each handle's document (under Wine's msxml3 each fetch of a
    // node's document builds a new document object), and besides a safe replacement of
    // the old file. Run last, so that the heap they leave behind moves no other figure.
    void shares(const std::wstring& file, const std::wstring& directFile)
    {
        for (int n : {1000, 10000})
            compare("typical request x" + std::to_string(n) + ", document check aside", "us",
                    scaled(typicalPairs(n, true), 1e6 / kRequestsPerStep), "DOM calls + document fetch");
        for (int n : {10000, 100000}) {
            ComPtr<ITarnwick> store = filledStore(n);
            ComPtr<IPersistFile> persist;
            check(store.As(&persist), "QueryInterface(IPersistFile)");
            ComPtr<IXMLDOMDocument> doc;
            check(store.As(&doc), "QueryInterface(IXMLDOMDocument)");
            compare("Save, " + std::to_string(n) + ", safe replacement aside", "ms",
                    scaled(savePairs(persist.Get(), doc.Get(), n >= 100000, file, directFile, true), 1e3),
                    "DOM save, flush, move");
            if (n == 10000)
                fileSteps(directFile, std::to_string(n));
        }
    }

    void saveAndLoad(int n, const std::wstring& file, const std::wstring& directFile)
    {
        ComPtr<ITarnwick> store = filledStore(n);
        ComPtr<IPersistFile> persist;
        check(store.As(&persist), "QueryInterface(IPersistFile)");
        ComPtr<IXMLDOMDocument> doc;
        check(store.As(&doc), "QueryInterface(IXMLDOMDocument)");
        const bool large = n >= 100000;

        compare("Save, " + std::to_string(n) + " elements", "ms",
                scaled(savePairs(persist.Get(), doc.Get(), large, file, directFile, false), 1e3), "DOM save",
                kPersistGoal);

        // Each load goes into a new, empty store or document, made outside the timing:
        // what a load costs depends on what the document held before. The baseline
        // keeps the loaded document element, as the store keeps its root.
        const std::wstring url = L"file://" + file;
        const auto load = pairs(7, [&](bool measureFirst) {
            return interleave(
                large ? 1 : 5, measureFirst,
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
        });
        compare("Load, " + std::to_string(n) + " elements", "ms", scaled(load, 1e3), "DOM load", kPersistGoal);
    }

    // getElement of the element added last, which the search reaches last, beside the
    // same selectSingleNode on a DOM document built the same way. The cost per element
    // searched is the slope between the smallest and the largest document, so that the
    // constant cost of a call drops out; each pass over the sizes gives one slope of each.
    void getElementAtTheEnd()
    {
        const std::vector<int> sizes = {100, 1000, 10000};
        const int sizeCount = static_cast<int>(sizes.size());
        const int mostPasses = 9;
        std::vector<ComPtr<ITarnwick>> stores;
        std::vector<DirectDocument> documents;
        for (int n : sizes) {
            auto filled = filledTogether(n);
            stores.push_back(filled.first);
            documents.push_back(std::move(filled.second));
        }
        Bstr id = text(L"last");
        Bstr query = text(L".//last");

        std::vector<std::vector<Pair>> perCall(sizeCount);
        const double began = now();
        int passes = 0;
        while (passes < mostPasses && (passes < kLeastPairs || now() - began < kPairBudgetSeconds)) {
            for (int s = 0; s < sizeCount; ++s) {
                // Steps of a fraction of a millisecond where a call is that short.
                const int callsPerStep = std::max(1, 300 / sizes[s]);
                const int rounds = std::max(8, std::min(30, 25000 / sizes[s] / callsPerStep));
                const Pair p = interleave(
                    rounds, (passes + s) % 2 == 0,
                    [&] {
                        const double start = now();
                        for (int i = 0; i < callsPerStep; ++i) {
                            ComPtr<IUnknown> found;
                            check(stores[s]->getElement(nullptr, id.get(), &found), "getElement");
                        }
                        return now() - start;
                    },
                    [&] {
                        const double start = now();
                        for (int i = 0; i < callsPerStep; ++i) {
                            ComPtr<IXMLDOMNode> found;
                            if (documents[s].root->selectSingleNode(query.get(), &found) != S_OK)
                                check(E_FAIL, "selectSingleNode");
                        }
                        return now() - start;
                    });
                perCall[s].push_back({p.measure / callsPerStep, p.baseline / callsPerStep, p.ratio});
            }
            ++passes;
        }

        for (int s = 0; s < sizeCount; ++s)
            compare("getElement of the last of " + std::to_string(sizes[s]), "us/call", scaled(perCall[s], 1e6),
                    "selectSingleNode on the DOM");
        const double first = sizes.front();
        const double last = sizes.back();
        std::vector<Pair> slope;
        for (int pass = 0; pass < passes; ++pass) {
            const Pair& small = perCall.front()[pass];
            const Pair& large = perCall.back()[pass];
            const double measure = (large.measure - small.measure) / (last - first) * 1e9;
            const double baseline = (large.baseline - small.baseline) / (last - first) * 1e9;
            slope.push_back({measure, baseline, measure / baseline});
        }
        compare("getElement per element, " + std::to_string(sizes.front()) + " to " + std::to_string(sizes.back()),
                "ns/elem", slope, "selectSingleNode on the DOM", kSearchSlopeGoal);
    }

    // A chain: each element added under the one added before it, so every append goes
    // one level deeper. The elements are made before the timing; only the appends are
    // timed, the store's and the DOM's chains growing side by side.
    void chain()
    {
        const int perStep = 10;
        for (int depth : {500, 4000}) {
            const auto taken = pairs(depth >= 4000 ? 5 : 7, [&](bool measureFirst) {
                ComPtr<ITarnwick> store = newStore();
                ComPtr<IUnknown> root;
                check(store->getRootElement(&root), "getRootElement");
                std::vector<ComPtr<IUnknown>> links(depth);
                for (auto& link : links) {
                    Bstr name = text(L"link");
                    check(store->createElement(name.inOut(), &link), "createElement");
                }
                DirectDocument direct;
                std::vector<ComPtr<IXMLDOMNode>> directLinks;
                for (int i = 0; i < depth; ++i)
                    directLinks.push_back(direct.newElement(L"link"));

                IUnknown* parent = root.Get();
                IXMLDOMNode* directParent = direct.root.Get();
                int added = 0;
                int appended = 0;
                return interleave(
                    depth / (2 * perStep), measureFirst,
                    [&] {
                        const double start = now();
                        for (int i = 0; i < perStep; ++i, ++added) {
                            check(store->addElement(parent, links[added].Get()), "addElement");
                            parent = links[added].Get();
                        }
                        return now() - start;
                    },
                    [&] {
                        const double start = now();
                        for (int i = 0; i < perStep; ++i, ++appended) {
                            check(directParent->appendChild(directLinks[appended].Get(), nullptr), "appendChild");
                            directParent = directLinks[appended].Get();
                        }
                        return now() - start;
                    });
            });
            compare("chain of " + std::to_string(depth) + ", per addElement", "us", scaled(taken, 1e6 / perStep),
                    "DOM appendChild");
        }
    }

    void lateBinding()
    {
        ComPtr<ITarnwick> store = newStore();
        ComPtr<IDispatch> dispatch;
        check(store.As(&dispatch), "QueryInterface(IDispatch)");
        const int perStep = 500;
        const int rounds = 50;
        const auto taken = pairs(7, [&](bool measureFirst) {
            return interleave(
                rounds, measureFirst,
                [&] {
                    VARIANT argument;
                    V_VT(&argument) = VT_I4;
                    V_I4(&argument) = 1;
                    DISPPARAMS params = {&argument, nullptr, 1, 0};
                    const double start = now();
                    for (int i = 0; i < perStep; ++i)
                        check(dispatch->Invoke(15, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                              "Invoke(setNotify)");
                    return now() - start;
                },
                [&] {
                    const double start = now();
                    for (int i = 0; i < perStep; ++i)
                        check(store->setNotify(1), "setNotify");
                    return now() - start;
                });
        });
        compare("setNotify through IDispatch::Invoke", "ns/call", scaled(taken, 1e9 / perStep),
                "vtable call");
    }

    // setAttribute with sinks connected beside setAttribute with none; what one sink
    // call costs is the difference of a pair, per call and sink.
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

        struct Connected {
            ComPtr<ITarnwick> store;
            ComPtr<IUnknown> root;
        };
        auto connect = [&](int sinkCount) {
            Connected c{newStore(), nullptr};
            ComPtr<IConnectionPointContainer> container;
            check(c.store.As(&container), "QueryInterface(IConnectionPointContainer)");
            ComPtr<IConnectionPoint> point;
            check(container->FindConnectionPoint(IID_ITarnwickEvents, &point), "FindConnectionPoint");
            for (int i = 0; i < sinkCount; ++i) {
                DWORD cookie = 0;
                check(point->Advise(&sinks[i], &cookie), "Advise");
            }
            check(c.store->getRootElement(&c.root), "getRootElement");
            return c;
        };
        Bstr attribute = text(L"n");
        const int perStep = 200;
        const int rounds = 50;
        auto changes = [&](const Connected& c) {
            VARIANT value;
            V_VT(&value) = VT_I4;
            V_I4(&value) = 7;
            const double start = now();
            for (int i = 0; i < perStep; ++i)
                check(c.store->setAttribute(c.root.Get(), attribute.get(), &value), "setAttribute");
            return now() - start;
        };

        const Connected none = connect(0);
        for (int n : {1, 10, 100}) {
            const Connected with = connect(n);
            const auto taken = pairs(7, [&](bool measureFirst) {
                return interleave(
                    rounds, measureFirst, [&] { return changes(with); }, [&] { return changes(none); });
            });
            compare("setAttribute with " + std::to_string(n) + " sink(s)", "ns/call", scaled(taken, 1e9 / perStep),
                    "setAttribute with no sink");
            std::vector<double> perSink;
            for (const Pair& p : taken)
                perSink.push_back((p.measure - p.baseline) / (static_cast<double>(perStep) * n) * 1e9);
            plain("event to " + std::to_string(n) + " sink(s), per sink call", "ns/call", perSink);
        }
    }

private:
    GetClassObjectFn m_getClassObject;
    ComPtr<IClassFactory> m_factory;
};

// LoadLibrary of a fresh copy of the DLL, the class object and the first store, beside
// creating a DOM document.
void moduleLoad(const std::wstring& dllPath, const std::wstring& folder)
{
    const std::wstring copy = folder + L"\\TarnwickLoad.dll";
    if (!CopyFileW(dllPath.c_str(), copy.c_str(), FALSE))
        check(HRESULT_FROM_WIN32(GetLastError()), "CopyFile");
    const auto taken = pairs(7, [&](bool measureFirst) {
        return interleave(
            7, measureFirst,
            [&] {
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
            },
            [] {
                const double start = now();
                ComPtr<IXMLDOMDocument> doc = newDocument();
                return now() - start;
            });
    });
    compare("module load and first store", "ms", scaled(taken, 1e3), "creating a DOMDocument");
    // Best effort: the copy lies in the run's own temporary folder.
    DeleteFileW(copy.c_str());
}

void writeJson(const wchar_t* path)
{
    FILE* out = _wfopen(path, L"w");
    if (!out) {
        std::fprintf(stderr, "cannot write %ls\n", path);
        return;
    }
    std::fprintf(out, "{\n  \"bitness\": \"%s\",\n  \"figures\": [\n", sizeof(void*) == 8 ? "64-bit" : "32-bit");
    for (size_t i = 0; i < g_figures.size(); ++i) {
        const Figure& f = g_figures[i];
        std::fprintf(out, "    {\"name\": \"%s\", \"unit\": \"%s\", \"value\": %.6g", f.name.c_str(), f.unit.c_str(),
                     f.value);
        if (f.compared) {
            std::fprintf(out,
                         ", \"baseline\": %.6g, \"baseline_name\": \"%s\", \"ratio\": %.6g, \"ratio_min\": %.6g, "
                         "\"ratio_max\": %.6g",
                         f.baseline, f.baselineName.c_str(), f.ratio, f.low, f.high);
            if (f.goal > 0)
                std::fprintf(out, ", \"goal\": %.6g, \"meets_goal\": %s", f.goal, f.ratio <= f.goal ? "true" : "false");
        } else {
            std::fprintf(out, ", \"value_min\": %.6g, \"value_max\": %.6g", f.low, f.high);
        }
        std::fprintf(out, ", \"noisy\": %s}%s\n", f.noisy ? "true" : "false", i + 1 < g_figures.size() ? "," : "");
    }
    std::fprintf(out, "  ]\n}\n");
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

        std::printf("%s; each figure the median of its pairs, spread the least and greatest pair ratio\n",
                    sizeof(void*) == 8 ? "64-bit" : "32-bit");
        std::printf("%-44s %11s %11s %-7s %7s %-15s %-12s %-5s %s\n", "figure", "Tarnwick", "baseline", "unit",
                    "ratio", "spread", "goal", "", "baseline is");
        bench.typical();
        for (int n : {10000, 100000})
            bench.saveAndLoad(n, folder + L"\\store.xml", folder + L"\\document.xml");
        bench.getElementAtTheEnd();
        bench.chain();
        bench.lateBinding();
        bench.events();
        bench.shares(folder + L"\\store.xml", folder + L"\\document.xml");
        moduleLoad(TARNWICK_DLL, folder);
    }
    writeJson(TARNWICK_BENCH_JSON);
    std::wprintf(L"figures written to %ls\n", TARNWICK_BENCH_JSON);
    CoUninitialize();
    return 0;
}
