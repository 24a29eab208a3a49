// Late-bound calls as script engines make them. ITypeInfo::Invoke takes arguments of the
// declared types, but VBScript passes every variable as VT_VARIANT|VT_BYREF and Nothing
// as a null VT_DISPATCH, JScript passes null as VT_NULL, and a pointer parameter without a direction attribute gets
// nothing of a value passed for it. The plan reads each method's parameter declarations
// once; invokeThroughPlan makes the arguments fit them before Invoke and writes results
// back into the script's variables after it. Calls whose arguments already fit go
// straight through.
#pragma once

#include "framework/com.h"

#include <memory>

namespace framework {

// The parameters that script engines' arguments may not fit.
enum class ParamShape : BYTE {
    kOther,        // passed as given
    kInterface,    // IUnknown* or IDispatch*
    kString,       // BSTR
    kInterfaceRef, // IUnknown** or IDispatch**
    kStringRef,    // BSTR*
    kVariantRef,   // VARIANT*
};

struct ParamPlan {
    ParamShape shape = ParamShape::kOther;
    bool dispatch = false;   // the interface declared is IDispatch
    bool declaredIn = false; // [in] is stated
    bool undirected = false; // neither [in] nor [out]: an input that the callee may also write
};

struct MethodPlan {
    MEMBERID memid = MEMBERID_NIL;
    WORD invkind = 0;
    bool mayAdapt = false; // some parameter has a shape other than kOther
    UINT paramCount = 0;
    std::unique_ptr<ParamPlan[]> params;
};

class InvokePlan {
public:
    InvokePlan() noexcept = default;
    InvokePlan(const InvokePlan&) = delete;
    InvokePlan& operator=(const InvokePlan&) = delete;

    // Reads every function of info; E_OUTOFMEMORY or the type information's error on failure.
    HRESULT build(ITypeInfo* info) noexcept;

    // The method that Invoke would call for member and flags, or null (the plan then has nothing to say).
    const MethodPlan* find(MEMBERID member, WORD flags) const noexcept;

private:
    std::unique_ptr<MethodPlan[]> m_methods;
    UINT m_count = 0;
};

// ITypeInfo::Invoke on object with the arguments made fit for the method's declarations:
// - a missing value (VT_EMPTY, VT_NULL, VT_ERROR with DISP_E_PARAMNOTFOUND, or a null
//   VT_DISPATCH or VT_UNKNOWN, as VBScript passes Nothing), given as it is or in a
//   VT_VARIANT|VT_BYREF variable for an interface or string input, is a null pointer or
//   string, and given as it is for a pointer parameter is a null pointer;
// - a VT_VARIANT|VT_BYREF variable given for a BSTR* or interface pointer parameter is
//   replaced by a value of the declared type, initialised from the variable where the
//   parameter is read (a string without direction too, an interface pointer only when
//   [in] is stated), and the result is written back into the variable, clearing what it
//   held. A variable that holds a string is lent in place, as a typed caller's would be;
// - a plain value given for a pointer parameter is passed through a copy (read where the
//   parameter is read), and what the callee writes into the copy is discarded.
// Arguments of the declared type pass untouched. Every interface pointer handed back (the
// result, or written into a variable) that answers IDispatch goes as VT_DISPATCH, since
// script engines treat VT_UNKNOWN as no object.
HRESULT invokeThroughPlan(ITypeInfo* info, const InvokePlan& plan, void* object, DISPID member, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept;

} // namespace framework
