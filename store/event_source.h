// The store's event source: its connection point for ITarnwickEvents and the five
// routines that call every connected sink. The routines do not look at the event
// switch; each operation tests it before firing.
#pragma once

#include "framework/connection_point.h"
#include "Tarnwick.h"

template <class T>
class CProxyITarnwickEvents : public framework::ConnectionPoint<T, &IID_ITarnwickEvents> {
public:
    void Fire_onElementCreated(IUnknown* parent, BSTR elemid, IUnknown* hElem) noexcept
    {
        this->template firePass<ITarnwickEvents>(
            [&](ITarnwickEvents* sink) { sink->onElementCreated(parent, elemid, hElem); });
    }

    void Fire_onElementDeleted(IUnknown* hElem) noexcept
    {
        this->template firePass<ITarnwickEvents>([&](ITarnwickEvents* sink) { sink->onElementDeleted(hElem); });
    }

    // attrValue is the caller's VARIANT, passed on bitwise: sinks must not clear it.
    void Fire_onElementChanged(IUnknown* hElem, BSTR attrname, VARIANT attrValue) noexcept
    {
        this->template firePass<ITarnwickEvents>(
            [&](ITarnwickEvents* sink) { sink->onElementChanged(hElem, attrname, attrValue); });
    }

    void Fire_onDeleteAll() noexcept
    {
        this->template firePass<ITarnwickEvents>([](ITarnwickEvents* sink) { sink->onDeleteAll(); });
    }

    void Fire_onPersist(GUID* iid, VARIANT* pData) noexcept
    {
        this->template firePass<ITarnwickEvents>([&](ITarnwickEvents* sink) { sink->onPersist(iid, pData); });
    }
};
