// Loading as the host does it, but only the file the earlier checks verified: the module the
// registration names, found as a game's process finds it, loaded by its full path from a
// current folder that is not Murl's; the class made by its own factory and released again,
// its interfaces and its type information. A registration that any program of the account can
// write never decides what this process runs.

#include "checks.h"
#include <oleauto.h>
#include "host_idl.h"
#include "platform/win32/win32_holders.h"
#include "server/identity.h"

namespace murl::doctor {

namespace {

using win32::Bstr;
using win32::ComPtr;
using win32::PutOut;

struct LibraryTraits {
    using Value = HMODULE;
    static HMODULE Empty() noexcept { return nullptr; }
    static void Close(HMODULE module) noexcept { FreeLibrary(module); }
};
using Library = OwnedHandle<LibraryTraits>;

// A step of loading failed with `code`; reinstalling mends it.
Row LoadingFailed(CheckId id, const std::string& what, DWORD code, const std::wstring& path) {
    return {id, Status::kProblem, what + ": " + SystemText(code, path), kReinstall, {}};
}

// Why the loading checks cannot run; empty when they can.
std::string Unverified(const Findings& f) {
    if (!f.installed) return "Murl is not installed";
    if (f.registered.empty()) return "no file is registered for the class (above)";
    if (f.resolved.empty() || !FileExists(f.resolved)) {
        return "the game's process finds no registered file (above)";
    }
    if (!f.verified) {
        return "the registered file is not this release's murl.dll (above): the doctor runs "
               "only a file it has verified";
    }
    return {};
}

// The system folder as the current one while a module loads, so that neither Murl's folder
// nor the doctor's helps the loader.
class ForeignCurrentFolder {
public:
    ForeignCurrentFolder() {
        wchar_t system[MAX_PATH] = {};
        const DWORD length = GetCurrentDirectoryW(MAX_PATH * 4, saved_);
        if (length == 0 || length >= MAX_PATH * 4) saved_[0] = L'\0';
        if (GetSystemDirectoryW(system, MAX_PATH) > 0) SetCurrentDirectoryW(system);
    }
    ~ForeignCurrentFolder() {
        if (saved_[0] != L'\0') SetCurrentDirectoryW(saved_);
    }
    ForeignCurrentFolder(const ForeignCurrentFolder&) = delete;
    ForeignCurrentFolder& operator=(const ForeignCurrentFolder&) = delete;

private:
    wchar_t saved_[MAX_PATH * 4] = {};
};

// Loads `path` only if it is still the shipped file: it is held open against writing,
// renaming and deletion from its checksum until the loader has mapped it.
Library LoadVerified(const std::wstring& path, Report& report) {
    win32::FileHandle held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!held.open()) {
        report.Add(
            LoadingFailed("loading.module", "cannot read " + Utf8(path), GetLastError(), path));
        return Library();
    }
    if (!Shipped(Sha256(held.get(), path))) {
        report.Add({"loading.module",
                    Status::kProblem,
                    Utf8(path) + " changed while the doctor looked at it; it does not run it",
                    kReinstall,
                    {}});
        return Library();
    }
    const ForeignCurrentFolder elsewhere;
    Library library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library.open()) {
        report.Add(LoadingFailed("loading.module", "Windows cannot load " + Utf8(path),
                                 GetLastError(), path));
    }
    return library;
}

// The plug-in made by the class factory of the loaded module, as COM would make it.
HRESULT Create(HMODULE module, ComPtr<IUnknown>& object) {
    using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!get) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComPtr<IClassFactory> factory;
    const HRESULT got = get(server::kClsidClsMurl, IID_IClassFactory, PutOut(factory));
    if (FAILED(got)) return got;
    return factory->CreateInstance(nullptr, IID_IUnknown, PutOut(object));
}

void CheckInterfaces(IUnknown* object, const std::wstring& path, Report& report) {
    ComPtr<IDispatch> dispatch;
    ComPtr<IPlugin2> plugin;
    const HRESULT has_dispatch = object->QueryInterface(IID_IDispatch, PutOut(dispatch));
    const HRESULT has_plugin = object->QueryInterface(IID_IPlugin2, PutOut(plugin));
    if (FAILED(has_dispatch) || FAILED(has_plugin)) {
        std::string missing = FAILED(has_dispatch) ? "IDispatch" : "";
        if (FAILED(has_plugin)) missing += std::string(missing.empty() ? "" : " and ") + "IPlugin2";
        report.Add({"loading.interfaces",
                    Status::kProblem,
                    "the object does not answer " + missing + ": it is not Murl's",
                    kReinstall,
                    {}});
    } else {
        report.Add({"loading.interfaces", Status::kOk, "IDispatch, IPlugin2", {}, {}});
    }
    ComPtr<ITypeInfo> info;
    Bstr name;
    const HRESULT has_info = dispatch ? dispatch->GetTypeInfo(0, 0, PutOut(info)) : E_NOINTERFACE;
    const HRESULT named = SUCCEEDED(has_info) ? info->GetDocumentation(MEMBERID_NIL, PutOut(name),
                                                                       nullptr, nullptr, nullptr)
                                              : has_info;
    if (FAILED(named)) {
        report.Add(LoadingFailed("loading.type_info", "cannot read the type information",
                                 static_cast<DWORD>(named), path));
        return;
    }
    report.Add({"loading.type_info",
                Status::kOk,
                Utf8(std::wstring(name.get() ? name.get() : L"")),
                {},
                {}});
}

}  // namespace

void CheckLoading(const Findings& f, Report& report) {
    const std::string why = Unverified(f);
    if (!why.empty()) {
        SkipRest(report, "loading", why);
        return;
    }
    const Library library = LoadVerified(f.resolved, report);
    if (!library.open()) {
        SkipRest(report, "loading", "the module does not load (above)");
        return;
    }
    report.Add({"loading.module", Status::kOk, Utf8(f.resolved), {}, {}});
    ComPtr<IUnknown> object;
    const HRESULT created = Create(library.get(), object);
    if (FAILED(created)) {
        report.Add(LoadingFailed("loading.class", "murl.dll cannot create murl.clsMurl",
                                 static_cast<DWORD>(created), f.resolved));
        SkipRest(report, "loading", "the class cannot be created (above)");
        return;
    }
    report.Add({"loading.class", Status::kOk, "created in this process", {}, {}});
    CheckInterfaces(object.Get(), f.resolved, report);
}

}  // namespace murl::doctor
