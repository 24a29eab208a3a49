// A controlling unknown for aggregation tests: it counts its own references, answers
// IUnknown itself and hands every other interface to the inner object it aggregates.
// It never deletes itself, so its count can be read after every step.
#pragma once

#include "tarnwick_test.h"

namespace tarnwick_test {

class CountingOuter final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // References taken on the outer and not yet returned; starts at 1, the test's own.
    ULONG references() const { return m_refs; }

    // The aggregated object's non-delegating unknown, as CreateInstance handed it out.
    ComPtr<IUnknown> inner;

private:
    ULONG m_refs = 1;
};

} // namespace tarnwick_test
