// One outgoing interface of an object: its sink table, the IConnectionPoint that
// clients Advise on, and the container that finds it.
#pragma once

#include "framework/enumerator.h"

#include <olectl.h>

#include <new>
#include <vector>

namespace framework {

// Slots holding one reference each. Empty until the first Advise, then 4 slots,
// doubling when full; a new sink takes the lowest empty slot; the cookie is the
// slot number plus one; the table never shrinks.
class SinkTable {
public:
    SinkTable() = default;
    SinkTable(const SinkTable&) = delete;
    SinkTable& operator=(const SinkTable&) = delete;
    ~SinkTable() { clear(); }

    // Stores sink (taking over its reference) and gives its cookie, or 0 when the
    // table cannot grow.
    DWORD add(IUnknown* sink) noexcept
    {
        for (size_t i = 0; i < m_slots.size(); ++i) {
            if (!m_slots[i]) {
                m_slots[i] = sink;
                return static_cast<DWORD>(i + 1);
            }
        }
        const size_t filled = m_slots.size();
        try {
            m_slots.resize(filled == 0 ? 4 : filled * 2, nullptr);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        m_slots[filled] = sink;
        return static_cast<DWORD>(filled + 1);
    }

    // Empties the cookie's slot and gives back the sink it held (its reference now
    // the caller's), or null when the cookie names no connection.
    IUnknown* remove(DWORD cookie) noexcept
    {
        if (cookie == 0 || cookie > m_slots.size())
            return nullptr;
        IUnknown* sink = m_slots[cookie - 1];
        m_slots[cookie - 1] = nullptr;
        return sink;
    }

    size_t size() const noexcept { return m_slots.size(); }
    // Borrowed; slots at or beyond the table's size read as empty.
    IUnknown* at(size_t slot) const noexcept { return slot < m_slots.size() ? m_slots[slot] : nullptr; }

    void clear() noexcept
    {
        for (IUnknown*& sink : m_slots) {
            if (sink)
                sink->Release();
            sink = nullptr;
        }
        m_slots.clear();
    }

private:
    std::vector<IUnknown*> m_slots;
};

// The connection point for the outgoing interface *piid of owner class T. T derives
// from it and supplies controllingUnknown() (whose AddRef/Release keep T alive) and
// an IConnectionPointContainer.
template <class T, const IID* piid>
class ConnectionPoint {
public:
    ConnectionPoint() noexcept : m_point(this) {}

    IConnectionPoint* connectionPoint() noexcept { return &m_point; }
    const IID& connectionInterface() const noexcept { return *piid; }

protected:
    // True when a sink is connected, so that an event, its arguments and the reference
    // that keeps the object alive through it are made only for someone to receive it.
    bool hasSinks() const noexcept
    {
        for (size_t slot = 0; slot < m_sinks.size(); ++slot) {
            if (m_sinks.at(slot))
                return true;
        }
        return false;
    }

    // Calls fire(sink) on every connected sink in slot order. The number of slots is
    // read once; each slot is read afresh so that sinks may Advise and Unadvise from
    // inside their callbacks; each sink is held while it runs. Results are ignored.
    template <class Sink, class Fire>
    void firePass(Fire fire) noexcept
    {
        const size_t count = m_sinks.size();
        for (size_t slot = 0; slot < count; ++slot) {
            IUnknown* sink = m_sinks.at(slot);
            if (!sink)
                continue;
            ComPtr<Sink> held(static_cast<Sink*>(sink));
            fire(held.Get());
        }
    }

    SinkTable m_sinks;

private:
    T* owner() noexcept { return static_cast<T*>(this); }

    class Point final : public IConnectionPoint {
    public:
        explicit Point(ConnectionPoint* outer) noexcept : m_cp(outer) {}

        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
        {
            if (!ppv)
                return E_POINTER;
            *ppv = nullptr;
            if (!InlineIsEqualGUID(riid, IID_IUnknown) && !InlineIsEqualGUID(riid, IID_IConnectionPoint))
                return E_NOINTERFACE;
            AddRef();
            *ppv = static_cast<IConnectionPoint*>(this);
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return m_cp->owner()->controllingUnknown()->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_cp->owner()->controllingUnknown()->Release(); }

        STDMETHODIMP GetConnectionInterface(IID* iid) override
        {
            if (!iid)
                return E_POINTER;
            *iid = *piid;
            return S_OK;
        }

        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override
        {
            if (!container)
                return E_POINTER;
            *container = nullptr;
            return m_cp->owner()->controllingUnknown()->QueryInterface(IID_IConnectionPointContainer,
                                                                        reinterpret_cast<void**>(container));
        }

        STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override
        {
            if (cookie)
                *cookie = 0;
            if (!sink || !cookie)
                return E_POINTER;
            IUnknown* events = nullptr;
            const HRESULT hr = sink->QueryInterface(*piid, reinterpret_cast<void**>(&events));
            if (hr == E_NOINTERFACE)
                return CONNECT_E_CANNOTCONNECT;
            if (FAILED(hr))
                return hr;
            // A sink that claims the interface but hands out nothing cannot be called.
            if (!events)
                return CONNECT_E_CANNOTCONNECT;
            const DWORD added = m_cp->m_sinks.add(events);
            if (added == 0) {
                events->Release();
                return CONNECT_E_ADVISELIMIT;
            }
            *cookie = added;
            return S_OK;
        }

        STDMETHODIMP Unadvise(DWORD cookie) override
        {
            IUnknown* sink = m_cp->m_sinks.remove(cookie);
            if (!sink)
                return CONNECT_E_NOCONNECTION;
            sink->Release();
            return S_OK;
        }

        STDMETHODIMP EnumConnections(IEnumConnections** out) override
        {
            if (!out)
                return E_POINTER;
            *out = nullptr;
            std::vector<CONNECTDATA> connections;
            try {
                for (size_t slot = 0; slot < m_cp->m_sinks.size(); ++slot) {
                    if (IUnknown* sink = m_cp->m_sinks.at(slot))
                        connections.push_back({sink, static_cast<DWORD>(slot + 1)});
                }
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
            return ConnectionEnumerator::create(m_cp->owner()->controllingUnknown(), connections, 0, out);
        }

    private:
        ConnectionPoint* m_cp;
    };

    Point m_point;
};

// The container of an object with exactly one connection point, which T provides
// through connectionPoint().
template <class T>
class ConnectionPointContainer : public IConnectionPointContainer {
public:
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        T* owner = static_cast<T*>(this);
        std::vector<IConnectionPoint*> points;
        try {
            points.push_back(owner->connectionPoint());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return ConnectionPointEnumerator::create(owner->controllingUnknown(), points, 0, out);
    }

    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        T* owner = static_cast<T*>(this);
        if (!InlineIsEqualGUID(riid, owner->connectionInterface()))
            return CONNECT_E_NOCONNECTION;
        IConnectionPoint* point = owner->connectionPoint();
        point->AddRef();
        *out = point;
        return S_OK;
    }
};

} // namespace framework
