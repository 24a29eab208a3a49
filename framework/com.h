// Owners for COM resources and return-early helpers. Every reference, string and
// VARIANT that a routine holds lives in one of these, so no path leaks.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>

namespace framework {

// Note: mingw-w64's ComPtr::Attach adds a reference, as does its constructor from a
// raw pointer; to take over a reference, write it through GetAddressOf().
using Microsoft::WRL::ComPtr;

// Evaluates expr once and returns its HRESULT from the enclosing routine when it failed.
#define FW_RETURN_IF_FAILED(expr)                                                         \
    do {                                                                                   \
        const HRESULT fwHr_ = (expr);                                                      \
        if (FAILED(fwHr_))                                                                 \
            return fwHr_;                                                                  \
    } while (0)

// One BSTR, freed with the owner. A null BSTR is the empty string to OLE Automation.
class Bstr {
public:
    Bstr() noexcept = default;
    // Takes ownership of a string somebody allocated for us.
    explicit Bstr(BSTR owned) noexcept : m_str(owned) {}
    Bstr(Bstr&& other) noexcept : m_str(other.release()) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(m_str); }

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

    BSTR get() const noexcept { return m_str; }
    UINT length() const noexcept { return SysStringLen(m_str); }
    bool empty() const noexcept { return length() == 0; }

    // For out-parameters: frees what was held, then lends the slot.
    BSTR* put() noexcept
    {
        reset();
        return &m_str;
    }

    // For [in, out] parameters: the callee reads the string and may replace it,
    // freeing the old one.
    BSTR* inOut() noexcept { return &m_str; }

    // Hands the string to a caller who frees it.
    BSTR release() noexcept
    {
        BSTR s = m_str;
        m_str = nullptr;
        return s;
    }

    void reset(BSTR owned = nullptr) noexcept
    {
        if (owned != m_str)
            SysFreeString(m_str);
        m_str = owned;
    }

private:
    BSTR m_str = nullptr;
};

// One VARIANT, cleared with the owner.
class Variant {
public:
    Variant() noexcept { VariantInit(&m_var); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&m_var); }

    VARIANT& get() noexcept { return m_var; }
    const VARIANT& get() const noexcept { return m_var; }

    // For out-parameters: clears what was held, then lends the slot.
    VARIANT* put() noexcept
    {
        VariantClear(&m_var);
        return &m_var;
    }

    // Makes this a VT_BSTR that owns the given string.
    void setBstr(Bstr&& text) noexcept
    {
        VariantClear(&m_var);
        V_VT(&m_var) = VT_BSTR;
        V_BSTR(&m_var) = text.release();
    }

private:
    VARIANT m_var;
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
