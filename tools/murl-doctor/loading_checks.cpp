// Loading as the host does it: the module the registry names, the class created in this
// process and released again, its interfaces and its type information.

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

void SkipAfter(const char* why, Report& report, bool with_class = true) {
    if (with_class) report.Add({"loading.class", Status::kSkipped, why, {}, {}});
    report.Add({"loading.interfaces", Status::kSkipped, why, {}, {}});
    report.Add({"loading.type_info", Status::kSkipped, why, {}, {}});
}

// A step of loading failed with `code`; reinstalling mends it.
Row LoadingFailed(std::string_view id, const std::string& what, DWORD code,
                  const std::wstring& path) {
    return {id, Status::kProblem, what + ": " + SystemText(code, path), kReinstall, {}};
}

}  // namespace

void CheckLoading(const Findings& f, Report& report) {
    const std::wstring& path = f.registered.empty() ? f.module : f.registered;
    {
        OwnedHandle<LibraryTraits> library(
            LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (!library.open()) {
            const DWORD error = GetLastError();
            report.Add(
                LoadingFailed("loading.module", "Windows cannot load " + Utf8(path), error, path));
            SkipAfter("the module does not load", report);
            return;
        }
    }
    report.Add({"loading.module", Status::kOk, Utf8(path), {}, {}});
    if (f.registered.empty()) {
        SkipAfter("the class is not registered", report);
        return;
    }

    ComPtr<IUnknown> object;
    const HRESULT created = CoCreateInstance(server::kClsidClsMurl, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IUnknown, PutOut(object));
    if (FAILED(created)) {
        report.Add(LoadingFailed("loading.class", "Windows cannot create murl.clsMurl",
                                 static_cast<DWORD>(created), path));
        SkipAfter("the class cannot be created", report, false);
        return;
    }
    report.Add({"loading.class", Status::kOk, "created in this process", {}, {}});

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
    } else {
        report.Add({"loading.type_info",
                    Status::kOk,
                    Utf8(std::wstring(name.get() ? name.get() : L"")),
                    {},
                    {}});
    }
}

}  // namespace murl::doctor
