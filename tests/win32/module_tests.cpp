// murl.dll's registration, resources, version and type library, item by item.

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <olectl.h>

#include "check.h"
#include "server/identity.h"
#include "test_host.h"

using namespace testhost;
using murl::server::kClsidClsMurl;
using murl::server::kIidClsMurl;
using murl::server::kLibId;

namespace {

const GUID kStdOleLibId = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kDecalLibId = {
    0xFF7F5F6D, 0x34E0, 0x4B6F, {0xB3, 0xBB, 0x81, 0x41, 0xDE, 0x2E, 0xF7, 0x32}};
const GUID kPSOAInterface = {0x00020424, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::wstring ModulePath() {
    return ProgramFolder() + L"\\murl.dll";
}

// The value of HKEY_CLASSES_ROOT\key [name], or nothing.
bool ReadValue(const std::wstring& key, const wchar_t* name, std::wstring& value) {
    wchar_t data[1024];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    value.assign(data);
    return true;
}

bool KeyExists(const std::wstring& key) {
    murl::win32::RegistryKey opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, PutOut(opened)) ==
           ERROR_SUCCESS;
}

struct Entry {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
};

std::vector<Entry> RegisteredEntries() {
    const std::wstring clsid = L"CLSID\\" + GuidText(kClsidClsMurl);
    const std::wstring libid = GuidText(kLibId);
    const std::wstring lib = L"TypeLib\\" + libid + L"\\2.0";
    const std::wstring iface = L"Interface\\" + GuidText(kIidClsMurl);
    return {
        {L"murl.clsMurl\\Clsid", nullptr, GuidText(kClsidClsMurl)},
        {clsid + L"\\InprocServer32", nullptr, ModulePath()},
        {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid + L"\\ProgID", nullptr, L"murl.clsMurl"},
        {clsid + L"\\TypeLib", nullptr, libid},
        {clsid + L"\\VERSION", nullptr, L"2.0"},
        {lib + L"\\0\\win32", nullptr, ModulePath()},
        {lib + L"\\FLAGS", nullptr, L"0"},
        {lib + L"\\HELPDIR", nullptr, L""},
        {iface + L"\\ProxyStubClsid32", nullptr, GuidText(kPSOAInterface)},
        {iface + L"\\TypeLib", nullptr, libid},
        {iface + L"\\TypeLib", L"Version", L"2.0"},
    };
}

std::vector<unsigned char> Resource(HMODULE module, const wchar_t* type, WORD language) {
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(1), language);
    if (!found) return {};
    const auto* bytes =
        static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(module, found));
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR param) {
    auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
    out->push_back(IS_INTRESOURCE(type) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(type))
                                        : std::wstring(type));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

}  // namespace

MANUAL_CASE(registry_present) {
    for (const Entry& e : RegisteredEntries()) {
        TRACE(Narrow(e.key) + " " + (e.name ? Narrow(e.name) : "(default)"));
        std::wstring value;
        CHECK(ReadValue(e.key, e.name, value));
        // The registrar may write the module's path in another case or with another form.
        if (e.value == ModulePath()) {
            CHECK_EQ(CompareStringOrdinal(value.c_str(), -1, e.value.c_str(), -1, TRUE),
                     CSTR_EQUAL);
        } else {
            CHECK_EQ(value, e.value);
        }
    }
    CoInitialize(nullptr);
    CLSID clsid{};
    CHECK_HR(S_OK, CLSIDFromProgID(L"murl.clsMurl", &clsid));
    CHECK(clsid == kClsidClsMurl);
    LPOLESTR progid = nullptr;
    CHECK_HR(S_OK, ProgIDFromCLSID(kClsidClsMurl, &progid));
    CHECK_EQ(std::wstring(progid ? progid : L""), std::wstring(L"murl.clsMurl"));
    CoTaskMemFree(progid);
    ComPtr<IPlugin2> plugin;
    CHECK_HR(S_OK, CoCreateInstance(kClsidClsMurl, nullptr, CLSCTX_INPROC_SERVER, IID_IPlugin2,
                                    PutOut(plugin)));
    plugin.Reset();
    CoUninitialize();
}

