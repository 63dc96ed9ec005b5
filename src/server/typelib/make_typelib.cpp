// Build-time generator of murl's type library, run under Wine. widl cannot make a coclass
// implement an interface that lives in an imported library, so the library is written through
// the platform's own type-library writer instead.
//
//   make_typelib DECAL_DLL OUTPUT
//
// DECAL_DLL is our stand-in for the host's "Decal" type library; it must be named exactly
// "Decal.dll", because the import record keeps only the file name it was loaded from.

#include "platform/win32/windows_headers.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "host_idl.h"
#include "platform/win32/win32_holders.h"
#include "server/identity.h"

namespace {

#define RETURN_IF_FAILED(call)                                                \
    do {                                                                      \
        HRESULT hr_ = (call);                                                 \
        if (FAILED(hr_)) {                                                    \
            std::fprintf(stderr, "make_typelib: %s failed: 0x%08lx\n", #call, \
                         static_cast<unsigned long>(hr_));                    \
            return 1;                                                         \
        }                                                                     \
    } while (0)

using murl::win32::ComPtr;
using murl::win32::PutOut;

// The writer records an import under the name the loader found it by, which for the OLE
// Automation library is its lower-case installed name; the reference names it "STDOLE2.TLB".
// Rewrites that name in place (same length, so nothing moves).
int NameStdOleImport(const wchar_t* path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    auto at = [&](size_t offset) {
        int32_t v = 0;
        if (offset + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + offset, 4);
        return v;
    };
    if (bytes.size() < 0x54 || at(0) != 0x5446534D) return 1;  // "MSFT"
    // Header, optional help DLL entry, type-info offsets, then the segment directory; the
    // import file table is its third segment.
    const size_t directory =
        0x54 + ((at(0x14) & 0x100) ? 4 : 0) + 4 * static_cast<size_t>(at(0x20));
    const int32_t table = at(directory + 2 * 16), length = at(directory + 2 * 16 + 4);
    bool renamed = false;
    for (int32_t pos = 0; table >= 0 && pos + 14 <= length;) {
        const size_t entry = static_cast<size_t>(table + pos);
        int16_t size = 0;
        std::memcpy(&size, bytes.data() + entry + 12, 2);
        const size_t chars = static_cast<size_t>(size) >> 2;
        char* name = bytes.data() + entry + 14;
        if (chars == 11 && _strnicmp(name, "stdole2.tlb", 11) == 0) {
            std::memcpy(name, "STDOLE2.TLB", 11);
            renamed = true;
        }
        pos += static_cast<int32_t>((14 + chars + 3) & ~size_t{3});
    }
    if (!renamed) return 1;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good() ? 0 : 1;
}

// _clsMurl: dual, derives from IDispatch, no members of its own.
int AddDefaultInterface(ICreateTypeLib2* lib, ITypeInfo* dispatch, ComPtr<ITypeInfo>& made) {
    ComPtr<ICreateTypeInfo> iface;
    RETURN_IF_FAILED(
        lib->CreateTypeInfo(const_cast<LPOLESTR>(L"_clsMurl"), TKIND_INTERFACE, PutOut(iface)));
    RETURN_IF_FAILED(iface->SetGuid(murl::server::kIidClsMurl));
    RETURN_IF_FAILED(iface->SetVersion(1, 0));
    HREFTYPE dispatch_ref = 0;
    RETURN_IF_FAILED(iface->AddRefTypeInfo(dispatch, &dispatch_ref));
    RETURN_IF_FAILED(iface->AddImplType(0, dispatch_ref));
    RETURN_IF_FAILED(iface->SetTypeFlags(TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL |
                                         TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                                         TYPEFLAG_FDISPATCHABLE));
    RETURN_IF_FAILED(iface->LayOut());
    RETURN_IF_FAILED(iface->QueryInterface(IID_ITypeInfo, PutOut(made)));
    return 0;
}

// clsMurl: creatable; _clsMurl by default, then the host's IPlugin2.
int AddClass(ICreateTypeLib2* lib, ITypeInfo* iface_info, ITypeInfo* plugin2) {
    ComPtr<ICreateTypeInfo> coclass;
    RETURN_IF_FAILED(
        lib->CreateTypeInfo(const_cast<LPOLESTR>(L"clsMurl"), TKIND_COCLASS, PutOut(coclass)));
    RETURN_IF_FAILED(coclass->SetGuid(murl::server::kClsidClsMurl));
    RETURN_IF_FAILED(coclass->SetVersion(1, 0));
    RETURN_IF_FAILED(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE));
    HREFTYPE iface_ref = 0, plugin2_ref = 0;
    RETURN_IF_FAILED(coclass->AddRefTypeInfo(iface_info, &iface_ref));
    RETURN_IF_FAILED(coclass->AddImplType(0, iface_ref));
    RETURN_IF_FAILED(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT));
    RETURN_IF_FAILED(coclass->AddRefTypeInfo(plugin2, &plugin2_ref));
    RETURN_IF_FAILED(coclass->AddImplType(1, plugin2_ref));
    RETURN_IF_FAILED(coclass->SetImplTypeFlags(1, 0));
    // Adding implemented types makes Wine set a dispatchable flag; creatable is the only one.
    RETURN_IF_FAILED(coclass->SetTypeFlags(TYPEFLAG_FCANCREATE));
    RETURN_IF_FAILED(coclass->LayOut());
    return 0;
}

int Generate(const wchar_t* decal_path, const wchar_t* output) {
    ComPtr<ITypeLib> decal, stdole;
    ComPtr<ITypeInfo> plugin2, dispatch, iface_info;
    RETURN_IF_FAILED(LoadTypeLibEx(decal_path, REGKIND_NONE, PutOut(decal)));
    RETURN_IF_FAILED(decal->GetTypeInfoOfGuid(IID_IPlugin2, PutOut(plugin2)));
    RETURN_IF_FAILED(LoadTypeLibEx(L"STDOLE2.TLB", REGKIND_NONE, PutOut(stdole)));
    RETURN_IF_FAILED(stdole->GetTypeInfoOfGuid(IID_IDispatch, PutOut(dispatch)));

    ComPtr<ICreateTypeLib2> lib;
    RETURN_IF_FAILED(CreateTypeLib2(SYS_WIN32, output, PutOut(lib)));
    RETURN_IF_FAILED(lib->SetName(const_cast<LPOLESTR>(L"murl")));
    RETURN_IF_FAILED(lib->SetGuid(murl::server::kLibId));
    RETURN_IF_FAILED(lib->SetVersion(murl::server::kLibMajor, murl::server::kLibMinor));
    RETURN_IF_FAILED(lib->SetLcid(0));
    if (AddDefaultInterface(lib.Get(), dispatch.Get(), iface_info) != 0) return 1;
    if (AddClass(lib.Get(), iface_info.Get(), plugin2.Get()) != 0) return 1;
    RETURN_IF_FAILED(lib->SaveAllChanges());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_typelib DECAL_DLL OUTPUT\n");
        return 2;
    }
    CoInitialize(nullptr);
    int status = Generate(argv[1], argv[2]);
    CoUninitialize();
    if (status == 0 && NameStdOleImport(argv[2]) != 0) {
        std::fprintf(stderr, "make_typelib: no OLE Automation import to name\n");
        status = 1;
    }
    return status;
}
