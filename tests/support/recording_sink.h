// An ITarnwickEvents sink for tests: it records every event it receives as a line of
// text and can be told what to do when an event reaches it (call back into the
// store, unadvise, fail).
#pragma once

#include "tarnwick_test.h"

#include <functional>
#include <string>
#include <vector>

namespace tarnwick_test {

class RecordingSink final : public ITarnwickEvents {
public:
    // Made with one reference, which the caller owns.
    static ComPtr<RecordingSink> create(std::wstring name = L"sink");

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP onElementCreated(IUnknown* parent, BSTR elemid, IUnknown* hElem) override;
    STDMETHODIMP onElementDeleted(IUnknown* hElem) override;
    STDMETHODIMP onElementChanged(IUnknown* hElem, BSTR attrname, VARIANT attrValue) override;
    STDMETHODIMP onDeleteAll() override;
    STDMETHODIMP onPersist(GUID* iid, VARIANT* pData) override;

    // Connects to / disconnects from a store's connection point; cookie() is the last
    // cookie. The sink keeps no reference on the store.
    HRESULT advise(IUnknown* store);
    HRESULT unadvise(IUnknown* store);
    DWORD cookie() const { return m_cookie; }

    // Events as text, for instance "created root/item", "deleted item",
    // "changed item size=3 (VT 3)", "deleteAll", "persist file://C:\\a.xml".
    std::vector<std::wstring> events;
    // Every event is also appended to this shared log, prefixed with the sink's name.
    std::vector<std::wstring>* sharedLog = nullptr;
    // Called after the event was recorded; its result becomes the event's result.
    std::function<HRESULT(const std::wstring& event)> onEvent;

    // Arguments of the last event, with a reference where they are interfaces.
    ComPtr<IUnknown> lastParent;
    ComPtr<IUnknown> lastElement;
    BSTR lastAttrName = nullptr; // the pointer the sink saw, not a copy
    VARIANT lastValue{};         // bitwise copy of what the sink saw; not owned
    GUID lastIid{};
    std::wstring lastUrl;

    ULONG references() const { return m_refs; }

private:
    explicit RecordingSink(std::wstring name) : m_name(std::move(name)) {}
    HRESULT record(const std::wstring& event);

    ULONG m_refs = 1;
    std::wstring m_name;
    DWORD m_cookie = 0;
};

// Sinks of one test that all log into one shared log, so the log shows the order in
// which the store called them.
class SharedLogSinks {
protected:
    // A recording sink that logs into the shared log; not yet connected.
    RecordingSink* makeSink(const wchar_t* name)
    {
        sinks.push_back(RecordingSink::create(name));
        sinks.back()->sharedLog = &log;
        return sinks.back().Get();
    }

    std::vector<ComPtr<RecordingSink>> sinks;
    std::vector<std::wstring> log;
};

// The name of a node handle ("" when it is not a node).
std::wstring nodeName(IUnknown* node);

} // namespace tarnwick_test