MANUAL_CASE(registry_absent) {
    for (const std::wstring& key :
         {std::wstring(L"murl.clsMurl"), L"CLSID\\" + GuidText(kClsidClsMurl),
          L"TypeLib\\" + GuidText(kLibId), L"Interface\\" + GuidText(kIidClsMurl)}) {
        TRACE(Narrow(key));
        CHECK(!KeyExists(key));
    }
    CoInitialize(nullptr);
    void* out = reinterpret_cast<void*>(1);
    CHECK_HR(REGDB_E_CLASSNOTREG,
             CoCreateInstance(kClsidClsMurl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    CoUninitialize();
}

TEST_CASE(module_resources) {
    HMODULE module = LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(module);

    std::vector<std::wstring> types;
    EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&types));
    std::set<std::wstring> type_set(types.begin(), types.end());
    CHECK(type_set == (std::set<std::wstring>{L"TYPELIB", L"_IID_CLSMURL", L"#16"}));

    struct Row {
        const wchar_t* type;
        WORD language;
    } rows[] = {{L"TYPELIB", 0}, {L"_IID_CLSMURL", 0}, {MAKEINTRESOURCEW(16), 0x0409}};
    for (const Row& row : rows) {
        TRACE(IS_INTRESOURCE(row.type) ? std::string("version") : Narrow(row.type));
        std::vector<WORD> languages;
        EnumResourceLanguagesW(module, row.type, MAKEINTRESOURCEW(1), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        CHECK(languages == std::vector<WORD>{row.language});
    }

    const std::vector<unsigned char> iid = Resource(module, L"_IID_CLSMURL", 0);
    REQUIRE(iid.size() == 20);
    const unsigned char length[4] = {16, 0, 0, 0};
    CHECK(std::memcmp(iid.data(), length, 4) == 0);
    CHECK(std::memcmp(iid.data() + 4, &kIidClsMurl, 16) == 0);
    FreeLibrary(module);
}

// The numbers of a version text ("1.00.0015" gives 1, 0, 15).
std::vector<unsigned long> VersionNumbers(const std::string& text) {
    std::vector<unsigned long> numbers;
    for (size_t at = 0; at <= text.size();) {
        const size_t dot = std::min(text.find('.', at), text.size());
        numbers.push_back(std::stoul(text.substr(at, dot - at)));
        at = dot + 1;
    }
    return numbers;
}

// What a player sees of the version in the file's properties: the file and product versions,
// the version texts (naming the release, as the setup program's name does), the product and
// file names; and what marks the module as registering itself.
TEST_CASE(module_version_resource) {
    const std::wstring path = ModulePath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    REQUIRE(size > 0);
    std::vector<unsigned char> data(size);
    REQUIRE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const auto dotted = [](DWORD ms, DWORD ls) {
        return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
               std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
    };
    CHECK_EQ(dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
             std::string(MURL_PROJECT_VERSION));
    CHECK_EQ(dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS),
             std::string(MURL_PROJECT_VERSION));
    CHECK_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    // The language and code page that the properties find the texts under.
    WORD* translation = nullptr;
    REQUIRE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length));
    REQUIRE(length == 4u);
    CHECK_EQ(translation[0], 0x0409);
    CHECK_EQ(translation[1], 1200);

    struct Row {
        const wchar_t* item;
        const char* value;  // nullptr: the release's version
    } rows[] = {
        {L"ProductName", "Murl"},          {L"FileVersion", nullptr}, {L"ProductVersion", nullptr},
        {L"OriginalFilename", "murl.dll"}, {L"OLESelfRegister", ""},
    };
    for (const Row& row : rows) {
        TRACE(Narrow(row.item));
        wchar_t* value = nullptr;
        length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + row.item;
        CHECK(
            VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        const std::string text = Narrow(value && length ? value : L"");
        if (row.value) {
            CHECK_EQ(text, std::string(row.value));
        } else {
            CHECK(VersionNumbers(text) == VersionNumbers(MURL_RELEASE_VERSION));
        }
    }
}

