#include "framework/invoke_plan.h"

#include <new>
#include <utility>

namespace framework {
namespace {

const VARTYPE kVariantByRef = VT_VARIANT | VT_BYREF;

struct FuncDescClose {
    ITypeInfo* info = nullptr;
    void operator()(FUNCDESC* desc) const noexcept
    {
        if (desc)
            info->ReleaseFuncDesc(desc);
    }
};

// One function description of a type information, released with the owner.
class FunctionDescription : public Unique<FUNCDESC*, FuncDescClose> {
public:
    explicit FunctionDescription(ITypeInfo* info) noexcept : Unique(FuncDescClose{info}) {}
    const FUNCDESC* operator->() const noexcept { return get(); }
};

struct VariantBlockClose {
    UINT count = 0;
    void operator()(VARIANTARG* items) const noexcept
    {
        for (UINT i = 0; items && i < count; ++i)
            (void)VariantClear(&items[i]); // nothing to recover from a type it cannot free
        delete[] items;
    }
};

// A block of VARIANTARGs, each cleared with the block.
class VariantArray : public Unique<VARIANTARG*, VariantBlockClose> {
public:
    explicit VariantArray(UINT count) noexcept : Unique(VariantBlockClose{count})
    {
        // Value-initialised VARIANTARGs are VT_EMPTY.
        reset(new (std::nothrow) VARIANTARG[count]());
    }

    explicit operator bool() const noexcept { return get() != nullptr; }
    VARIANTARG& operator[](UINT i) noexcept { return value()[i]; }
};

ParamPlan planOf(const ELEMDESC& element) noexcept
{
    ParamPlan plan;
    const USHORT flags = element.paramdesc.wParamFlags;
    // Invoke supplies these itself; callers never give them.
    if (flags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID))
        return plan;
    plan.declaredIn = (flags & PARAMFLAG_FIN) != 0;
    plan.undirected = (flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT)) == 0;

