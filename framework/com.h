// Owners for COM resources and return-early helpers. Every reference, string and
// VARIANT that a routine holds lives in one of these, so no path leaks.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "framework/unique.h"

#include <utility>

namespace framework {

using Microsoft::WRL::ComPtr;

// Takes over a reference the caller already owns. mingw-w64's ComPtr::Attach and its
// constructor from a raw pointer both add a reference, so they cannot adopt one.
template <typename T>
void adopt(ComPtr<T>& holder, T* owned) noexcept
{
    holder.Reset();
    *holder.GetAddressOf() = owned;
}

// Evaluates expr once and returns its HRESULT from the enclosing routine when it failed.
#define FW_RETURN_IF_FAILED(expr)                                                         \
    do {                                                                                   \
        const HRESULT fwHr_ = (expr);                                                      \
        if (FAILED(fwHr_))                                                                 \
            return fwHr_;                                                                  \
    } while (0)

struct BstrClose {
    void operator()(BSTR text) const noexcept { SysFreeString(text); }
};

// One BSTR, freed with the owner. A null BSTR is the empty string to OLE Automation.
class Bstr : public Unique<BSTR, BstrClose> {
public:
    using Unique::Unique;

    // Replaces the string by a copy of text up to its first NUL; null text gives a null string.
    HRESULT assign(const OLECHAR* text) noexcept
    {
        if (!text) {
            reset();
            return S_OK;
        }
        BSTR copy = SysAllocString(text);
        if (!copy)
            return E_OUTOFMEMORY;
        reset(copy);
        return S_OK;
    }

    // Replaces the string by the first length characters of text; null text gives
    // a string of that length to be filled in.
    HRESULT assign(const OLECHAR* text, UINT length) noexcept
    {
        BSTR copy = SysAllocStringLen(text, length);
        if (!copy)
            return E_OUTOFMEMORY;
        reset(copy);
        return S_OK;
    }

    UINT length() const noexcept { return SysStringLen(get()); }
    bool empty() const noexcept { return length() == 0; }

    // For [in, out] parameters: the callee reads the string and may replace it,
    // freeing the old one.
    BSTR* inOut() noexcept { return &value(); }
};

struct VariantClose {
    void operator()(VARIANT& value) const noexcept
    {
        // Clearing fails only for types it cannot free; nothing is held to recover then.
        (void)VariantClear(&value);
    }
};

// One VARIANT, cleared with the owner. A zeroed VARIANT is VT_EMPTY.
class Variant : public Unique<VARIANT, VariantClose> {
public:
    Variant() noexcept = default;
    Variant(Variant&&) noexcept = default;
    Variant& operator=(Variant&&) noexcept = default;

    // A VT_BSTR holding a copy of text (null text: a null BSTR); VT_EMPTY when the
    // copy cannot be made.
    explicit Variant(const OLECHAR* text) noexcept
    {
        Bstr copy;
        if (SUCCEEDED(copy.assign(text)))
            setBstr(std::move(copy));
    }
    // A VT_BSTR that owns text.
    explicit Variant(Bstr&& text) noexcept { setBstr(std::move(text)); }
    explicit Variant(LONGLONG number) noexcept { V_I8(&setScalar(VT_I8)) = number; }
    explicit Variant(LONG number) noexcept { V_I4(&setScalar(VT_I4)) = number; }
    explicit Variant(int number) noexcept { V_I4(&setScalar(VT_I4)) = number; }
    explicit Variant(bool flag) noexcept { V_BOOL(&setScalar(VT_BOOL)) = flag ? VARIANT_TRUE : VARIANT_FALSE; }
    explicit Variant(double number) noexcept { V_R8(&setScalar(VT_R8)) = number; }
    // Holds its own reference to object; a null object is a null reference of that type.
    explicit Variant(IUnknown* object) noexcept
    {
        V_UNKNOWN(&setScalar(VT_UNKNOWN)) = object;
        if (object)
            object->AddRef();
    }
    explicit Variant(IDispatch* object) noexcept
    {
        V_DISPATCH(&setScalar(VT_DISPATCH)) = object;
        if (object)
            object->AddRef();
    }

    static Variant null() noexcept
    {
        Variant result;
        result.setScalar(VT_NULL);
        return result;
    }
    static Variant empty() noexcept { return Variant(); }

    using Unique::get;
    VARIANT& get() noexcept { return value(); }

    // Makes this a VT_BSTR that owns the given string.
    void setBstr(Bstr&& text) noexcept
    {
        V_BSTR(&setScalar(VT_BSTR)) = text.release();
    }

private:
    VARIANT& setScalar(VARTYPE type) noexcept
    {
        reset();
        V_VT(&value()) = type;
        return value();
    }
};

// A critical section that lives as long as its owner.
class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&m_cs); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { DeleteCriticalSection(&m_cs); }
    void lock() noexcept { EnterCriticalSection(&m_cs); }
    void unlock() noexcept { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) noexcept : m_cs(cs) { m_cs.lock(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
    ~CriticalSectionLock() { m_cs.unlock(); }

private:
    CriticalSection& m_cs;
};

} // namespace framework