namespace {

// The raw compiled type library: its import records and its name table.
struct RawTypeLib {
    struct Import {
        GUID libid;
        LCID lcid;
        WORD major, minor;
        std::string file;
    };
    std::vector<Import> imports;
    std::vector<std::string> names;
    std::vector<int32_t> kinds, flags;  // per type info: kind (low 4 bits) and stored flags
    bool ok = false;
};

RawTypeLib ReadRaw(const std::vector<unsigned char>& bytes) {
    RawTypeLib raw;
    auto at = [&](size_t offset) {
        int32_t v = 0;
        if (offset + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + offset, 4);
        return v;
    };
    if (bytes.size() < 0x54 || at(0) != 0x5446534D) return raw;
    const int32_t varflags = at(0x14);
    const int32_t typeinfos = at(0x20);
    size_t segdir = 0x54 + ((varflags & 0x100) ? 4 : 0) + 4 * static_cast<size_t>(typeinfos);
    auto segment = [&](int index, int32_t& offset, int32_t& length) {
        offset = at(segdir + 16 * index);
        length = at(segdir + 16 * index + 4);
    };
    int32_t imp_offset, imp_length, guid_offset, guid_length, name_offset, name_length;
    segment(2, imp_offset, imp_length);
    segment(5, guid_offset, guid_length);
    segment(7, name_offset, name_length);
    if (imp_offset < 0 || name_offset < 0 || guid_offset < 0) return raw;
    int32_t info_offset, info_length;
    segment(0, info_offset, info_length);
    for (int32_t i = 0; i < typeinfos; ++i) {
        const size_t base = static_cast<size_t>(info_offset) + 0x64 * static_cast<size_t>(i);
        raw.kinds.push_back(at(base) & 0xF);
        raw.flags.push_back(at(base + 0x30));
    }
    for (int32_t pos = 0; pos + 14 <= imp_length;) {
        const size_t base = static_cast<size_t>(imp_offset + pos);
        RawTypeLib::Import imp{};
        std::memcpy(&imp.libid, bytes.data() + guid_offset + at(base), sizeof(GUID));
        imp.lcid = static_cast<LCID>(at(base + 4));
        std::memcpy(&imp.major, bytes.data() + base + 8, 2);
        std::memcpy(&imp.minor, bytes.data() + base + 10, 2);
        int16_t size = 0;
        std::memcpy(&size, bytes.data() + base + 12, 2);
        const size_t chars = static_cast<size_t>(size) >> 2;
        imp.file.assign(reinterpret_cast<const char*>(bytes.data() + base + 14), chars);
        raw.imports.push_back(imp);
        pos += static_cast<int32_t>((14 + chars + 3) & ~size_t{3});
    }
    for (int32_t pos = 0; pos + 12 <= name_length;) {
        const size_t base = static_cast<size_t>(name_offset + pos);
        const size_t chars = static_cast<size_t>(at(base + 8) & 0xFF);
        raw.names.emplace_back(reinterpret_cast<const char*>(bytes.data() + base + 12), chars);
        pos += static_cast<int32_t>((12 + chars + 3) & ~size_t{3});
    }
    raw.ok = true;
    return raw;
}

std::wstring Name(ITypeInfo* info) {
    Bstr name;
    info->GetDocumentation(MEMBERID_NIL, PutOut(name), nullptr, nullptr, nullptr);
    const std::u16string_view text = TextOf(name);
    return std::wstring(text.begin(), text.end());
}

void CheckNoDocumentation(ITypeInfo* info) {
    Bstr doc, help;
    DWORD context = 99;
    CHECK_HR(S_OK,
             info->GetDocumentation(MEMBERID_NIL, nullptr, PutOut(doc), &context, PutOut(help)));
    CHECK(TextOf(doc).empty());
    CHECK_EQ(context, 0ul);
    CHECK(help.get() == nullptr);
}

}  // namespace