    const TYPEDESC& type = element.tdesc;
    switch (type.vt) {
    case VT_UNKNOWN:
    case VT_DISPATCH:
        plan.shape = ParamShape::kInterface;
        plan.dispatch = type.vt == VT_DISPATCH;
        break;
    case VT_BSTR:
        plan.shape = ParamShape::kString;
        break;
    case VT_PTR:
        switch (type.lptdesc ? type.lptdesc->vt : static_cast<VARTYPE>(VT_EMPTY)) {
        case VT_UNKNOWN:
        case VT_DISPATCH:
            plan.shape = ParamShape::kInterfaceRef;
            plan.dispatch = type.lptdesc->vt == VT_DISPATCH;
            break;
        case VT_BSTR:
            plan.shape = ParamShape::kStringRef;
            break;
        case VT_VARIANT:
            plan.shape = ParamShape::kVariantRef;
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return plan;
}

HRESULT planMethod(ITypeInfo* info, UINT index, MethodPlan& plan) noexcept
{
    FunctionDescription desc(info);
    FW_RETURN_IF_FAILED(info->GetFuncDesc(index, desc.put()));
    const UINT count = desc->cParams > 0 ? static_cast<UINT>(desc->cParams) : 0;
    std::unique_ptr<ParamPlan[]> params(new (std::nothrow) ParamPlan[count]);
    if (!params)
        return E_OUTOFMEMORY;
    plan.memid = desc->memid;
    plan.invkind = static_cast<WORD>(desc->invkind);
    for (UINT p = 0; p < count; ++p) {
        params[p] = planOf(desc->lprgelemdescParam[p]);
        plan.mayAdapt = plan.mayAdapt || params[p].shape != ParamShape::kOther;
    }
    plan.paramCount = count;
    plan.params = std::move(params);
    return S_OK;
}

// Script engines' ways of giving no value: Empty, JScript's null, an omitted argument,
// and VBScript's Nothing, a null VT_DISPATCH (Invoke cannot make a string of it).
bool isMissing(const VARIANT& value) noexcept
{
    switch (V_VT(&value)) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_ERROR:
        return V_ERROR(&value) == DISP_E_PARAMNOTFOUND;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return V_UNKNOWN(&value) == nullptr;
    default:
        return false;
    }
}

// What a VT_VARIANT|VT_BYREF argument refers to; any other argument is its own value.
VARIANT& valueOf(VARIANTARG& arg) noexcept
{
    return V_VT(&arg) == kVariantByRef && V_VARIANTREF(&arg) ? *V_VARIANTREF(&arg) : arg;
}

VARTYPE interfaceType(const ParamPlan& param) noexcept
{
    return param.dispatch ? VT_DISPATCH : VT_UNKNOWN;
}

bool reads(const ParamPlan& param) noexcept
{
    return param.declaredIn || param.undirected;
}

// True when ITypeInfo::Invoke takes the argument as it is.
bool fits(const ParamPlan& param, VARIANTARG& arg) noexcept
{
    switch (param.shape) {
    case ParamShape::kInterface:
    case ParamShape::kString:
        return !isMissing(valueOf(arg));
    case ParamShape::kInterfaceRef:
    case ParamShape::kStringRef: {
        const VARTYPE declared =
            param.shape == ParamShape::kStringRef ? static_cast<VARTYPE>(VT_BSTR) : interfaceType(param);
        if (V_VT(&arg) == (declared | VT_BYREF))
            return true;
        if (V_VT(&arg) == kVariantByRef || isMissing(arg))
            return false;
        // Invoke converts a plain value for a parameter that states its direction, and drops
        // it for one that does not.
        return !param.undirected || V_ISBYREF(&arg);
    }
    case ParamShape::kVariantRef:
        return !param.undirected || V_VT(&arg) == kVariantByRef;
    case ParamShape::kOther:
        break;
    }
    return true;
}

bool needsFitting(const MethodPlan& method, const DISPPARAMS& params) noexcept
{
    // Named arguments come from typed callers, never from script method calls.
    if (!method.mayAdapt || params.cNamedArgs != 0 || !params.rgvarg || params.cArgs > method.paramCount)
        return false;
    for (UINT p = 0; p < params.cArgs; ++p) {
        if (!fits(method.params[p], params.rgvarg[params.cArgs - 1 - p]))
            return true;
    }
    return false;
}

// An interface pointer that answers IDispatch goes to a late-bound caller as VT_DISPATCH.
void offerDispatch(VARIANT& value) noexcept
{
    if (V_VT(&value) != VT_UNKNOWN || !V_UNKNOWN(&value))
        return;
    ComPtr<IDispatch> dispatch;
    if (FAILED(V_UNKNOWN(&value)->QueryInterface(IID_PPV_ARGS(&dispatch))))
        return;
    // Clearing a VT_UNKNOWN only releases it; it cannot fail.
    VariantClear(&value);
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = dispatch.Detach();
}

// A string of the value, null for a missing or empty one: to Automation an empty
// string and a null one are the same, and a callee that replaces a null input has
// nothing to free.
HRESULT stringOf(VARIANT& value, Bstr& out) noexcept
{
    out.reset();
    if (isMissing(value))
        return S_OK;
    VARIANT text;
    VariantInit(&text);
    FW_RETURN_IF_FAILED(VariantChangeType(&text, &value, 0, VT_BSTR));
    Bstr converted(V_BSTR(&text));
    if (!converted.empty())
        out = std::move(converted);
    return S_OK;
}

// The value's interface pointer of the declared type, null for a missing value.
HRESULT objectOf(VARIANT& value, VARTYPE declared, ComPtr<IUnknown>& out) noexcept
{
    out.Reset();
    if (isMissing(value))
        return S_OK;
    Variant converted;
    FW_RETURN_IF_FAILED(VariantChangeType(converted.put(), &value, 0, declared));
    out = V_UNKNOWN(&converted.get());
    return S_OK;
}

// One argument as Invoke gets it: what it owns, and the script's variable that receives
// the result.
struct Slot {
    ParamShape shape = ParamShape::kOther;
    bool dispatch = false;
    VARIANT* variable = nullptr;
    Bstr string;
    BSTR initialString = nullptr; // borrowed, for telling whether the callee replaced it
    ComPtr<IUnknown> object;
    IUnknown* initialObject = nullptr; // borrowed, likewise
    Variant value;
};

// A string pointer. A variable that holds a string is lent in place, so the callee frees
// and replaces it as it would a typed caller's; else a string of ours goes to the callee.
HRESULT prepareString(const ParamPlan& param, VARIANTARG& given, VARIANTARG& passed, Slot& slot) noexcept
{
    V_VT(&passed) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&passed) = nullptr;
    if (V_VT(&given) == kVariantByRef) {
        VARIANT* variable = V_VARIANTREF(&given);
        if (!variable)
            return S_OK;
        if (reads(param) && V_VT(variable) == VT_BSTR) {
            V_BSTRREF(&passed) = &V_BSTR(variable);
            return S_OK;
        }
        slot.variable = variable;
    } else if (isMissing(given)) {
        return S_OK;
    }
    if (reads(param))
        FW_RETURN_IF_FAILED(stringOf(valueOf(given), slot.string));
    slot.shape = ParamShape::kStringRef;
    slot.initialString = slot.string.get();
    V_BSTRREF(&passed) = slot.string.inOut();
    return S_OK;
}

// An interface pointer's pointer. Only a stated [in] is read: a callee writes through an
// undirected one without releasing what it held.
HRESULT prepareInterface(const ParamPlan& param, VARIANTARG& given, VARIANTARG& passed, Slot& slot) noexcept
{
    const VARTYPE declared = interfaceType(param);
    V_VT(&passed) = declared | VT_BYREF;
    V_BYREF(&passed) = nullptr;
    if (V_VT(&given) == kVariantByRef) {
        slot.variable = V_VARIANTREF(&given);
        if (!slot.variable)
            return S_OK;
    } else if (isMissing(given)) {
        return S_OK;
    }
    if (param.declaredIn)
        FW_RETURN_IF_FAILED(objectOf(valueOf(given), declared, slot.object));
    slot.shape = ParamShape::kInterfaceRef;
    slot.dispatch = param.dispatch;
    slot.initialObject = slot.object.Get();
    // An IDispatch* is an IUnknown* too, so the one slot serves either declaration.
    V_BYREF(&passed) = slot.object.GetAddressOf();
    return S_OK;
}

