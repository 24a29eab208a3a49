// The class object of a creatable class: one per process, cached by the module's
// object map. Its count is interlocked because any apartment may reach it.
#pragma once

#include "framework/com.h"
#include "framework/module.h"

namespace framework {

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(InstanceCreator creator) noexcept : m_creator(creator) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;
    virtual ~ClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    // The map's own reference never counts as a module lock; all client references
    // together count as one, taken at the second reference and dropped back at the first.
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // The object map's class-object creator.
    static HRESULT create(InstanceCreator creator, REFIID riid, void** ppv) noexcept;

private:
    volatile LONG m_refs = 0;
    InstanceCreator m_creator;
};

} // namespace framework
