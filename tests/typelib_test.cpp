// The type library inside both DLLs: the published contract, read back entry by entry.
#include "support/tarnwick_test.h"

#include <vector>

namespace tarnwick_test {
namespace {

struct MethodCase {
    const wchar_t* name;
    MEMBERID memid;
    std::vector<USHORT> paramFlags;
};

const USHORT kIn = PARAMFLAG_NONE;
const USHORT kOut = PARAMFLAG_FOUT;
const USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
const USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;

const MethodCase kTarnwickMethods[] = {
    {L"getRootElement", 1, {kRetval}},
    {L"createElement", 2, {kInOut, kOut}},
    {L"getElement", 3, {kIn, kIn, kRetval}},
    {L"deleteElement", 4, {kIn}},
    {L"setAttribute", 5, {kIn, kIn, kIn}},
    {L"getAttribute", 6, {kIn, kIn, kRetval}},
    {L"enumElements", 7, {kIn, kIn, kRetval}},
    {L"resetEnum", 8, {kIn}},
    {L"getNextElement", 9, {kIn, kOut, kOut}},
    {L"createRootElement", 10, {kIn, kIn}},
    {L"clear", 11, {}},
    {L"queryElement", 12, {kIn, kIn, kRetval}},
    {L"setDebugMode", 13, {kIn, kIn}},
    {L"getElementID", 14, {kIn, kIn}},
    {L"setNotify", 15, {kIn}},
    {L"addElement", 16, {kIn, kIn}},
    {L"setElementID", 17, {kIn, kIn}},
};

const MethodCase kEventMethods[] = {
    {L"onElementCreated", 0x60010000, {kIn, kIn, kIn}},
    {L"onElementDeleted", 0x60010001, {kIn}},
    {L"onElementChanged", 0x60010002, {kIn, kIn, kIn}},
    {L"onDeleteAll", 0x60010003, {}},
    {L"onPersist", 0x60010004, {kIn, kIn}},
};

std::wstring docString(ITypeInfo* info, MEMBERID memid)
{
    Bstr name;
    Bstr doc;
    EXPECT_EQ(S_OK, info->GetDocumentation(memid, name.put(), doc.put(), nullptr, nullptr));
    return doc.get() ? doc.get() : L"";
}

// Checks functions in vtable order: names, member ids, help strings, parameter flags.
void checkMethods(ITypeInfo* info, const MethodCase* cases, size_t count, size_t firstVtableSlot)
{
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    ASSERT_EQ(count, attr->cFuncs);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &func));
        const MethodCase& c = cases[i];
        Bstr name;
        UINT got = 0;
        EXPECT_EQ(S_OK, info->GetNames(func->memid, name.put(), 1, &got));
        EXPECT_STREQ(c.name, name.get());
        EXPECT_EQ(c.memid, func->memid) << narrow(c.name);
        EXPECT_EQ(INVOKE_FUNC, func->invkind) << narrow(c.name);
        EXPECT_EQ(CC_STDCALL, func->callconv) << narrow(c.name);
        EXPECT_EQ(0, func->wFuncFlags) << narrow(c.name);
        EXPECT_EQ(VT_HRESULT, func->elemdescFunc.tdesc.vt) << narrow(c.name);
        EXPECT_EQ(static_cast<SHORT>((firstVtableSlot + i) * sizeof(void*)), func->oVft) << narrow(c.name);
        EXPECT_EQ(L"method " + std::wstring(c.name), docString(info, func->memid));
        ASSERT_EQ(c.paramFlags.size(), static_cast<size_t>(func->cParams)) << narrow(c.name);
        for (SHORT p = 0; p < func->cParams; ++p) {
            EXPECT_EQ(c.paramFlags[p], func->lprgelemdescParam[p].paramdesc.wParamFlags)
                << narrow(c.name) << " parameter " << p;
        }
        info->ReleaseFuncDesc(func);
    }
    info->ReleaseTypeAttr(attr);
}

class TypeLibrary : public ::testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override
    {
        const HRESULT hr = LoadTypeLibEx(GetParam(), REGKIND_NONE, &lib);
        ASSERT_EQ(S_OK, hr) << narrow(GetParam());
    }

    ComPtr<ITypeInfo> entry(UINT index)
    {
        ComPtr<ITypeInfo> info;
        EXPECT_EQ(S_OK, lib->GetTypeInfo(index, &info));
        return info;
    }

    bool is32Bit()
    {
        TLIBATTR* attr = nullptr;
        EXPECT_EQ(S_OK, lib->GetLibAttr(&attr));
        const bool win32 = attr->syskind == SYS_WIN32;
        lib->ReleaseTLibAttr(attr);
        return win32;
    }

    ComPtr<ITypeLib> lib;
};