TEST_CASE(module_type_library) {
    CoInitialize(nullptr);
    // Loaded from the module where the host's Decal.dll stand-in sits, so that the reference
    // to IPlugin2 resolves.
    ComPtr<ITypeLib> lib;
    REQUIRE_HR(S_OK, LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, PutOut(lib)));

    TLIBATTR* attr = nullptr;
    REQUIRE_HR(S_OK, lib->GetLibAttr(&attr));
    CHECK(attr->guid == kLibId);
    CHECK_EQ(attr->lcid, 0ul);
    CHECK_EQ(static_cast<int>(attr->syskind), static_cast<int>(SYS_WIN32));
    CHECK_EQ(attr->wMajorVerNum, 2);
    CHECK_EQ(attr->wMinorVerNum, 0);
    CHECK_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    lib->ReleaseTLibAttr(attr);

    Bstr name, doc, help;
    DWORD context = 99;
    CHECK_HR(S_OK, lib->GetDocumentation(-1, PutOut(name), PutOut(doc), &context, PutOut(help)));
    CHECK_EQ(TextOf(name), std::u16string_view(u"murl"));
    CHECK(TextOf(doc).empty());
    CHECK(help.get() == nullptr);
    CHECK_EQ(context, 0ul);

    CHECK_EQ(lib->GetTypeInfoCount(), 2u);

    // _clsMurl: a dual dispatch interface on IDispatch, with nothing of its own.
    ComPtr<ITypeInfo> iface;
    REQUIRE_HR(S_OK, lib->GetTypeInfo(0, PutOut(iface)));
    CHECK_EQ(Name(iface.Get()), std::wstring(L"_clsMurl"));
    CheckNoDocumentation(iface.Get());
    TYPEATTR* ta = nullptr;
    REQUIRE_HR(S_OK, iface->GetTypeAttr(&ta));
    CHECK(ta->guid == kIidClsMurl);
    CHECK_EQ(static_cast<int>(ta->typekind), static_cast<int>(TKIND_DISPATCH));
    // The stored flags are checked below; a loader may leave OLE-automation off the dispatch view.
    CHECK_EQ(ta->wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION,
             TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE);
    CHECK_EQ(ta->wMajorVerNum, 1);
    CHECK_EQ(ta->wMinorVerNum, 0);
    CHECK_EQ(ta->cVars, 0);
    CHECK_EQ(ta->cImplTypes, 1);
    iface->ReleaseTypeAttr(ta);
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> base;
    REQUIRE_HR(S_OK, iface->GetRefTypeOfImplType(0, &ref));
    REQUIRE_HR(S_OK, iface->GetRefTypeInfo(ref, PutOut(base)));
    CHECK_EQ(Name(base.Get()), std::wstring(L"IDispatch"));
    // Its vtable side adds no function to IDispatch's seven.
    ComPtr<ITypeInfo> vtable_side;
    if (CHECK_HR(S_OK, iface->GetRefTypeOfImplType(-1, &ref)) &&
        CHECK_HR(S_OK, iface->GetRefTypeInfo(ref, PutOut(vtable_side)))) {
        REQUIRE_HR(S_OK, vtable_side->GetTypeAttr(&ta));
        CHECK_EQ(static_cast<int>(ta->typekind), static_cast<int>(TKIND_INTERFACE));
        CHECK_EQ(ta->cFuncs, 0);
        vtable_side->ReleaseTypeAttr(ta);
    }

    // clsMurl: creatable, _clsMurl by default, then the host's IPlugin2 without flags.
    ComPtr<ITypeInfo> coclass;
    REQUIRE_HR(S_OK, lib->GetTypeInfo(1, PutOut(coclass)));
    CHECK_EQ(Name(coclass.Get()), std::wstring(L"clsMurl"));
    CheckNoDocumentation(coclass.Get());
    REQUIRE_HR(S_OK, coclass->GetTypeAttr(&ta));
    CHECK(ta->guid == kClsidClsMurl);
    CHECK_EQ(static_cast<int>(ta->typekind), static_cast<int>(TKIND_COCLASS));
    CHECK_EQ(ta->wTypeFlags, TYPEFLAG_FCANCREATE);
    CHECK_EQ(ta->wMajorVerNum, 1);
    CHECK_EQ(ta->wMinorVerNum, 0);
    CHECK_EQ(ta->cImplTypes, 2);
    coclass->ReleaseTypeAttr(ta);
    struct Row {
        const wchar_t* name;
        const GUID* iid;
        int flags;
        const GUID* libid;
    } rows[] = {{L"_clsMurl", &kIidClsMurl, IMPLTYPEFLAG_FDEFAULT, &kLibId},
                {L"IPlugin2", &IID_IPlugin2, 0, &kDecalLibId}};
    for (UINT i = 0; i < 2; ++i) {
        const Row& row = rows[i];
        TRACE(Narrow(row.name));
        INT flags = -1;
        CHECK_HR(S_OK, coclass->GetImplTypeFlags(i, &flags));
        CHECK_EQ(flags, row.flags);
        ComPtr<ITypeInfo> implemented;
        if (!CHECK_HR(S_OK, coclass->GetRefTypeOfImplType(i, &ref)) ||
            !CHECK_HR(S_OK, coclass->GetRefTypeInfo(ref, PutOut(implemented)))) {
            continue;
        }
        CHECK_EQ(Name(implemented.Get()), std::wstring(row.name));
        REQUIRE_HR(S_OK, implemented->GetTypeAttr(&ta));
        CHECK(ta->guid == *row.iid);
        implemented->ReleaseTypeAttr(ta);
        ComPtr<ITypeLib> container;
        UINT index = 0;
        CHECK_HR(S_OK, implemented->GetContainingTypeLib(PutOut(container), &index));
        if (container && SUCCEEDED(container->GetLibAttr(&attr))) {
            CHECK(attr->guid == *row.libid);
            CHECK_EQ(attr->wMajorVerNum, 2);
            CHECK_EQ(attr->wMinorVerNum, 0);
            container->ReleaseTLibAttr(attr);
        }
    }

    // The compiled form: exactly two references and three names.
    HMODULE module = LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(module);
    const RawTypeLib raw = ReadRaw(Resource(module, L"TYPELIB", 0));
    FreeLibrary(module);
    REQUIRE(raw.ok);
    CHECK(raw.names == (std::vector<std::string>{"murl", "_clsMurl", "clsMurl"}));
    CHECK(raw.kinds == (std::vector<int32_t>{TKIND_DISPATCH, TKIND_COCLASS}));
    CHECK(raw.flags ==
          (std::vector<int32_t>{TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                    TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
                                TYPEFLAG_FCANCREATE}));
    REQUIRE(raw.imports.size() == 2);
    struct ImportRow {
        const char* file;
        const GUID* libid;
    } imports[] = {{"STDOLE2.TLB", &kStdOleLibId}, {"Decal.dll", &kDecalLibId}};
    for (size_t i = 0; i < 2; ++i) {
        TRACE(imports[i].file);
        CHECK_EQ(raw.imports[i].file, std::string(imports[i].file));
        CHECK(raw.imports[i].libid == *imports[i].libid);
        CHECK_EQ(raw.imports[i].major, 2);
        CHECK_EQ(raw.imports[i].minor, 0);
        CHECK_EQ(raw.imports[i].lcid, 0ul);
    }
    lib.Reset();
    iface.Reset();
    base.Reset();
    vtable_side.Reset();
    coclass.Reset();
    CoUninitialize();
}

