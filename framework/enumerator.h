// A snapshot enumerator over interface-carrying items (CONNECTDATA, connection
// points): it owns one reference on each item and hands out one more per item read.
// It also keeps whatever it enumerates alive through `owner`.
#pragma once

#include "framework/object.h"

#include <vector>

namespace framework {

// Traits: how to copy an item out (adding a reference) and how to drop one.
struct ConnectDataTraits {
    static void addRef(const CONNECTDATA& item) { item.pUnk->AddRef(); }
    static void release(CONNECTDATA& item) { item.pUnk->Release(); }
};

template <class Item>
struct InterfaceTraits {
    static void addRef(Item* item) { item->AddRef(); }
    static void release(Item* item) { item->Release(); }
};

template <class EnumInterface, const IID* piid, class Item, class Traits>
class SnapshotEnumerator : public ObjectRoot, public EnumInterface {
public:
    static const InterfaceEntry* interfaceTable() noexcept
    {
        static const InterfaceEntry entries[] = {
            {piid, offsetOfBase<EnumInterface, SnapshotEnumerator>(), nullptr},
            {nullptr, 0, nullptr},
        };
        return entries;
    }

    void finalRelease() noexcept
    {
        for (Item& item : m_items)
            Traits::release(item);
        m_items.clear();
    }

    // Makes an enumerator over a copy of items (each item gets its own reference).
    static HRESULT create(IUnknown* owner, const std::vector<Item>& items, size_t position, EnumInterface** out) noexcept
    {
        ComPtr<Object<SnapshotEnumerator>> created;
        FW_RETURN_IF_FAILED(Object<SnapshotEnumerator>::create(created.GetAddressOf()));
        // create() already holds one reference; GetAddressOf took it over.
        try {
            created->m_items.reserve(items.size());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (const Item& item : items) {
            Traits::addRef(item);
            created->m_items.push_back(item);
        }
        created->m_owner = owner;
        created->m_position = position;
        *out = created.Detach();
        return S_OK;
    }

    STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG done = 0;
        while (done < count && m_position < m_items.size()) {
            items[done] = m_items[m_position++];
            Traits::addRef(items[done]);
            ++done;
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG count) override
    {
        const size_t left = m_items.size() - m_position;
        if (count > left) {
            m_position = m_items.size();
            return S_FALSE;
        }
        m_position += count;
        return S_OK;
    }

    STDMETHODIMP Reset() override
    {
        m_position = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(EnumInterface** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return create(m_owner.Get(), m_items, m_position, out);
    }

private:
    std::vector<Item> m_items;
    size_t m_position = 0;
    ComPtr<IUnknown> m_owner;
};

using ConnectionEnumerator =
    SnapshotEnumerator<IEnumConnections, &IID_IEnumConnections, CONNECTDATA, ConnectDataTraits>;
using ConnectionPointEnumerator = SnapshotEnumerator<IEnumConnectionPoints, &IID_IEnumConnectionPoints,
                                                     IConnectionPoint*, InterfaceTraits<IConnectionPoint>>;

} // namespace framework