TEST_P(TypeLibrary, HasItsIdentityVersionAndHelpString)
{
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_TARNWICKLib, attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0u, attr->lcid);
    // The loader itself marks a library read from a file (LIBFLAG_FHASDISKIMAGE).
    EXPECT_EQ(0, attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE);
    lib->ReleaseTLibAttr(attr);

    Bstr name;
    Bstr doc;
    Bstr helpFile;
    DWORD context = 1;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, name.put(), doc.put(), &context, helpFile.put()));
    EXPECT_STREQ(L"TARNWICKLib", name.get());
    EXPECT_STREQ(L"Tarnwick 1.0 Type Library", doc.get());
    EXPECT_EQ(nullptr, helpFile.get());
    EXPECT_EQ(0u, context);
}

TEST_P(TypeLibrary, ListsThreeEntriesInOrder)
{
    ASSERT_EQ(3u, lib->GetTypeInfoCount());
    const wchar_t* names[] = {L"ITarnwick", L"ITarnwickEvents", L"Tarnwick"};
    const GUID* guids[] = {&IID_ITarnwick, &IID_ITarnwickEvents, &CLSID_Tarnwick};
    const wchar_t* docs[] = {L"ITarnwick Interface", L"ITarnwickEvents Interface", L"Tarnwick Class"};
    for (UINT i = 0; i < 3; ++i) {
        Bstr name;
        Bstr doc;
        ASSERT_EQ(S_OK, lib->GetDocumentation(i, name.put(), doc.put(), nullptr, nullptr));
        EXPECT_STREQ(names[i], name.get());
        EXPECT_STREQ(docs[i], doc.get());
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, entry(i)->GetTypeAttr(&attr));
        EXPECT_TRUE(IsEqualGUID(*guids[i], attr->guid)) << narrow(names[i]);
        entry(i)->ReleaseTypeAttr(attr);
    }
}

TEST_P(TypeLibrary, DescribesTheDualInterface)
{
    ComPtr<ITypeInfo> dispatchInfo = entry(0);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, dispatchInfo->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    // As MIDL writes a dual interface: automation-compatible on its vtable side.
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, attr->wTypeFlags);
    EXPECT_EQ(0, attr->wMajorVerNum);
    dispatchInfo->ReleaseTypeAttr(attr);

    // The vtable side of the dual interface.
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, dispatchInfo->GetRefTypeOfImplType(-1, &ref));
    ComPtr<ITypeInfo> vtable;
    ASSERT_EQ(S_OK, dispatchInfo->GetRefTypeInfo(ref, &vtable));
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE, attr->wTypeFlags);
    const size_t pointer = is32Bit() ? 4 : 8;
    EXPECT_EQ(24 * pointer, attr->cbSizeVft);
    vtable->ReleaseTypeAttr(attr);
    if (pointer == sizeof(void*))
        checkMethods(vtable.Get(), kTarnwickMethods, 17, 7);
}

TEST_P(TypeLibrary, DescribesTheEventInterface)
{
    ComPtr<ITypeInfo> events = entry(1);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, events->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_EQ(0, attr->wTypeFlags);
    const size_t pointer = is32Bit() ? 4 : 8;
    EXPECT_EQ(8 * pointer, attr->cbSizeVft);
    events->ReleaseTypeAttr(attr);
    if (pointer == sizeof(void*))
        checkMethods(events.Get(), kEventMethods, 5, 3);
}

TEST_P(TypeLibrary, DescribesTheClass)
{
    ComPtr<ITypeInfo> coclass = entry(2);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, attr->wTypeFlags);
    EXPECT_EQ(2, attr->cImplTypes);
    coclass->ReleaseTypeAttr(attr);

    const IID* iids[] = {&IID_ITarnwick, &IID_ITarnwickEvents};
    const INT flags[] = {IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE};
    for (UINT i = 0; i < 2; ++i) {
        INT implFlags = -1;
        ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(i, &implFlags));
        EXPECT_EQ(flags[i], implFlags);
        HREFTYPE ref = 0;
        ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(i, &ref));
        ComPtr<ITypeInfo> implemented;
        ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, &implemented));
        ASSERT_EQ(S_OK, implemented->GetTypeAttr(&attr));
        EXPECT_TRUE(IsEqualGUID(*iids[i], attr->guid));
        implemented->ReleaseTypeAttr(attr);
    }
}

// The 32-bit library is read from the win32 DLL as data; where this Wine cannot read a
// 32-bit image's resources, from the .tlb that the win32 build embeds.
INSTANTIATE_TEST_SUITE_P(Dlls, TypeLibrary, ::testing::Values(TARNWICK_DLL64, TARNWICK_DLL32),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return info.index == 0 ? std::string("Win64") : std::string("Win32");
                         });

} // namespace
} // namespace tarnwick_test