HRESULT prepare(const ParamPlan& param, VARIANTARG& given, VARIANTARG& passed, Slot& slot) noexcept
{
    // A copy of our own, as Invoke writes results for [out] parameters into plain values.
    if (fits(param, given))
        return VariantCopy(&passed, &given);
    switch (param.shape) {
    case ParamShape::kInterface:
        V_VT(&passed) = interfaceType(param);
        V_UNKNOWN(&passed) = nullptr;
        return S_OK;
    case ParamShape::kString:
        V_VT(&passed) = VT_BSTR;
        V_BSTR(&passed) = nullptr;
        return S_OK;
    case ParamShape::kStringRef:
        return prepareString(param, given, passed, slot);
    case ParamShape::kInterfaceRef:
        return prepareInterface(param, given, passed, slot);
    case ParamShape::kVariantRef:
        FW_RETURN_IF_FAILED(VariantCopyInd(slot.value.put(), &given));
        V_VT(&passed) = kVariantByRef;
        V_VARIANTREF(&passed) = &slot.value.get();
        return S_OK;
    case ParamShape::kOther:
        break;
    }
    return VariantCopy(&passed, &given);
}

// Moves the callee's result into the script's variable, clearing what it held. A failed
// call that left the value as it was writes nothing; a variable that cannot be cleared
// (a locked array) keeps what it held, and the result goes with the slot.
void writeBack(Slot& slot, bool succeeded) noexcept
{
    if (!slot.variable)
        return;
    switch (slot.shape) {
    case ParamShape::kStringRef:
        if (!succeeded && slot.string.get() == slot.initialString)
            return;
        if (FAILED(VariantClear(slot.variable)))
            return;
        V_VT(slot.variable) = VT_BSTR;
        V_BSTR(slot.variable) = slot.string.release();
        return;
    case ParamShape::kInterfaceRef:
        if (!succeeded && slot.object.Get() == slot.initialObject)
            return;
        if (FAILED(VariantClear(slot.variable)))
            return;
        V_VT(slot.variable) = slot.dispatch ? VT_DISPATCH : VT_UNKNOWN;
        V_UNKNOWN(slot.variable) = slot.object.Detach();
        offerDispatch(*slot.variable);
        return;
    default:
        return;
    }
}

HRESULT invokeFitted(ITypeInfo* info, const MethodPlan& method, void* object, DISPID member, WORD flags,
                     const DISPPARAMS& params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept
{
    const UINT count = params.cArgs;
    std::unique_ptr<Slot[]> slots(new (std::nothrow) Slot[count]);
    VariantArray passed(count);
    if (!slots || !passed)
        return E_OUTOFMEMORY;
    for (UINT i = 0; i < count; ++i) {
        const HRESULT hr = prepare(method.params[count - 1 - i], params.rgvarg[i], passed[i], slots[i]);
        if (FAILED(hr)) {
            if (argErr)
                *argErr = i;
            return hr;
        }
    }

    DISPPARAMS fitted = {passed.get(), nullptr, count, 0};
    const HRESULT hr = info->Invoke(object, member, flags, &fitted, result, excepInfo, argErr);
    for (UINT i = 0; i < count; ++i)
        writeBack(slots[i], SUCCEEDED(hr));
    return hr;
}

} // namespace

HRESULT InvokePlan::build(ITypeInfo* info) noexcept
{
    TYPEATTR* attr = nullptr;
    FW_RETURN_IF_FAILED(info->GetTypeAttr(&attr));
    const UINT count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);

    std::unique_ptr<MethodPlan[]> methods(new (std::nothrow) MethodPlan[count]);
    if (!methods)
        return E_OUTOFMEMORY;
    for (UINT f = 0; f < count; ++f)
        FW_RETURN_IF_FAILED(planMethod(info, f, methods[f]));
    m_methods = std::move(methods);
    m_count = count;
    return S_OK;
}

const MethodPlan* InvokePlan::find(MEMBERID member, WORD flags) const noexcept
{
    for (UINT i = 0; i < m_count; ++i) {
        if (m_methods[i].memid == member && (m_methods[i].invkind & flags))
            return &m_methods[i];
    }
    return nullptr;
}

HRESULT invokeThroughPlan(ITypeInfo* info, const InvokePlan& plan, void* object, DISPID member, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept
{
    const MethodPlan* method = plan.find(member, flags);
    const HRESULT hr = method && params && needsFitting(*method, *params)
                           ? invokeFitted(info, *method, object, member, flags, *params, result, excepInfo, argErr)
                           : info->Invoke(object, member, flags, params, result, excepInfo, argErr);
    if (SUCCEEDED(hr) && result)
        offerDispatch(*result);
    return hr;
}

} // namespace framework