// Loading the module, a whole session of one plug-in object and unloading the module again
// leaves nothing behind in the process: a handle per cycle would exhaust a host that loads
// plug-ins on demand. The session takes every path on which the C++ runtime makes a lock of its
// own: initialising, logging in, a chat line through the filter, a host call that fails (an
// exception thrown and caught in the module), terminating and releasing.
TEST_CASE(module_load_cycles_leave_no_handles) {
    auto cycle = [](const MurlModule& module) {
        CoInitialize(nullptr);
        {
            CheckedHost host;
            ComPtr<IPlugin2> plugin;
            if (CHECK_HR(S_OK, module.Create(IID_IPlugin2, PutOut(plugin)))) {
                CHECK_HR(S_OK, plugin->Initialize(host.site.Get()));
                CHECK_HR(S_OK, host.Login());
                VARIANT_BOOL eat = VARIANT_FALSE;
                CHECK_HR(S_OK, host.Chat(L"You evaded the monster's attack!", 21, eat));
                host.hooks->failing["WriteChatText"] = E_ACCESSDENIED;
                CHECK(FAILED(host.Hit(L"cmdOut")));
                CHECK_HR(S_OK, plugin->Terminate());
            }
        }
        CoUninitialize();
    };
    // The process's open handles, found by asking for each handle value (handle counts are
    // not kept by every platform).
    auto handles = [] {
        DWORD count = 0, flags = 0;
        for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
            if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
        }
        return count;
    };
    // What the first cycles set up once (the platform's own caches) does not count.
    for (int i = 0; i < 3; ++i) {
        MurlModule module(L"murl-cycle.dll");
        cycle(module);
        REQUIRE(module.Free());
    }
    const DWORD before = handles();
    for (int i = 0; i < 200; ++i) {
        MurlModule module(L"murl-cycle.dll");
        cycle(module);
        REQUIRE(module.Free());
    }
    const DWORD after = handles();
    CHECK(after <= before + 5);
}

namespace {
// The handles a module with counted cells closed, in order.
std::vector<HANDLE> g_closed;
}  // namespace

// A module closes at unload the semaphores made through its cells and left open, however many,
// each once: a handle that it closed itself, and whose value the system has since given to
// another object, stays open. Also when the system's CloseHandle cannot be found by name.
TEST_CASE(module_unload_closes_the_semaphores_left_open) {
    struct Module {
        const wchar_t* name;
        bool counted;  // its closes are told to g_closed
    };
    const Module modules[] = {{L"semaphore_cells.dll", false},
                              {L"semaphore_cells_unfound.dll", false},
                              {L"semaphore_cells_counted.dll", true}};
    for (const Module& row : modules) {
        const wchar_t* const module_name = row.name;
        TRACE(Narrow(module_name));
        const std::wstring path = ProgramFolder() + L"\\" + module_name;
        HMODULE module = LoadLibraryW(path.c_str());
        REQUIRE(module);
        auto create = reinterpret_cast<HANDLE (*)(const wchar_t*)>(
            reinterpret_cast<void*>(GetProcAddress(module, "CellsCreateSemaphore")));
        auto close = reinterpret_cast<BOOL (*)(HANDLE)>(
            reinterpret_cast<void*>(GetProcAddress(module, "CellsCloseHandle")));
        auto record = reinterpret_cast<void (*)(void (*)(HANDLE))>(
            reinterpret_cast<void*>(GetProcAddress(module, "CellsRecordCloses")));
        REQUIRE(create && close && record);

        // Far more than the runtime ever makes.
        std::vector<std::wstring> names;
        std::vector<HANDLE> made;
        for (int i = 0; i < 100; ++i) {
            names.push_back(L"murl-cells-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            module_name + L"-" + std::to_wstring(i));
            made.push_back(create(names.back().c_str()));
            CHECK(made.back() != nullptr);
        }
        CHECK(close(made[50]));
        CHECK(!close(nullptr));
        // The system hands the freed value out again.
        HANDLE unrelated = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        CHECK(unrelated == made[50]);

        g_closed.clear();
        if (row.counted) record([](HANDLE handle) { g_closed.push_back(handle); });
        CHECK(FreeLibrary(module));
        CHECK(GetModuleHandleW(path.c_str()) == nullptr);
        DWORD flags = 0;
        CHECK(GetHandleInformation(unrelated, &flags));
        CHECK(SetEvent(unrelated));
        CloseHandle(unrelated);
        int still_open = 0;
        for (const std::wstring& name : names) {
            HANDLE opened = OpenSemaphoreW(SYNCHRONIZE, FALSE, name.c_str());
            if (opened) {
                ++still_open;
                CloseHandle(opened);
            }
        }
        CHECK_EQ(still_open, 0);
        if (!row.counted) continue;
        // At unload, each semaphore left open is closed once, and the one closed before not
        // again.
        for (size_t i = 0; i < made.size(); ++i) {
            TRACE("semaphore " + std::to_string(i));
            CHECK_EQ(std::count(g_closed.begin(), g_closed.end(), made[i]), i == 50 ? 0 : 1);
        }
    }
}
